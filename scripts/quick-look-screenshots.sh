#!/usr/bin/env bash
# Writes the preview window's screenshots (an image and a PDF) into
# docs/screenshots/ under a private Xvfb display with the default theme:
#   scripts/quick-look-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" quick_look_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/results/quick_look_screenshots" "$out"
