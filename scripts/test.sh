#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs every test: the
# Release build (warnings are errors); the Debian package, built from the Release build, checked
# with lintian and run from an unpacked copy (scripts/install_test.sh); a short smoke run of every
# fuzz target, built with clang under AddressSanitizer and UndefinedBehaviorSanitizer; a
# one-minute fault soak of the headless core against the simulator; and the Windows program and
# the tests of the layers below the window, cross-built with mingw-w64 and run under Wine against
# the simulator (scripts/windows.sh). The suite under the
# sanitizers (scripts/fuzz.sh --with-suite, scripts/sanitize.sh) is run by hand: with it this
# script would take more than twelve minutes on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

start=$SECONDS
bash scripts/format.sh --check

# Release: the build a user or packager makes; it optimises hardest and so warns differently.
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTROVA_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build -j"$jobs" --output-on-failure --timeout 300
echo "== Release build and tests: $((SECONDS - start)) s"

step=$SECONDS
bash scripts/install_test.sh
echo "== package and install test: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/fuzz.sh 8
echo "== sanitizer build and fuzz smoke: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/soak.sh 1
echo "== one-minute soak: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/windows.sh
echo "== Windows build and tests under Wine: $((SECONDS - step)) s"

echo "== scripts/test.sh passed in $((SECONDS - start)) s"
