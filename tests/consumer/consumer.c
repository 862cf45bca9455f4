/* SPDX-License-Identifier: MIT */
/* A C99 program that takes the installed library through pkg-config alone:
 * builds a document, saves it, loads it back, edits and saves it again, and
 * checks each step; then checks the line a malformed file is reported at,
 * the result for a missing one, a load from and a save to memory, and the
 * getters and ini_free.
 * Files go under the directory given as the only argument. Prints what went
 * wrong and returns 1, or returns 0. */
#include <inifile/inifile.h>

#include <stdio.h>
#include <string.h>

static int fail(const char *what)
{
    fprintf(stderr, "C consumer: %s\n", what);
    return 1;
}

/* Returns 1 when the section named name in doc holds key with value. */
static int holds(const IniDocument *doc, const char *name, const char *key, const char *value)
{
    const IniSection *section = ini_find_section(doc, name);
    const char *found = section == NULL ? NULL : ini_find_value(section, key);
    return found != NULL && strcmp(found, value) == 0;
}

int main(int argc, char **argv)
{
    char path[4096];
    if (argc != 2 || snprintf(path, sizeof path, "%s/c.ini", argv[1]) >= (int)sizeof path) {
        return fail("usage: c_consumer DIRECTORY");
    }
    IniDocument *doc = ini_new_document();
    IniSection *section = ini_new_section("paths");
    if (doc == NULL || section == NULL || ini_put_section(doc, section) != 1 ||
        ini_put_entry(section, "home", "C:\\Users\\me;1") != 1 || ini_save_file(doc, path) != 0) {
        return fail("cannot build and save the document");
    }
    ini_free_document(doc);

    doc = ini_load_file(path);
    if (doc == NULL || !holds(doc, "paths", "home", "C:\\Users\\me;1")) {
        return fail("the saved file does not load back as it was");
    }
    section = ini_find_section(doc, "paths");
    if (ini_put_entry(section, "home", "D:\\") != 0 || ini_put_entry(section, "runs", "2") != 1 ||
        ini_save_file(doc, path) != 0) {
        return fail("cannot edit and save the loaded document");
    }
    ini_free_document(doc);

    doc = ini_load_file(path);
    if (doc == NULL || !holds(doc, "paths", "home", "D:\\") || !holds(doc, "paths", "runs", "2") ||
        doc->sections[0]->entry_count != 2) {
        return fail("the edited file does not load back as it was");
    }
    ini_free_document(doc);

    FILE *bad = fopen(path, "w");
    if (bad == NULL || fputs("[s]\na=1\n\nbad line\n", bad) < 0 || fclose(bad) != 0) {
        return fail("cannot write the malformed file");
    }
    IniLoadResult result = INI_LOAD_OK;
    int32_t line = 0;
    if (ini_load_file_with_result(path, &result, &line) != NULL || result != INI_LOAD_MALFORMED ||
        line != 4) {
        return fail("a malformed file is not reported at its line 4");
    }
    if (snprintf(path, sizeof path, "%s/missing/c.ini", argv[1]) >= (int)sizeof path ||
        ini_load_file_with_result(path, &result, &line) != NULL || result != INI_LOAD_NOT_FOUND ||
        ini_load_result_text(result)[0] == '\0') {
        return fail("a file in a missing directory is not reported as not found");
    }

    const char text[] = "[m]\nkey=C:\\\\d\nn=-0x10\non=Yes\n";
    char *saved = NULL;
    size_t size = 0;
    doc = ini_load_memory(text, sizeof text - 1, &result, &line);
    if (doc == NULL || strcmp(ini_entry_value_at(ini_section_at(doc, 0), 0), "C:\\d") != 0 ||
        ini_save_memory(doc, &saved, &size) != 0 || size != sizeof text - 1 ||
        memcmp(saved, text, size) != 0) {
        return fail("a document loaded from memory does not save to the same bytes");
    }
    ini_free(saved);
    if (strcmp(ini_get_string(doc, "m", "key", ""), "C:\\d") != 0 ||
        ini_get_integer(doc, "m", "n", 0) != -16 || ini_get_boolean(doc, "m", "on", -1) != 1 ||
        ini_get_integer(NULL, "m", "n", 7) != 7 ||
        ini_find_value(ini_find_section(doc, "missing"), "key") != NULL) {
        return fail("the getters do not read the document loaded from memory");
    }
    ini_free_document(doc);
    printf("C consumer of inifile %d.%d.%d: saved, loaded, edited and reloaded\n",
           INIFILE_VERSION_MAJOR, INIFILE_VERSION_MINOR, INIFILE_VERSION_PATCH);
    return 0;
}
