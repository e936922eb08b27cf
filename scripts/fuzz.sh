#!/usr/bin/env bash
# Runs one libFuzzer target for a while: scripts/fuzz.sh TARGET SECONDS
# (targets: the .cpp files of tests/fuzz/, e.g. criteria_json). Builds the
# targets into build-fuzz/ (TROVIX_FUZZ_BUILD_DIR) when needed, fuzzes a copy of
# tests/fuzz/corpus/TARGET/ (new inputs never land in the repository) and
# prints the executions per second. An input that crashes the target is kept
# as build-fuzz/crash-TARGET-* and the script fails.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ] || [ ! -f "tests/fuzz/$1.cpp" ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS; targets: $(cd tests/fuzz && ls ./*.cpp | sed 's|^\./||; s|\.cpp$||' | tr '\n' ' ')" >&2
  exit 2
fi
target=$1
seconds=$2
build=${TROVIX_FUZZ_BUILD_DIR:-build-fuzz}

if [ ! -f "$build/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  # -O1 and line tables only: quicker to build, and enough for the crash reports.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
    -DTROVIX_GUI=OFF -DTROVIX_TESTS=OFF -DTROVIX_BENCH=OFF -DTROVIX_FUZZ=ON "${launcher[@]}" >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" --target "fuzz_$target"

work=$(mktemp -d "${TMPDIR:-/tmp}/trovix-fuzz-$target-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "tests/fuzz/corpus/$target" "$work/corpus"
log="$build/fuzz-$target.log"
status=0
# Not a terminal: the targets' log records stay out of the output. Their
# private folders go into the work folder, removed on exit whatever happens.
TMPDIR="$work" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$build/crash-$target-" "$work/corpus" >"$log" 2>&1 || status=$?
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
echo "fuzz $target: ${runs:-0} runs in ${seconds} s, ${rate:-0} executions per second"
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log" >&2
  echo "fuzz $target: failed (status $status); the input is in $build/crash-$target-*, the log in $log" >&2
  exit 1
fi
