#!/usr/bin/env bash
# Runs a Windows program under Wine quietly, with a prefix of the project's
# own. 32-bit programs need a kernel that runs 32-bit code; 64-bit programs
# run under wine64 in a prefix of their own.
#   wine-run.sh [--64] PROGRAM [ARGUMENTS...]
# --64 picks the 64-bit Wine for a program that is no file (wineboot -i).
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
base=${HOME:-/tmp}/.wine-tallyguard
wine64=0
if [ "${1:-}" = --64 ]; then
  wine64=1
  shift
elif [ -n "${1:-}" ] && [ -f "$1" ] && objdump -f "$1" 2>/dev/null | grep -q 'pei-x86-64'; then
  wine64=1
fi
if [ "$wine64" = 1 ]; then
  export WINEPREFIX=${WINEPREFIX:-"${base}64"}
  export WINELOADER=/usr/lib/wine/wine64
  exec /usr/lib/wine/wine64 "$@"
fi
export WINEPREFIX=${WINEPREFIX:-"$base"}
exec wine "$@"
