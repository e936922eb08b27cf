#!/usr/bin/env bash
# Builds Trovix and runs the whole test suite (installing what is missing):
#   1. the normal build, every test (widget tests on their own Xvfb);
#   2. the build without the GUI, under AddressSanitizer and
#      UndefinedBehaviorSanitizer: it proves that engine, scope, support and the
#      command-line tool stand without Qt Widgets, and catches memory errors in
#      the threaded search session. TROVIX_SKIP_SANITIZERS=1 skips it;
#   3. the engine and session tests under ThreadSanitizer (build-tsan; the data
#      races of the walk and the session). TROVIX_SKIP_TSAN=1 skips it;
#   4. each fuzz target of tests/fuzz for 20 s (TROVIX_FUZZ_SECONDS) with
#      scripts/fuzz.sh (build-fuzz). TROVIX_SKIP_FUZZ=1 skips it;
#   5. the Debian package, made from the build of step 1 without compiling
#      again, installed, run and removed (scripts/test-package.sh; it installs
#      into /usr for a minute). TROVIX_SKIP_PACKAGE=1 skips it.
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

if [ "${TROVIX_SKIP_TSAN:-0}" != 1 ]; then
  tsan=${TROVIX_TSAN_BUILD_DIR:-build-tsan}
  # -O1 and line tables only: a third less compile time, the same reports.
  cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROVIX_GUI=OFF -DTROVIX_BENCH=OFF \
    -DTROVIX_TSAN=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
  cmake --build "$tsan" --parallel "$jobs" --target engine_tests session_tests
  # Tests ask for impossible allocations on purpose; tests/tsan.supp covers Qt Core.
  options="allocator_may_return_null=1 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/tsan.supp"
  (cd "$tsan" && TSAN_OPTIONS="$options" \
    ctest --output-on-failure --parallel "$jobs" -R '^(engine|session)_tests$')
fi

if [ "${TROVIX_SKIP_FUZZ:-0}" != 1 ]; then
  for target in $(cd tests/fuzz && ls ./*.cpp | sed 's|^\./||; s|\.cpp$||'); do
    bash scripts/fuzz.sh "$target" "${TROVIX_FUZZ_SECONDS:-20}"
  done
fi

if [ "${TROVIX_SKIP_PACKAGE:-0}" != 1 ]; then
  TROVIX_BUILD_DIR="$build" bash scripts/test-package.sh
fi
