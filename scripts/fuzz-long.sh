#!/usr/bin/env bash
# A long fuzz run of one target, outside CI: builds the fuzz targets with
# optimisation (ASan+UBSan still on; about three times as many inputs a
# second as the Debug tree ctest uses) and runs the target from its seeds
# until it has run the given number of inputs, at the lowest priority.
#
#   scripts/fuzz-long.sh TARGET [RUNS] [WORK_FOLDER]
#
# RUNS defaults to 10,000,000. The work folder (default /dev/shm/tg-fuzz)
# holds the build, the corpus the run grows, the target's home, the log
# (TARGET.log) and any crash input (crash-TARGET-*); the last line of
# runs.txt there says how the run ended. An input that finds a fault joins
# tests/fuzz/corpus/TARGET once it is fixed, so that CI replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz-long.sh TARGET [RUNS] [WORK_FOLDER]}
runs=${2:-10000000}
work=${3:-/dev/shm/tg-fuzz}
source=$PWD

mkdir -p "$work/bin"
if [ ! -x "$work/bin/${target}_fuzz" ]; then
  cmake --preset linux-fuzz -B "$work/build" -DCMAKE_CXX_FLAGS_DEBUG="-O2 -g" -DCMAKE_C_FLAGS_DEBUG="-O2 -g" >/dev/null
  cmake --build "$work/build" -j"$(nproc)" --target "${target}_fuzz" >/dev/null
  # A copy, so that later builds in the work folder do not change a running binary.
  cp "$work/build/tests/fuzz/${target}_fuzz" "$work/bin/"
fi

mkdir -p "$work/$target"
cd "$work"
start=$(date +%s)
status=0
nice -n 19 "bin/${target}_fuzz" -runs="$runs" -timeout=60 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$work/crash-$target-" "$target" "$source/tests/fuzz/corpus/$target" >"$target.log" 2>&1 ||
  status=$?
echo "$target runs=$runs exit $status in $(($(date +%s) - start)) s ($(git -C "$source" rev-parse --short HEAD))" >>runs.txt
exit $status
