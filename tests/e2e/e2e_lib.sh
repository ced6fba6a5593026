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

# Under Wine the harness shows its game window on an X display. Called with
# one (scripts/test.sh gives every Windows test the same), the test runs in
# the run's Wine prefix. Run alone without a display, it starts a virtual one
# and, since a prefix's desktop keeps to the display it first opened, a
# prefix of its own, which end_wine_session removes.
#   start_wine_session "$0" "$@"
start_wine_session() {
  if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    TG_E2E_OWN_PREFIX=$(mktemp -d) exec xvfb-run -a -s "-screen 0 1024x768x24" bash "$@"
  fi
  if [ -n "${TG_E2E_OWN_PREFIX:-}" ]; then export WINEPREFIX=$TG_E2E_OWN_PREFIX/wine-prefix; fi
}
end_wine_session() {
  [ -n "${TG_E2E_OWN_PREFIX:-}" ] || return 0
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$TG_E2E_OWN_PREFIX"
}

# Ends the test unless FILE holds TEXT as a whole line (expect_line) or
# anywhere (expect_text).
expect_line() {
  grep -qxF -- "$2" "$1" || { echo "FAIL: $1 lacks the line: $2" >&2; exit 1; }
}
expect_text() {
  grep -qF -- "$2" "$1" || { echo "FAIL: $1 lacks: $2" >&2; exit 1; }
}
