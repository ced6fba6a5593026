#!/usr/bin/env bash
# The demo: the host harness loads the module and plays a short session.
# By default the real product, wc000000.dll, runs under Wine; with --native
# the Linux build wc000000.so runs instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

preset=win32
[ "${1:-}" = "--native" ] && preset=linux
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target wc000000 tghost >/dev/null

rm -rf demo-home
mkdir -p demo-home
if [ "$preset" = win32 ]; then
  module="Z:$(pwd -P | sed 's|/|\\|g')\\build\\win32\\wc000000.dll"
  echo "== wc000000.dll under Wine"
  scripts/wine-run.sh build/win32/tools/tghost.exe --module "$module" \
    --script tools/host/demo_session.txt --home demo-home | tr -d '\r'
else
  echo "== wc000000.so"
  build/linux/tools/tghost --module build/linux/wc000000.so --script tools/host/demo_session.txt --home demo-home
fi

echo
echo "== files the module created under demo-home"
find demo-home | sort
