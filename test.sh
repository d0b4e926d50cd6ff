#!/usr/bin/env bash
# Installs what is missing, checks the formatting, then builds and runs every
# test build:
#   build/       Release: the programs and the benchmarks (built, not run)
#   build-asan/  clang with AddressSanitizer + UndefinedBehaviorSanitizer, non-GUI tests
#   build-tsan/  clang with ThreadSanitizer: the check-run tests
#   build-fuzz/  clang with libFuzzer: every fuzz target runs for a few seconds
#   build-windows/  the Windows build under Wine (scripts/test-windows), only
#                when ./package-windows.sh has cross-built its libraries
#   build-test/  Debug, warnings as errors, all tests; its CTest summary ends the output
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps

echo "== formatting (clang-format)"
./scripts/check-format

echo "== layers (every include keeps to the arrows)"
./scripts/check-layers

jobs=$(nproc)

echo "== build/ (Release)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF >/dev/null
cmake --build build -j "$jobs"

echo "== build-asan/ (clang, ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_SANITIZE=address,undefined \
    -DQUORVEL_GUI=OFF -DQUORVEL_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure --no-label-summary -j "$jobs"

echo "== build-tsan/ (clang, ThreadSanitizer)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_SANITIZE=thread \
    -DQUORVEL_GUI=OFF -DQUORVEL_BENCH=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
# die_after_fork=0: the tests start quorvel-cli as a child process.
TSAN_OPTIONS=halt_on_error=1:die_after_fork=0 \
    ctest --test-dir build-tsan -L threads --output-on-failure --no-label-summary -j "$jobs"

echo "== build-fuzz/ (clang, libFuzzer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DQUORVEL_FUZZ=ON \
    -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF -DQUORVEL_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$jobs"
./scripts/fuzz "${QUORVEL_FUZZ_SECONDS:-10}"

echo "== Windows build under Wine (when ./package-windows.sh has built its libraries)"
./scripts/test-windows --if-built

echo "== build-test/ (Debug, warnings as errors)"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_WERROR=ON \
    -DQUORVEL_BENCH=OFF >/dev/null
cmake --build build-test -j "$jobs"
ctest --test-dir build-test --output-on-failure --no-label-summary -j "$jobs"
