#!/usr/bin/env bash
# Runs a Windows program under Wine quietly, in the run's Wine prefix.
#   wine-run.sh PROGRAM [ARGUMENTS...]
#   wine-run.sh --init        only make sure the prefix exists
#
# One 64-bit prefix serves both builds: 64-bit programs run in it directly,
# 32-bit ones (the PE32 product) in its WoW64 half. The prefix is
# $WINEPREFIX, which scripts/test.sh and scripts/demo.sh point at a
# temporary folder that they remove at the end; by hand it is
# build/wine-prefix. It is made once (about 1.3 GB, 10 to 20 s), under a
# lock, so test programs that start together do not make it twice.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${WINEPREFIX:-"$here/../build/wine-prefix"}
# A 64-bit process that starts a 32-bit one finds the 32-bit loader from
# this name ("wine64" less "64").
export WINELOADER=/usr/lib/wine/wine64

ensure_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  mkdir -p "$WINEPREFIX" || return 1
  (
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
      # Direct3D without OpenGL, as 32-bit programs get it here anyway (no
      # 32-bit GL libraries): with GL, every DirectDraw object the 64-bit
      # build opens has Mesa compile shaders, seconds per test under load.
      /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Direct3D' /v renderer /t REG_SZ /d no3d /f >/dev/null 2>&1
      /usr/lib/wine/wineserver -w
    fi
  ) 9>"$WINEPREFIX.lock"
}

if [ "${1:-}" = --init ]; then
  ensure_prefix
  exit
fi
ensure_prefix
if [ -n "${1:-}" ] && [ -f "$1" ] && objdump -f "$1" 2>/dev/null | grep -q 'pei-i386'; then
  exec /usr/lib/wine/wine "$@"
fi
exec /usr/lib/wine/wine64 "$@"
