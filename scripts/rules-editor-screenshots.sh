#!/usr/bin/env bash
# Writes the rules editor's screenshots into docs/screenshots/ under a private
# Xvfb display with the default theme:
#   scripts/rules-editor-screenshots.sh [OUTPUT_DIR]
set -euo pipefail
out=${1:-docs/screenshots}
build=${TROVIX_BUILD_DIR:-build}
ninja -C "$build" rules_editor_screenshots >/dev/null
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/rules/widgets/rules_editor_screenshots" "$out"
