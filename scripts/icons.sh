#!/usr/bin/env bash
# Renders the program's icon, data/icons/com.tessaline.kestrova_interface.svg, into the PNG sizes of the
# desktop's icon theme (data/icons/hicolor/<n>x<n>/apps/com.tessaline.kestrova_interface.png). The PNGs are
# committed, so a build needs no SVG renderer; run this after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh librsvg2-bin

for size in 16 32 48 64 128 256; do
  folder="data/icons/hicolor/${size}x${size}/apps"
  mkdir -p "$folder"
  rsvg-convert -w "$size" -h "$size" data/icons/com.tessaline.kestrova_interface.svg -o "$folder/com.tessaline.kestrova_interface.png"
done
