#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing; with
# package names as arguments, those instead (scripts/fuzz.sh asks for clang this way).
# As root it runs apt-get; otherwise it prints the exact apt-get line and fails.
set -euo pipefail

packages=(g++ cmake make clang-format help2man libgtest-dev libbenchmark-dev libcli11-dev pkgconf libudev-dev qt6-base-dev qt6-charts-dev xvfb xauth fonts-dejavu-core fonts-dejavu-extra ser2net umockdev libumockdev-dev valgrind g++-mingw-w64-x86-64-posix wine wine64 googletest)
[ $# -gt 0 ] && packages=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

line="apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them as root with:  apt-get update && $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
