#!/usr/bin/env bash
# Writes the review reminder's screenshot into docs/screenshots/ under a private
# Xvfb display:
#   scripts/review-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" review_reclam_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/toolkit/review_reclam_screenshots" "$out"
