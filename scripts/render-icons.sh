#!/usr/bin/env bash
# Renders the application icon's PNGs from data/icons/org.trovix.Trovix.svg.
# The PNGs are committed; run this after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" org.trovix.Trovix.svg -o "$size/org.trovix.Trovix.png"
done
