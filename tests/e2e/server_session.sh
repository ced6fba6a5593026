#!/usr/bin/env bash
# The harness with the module connects over loopback UDP to the reference
# server, which plays a scenario; both sides' output is checked.
#   server_session.sh SERVER HARNESS MODULE native|wine|valgrind
set -euo pipefail
server=$1
harness=$2
module=$3
mode=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
# Under Wine the server and the harness run in the run's Wine prefix on its
# one X display: the harness shows its game window there and keeps it in
# front, and the module reads it.
if [ "$mode" = wine ]; then
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

cat >scenario.txt <<'SCENARIO'
50 hello 1092 1276 0 1001 77 154 2767692 A1B2C3D4E5F60718293A4B5C6D7E8F90
100 rules 1 r_picmip in 0 3\n1 cl_maxpackets in 60 125\n2
100 ask A sensitivity
100 ask A rcon_password
100 ask E +attack
100 ask G
100 ask L 100 7
100 relay ACommand relayed by the server
100 relay BArate
100 ask W
100 ask U fs_game
100 shot 160 120 50 50 1
100 say That is all
SCENARIO
cat >session.txt <<'SESSION'
tg_cl_Enable
@wait 1000
tg_GetSs
@wait 14000
tg_CvarList
SESSION

run_server=("$server")
[ "$mode" = wine ] && run_server=("$here/../../scripts/wine-run.sh" "$server")
mkdir -p shots
timeout 120 "${run_server[@]}" --port 0 --scenario scenario.txt --linger-ms 15000 --shots shots >server_raw.txt 2>&1 &
server_pid=$!
port=$(listening_port server_raw.txt)
[ -n "$port" ] || { echo "FAIL: the server did not start" >&2; cat server_raw.txt; exit 1; }
if [ "$mode" = wine ]; then
  timeout 120 "$here/../../scripts/wine-run.sh" "$harness" --module "Z:${module//\//\\}" --script session.txt \
    --home home --connect "127.0.0.1:$port" --after-ms 1500 >host.txt 2>&1 || { cat host.txt server_raw.txt; exit 1; }
else
  # valgrind: the harness and the module run under memcheck, which must find
  # no error and no memory lost.
  checker=()
  [ "$mode" = valgrind ] && checker=(valgrind --quiet --error-exitcode=99 --leak-check=full
                                     --errors-for-leak-kinds=definite,indirect --log-file=valgrind.txt)
  timeout 120 "${checker[@]}" "$harness" --module "$module" --script session.txt --home home \
    --connect "127.0.0.1:$port" --after-ms 1500 >host.txt 2>&1 || { cat host.txt server_raw.txt valgrind.txt 2>/dev/null; exit 1; }
  if [ "$mode" = valgrind ]; then
    [ -f valgrind.txt ] || { echo "FAIL: memcheck did not run" >&2; exit 1; }
    if [ -s valgrind.txt ]; then echo "FAIL: memcheck reports" >&2; cat valgrind.txt; exit 1; fi
  fi
fi
server_status=0
wait "$server_pid" || server_status=$?
server_pid=
tr -d '\r' <host.txt >host_clean.txt
tr -d '\r' <server_raw.txt >server.txt
echo "--- host"; cat host_clean.txt
echo "--- server"; cat server.txt
[ "$server_status" -eq 0 ] || { echo "FAIL: server exited with $server_status" >&2; exit 1; }

expect_line server.txt '[server] <- link acknowledged, client version 1276'
expect_line server.txt '[server] <- cvar value (M): sensitivity = "7"'
expect_line server.txt '[server] <- key bindings / console line: [MOUSE1 = +attack] [MOUSE2 = weapnext; wait; +attack] [2 key binding matches found]'
expect_line server.txt '[server] <- cvar list: "my_fast_switch" [1 user cvar found]'
expect_line server.txt '[server] <- protocol value 99'
expect_line server.txt '[server] <- relay result 40003 (executed)'
expect_line server.txt '[server] <- cvar value (M): rate = "25000"'
expect_line server.txt '[server] <- last relay result 40003'
expect_line server.txt '[server] <- resource entry: fs_game baseq 1'
grep -q '^\[server\] done: [0-9]* good frames, 0 bad; 1 screenshot received, 0 bad$' server.txt \
  || { echo "FAIL: the server did not end with every frame and the screenshot good" >&2; exit 1; }
grep -q '^\[server\] <- screenshot tg000101.png complete: [0-9]* bytes, MD5 matches' server.txt \
  || { echo "FAIL: the uploaded screenshot did not arrive whole" >&2; exit 1; }
[ -s shots/tg000101.png ] || { echo "FAIL: the uploaded screenshot was not kept" >&2; exit 1; }
if grep -q 'screenshot capture failed' server.txt; then echo "FAIL: the screen could not be read" >&2; exit 1; fi
grep -q '^Tallyguard Client: Screenshot saved to home.tg.scrnshot.[0-9]\{4\}_000.png$' host_clean.txt \
  || { echo "FAIL: no local screenshot" >&2; exit 1; }
ls home/tg/scrnshot/*_000.png home/tg/scrnshot/*_000.htm >/dev/null || { echo "FAIL: screenshot files missing" >&2; exit 1; }
grep -q '^<p> <a href=scrnshot.[0-9]\{4\}_000.htm target=_blank>' home/tg/tgsslog.htm \
  || { echo "FAIL: tgsslog.htm lacks the screenshot" >&2; exit 1; }
# Both pictures show the game's scene where the module says it read it.
python3 "$here/check_scene.py" shots/tg000101.png home/tg/scrnshot/*_000.png \
  || { echo "FAIL: a screenshot does not show the game's scene" >&2; exit 1; }
# The player opens the log in a browser: its one saved screenshot loads.
bash "$here/check_html_log.sh" home/tg 1
if grep -q '^\[server\] <- .*rcon_password' server.txt; then echo "FAIL: a protected value was sent" >&2; exit 1; fi
expect_line host_clean.txt 'Tallyguard Client: TG Server assigned guid = A1B2C3D4E5F60718293A4B5C6D7E8F90'
expect_line host_clean.txt 'Tallyguard Client: Command relayed by the server'
expect_line host_clean.txt 'Tallyguard Client: cl_maxpackets = "30" : must be INSIDE 60 to 125 (VIOLATION)'
expect_line host_clean.txt '*WARNING*: Cvar cl_maxpackets = 30 must be 60 to 125'
expect_line host_clean.txt 'Tallyguard Client: That is all'
echo "PASS: server session ($mode)"
