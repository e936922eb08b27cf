#!/usr/bin/env bash
# Writes the screenshots of the search window's menus into docs/screenshots/
# under a private Xvfb display with the default theme:
#   scripts/menus-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" menus_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/app/menus_screenshots" "$out"
