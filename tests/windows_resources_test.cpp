/* SPDX-License-Identifier: MIT */
/* What Windows reads from ostrel-install.exe without running it: the version
 * information (through version.dll, as Explorer does) and the application
 * manifest (resource type 24, id 1). */
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/installer_run.h"

#ifndef OSTREL_VERSION
#error "The build must define OSTREL_VERSION as the project's version"
#endif

namespace
{

/* The installer's version information block, empty when it has none. */
std::vector<char> version_block()
{
    const std::string path = installer_program();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> block(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, block.data())) {
        block.clear();
    }
    return block;
}

/* The value at sub_block, or null when there is none. */
const void *version_value(const std::vector<char> &block, const std::string &sub_block)
{
    void *value = nullptr;
    UINT length = 0;
    if (block.empty() || !VerQueryValueA(block.data(), sub_block.c_str(), &value, &length) ||
        length == 0) {
        return nullptr;
    }
    return value;
}

} // namespace

TEST(WindowsResources, VersionInformationCarriesTheProjectVersion)
{
    const std::vector<char> block = version_block();
    ASSERT_FALSE(block.empty()) << "GetFileVersionInfoA found no version information";

    const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(version_value(block, "\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numbers, OSTREL_VERSION);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_APP);

    const auto *translation =
        static_cast<const WORD *>(version_value(block, "\\VarFileInfo\\Translation"));
    ASSERT_NE(translation, nullptr);
    EXPECT_EQ(translation[0], 0x409) << "U.S. English";
    EXPECT_EQ(translation[1], 1200) << "Unicode";

    const struct {
        const char *name;
        std::string value; /* empty: any text but an empty one */
    } strings[] = {
        {"FileDescription", ""},
        {"FileVersion", OSTREL_VERSION},
        {"ProductName", "Ostrel"},
        {"ProductVersion", OSTREL_VERSION},
        {"OriginalFilename", "ostrel-install.exe"},
        {"InternalName", "ostrel-install"},
        {"LegalCopyright", ""},
    };
    for (const auto &expected : strings) {
        SCOPED_TRACE(expected.name);
        const char *text = static_cast<const char *>(
            version_value(block, std::string("\\StringFileInfo\\040904B0\\") + expected.name));
        ASSERT_NE(text, nullptr);
        if (expected.value.empty()) {
            EXPECT_STRNE(text, "");
        } else {
            EXPECT_EQ(std::string(text), expected.value);
        }
    }
}

TEST(WindowsResources, ManifestAsksForNoElevationAndNamesEveryWindowsSinceVista)
{
    const std::string path = installer_program();
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << GetLastError();
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << "no manifest";
    HGLOBAL loaded = LoadResource(module, found);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char *>(LockResource(loaded)),
                               SizeofResource(module, found));
    FreeLibrary(module);

    for (const char *expected : {
             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", /* Vista */
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", /* 7 */
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", /* 8 */
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", /* 8.1 */
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", /* 10 and 11 */
             "version=\"" OSTREL_VERSION ".0\"",
         }) {
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected << " in\n" << manifest;
    }
    for (const char *changes_behaviour : {"longPathAware", "activeCodePage"}) {
        EXPECT_EQ(manifest.find(changes_behaviour), std::string::npos) << changes_behaviour;
    }
}
