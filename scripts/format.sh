#!/usr/bin/env bash
# Formats every C++ file git tracks with the repository's .clang-format.
#   scripts/format.sh           rewrites the files in place
#   scripts/format.sh --check   changes nothing; lists the files that differ and fails if any does
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh clang-format

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  # One clang-format for all files; it names each file that differs in its diagnostics.
  mapfile -t unformatted < <(clang-format --style=file --dry-run "${files[@]}" 2>&1 |
                               sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: .*clang-format-violations.*/\1/p' |
                               sort -u)
  if [ ${#unformatted[@]} -gt 0 ]; then
    printf 'Not formatted (run scripts/format.sh): %s\n' "${unformatted[@]}" >&2
    exit 1
  fi
  echo "format check: ${#files[@]} files follow .clang-format"
else
  clang-format -i --style=file "${files[@]}"
fi
