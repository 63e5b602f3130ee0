#!/bin/sh
# Renders the program's icon at the sizes of the hicolor theme, next to this
# script, from the SVG. Run it after changing the SVG and commit the PNGs
# (rsvg-convert is in the Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$size.png" com.norvale.kps_eval.svg
done
