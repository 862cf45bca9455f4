/* SPDX-License-Identifier: MIT */
/* The benchmark driver. It writes the corpora, then runs every measured
 * operation in a process of its own (this program again, with --child), in
 * interleaved rounds after one warm-up round, and prints a Markdown report:
 * median throughput, peak memory, the ratios and whether each target is met.
 *
 * A process per run keeps one peer's heap from helping or hurting the next
 * and makes ru_maxrss the peak of that one run. The interleaving spreads the
 * noise of a shared machine over every peer alike. */
#include "bench.h"

#include <errno.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

BenchStamp bench_stamp()
{
    struct timespec wall, cpu;
    clock_gettime(CLOCK_MONOTONIC, &wall);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return BenchStamp{(double)wall.tv_sec + (double)wall.tv_nsec * 1e-9,
                      (double)cpu.tv_sec + (double)cpu.tv_nsec * 1e-9};
}

void bench_add_since(BenchSample *sample, BenchStamp start)
{
    BenchStamp now = bench_stamp();
    sample->seconds += now.wall - start.wall;
    sample->cpu_seconds += now.cpu - start.cpu;
}

void bench_settle_heap()
{
    void *volatile block = malloc(64 << 10);
    free(block);
}

int64_t bench_resident_kb()
{
    long size = 0, resident = 0;
    FILE *statm = fopen("/proc/self/statm", "r");
    if (statm != NULL) {
        if (fscanf(statm, "%ld %ld", &size, &resident) != 2) {
            resident = 0;
        }
        fclose(statm);
    }
    return (int64_t)resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct BenchOperationEntry {
    const char *name;
    BenchOperation run;
};

static const BenchOperationEntry bench_operations[] = {
    {"ostrel-load", bench_ostrel_load},
    {"inih-load", bench_inih_load},
    {"inih-unlimited-load", bench_inih_unlimited_load},
    {"boost-load", bench_boost_load},
    {"memchr-limit", bench_memchr_limit},
    {"read-1k-floor", bench_read_1k_floor},
    {"rules-floor", bench_rules_floor},
    {"ostrel-save", bench_ostrel_save},
    {"save-in-place-flushed", bench_save_in_place_flushed},
    {"boost-save", bench_boost_save},
    {"write-per-line-floor", bench_write_per_line_floor},
    {"write-1m-limit", bench_write_1m_limit},
};

/* A row of the report: an operation and how the table names it. */
struct BenchRow {
    const char *operation;
    const char *label;
};

static const BenchRow bench_loaders[] = {
    {"ostrel-load", "**ostrel** ini_load_file + ini_free_document"},
    {"inih-load", "inih, copying callback"},
    {"boost-load", "Boost.PropertyTree read_ini"},
    {"memchr-limit", "limit: 1 MiB reads + memchr"},
    {"read-1k-floor", "floor: 1024-byte reads + memchr"},
    {"rules-floor", "floor: 1024-byte reads + the model's allocations"},
};

static const BenchRow bench_writers[] = {
    {"ostrel-save", "**ostrel** ini_save_file"},
    {"save-in-place-flushed", "in place: the same writes, then one fsync"},
    {"boost-save", "Boost.PropertyTree write_ini"},
    {"write-per-line-floor", "floor: the same writes alone"},
    {"write-1m-limit", "limit: 1 MiB writes"},
};

struct BenchCorpus {
    const char *name;
    BenchCorpusKind kind;
    uint64_t size;       /* bytes in a full run */
    uint64_t smoke_size; /* bytes in a smoke run */
    const char *inih;    /* the inih operation that can read it */
};

static const BenchCorpus bench_corpora[] = {
    {"typical", BENCH_CORPUS_TYPICAL, 64u << 20, 256u << 10, "inih-load"},
    {"flat", BENCH_CORPUS_FLAT, 64u << 20, 256u << 10, "inih-load"},
    {"longlines", BENCH_CORPUS_LONGLINES, 16u << 20, 1u << 20, "inih-unlimited-load"},
    {"paths", BENCH_CORPUS_PATHS, 32u << 20, 256u << 10, "inih-load"},
};

enum : uint64_t { BENCH_DISTRIBUTION_SIZE = 200u << 20, BENCH_SMOKE_DISTRIBUTION_SIZE = 2u << 20 };

struct BenchOptions {
    bool smoke = false;
    int runs = 5;
    std::string directory = OSTREL_BENCH_WORK_DIR;
    std::set<std::string> only;       /* corpora and "installer"; empty: all */
    std::set<std::string> operations; /* operations to run; empty: all */
};

/* The samples of every run, by "corpus/operation", and what failed. */
struct BenchResults {
    std::map<std::string, std::vector<BenchSample>> samples;
    std::set<std::string> failed;
};

static int bench_child(const char *operation, const char *path, const char *out_path)
{
    for (const BenchOperationEntry &entry : bench_operations) {
        if (strcmp(entry.name, operation) == 0) {
            BenchSample sample = {};
            sample.baseline_kb = bench_resident_kb();
            if (entry.run(path, out_path, &sample) != 0) {
                return 1;
            }
            struct rusage usage;
            getrusage(RUSAGE_SELF, &usage);
            sample.peak_kb = usage.ru_maxrss;
            printf("%.9f %.9f %llu %llu %llu %lld %lld\n", sample.seconds, sample.cpu_seconds,
                   (unsigned long long)sample.bytes, (unsigned long long)sample.sections,
                   (unsigned long long)sample.entries, (long long)sample.baseline_kb,
                   (long long)sample.peak_kb);
            return 0;
        }
    }
    fprintf(stderr, "unknown operation %s\n", operation);
    return 2;
}

/* Runs one operation in a child process. Returns 0 with *sample filled in,
 * or -1 when the child fails. */
static int bench_spawn(const char *operation, const std::string &path, const std::string &out_path,
                       BenchSample *sample)
{
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    pid_t child = fork();
    if (child == 0) {
        dup2(channel[1], STDOUT_FILENO);
        close(channel[0]);
        close(channel[1]);
        execl("/proc/self/exe", "ostrel_bench", "--child", operation, path.c_str(),
              out_path.c_str(), (char *)NULL);
        _exit(127);
    }
    close(channel[1]);
    std::string report;
    char bytes[256];
    ssize_t count;
    while ((count = read(channel[0], bytes, sizeof bytes)) != 0) {
        if (count < 0 && errno != EINTR) {
            break;
        }
        if (count > 0) {
            report.append(bytes, (size_t)count);
        }
    }
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return -1;
    }
    unsigned long long bytes_done, sections, entries;
    long long baseline, peak;
    if (sscanf(report.c_str(), "%lf %lf %llu %llu %llu %lld %lld", &sample->seconds,
               &sample->cpu_seconds, &bytes_done, &sections, &entries, &baseline, &peak) != 7) {
        return -1;
    }
    sample->bytes = bytes_done;
    sample->sections = sections;
    sample->entries = entries;
    sample->baseline_kb = baseline;
    sample->peak_kb = peak;
    return 0;
}

