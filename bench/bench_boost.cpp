/* SPDX-License-Identifier: MIT */
/* Boost.PropertyTree's INI reader and writer, the usual C++ choice. */
#include "bench.h"

#include <stdio.h>
#include <sys/stat.h>

#include <exception>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

static uint64_t bench_boost_file_size(const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 ? (uint64_t)status.st_size : 0;
}

static void bench_boost_count(const boost::property_tree::ptree &tree, BenchSample *sample)
{
    sample->sections = tree.size();
    sample->entries = 0;
    for (const auto &section : tree) {
        sample->entries += section.second.size();
    }
}

int bench_boost_load(const char *path, const char *, BenchSample *sample)
{
    boost::property_tree::ptree *tree = new boost::property_tree::ptree;
    BenchStamp start = bench_stamp();
    try {
        boost::property_tree::read_ini(path, *tree);
    } catch (const std::exception &error) {
        fprintf(stderr, "read_ini failed on %s: %s\n", path, error.what());
        delete tree;
        return -1;
    }
    bench_add_since(sample, start);
    bench_boost_count(*tree, sample);
    start = bench_stamp();
    delete tree;
    bench_settle_heap();
    bench_add_since(sample, start);
    sample->bytes = bench_boost_file_size(path);
    return 0;
}

int bench_boost_save(const char *path, const char *out_path, BenchSample *sample)
{
    boost::property_tree::ptree tree;
    try {
        boost::property_tree::read_ini(path, tree);
        bench_boost_count(tree, sample);
        BenchStamp start = bench_stamp();
        boost::property_tree::write_ini(out_path, tree);
        bench_add_since(sample, start);
    } catch (const std::exception &error) {
        fprintf(stderr, "boost failed on %s: %s\n", path, error.what());
        return -1;
    }
    sample->bytes = bench_boost_file_size(out_path);
    return 0;
}
