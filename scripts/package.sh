#!/usr/bin/env bash
# Builds the Debian package build/kestrova-interface_<version>_amd64.deb with CPack and checks
# it: lintian must report no error and no warning, the menu entry and the AppStream metainfo
# must validate.
#
# A Release build in build/ (as scripts/test.sh makes it) is reused, and a missing one made;
# a build of another type in build/ is left alone and the package is built in build/package.
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
bash scripts/deps.sh dpkg-dev lintian appstream desktop-file-utils

build=build
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
elif [ "$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' build/CMakeCache.txt)" != Release ]; then
  build=build/package
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
name="kestrova-interface_${version}_amd64.deb"
rm -f "$build/$name"
(cd "$build" && cpack -G DEB >cpack.log) || { cat "$build/cpack.log" >&2; exit 1; }
[ "$build" = build ] || cp -f "$build/$name" build/
deb="build/$name"

desktop-file-validate data/com.tessaline.kestrova_interface.desktop
appstreamcli validate --no-net --pedantic "$build/packaging/com.tessaline.kestrova_interface.metainfo.xml"
lintian --fail-on error,warning "$deb"
echo "Package: $deb"
