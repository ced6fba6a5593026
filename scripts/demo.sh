#!/usr/bin/env bash
# The demo: the reference game server and the host harness with the module
# play a session over loopback UDP. By default the real product,
# wc000000.dll, runs under Wine; with --native the Linux build runs instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

preset=win32
[ "${1:-}" = "--native" ] && preset=linux
server_pid=
master_pid=
wine_home=
cleanup() {
  if [ -n "$server_pid$master_pid" ]; then kill $server_pid $master_pid 2>/dev/null || true; fi
  if [ -n "$wine_home" ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$wine_home"
  fi
}
trap cleanup EXIT
# Under Wine the server and the harness share one X display: the harness
# shows its game window there, and the module reads it through DirectDraw.
if [ "$preset" != linux ] && [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi
if [ "$preset" != linux ]; then
  # The demo's Wine prefix lives in a temporary folder, removed at the end.
  wine_home=$(mktemp -d)
  export WINEPREFIX=$wine_home/wine-prefix
  if ! bash scripts/can-run-32bit.sh; then
    echo "== this machine runs no 32-bit programs: the demo uses the module built as a 64-bit DLL"
    preset=win64
  fi
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target wc000000 tghost tgserver tgmaster tgagent1301 tgpackage >/dev/null

port=27960
rm -rf demo-home
mkdir -p demo-home
if [ "$preset" != linux ]; then
  run=(scripts/wine-run.sh)
  display=(scripts/with-display.sh)  # the harness's game window needs an X display
  harness=build/$preset/tools/tghost.exe
  server=build/$preset/tools/tgserver.exe
  master=build/$preset/tools/tgmaster.exe
  packager=build/$preset/tools/tgpackage.exe
  agent=build/$preset/tools/tgagent1301.dll
  letter=w
  module="Z:$(pwd -P | sed 's|/|\\|g')\\build\\$preset\\wc000000.dll"
  echo "== wc000000.dll ($preset) under Wine, with the reference server on 127.0.0.1:$port"
else
  run=()
  display=()
  harness=build/linux/tools/tghost
  server=build/linux/tools/tgserver
  master=build/linux/tools/tgmaster
  packager=build/linux/tools/tgpackage
  agent=build/linux/tools/tgagent1301.so
  letter=l
  module=build/linux/wc000000.so
  echo "== wc000000.so, with the reference server on 127.0.0.1:$port"
fi

mkdir -p demo-home/server-shots demo-home/tg
# The module's master table points at the reference master on 127.0.0.1:16567
# (four entries, so the first query goes to it whichever slot comes first).
for id in 7 8 9 10; do printf '<p> S %s 127.0.0.1 16567 0\r\n' "$id"; done >demo-home/tg/tgcl.db
# What the master sends: its database text, a module file that compresses
# (one block is left out, so the module asks for it again), a name cache.
python3 -c 'import random, sys; random.seed(7); sys.stdout.write("".join("line %04d %016x\n" % (n, random.getrandbits(64)) for n in range(400)))' \
  >demo-home/master-module.bin
# A newer agent (the reference agent at version 1301) as the update package
# the server streams; the master table lists it, as tg_Security wants.
listing=$("${run[@]}" "$packager" "$agent" demo-home/server-update.htm | tr -d '\r' | sed -n 's/^listing: //p')
[ -n "$listing" ] || { echo "demo: tgpackage failed" >&2; exit 1; }
printf '<p> F A %s 1301 %s\r\n' "${letter^^}" "$listing" >>demo-home/tg/tgcl.db
# The server's scenario ends by asking for agent 1301: the module reports it
# cannot load it, the server streams the package (one chunk left out, asked
# for again), and at the next hello the module installs and loads it.
hello_1301="hello 1092 1276 1301 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90"
{
  cat tools/server/demo_scenario.txt
  echo "1000 $hello_1301"
  echo "1500 update demo-home/server-update.htm ${letter}a001301.htm 3"
  echo "3000 $hello_1301"
  echo "1000 say Your agent is up to date."
} >demo-home/server-scenario.txt
echo "== the reference master on 127.0.0.1:16567"
"${run[@]}" "$master" --port 16567 --database tools/master/demo_database.txt \
  --file 'demo-home/master-module.bin=dll\tgdemo.dll' --cache master1.tallyguard.invalid=127.0.0.1 --compress \
  --drop 1 --answers 1 --duration-ms 40000 | sed -u 's/\r$//' &
master_pid=$!
"${run[@]}" "$server" --port "$port" --scenario demo-home/server-scenario.txt --linger-ms 2000 \
  --shots demo-home/server-shots | sed -u 's/\r$//' &
server_pid=$!
sleep 1
"${display[@]}" "${run[@]}" "$harness" --module "$module" --script tools/host/demo_session.txt --home demo-home \
  --connect "127.0.0.1:$port" | sed -u 's/\r$//'
wait "$server_pid" || true
wait "$master_pid" || true
server_pid=
master_pid=

echo
echo "== files under demo-home (the module's in tg/, the server's screenshots in server-shots/)"
find demo-home | sort
echo
echo "== demo-home/tg/tgcl.db (the master table after the master's answer)"
tr -d '\r' <demo-home/tg/tgcl.db
if [ -f demo-home/tg/tgsslog.htm ]; then
  echo
  echo "== demo-home/tg/tgsslog.htm"
  tr -d '\r' <demo-home/tg/tgsslog.htm
fi
