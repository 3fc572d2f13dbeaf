#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang and runs each for a while.
#
#   scripts/fuzz.sh [--with-suite] [seconds-per-target] [target ...]
#                                                         default: 20 s, every target
#
# With --with-suite the build folder is built whole (everything but the Qt view) and the test
# suite runs there first: the same clang build with AddressSanitizer and
# UndefinedBehaviorSanitizer then serves both the suite and the targets.
#
# Each target runs on a copy of its seed corpus (fuzz/corpus/<target>/) in a temporary folder,
# so the repository's corpus never grows; files the targets write go there too (on /dev/shm when
# it exists: the file targets save on every input). Crash, leak, timeout and out-of-memory
# inputs are kept in build-fuzz/fuzz/artifacts/<target>/. Exits non-zero when any target found
# one. Clang is installed when missing: as root with apt-get; otherwise the exact apt-get line
# is printed and the script fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
with_suite=0
if [ "${1:-}" = "--with-suite" ]; then
  with_suite=1
  shift
fi
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_parse_reply fuzz_ini fuzz_tag_file fuzz_project_config
                                     fuzz_parameter_file fuzz_port_receiver fuzz_display_update
                                     fuzz_service_event fuzz_telnet_decoder)

# --- clang and libFuzzer
bash "$root/scripts/deps.sh" clang libclang-rt-14-dev cmake make libgtest-dev pkgconf libudev-dev

# --- build
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DKESTROVA_FUZZ=ON \
      -DKESTROVA_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"
if [ "$with_suite" -eq 1 ]; then
  cmake --build "$build" -j2
  # A finding stops the program that makes it with a failing status, so its test fails.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$build" -j2 --output-on-failure --timeout 600
fi

# --- run
scratch_base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_base=/dev/shm
work="$(mktemp -d "$scratch_base/kestrova-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Appended to, so runs of several target groups side by side each add their lines.
summary="$build/fuzz/summary.txt"
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $seconds s per target" >>"$summary"
# One target per core at a time; each prints its summary line when it ends.
run_target() {
  set +e  # a failing target or a grep that finds nothing must still print its line
  local t=$1
  local corpus="$work/$t/corpus"
  local artifacts="$build/fuzz/artifacts/$t"
  mkdir -p "$corpus" "$work/$t/tmp" "$artifacts"
  cp "$root/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true
  local log="$build/fuzz/$t.log"
  TMPDIR="$work/$t/tmp" "$build/fuzz/$t" "$corpus" -max_total_time="$seconds" \
      -print_final_stats=1 -timeout=25 -rss_limit_mb=4096 -artifact_prefix="$artifacts/" \
      >"$log" 2>&1
  local rc=$?
  local execs rate cov ft corp result
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ "$rc" -eq 0 ]; then
    result="no findings"
  else
    result="FAILED (exit $rc): $(grep -m1 -E 'FUZZ CHECK FAILED|ERROR: |SUMMARY: ' "$log" || echo 'see log')"
  fi
  echo "$t: ${execs:-?} executions (${rate:-?}/s), cov ${cov:-?}, features ${ft:-?}, corpus ${corp:-?}; $result" |
    tee -a "$summary"
  return "$rc"
}

echo "== ${#targets[@]} targets, $seconds s each, $(nproc) at a time"
failed=0
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_target "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done

echo "Logs: $build/fuzz/<target>.log; summary: $summary"
if [ "$failed" -ne 0 ]; then
  echo "Fuzzing found faults; inputs in $build/fuzz/artifacts/" >&2
  exit 1
fi
