#!/usr/bin/env bash
# The dashboard against the simulated wheel controller.
#
# Installs what is missing, builds the program, the simulator and the operator driver into
# build/, sets up build/demo/ as the dashboard's own folder (scripts/demo_folder.sh: a copy of
# the program and fresh copies of the configuration files, COM1 mapped to kestrova-sim.link),
# starts kestrova-sim on build/demo/kestrova-sim.link and runs the dashboard from there; the
# simulator stops when the window closes.
#
# With a display, the window is yours: pick "COM 1" in the port list and watch "Comms Good".
# Without one (no DISPLAY), the dashboard runs under Xvfb and the operator driver plugin works
# the real window: it opens the port list, clicks "COM 1", waits for "Comms Good", saves a
# picture of the window to build/demo.png and chooses File > Exit.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=build
# A build folder that exists keeps its build type (scripts/test.sh makes a Release one).
if [ ! -f "$build"/CMakeCache.txt ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target Kestrova_Interface kestrova-sim kestrova_driver

bin="$build/bin"
demo="$build/demo"
bash scripts/demo_folder.sh "$build"
link="$demo/kestrova-sim.link"

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
  "$demo/Kestrova_Interface"
  exit 0
fi

picture="$build/demo.png"
rm -f "$picture"
echo "No display: running the dashboard under Xvfb with the operator driver."
QT_PLUGIN_PATH="$build/plugins" xvfb-run -a -s "-screen 0 1280x800x24" \
  "$demo/Kestrova_Interface" -plugin "kestrova-driver:$picture" | tee "$build/demo.log"
grep -q '^kestrova-driver: done' "$build/demo.log"
echo "Picture of the window: $picture"
