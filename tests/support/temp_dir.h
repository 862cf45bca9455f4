/* SPDX-License-Identifier: MIT */
/* Temporary directories, whole-file helpers and path text for the tests.
 *
 * Tests run in parallel processes, so every TempDirectory gets a name no other
 * test can have; it is removed with everything in it when it goes out of
 * scope. Files are read and written in binary mode, byte for byte. */
#ifndef OSTREL_TESTS_SUPPORT_TEMP_DIR_H
#define OSTREL_TESTS_SUPPORT_TEMP_DIR_H

#include <filesystem>
#include <string>
#include <vector>

class TempDirectory
{
  public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory &) = delete;
    TempDirectory &operator=(const TempDirectory &) = delete;

    /* The directory itself. */
    const std::filesystem::path &path() const;

    /* The path of name inside the directory, as a string for the library. */
    std::string file(const std::string &name) const;

    /* Writes bytes to name inside the directory and returns its path. */
    std::string write(const std::string &name, const std::string &bytes) const;

  private:
    std::filesystem::path path_;
};

/* Writes bytes to path, replacing the file. */
void write_file_bytes(const std::filesystem::path &path, const std::string &bytes);

/* The whole content of the file at path; empty when it cannot be read. */
std::string read_file_bytes(const std::filesystem::path &path);

/* The names in directory, sorted. */
std::vector<std::string> list_directory(const std::filesystem::path &directory);

/* Whether name is that of the temporary the file layer writes beside a file
 * it replaces, which a process that ends in the middle leaves behind:
 * ".ost", four lowercase hex digits, ".tmp". */
bool is_replacement_temporary(const std::string &name);

/* path with every "/" turned into "\", as the installer and the library spell
 * paths on every system. */
std::string with_backslashes(const std::string &path);

#endif
