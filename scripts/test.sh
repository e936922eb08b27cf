#!/usr/bin/env bash
# Builds Trovix and runs the whole test suite (installing what is missing):
#   1. the normal build, every test (widget tests on their own Xvfb);
#   2. the build without the GUI, under AddressSanitizer and
#      UndefinedBehaviorSanitizer: it proves that engine, scope, support and the
#      command-line tool stand without Qt Widgets, and catches memory errors in
#      the threaded search session. TROVIX_SKIP_SANITIZERS=1 skips it.
# Extra arguments go to ctest, e.g. `scripts/test.sh -R support_tests`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

build=${TROVIX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$jobs"
(cd "$build" && ctest --output-on-failure --parallel "$jobs" "$@")

if [ "${TROVIX_SKIP_SANITIZERS:-0}" != 1 ]; then
  asan=${TROVIX_ASAN_BUILD_DIR:-build-asan}
  cmake -S . -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTROVIX_GUI=OFF -DTROVIX_BENCH=OFF \
    -DTROVIX_ASAN=ON >/dev/null
  cmake --build "$asan" --parallel "$jobs"
  # Tests ask for impossible allocations on purpose; they must fail, not abort.
  (cd "$asan" && ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure --parallel "$jobs" "$@")
fi
