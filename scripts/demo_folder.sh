#!/usr/bin/env bash
# Sets up <build>/demo, the dashboard's own folder for the demo and the measurements: a copy of
# the built program and fresh copies of the three shipped configuration files, whose settings map
# COM1 to kestrova-sim.link, the link the simulator is to make in that folder.
#
# The program reads and writes its configuration files beside its executable as /proc/self/exe
# names it, and that is a symbolic link's target: a symbolic link to build/bin/Kestrova_Interface
# would use build/bin's files. Hence a copy.
#   scripts/demo_folder.sh <build folder>
set -euo pipefail
cd "$(dirname "$0")/.."
build="$1"
demo="$build/demo"

mkdir -p "$demo"
cp -f "$build/bin/Kestrova_Interface" "$demo/"
cp -f data/KESTROVA_001.TG1 data/KESTROVA_001.CG0 data/Kestrova_Interface.INI "$demo/"
if grep -qi '^\[Ports\]' "$demo/Kestrova_Interface.INI"; then
  echo "data/Kestrova_Interface.INI has a [Ports] section; it is meant to ship without one." >&2
  exit 1
fi
printf '\r\n[Ports]\r\nCOM1=kestrova-sim.link\r\n' >>"$demo/Kestrova_Interface.INI"
