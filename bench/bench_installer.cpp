/* SPDX-License-Identifier: MIT */
/* A whole installer run against the same copies made by cp from a shell
 * script: the distribution, the two runs and the check of what they leave. */
#include "bench.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

static const char *const bench_executables[] = {
    "ost.exe", "ostwin.exe", "ostc.exe", "scrutor.exe", "sigmer.exe", "ostx.exe", "qa_drive.exe"};
/* Each executable's share of the distribution's size, in 200ths. */
static const unsigned bench_executable_shares[] = {40, 36, 32, 28, 24, 20, 20};
static const char bench_vsn[] = "5.2";
static const char bench_system_vsn[] = "R5A";

static std::string bench_runtime_bin(const std::string &root)
{
    return root + "/ostcore-" + bench_vsn + "/bin";
}

static std::string bench_release(const std::string &root)
{
    return root + "/releases/" + bench_system_vsn;
}

/* Writes size pseudo-random bytes, the same for the same seed, with mode.
 * Returns 0, or -1 after printing the reason. */
static int bench_write_file(const std::string &path, uint64_t size, uint64_t seed, mode_t mode)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) {
        fprintf(stderr, "cannot create %s\n", path.c_str());
        return -1;
    }
    std::vector<uint64_t> block((1u << 20) / sizeof(uint64_t));
    bool complete = fchmod(fd, mode) == 0;
    for (uint64_t done = 0; complete && done < size;) {
        for (uint64_t &word : block) {
            seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
            word = seed ^ (seed >> 29);
        }
        size_t count = size - done < (1u << 20) ? (size_t)(size - done) : (1u << 20);
        complete = write(fd, block.data(), count) == (ssize_t)count;
        done += count;
    }
    complete = close(fd) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return -1;
    }
    return 0;
}

static int bench_write_text(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    bool complete = file != NULL && fwrite(text.data(), 1, text.size(), file) == text.size();
    complete = file != NULL && fclose(file) == 0 && complete;
    if (!complete) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return -1;
    }
    return 0;
}

int bench_make_distribution(const char *root, uint64_t size)
{
    std::string top = root;
    const std::string directories[] = {top, top + "/ostcore-" + bench_vsn, bench_runtime_bin(top),
                                       top + "/releases", bench_release(top)};
    for (const std::string &directory : directories) {
        mkdir(directory.c_str(), 0777);
    }
    if (bench_write_text(top + "/Install.ini", std::string("[Install]\nVSN=") + bench_vsn +
                                                   "\nSYSTEM_VSN=" + bench_system_vsn + "\n") !=
            0 ||
        bench_write_text(bench_release(top) + "/start_bare.boot", "bare boot script\n") != 0 ||
        bench_write_text(bench_release(top) + "/start_mext.boot", "mext boot script\n") != 0) {
        return -1;
    }
    for (size_t i = 0; i < sizeof bench_executables / sizeof bench_executables[0]; i++) {
        uint64_t share = size / 200 * bench_executable_shares[i];
        if (bench_write_file(bench_runtime_bin(top) + "/" + bench_executables[i], share, i + 1,
                             0755) != 0) {
            return -1;
        }
    }
    return 0;
}

void bench_clear_install(const char *root, bool keep_published)
{
    std::string top = root;
    unlink((bench_runtime_bin(top) + "/ost.ini").c_str());
    if (keep_published) {
        return;
    }
    std::string publish = top + "/bin";
    DIR *directory = opendir(publish.c_str());
    if (directory == NULL) {
        return;
    }
    while (struct dirent *each = readdir(directory)) {
        if (strcmp(each->d_name, ".") != 0 && strcmp(each->d_name, "..") != 0) {
            unlink((publish + "/" + each->d_name).c_str());
        }
    }
    closedir(directory);
    rmdir(publish.c_str());
}

int bench_time_command(const char *const argv[], BenchSample *sample)
{
    BenchStamp start = bench_stamp();
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(argv[0], (char *const *)argv);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) {
        return -1;
    }
    sample->seconds = bench_stamp().wall - start.wall;
    sample->cpu_seconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                          (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    sample->bytes = 1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : -1;
}

/* True when the two files hold the same bytes and the same permission bits. */
static bool bench_same_file(const std::string &first, const std::string &second)
{
    struct stat first_status, second_status;
    if (stat(first.c_str(), &first_status) != 0 || stat(second.c_str(), &second_status) != 0 ||
        first_status.st_size != second_status.st_size ||
        (first_status.st_mode & 07777) != (second_status.st_mode & 07777)) {
        return false;
    }
    FILE *a = fopen(first.c_str(), "rb");
    FILE *b = fopen(second.c_str(), "rb");
    bool same = a != NULL && b != NULL;
    std::vector<char> a_bytes(1u << 20), b_bytes(1u << 20);
    while (same) {
        size_t count = fread(a_bytes.data(), 1, a_bytes.size(), a);
        same = fread(b_bytes.data(), 1, b_bytes.size(), b) == count &&
               memcmp(a_bytes.data(), b_bytes.data(), count) == 0;
        if (count == 0) {
            break;
        }
    }
    if (a != NULL) {
        fclose(a);
    }
    if (b != NULL) {
        fclose(b);
    }
    return same;
}

static std::string bench_read_text(const std::string &path)
{
    std::string text;
    FILE *file = fopen(path.c_str(), "rb");
    if (file != NULL) {
        char bytes[4096];
        size_t count;
        while ((count = fread(bytes, 1, sizeof bytes, file)) > 0) {
            text.append(bytes, count);
        }
        fclose(file);
    }
    return text;
}

int bench_check_install(const char *root)
{
    std::string top = root;
    std::string publish = top + "/bin";
    std::vector<std::pair<std::string, std::string>> copies;
    for (const char *executable : bench_executables) {
        copies.emplace_back(bench_runtime_bin(top) + "/" + executable, publish + "/" + executable);
    }
    copies.emplace_back(publish + "/qa_drive.exe", publish + "/drive_qa.exe");
    copies.emplace_back(bench_release(top) + "/start_bare.boot", publish + "/start_bare.boot");
    copies.emplace_back(bench_release(top) + "/start_mext.boot", publish + "/start_mext.boot");
    copies.emplace_back(publish + "/start_bare.boot", publish + "/start.boot");
    copies.emplace_back(bench_runtime_bin(top) + "/ost.ini", publish + "/ost.ini");
    for (const auto &copy : copies) {
        if (!bench_same_file(copy.first, copy.second)) {
            fprintf(stderr, "%s is no copy of %s\n", copy.second.c_str(), copy.first.c_str());
            return -1;
        }
    }
    std::string expected = "[ostrel]\nBindir=" + top + "\\\\ostcore-" + bench_vsn +
                           "\\\\bin\nProgname=ost\nRootdir=" + top + "\n";
    if (bench_read_text(publish + "/ost.ini") != expected) {
        fprintf(stderr, "%s/ost.ini does not hold the expected text\n", publish.c_str());
        return -1;
    }
    return 0;
}
