#!/usr/bin/env bash
# Builds Trovix (installing what is missing) and launches it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${TROVIX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target trovix
exec "$build/app/trovix" "$@"
