/* SPDX-License-Identifier: MIT */
#include "process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>

extern char **environ;

namespace
{

/* An anonymous temporary file, removed when closed. Its descriptor is not
 * inherited by children except where a spawn action places it. */
struct ProcessTempFile {
    FILE *file = nullptr;

    ProcessTempFile() = default;
    ProcessTempFile(const ProcessTempFile &) = delete;
    ProcessTempFile &operator=(const ProcessTempFile &) = delete;
    ~ProcessTempFile()
    {
        if (file != nullptr) {
            fclose(file);
        }
    }
    int fd() const
    {
        return fileno(file);
    }
};

/* The text of errno after a failed call, prefixed with what was tried. */
std::string process_error_text(const char *what, int error)
{
    return std::string(what) + ": " + strerror(error);
}

/* Opens an anonymous temporary file holding text, positioned at its start.
 * Returns false, with problem set, on failure. */
bool process_open_temp(ProcessTempFile &temp, const std::string &text, std::string &problem)
{
    temp.file = tmpfile();
    if (temp.file == nullptr) {
        problem = process_error_text("tmpfile", errno);
        return false;
    }
    if (fcntl(temp.fd(), F_SETFD, FD_CLOEXEC) != 0) {
        problem = process_error_text("fcntl", errno);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(temp.fd(), text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            problem = process_error_text("write", errno);
            return false;
        }
        done += (size_t)written;
    }
    if (lseek(temp.fd(), 0, SEEK_SET) != 0) {
        problem = process_error_text("lseek", errno);
        return false;
    }
    return true;
}

/* Everything in the file from its start. */
std::string process_read_all(const ProcessTempFile &temp)
{
    std::string text;
    if (lseek(temp.fd(), 0, SEEK_SET) != 0) {
        return text;
    }
    char buffer[4096];
    for (;;) {
        ssize_t count = read(temp.fd(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return text;
        }
        text.append(buffer, (size_t)count);
    }
}

/* Both ends of a pipe, each closed when it goes out of scope. */
struct ProcessPipe {
    int ends[2] = {-1, -1}; /* read, write */

    ProcessPipe() = default;
    ProcessPipe(const ProcessPipe &) = delete;
    ProcessPipe &operator=(const ProcessPipe &) = delete;
    ~ProcessPipe()
    {
        for (int end : ends) {
            if (end >= 0) {
                close(end);
            }
        }
    }
};

/* Makes a pipe that holds text, small enough for the pipe's buffer. Returns
 * false, with problem set, on failure. */
bool process_open_pipe(ProcessPipe &pipe, const std::string &text, std::string &problem)
{
    if (pipe2(pipe.ends, O_CLOEXEC) != 0) {
        problem = process_error_text("pipe2", errno);
        return false;
    }
    if (write(pipe.ends[1], text.data(), text.size()) != (ssize_t)text.size()) {
        problem = process_error_text("write to the pipe", errno);
        return false;
    }
    return true;
}

/* Waits for the child to end, killing it once time_limit_seconds have
 * passed. Returns the exit status, or -1 with problem set. */
int process_wait(pid_t child, int time_limit_seconds, std::string &problem)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(time_limit_seconds);
    long pause_nanoseconds = 100000;
    for (;;) {
        int wait_status = 0;
        pid_t ended = waitpid(child, &wait_status, WNOHANG);
        if (ended < 0 && errno == EINTR) {
            continue;
        }
        if (ended < 0) {
            problem = process_error_text("waitpid", errno);
            return -1;
        }
        if (ended == child) {
            if (WIFEXITED(wait_status)) {
                return WEXITSTATUS(wait_status);
            }
            problem = "ended by signal " + std::to_string(WTERMSIG(wait_status));
            return -1;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(child, SIGKILL);
            while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
            }
            problem =
                "still running after " + std::to_string(time_limit_seconds) + " seconds, killed";
            return -1;
        }
        struct timespec pause = {0, pause_nanoseconds};
        nanosleep(&pause, nullptr);
        if (pause_nanoseconds < 10000000) {
            pause_nanoseconds *= 2;
        }
    }
}

/* The words of OSTREL_RUNNER, split at spaces, tabs and line feeds; none
 * when it is unset or blank. */
std::vector<std::string> process_runner_words()
{
    std::vector<std::string> words;
    const char *runner = getenv("OSTREL_RUNNER");
    if (runner == nullptr) {
        return words;
    }
    std::string word;
    for (const char *c = runner;; c++) {
        if (*c == '\0' || *c == ' ' || *c == '\t' || *c == '\n') {
            if (!word.empty()) {
                words.push_back(word);
            }
            word.clear();
            if (*c == '\0') {
                return words;
            }
        } else {
            word.push_back(*c);
        }
    }
}

} // namespace

ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &stdin_text, const ProcessOptions &options)
{
    ProcessResult result = {-1, "", "", ""};
    ProcessTempFile input_file;
    ProcessPipe input_pipe;
    ProcessTempFile output;
    ProcessTempFile errors;
    if ((options.input == ProcessInput::Text &&
         !process_open_temp(input_file, stdin_text, result.problem)) ||
        (options.input == ProcessInput::OpenPipe &&
         !process_open_pipe(input_pipe, stdin_text, result.problem)) ||
        !process_open_temp(output, "", result.problem) ||
        !process_open_temp(errors, "", result.problem)) {
        return result;
    }

    std::vector<std::string> words = process_runner_words();
    words.push_back(program);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.input == ProcessInput::Text) {
        posix_spawn_file_actions_adddup2(&actions, input_file.fd(), 0);
    } else if (options.input == ProcessInput::OpenPipe) {
        posix_spawn_file_actions_adddup2(&actions, input_pipe.ends[0], 0);
    } else {
        posix_spawn_file_actions_addclose(&actions, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, output.fd(), 1);
    posix_spawn_file_actions_adddup2(&actions, errors.fd(), 2);
    if (!options.directory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.directory.c_str());
    }
    pid_t child = 0;
    /* Without a runner words[0] is a path, which posix_spawnp does not look up. */
    int spawn_error =
        posix_spawnp(&child, words[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawn_error != 0) {
        result.problem = process_error_text(("cannot start " + words[0]).c_str(), spawn_error);
        return result;
    }

    result.started = true;
    result.status = process_wait(child, options.time_limit_seconds, result.problem);
    result.out = process_read_all(output);
    result.err = process_read_all(errors);
    return result;
}

std::string native_program_path(const std::string &program)
{
    return program;
}
