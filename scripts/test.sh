#!/usr/bin/env bash
# Builds both targets and runs every suite: native, with sanitizers, the
# fuzz targets for a short while, and the Windows builds under Wine: the
# product (PE32) and its 64-bit twin, a second Windows target.
#
# On a machine whose kernel runs no 32-bit code, the setup step hands
# 32-bit programs to a user-mode emulator (scripts/enable-32bit.sh). Where
# that cannot be done, the product is built and checked as a file, and the
# Windows suites run on the 64-bit build only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
passed=0
failed=0
results=$(mktemp -d)
# One Wine prefix for the whole run (both Windows builds), removed at the end.
export WINEPREFIX=$results/wine-prefix
cleanup() {
  if [ -f "$WINEPREFIX/system.reg" ]; then /usr/lib/wine/wineserver -k 2>/dev/null || true; fi
  rm -rf "$results"
}
trap cleanup EXIT

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
  # Wine's processes keep to the display they met; the next suite has its own.
  [[ $preset == win* ]] && { /usr/lib/wine/wineserver -k 2>/dev/null || true; }
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
build win64
if bash scripts/can-run-32bit.sh; then
  run_suite win32
else
  echo "note: this machine runs no 32-bit programs; the PE32 product is checked as a file only"
  run_suite win32 -R '^product_'
fi
run_suite win64

# The benchmarks must keep building and running; their figures live in bench/README.md.
./build/linux/bench/cycle_bench --benchmark_min_time=0.01 >/dev/null 2>&1

echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
