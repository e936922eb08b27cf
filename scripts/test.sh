#!/usr/bin/env bash
# Builds Trovix and runs the whole test suite (installing what is missing).
# Extra arguments go to ctest, e.g. `scripts/test.sh -R support_tests`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${TROVIX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" "$@"
