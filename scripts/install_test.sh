#!/usr/bin/env bash
# Installs the Debian package as a user finds it and runs it from there.
#
# Builds the package (scripts/package.sh), unpacks it with dpkg -x into a temporary root whose
# usr/bin is then made read-only, and gives the program a temporary HOME holding only a
# settings file that maps COM1 to the unpacked kestrova-sim's link. The unpacked window runs
# under Xvfb, worked by the operator driver plugin (tests/qt/driver): it picks COM 1, waits
# for "Comms Good" and chooses File > Exit. Then the configuration must be in
# $HOME/.config/kestrova-interface (the two missing files copied from the installed defaults,
# the settings written back at exit) and nothing new anywhere in the unpacked root.
# Every program in the package has a manual page that renders without warnings. When the
# package holds the command line, `kestrova --help` runs, and `kestrova ports` must show COM1
# mapped as the user's settings map it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/package.sh
deb=$(ls build/kestrova-interface_*_amd64.deb)
plugins="$PWD/build/plugins"
[ -f "$plugins/generic/libkestrova_driver.so" ] || plugins="$PWD/build/package/plugins"

work=$(mktemp -d)
sim=
cleanup() {
  [ -n "$sim" ] && { kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; }
  chmod -R u+w "$work"
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install test: $*" >&2; exit 1; }

root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/bin/Kestrova_Interface usr/bin/kestrova-sim \
  usr/share/kestrova-interface/Kestrova_Interface.INI \
  usr/share/kestrova-interface/KESTROVA_001.CG0 usr/share/kestrova-interface/KESTROVA_001.TG1 \
  usr/share/applications/com.tessaline.kestrova_interface.desktop \
  usr/share/icons/hicolor/scalable/apps/com.tessaline.kestrova_interface.svg \
  usr/share/icons/hicolor/48x48/apps/com.tessaline.kestrova_interface.png \
  usr/share/metainfo/com.tessaline.kestrova_interface.metainfo.xml \
  usr/share/doc/kestrova-interface/copyright usr/share/doc/kestrova-interface/changelog.gz; do
  [ -f "$root/$file" ] || fail "the package has no /$file"
done
# A manual page for every program, and it renders without a complaint from groff.
for program in "$root"/usr/bin/*; do
  page="$root/usr/share/man/man1/$(basename "$program").1.gz"
  [ -f "$page" ] || fail "the package has no manual page for /usr/bin/$(basename "$program")"
  complaints=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$complaints" ] || fail "$(basename "$page"): $complaints"
done
chmod a-w "$root/usr/bin"
find "$root" | sort >"$work/before.txt"

home="$work/home"
user="$home/.config/kestrova-interface"
mkdir -p "$user"
link="$work/kestrova-sim.link"
cp "$root/usr/share/kestrova-interface/Kestrova_Interface.INI" "$user/"
printf '\r\n[Ports]\r\nCOM1=%s\r\n' "$link" >>"$user/Kestrova_Interface.INI"

"$root/usr/bin/kestrova-sim" --link "$link" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  [ -L "$link" ] && break
  sleep 0.05
done
[ -L "$link" ] || { cat "$work/sim.log" >&2; fail "kestrova-sim made no link"; }

status=0
env -u XDG_CONFIG_HOME HOME="$home" QT_PLUGIN_PATH="$plugins" \
  timeout 90 xvfb-run -a -s "-screen 0 1280x800x24" \
  "$root/usr/bin/Kestrova_Interface" -plugin "kestrova-driver:$work/dashboard.png" \
  >"$work/window.log" 2>&1 || status=$?
grep -q '^kestrova-driver: Comms Good' "$work/window.log" && grep -q '^kestrova-driver: done' "$work/window.log" &&
  [ "$status" -eq 0 ] || { cat "$work/window.log" >&2; fail "the installed window did not reach Comms Good and exit (status $status)"; }

for name in KESTROVA_001.CG0 KESTROVA_001.TG1; do
  [ -f "$user/$name" ] || fail "$name was not copied into $user"
done
grep -q '^Caption=Tessaline Kestrova Wheels Software' "$user/Kestrova_Interface.INI" ||
  fail "the settings were not written back to $user"
grep -q "^COM1=$link" "$user/Kestrova_Interface.INI" || fail "the settings lost COM1"
find "$root" | sort >"$work/after.txt"
diff "$work/before.txt" "$work/after.txt" >&2 || fail "the program wrote into the unpacked root"

if [ -x "$root/usr/bin/kestrova" ]; then
  HOME="$home" "$root/usr/bin/kestrova" --help >"$work/help.log" 2>&1 || fail "kestrova --help failed"
  HOME="$home" "$root/usr/bin/kestrova" ports >"$work/ports.log" 2>&1 ||
    { cat "$work/ports.log" >&2; fail "kestrova ports failed"; }
  # The user's settings, not the installed defaults: COM1 is the simulator's link.
  grep -q "^COM1 .*$link" "$work/ports.log" || { cat "$work/ports.log" >&2; fail "kestrova ports did not read the settings in HOME"; }
fi
echo "install test passed: $deb, window from the unpacked tree reached Comms Good, settings in HOME"
