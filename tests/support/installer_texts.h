/* SPDX-License-Identifier: MIT */
/* The fixed texts the installer prints, as the cases and the fuzz targets
 * expect them: one copy, kept apart from the installer's own. */
#ifndef OSTREL_TESTS_SUPPORT_INSTALLER_TEXTS_H
#define OSTREL_TESTS_SUPPORT_INSTALLER_TEXTS_H

#include <string>

/* The startup question, without a line feed. */
inline constexpr char kQuestion[] = "Do you want a minimal startup instead of mext [No]: ";
/* When the answer cannot be read. */
inline constexpr char kNoAnswer[] = "Could not read answer from user.\n";
/* After each warning. */
inline constexpr char kContinuing[] = "Continuing installation anyway...\n";
/* After a failed copy or write that ends the installation. */
inline constexpr char kBailingOut[] = "Cannot continue installation, bailing out.\n";
/* At the end of a run in a console window of its own. */
inline constexpr char kPressEnter[] = "Press Enter to close this window.";

/* What the installer says of its own path when it cannot be had, holds no
 * backslash, or does not fit. */
inline constexpr char kNoExecutablePath[] = "Could not GetModuleFileName()\n";
inline constexpr char kBrokenExecutablePath[] = "GetModuleFileName returned broken path\n";
inline constexpr char kExecutablePathTooLong[] =
    "GetModuleFileName returned a path longer than 259 characters\n";

/* The refusals of text that the system's code page holds only as a
 * look-alike: the program's own path, an argument at a position, or a
 * command line whose arguments change in number. */
inline constexpr char kInexactOwnPath[] =
    "The path of this program holds characters that this system's code page lacks: run it from "
    "a directory whose name has only characters of this system's code page\n";
inline std::string inexact_argument(int position)
{
    return "Argument " + std::to_string(position) +
           " holds characters that this system's code page lacks: use a directory whose name "
           "has only characters of this system's code page\n";
}

/* The refusal of an argument that begins with "-" but is no silent switch. */
inline std::string unknown_switch(const std::string &argument)
{
    return "Unknown command switch " + argument + "\n";
}

/* The refusal of a second argument that names a root. */
inline std::string second_root(const std::string &argument)
{
    return "Only one root directory can be specified, parameter " + argument + " is illegal\n";
}

/* The refusal of a root that holds a double quote, as a backslash before a
 * closing quote leaves one in it. */
inline std::string quoted_root(const std::string &argument)
{
    return "Root directory " + argument +
           " holds a double quote, which no Windows path can: a backslash before a closing "
           "quote escapes it, so write the root without its trailing backslash (or, in a batch "
           "file, \"%~dp0.\")\n";
}

/* When the full path of a relative root cannot be had for the launcher
 * configuration. */
inline std::string no_full_path(const std::string &root)
{
    return "Could not find the full path of root directory " + root + "\n";
}

/* "Cannot open init file <manifest>\n". */
inline std::string cannot_open(const std::string &manifest)
{
    return "Cannot open init file " + manifest + "\n";
}

/* The refusal of a manifest value that would be unsafe in a path. */
inline std::string unsafe_value(const std::string &key, const std::string &manifest)
{
    return "Value of " + key + " in init file " + manifest +
           " must not hold \\, /, : or control characters\n";
}

/* The refusal of a manifest value that is no text of the code page. */
inline std::string value_not_text(const std::string &key, const std::string &manifest)
{
    return "Value of " + key + " in init file " + manifest +
           " is no text of this system's code page\n";
}

/* "Could not find file <path>\n": a source the installation needs is missing. */
inline std::string missing_file(const std::string &path)
{
    return "Could not find file " + path + "\n";
}

/* The message pair for a launcher configuration that cannot be written. */
inline std::string create_failure(const std::string &path)
{
    return "Could not create file " + path + "\n" + kBailingOut;
}

/* "Ostrel <vsn> installed successfully\n". */
inline std::string success_line(const std::string &vsn)
{
    return "Ostrel " + vsn + " installed successfully\n";
}

/* The warning pair for a failed copy of an executable. */
inline std::string copy_warning(const std::string &source, const std::string &target)
{
    return "Could not copy file " + source + " to " + target + "\n" + kContinuing;
}

/* The message pair for a failed copy that ends the installation. */
inline std::string copy_failure(const std::string &source, const std::string &target)
{
    return "Could not copy file " + source + " to " + target + "\n" + kBailingOut;
}

#endif
