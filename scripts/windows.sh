#!/usr/bin/env bash
# Builds kestrova.exe for 64-bit Windows (mingw-w64, statically linked: no DLL beside it) and the
# tests of the layers below the window, then runs them under Wine in a fresh Wine prefix: the
# layers' tests (ctest), and kestrova.exe ports, backup, restore --yes (verified), diff, a backup
# and diff in a file and folder named outside the ANSI code page, --help, a missing and a busy
# port and Ctrl-C against the native kestrova-sim, whose pseudo-terminal Wine serves as COM5 (and
# ser2net as rfc2217:// and tcp://). Leaves the program and a zip with the three default
# configuration files beside it in build-windows/.
#   scripts/windows.sh            build and test
#   scripts/windows.sh --build    build only
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/deps.sh g++-mingw-w64-x86-64-posix wine wine64 googletest ser2net python3

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
out=build-windows
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKESTROVA_WERROR=ON "${launcher[@]}" > /dev/null
cmake --build "$out" -j"$(nproc)"

# Only Windows' own DLLs may be imported.
system_dlls='^(KERNEL32|ADVAPI32|msvcrt|SETUPAPI|WINMM|WS2_32|USER32)\.dll$'
imports=$(x86_64-w64-mingw32-objdump -p "$out/bin/kestrova.exe" | sed -n 's/^\s*DLL Name: //p')
if grep -Eqv "$system_dlls" <<< "$imports"; then
  echo "kestrova.exe imports DLLs that Windows does not have: $(grep -Ev "$system_dlls" <<< "$imports" | tr '\n' ' ')" >&2
  exit 1
fi
echo "kestrova.exe imports only: $(tr '\n' ' ' <<< "$imports")"

package=$out/kestrova-windows
rm -rf "$package" "$package.zip"
mkdir -p "$package"
cp "$out/bin/kestrova.exe" data/Kestrova_Interface.INI data/KESTROVA_001.CG0 data/KESTROVA_001.TG1 \
  "$package/"
(cd "$out" && cmake -E tar cf kestrova-windows.zip --format=zip kestrova-windows)
echo "== $out/kestrova-windows.zip"
[ "${1:-}" = "--build" ] && exit 0

# The simulator runs natively; the Linux build gives it.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKESTROVA_WERROR=ON "${launcher[@]}" > /dev/null
fi
cmake --build build -j"$(nproc)" --target kestrova-sim > /dev/null

work=$root/$out/wine-run
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the arguments and file names of the runs below as UTF-8.
export LC_ALL=C.UTF-8
sim_pid=
ser2net_pid=
cleanup() {
  [ -n "$ser2net_pid" ] && kill "$ser2net_pid" 2> /dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2> /dev/null
  wineserver -k > /dev/null 2>&1 || true
}
trap cleanup EXIT

build/bin/kestrova-sim --link "$work/controller" > "$work/sim.out" 2> "$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/controller" ] && break; sleep 0.1; done

# The prefix is made once per run (its first start is the slow part). Wine's mount manager makes
# COM5 from the Ports key when it starts: a link in dosdevices to the simulator's terminal, and
# the entry in HARDWARE\DEVICEMAP\SERIALCOMM that lists the port.
wineboot -i > /dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$work/controller" /f > /dev/null 2>&1
wineserver -k > /dev/null 2>&1
wineserver -p  # one server for every run below, so no run waits for it to end
wineboot > /dev/null 2>&1

KESTROVA_WINE_COM=COM5 ctest --test-dir "$out" --output-on-failure --timeout 120

# kestrova.exe keeps its files beside itself, as the Windows program does.
cp -r "$package" "$work/program"
cd "$work/program"
fail() {
  echo "Windows program under Wine: $*" >&2
  exit 1
}
run() {  # run <expected exit code> <output file> kestrova arguments...
  local expected=$1 output=$2 code=0
  shift 2
  wine kestrova.exe "$@" > "$output" 2>&1 || code=$?
  tr -d '\r' < "$output" > "$output.txt"
  [ "$code" = "$expected" ] || fail "kestrova $* ended with $code, not $expected: $(cat "$output.txt")"
}

run 0 ports.out ports
grep -Eq '^COM5 +\\\\\.\\COM5 +present' ports.out.txt || fail "ports does not list COM5: $(cat ports.out.txt)"

run 0 backup.out backup -p COM5 -o before.PRM
grep -q '^\[POINT00010\]' before.PRM || fail "the backup holds no point 10"

