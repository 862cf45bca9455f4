/* SPDX-License-Identifier: MIT */
#include "support/temp_dir.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

/* A name that differs between processes and between calls in one process. */
static std::string temp_directory_name(unsigned attempt)
{
    static unsigned counter = 0;
    std::random_device device;
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    std::ostringstream name;
    name << "ostrel-unit-" << std::hex << device() << '-' << (ticks & 0xffffff) << '-' << ++counter
         << '-' << attempt;
    return name.str();
}

TempDirectory::TempDirectory()
{
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (unsigned attempt = 0; attempt < 100; attempt++) {
        std::filesystem::path candidate = base / temp_directory_name(attempt);
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

TempDirectory::~TempDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

const std::filesystem::path &TempDirectory::path() const
{
    return path_;
}

std::string TempDirectory::file(const std::string &name) const
{
    return (path_ / name).string();
}

std::string TempDirectory::write(const std::string &name, const std::string &bytes) const
{
    write_file_bytes(path_ / name, bytes);
    return file(name);
}

void write_file_bytes(const std::filesystem::path &path, const std::string &bytes)
{
    /* A new file rather than a truncated one: some file systems push a
     * truncated and rewritten file to the disk when it is closed, which makes
     * tests that rewrite one file thousands of times slow. */
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string read_file_bytes(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> list_directory(const std::filesystem::path &directory)
{
    std::vector<std::string> names;
    for (const auto &item : std::filesystem::directory_iterator(directory)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool is_replacement_temporary(const std::string &name)
{
    return name.size() == 12 && name.compare(0, 4, ".ost") == 0 &&
           name.find_first_not_of("0123456789abcdef", 4) == 8 && name.compare(8, 4, ".tmp") == 0;
}

std::string with_backslashes(const std::string &path)
{
    std::string converted = path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
}
