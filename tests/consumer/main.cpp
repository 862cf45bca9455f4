/* SPDX-License-Identifier: MIT */
/* Builds a document, saves it, loads it back and checks what came back,
 * through the installed header and library alone. Prints what went wrong
 * and returns 1, or returns 0. The file is written to the path given as the
 * only argument. */
#include <inifile/inifile.h>

#include <cstdio>
#include <cstring>

static int consumer_fail(const char *what)
{
    std::fprintf(stderr, "inifile consumer: %s\n", what);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        return consumer_fail("usage: inifile_consumer FILE");
    }
    IniDocument *written = ini_new_document();
    IniSection *section = ini_new_section("ostrel");
    if (written == nullptr || section == nullptr || ini_put_section(written, section) != 1 ||
        ini_put_entry(section, "Rootdir", "C:\\R;1") != 1) {
        return consumer_fail("cannot build the document");
    }
    if (ini_save_file(written, argv[1]) != 0) {
        return consumer_fail("cannot save the document");
    }
    ini_free_document(written);

    IniDocument *loaded = ini_load_file(argv[1]);
    if (loaded == nullptr) {
        return consumer_fail("cannot load the saved file");
    }
    const IniSection *found = ini_find_section(loaded, "ostrel");
    const char *value = found == nullptr ? nullptr : ini_find_value(found, "Rootdir");
    if (value == nullptr || std::strcmp(value, "C:\\R;1") != 0) {
        return consumer_fail("the loaded file does not hold what was saved");
    }
    ini_free_document(loaded);
    std::puts("inifile consumer: saved and loaded back");
    return 0;
}
