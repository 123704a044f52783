#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, then the core tests again
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
cmake --preset default
cmake --build --preset default -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --preset default -j"$jobs"
cmake --preset asan-ubsan -DVARLO_BUILD_GUI=OFF
cmake --build --preset asan-ubsan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan-ubsan -j"$jobs"
