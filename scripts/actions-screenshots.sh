#!/usr/bin/env bash
# Writes the screenshots of the results' context menu into docs/screenshots/
# under a private Xvfb display with the default theme:
#   scripts/actions-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" actions_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/results/actions_screenshots" "$out"
