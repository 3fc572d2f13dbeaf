#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang and runs each for a while.
#
#   scripts/fuzz.sh [seconds-per-target] [target ...]     default: 20 s, every target
#
# Each target runs on a copy of its seed corpus (fuzz/corpus/<target>/) in a temporary folder,
# so the repository's corpus never grows; files the targets write go there too (on /dev/shm when
# it exists: the file targets save on every input). Crash, leak, timeout and out-of-memory
# inputs are kept in build-fuzz/fuzz/artifacts/<target>/. Exits non-zero when any target found
# one. Clang is installed when missing: as root with apt-get; otherwise the exact apt-get line
# is printed and the script fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-20}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_parse_reply fuzz_ini fuzz_tag_file fuzz_project_config
                                     fuzz_parameter_file fuzz_port_receiver fuzz_display_update
                                     fuzz_service_event)

# --- clang and libFuzzer
bash "$root/scripts/deps.sh" clang libclang-rt-14-dev cmake make libgtest-dev pkgconf libudev-dev

# --- build
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DKESTROVA_FUZZ=ON \
      -DKESTROVA_BUILD_UI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# --- run
scratch_base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_base=/dev/shm
work="$(mktemp -d "$scratch_base/kestrova-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Appended to, so runs of several target groups side by side each add their lines.
summary="$build/fuzz/summary.txt"
echo "# $(date -u '+%Y-%m-%d %H:%M UTC'), $seconds s per target" >>"$summary"
failed=0
for t in "${targets[@]}"; do
  corpus="$work/$t/corpus"
  artifacts="$build/fuzz/artifacts/$t"
  mkdir -p "$corpus" "$work/$t/tmp" "$artifacts"
  cp "$root/fuzz/corpus/$t/"* "$corpus/" 2>/dev/null || true
  log="$build/fuzz/$t.log"
  echo "== $t: $seconds s"
  set +e
  TMPDIR="$work/$t/tmp" "$build/fuzz/$t" "$corpus" -max_total_time="$seconds" \
      -print_final_stats=1 -timeout=25 -rss_limit_mb=4096 -artifact_prefix="$artifacts/" \
      >"$log" 2>&1
  rc=$?
  set -e
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corp=$(grep -o 'corp: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  if [ "$rc" -eq 0 ]; then
    result="no findings"
  else
    result="FAILED (exit $rc): $(grep -m1 -E 'FUZZ CHECK FAILED|ERROR: |SUMMARY: ' "$log" || echo 'see log')"
    failed=1
  fi
  line="$t: ${execs:-?} executions (${rate:-?}/s), cov ${cov:-?}, features ${ft:-?}, corpus ${corp:-?}; $result"
  echo "$line" | tee -a "$summary"
done

echo "Logs: $build/fuzz/<target>.log; summary: $summary"
if [ "$failed" -ne 0 ]; then
  echo "Fuzzing found faults; inputs in $build/fuzz/artifacts/" >&2
  exit 1
fi
