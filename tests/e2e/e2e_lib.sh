# Shared by the end-to-end scripts (sourced, not run).

# The port a tool says it listens on ("listening on 127.0.0.1:PORT" in its
# output file), waiting up to 30 s for the line; empty when it never came.
listening_port() {
  local port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$1" 2>/dev/null | head -1)
    [ -n "$port" ] && break
    sleep 0.1
  done
  echo "$port"
}

# A Wine prefix of the test's own (NAME plus the module's width), apart from
# Wine programs of other tests that run meanwhile.
use_own_wine_prefix() {
  local bits=32
  objdump -f "$2" 2>/dev/null | grep -q 'pei-x86-64' && bits=64
  export WINEPREFIX="${HOME:-/tmp}/.wine-tallyguard-$1$bits"
}

# Ends the test unless FILE holds TEXT as a whole line (expect_line) or
# anywhere (expect_text).
expect_line() {
  grep -qxF -- "$2" "$1" || { echo "FAIL: $1 lacks the line: $2" >&2; exit 1; }
}
expect_text() {
  grep -qF -- "$2" "$1" || { echo "FAIL: $1 lacks: $2" >&2; exit 1; }
}
