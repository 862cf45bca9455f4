/* SPDX-License-Identifier: MIT */
#include "distribution.h"

#include "ini_model.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace
{

/* Longest directory name used when a long root is built from nested
 * directories: below the 255-byte limit of a path component on Linux. */
const std::size_t kLongRootSegment = 200;

/* A new, empty directory of a name no other tree uses, under the system's
 * temporary directory (with symbolic links resolved, so that the path a
 * program reports for itself matches the path the tree was made under). */
fs::path distribution_make_workspace()
{
    const fs::path base = fs::canonical(fs::temp_directory_path());
    static unsigned long counter = 0;
    std::random_device device;
    std::mt19937_64 numbers(
        ((std::uint64_t)device() << 32) ^ device() ^
        (std::uint64_t)std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; attempt++) {
        std::ostringstream name;
        /* Of fixed length, so that every tree of a program has a root of the
         * same length. */
        name << "ostrel-e2e-" << std::hex << std::setfill('0') << std::setw(16) << numbers() << "-"
             << std::setw(6) << ++counter;
        if (fs::create_directory(base / name.str())) {
            return base / name.str();
        }
    }
    throw std::runtime_error("cannot make a unique directory under " + base.string());
}

/* workspace extended by nested directories so that its text is exactly
 * length characters long. */
fs::path distribution_long_root(const fs::path &workspace, std::size_t length)
{
    const std::string start = workspace.string();
    if (length < start.size() + 2) {
        throw std::invalid_argument("root length " + std::to_string(length) +
                                    " is too short for the workspace " + start);
    }
    fs::path root = workspace;
    std::size_t remaining = length - start.size();
    while (remaining > 0) {
        std::size_t segment = std::min(remaining - 1, kLongRootSegment);
        if (remaining - (segment + 1) == 1) {
            segment--; /* a lone separator cannot make up the last character */
        }
        root /= std::string(segment, 'r');
        remaining -= segment + 1;
    }
    return root;
}

void distribution_write(const fs::path &path, const std::string &contents)
{
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    file.close();
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

} // namespace

const std::vector<std::string> &published_executables()
{
    static const std::vector<std::string> names = {
        "ost.exe",    "ostwin.exe", "ostc.exe",     "scrutor.exe",
        "sigmer.exe", "ostx.exe",   "qa_drive.exe",
    };
    return names;
}

const std::vector<std::string> &boot_scripts()
{
    static const std::vector<std::string> names = {"start_bare.boot", "start_mext.boot"};
    return names;
}

DistributionTree::DistributionTree(const DistributionLayout &layout)
    : layout_(layout), workspace_(distribution_make_workspace())
{
    root_path_ = layout.root_length != 0 ? distribution_long_root(workspace_, layout.root_length)
                                         : workspace_ / layout.root_name;
    root_ = root_path_.string();
    fs::create_directories(root_path_);
    write_file("Install.ini", layout.manifest ? *layout.manifest
                                              : "[Install]\nVSN=" + layout.vsn +
                                                    "\nSYSTEM_VSN=" + layout.system_vsn + "\n");
    if (layout.manifest_only) {
        return;
    }
    for (const std::string &name : published_executables()) {
        write_file(join(runtime_bin(), name), executable_contents(name, layout.vsn));
    }
    for (const std::string &name : boot_scripts()) {
        write_file(join(release(), name), boot_script_contents(name, layout.system_vsn));
    }
}

DistributionTree::~DistributionTree()
{
    std::error_code error;
    fs::remove_all(workspace_, error);
    if (!error) {
        return;
    }
    /* Some systems make paths longer than 259 characters but cannot list the
     * directories they lead to (Wine): remove what the tree made, one known
     * path at a time, and then the directories from the root upwards. */
    for (const fs::path &file : made_files_) {
        fs::remove(file, error);
    }
    for (fs::path directory = root_path_;; directory = directory.parent_path()) {
        fs::remove(directory, error);
        if (directory == workspace_ || directory == directory.parent_path()) {
            break;
        }
    }
}

const std::string &DistributionTree::root() const
{
    return root_;
}

const DistributionLayout &DistributionTree::layout() const
{
    return layout_;
}

std::string DistributionTree::runtime_bin() const
{
    return "ostcore-" + layout_.vsn + "\\bin";
}

std::string DistributionTree::release() const
{
    return "releases\\" + layout_.system_vsn;
}

std::string DistributionTree::path(const std::string &relative) const
{
    return join(root_, relative);
}

fs::path DistributionTree::native(const std::string &relative) const
{
    std::string text = relative;
    for (char &c : text) {
        if (c == '\\') {
            c = (char)fs::path::preferred_separator;
        }
    }
    return text.empty() ? root_path_ : root_path_ / text;
}

void DistributionTree::write_file(const std::string &relative, const std::string &contents) const
{
    made_files_.push_back(native(relative));
    distribution_write(native(relative), contents);
}

void DistributionTree::remove(const std::string &relative) const
{
    fs::remove_all(native(relative));
}

void DistributionTree::replace_with_directory(const std::string &relative) const
{
    fs::remove_all(native(relative));
    fs::create_directories(native(relative));
}

std::optional<std::string> DistributionTree::read_file(const std::string &relative) const
{
    const fs::path path = native(relative);
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool DistributionTree::is_directory(const std::string &relative) const
{
    std::error_code error;
    return fs::is_directory(native(relative), error);
}

bool DistributionTree::exists(const std::string &relative) const
{
    std::error_code error;
    return fs::exists(native(relative), error);
}

std::vector<std::string> DistributionTree::list(const std::string &relative) const
{
    std::vector<std::string> names;
    std::error_code error;
    if (!fs::is_directory(native(relative), error)) {
        return names;
    }
    for (const fs::directory_entry &entry : fs::directory_iterator(native(relative))) {
        names.push_back(entry.path().filename().string() + (entry.is_directory() ? "\\" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> DistributionTree::snapshot() const
{
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(workspace_)) {
        const std::string name = entry.path().lexically_relative(workspace_).generic_string();
        if (entry.is_directory()) {
            entries[name] = "<dir>";
            continue;
        }
        std::ifstream file(entry.path(), std::ios::binary);
        entries[name] = "file: " + std::string(std::istreambuf_iterator<char>(file),
                                               std::istreambuf_iterator<char>());
    }
    return entries;
}

std::string DistributionTree::copy_into_root(const std::string &native_program) const
{
    const fs::path copy = root_path_ / fs::path(native_program).filename();
    made_files_.push_back(copy);
    fs::copy_file(native_program, copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

std::string join(const std::string &directory, const std::string &name)
{
    return directory + "\\" + name;
}

std::string launcher_configuration(const std::string &root, const std::string &vsn)
{
    return "[ostrel]\nBindir=" + model_escaped(join(join(root, "ostcore-" + vsn), "bin")) +
           "\nProgname=ost\nRootdir=" + model_escaped(root) + "\n";
}

std::string executable_contents(const std::string &name, const std::string &vsn)
{
    return "executable " + name + " of runtime " + vsn + "\n";
}

std::string boot_script_contents(const std::string &name, const std::string &system_vsn)
{
    return "boot script " + name + " of release " + system_vsn + "\n";
}
