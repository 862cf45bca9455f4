/* SPDX-License-Identifier: MIT */
/* The installer's steps: the command line and the startup question, the
 * manifest, and the deployment. Each step prints its own messages to the
 * streams it is given and returns the exit status the process ends with when
 * it fails (1), or 0 to go on. */
#ifndef OSTREL_INSTALLER_INSTALLER_H
#define OSTREL_INSTALLER_INSTALLER_H

#include <stdio.h>

enum {
    INSTALLER_PATH_SIZE = 260,       /* every path, NUL included, as on Windows */
    INSTALLER_FULL_PATH_SIZE = 8192, /* room for a current directory and a root after it */
    INSTALLER_ANSWER_SIZE = 100
};

struct InstallerSettings {
    int silent;       /* no question and no success line */
    const char *root; /* the installation root, as typed or derived */
    int full_startup; /* the default boot script is the full one, not the bare one */
};

/* What the manifest gives a run: the runtime's version and the three
 * directories the deployment works with, each checked to fit. */
struct InstallerManifest {
    char vsn[INSTALLER_PATH_SIZE];         /* the runtime version, for the success line */
    char runtime_bin[INSTALLER_PATH_SIZE]; /* "<root>\ostcore-<VSN>\bin" */
    char release[INSTALLER_PATH_SIZE];     /* "<root>\releases\<SYSTEM_VSN>" */
    char publish[INSTALLER_PATH_SIZE];     /* "<root>\bin" */
};

/* Reads the arguments after the program name into settings (silent, root),
 * refusing a root that holds a double quote. Returns 0, or 1 after printing
 * the first error to err; silent is set then
 * too when any argument is the silent switch. The root points into argv. */
int installer_parse_arguments(int argc, char **argv, InstallerSettings *settings, FILE *err);

/* Sets the root to the directory of the running executable, whose path is
 * kept in path_buffer (INSTALLER_PATH_SIZE bytes). Returns 0, or 1 after
 * printing why to err. */
int installer_root_from_executable(InstallerSettings *settings, char *path_buffer, FILE *err);

/* Asks the startup question on out and reads one answer line from in,
 * setting full_startup. Returns 0, or 1 after printing to err when no answer
 * can be read: at the end of in, or at once when in is a console nobody
 * sees. Never waits for input past the end of in. */
int installer_ask_startup(InstallerSettings *settings, FILE *in, FILE *out, FILE *err);

/* Reads "Install.ini" under the root into manifest, its versions checked
 * and its directories built. Returns 0, or 1 after printing to err. Creates
 * nothing. */
int installer_read_manifest(const InstallerSettings *settings, InstallerManifest *manifest,
                            FILE *err);

/* Builds and checks every path of the deployment, then creates the publish
 * directory, publishes the executables and boot scripts, makes the default
 * boot script and writes the launcher configuration, printing warnings to
 * err and the success line to out unless silent. Returns 0, or 1 after
 * printing to err: with nothing created when a path does not fit or the
 * root's full path cannot be had, and after a fatal failure with whatever
 * was copied before staying in place. */
int installer_deploy(const InstallerSettings *settings, const InstallerManifest *manifest,
                     FILE *out, FILE *err);

/* Ends an interactive run whose console window is its own (started from
 * Explorer, the window closing with the program) by asking on out for Enter
 * and reading a line from in, or up to its end, so that the last message can
 * be read. Does nothing in a silent run, which other programs and scripts
 * make, nor when the console is shared or a stream redirected. */
void installer_keep_window_open(const InstallerSettings *settings, FILE *in, FILE *out);

/* Prints the message that format and what follows make to stream, a
 * console showing it as typed (see installer_platform_print). */
void installer_print(FILE *stream, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* Refuses a command line that the system's code page cannot hold exactly:
 * an argument, or the executable's own path when no root is given, in which
 * a character became a look-alike. Settles silent as installer_parse_arguments does. Returns 0,
 * or 1 after printing which text to err. */
int installer_refuse_inexact_text(int argc, char **argv, InstallerSettings *settings, FILE *err);

/* Formats format with first and second into path, a buffer of
 * INSTALLER_PATH_SIZE bytes. Returns 0, or 1 after printing the whole path
 * that does not fit to err. */
int installer_build_path(char *path, FILE *err, const char *format, const char *first,
                         const char *second);

/* The text printed when memory runs out, in every step. */
extern const char installer_out_of_memory_message[];

#endif
