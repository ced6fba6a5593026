#!/usr/bin/env bash
# Runs the host harness with the built module on a short scripted session and
# checks what the player would see, and the files the module created.
#   harness_session.sh HARNESS MODULE native|wine
set -euo pipefail
harness=$1
module=$2
mode=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_lib.sh"
[ "$mode" = wine ] && start_wine_session "$0" "$@"
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  end_wine_session
}
trap cleanup EXIT

cat >"$work/session.txt" <<'SCRIPT'
tg_Ver
tg_cl_Enable
@wait 300
tg_Ver
tg_unknownword
TG_VER // a comment
@cb 17
@cb 119
@cb 300
@complete tg_writ
tg_Sleep 1000
tg_WriteCfg
SCRIPT

cd "$work"
if [ "$mode" = wine ]; then
  module_arg="Z:${module//\//\\}"
  timeout 120 "$here/../../scripts/wine-run.sh" "$harness" --module "$module_arg" --script session.txt \
    --home home --after-ms 300 >out.txt 2>err.txt || { cat out.txt err.txt; exit 1; }
else
  timeout 60 "$harness" --module "$module" --script session.txt --home home --after-ms 300 >out.txt 2>err.txt \
    || { cat out.txt err.txt; exit 1; }
fi
tr -d '\r' <out.txt >clean.txt
cat clean.txt

expect() {
  grep -qxF -- "$1" clean.txt || { echo "FAIL: missing line: $1" >&2; exit 1; }
}
expect 'Tallyguard Client is currently Disabled'
expect '[host] cl_tallyguard set to "1"'
expect 'Tallyguard Client: Game Version [TestGame 1.0]'
expect 'Tallyguard Client: Unknown Command/Setting: tg_unknownword'
expect '[host] cb 17 -> 1276'
expect '[host] cb 119 -> 0'
expect '[host] cb 300 -> 0'
count=$(grep -cxF 'Tallyguard Client: Tallyguard Client (v1.276 | A0) Enabled' clean.txt)
[ "$count" = 3 ] || { echo "FAIL: version line $count times, want 3" >&2; exit 1; }
expect '[host] completion of "tg_writ": "tg_writeCfg "'
expect 'Tallyguard Client: tg_Sleep = 500 (20 to 500)'
grep -q '^Tallyguard Client: Config File written to home.tg.tgcl.cfg$' clean.txt || { echo "FAIL: no config written" >&2; exit 1; }
grep -q '^tg_Sleep 500 //' home/tg/tgcl.cfg || { echo "FAIL: tgcl.cfg lacks tg_Sleep 500" >&2; exit 1; }
for dir in home/tg home/tg/scrnshot home/tg/dll home/tg/htm; do
  [ -d "$dir" ] || { echo "FAIL: $dir was not created" >&2; exit 1; }
done
echo "PASS: harness session ($mode)"
