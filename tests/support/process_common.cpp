/* The part of process.h that is the same on every platform; the platform
 * source (process_posix.cpp or process_win32.cpp) defines process_run. */
#include "process.h"

ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &stdin_text)
{
    return process_run(program, args, ProcessInput::File, stdin_text, PROCESS_TIME_LIMIT_SECONDS);
}

ProcessResult run_process_without_input(const std::string &program,
                                        const std::vector<std::string> &args)
{
    return process_run(program, args, ProcessInput::None, "", PROCESS_TIME_LIMIT_SECONDS);
}

ProcessResult run_process_with_open_input(const std::string &program,
                                          const std::vector<std::string> &args,
                                          const std::string &stdin_text, int time_limit_seconds)
{
    return process_run(program, args, ProcessInput::Pipe, stdin_text, time_limit_seconds);
}
