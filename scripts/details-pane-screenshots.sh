#!/usr/bin/env bash
# Writes the details pane's screenshots (a photo's facts; the metadata of a photo, a song and a PDF) into
# docs/screenshots/ under a private Xvfb display with the default theme:
#   scripts/details-pane-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" details_pane_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/results/details_pane_screenshots" "$out"
