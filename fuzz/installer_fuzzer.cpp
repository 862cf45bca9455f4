/* SPDX-License-Identifier: MIT */
/* Drives the installer's command line and startup question in-process, with
 * memory streams for standard input, output and error, and checks each
 * outcome against a plain statement of the rules. Nothing touches the file
 * system.
 *
 * Input: the arguments, each ended by a line feed (a last one may lack it),
 * up to the first NUL byte; everything after that NUL is standard input.
 * Without a NUL byte the whole input is arguments and standard input is
 * empty. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "installer.h"
#include "fuzz_checks.h"
#include "support/installer_texts.h"

namespace
{

/* A stream collecting what is written to it. */
struct FuzzOutput {
    char *bytes = NULL;
    size_t size = 0;
    FILE *stream = NULL;

    FuzzOutput()
    {
        stream = open_memstream(&bytes, &size);
        fuzz_check(stream != NULL, "memory stream opens");
    }
    FuzzOutput(const FuzzOutput &) = delete;
    FuzzOutput &operator=(const FuzzOutput &) = delete;
    ~FuzzOutput()
    {
        if (stream != NULL) {
            fclose(stream);
        }
        free(bytes);
    }
    /* Everything written so far; the stream stays open. */
    std::string text()
    {
        fuzz_check(fflush(stream) == 0, "memory stream flushes");
        return std::string(bytes, size);
    }
};

/* The command line rules: "-s..." is silent, any other "-..." an unknown
 * switch, anything else the root, and a second root, or a root holding a
 * double quote, an error; the first error in order wins and ends the walk. Any "-s..." makes the
 * run silent, even one after the error. */
void fuzz_check_arguments(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("ostrel-install"));
    for (const std::string &argument : arguments) {
        argv.push_back(const_cast<char *>(argument.c_str()));
    }
    argv.push_back(NULL);

    std::string expected_error;
    bool silent = false;
    for (const std::string &argument : arguments) {
        silent = silent || argument.compare(0, 2, "-s") == 0;
    }
    int root = -1;
    for (size_t i = 0; i < arguments.size() && expected_error.empty(); i++) {
        const std::string &argument = arguments[i];
        bool is_switch = !argument.empty() && argument[0] == '-';
        if (is_switch && argument.size() >= 2 && argument[1] == 's') {
            continue;
        }
        if (is_switch) {
            expected_error = unknown_switch(argument);
        } else if (root >= 0) {
            expected_error = second_root(argument);
        } else if (argument.find('"') != std::string::npos) {
            expected_error = quoted_root(argument);
        } else {
            root = (int)i;
        }
    }

    InstallerSettings settings = {0, NULL, 0};
    FuzzOutput err;
    int result =
        installer_parse_arguments((int)argv.size() - 1, argv.data(), &settings, err.stream);
    fuzz_check(err.text() == expected_error, "error output as the rules say");
    fuzz_check((settings.silent != 0) == silent, "silent after any -s switch, even past an error");
    if (!expected_error.empty()) {
        fuzz_check(result == 1, "an error gives status 1");
        return;
    }
    fuzz_check(result == 0, "accepted arguments give 0");
    fuzz_check(settings.root == (root < 0 ? NULL : argv[(size_t)root + 1]),
               "root is the one argument not beginning with -, as typed");
    fuzz_check(settings.full_startup == 0, "arguments leave the startup alone");
}

/* The answer rules: the first line of the input, cut at 99 bytes, at the
 * first carriage return and (as a string) at the first NUL, chooses the
 * minimal startup when it is "y" or "yes" in any case of the letters A to Z.
 * Exactly that first line, line feed included, is consumed. */
void fuzz_check_answer(const std::string &input)
{
    size_t line_feed = input.find('\n');
    std::string line = input.substr(0, line_feed);
    std::string answer = line.substr(0, INSTALLER_ANSWER_SIZE - 1);
    answer = answer.substr(0, answer.find_first_of(std::string("\r\0", 2)));
    for (char &letter : answer) {
        if (letter >= 'A' && letter <= 'Z') {
            letter = (char)(letter - 'A' + 'a');
        }
    }
    bool minimal = answer == "y" || answer == "yes";
    size_t consumed = line_feed == std::string::npos ? input.size() : line_feed + 1;

    /* fmemopen wants a buffer even for an empty input. */
    std::string buffer = input.empty() ? std::string(1, '\0') : input;
    FILE *in = fmemopen(&buffer[0], input.size(), "r");
    fuzz_check(in != NULL, "input stream opens");
    FuzzOutput out;
    FuzzOutput err;
    InstallerSettings settings = {0, "root", 0};
    int result = installer_ask_startup(&settings, in, out.stream, err.stream);
    long position = ftell(in);
    fclose(in);

    fuzz_check(out.text() == kQuestion, "the question, and nothing else, on the output");
    if (input.empty()) {
        fuzz_check(result == 1, "no answer gives status 1");
        fuzz_check(err.text() == kNoAnswer, "no answer reported");
        return;
    }
    fuzz_check(result == 0, "an answer gives 0");
    fuzz_check(err.text().empty(), "nothing on the error stream");
    fuzz_check((settings.full_startup == 0) == minimal, "minimal startup exactly after y or yes");
    fuzz_check(position == (long)consumed, "exactly the first line of input consumed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes((const char *)data, size);
    size_t split = bytes.find('\0');
    std::string command_line = bytes.substr(0, split);
    std::string input = split == std::string::npos ? std::string() : bytes.substr(split + 1);

    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < command_line.size()) {
        size_t end = command_line.find('\n', start);
        if (end == std::string::npos) {
            end = command_line.size();
        }
        arguments.push_back(command_line.substr(start, end - start));
        start = end + 1;
    }
    fuzz_check_arguments(arguments);
    fuzz_check_answer(input);
    return 0;
}
