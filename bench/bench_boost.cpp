/* SPDX-License-Identifier: MIT */
/* Boost.PropertyTree's INI reader and writer, the usual C++ choice. */
#include "bench.h"

#include <stdio.h>

#include <exception>

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

static void *bench_boost_load(const char *path)
{
    boost::property_tree::ptree *tree = new boost::property_tree::ptree;
    try {
        boost::property_tree::read_ini(path, *tree);
    } catch (const std::exception &error) {
        fprintf(stderr, "read_ini failed on %s: %s\n", path, error.what());
        delete tree;
        return NULL;
    }
    return tree;
}

static void bench_boost_count(const void *doc, BenchSample *sample)
{
    const boost::property_tree::ptree *tree = (const boost::property_tree::ptree *)doc;
    sample->sections = tree->size();
    sample->entries = 0;
    for (const auto &section : *tree) {
        sample->entries += section.second.size();
    }
}

static void bench_boost_release(void *doc)
{
    delete (boost::property_tree::ptree *)doc;
}

static int bench_boost_write(const void *doc, const char *path)
{
    try {
        boost::property_tree::write_ini(path, *(const boost::property_tree::ptree *)doc);
    } catch (const std::exception &error) {
        fprintf(stderr, "write_ini failed on %s: %s\n", path, error.what());
        return -1;
    }
    return 0;
}

const BenchPeer bench_boost = {"boost",
                               "Boost.PropertyTree",
                               BENCH_ON_ALL,
                               BENCH_ON_ALL,
                               BENCH_ON_ALL,
                               true,
                               BENCH_REPLACE_AFTER,
                               bench_boost_load,
                               bench_boost_count,
                               bench_boost_release,
                               bench_boost_write};
