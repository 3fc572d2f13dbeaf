#!/usr/bin/env bash
# Resource figures of the dashboard against the simulated controller, under Xvfb, run from its
# demo folder build/demo (scripts/demo_folder.sh): time from start to the first painted window,
# CPU use over 60 s with comms good, resident memory at the start and the end of that time; then
# the comms_rate figures of the link. With KESTROVA_VIEWS=1 the Link Statistics and Trend windows
# are open throughout.
#   [KESTROVA_VIEWS=1] scripts/measure.sh [seconds, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

bash scripts/deps.sh
# A build folder that exists keeps its build type (scripts/test.sh makes a Release one).
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j"$(nproc)" --target Kestrova_Interface kestrova-sim kestrova_driver \
  comms_rate >/dev/null

bin=build/bin
demo=build/demo
bash scripts/demo_folder.sh build
link="$demo/kestrova-sim.link"
log=$(mktemp)
"$bin/kestrova-sim" --link "$link" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done

KESTROVA_DRIVER_VIEWS="${KESTROVA_VIEWS:-0}" \
KESTROVA_DRIVER_HOLD_MS=$(( (seconds + 5) * 1000 )) QT_PLUGIN_PATH=build/plugins \
  xvfb-run -a -s "-screen 0 1280x800x24" "$demo/Kestrova_Interface" -plugin kestrova-driver: \
  >"$log" 2>&1 &
app=$!
for _ in $(seq 600); do grep -q 'Comms Good' "$log" && break; sleep 0.1; done
grep -q 'Comms Good' "$log" || { cat "$log" >&2; echo "no Comms Good" >&2; exit 1; }
pid=$(pgrep -n -f "$demo/Kestrova_Interface")

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$pid/status"; }
c0=$(cpu); t0=$(date +%s.%N); rss0=$(rss)
sleep "$seconds"
c1=$(cpu); t1=$(date +%s.%N)
rss=$(rss)

echo "first_paint: $(grep -o 'first paint [0-9]* ms after process start' "$log")"
awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v hz="$ticks" \
  'BEGIN { printf "dashboard_cpu_percent_of_one_core %.2f (over %.0f s, comms good)\n", 100 * (c1 - c0) / hz / (t1 - t0), t1 - t0 }'
awk -v kb0="$rss0" -v kb="$rss" \
  'BEGIN { printf "dashboard_resident_memory_mib %.1f at the start, %.1f at the end\n", kb0 / 1024, kb / 1024 }'
wait "$app"
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
trap - EXIT

echo "comms_rate unpaced:"
"$bin/comms_rate" --seconds 10
echo "comms_rate --baud 38400:"
"$bin/comms_rate" --seconds 10 --baud 38400
