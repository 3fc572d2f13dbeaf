#!/usr/bin/env bash
# Builds everything a second time with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer in build-asan, and runs every test there. A finding stops the program
# that makes it with a failing status, so the test that ran it fails.
# Extra arguments go to the configure step, e.g.  bash scripts/sanitize.sh -DKESTROVA_BUILD_UI=OFF
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

bash scripts/deps.sh

sanitize="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"

# Every program started from here on reports with these settings: the tests, the programs they
# start (the dashboard program, kestrova-sim) and the test listing run at build time.
# LeakSanitizer needs no suppressions: the Qt and font libraries leave nothing it reports. Should
# a system library ever need one, it goes into a file in scripts/ named by LSAN_OPTIONS
# (suppressions=<file>), with frames of that library only, never of this project.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Debug keeps the assertions; -O1 keeps the instrumented tests quick.
cmake -S . -B build-asan \
  -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CXX_FLAGS=-O1 $sanitize" \
  "-DCMAKE_EXE_LINKER_FLAGS=$sanitize" \
  "-DCMAKE_SHARED_LINKER_FLAGS=$sanitize" \
  "-DCMAKE_MODULE_LINKER_FLAGS=$sanitize" \
  "$@"
cmake --build build-asan -j"$(nproc)"
built=$SECONDS

# One test at a time: several of them run against real clocks and pseudo-terminals.
status=0
ctest --test-dir build-asan --output-on-failure --timeout 600 || status=$?

echo "sanitizer build: $((built - start)) s, tests: $((SECONDS - built)) s," \
     "total: $((SECONDS - start)) s"
exit "$status"
