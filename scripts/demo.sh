#!/usr/bin/env bash
# The demo: the reference game server and the host harness with the module
# play a session over loopback UDP. By default the real product,
# wc000000.dll, runs under Wine; with --native the Linux build runs instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

preset=win32
[ "${1:-}" = "--native" ] && preset=linux
if [ "$preset" = win32 ] && ! bash scripts/can-run-32bit.sh; then
  echo "== this machine runs no 32-bit programs: the demo uses the module built as a 64-bit DLL"
  preset=win64
fi
# Under Wine the server and the harness share one X display: the harness
# shows its game window there, and the module reads it through DirectDraw.
if [ "$preset" != linux ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target wc000000 tghost tgserver >/dev/null

port=27960
rm -rf demo-home
mkdir -p demo-home
if [ "$preset" != linux ]; then
  run=(scripts/wine-run.sh)
  display=(scripts/with-display.sh)  # the harness's game window needs an X display
  harness=build/$preset/tools/tghost.exe
  server=build/$preset/tools/tgserver.exe
  module="Z:$(pwd -P | sed 's|/|\\|g')\\build\\$preset\\wc000000.dll"
  echo "== wc000000.dll ($preset) under Wine, with the reference server on 127.0.0.1:$port"
else
  run=()
  display=()
  harness=build/linux/tools/tghost
  server=build/linux/tools/tgserver
  module=build/linux/wc000000.so
  echo "== wc000000.so, with the reference server on 127.0.0.1:$port"
fi

mkdir -p demo-home/server-shots
"${run[@]}" "$server" --port "$port" --scenario tools/server/demo_scenario.txt --linger-ms 2000 \
  --shots demo-home/server-shots | sed -u 's/\r$//' &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT
sleep 1
"${display[@]}" "${run[@]}" "$harness" --module "$module" --script tools/host/demo_session.txt --home demo-home \
  --connect "127.0.0.1:$port" | sed -u 's/\r$//'
wait "$server_pid" || true
trap - EXIT

echo
echo "== files under demo-home (the module's in tg/, the server's screenshots in server-shots/)"
find demo-home | sort
if [ -f demo-home/tg/tgsslog.htm ]; then
  echo
  echo "== demo-home/tg/tgsslog.htm"
  tr -d '\r' <demo-home/tg/tgsslog.htm
fi
