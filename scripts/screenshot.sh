#!/usr/bin/env bash
# Takes a screenshot of Trovix under a private Xvfb display:
#   scripts/screenshot.sh OUT.png [trovix arguments...]
# Needs xvfb, x11-apps (xwd) and netpbm, which scripts/setup.sh installs.
set -euo pipefail
out=$1; shift
build=${TROVIX_BUILD_DIR:-build}
export XDG_CONFIG_HOME=${XDG_CONFIG_HOME:-$(mktemp -d)}
Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=:77 QT_QPA_PLATFORM=xcb "$build/app/trovix" "$@" &
app=$!
sleep "${TROVIX_SCREENSHOT_DELAY:-3}"
DISPLAY=:77 xwd -root -silent | xwdtopnm 2>/dev/null | pnmcrop -black 2>/dev/null | pnmtopng >"$out"
kill $app 2>/dev/null || true
