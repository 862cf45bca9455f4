#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmark (Release, -O2) and runs it. Arguments go to
# ostrel_bench: none for the full run, --smoke for one quick round over tiny
# corpora, or --runs N, --only typical,flat,longlines,paths,installer, --peers
# LIST, --modes repeated,fresh,save (see --help). BUILD_DIR names the build directory (default: build-bench).
# Needs cmake, g++, pkg-config, libinih-dev, libboost-dev, libglib2.0-dev,
# libsimpleini-dev and libiniparser-dev.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DOSTREL_BUILD_BENCH=ON -DOSTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target ostrel_bench >/dev/null
exec "$build/bench/ostrel_bench" "$@"
