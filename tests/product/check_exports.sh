#!/usr/bin/env bash
# Checks a built module as a game sees it: it exports exactly ca and cb; the
# Windows DLL is PE32 for i686 (PE32+ for the 64-bit test build), imports
# only the functions listed in dll_imports.txt, has ASLR and NX on, is
# stripped and has its debug information beside it; the Linux module, when
# built hardened, has stack protection, checked buffer functions and a
# read-only relocation table bound at load.
#   check_exports.sh MODULE [i686|x86_64] [hardened]
set -euo pipefail
module=$1
arch=${2:-i686}
hardened=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

case "$module" in
  *.dll)
    if [ "$arch" = x86_64 ]; then
      objdump=x86_64-w64-mingw32-objdump format=pei-x86-64
    else
      objdump=i686-w64-mingw32-objdump format=pei-i386
    fi
    dump=$($objdump -p "$module")
    grep -q "file format $format" <<<"$dump" || fail "$module is not $format"
    exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $NF;next} t{t=0}' <<<"$dump" | sort | tr '\n' ' ')
    [ "$exports" = "ca cb " ] || fail "exports are '$exports', want 'ca cb'"
    imports=$(awk '/DLL Name:/{dll=tolower($3);next} /^\t[0-9a-f]+\t *[0-9]+ +[^ ]+$/{if(dll!="") print dll" "$NF} /^ [0-9a-f]+\t/{dll=""}' <<<"$dump" | sort -u)
    [ -n "$imports" ] || fail "no imports could be read from $module"
    unexpected=$(comm -23 <(echo "$imports") <(grep -v '^#' "$here/dll_imports.txt" | sort -u))
    [ -z "$unexpected" ] || fail "imports beyond dll_imports.txt: $(echo $unexpected)"
    for flag in DYNAMIC_BASE NX_COMPAT; do
      grep -A6 DllCharacteristics <<<"$dump" | grep -q "$flag" || fail "$module lacks $flag"
    done
    sections=$($objdump -h "$module")
    if grep -q '\.debug_' <<<"$sections"; then fail "$module is not stripped"; fi
    grep -q '\.gnu_debuglink' <<<"$sections" || fail "$module does not name its debug file"
    [ -s "$module.debug" ] || fail "$module.debug is missing"
    echo "ok: $module exports ca cb; $(echo "$imports" | wc -l) imports, all listed; ASLR, NX; stripped"
    ;;
  *.so)
    exports=$(nm -D --defined-only "$module" | awk '$2 ~ /^[TDBRW]$/ {print $3}' | sort | tr '\n' ' ')
    [ "$exports" = "ca cb " ] || fail "exports are '$exports', want 'ca cb'"
    if [ "$hardened" = hardened ]; then
      readelf -lW "$module" | grep -q GNU_RELRO || fail "$module has no read-only relocations"
      readelf -dW "$module" | grep -q 'BIND_NOW' || fail "$module is not bound at load (BIND_NOW)"
      nm -D "$module" | grep -q ' __stack_chk_fail' || fail "$module has no stack protection"
      nm -D "$module" | grep -q '_chk@' || fail "$module uses no checked buffer functions (_FORTIFY_SOURCE)"
      echo "ok: $module exports ca cb; full RELRO, stack protector, fortified"
    else
      echo "ok: $module exports ca cb"
    fi
    ;;
  *) fail "unknown module kind: $module" ;;
esac
