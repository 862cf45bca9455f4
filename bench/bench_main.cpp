/* SPDX-License-Identifier: MIT */
/* The benchmark driver. It writes the corpora, then runs every measured
 * operation in a process of its own (this program again, with --child), in
 * rounds after one warm-up round, and prints a Markdown report: throughput,
 * peak memory, our time over each peer's and whether each target is met.
 *
 * A process per run keeps one peer's heap from helping or hurting the next
 * and makes ru_maxrss the peak of that one run. Our operation runs right
 * beside each peer's, first in every other round, and the ratio of the two
 * is taken pair by pair: the drift of a shared machine from minute to minute
 * then moves both sides of a ratio alike. */
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

/* Our library first: every other entry is measured beside it. */
static const BenchPeer *const bench_peers[] = {
    &bench_ostrel,    &bench_inih,         &bench_inih_unlimited, &bench_boost,
    &bench_gkeyfile,  &bench_simpleini,    &bench_iniparser,      &bench_memchr_pass,
    &bench_held_file, &bench_durable_floor};

/* The three ways an operation is timed. */
struct BenchMode {
    const char *name;  /* as --modes and the results' keys name it */
    const char *label; /* as the report names it */
    int repeats;       /* loads in one process */
    bool save;         /* a save rather than a load */
};

enum { BENCH_REPEATED_LOADS = 10 };

static const BenchMode bench_modes[] = {
    {"repeated", "load, 10 loads in one process", BENCH_REPEATED_LOADS, false},
    {"fresh", "load, once per fresh process", 1, false},
    {"save", "save, one per process, by the same protocol", 1, true},
};

/* The mode whose runs give a load's peak memory. */
static const BenchMode &bench_fresh_mode = bench_modes[1];

/* The corpora it runs on in that mode. */
static unsigned bench_corpora_of(const BenchPeer *peer, const BenchMode &mode)
{
    return mode.save ? peer->saves : mode.repeats > 1 ? peer->repeated : peer->fresh;
}

struct BenchCorpus {
    const char *name;
    BenchCorpusKind kind;
    uint64_t size;         /* bytes in a full run */
    uint64_t smoke_size;   /* bytes in a smoke run */
    double peak_megabytes; /* the most one load of the full run's corpus added to
                              the peak, of 8 loads by the library before its loader
                              read in large blocks (commit 9b801d2), on each of the
                              two machines of BENCHMARKS.md */
};

static const BenchCorpus bench_corpora[] = {
    {"typical", BENCH_CORPUS_TYPICAL, 8u << 20, 256u << 10, 14.18},
    {"flat", BENCH_CORPUS_FLAT, 8u << 20, 256u << 10, 20.21},
    {"longlines", BENCH_CORPUS_LONGLINES, 8u << 20, 1u << 20, 8.54},
    {"paths", BENCH_CORPUS_PATHS, 8u << 20, 256u << 10, 14.70},
};

enum : uint64_t { BENCH_DISTRIBUTION_SIZE = 200u << 20, BENCH_SMOKE_DISTRIBUTION_SIZE = 2u << 20 };

struct BenchOptions {
    bool smoke = false;
    int runs = 5;
    std::string directory = OSTREL_BENCH_WORK_DIR;
    std::set<std::string> only;  /* corpora and "installer"; empty: all */
    std::set<std::string> peers; /* peers measured beside ours; empty: all */
    std::set<std::string> modes; /* modes to run; empty: all */
};

/* The samples of every run, by "corpus/peer/mode"; for each peer's key, our
 * time over its time in each pair, by processor time and by the wall clock;
 * and the keys of what failed. */
struct BenchResults {
    std::map<std::string, std::vector<BenchSample>> samples;
    std::map<std::string, std::vector<double>> cpu_ratios, wall_ratios;
    std::set<std::string> failed;
};

static std::string bench_key(const BenchCorpus &corpus, const BenchPeer *peer,
                             const BenchMode &mode)
{
    return std::string(corpus.name) + "/" + peer->name + "/" + mode.name;
}