static double bench_median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

/* What the report says about one operation on one corpus. Rates are MB/s;
 * "cpu" figures come from processor time, "wall" ones from the wall clock. */
struct BenchSummary {
    bool present;
    const char *absence;              /* why not present: "failed" or "not run" */
    double megabytes;                 /* bytes read or written, in MB */
    double cpu_rate, wall_rate;       /* medians */
    double cpu_slowest, cpu_fastest;  /* the range of cpu_rate */
    double cpu_seconds, wall_seconds; /* medians */
    double cpu_seconds_low, cpu_seconds_high;
    double peak_megabytes; /* median of the peaks the work added */
};

static BenchSummary bench_summarize(const BenchResults &results, const std::string &key)
{
    BenchSummary summary = {};
    summary.absence = results.failed.count(key) ? "failed" : "not run";
    auto found = results.samples.find(key);
    if (found == results.samples.end() || found->second.empty() || results.failed.count(key)) {
        return summary;
    }
    std::vector<double> cpu_rates, wall_rates, cpu_seconds, wall_seconds, peaks;
    for (const BenchSample &sample : found->second) {
        double megabytes = (double)sample.bytes / 1e6;
        cpu_rates.push_back(megabytes / sample.cpu_seconds);
        wall_rates.push_back(megabytes / sample.seconds);
        cpu_seconds.push_back(sample.cpu_seconds);
        wall_seconds.push_back(sample.seconds);
        peaks.push_back((double)(sample.peak_kb - sample.baseline_kb) * 1024 / 1e6);
    }
    summary.present = true;
    summary.megabytes = (double)found->second[0].bytes / 1e6;
    summary.cpu_rate = bench_median(cpu_rates);
    summary.wall_rate = bench_median(wall_rates);
    summary.cpu_slowest = *std::min_element(cpu_rates.begin(), cpu_rates.end());
    summary.cpu_fastest = *std::max_element(cpu_rates.begin(), cpu_rates.end());
    summary.cpu_seconds = bench_median(cpu_seconds);
    summary.wall_seconds = bench_median(wall_seconds);
    summary.cpu_seconds_low = *std::min_element(cpu_seconds.begin(), cpu_seconds.end());
    summary.cpu_seconds_high = *std::max_element(cpu_seconds.begin(), cpu_seconds.end());
    summary.peak_megabytes = bench_median(peaks);
    return summary;
}