# Names outside the ANSI code page reach the system whole: a backup into such a file, in a
# configuration folder named so too, then a diff against it.
unicode_folder='Konfiguration-Ω-配置'
unicode_file="$unicode_folder/Kalibrierung-Ω-校准.PRM"
mkdir "$unicode_folder"
cp Kestrova_Interface.INI KESTROVA_001.CG0 KESTROVA_001.TG1 "$unicode_folder/"
run 0 unicode-backup.out --config-dir "$unicode_folder" backup -p COM5 -o "$unicode_file"
grep -q '^\[POINT00010\]' "$unicode_file" || fail "no backup in $unicode_file: $(ls "$unicode_folder")"
grep -qxF "COM5: $unicode_file" unicode-backup.out.txt ||
  fail "backup does not name $unicode_file: $(cat unicode-backup.out.txt)"
run 0 unicode-diff.out --config-dir "$unicode_folder" diff -p COM5 "$unicode_file"
run 0 help.out --help
grep -qF '%APPDATA%\Kestrova Interface' help.out.txt || fail "--help names no Windows folder"

# The Pan positive adjust value (point 10) 7 up: a file that differs from the unit.
awk 'BEGIN { RS = "\r\n"; ORS = "\r\n" }
     /^\[/ { section = $0 }
     section == "[POINT00010]" && /^ScaledValue=/ { split($0, kv, "="); $0 = "ScaledValue=" kv[2] + 7 }
     { print }' before.PRM > changed.PRM
run 1 diff-before.out diff -p COM5 changed.PRM

run 0 restore.out restore --yes -p COM5 changed.PRM
grep -q '^Restore verified$' restore.out.txt || fail "restore not verified: $(cat restore.out.txt)"
ls Backups/*_COM5_before_restore.PRM > /dev/null || fail "no backup before the restore"
run 0 diff-after.out diff -p COM5 changed.PRM
run 0 restore-back.out restore --yes -p COM5 before.PRM

run 3 missing.out diff -p COM9 changed.PRM
grep -q 'COM9: no such port' missing.out.txt || fail "no reason for a missing port: $(cat missing.out.txt)"

# A monitor holds the port until Ctrl-C (Wine hands SIGINT to the console's control handler).
wine kestrova.exe monitor -p COM5 > monitor.out 2>&1 &
monitor=$!
sleep 2
run 3 busy.out diff -p COM5 changed.PRM
kill -INT "$monitor"
code=0
wait "$monitor" || code=$?
[ "$code" = 130 ] || fail "monitor ended with $code after Ctrl-C, not 130: $(tail -2 monitor.out)"
grep -q 'kestrova: monitor COM5: stopped' monitor.out || fail "monitor did not say it stopped"
grep -Eq '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} ' monitor.out ||
  fail "monitor rows carry no ISO time: $(head -2 monitor.out)"
grep -q 'COM5: in use by another program' busy.out.txt || fail "no reason for a busy port: $(cat busy.out.txt)"

# A device server in front of the simulator's terminal: ser2net, reached through Winsock.
# Two ports the system hands out free.
read -r rfc raw < <(python3 -c 'import socket
a, b = socket.socket(), socket.socket()
a.bind(("127.0.0.1", 0)); b.bind(("127.0.0.1", 0))
print(a.getsockname()[1], b.getsockname()[1])')
connection() {  # connection <name> <accepter>
  printf '%s\n' "connection: &$1" "  accepter: $2" \
    "  connector: serialdev,$work/controller,38400n81,local" "  options:" "    chardelay: false"
}
{ connection rfc2217 "telnet(rfc2217),tcp,127.0.0.1,$rfc"; connection raw "tcp,127.0.0.1,$raw"; } \
  > "$work/ser2net.yaml"
/usr/sbin/ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" &
ser2net_pid=$!
listening() { grep -q "$(printf '0100007F:%04X 00000000:0000 0A' "$1")" /proc/net/tcp; }
for _ in $(seq 100); do listening "$rfc" && listening "$raw" && break; sleep 0.05; done
run 0 net-backup.out backup -p "rfc2217://127.0.0.1:$rfc" -o network.PRM
grep -q '^\[POINT00010\]' network.PRM || fail "the network backup holds no point 10"
run 0 net-diff.out diff -p "rfc2217://127.0.0.1:$rfc" before.PRM
run 0 raw-diff.out diff -p "tcp://127.0.0.1:$raw" before.PRM

echo "== Windows program under Wine: ports, backup, restore (verified), diff, names outside the ANSI code page, missing and busy port, Ctrl-C, network ports passed"
