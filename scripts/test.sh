#!/usr/bin/env bash
# Builds QuoteDesk with its tests and benchmarks and runs every test headless; then builds
# the suite a second time under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/)
# and runs it there, where any report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh --tests

# The server tests run against a PostgreSQL of their own, removed again however this ends.
pgdir=$(mktemp -d /tmp/quotedesk-pg.XXXXXX)
root=$(pwd)
trap '"$root/scripts/pg-throwaway.sh" stop "$pgdir"' EXIT
QUOTEDESK_TEST_SERVER=$(scripts/pg-throwaway.sh start "$pgdir")
export QUOTEDESK_TEST_SERVER

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build
(cd build && ctest --output-on-failure -j "$(nproc)")

# Optimised lightly, with line tables for the reports, and no benchmarks: what the sanitizers need.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DQUOTEDESK_SANITIZE=ON -DQUOTEDESK_BENCH=OFF >/dev/null
cmake --build build-asan
pushd build-asan >/dev/null
# Leaks inside Qt's and fontconfig's caches are not ours; every other report ends the test.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QUOTEDESK_SWEEP_STRIDE=40 # the kill sweep samples fewer points under the sanitizers
export QUOTEDESK_RACE_SAVES=150   # and two desktops race over fewer saves
# The groups' second runs on the server repeat the code above; test_server runs here too.
ctest --output-on-failure -j "$(nproc)" -E '_on_server$'
popd >/dev/null