/* The median over the rounds of the time of the operation at key over that
 * of the operation at base in the same round, by processor time or by the
 * wall clock; 0 when either is missing. The two run one right after the
 * other in each round, so that the machine's drift from minute to minute
 * moves both alike. */
static double bench_paired_ratio(const BenchResults &results, const std::string &key,
                                 const std::string &base, bool wall)
{
    auto found = results.samples.find(key);
    auto base_found = results.samples.find(base);
    if (found == results.samples.end() || base_found == results.samples.end() ||
        found->second.size() != base_found->second.size() || results.failed.count(key) ||
        results.failed.count(base)) {
        return 0;
    }
    std::vector<double> ratios;
    for (size_t round = 0; round < found->second.size(); round++) {
        const BenchSample &sample = found->second[round];
        const BenchSample &base_sample = base_found->second[round];
        ratios.push_back(wall ? sample.seconds / base_sample.seconds
                              : sample.cpu_seconds / base_sample.cpu_seconds);
    }
    return bench_median(ratios);
}

static const char *bench_inih_label(const BenchCorpus &corpus)
{
    return strcmp(corpus.inih, "inih-load") == 0 ? "inih, copying callback"
                                                 : "inih, copying callback, line limit lifted";
}

/* Prints one target line: value by processor time decides, the wall clock
 * figure follows for comparison. */
static void bench_target(const std::string &what, double value, double wall_value, double bound,
                         bool at_least, const char *note)
{
    bool met = at_least ? value >= bound : value <= bound;
    double off = (value / bound - 1) * 100;
    char wall[40] = "";
    if (wall_value > 0) {
        snprintf(wall, sizeof wall, " (wall clock %.2fx)", wall_value);
    }
    printf("- %s: %.2fx%s, target %s %.2gx: **%s**, %.0f%% %s the bound%s\n", what.c_str(), value,
           wall, at_least ? "at least" : "at most", bound, met ? "met" : "not met",
           off < 0 ? -off : off, off < 0 ? "under" : "over", note);
}

