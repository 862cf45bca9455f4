/* SPDX-License-Identifier: MIT */
/* The installer with names that are not ASCII, in code page 1252 and in the
 * double-byte code page 932, under Wine when built on Linux (932 when the
 * tests run with LC_ALL=ja_JP.UTF-8).
 *
 * Windows hands an ANSI program its command line and its own path in the
 * system's code page, a character that the code page lacks turned into a
 * look-alike ("best fit"): the installer must refuse such text rather than
 * install into the look-alike directory. Text the code page holds must
 * install, also where the second byte of a double-byte character is 0x5C,
 * the byte of "\".
 *
 * The trees are made with the Unicode calls, from names written here in
 * UTF-8; the installer is started with a Unicode command line, as Explorer
 * or a Unicode shell starts it. */
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/installer_platform.h"
#include "support/installer_run.h"

namespace
{

std::wstring wide(const std::string &utf8)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring text((size_t)length, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &text[0], length);
    text.resize((size_t)length - 1);
    return text;
}

/* text in code_page, each character it lacks turned into its look-alike. */
std::string narrow(const std::wstring &text, UINT code_page)
{
    int length = WideCharToMultiByte(code_page, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes((size_t)length, '\0');
    WideCharToMultiByte(code_page, 0, text.c_str(), -1, &bytes[0], length, nullptr, nullptr);
    bytes.resize((size_t)length - 1);
    return bytes;
}

/* text as an ANSI program sees it, in the system's code page. */
std::string ansi(const std::wstring &text)
{
    return narrow(text, CP_ACP);
}

std::string utf8(const std::wstring &text)
{
    return narrow(text, CP_UTF8);
}

bool write_file(const std::wstring &path, const std::string &contents)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    BOOL ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, contents.data(), (DWORD)contents.size(), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return ok && written == contents.size();
}

