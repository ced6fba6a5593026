#!/usr/bin/env bash
# Runs a Windows program under Wine quietly, with a prefix of the project's own.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEPREFIX=${WINEPREFIX:-"${HOME:-/tmp}/.wine-tallyguard"}
exec wine "$@"
