/* SPDX-License-Identifier: MIT */
/* Unpacked distribution trees for the installer's end-to-end cases.
 *
 * A DistributionTree lives in a directory of its own under the system's
 * temporary directory, made unique so that cases may run in parallel, and
 * removed with everything in it when the tree goes out of scope.
 *
 * Paths inside a tree are written as the installer writes them: relative to
 * the root, with "\" between components ("ostcore-1.0\bin\ost.exe"). The
 * tree turns them into native paths when it touches the file system, so a
 * case reads the same on Linux and on Windows. */
#ifndef OSTREL_TESTS_SUPPORT_DISTRIBUTION_H
#define OSTREL_TESTS_SUPPORT_DISTRIBUTION_H

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "temp_dir.h"

/* The seven executables the installer publishes, in its order, and the two
 * boot scripts of a release, the minimal one first. */
const std::vector<std::string> &published_executables();
const std::vector<std::string> &boot_scripts();

/* The shape of a new tree. */
struct DistributionLayout {
    std::string vsn = "1.0";             /* runtime version: "ostcore-<vsn>\bin" */
    std::string system_vsn = "A1";       /* release version: "releases\<system_vsn>" */
    std::optional<std::string> manifest; /* text of "Install.ini"; unset: the two keys above */
    std::string root_name = "root";      /* name of the root directory in the workspace */
    std::size_t root_length = 0;         /* non-zero: the root text has exactly this length */
    bool manifest_only = false;          /* only "Install.ini", no runtime or release files */
};

/* A distribution tree: "Install.ini", the seven executables in the runtime
 * bin directory and the two boot scripts in the release directory, each
 * file with contents of its own (executable_contents, boot_script_contents). */
class DistributionTree
{
  public:
    explicit DistributionTree(const DistributionLayout &layout = DistributionLayout());
    ~DistributionTree();
    DistributionTree(const DistributionTree &) = delete;
    DistributionTree &operator=(const DistributionTree &) = delete;

    /* The root as a command-line argument names it: the native path text. */
    const std::string &root() const;
    const DistributionLayout &layout() const;
    /* "ostcore-<vsn>\bin" and "releases\<system_vsn>", relative to the root. */
    std::string runtime_bin() const;
    std::string release() const;

    /* root() + "\" + relative: the path as the installer prints it when it was
     * given root() on its command line. */
    std::string path(const std::string &relative) const;

    /* Changes to the tree. write_file makes missing parent directories;
     * remove takes away a file or a whole directory; replace_with_directory
     * removes what stands at relative and puts an empty directory there. */
    void write_file(const std::string &relative, const std::string &contents) const;
    void remove(const std::string &relative) const;
    void replace_with_directory(const std::string &relative) const;

    /* The contents of the file at relative; unset when no regular file is
     * there. */
    std::optional<std::string> read_file(const std::string &relative) const;
    bool is_directory(const std::string &relative) const;
    bool exists(const std::string &relative) const;

    /* The names in the directory at relative, sorted, each directory's name
     * followed by "\"; empty when there is no such directory. */
    std::vector<std::string> list(const std::string &relative) const;

    /* Everything in the workspace that holds the root: each path, relative to
     * the workspace, mapped to "<dir>" or to "file: " and its contents. Two
     * equal snapshots mean nothing was created, removed or changed. */
    std::map<std::string, std::string> snapshot() const;

    /* Copies the program at native_program into the root, under its own
     * file name, and returns the native path of the copy. */
    std::string copy_into_root(const std::string &native_program) const;

  private:
    std::filesystem::path native(const std::string &relative) const;

    DistributionLayout layout_;
    std::filesystem::path workspace_; /* unique directory, removed at the end */
    std::filesystem::path root_path_; /* the root directory inside it */
    std::string root_;                /* root_path_ as text */
    mutable std::vector<std::filesystem::path> made_files_; /* every file written or copied */
};

/* directory + "\" + name, as the installer joins paths. */
std::string join(const std::string &directory, const std::string &name);

/* The exact bytes of "ost.ini" for the given root text and runtime version. */
std::string launcher_configuration(const std::string &root, const std::string &vsn);

/* The contents a tree gives an executable of runtime vsn and a boot script
 * of release system_vsn. */
std::string executable_contents(const std::string &name, const std::string &vsn);
std::string boot_script_contents(const std::string &name, const std::string &system_vsn);

#endif
