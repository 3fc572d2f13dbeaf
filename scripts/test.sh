#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything and runs every test: the
# normal build (warnings are errors), a Release build of the programs, the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short smoke run of every fuzz target, and a
# one-minute fault soak of the headless core against the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

start=$SECONDS
bash scripts/format.sh --check

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_WERROR=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure --timeout 300
echo "== normal build and tests: $((SECONDS - start)) s"

# Release optimises harder and so warns differently; the programs must build cleanly there too.
step=$SECONDS
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DKESTROVA_WERROR=ON
cmake --build build-release -j"$jobs" --target Kestrova_Interface kestrova-sim soak comms_rate
echo "== Release build: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/sanitize.sh -DKESTROVA_WERROR=ON
echo "== sanitizer build and tests: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/fuzz.sh 20
echo "== fuzz smoke: $((SECONDS - step)) s"

step=$SECONDS
bash scripts/soak.sh 1
echo "== one-minute soak: $((SECONDS - step)) s"

echo "== scripts/test.sh passed in $((SECONDS - start)) s"
