/* SPDX-License-Identifier: MIT */
#include "installer.h"

#include <string.h>

#include "platform/installer_platform.h"

#define MESSAGE_UNKNOWN_SWITCH "Unknown command switch %s\n"
#define MESSAGE_SECOND_ROOT "Only one root directory can be specified, parameter %s is illegal\n"
#define MESSAGE_NO_EXECUTABLE_PATH "Could not GetModuleFileName()\n"
#define MESSAGE_EXECUTABLE_PATH_TOO_LONG                                                           \
    "GetModuleFileName returned a path longer than 259 characters\n"
#define MESSAGE_BROKEN_EXECUTABLE_PATH "GetModuleFileName returned broken path\n"
#define MESSAGE_INEXACT_ARGUMENT                                                                   \
    "Argument %d holds characters that this system's code page lacks: use a directory whose name " \
    "has only characters of this system's code page\n"
#define MESSAGE_INEXACT_ARGUMENTS                                                                  \
    "The command line holds characters that this system's code page lacks: use a directory "       \
    "whose name has only characters of this system's code page\n"
#define MESSAGE_INEXACT_DIRECTORY                                                                  \
    "The path of this program holds characters that this system's code page lacks: run it from "   \
    "a directory whose name has only characters of this system's code page\n"
#define MESSAGE_QUOTED_ROOT                                                                        \
    "Root directory %s holds a double quote, which no Windows path can: a backslash before a "     \
    "closing quote escapes it, so write the root without its trailing backslash (or, in a batch "  \
    "file, \"%%~dp0.\")\n"
#define MESSAGE_QUESTION "Do you want a minimal startup instead of mext [No]: "
#define MESSAGE_NO_ANSWER "Could not read answer from user.\n"
#define MESSAGE_PRESS_ENTER "Press Enter to close this window."

/* Returns 1 when argument is the silent switch: "-" and "s", then anything. */
static int installer_is_silent_switch(const char *argument)
{
    return argument[0] == '-' && argument[1] == 's';
}

/* Sets silent when any argument is the silent switch. It is settled before
 * any error, so that a run that fails on an argument before its -s still
 * never waits for Enter at its end. */
static void installer_settle_silent(int argc, char **argv, InstallerSettings *settings)
{
    for (int i = 1; i < argc; i++) {
        if (installer_is_silent_switch(argv[i])) {
            settings->silent = 1;
        }
    }
}

int installer_refuse_inexact_text(int argc, char **argv, InstallerSettings *settings, FILE *err)
{
    installer_settle_silent(argc, argv, settings);
    /* The program's own path matters only when it gives the root. */
    int root_given = 0;
    for (int i = 1; i < argc; i++) {
        root_given |= argv[i][0] != '-';
    }
    int argument = installer_platform_inexact_argument(argc, argv);
    if (argument < 0) {
        installer_print(err, MESSAGE_INEXACT_ARGUMENTS);
        return 1;
    }
    if (argument > 0) {
        installer_print(err, MESSAGE_INEXACT_ARGUMENT, argument);
        return 1;
    }
    if (!root_given && !installer_platform_executable_path_is_exact()) {
        installer_print(err, MESSAGE_INEXACT_DIRECTORY);
        return 1;
    }
    return 0;
}

int installer_parse_arguments(int argc, char **argv, InstallerSettings *settings, FILE *err)
{
    installer_settle_silent(argc, argv, settings);
    for (int i = 1; i < argc; i++) {
        const char *argument = argv[i];
        if (argument[0] == '-') {
            if (!installer_is_silent_switch(argument)) {
                installer_print(err, MESSAGE_UNKNOWN_SWITCH, argument);
                return 1;
            }
        } else if (settings->root != NULL) {
            installer_print(err, MESSAGE_SECOND_ROOT, argument);
            return 1;
        } else if (strchr(argument, '"') != NULL) {
            installer_print(err, MESSAGE_QUOTED_ROOT, argument);
            return 1;
        } else {
            settings->root = argument;
        }
    }
    return 0;
}

int installer_root_from_executable(InstallerSettings *settings, char *path_buffer, FILE *err)
{
    uint32_t length = installer_platform_executable_path(path_buffer, INSTALLER_PATH_SIZE);
    if (length == 0) {
        installer_print(err, MESSAGE_NO_EXECUTABLE_PATH);
        return 1;
    }
    if (length >= INSTALLER_PATH_SIZE) {
        installer_print(err, MESSAGE_EXECUTABLE_PATH_TOO_LONG);
        return 1;
    }
    char *last_separator = (char *)installer_platform_find_last_any(path_buffer, "\\");
    if (last_separator == NULL) {
        installer_print(err, MESSAGE_BROKEN_EXECUTABLE_PATH);
        return 1;
    }
    *last_separator = '\0';
    settings->root = path_buffer;
    return 0;
}

/* Returns 1 when text equals word, a lowercase word, regardless of the case of
 * the letters A to Z, whatever the locale. */
static int installer_equals_ignoring_case(const char *text, const char *word)
{
    for (; *word != '\0'; text++, word++) {
        char letter = *text >= 'A' && *text <= 'Z' ? (char)(*text - 'A' + 'a') : *text;
        if (letter != *word) {
            return 0;
        }
    }
    return *text == '\0';
}

/* Drops what is left of the current input line, stopping at the end of the
 * input as well. */
static void installer_discard_line(FILE *in)
{
    int c;
    do {
        c = fgetc(in);
    } while (c != EOF && c != '\n');
}

int installer_ask_startup(InstallerSettings *settings, FILE *in, FILE *out, FILE *err)
{
    settings->full_startup = 1;
    installer_print(out, MESSAGE_QUESTION);
    fflush(out);

    /* Zeroed, so that the line feed can be looked for in the whole buffer:
     * a NUL byte typed before it must not hide it, or the next line would be
     * swallowed too. */
    char answer[INSTALLER_ANSWER_SIZE] = {0};
    /* On a console nobody sees the answer never comes: no waiting for it. */
    if (installer_platform_is_unseen_console(in) || fgets(answer, sizeof answer, in) == NULL) {
        installer_print(err, MESSAGE_NO_ANSWER);
        return 1;
    }
    char *line_feed = (char *)memchr(answer, '\n', sizeof answer);
    if (line_feed != NULL) {
        *line_feed = '\0';
    } else {
        installer_discard_line(in);
    }
    answer[strcspn(answer, "\r")] = '\0';

    if (installer_equals_ignoring_case(answer, "yes") ||
        installer_equals_ignoring_case(answer, "y")) {
        settings->full_startup = 0;
    }
    return 0;
}

void installer_keep_window_open(const InstallerSettings *settings, FILE *in, FILE *out)
{
    if (settings->silent || !installer_platform_owns_console_window()) {
        return;
    }
    installer_print(out, MESSAGE_PRESS_ENTER);
    fflush(out);
    installer_discard_line(in);
}
