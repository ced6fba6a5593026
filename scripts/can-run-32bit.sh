#!/usr/bin/env bash
# Exit 0 when this machine runs 32-bit Windows programs at a usable speed:
# a 32-bit program of Wine's own (hostname.exe from the WoW64 half of the
# run's prefix, see wine-run.sh) is started and timed. A start that fails,
# or takes longer than a few seconds (an emulator too old to be of use),
# answers no, with the reason on stderr.
here=$(cd "$(dirname "$0")" && pwd)
limit_s=8
if ! "$here/wine-run.sh" --init; then
  echo "32-bit: the Wine prefix could not be made" >&2
  exit 1
fi
start=$(date +%s%N)
timeout $((limit_s * 3)) "$here/wine-run.sh" 'C:\windows\syswow64\hostname.exe' >/dev/null 2>&1
status=$?
ms=$((($(date +%s%N) - start) / 1000000))
if [ "$status" -ne 0 ]; then
  echo "32-bit: a 32-bit Windows program did not start (exit $status after $ms ms)" >&2
  exit 1
fi
if [ "$ms" -gt $((limit_s * 1000)) ]; then
  echo "32-bit: a 32-bit Windows program took $ms ms to start (more than ${limit_s} s): too slow to test with" >&2
  exit 1
fi
echo "32-bit: a 32-bit Windows program started in $ms ms" >&2
# The Wine server of this check met no display; the programs that follow
# (a game window among them) must start a server of their own, which meets
# theirs, so this one is let go before the answer is given.
timeout 60 /usr/lib/wine/wineserver -w 2>/dev/null || true
