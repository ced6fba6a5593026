#!/usr/bin/env bash
# The module asks the reference master over loopback UDP through its own
# socket (TG_NETPORT), while connected to the reference server: the master
# answers with database text, a name cache and a module file that misses a
# block, so the module asks for the rest again through the game.
#   master_session.sh SERVER HARNESS MASTER MODULE native|wine
set -euo pipefail
server=$1
harness=$2
master=$3
module=$4
mode=$5
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
if [ "$mode" = wine ]; then
  start_wine_session "$0" "$@"
fi
work=$(mktemp -d)
cleanup() {
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "${master_pid:-}" ] && kill "$master_pid" 2>/dev/null || true
  rm -rf "$work"
  end_wine_session
}
trap cleanup EXIT
cd "$work"

run=()
[ "$mode" = wine ] && run=("$here/../../scripts/wine-run.sh")

# A module file that compresses (three blocks when sent) and a free port
# for the module's own socket.
python3 -c 'import sys; sys.stdout.write(" ".join(str(n) for n in range(1, 2000))[:6000])' >module.bin
netport=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

timeout 120 "${run[@]}" "$master" --port 0 --database database.txt --file 'module.bin=dll\tgdemo.dll' \
  --cache master1.tallyguard.invalid=127.0.0.1 --compress --drop 1 --answers 1 --duration-ms 60000 >master_raw.txt 2>&1 &
master_pid=$!
mport=$(listening_port master_raw.txt)
[ -n "$mport" ] || { echo "FAIL: the master did not start" >&2; cat master_raw.txt; exit 1; }
hash_a=$(printf 'A%.0s' $(seq 1 32))
hash_b=$(printf 'B%.0s' $(seq 1 32))
printf '<p> S 7 127.0.0.1 %s 0\r\n<p> F A W 1300 BB8 %s %s\r\n' "$mport" "$hash_a" "$hash_b" >database.txt
mkdir -p home/tg
for id in 7 8 9 10; do printf '<p> S %s 127.0.0.1 %s 0\r\n' "$id" "$mport"; done >home/tg/tgcl.db

echo '50 hello 1092 1276 0 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90' >scenario.txt
timeout 120 "${run[@]}" "$server" --port 0 --scenario scenario.txt --linger-ms 11000 >server_raw.txt 2>&1 &
server_pid=$!
port=$(listening_port server_raw.txt)
[ -n "$port" ] || { echo "FAIL: the server did not start" >&2; cat server_raw.txt; exit 1; }

cat >session.txt <<SESSION
tg_cl_Enable
@wait 1000
TG_NETPORT $netport
@wait 500
TG_NEXTMASTER
@wait 7000
TG_NETSTAT
SESSION
module_arg=$module
[ "$mode" = wine ] && module_arg="Z:${module//\//\\}"
timeout 120 "${run[@]}" "$harness" --module "$module_arg" --script session.txt --home home \
  --connect "127.0.0.1:$port" --after-ms 500 >host_raw.txt 2>&1 || { cat host_raw.txt master_raw.txt; exit 1; }
wait "$master_pid" || true
master_pid=
wait "$server_pid" || true
server_pid=
tr -d '\r' <host_raw.txt >host.txt
tr -d '\r' <master_raw.txt >master.txt
tr -d '\r' <server_raw.txt >server.txt
echo "--- host"; cat host.txt
echo "--- master"; cat master.txt

expect_text master.txt "[master] <- query from 127.0.0.1:$netport"
expect_text master.txt '[master] <- restart of transfer 1001 from block 1'
expect_text host.txt 'Tallyguard Client: Querying master 127.0.0.1 (127.0.0.1)'
expect_text host.txt 'Tallyguard Client: Master server list updated'
expect_text host.txt '0 out-of-band sends refused'
expect_text server.txt '[server] <- payload: C\x00'
cmp module.bin home/tg/dll/tgdemo.dll || { echo "FAIL: the module file did not arrive whole" >&2; exit 1; }
[ "$(wc -c <home/tg/tgns.dat)" -eq 8 ] || { echo "FAIL: the name cache was not stored" >&2; exit 1; }
expect_text home/tg/tgcl.db "<p> F A W 1300 BB8 $hash_a $hash_b"
if grep -q 'not installed' host.txt; then echo "FAIL: a master file was refused" >&2; exit 1; fi
echo "master session: ok"
