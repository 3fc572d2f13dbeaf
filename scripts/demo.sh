#!/usr/bin/env bash
# The dashboard against the simulated wheel controller.
#
# Installs what is missing, builds the program, the simulator and the operator driver into
# build/, starts kestrova-sim on build/bin/kestrova-sim.link (the device that COM 1 maps to in
# build/bin/Kestrova_Interface.INI) and runs the dashboard; the simulator stops when the window
# closes.
#
# With a display, the window is yours: pick "COM 1" in the port list and watch "Comms Good".
# Without one (no DISPLAY), the dashboard runs under Xvfb and the operator driver plugin works
# the real window: it opens the port list, clicks "COM 1", waits for "Comms Good", saves a
# picture of the window to build/demo.png and chooses File > Exit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target Kestrova_Interface kestrova-sim kestrova_driver \
  kestrova_data

bin="$build/bin"
link="$bin/kestrova-sim.link"
if ! grep -qi '^COM1=kestrova-sim.link' "$bin/Kestrova_Interface.INI"; then
  echo "$bin/Kestrova_Interface.INI does not map COM1 to kestrova-sim.link;" >&2
  echo "remove it and run again to get the shipped one from data/." >&2
  exit 1
fi

"$bin/kestrova-sim" --link "$link" >"$build/demo-sim.log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -L "$link" ] && break
  kill -0 "$sim" 2>/dev/null || { cat "$build/demo-sim.log" >&2; exit 1; }
  sleep 0.05
done
[ -L "$link" ] || { echo "kestrova-sim did not create $link" >&2; exit 1; }
echo "kestrova-sim serves $(head -n1 "$build/demo-sim.log") through $link"

if [ -n "${DISPLAY:-}" ]; then
  echo 'Pick "COM 1" in the port list; close the window to end the demo.'
  "$bin/Kestrova_Interface"
  exit 0
fi

picture="$build/demo.png"
rm -f "$picture"
echo "No display: running the dashboard under Xvfb with the operator driver."
QT_PLUGIN_PATH="$build/plugins" xvfb-run -a -s "-screen 0 1280x800x24" \
  "$bin/Kestrova_Interface" -plugin "kestrova-driver:$picture" | tee "$build/demo.log"
grep -q '^kestrova-driver: done' "$build/demo.log"
echo "Picture of the window: $picture"
