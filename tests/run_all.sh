#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures, builds and runs every test of the project. Expects the packages
# that .ci/run installs. Each build asks for the tests, so that one without
# GoogleTest stops at its configuration, and ctest fails where it finds none.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== Native build and tests"
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs" --no-tests=error

# As Debian's packaging builds it: the whole project shared, prefix /usr, the
# multiarch library directory, the distribution's flags (CMake reads no
# CPPFLAGS, so debhelper hands them over with the compilers' flags), and
# warnings left as warnings. Its install tests take the shared library, its
# ABI and the static build installed beside it.
echo "== Distribution build (shared, /usr, dpkg-buildflags) and tests"
(
    eval "$(dpkg-buildflags --export=sh)"
    export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"
    cmake -S . -B build-distribution -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=None \
        -DCMAKE_INSTALL_LIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" \
        -DBUILD_SHARED_LIBS=ON -DOSTREL_BUILD_TESTS=ON
    cmake --build build-distribution -j "$jobs"
    ctest --test-dir build-distribution --output-on-failure -j "$jobs" --no-tests=error
)

# Another compiler, whose warnings and flags differ: Debian's clang 16.
echo "== Clang 16 build and tests"
cmake -S . -B build-clang16 -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DOSTREL_BUILD_TESTS=ON
cmake --build build-clang16 -j "$jobs"
ctest --test-dir build-clang16 --output-on-failure -j "$jobs" --no-tests=error

echo "== Windows build (mingw-w64) and tests under Wine"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs" --no-tests=error

echo "== Windows release archive, built twice from fresh clones, compared byte for byte"
bash tests/reproducible_release.sh

# Sanitizers, Valgrind, static analysis and fuzzing; "valgrind" and "static"
# work on the native build above.
bash tests/hardening.sh sanitize valgrind static fuzz

echo "== Benchmark smoke run (one quick round over tiny corpora)"
bash bench/run.sh --smoke
