#!/usr/bin/env bash
# The reference server asks for agent 1301 and streams its update package
# with a chunk left out; the module reports the version it cannot load,
# asks for the missing chunks, and at the next hello installs the package
# (its listing in "tgcl.db", as tg_Security wants) and loads the agent.
#   update_session.sh SERVER HARNESS PACKAGER AGENT MODULE native|wine
set -euo pipefail
server=$1
harness=$2
packager=$3
agent=$4
module=$5
mode=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
letter=l
if [ "$mode" = wine ]; then
  letter=w
  start_wine_session "$0" "$@"
fi
work=$(mktemp -d)
cleanup() {
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
  end_wine_session
}
trap cleanup EXIT
cd "$work"
run=()
[ "$mode" = wine ] && run=("$here/../../scripts/wine-run.sh")

cp "$agent" agent.bin
listing=$("${run[@]}" "$packager" agent.bin package.htm | tr -d '\r' | sed -n 's/^listing: //p')
[ -n "$listing" ] || { echo "FAIL: tgpackage gave no listing" >&2; exit 1; }
mkdir -p home/tg
printf '<p> S 2 master.tallyguard.invalid 16567 0\r\n<p> F A %s 1301 %s\r\n' "${letter^^}" "$listing" >home/tg/tgcl.db

hello="hello 1092 1276 1301 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90"
cat >scenario.txt <<SCENARIO
50 $hello
1500 update package.htm ${letter}a001301.htm 3
3000 $hello
SCENARIO
timeout 120 "${run[@]}" "$server" --port 0 --scenario scenario.txt --linger-ms 3000 >server_raw.txt 2>&1 &
server_pid=$!
port=$(listening_port server_raw.txt)
[ -n "$port" ] || { echo "FAIL: the server did not start" >&2; cat server_raw.txt; exit 1; }
printf 'tg_cl_Enable\n@wait 7500\ntg_Ver\n' >session.txt
module_arg=$module
[ "$mode" = wine ] && module_arg="Z:${module//\//\\}"
timeout 120 "${run[@]}" "$harness" --module "$module_arg" --script session.txt --home home \
  --connect "127.0.0.1:$port" --after-ms 500 >host_raw.txt 2>&1 || { cat host_raw.txt server_raw.txt; exit 1; }
wait "$server_pid" || true
server_pid=
tr -d '\r' <host_raw.txt >host.txt
tr -d '\r' <server_raw.txt >server.txt
echo "--- host"; cat host.txt
echo "--- server"; cat server.txt

expect_text server.txt "[server] <- payload: E$letter 1301 0"
expect_text server.txt '[server] <- update request: chunks from 3 again'
expect_text host.txt 'Tallyguard Client: Tallyguard Client (v1.276 | A1301) Enabled'
cmp package.htm "home/tg/htm/${letter}a001301.htm" || { echo "FAIL: the download is not the package" >&2; exit 1; }
cmp agent.bin home/tg/tgag.dll || { echo "FAIL: tgag.dll is not the agent" >&2; exit 1; }
echo "update session: ok"
