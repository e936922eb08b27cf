#!/usr/bin/env bash
# Writes the problem-report window's screenshots into docs/screenshots/ under a
# private Xvfb display:
#   scripts/crash-report-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" crash_report_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/toolkit/crash_report_screenshots" "$out"
