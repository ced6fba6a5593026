#!/usr/bin/env bash
# Installs every Debian package the builds and tests need, and makes 32-bit
# Windows programs runnable (scripts/enable-32bit.sh). Idempotent and quick
# when everything is already in place.
set -euo pipefail

packages=(
  cmake g++ make zlib1g-dev googletest libgtest-dev libbenchmark-dev libpng-dev libssl-dev
  clang-14 libclang-rt-14-dev python3 locales
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 xvfb xauth chromium valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# A locale with a decimal comma: a test checks that numbers read the same
# whatever locale the game has set.
add_comma_locale() {
  if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf8'; then
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
  fi
}

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  echo "setup: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
add_comma_locale
# The kernel register lasts until the next boot, so this runs every time.
# When 32-bit programs cannot be made to run, the tests and the demo say so
# and use the 64-bit build instead.
bash "$(dirname "$0")/enable-32bit.sh" || true