static void bench_print_report(const BenchOptions &options, const BenchResults &results,
                               const std::map<std::string, uint64_t> &corpus_sizes,
                               bool installer_run, int rounds)
{
    struct utsname system_name;
    uname(&system_name);
    printf("Machine: %s, %ld cores online, Linux %s. %d measured round%s%s; every run a process "
           "of its own. MB = 10^6 bytes. Rates are medians by processor time (user + system) "
           "of the measured work, which the other load on a shared machine barely moves; the "
           "wall clock medians are shown beside them.\n\n",
           system_name.machine, sysconf(_SC_NPROCESSORS_ONLN), system_name.release, rounds,
           rounds == 1 ? "" : "s",
           options.smoke ? " (smoke: tiny corpora, no warm-up; the figures only show that "
                           "everything runs and agrees)"
                         : " after one warm-up round, interleaved");

    printf("### Loading (MB/s of the file; peak = resident memory the load added)\n\n");
    printf("| corpus | loader | MB/s | range | wall MB/s | x inih | time / floor | limit / this | "
           "peak MB | peak / file |\n");
    printf("|---|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
    for (const BenchCorpus &corpus : bench_corpora) {
        auto size = corpus_sizes.find(corpus.name);
        if (size == corpus_sizes.end()) {
            continue;
        }
        std::string prefix = std::string(corpus.name) + "/";
        BenchSummary inih = bench_summarize(results, prefix + corpus.inih);
        BenchSummary limit = bench_summarize(results, prefix + "memchr-limit");
        BenchSummary floor = bench_summarize(results, prefix + "rules-floor");
        double file_megabytes = (double)size->second / 1e6;
        for (const BenchRow &row : bench_loaders) {
            bool is_inih = strcmp(row.operation, "inih-load") == 0;
            std::string operation = is_inih ? corpus.inih : row.operation;
            const char *label = is_inih ? bench_inih_label(corpus) : row.label;
            BenchSummary summary = bench_summarize(results, prefix + operation);
            printf("| %s (%.1f MB) | %s | ", corpus.name, file_megabytes, label);
            if (!summary.present) {
                printf("%s | | | | | | | |\n", summary.absence);
                continue;
            }
            printf("%.0f | %.0f-%.0f | %.0f | %.2f | %.2f | %.2f | %.1f | %.2f |\n",
                   summary.cpu_rate, summary.cpu_slowest, summary.cpu_fastest, summary.wall_rate,
                   inih.present ? summary.cpu_rate / inih.cpu_rate : 0,
                   floor.present ? floor.cpu_rate / summary.cpu_rate : 0,
                   limit.present ? limit.cpu_rate / summary.cpu_rate : 0, summary.peak_megabytes,
                   summary.peak_megabytes / file_megabytes);
        }
    }

    printf("\n### Saving (MB/s of the file written)\n\n");
    printf("| corpus | writer | output MB | MB/s | range | wall MB/s | x Boost |\n");
    printf("|---|---|--:|--:|--:|--:|--:|\n");
    for (const BenchCorpus &corpus : bench_corpora) {
        if (corpus_sizes.find(corpus.name) == corpus_sizes.end()) {
            continue;
        }
        std::string prefix = std::string(corpus.name) + "/";
        BenchSummary boost = bench_summarize(results, prefix + "boost-save");
        for (const BenchRow &row : bench_writers) {
            BenchSummary summary = bench_summarize(results, prefix + row.operation);
            printf("| %s | %s | ", corpus.name, row.label);
            if (!summary.present) {
                printf("%s | | | | |\n", summary.absence);
                continue;
            }
            printf("%.1f | %.0f | %.0f-%.0f | %.0f | %.2f |\n", summary.megabytes, summary.cpu_rate,
                   summary.cpu_slowest, summary.cpu_fastest, summary.wall_rate,
                   boost.present ? summary.cpu_rate / boost.cpu_rate : 0);
        }
    }

    const char *const scenarios[] = {"fresh", "again"};
    if (installer_run) {
        printf("\n### Installer run (seconds of the whole process and its children)\n\n");
        printf("| publish directory | command | CPU s | range | wall s | / cp | wall / cp |\n");
        printf("|---|---|--:|--:|--:|--:|--:|\n");
        for (const char *scenario : scenarios) {
            std::string prefix = std::string("installer/") + scenario + "-";
            BenchSummary cp = bench_summarize(results, prefix + "cp");
            const char *const commands[][2] = {{"ostrel", "ostrel-install -s ROOT"},
                                               {"cp", "sh bench/copy_with_cp.sh ROOT"}};
            for (const auto &command : commands) {
                BenchSummary summary = bench_summarize(results, prefix + command[0]);
                printf("| %s | %s | ",
                       strcmp(scenario, "fresh") == 0 ? "absent" : "full, from the run before",
                       command[1]);
                if (!summary.present) {
                    printf("%s | | | | |\n", summary.absence);
                    continue;
                }
                printf("%.3f | %.3f-%.3f | %.3f | %.2f | %.2f |\n", summary.cpu_seconds,
                       summary.cpu_seconds_low, summary.cpu_seconds_high, summary.wall_seconds,
                       cp.present ? summary.cpu_seconds / cp.cpu_seconds : 0,
                       cp.present ? summary.wall_seconds / cp.wall_seconds : 0);
            }
        }
    }

    printf("\n### Targets\n\n");
    for (const BenchCorpus &corpus : bench_corpora) {
        auto size = corpus_sizes.find(corpus.name);
        if (size == corpus_sizes.end()) {
            continue;
        }
        std::string prefix = std::string(corpus.name) + "/";
        BenchSummary ours = bench_summarize(results, prefix + "ostrel-load");
        BenchSummary inih = bench_summarize(results, prefix + corpus.inih);
        BenchSummary limit = bench_summarize(results, prefix + "memchr-limit");
        BenchSummary floor = bench_summarize(results, prefix + "rules-floor");
        BenchSummary reads = bench_summarize(results, prefix + "read-1k-floor");
        BenchSummary saved = bench_summarize(results, prefix + "ostrel-save");
        BenchSummary boost = bench_summarize(results, prefix + "boost-save");
        BenchSummary writes = bench_summarize(results, prefix + "write-per-line-floor");
        BenchSummary in_place = bench_summarize(results, prefix + "save-in-place-flushed");
        if (saved.present && in_place.present) {
            bench_target(std::string(corpus.name) +
                             ", saving time / the same writes in place with one fsync",
                         bench_paired_ratio(results, prefix + "ostrel-save",
                                            prefix + "save-in-place-flushed", false),
                         bench_paired_ratio(results, prefix + "ostrel-save",
                                            prefix + "save-in-place-flushed", true),
                         1.1, false, "");
        }
        if (!ours.present || !inih.present || !limit.present) {
            printf("- %s: loading results missing\n", corpus.name);
            continue;
        }
        char note[200];
        if (floor.present) {
            snprintf(note, sizeof note, "; the ratio of the medians is %.2fx",
                     floor.cpu_rate / ours.cpu_rate);
            bench_target(
                std::string(corpus.name) + ", loading time / the rules floor's",
                bench_paired_ratio(results, prefix + "ostrel-load", prefix + "rules-floor", false),
                bench_paired_ratio(results, prefix + "ostrel-load", prefix + "rules-floor", true),
                corpus.kind == BENCH_CORPUS_LONGLINES ? 1.3 : 1.2, false, note);
        }
        /* Twice inih's speed is asked on the corpora of plain configurations
         * only; on the others, inih's. */
        bool plain = corpus.kind == BENCH_CORPUS_TYPICAL || corpus.kind == BENCH_CORPUS_FLAT;
        snprintf(note, sizeof note,
                 "; with no parsing at all, 1024-byte reads alone run at %.2fx inih and, with "
                 "the model's allocations, at %.2fx",
                 reads.present ? reads.cpu_rate / inih.cpu_rate : 0,
                 floor.present ? floor.cpu_rate / inih.cpu_rate : 0);
        bench_target(std::string(corpus.name) + ", loading speed / inih's",
                     ours.cpu_rate / inih.cpu_rate, ours.wall_rate / inih.wall_rate, plain ? 2 : 1,
                     true, note);
        if (!plain) {
            continue;
        }
        snprintf(note, sizeof note,
                 "; 1024-byte reads with the model's allocations alone come to %.2fx",
                 floor.present ? limit.cpu_rate / floor.cpu_rate : 0);
        bench_target(std::string(corpus.name) + ", memchr limit / loading speed",
                     limit.cpu_rate / ours.cpu_rate, limit.wall_rate / ours.wall_rate, 10, false,
                     note);
        double file_megabytes = (double)size->second / 1e6;
        snprintf(note, sizeof note, "; the model's allocations alone take %.2fx",
                 floor.present ? floor.peak_megabytes / file_megabytes : 0);
        bench_target(std::string(corpus.name) + ", peak memory / file size",
                     ours.peak_megabytes / file_megabytes, -1, 2, false, note);
        if (saved.present && boost.present) {
            snprintf(note, sizeof note, "; the same writes alone reach %.2fx",
                     writes.present ? writes.cpu_rate / boost.cpu_rate : 0);
            bench_target(std::string(corpus.name) + ", saving speed / Boost's writer",
                         saved.cpu_rate / boost.cpu_rate, saved.wall_rate / boost.wall_rate, 1,
                         true, note);
        }
    }
    for (const char *scenario : scenarios) {
        std::string prefix = std::string("installer/") + scenario + "-";
        BenchSummary ours = bench_summarize(results, prefix + "ostrel");
        BenchSummary cp = bench_summarize(results, prefix + "cp");
        if (installer_run && ours.present && cp.present) {
            bench_target(std::string("installer run (") + scenario + "), time / cp's",
                         ours.cpu_seconds / cp.cpu_seconds, ours.wall_seconds / cp.wall_seconds,
                         1.2, false, "");
        }
    }
}

/* Checks that the parsers agree on the document of each corpus. Returns the
 * number of disagreements, each printed. */
static int bench_cross_check(const BenchResults &results,
                             const std::map<std::string, uint64_t> &corpus_sizes)
{
    int disagreements = 0;
    for (const BenchCorpus &corpus : bench_corpora) {
        if (corpus_sizes.find(corpus.name) == corpus_sizes.end()) {
            continue;
        }
        std::string prefix = std::string(corpus.name) + "/";
        auto ours = results.samples.find(prefix + "ostrel-load");
        if (ours == results.samples.end()) {
            continue;
        }
        const char *const others[] = {corpus.inih, "boost-load", "rules-floor"};
        for (const char *other : others) {
            auto found = results.samples.find(prefix + other);
            if (found == results.samples.end()) {
                continue;
            }
            const BenchSample &a = ours->second[0];
            const BenchSample &b = found->second[0];
            if (a.sections != b.sections || a.entries != b.entries) {
                printf("- %s: ostrel-load sees %llu sections and %llu entries, %s %llu and %llu\n",
                       corpus.name, (unsigned long long)a.sections, (unsigned long long)a.entries,
                       other, (unsigned long long)b.sections, (unsigned long long)b.entries);
                disagreements++;
            }
        }
    }
    return disagreements;
}

static int bench_remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

static bool bench_selected(const BenchOptions &options, const char *name)
{
    return options.only.empty() || options.only.count(name) != 0;
}

static int bench_usage()
{
    fprintf(stderr, "usage: ostrel_bench [--smoke] [--runs N] [--dir DIRECTORY]\n"
                    "                    [--only typical,flat,longlines,paths,installer]\n"
                    "                    [--operations ostrel-load,inih-load,...]\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "--child") == 0) {
        return bench_child(argv[2], argv[3], argv[4]);
    }
    BenchOptions options;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        if (argument == "--help") {
            bench_usage();
            return 0;
        } else if (argument == "--smoke") {
            options.smoke = true;
        } else if (argument == "--runs" && i + 1 < argc) {
            options.runs = atoi(argv[++i]);
        } else if (argument == "--dir" && i + 1 < argc) {
            options.directory = argv[++i];
        } else if ((argument == "--only" || argument == "--operations") && i + 1 < argc) {
            std::set<std::string> *names =
                argument == "--only" ? &options.only : &options.operations;
            std::string list = argv[++i];
            for (size_t start = 0; start <= list.size();) {
                size_t comma = list.find(',', start);
                comma = comma == std::string::npos ? list.size() : comma;
                names->insert(list.substr(start, comma - start));
                start = comma + 1;
            }
        } else {
            return bench_usage();
        }
    }
    if (options.runs < 1) {
        return bench_usage();
    }
    int measured = options.smoke ? 1 : options.runs;
    int rounds = options.smoke ? 1 : options.runs + 1;
    std::string directory = options.directory + (options.smoke ? "/smoke" : "/full");
    mkdir(options.directory.c_str(), 0777);
    mkdir(directory.c_str(), 0777);

    std::map<std::string, uint64_t> corpus_sizes;
    for (const BenchCorpus &corpus : bench_corpora) {
        if (!bench_selected(options, corpus.name)) {
            continue;
        }
        std::string path = directory + "/" + corpus.name + ".ini";
        uint64_t size = bench_write_corpus(
            corpus.kind, options.smoke ? corpus.smoke_size : corpus.size, path.c_str());
        if (size == 0) {
            return 1;
        }
        corpus_sizes[corpus.name] = size;
    }
    std::string root = directory + "/distribution";
    bool installer_run = bench_selected(options, "installer");
    if (installer_run &&
        bench_make_distribution(root.c_str(), options.smoke ? BENCH_SMOKE_DISTRIBUTION_SIZE
                                                            : BENCH_DISTRIBUTION_SIZE) != 0) {
        return 1;
    }

    BenchResults results;
    std::string out_path = directory + "/saved.ini";
    for (int round = 0; round < rounds; round++) {
        bool warm_up = rounds > 1 && round == 0;
        fprintf(stderr, "round %d of %d%s\n", round + 1, rounds, warm_up ? " (warm-up)" : "");
        for (const BenchCorpus &corpus : bench_corpora) {
            if (corpus_sizes.find(corpus.name) == corpus_sizes.end()) {
                continue;
            }
            std::string path = directory + "/" + corpus.name + ".ini";
            /* Our loader and the rules floor run one right after the other,
             * in turn first, for the paired ratio. */
            std::vector<const char *> operations = {"ostrel-load", "rules-floor"};
            if (round % 2 != 0) {
                std::swap(operations[0], operations[1]);
            }
            for (const BenchRow &row : bench_loaders) {
                if (strcmp(row.operation, "ostrel-load") != 0 &&
                    strcmp(row.operation, "rules-floor") != 0) {
                    operations.push_back(strcmp(row.operation, "inih-load") == 0 ? corpus.inih
                                                                                 : row.operation);
                }
            }
            /* So do the writer and the same writes in place, flushed. */
            std::vector<const char *> writers = {"ostrel-save", "save-in-place-flushed"};
            if (round % 2 != 0) {
                std::swap(writers[0], writers[1]);
            }
            operations.insert(operations.end(), writers.begin(), writers.end());
            for (const BenchRow &row : bench_writers) {
                if (strcmp(row.operation, "ostrel-save") != 0 &&
                    strcmp(row.operation, "save-in-place-flushed") != 0) {
                    operations.push_back(row.operation);
                }
            }
            for (const char *operation : operations) {
                if (!options.operations.empty() && options.operations.count(operation) == 0) {
                    continue;
                }
                std::string key = std::string(corpus.name) + "/" + operation;
                BenchSample sample = {};
                int status = bench_spawn(operation, path, out_path, &sample);
                unlink(out_path.c_str());
                if (status != 0) {
                    fprintf(stderr, "%s failed\n", key.c_str());
                    results.failed.insert(key);
                } else if (!warm_up) {
                    results.samples[key].push_back(sample);
                }
            }
        }
        if (!installer_run) {
            continue;
        }
        /* "fresh": the publish directory is absent; "again": it holds the
         * previous run's copies, which every copy then replaces. */
        const char *const runs[][2] = {
            {"fresh", "ostrel"}, {"fresh", "cp"}, {"again", "ostrel"}, {"again", "cp"}};
        for (const auto &run : runs) {
            std::string key = std::string("installer/") + run[0] + "-" + run[1];
            bench_clear_install(root.c_str(), strcmp(run[0], "again") == 0);
            sync();
            std::string script = std::string(OSTREL_BENCH_SOURCE_DIR) + "/copy_with_cp.sh";
            const char *const installer[] = {OSTREL_BENCH_INSTALLER, "-s", root.c_str(), NULL};
            const char *const copier[] = {"/bin/sh", script.c_str(), root.c_str(), NULL};
            BenchSample sample = {};
            int status =
                bench_time_command(strcmp(run[1], "ostrel") == 0 ? installer : copier, &sample);
            /* The copies are compared with their sources after the last
             * round only: reading 400 MB back takes longer than the runs. */
            bool last_round = round + 1 == rounds;
            if (status != 0 || (last_round && bench_check_install(root.c_str()) != 0)) {
                fprintf(stderr, "%s failed\n", key.c_str());
                results.failed.insert(key);
            } else if (!warm_up) {
                results.samples[key].push_back(sample);
            }
        }
    }

    bench_print_report(options, results, corpus_sizes, installer_run, measured);
    int disagreements = bench_cross_check(results, corpus_sizes);
    if (disagreements == 0) {
        printf("\nCross-check: ostrel, inih, Boost and the rules floor agree on the sections "
               "and entries of every corpus; every file saved loads back the same.\n");
    }
    nftw(directory.c_str(), bench_remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    return disagreements == 0 && results.failed.empty() ? 0 : 1;
}
