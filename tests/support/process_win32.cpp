/* SPDX-License-Identifier: MIT */
#include "process.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace
{

/* An open handle, closed when it goes out of scope. */
struct ProcessHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;

    ProcessHandle() = default;
    ProcessHandle(const ProcessHandle &) = delete;
    ProcessHandle &operator=(const ProcessHandle &) = delete;
    ~ProcessHandle()
    {
        close();
    }
    void close()
    {
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr) {
            CloseHandle(handle);
        }
        handle = INVALID_HANDLE_VALUE;
    }
};

/* A temporary file of its own name, deleted when it goes out of scope. */
struct ProcessTempFile {
    std::string path;

    ProcessTempFile() = default;
    ProcessTempFile(const ProcessTempFile &) = delete;
    ProcessTempFile &operator=(const ProcessTempFile &) = delete;
    ~ProcessTempFile()
    {
        if (!path.empty()) {
            DeleteFileA(path.c_str());
        }
    }
};

/* What was tried and the last Win32 error, for ProcessResult::problem. */
std::string process_error_text(const std::string &what)
{
    return what + ": error " + std::to_string(GetLastError());
}

/* Quotes one argument so that the Microsoft C runtime's parser gives it back
 * unchanged: left bare when it is non-empty and holds no space, tab, line
 * feed, vertical tab or double quote; otherwise put in double quotes, with
 * each run of backslashes doubled where it stands before a double quote or
 * the closing quote, and each inner double quote escaped by a backslash. */
std::string process_quote_argument(const std::string &argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

/* text, in code_page, as wide characters. */
std::wstring process_wide(const std::string &text, UINT code_page)
{
    int length = MultiByteToWideChar(code_page, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(length > 0 ? (size_t)length : 1, L'\0');
    MultiByteToWideChar(code_page, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(wide.size() - 1);
    return wide;
}

/* The command line for CreateProcess. The program name is only put in
 * quotes: the C runtime reads argv[0] up to the closing quote without looking
 * at backslashes, and a Windows path cannot hold a double quote. */
std::string process_command_line(const std::string &program, const std::vector<std::string> &args)
{
    std::string line = "\"" + program + "\"";
    for (const std::string &argument : args) {
        line += ' ';
        line += process_quote_argument(argument);
    }
    return line;
}

/* Makes a new empty temporary file and records its name. Returns false,
 * with problem set, on failure. */
bool process_make_temp(ProcessTempFile &temp, std::string &problem)
{
    char directory[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > sizeof directory) {
        problem = process_error_text("GetTempPathA");
        return false;
    }
    char name[MAX_PATH];
    if (GetTempFileNameA(directory, "e2e", 0, name) == 0) {
        problem = process_error_text("GetTempFileNameA");
        return false;
    }
    temp.path = name;
    return true;
}

/* Opens path with an inheritable handle for the child. */
HANDLE process_open_inheritable(const std::string &path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit;
    inherit.nLength = sizeof inherit;
    inherit.lpSecurityDescriptor = nullptr;
    inherit.bInheritHandle = TRUE;
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

/* Writes text into the file at path, replacing its content. */
bool process_write_file(const std::string &path, const std::string &text, std::string &problem)
{
    ProcessHandle file;
    file.handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        problem = process_error_text("CreateFileA " + path);
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        DWORD chunk = (DWORD)(text.size() - done);
        if (!WriteFile(file.handle, text.data() + done, chunk, &written, nullptr) || written == 0) {
            problem = process_error_text("WriteFile " + path);
            return false;
        }
        done += written;
    }
    return true;
}

/* Everything in the file at path; empty when it cannot be read. */
std::string process_read_file(const std::string &path)
{
    std::string text;
    ProcessHandle file;
    file.handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        return text;
    }
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file.handle, buffer, sizeof buffer, &count, nullptr) && count > 0) {
        text.append(buffer, count);
    }
    return text;
}

/* text with every carriage return that stands right before a line feed
 * removed: undoes the C runtime's text-mode translation of line feeds. */
std::string process_text_mode_undone(const std::string &text)
{
    std::string plain;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        plain.push_back(text[i]);
    }
    return plain;
}

/* Makes a pipe whose read end the child inherits, holding text, small
 * enough for the pipe's buffer. Returns false, with problem set, on failure. */
bool process_make_pipe(ProcessHandle &read_end, ProcessHandle &write_end, const std::string &text,
                       std::string &problem)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    DWORD written = 0;
    if (!CreatePipe(&read_end.handle, &write_end.handle, &inherit, 0) ||
        !SetHandleInformation(write_end.handle, HANDLE_FLAG_INHERIT, 0) ||
        (!text.empty() &&
         (!WriteFile(write_end.handle, text.data(), (DWORD)text.size(), &written, nullptr) ||
          written != text.size()))) {
        problem = process_error_text("CreatePipe for the input");
        return false;
    }
    return true;
}

} // namespace

