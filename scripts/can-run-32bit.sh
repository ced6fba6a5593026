#!/usr/bin/env bash
# Exit 0 when this machine runs 32-bit programs (the kernel's ia32 emulation
# is on and wine32 is installed), so the PE32 product can run under Wine.
/usr/lib/wine/wine --version >/dev/null 2>&1
