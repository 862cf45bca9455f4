#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The hardening stages of tests/run_all.sh, one per argument:
#
#   sanitize  builds everything with AddressSanitizer, LeakSanitizer and
#             UndefinedBehaviorSanitizer (preset "sanitize", build-sanitize/)
#             and runs the whole test suite in it, unit and end-to-end
#   valgrind  runs the end-to-end cases of the native build (build/) with
#             every installer run under Valgrind's memcheck, and a few runs
#             of the installer over the demo distribution
#   static    clang-tidy and cppcheck over the product code, using the
#             native build's compile_commands.json, and clang-format over
#             every C++ file
#   fuzz      builds the libFuzzer targets (build-fuzz/), replays each
#             target's corpus and fuzzes each for OSTREL_FUZZ_SECONDS
#             seconds (45 by default)
#
# Any sanitizer or Valgrind report, analysis finding, formatting difference
# or fuzzer crash fails the stage. "valgrind" and "static" expect the native
# build of run_all.sh in build/, or in OSTREL_NATIVE_BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
native=$(realpath -m "${OSTREL_NATIVE_BUILD:-build}")

# The sources of the product: what the analysers must find clean.
product_sources=(platform/platform_posix.cpp platform/platform_replace.cpp inifile/*.cpp installer/*.cpp)
fuzz_targets=(load_fuzzer round_trip_fuzzer installer_fuzzer)

fail() {
    echo "hardening: $*" >&2
    exit 1
}

# Prints every non-empty file in directory and fails when there is one.
fail_on_reports() {
    local directory=$1 what=$2 found=0
    for report in "$directory"/*; do
        if [ -s "$report" ]; then
            echo "---- $report"
            cat "$report"
            found=1
        fi
    done
    [ "$found" = 0 ] || fail "$what reported errors (above)"
}

stage_sanitize() {
    local reports=build-sanitize/sanitizer-reports
    cmake --preset sanitize
    cmake --build --preset sanitize -j "$jobs"
    # The test preset sends every sanitizer report to files here, so that a
    # report from a child process is caught as well as one from a test.
    rm -rf "$reports"
    mkdir -p "$reports"
    local status=0
    ctest --preset sanitize -j "$jobs" || status=$?
    fail_on_reports "$reports" "the sanitizers"
    [ "$status" = 0 ] || fail "tests failed in the sanitizer build"
}

# Runs the installer of the native build under memcheck with arguments and
# standard input, expecting exit status expected.
valgrind_installer() {
    local expected=$1 input=$2
    shift 2
    local status=0
    printf '%s' "$input" | $OSTREL_RUNNER "$native/installer/ostrel-install" "$@" \
        >/dev/null 2>&1 || status=$?
    if [ "$status" != "$expected" ]; then
        fail_on_reports "$native/valgrind-logs" "valgrind"
        fail "ostrel-install $* under valgrind: status $status, expected $expected"
    fi
}

stage_valgrind() {
    local logs=$native/valgrind-logs
    local e2e=$native/tests/installer_end_to_end_test
    [ -x "$e2e" ] || fail "$e2e is missing: run the native build first"
    rm -rf "$logs"
    mkdir -p "$logs"
    # The end-to-end harness puts OSTREL_RUNNER's words before the program it
    # starts. Errors go to one log file per process; exit status 99 marks an
    # error, which no case expects. Reachable blocks at exit are no errors.
    export OSTREL_RUNNER="valgrind --quiet --error-exitcode=99 --leak-check=full \
--show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
--log-file=$logs/%p.log"

    local root
    root=$(mktemp -d)
    cp -R examples/demo-dist/. "$root"
    valgrind_installer 0 $'\n' "$root"
    valgrind_installer 0 $'yes\n' "$root"
    valgrind_installer 0 '' -s "$root"
    valgrind_installer 1 '' "$root/missing"
    valgrind_installer 1 '' -x
    valgrind_installer 1 '' "$root" second
    valgrind_installer 1 '' # no root: the build directory holds no manifest
    rm -rf "$root"
    local direct_runs
    direct_runs=$(find "$logs" -name '*.log' | wc -l)

    # Two shards in parallel: each installer run under memcheck takes a while.
    local status=0 pids=()
    for shard in 0 1; do
        GTEST_TOTAL_SHARDS=2 GTEST_SHARD_INDEX=$shard "$e2e" --gtest_brief=1 \
            >"$native/valgrind-e2e-$shard.txt" 2>&1 &
        pids+=($!)
    done
    for pid in "${pids[@]}"; do
        wait "$pid" || status=$?
    done
    for shard in 0 1; do
        tail -n 3 "$native/valgrind-e2e-$shard.txt"
    done
    fail_on_reports "$logs" "valgrind"
    if [ "$status" != 0 ]; then
        cat "$native"/valgrind-e2e-*.txt
        fail "end-to-end cases failed under valgrind"
    fi
    local e2e_runs=$(($(find "$logs" -name '*.log' | wc -l) - direct_runs))
    echo "valgrind: $direct_runs direct runs and $e2e_runs end-to-end runs of the installer, no errors"
    if [ "$e2e_runs" = 0 ]; then
        echo "valgrind: NOTE the end-to-end harness ran the installer without OSTREL_RUNNER;" \
            "only the direct runs were checked"
    fi
}

stage_static() {
    # Adds compile_commands.json to the native build; nothing is rebuilt.
    cmake -S . -B "$native" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    echo "-- clang-tidy"
    printf '%s\n' "${product_sources[@]}" |
        xargs -P "$jobs" -n 2 clang-tidy -p "$native" --quiet 2> >(grep -v 'warnings generated' >&2)
    echo "-- cppcheck"
    cppcheck --project="$native/compile_commands.json" --std=c++17 --quiet --error-exitcode=1 \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppressions-list=tests/cppcheck-suppressions.txt \
        --file-filter='*/platform/*' --file-filter='*/inifile/*' --file-filter='*/installer/*'
    # The Win32 sources are not in the native build; they are checked on their own.
    cppcheck --std=c++17 --quiet --error-exitcode=1 -D_WIN32 -I . \
        --enable=warning,style,performance,portability --inline-suppr \
        --suppressions-list=tests/cppcheck-suppressions.txt platform/platform_win32.cpp \
        installer/platform/installer_platform_win32.cpp
    echo "-- clang-format"
    find . \( -name 'build' -o -name 'build-*' -o -name '.git' \) -prune -o \
        \( -name '*.cpp' -o -name '*.c' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run -Werror
}

stage_fuzz() {
    local seconds=${OSTREL_FUZZ_SECONDS:-45}
    cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DOSTREL_BUILD_FUZZERS=ON -DOSTREL_BUILD_TESTS=OFF \
        -DOSTREL_INSTALL=OFF >/dev/null
    cmake --build build-fuzz -j "$jobs" --target "${fuzz_targets[@]}"
    mkdir -p build-fuzz/artifacts

    echo "-- corpus replay"
    for target in "${fuzz_targets[@]}"; do
        local files=()
        mapfile -t files < <(find "fuzz/corpus/$target" -type f | sort)
        [ "${#files[@]}" -gt 0 ] || fail "fuzz/corpus/$target is empty"
        "build-fuzz/fuzz/$target" "${files[@]}" >"build-fuzz/$target-replay.log" 2>&1 || {
            cat "build-fuzz/$target-replay.log"
            fail "$target fails on its corpus"
        }
        echo "$target: ${#files[@]} corpus files pass"
    done

    echo "-- fuzzing, ${seconds} s per target, all targets at once"
    local pids=() status=0
    for target in "${fuzz_targets[@]}"; do
        mkdir -p "build-fuzz/corpus/$target"
        "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="build-fuzz/artifacts/$target-" \
            "build-fuzz/corpus/$target" "fuzz/corpus/$target" >"build-fuzz/$target.log" 2>&1 &
        pids+=($!)
    done
    for index in "${!fuzz_targets[@]}"; do
        local target=${fuzz_targets[$index]}
        if wait "${pids[$index]}"; then
            echo "$target: $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' \
                "build-fuzz/$target.log" | awk '{print $2}' | paste -sd ' ') (executions, per second)"
        else
            status=1
            grep -v -E '^#[0-9]+' "build-fuzz/$target.log" | tail -n 60
            echo "$target FOUND A CRASH: see build-fuzz/artifacts/$target-*; add the input to" \
                "fuzz/corpus/$target/ and a case to tests/fuzz_regression_test.cpp"
        fi
    done
    [ "$status" = 0 ] || fail "fuzzing found crashes"
}

[ $# -gt 0 ] || fail "usage: $0 sanitize|valgrind|static|fuzz..."
for stage in "$@"; do
    case $stage in
    sanitize | valgrind | static | fuzz) ;;
    *) fail "unknown stage $stage" ;;
    esac
    echo "== Hardening: $stage"
    started=$SECONDS
    "stage_$stage"
    echo "== Hardening: $stage passed in $((SECONDS - started)) s"
done
