#!/usr/bin/env bash
# Writes the uninstall confirmation's screenshot into docs/screenshots/ under a private
# Xvfb display:
#   scripts/uninstall-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" uninstall_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/app/uninstall_screenshots" "$out"
