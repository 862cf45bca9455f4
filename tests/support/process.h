/* SPDX-License-Identifier: MIT */
/* Running a program as a child process and capturing what it prints, for the
 * cases that run the installer.
 *
 * One header and one source chosen by the build: process_posix.cpp
 * (posix_spawn) or process_win32.cpp (CreateProcessA). Both pass every
 * argument through exactly, an empty one included, and collect standard
 * output and standard error in files of their own, so that no pipe can fill
 * up and stall the child. */
#ifndef OSTREL_TESTS_SUPPORT_PROCESS_H
#define OSTREL_TESTS_SUPPORT_PROCESS_H

#include <string>
#include <vector>

/* What a child process left behind once it ended. */
struct ProcessResult {
    int status;           /* exit status; -1 when the program could not be run or did not end */
    std::string out;      /* everything written to standard output */
    std::string err;      /* everything written to standard error */
    std::string problem;  /* why status is -1; empty when the program ran and exited */
    bool started = false; /* whether the program could be started at all */
};

/* The longest a child may run by default. A child still running then is
 * killed and reported with status -1, so that a program waiting for ever
 * fails its case instead of stalling the whole suite. */
enum { PROCESS_TIME_LIMIT_SECONDS = 120 };

/* How the child gets its standard input. */
enum class ProcessInput {
    Text,     /* a file holding the text: the input ends after it */
    OpenPipe, /* a pipe holding the text and kept open until the child ends,
               * as a console's input stays open: a read past the text waits */
    None,     /* no standard input at all: descriptor 0 closed on POSIX, a
               * null handle on Windows, so that every read fails */
};

/* Windows: the console the child runs on; ignored on POSIX, which has no
 * consoles to give. */
enum class ProcessConsole {
    Inherited,            /* this process's own, if any */
    New,                  /* one of its own (CREATE_NEW_CONSOLE), the streams still going where
                           * the runner sends them */
    Windowless,           /* one of its own without a window (CREATE_NO_WINDOW), the streams
                           * left to that console, so none is captured: as programs that
                           * deploy others start them */
    Hidden,               /* one of its own whose window is to stay hidden (SW_HIDE), the
                           * streams left to it, so none is captured */
    WindowlessRedirected, /* one without a window, the streams going where the runner
                           * sends them: as a tool that pipes in an answer starts it */
};

struct ProcessOptions {
    ProcessInput input = ProcessInput::Text;
    std::string directory; /* the child's current directory; empty: this process's */
    int time_limit_seconds = PROCESS_TIME_LIMIT_SECONDS;
    ProcessConsole console = ProcessConsole::Inherited;
    bool unicode = false; /* Windows: program, args and directory are UTF-8, and
                           * the child starts with the Unicode command line they
                           * spell, as Explorer or a Unicode shell starts it;
                           * ignored on POSIX, whose arguments are bytes */
};

/* The path under which this platform reaches program, a path the build
 * names. Unchanged on POSIX. On Windows every "/" becomes "\", and a POSIX
 * absolute path "/x/y", as a build made on Linux names its outputs, becomes
 * "Z:\x\y", the drive under which Wine shows the Linux file system. */
std::string native_program_path(const std::string &program);

/* Runs program (a path, not looked up in PATH; a relative one starts from
 * this process's current directory) with args as its arguments after the
 * program name, stdin_text as its input as options say, and waits for it to
 * end, for options.time_limit_seconds at most.
 *
 * The output is returned as the program meant it: on Windows the C runtime
 * writes each line feed of a text-mode stream as carriage return plus line
 * feed, and this pair is turned back into a line feed; on POSIX the output
 * is returned byte for byte.
 *
 * On POSIX, when the environment variable OSTREL_RUNNER holds words (split
 * at spaces), the first of them is started instead, looked up in PATH, with
 * the rest and then program and args as its arguments: a way to run every
 * child under a checker such as Valgrind. A runner that reports its findings
 * through the exit status makes the cases fail. Windows ignores
 * OSTREL_RUNNER. */
ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &stdin_text,
                          const ProcessOptions &options = ProcessOptions());

#endif
