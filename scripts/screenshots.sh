#!/usr/bin/env bash
# Draws the pictures of docs/screenshots/ under a private Xvfb display with the
# default theme, each set in a private home with sample data:
#   scripts/screenshots.sh [-o OUTPUT_DIR] [NAME...]
# NAME is one of: window rules-editor menus hotkey preferences update uninstall
# actions quick-look details-pane crash-report review (all of them by default).
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshots
if [[ ${1:-} == -o ]]; then
    out=$2
    shift 2
fi
all=(window rules-editor menus hotkey preferences update uninstall actions quick-look details-pane crash-report review)
names=("$@")
((${#names[@]})) || names=("${all[@]}")
build=${TROVIX_BUILD_DIR:-build}
targets=()
for name in "${names[@]}"; do
    if [[ " ${all[*]} " != *" $name "* ]]; then
        echo "screenshots.sh: unknown picture set \"$name\"; known: ${all[*]}" >&2
        exit 2
    fi
    targets+=("${name//-/_}_screenshots")
done
ninja -C "$build" "${targets[@]}" >/dev/null
mkdir -p "$out"
for target in "${targets[@]}"; do
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" "$build/screenshots/$target" "$out"
done
