#!/usr/bin/env bash
# Builds QuoteDesk with its tests and benchmarks and runs every test headless; then builds
# the suite a second time under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)
# and runs it there, where any report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
(cd build && ctest --output-on-failure)

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOTEDESK_SANITIZE=ON >/dev/null
cmake --build build-asan
cd build-asan
# Leaks inside Qt's and fontconfig's caches are not ours; every other report ends the test.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QUOTEDESK_SWEEP_STRIDE=40 # the kill sweep samples fewer points under the sanitizers
ctest --output-on-failure