ProcessResult run_process(const std::string &program, const std::vector<std::string> &args,
                          const std::string &stdin_text, const ProcessOptions &options)
{
    ProcessResult result = {-1, "", "", ""};
    const std::string native = native_program_path(program);

    ProcessTempFile input_file;
    ProcessTempFile output_file;
    ProcessTempFile error_file;
    ProcessHandle input;
    ProcessHandle input_writer; /* the pipe's other end, open until the child ends */
    ProcessHandle output;
    ProcessHandle errors;
    /* A child inherits every inheritable handle of this process: runs from
     * several threads make their child's handles, start it and make them
     * uninheritable one at a time, so that no child holds another's. */
    static std::mutex starting;
    std::unique_lock<std::mutex> one_at_a_time(starting);
    if (options.input == ProcessInput::Text) {
        if (!process_make_temp(input_file, result.problem) ||
            !process_write_file(input_file.path, stdin_text, result.problem)) {
            return result;
        }
        input.handle = process_open_inheritable(input_file.path, GENERIC_READ, OPEN_EXISTING);
        if (input.handle == INVALID_HANDLE_VALUE) {
            result.problem = process_error_text("CreateFileA " + input_file.path);
            return result;
        }
    } else if (options.input == ProcessInput::OpenPipe &&
               !process_make_pipe(input, input_writer, stdin_text, result.problem)) {
        return result;
    }
    if (!process_make_temp(output_file, result.problem) ||
        !process_make_temp(error_file, result.problem)) {
        return result;
    }
    output.handle = process_open_inheritable(output_file.path, GENERIC_WRITE, CREATE_ALWAYS);
    errors.handle = process_open_inheritable(error_file.path, GENERIC_WRITE, CREATE_ALWAYS);
    if (output.handle == INVALID_HANDLE_VALUE || errors.handle == INVALID_HANDLE_VALUE) {
        result.problem = process_error_text("CreateFileA for the output");
        return result;
    }

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    const bool unseen =
        options.console == ProcessConsole::Windowless || options.console == ProcessConsole::Hidden;
    if (!unseen) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = options.input != ProcessInput::None ? input.handle : nullptr;
        startup.hStdOutput = output.handle;
        startup.hStdError = errors.handle;
    } else if (options.console == ProcessConsole::Hidden) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    PROCESS_INFORMATION child;
    ZeroMemory(&child, sizeof child);
    /* The command line is quoted alike in either form: its rules look only
     * at ASCII characters. */
    UINT code_page = options.unicode ? CP_UTF8 : CP_ACP;
    std::wstring line = process_wide(process_command_line(native, args), code_page);
    std::wstring wide_program = process_wide(native, code_page);
    std::wstring wide_directory = process_wide(options.directory, code_page);
    const wchar_t *directory = options.directory.empty() ? nullptr : wide_directory.c_str();
    DWORD flags = options.console == ProcessConsole::Windowless ||
                          options.console == ProcessConsole::WindowlessRedirected
                      ? CREATE_NO_WINDOW
                  : options.console == ProcessConsole::Inherited ? 0
                                                                 : CREATE_NEW_CONSOLE;
    /* Wine now and then fails to start a process with ERROR_INTERNAL_ERROR
     * before it runs any of it: the program never began, so starting it
     * again changes nothing a test checks. */
    BOOL created = FALSE;
    for (int attempt = 0; attempt < 3 && !created; attempt++) {
        if (attempt > 0) {
            Sleep(100);
        }
        created = CreateProcessW(wide_program.c_str(), &line[0], nullptr, nullptr, TRUE, flags,
                                 nullptr, directory, &startup, &child);
        if (!created && GetLastError() != ERROR_INTERNAL_ERROR) {
            break;
        }
    }
    if (!created) {
        result.problem = process_error_text("CreateProcessW " + native);
        return result;
    }
    for (HANDLE handle : {input.handle, output.handle, errors.handle}) {
        if (handle != INVALID_HANDLE_VALUE && handle != nullptr) {
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
        }
    }
    one_at_a_time.unlock();
    result.started = true;
    ProcessHandle process;
    ProcessHandle thread;
    process.handle = child.hProcess;
    thread.handle = child.hThread;

    input.close();
    DWORD waited = WaitForSingleObject(process.handle, (DWORD)options.time_limit_seconds * 1000);
    if (waited == WAIT_TIMEOUT) {
        TerminateProcess(process.handle, 1);
        WaitForSingleObject(process.handle, INFINITE);
        result.problem = "still running after " + std::to_string(options.time_limit_seconds) +
                         " seconds, killed";
    } else if (waited != WAIT_OBJECT_0) {
        result.problem = process_error_text("WaitForSingleObject");
    } else {
        DWORD exit_code = 0;
        if (GetExitCodeProcess(process.handle, &exit_code)) {
            result.status = (int)exit_code;
        } else {
            result.problem = process_error_text("GetExitCodeProcess");
        }
    }
    output.close();
    errors.close();
    result.out = process_text_mode_undone(process_read_file(output_file.path));
    result.err = process_text_mode_undone(process_read_file(error_file.path));
    return result;
}

std::string native_program_path(const std::string &program)
{
    const std::string native = with_backslashes(program);
    return !program.empty() && program[0] == '/' ? "Z:" + native : native;
}
