#!/usr/bin/env bash
# Configures, builds and runs every test of the project. Expects the packages
# that .ci/run installs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== Native build and tests"
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

echo "== Windows build (mingw-w64) and tests under Wine"
cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"

echo "== Windows release archive, built twice from fresh clones, compared byte for byte"
bash tests/reproducible_release.sh

# Sanitizers, Valgrind, static analysis and fuzzing; "valgrind" and "static"
# work on the native build above.
bash tests/hardening.sh sanitize valgrind static fuzz

echo "== Benchmark smoke run (one quick round over tiny corpora)"
bash bench/run.sh --smoke
