#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the normal build (warnings are
# errors), the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, a short smoke run
# of every fuzz target, and a one-minute fault soak of the headless core against the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

start=$SECONDS
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure --timeout 300
echo "== normal build and tests: $((SECONDS - start)) s"

step=$SECONDS
bash scripts/sanitize.sh
echo "== sanitizer build and tests: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/fuzz.sh 20
echo "== fuzz smoke: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/soak.sh 1
echo "== one-minute soak: $((SECONDS - step)) s"

echo "== scripts/test.sh passed in $((SECONDS - start)) s"
