/* Running a program as a child process and capturing what it prints, for the
 * end-to-end cases of the installer.
 *
 * One header, process_common.cpp and one source chosen by the build:
 * process_posix.cpp (fork and exec through posix_spawn) or process_win32.cpp
 * (CreateProcessA), which defines process_run. Both pass
 * every argument through exactly, an empty one included, give the child its
 * standard input from a file, and collect standard output and standard error
 * in files of their own, so that no pipe can fill up and stall the child. */
#ifndef OSTREL_TESTS_SUPPORT_PROCESS_H
#define OSTREL_TESTS_SUPPORT_PROCESS_H

#include <string>
#include <vector>

/* What a child process left behind once it ended. */
struct ProcessResult {
    int status;          /* exit status; -1 when the program could not be run or did not end */
    std::string out;     /* everything written to standard output */
    std::string err;     /* everything written to standard error */
    std::string problem; /* why status is -1; empty when the program ran and exited */
};

/* The longest a child may run. A child still running then is killed and
 * reported with status -1, so that a program waiting for ever fails its case
 * instead of stalling the whole suite; no case relies on this limit. */
enum { PROCESS_TIME_LIMIT_SECONDS = 120 };

/* The path under which this platform reaches program, a path the build
 * names. Unchanged on POSIX. On Windows every "/" becomes "\", and a POSIX
 * absolute path "/x/y", as a build made on Linux names its outputs, becomes
 * "Z:\x\y", the drive under which Wine shows the Linux file system. */
std::string native_program_path(const std::string &program);

/* Runs program (a path, not looked up in PATH) with args as its arguments
 * after the program name (see OSTREL_RUNNER below). Standard input holds exactly stdin_text and
 * then ends; an empty stdin_text gives a child that meets the end of its input at once. Waits for
 * the child to end (see PROCESS_TIME_LIMIT_SECONDS).
 *
 * The output is returned as the program meant it: on Windows the C runtime
 * writes each line feed of a text-mode stream as carriage return plus line
 * feed, and this pair is turned back into a line feed; on POSIX the output
 * is returned byte for byte. */
ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &stdin_text);

/* On POSIX, when the environment variable OSTREL_RUNNER holds words (split
 * at spaces), run_process and run_process_without_input start the first of
 * them, looked up in PATH, with the rest and then program and args as its
 * arguments: a way to run every child under a checker such as Valgrind. A
 * runner that reports its findings through the exit status makes the cases
 * fail. The Windows source ignores OSTREL_RUNNER. */

/* As run_process, but the child has no standard input at all: descriptor 0
 * is closed on POSIX, and the standard input handle is null on Windows, so
 * every attempt to read it fails. */
ProcessResult run_process_without_input(const std::string &program,
                                        const std::vector<std::string> &args);

/* As run_process, but the input is a pipe that holds stdin_text and then
 * stays open, as a console's input does, until the child ends: a child that
 * reads past the text waits there until time_limit_seconds have passed, and
 * is then killed and reported with status -1. */
ProcessResult run_process_with_open_input(const std::string &program,
                                          const std::vector<std::string> &args,
                                          const std::string &stdin_text, int time_limit_seconds);

/* How the platform source gives the child its standard input. */
enum class ProcessInput {
    File, /* a file holding the text, then the end of the input */
    Pipe, /* a pipe holding the text, kept open until the child ends */
    None, /* no standard input at all */
};

/* What the platform source provides and the functions above call. */
ProcessResult process_run(const std::string &program, const std::vector<std::string> &args,
                          ProcessInput input, const std::string &stdin_text,
                          int time_limit_seconds);

#endif
