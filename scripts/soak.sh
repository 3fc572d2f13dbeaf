#!/usr/bin/env bash
# Soak run: the headless core against a faulty simulated controller for N minutes (default 1;
# fractions such as 0.2 are fine). Builds the soak and the simulator when needed.
#   scripts/soak.sh [minutes] [further soak options, e.g. --seed 7 --keep]
set -euo pipefail
cd "$(dirname "$0")/.."

minutes="${1:-1}"
[ $# -gt 0 ] && shift

if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j"$(nproc)" --target soak kestrova-sim
exec build/bin/soak --minutes "$minutes" "$@"
