#!/usr/bin/env bash
# Builds both targets and runs every suite: native, with sanitizers, the
# fuzz targets for a short while, and the Windows build under Wine.
#
# The product is the 32-bit DLL. On a machine whose kernel runs no 32-bit
# programs (ia32 emulation off), Wine cannot start it: the 32-bit build is
# still made and checked as a file, and the same module built as a 64-bit
# Windows DLL runs the Windows suites under 64-bit Wine instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
passed=0
failed=0
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

# Runs ctest for a preset (extra arguments select tests) and adds up the
# counts from its JUnit results.
run_suite() {
  local preset=$1
  shift
  local xml="$results/$preset.xml" status=0 runner=()
  # Windows programs share one X display (Xvfb when none is set), so the
  # harness's game window and every other Wine process see the same screen.
  [[ $preset == win* ]] && runner=(scripts/with-display.sh)
  "${runner[@]}" ctest --preset "$preset" -j"$jobs" --output-junit "$xml" "$@" || status=$?
  local total bad
  # The counts are attributes of the file's one testsuite element.
  total=$(grep -o 'tests="[0-9]*"' "$xml" 2>/dev/null | head -1 | tr -dc '0-9')
  bad=$(grep -o 'failures="[0-9]*"' "$xml" 2>/dev/null | head -1 | tr -dc '0-9')
  total=${total:-0}
  bad=${bad:-0}
  if [ "$status" -ne 0 ] && [ "$bad" -eq 0 ]; then bad=1; fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

build() {
  echo "=== $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs" >/dev/null
}

for preset in linux linux-asan linux-fuzz; do
  build "$preset"
  run_suite "$preset"
done

build win32
if bash scripts/can-run-32bit.sh; then
  # Create the Wine prefix once, before test programs start in parallel.
  scripts/wine-run.sh wineboot -i >/dev/null 2>&1 || true
  run_suite win32
else
  echo "note: this machine runs no 32-bit programs; the PE32 product is checked as a file," \
       "and the Windows suites run on the 64-bit build"
  run_suite win32 -R '^product_'
  build win64
  scripts/wine-run.sh --64 wineboot -i >/dev/null 2>&1 || true
  run_suite win64
fi

# The benchmarks must keep building and running; their figures live in bench/README.md.
./build/linux/bench/cycle_bench --benchmark_min_time=0.01 >/dev/null 2>&1

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
