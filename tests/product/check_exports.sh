#!/usr/bin/env bash
# Checks a built module: it exports exactly ca and cb and, for the Windows
# DLL, is PE32 for i686 (PE32+ for the 64-bit test build) and needs nothing
# beyond Windows system DLLs.
#   check_exports.sh MODULE [i686|x86_64]
set -euo pipefail
module=$1
arch=${2:-i686}
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$module" in
  *.dll)
    if [ "$arch" = x86_64 ]; then
      dump=$(x86_64-w64-mingw32-objdump -p "$module")
      grep -q 'file format pei-x86-64' <<<"$dump" || fail "$module is not PE32+ x86-64"
    else
      dump=$(i686-w64-mingw32-objdump -p "$module")
      grep -q 'file format pei-i386' <<<"$dump" || fail "$module is not PE32 i386"
    fi
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF;next} t{t=0}' <<<"$dump" | sort | tr '\n' ' ')
    [ "$exports" = "ca cb " ] || fail "exports are '$exports', want 'ca cb'"
    imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u | tr '\n' ' ')
    for dll in $imports; do
      case "$dll" in
        kernel32.dll|msvcrt.dll|user32.dll|gdi32.dll|ws2_32.dll|ddraw.dll|advapi32.dll|ole32.dll) ;;
        *) fail "needs $dll, which is not a Windows system DLL" ;;
      esac
    done
    echo "ok: $module exports ca cb; imports $imports"
    ;;
  *.so)
    exports=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort | tr '\n' ' ')
    [ "$exports" = "ca cb " ] || fail "exports are '$exports', want 'ca cb'"
    echo "ok: $module exports ca cb"
    ;;
  *) fail "unknown module kind: $module" ;;
esac
