#!/usr/bin/env bash
# Makes 32-bit (i386) Linux programs, and so 32-bit Wine and the PE32
# product, runnable on a machine whose kernel runs no 32-bit code: i386 ELF
# files are handed to qemu's user-mode emulator through binfmt_misc.
#
# - A kernel that runs i386 programs itself is left as it is.
# - The emulator must be qemu 8.1 or newer: older ones spend about 50 s of
#   CPU starting each 32-bit Wine process. Debian 12 has it only in its
#   backports suite, which is enabled for this (backports stay at low
#   priority, so nothing else is taken from them).
# - The registration uses flags O, P and F (F opens the emulator now, so
#   child processes in other mount namespaces find it too). It lives in the
#   running kernel only, so this runs on every setup: quick when all is in
#   place, and a disabled registration, or one whose emulator is missing or
#   too old, is replaced.
# Exit 0 when i386 programs run, 1 (with the reason on stderr) when they
# cannot be made to; nothing waits for input.
set -uo pipefail

probe=/usr/lib/wine/wine  # an i386 program, from wine32
binfmt=/proc/sys/fs/binfmt_misc
name=qemu-i386
emulator=/usr/libexec/qemu-binfmt/i386-binfmt-P  # the "-binfmt-P" name tells qemu that flag P is set
# i386 ELF executables and shared objects, as Debian's qemu registers them.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
minimum=8.1

say() { echo "32-bit: $*" >&2; }
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    sudo -n "$@"
  else
    return 1
  fi
}
# Writes TEXT into a file of binfmt_misc.
write_binfmt() { as_root sh -c 'printf "%s" "$1" >"$2"' sh "$1" "$2" 2>/dev/null; }

runs_i386() { [ -x "$probe" ] && timeout 60 "$probe" --version >/dev/null 2>&1; }

# The version of the qemu behind an interpreter path ("10.0.2"), or nothing.
qemu_version() {
  local target
  target=$(readlink -f "$1" 2>/dev/null) || return 0
  [ -x "$target" ] || return 0
  "$target" --version 2>/dev/null | sed -n 's/^qemu-[a-z0-9_]* version \([0-9][0-9.]*\).*/\1/p' | head -1
}
new_enough() { [ -n "$1" ] && [ "$(printf '%s\n%s\n' "$minimum" "$1" | sort -V | head -1)" = "$minimum" ]; }

# Registrations that take i386 ELF files: magic 7f 45 4c 46 01 ... with
# machine 03 00 in bytes 18 and 19.
i386_registrations() {
  local entry
  for entry in "$binfmt"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    grep -Eq '^magic 7f454c4601[0-9a-f]{26}0300' "$entry" 2>/dev/null && echo "$entry"
  done
}
sound_registration() {
  local interpreter
  grep -qx enabled "$1" || return 1
  grep -q '^flags:.*F' "$1" || return 1
  interpreter=$(sed -n 's/^interpreter //p' "$1")
  new_enough "$(qemu_version "$interpreter")"
}

if [ ! -x "$probe" ]; then
  say "wine32 is not installed"
  exit 1
fi

if [ ! -e "$binfmt/register" ]; then
  # Nothing can be registered yet; the kernel may run i386 code itself.
  runs_i386 && exit 0
  if ! as_root mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    say "this kernel runs no 32-bit programs and binfmt_misc cannot be mounted (root is needed)"
    exit 1
  fi
fi

# Keep a sound registration; take out disabled or outdated ones.
sound=0
for entry in $(i386_registrations); do
  if sound_registration "$entry"; then
    sound=1
  elif write_binfmt -1 "$entry"; then
    say "removed the registration ${entry##*/}: disabled, without flag F, or its emulator is missing or older than qemu $minimum"
  else
    say "cannot remove the outdated registration ${entry##*/} (root is needed)"
    exit 1
  fi
done
if [ "$sound" = 1 ]; then
  runs_i386 && exit 0
  say "i386 programs fail even through the registered emulator"
  exit 1
fi
runs_i386 && exit 0  # the kernel runs them itself

# The emulator: qemu-user 8.1 or newer from Debian.
if ! new_enough "$(qemu_version "$emulator")"; then
  release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  suite=()
  if [ "$release" = bookworm ]; then
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      say "enabling Debian's bookworm-backports suite for qemu-user $minimum or newer"
      as_root sh -c 'printf "%s\n" "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: bookworm-backports" \
        "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" \
        >/etc/apt/sources.list.d/bookworm-backports.sources' || { say "cannot add the backports suite (root is needed)"; exit 1; }
    fi
    suite=(-t bookworm-backports)
  fi
  say "installing qemu-user ${suite[*]}"
  as_root apt-get update -qq >/dev/null 2>&1
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${suite[@]}" \
    qemu-user >/dev/null 2>&1; then
    say "qemu-user could not be installed"
    exit 1
  fi
  if ! new_enough "$(qemu_version "$emulator")"; then
    say "no qemu $minimum or newer at $emulator (found: $(qemu_version "$emulator"))"
    exit 1
  fi
fi

if ! write_binfmt ":$name:M::$magic:$mask:$emulator:OPF" "$binfmt/register"; then
  say "cannot register the emulator with binfmt_misc (root is needed)"
  exit 1
fi
say "i386 programs now run through $(readlink -f "$emulator") ($(qemu_version "$emulator"))"
runs_i386 && exit 0
say "i386 programs fail even through the emulator"
exit 1