std::string read_file(const std::wstring &path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string contents;
    char buffer[4096];
    DWORD count = 0;
    while (file != INVALID_HANDLE_VALUE && ReadFile(file, buffer, sizeof buffer, &count, nullptr) &&
           count > 0) {
        contents.append(buffer, count);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return contents;
}

/* Everything under directory: each path below it mapped to "<dir>" or to
 * the file's contents. */
void snapshot_into(const std::wstring &directory, const std::wstring &below,
                   std::map<std::wstring, std::string> &entries)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        std::wstring path = directory + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            entries[below + name] = "<dir>";
            snapshot_into(path, below + name + L"\\", entries);
        } else {
            entries[below + name] = read_file(path);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void remove_tree(const std::wstring &directory)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            std::wstring path = directory + L"\\" + name;
            if (name == L"." || name == L"..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                remove_tree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(directory.c_str());
}

/* One case: where the installer is and what it is given, and what it must
 * do. Names are UTF-8 and relative to the case's workspace, "\" between
 * components. */
struct TextCase {
    const char *what;
    std::string program;  /* where the installer's copy is */
    std::string root;     /* the root: given as an argument, or, when empty, its directory */
    std::string manifest; /* the "VSN=" line of Install.ini, in the code page's bytes */
    std::string vsn;      /* the name of the runtime's directory after "ostcore-", UTF-8 */
    std::string refusal;  /* what it must say when it refuses, "<root>" standing for the
                           * root as the installer names it; empty: it installs */
};

const char kSystemVsn[] = "A1";

class CodePageText : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        ASSERT_TRUE(length > 0 && length <= MAX_PATH);
        workspace_ = std::wstring(temp) + L"ostrel-text-" + std::to_wstring(GetCurrentProcessId());
        remove_tree(workspace_);
        ASSERT_TRUE(CreateDirectoryW(workspace_.c_str(), nullptr));
    }

    void TearDown() override
    {
        remove_tree(workspace_);
    }

    /* The path of relative in the directory of the case under way. */
    std::wstring path(const std::string &relative) const
    {
        return case_ + L"\\" + wide(relative);
    }

    /* Makes every missing directory of path. */
    static void make_directories(const std::wstring &path)
    {
        size_t separator = path.rfind(L'\\');
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            separator != std::wstring::npos) {
            make_directories(path.substr(0, separator));
            CreateDirectoryW(path.c_str(), nullptr);
        }
    }

    /* Lays out a complete distribution at root, whose manifest names the
     * runtime with the line manifest and whose runtime lies in
     * "ostcore-<vsn>". */
    static void make_distribution(const std::wstring &root, const std::string &manifest,
                                  const std::wstring &vsn)
    {
        const std::wstring runtime_bin = root + L"\\ostcore-" + vsn + L"\\bin";
        const std::wstring release = root + L"\\releases\\" + wide(kSystemVsn);
        make_directories(runtime_bin);
        make_directories(release);
        ASSERT_TRUE(
            write_file(root + L"\\Install.ini",
                       "[Install]\r\n" + manifest + "\r\nSYSTEM_VSN=" + kSystemVsn + "\r\n"));
        for (const std::string &name : published_executables()) {
            ASSERT_TRUE(
                write_file(runtime_bin + L"\\" + wide(name), executable_contents(name, utf8(vsn))));
        }
        for (const std::string &name : boot_scripts()) {
            ASSERT_TRUE(
                write_file(release + L"\\" + wide(name), boot_script_contents(name, kSystemVsn)));
        }
    }

    /* Runs one case: lays out its distribution where the root is, and a
     * second one at the look-alike the code page makes of the root, then
     * runs the installer silently and judges what it did. */
    void run(const TextCase &each)
    {
        SCOPED_TRACE(each.what);
        static int cases = 0;
        case_ = workspace_ + L"\\" + std::to_wstring(++cases);
        ASSERT_TRUE(CreateDirectoryW(case_.c_str(), nullptr));
        const std::wstring program = path(each.program);
        const std::wstring root =
            each.root.empty() ? program.substr(0, program.rfind(L'\\')) : path(each.root);
        make_directories(program.substr(0, program.rfind(L'\\')));
        ASSERT_TRUE(CopyFileW(wide(installer_program()).c_str(), program.c_str(), FALSE));
        ASSERT_NO_FATAL_FAILURE(make_distribution(root, each.manifest, wide(each.vsn)));
        /* What an ANSI program would take for the root; a name holding the
         * code page's default character "?" cannot be made. */
        const std::string look_alike = ansi(root);
        int length = MultiByteToWideChar(CP_ACP, 0, look_alike.c_str(), -1, nullptr, 0);
        std::wstring made((size_t)length, L'\0');
        MultiByteToWideChar(CP_ACP, 0, look_alike.c_str(), -1, &made[0], length);
        made.resize((size_t)length - 1);
        if (made != root && look_alike.find('?') == std::string::npos) {
            ASSERT_NO_FATAL_FAILURE(make_distribution(made, each.manifest, wide(each.vsn)));
        }
        std::map<std::wstring, std::string> before;
        snapshot_into(case_, L"", before);

        std::vector<std::string> args = {"-s"};
        if (!each.root.empty()) {
            args.push_back(utf8(root));
        }
        ProcessOptions options;
        options.unicode = true;
        ProcessResult result = run_process(utf8(program), args, "", options);

        ASSERT_TRUE(result.started) << result.problem;
        std::map<std::wstring, std::string> after;
        snapshot_into(case_, L"", after);
        if (!each.refusal.empty()) {
            std::string refusal = each.refusal;
            size_t at = refusal.find("<root>");
            if (at != std::string::npos) {
                refusal.replace(at, 6, ansi(root));
            }
            EXPECT_EQ(result, outcome(1, "", refusal));
            EXPECT_TRUE(after == before) << "nothing changes anywhere";
            return;
        }
        EXPECT_EQ(result, outcome(0, "", ""));
        const std::string configuration = launcher_configuration(ansi(root), ansi(wide(each.vsn)));
        EXPECT_EQ(read_file(root + L"\\ostcore-" + wide(each.vsn) + L"\\bin\\ost.ini"),
                  configuration);
        EXPECT_EQ(read_file(root + L"\\bin\\ost.ini"), configuration);
        for (const std::string &name : published_executables()) {
            EXPECT_EQ(read_file(root + L"\\bin\\" + wide(name)),
                      executable_contents(name, each.vsn))
                << name;
        }
        EXPECT_EQ(read_file(root + L"\\bin\\start.boot"),
                  boot_script_contents("start_bare.boot", kSystemVsn));
    }

    std::wstring workspace_; /* removed with everything in it after the test */
    std::wstring case_;      /* the directory of the case under way, in the workspace */
};