/* Runs "NAME-load" or "NAME-save" of a peer, as the driver asks. */
static int bench_child(const char *operation, const char *path, const char *out_path, int repeats)
{
    for (const BenchPeer *peer : bench_peers) {
        std::string name = peer->name;
        bool load = operation == name + "-load";
        bool save = operation == name + "-save" && peer->write != NULL;
        if (!load && !save) {
            continue;
        }
        BenchSample sample = {};
        sample.baseline_kb = bench_resident_kb();
        if ((load ? bench_measure_load(peer, path, repeats, &sample)
                  : bench_measure_save(peer, path, out_path, &sample)) != 0) {
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
    fprintf(stderr, "unknown operation %s\n", operation);
    return 2;
}

/* Runs one operation in a child process. Returns 0 with *sample filled in,
 * or -1 when the child fails. */
static int bench_spawn(const std::string &operation, const std::string &path,
                       const std::string &out_path, int repeats, BenchSample *sample)
{
    int channel[2];
    if (pipe(channel) != 0) {
        return -1;
    }
    std::string repeat_count = std::to_string(repeats);
    pid_t child = fork();
    if (child == 0) {
        dup2(channel[1], STDOUT_FILENO);
        close(channel[0]);
        close(channel[1]);
        execl("/proc/self/exe", "ostrel_bench", "--child", operation.c_str(), path.c_str(),
              out_path.c_str(), repeat_count.c_str(), (char *)NULL);
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

/* What the report says about one operation on one corpus in one mode. Rates
 * are MB/s; "cpu" figures come from processor time, "wall" ones from the wall
 * clock. */
struct BenchSummary {
    bool present;
    const char *absence;              /* why not present: "failed" or "not run" */
    double megabytes;                 /* bytes read or written by one run, in MB */
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

/* The median over the pairs of our time over the time of the peer at key, by
 * processor time or by the wall clock; 0 when there is none. */
static double bench_paired_ratio(const BenchResults &results, const std::string &key, bool wall)
{
    const auto &ratios = wall ? results.wall_ratios : results.cpu_ratios;
    auto found = ratios.find(key);
    return found == ratios.end() ? 0 : bench_median(found->second);
}

/* The bound a ratio of ours over the peer is judged against: one memchr pass
 * bounds a load of longlines only, either way; the file held in one block
 * is shown beside it, to tell what any loader that keeps what it reads
 * pays. 0: no bound. */
static double bench_bound(const BenchCorpus &corpus, const BenchPeer *peer)
{
    if (peer == &bench_held_file) {
        return 0;
    }
    if (peer == &bench_memchr_pass) {
        return corpus.kind == BENCH_CORPUS_LONGLINES ? 5 : 0;
    }
    if (peer == &bench_durable_floor) {
        return 3;
    }
    return 0.9;
}

/* Prints one target line, value at most bound: value by processor time
 * decides, the wall clock figure follows for comparison. */
static void bench_target(const std::string &what, double value, double wall_value, double bound,
                         const char *note)
{
    bool met = value <= bound;
    double off = (value / bound - 1) * 100;
    char wall[40] = "";
    if (wall_value > 0) {
        snprintf(wall, sizeof wall, " (wall clock %.2fx)", wall_value);
    }
    printf("- %s: %.2fx%s, target at most %.2gx: **%s**, %.0f%% %s the bound%s\n", what.c_str(),
           value, wall, bound, met ? "met" : "not met", off < 0 ? -off : off,
           off < 0 ? "under" : "over", note);
}

static bool bench_present(const std::map<std::string, uint64_t> &corpus_sizes,
                          const BenchCorpus &corpus)
{
    return corpus_sizes.find(corpus.name) != corpus_sizes.end();
}

/* The rates of every loader or every writer, a row for each on each corpus. */
static void bench_print_rates(const BenchResults &results,
                              const std::map<std::string, uint64_t> &corpus_sizes, bool save)
{
    if (save) {
        printf("\n### Saving (MB/s of the file written; one save per process)\n\n");
        printf("| corpus | writer | output MB | MB/s | range | wall MB/s |\n");
        printf("|---|---|--:|--:|--:|--:|\n");
    } else {
        printf("### Loading (MB/s of the file; peak = resident memory one load added)\n\n");
        printf("| corpus | loader | MB/s, 10 in one process | range | MB/s, once per process | "
               "range | peak MB | peak / file |\n");
        printf("|---|---|--:|--:|--:|--:|--:|--:|\n");
    }
    for (const BenchCorpus &corpus : bench_corpora) {
        if (!bench_present(corpus_sizes, corpus)) {
            continue;
        }
        double file_megabytes = (double)corpus_sizes.at(corpus.name) / 1e6;
        for (const BenchPeer *peer : bench_peers) {
            unsigned on = save ? peer->saves : peer->repeated | peer->fresh;
            if ((on & (1u << corpus.kind)) == 0) {
                continue;
            }
            printf("| %s (%.1f MB) | %s |", corpus.name, file_megabytes, peer->label);
            for (const BenchMode &mode : bench_modes) {
                if (mode.save != save) {
                    continue;
                }
                BenchSummary summary = bench_summarize(results, bench_key(corpus, peer, mode));
                if (!summary.present) {
                    printf(save ? " %s | | | |" : " %s | |", summary.absence);
                } else if (save) {
                    printf(" %.1f | %.0f | %.0f-%.0f | %.0f |", summary.megabytes, summary.cpu_rate,
                           summary.cpu_slowest, summary.cpu_fastest, summary.wall_rate);
                } else {
                    printf(" %.0f | %.0f-%.0f |", summary.cpu_rate, summary.cpu_slowest,
                           summary.cpu_fastest);
                }
            }
            if (!save) {
                BenchSummary fresh =
                    bench_summarize(results, bench_key(corpus, peer, bench_fresh_mode));
                if (fresh.present) {
                    printf(" %.1f | %.2f |", fresh.peak_megabytes,
                           fresh.peak_megabytes / file_megabytes);
                } else {
                    printf(" | |");
                }
            }
            printf("\n");
        }
    }
}

/* The table of our time over each peer's, a row for each mode and peer, a
 * column for each corpus; a ratio over its bound in bold. */
static void bench_print_ratios(const BenchResults &results,
                               const std::map<std::string, uint64_t> &corpus_sizes)
{
    printf("\n### Our time over each peer's (paired medians by processor time; wall clock in "
           "brackets; over its target in bold)\n\n|  |");
    unsigned shown = 0;
    for (const BenchCorpus &corpus : bench_corpora) {
        if (bench_present(corpus_sizes, corpus)) {
            printf(" %s |", corpus.name);
            shown |= 1u << corpus.kind;
        }
    }
    printf("\n|---|");
    for (unsigned rest = shown; rest != 0; rest &= rest - 1) {
        printf("--:|");
    }
    printf("\n");
    for (const BenchMode &mode : bench_modes) {
        for (const BenchPeer *peer : bench_peers) {
            if (peer == &bench_ostrel || (bench_corpora_of(peer, mode) & shown) == 0) {
                continue;
            }
            printf("| %s / %s |", mode.label, peer->label);
            for (const BenchCorpus &corpus : bench_corpora) {
                if (!bench_present(corpus_sizes, corpus)) {
                    continue;
                }
                std::string key = bench_key(corpus, peer, mode);
                double ratio = bench_paired_ratio(results, key, false);
                double bound = bench_bound(corpus, peer);
                if (ratio == 0) {
                    printf(" %s |", results.failed.count(key) ? "failed" : "");
                    continue;
                }
                const char *bold = bound > 0 && ratio > bound ? "**" : "";
                printf(" %s%.2f%s (%.2f) |", bold, ratio, bold,
                       bench_paired_ratio(results, key, true));
            }
            printf("\n");
        }
    }
}

/* The target lines of one corpus: in each mode, the worst of our ratios to
 * the peers, to the memchr pass and to the durable floor; and the peak. */
static void bench_print_corpus_targets(const BenchOptions &options, const BenchResults &results,
                                       const BenchCorpus &corpus)
{
    for (const BenchMode &mode : bench_modes) {
        const BenchPeer *worst = NULL;
        double worst_ratio = 0;
        for (const BenchPeer *peer : bench_peers) {
            std::string key = bench_key(corpus, peer, mode);
            double ratio = bench_paired_ratio(results, key, false);
            double bound = bench_bound(corpus, peer);
            if (peer == &bench_ostrel || ratio == 0 || bound == 0) {
                continue;
            }
            std::string what = std::string(corpus.name) + ", " + mode.label + ", our time / ";
            if (peer == &bench_memchr_pass || peer == &bench_durable_floor) {
                bench_target(what + peer->label, ratio, bench_paired_ratio(results, key, true),
                             bound, "");
            } else if (ratio > worst_ratio) {
                worst = peer;
                worst_ratio = ratio;
            }
        }
        if (worst != NULL) {
            std::string note = std::string(", against ") + worst->label;
            bench_target(std::string(corpus.name) + ", " + mode.label +
                             ", our time / every peer's, the highest",
                         worst_ratio,
                         bench_paired_ratio(results, bench_key(corpus, worst, mode), true),
                         bench_bound(corpus, worst), note.c_str());
        }
    }
    BenchSummary fresh =
        bench_summarize(results, bench_key(corpus, &bench_ostrel, bench_fresh_mode));
    if (!options.smoke && fresh.present && corpus.peak_megabytes > 0) {
        char note[120];
        snprintf(note, sizeof note, "; the median %.2f MB against %.2f MB", fresh.peak_megabytes,
                 corpus.peak_megabytes);
        bench_target(std::string(corpus.name) + ", peak memory of a load / the loader's before",
                     fresh.peak_megabytes / corpus.peak_megabytes, -1, 1, note);
    }
}

static void bench_print_report(const BenchOptions &options, const BenchResults &results,
                               const std::map<std::string, uint64_t> &corpus_sizes,
                               bool installer_run, int rounds)
{
    struct utsname system_name;
    uname(&system_name);
    printf("Machine: %s, %ld cores online, Linux %s. %d measured round%s%s; every run a process "
           "of its own, ours right beside each peer's. MB = 10^6 bytes. Rates are medians by "
           "processor time (user + system) of the measured work, which the other load on a "
           "shared machine barely moves; the wall clock figures are shown beside them.\n\n",
           system_name.machine, sysconf(_SC_NPROCESSORS_ONLN), system_name.release, rounds,
           rounds == 1 ? "" : "s",
           options.smoke ? " (smoke: tiny corpora, no warm-up; the figures only show that "
                           "everything runs and agrees)"
                         : " after one warm-up round");
    bench_print_rates(results, corpus_sizes, false);
    bench_print_rates(results, corpus_sizes, true);
    bench_print_ratios(results, corpus_sizes);
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
        if (bench_present(corpus_sizes, corpus)) {
            bench_print_corpus_targets(options, results, corpus);
        }
    }
    for (const char *scenario : scenarios) {
        std::string prefix = std::string("installer/") + scenario + "-";
        BenchSummary ours = bench_summarize(results, prefix + "ostrel");
        BenchSummary cp = bench_summarize(results, prefix + "cp");
        if (installer_run && ours.present && cp.present) {
            bench_target(std::string("installer run (") + scenario + "), time / cp's",
                         ours.cpu_seconds / cp.cpu_seconds, ours.wall_seconds / cp.wall_seconds,
                         1.2, "");
        }
    }
}

/* Checks that every peer that builds a document sees as many sections and
 * entries in each corpus as our loader does. Returns the number of
 * disagreements, each printed. */
static int bench_cross_check(const BenchResults &results,
                             const std::map<std::string, uint64_t> &corpus_sizes)
{
    int disagreements = 0;
    for (const BenchCorpus &corpus : bench_corpora) {
        if (!bench_present(corpus_sizes, corpus)) {
            continue;
        }
        const BenchSample *ours = NULL;
        for (const BenchMode &mode : bench_modes) {
            auto found = results.samples.find(bench_key(corpus, &bench_ostrel, mode));
            if (ours == NULL && found != results.samples.end()) {
                ours = &found->second[0];
            }
        }
        for (const BenchPeer *peer : bench_peers) {
            for (const BenchMode &mode : bench_modes) {
                auto found = results.samples.find(bench_key(corpus, peer, mode));
                if (ours == NULL || !peer->builds_document || found == results.samples.end()) {
                    continue;
                }
                const BenchSample &theirs = found->second[0];
                if (ours->sections != theirs.sections || ours->entries != theirs.entries) {
                    printf("- %s: ostrel sees %llu sections and %llu entries, %s (%s) %llu and "
                           "%llu\n",
                           corpus.name, (unsigned long long)ours->sections,
                           (unsigned long long)ours->entries, peer->name, mode.name,
                           (unsigned long long)theirs.sections, (unsigned long long)theirs.entries);
                    disagreements++;
                }
            }
        }
    }
    return disagreements;
}

static int bench_remove_entry(const char *path, const struct stat *, int, struct FTW *)
{
    return remove(path);
}

static bool bench_selected(const std::set<std::string> &names, const char *name)
{
    return names.empty() || names.count(name) != 0;
}

/* Runs ours and the peer one right after the other, ours first in every
 * other round, and keeps both samples and the ratio unless warm_up. */
static void bench_run_pair(const BenchCorpus &corpus, const BenchPeer *peer, const BenchMode &mode,
                           const std::string &path, const std::string &out_path, bool ours_first,
                           bool warm_up, BenchResults *results)
{
    const BenchPeer *order[] = {&bench_ostrel, peer};
    if (!ours_first) {
        std::swap(order[0], order[1]);
    }
    BenchSample samples[2] = {};
    bool complete = true;
    for (int i = 0; i < 2; i++) {
        std::string key = bench_key(corpus, order[i], mode);
        std::string operation = std::string(order[i]->name) + (mode.save ? "-save" : "-load");
        int status = bench_spawn(operation, path, out_path, mode.repeats, &samples[i]);
        unlink(out_path.c_str());
        if (status != 0) {
            fprintf(stderr, "%s failed\n", key.c_str());
            results->failed.insert(key);
            complete = false;
        }
    }
    if (!complete || warm_up) {
        return;
    }
    const BenchSample &ours = samples[ours_first ? 0 : 1];
    const BenchSample &theirs = samples[ours_first ? 1 : 0];
    std::string key = bench_key(corpus, peer, mode);
    results->samples[bench_key(corpus, &bench_ostrel, mode)].push_back(ours);
    results->samples[key].push_back(theirs);
    results->cpu_ratios[key].push_back(ours.cpu_seconds / theirs.cpu_seconds);
    results->wall_ratios[key].push_back(ours.seconds / theirs.seconds);
}

static int bench_usage()
{
    fprintf(stderr, "usage: ostrel_bench [--smoke] [--runs N] [--dir DIRECTORY]\n"
                    "                    [--only typical,flat,longlines,paths,installer]\n"
                    "                    [--peers inih,inih-unlimited,boost,gkeyfile,simpleini,\n"
                    "                             iniparser,memchr,held-file,durable-floor]\n"
                    "                    [--modes repeated,fresh,save]\n");
    return 2;
}

int main(int argc, char **argv)
{
    if (argc == 6 && strcmp(argv[1], "--child") == 0) {
        return bench_child(argv[2], argv[3], argv[4], atoi(argv[5]));
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
        } else if ((argument == "--only" || argument == "--peers" || argument == "--modes") &&
                   i + 1 < argc) {
            std::set<std::string> *names = argument == "--only"    ? &options.only
                                           : argument == "--peers" ? &options.peers
                                                                   : &options.modes;
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
        if (!bench_selected(options.only, corpus.name)) {
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
    bool installer_run = bench_selected(options.only, "installer");
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
            if (!bench_present(corpus_sizes, corpus)) {
                continue;
            }
            std::string path = directory + "/" + corpus.name + ".ini";
            for (const BenchMode &mode : bench_modes) {
                /* The warm-up loads every corpus with every peer once, which
                 * brings their code and the files into memory; the rest
                 * would only lengthen the run. */
                bool warms = !mode.save && mode.repeats == 1;
                if (!bench_selected(options.modes, mode.name) || (warm_up && !warms)) {
                    continue;
                }
                int pair = 0;
                for (const BenchPeer *peer : bench_peers) {
                    if (peer != &bench_ostrel && bench_selected(options.peers, peer->name) &&
                        (bench_corpora_of(peer, mode) & (1u << corpus.kind)) != 0) {
                        bench_run_pair(corpus, peer, mode, path, out_path,
                                       (round + pair++) % 2 == 0, warm_up, &results);
                    }
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
        printf("\nCross-check: every peer that builds a document sees as many sections and "
               "entries in every corpus as ostrel; every file saved loads back into as many.\n");
    }
    nftw(directory.c_str(), bench_remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    return disagreements == 0 && results.failed.empty() ? 0 : 1;
}