const std::string kPlainManifest = "VSN=1.0";

class CodePage1252 : public CodePageText
{
};

class CodePage932 : public CodePageText
{
};

} // namespace

TEST_F(CodePage1252, RefusesLookAlikesAndInstallsWhatTheCodePageHolds)
{
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the system's code page is " << GetACP() << ", not 1252";
    }
    const TextCase cases[] = {
        {"an installer in a directory named with a character 1252 lacks",
         "Jiří\\ostrel-install.exe", "", kPlainManifest, "1.0", kInexactOwnPath},
        {"a root argument with a character 1252 lacks", "setup\\ostrel-install.exe", "Jiří",
         kPlainManifest, "1.0", inexact_argument(2)},
        {"an installer in a directory whose name holds fullwidth reverse solidi",
         "x\\y\\a＼..＼..＼evil\\ostrel-install.exe", "", kPlainManifest, "1.0", kInexactOwnPath},
        {"an installer in Müller", "Müller\\ostrel-install.exe", "", kPlainManifest, "1.0", ""},
        {"a root argument given to an installer in a directory named with a character 1252 lacks",
         "Jiří\\ostrel-install.exe", "Café", kPlainManifest, "1.0", ""},
        {"a root argument Café", "setup\\ostrel-install.exe", "Café", kPlainManifest, "1.0", ""},
        {"a root argument Straße under a runtime named é", "setup\\ostrel-install.exe", "Straße",
         "VSN=\xe9", "é", ""},
    };
    for (const TextCase &each : cases) {
        run(each);
    }
}

/* Wine hands a program the same arguments in both forms, whatever look-alike
 * it makes of a character, so that only an argv of its own shows the count
 * told apart: this very program's arguments, and too few of them. */
TEST_F(CodePage1252, TellsArgumentsThatDifferInNumberFromTheUnicodeCommandLine)
{
    ASSERT_GT(__argc, 1) << "ctest gives the program a filter";
    EXPECT_EQ(installer_platform_inexact_argument(__argc, __argv), 0);
    EXPECT_EQ(installer_platform_inexact_argument(__argc - 1, __argv), -1);
}

TEST_F(CodePage932, FindsSeparatorsByCharacterAndRefusesWhatTheCodePageLacks)
{
    if (GetACP() != 932) {
        GTEST_SKIP() << "the system's code page is " << GetACP()
                     << ", not 932: run the tests with LC_ALL=ja_JP.UTF-8, a locale the Debian "
                        "package locales makes once ja_JP.UTF-8 is generated";
    }
    const TextCase cases[] = {
        {"an installer named with ソ, whose second byte is 0x5C", "setup\\セットアップソ.exe", "",
         kPlainManifest, "1.0", ""},
        {"a runtime version 5.2表, whose 0x5C is written escaped", "setup\\ostrel-install.exe",
         "表計算", "VSN=5.2\x95\\\\", "5.2表", ""},
        {"a root argument with a character 932 lacks", "setup\\ostrel-install.exe", "Jiří",
         kPlainManifest, "1.0", inexact_argument(2)},
        {"an installer in a directory named with a character 932 lacks",
         "Müller\\ostrel-install.exe", "", kPlainManifest, "1.0", kInexactOwnPath},
        {"a runtime version ending in a lead byte", "setup\\ostrel-install.exe", "", "VSN=5.2\x83",
         "1.0", value_not_text("VSN", "<root>\\Install.ini")},
    };
    for (const TextCase &each : cases) {
        run(each);
    }
}
