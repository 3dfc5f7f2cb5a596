#!/usr/bin/env bash
# Makes sure this machine runs 32-bit x86 programs: Wine's i386 server and the Windows tests need them.
#
# Some machines of our kind have a virtual CPU that runs no i386 user code at all (every i386 ELF
# program fails with "Exec format error"). There, qemu-user runs them: it is registered with
# binfmt_misc for i386 ELF files with the flags O, P and F, so the registration holds for every
# later process until the machine restarts. Wine needs qemu 8.1 or later (7.2 fails with "failed to
# map the shared user data"), so on Debian bookworm the package comes from bookworm-backports.
# Machines that run 32-bit code natively are left untouched.
#
# KVP_I386 chooses the path:
#   auto      (default) emulate only where native 32-bit code does not run
#   emulate   register the emulator even where native 32-bit code runs, to test that path
#   native    remove a qemu registration for i386 files and insist on native 32-bit code
# Prints one line saying what it found or did. Needs root only when it has something to change.
set -euo pipefail

mode=${KVP_I386:-auto}
case "$mode" in
  auto|emulate|native) ;;
  *) echo "ensure-i386: KVP_I386 must be auto, emulate or native, not '$mode'" >&2; exit 2 ;;
esac

binfmt=/proc/sys/fs/binfmt_misc
# The ELF header of a 32-bit little-endian x86 executable, as binfmt_misc prints a magic.
i386_magic=7f454c4601010100000000000000000002000300
min_qemu=8.1

# Changing the machine (packages, binfmt_misc) needs root; without it the script says what is needed.
need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "ensure-i386: $1 needs root: run sudo KVP_I386=$mode bash $0" >&2
    exit 1
  fi
}

# A 96-byte i386 program that exits with status 42 (mov eax,1; mov ebx,42; int 0x80).
probe_runs() {
  local probe status
  probe=$(mktemp)
  printf '%b' \
    '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
    '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
    '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
    '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' \
    '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00' \
    '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  status=0
  "$probe" 2>/dev/null || status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# The binfmt_misc entries that claim i386 ELF files, one name a line.
i386_entries() {
  [ -f "$binfmt/status" ] || return 0
  local entry
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register|status) continue ;; esac
    if grep -qx "magic $i386_magic" "$entry" 2>/dev/null; then echo "${entry##*/}"; fi
  done
}

# The qemu version behind an entry's interpreter ("10.0.2"), or nothing when it is not qemu.
entry_qemu_version() {
  local interpreter
  # Debian's -binfmt-P name makes qemu take its first argument for the program: ask the binary.
  interpreter=$(readlink -f "$(sed -n 's/^interpreter //p' "$binfmt/$1")")
  [ -x "$interpreter" ] || return 0
  "$interpreter" --version 2>/dev/null | sed -n 's/^qemu-[a-z0-9_]* version \([0-9.]*\).*/\1/p' | head -1
}

version_at_least() {
  [ "$(printf '%s\n%s\n' "$2" "$1" | sort -V | head -1)" = "$2" ]
}

mount_binfmt() {
  if [ ! -f "$binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$binfmt"
  fi
}

remove_entries() {
  local name
  for name in "$@"; do
    echo -1 | tee "$binfmt/$name" >/dev/null
  done
}

# qemu-i386 of version $min_qemu or later, from the release's backports when the release's own is older.
install_qemu() {
  local installed
  installed=$(/usr/bin/qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9.]*\).*/\1/p')
  if [ -n "$installed" ] && version_at_least "$installed" "$min_qemu"; then return 0; fi
  need_root "installing qemu-user $min_qemu or later"
  local codename suite=()
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  export DEBIAN_FRONTEND=noninteractive
  if [ "$codename" = bookworm ]; then
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      tee /etc/apt/sources.list.d/bookworm-backports.sources >/dev/null <<'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    fi
    suite=(-t bookworm-backports)
  fi
  apt-get update -q >/dev/null
  apt-get install -y -q --no-install-recommends "${suite[@]}" qemu-user >/dev/null
  installed=$(/usr/bin/qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9.]*\).*/\1/p')
  if [ -z "$installed" ] || ! version_at_least "$installed" "$min_qemu"; then
    echo "ensure-i386: qemu-i386 ${installed:-missing} after the install; Wine needs $min_qemu or later" >&2
    exit 1
  fi
}

# Registers qemu-i386 for i386 ELF files in place of any earlier entry. The P flag keeps the
# program's own argv[0], which Debian's qemu learns from the name of its -binfmt-P link.
register_qemu() {
  need_root "registering qemu-i386 with binfmt_misc"
  mount_binfmt
  # shellcheck disable=SC2046
  remove_entries $(i386_entries)
  local interpreter=/usr/libexec/qemu-binfmt/i386-binfmt-P
  [ -e "$interpreter" ] || interpreter=/usr/bin/qemu-i386
  printf ':qemu-i386:M::%s:%s:%s:OPF\n' \
    '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
    '\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' \
    "$interpreter" | tee "$binfmt/register" >/dev/null
}

# An entry of ours that is enabled and new enough, or nothing.
good_entry() {
  local name version
  for name in $(i386_entries); do
    grep -qx enabled "$binfmt/$name" || continue
    version=$(entry_qemu_version "$name")
    if [ -n "$version" ] && version_at_least "$version" "$min_qemu"; then
      echo "$name $version"
      return 0
    fi
  done
}

emulate() {
  local reason=$1 found
  found=$(good_entry)
  if [ -n "$found" ] && [ "$(i386_entries | wc -l)" -eq 1 ] && probe_runs; then
    echo "ensure-i386: i386 programs run through qemu-i386 ${found#* }, registered earlier"
    return 0
  fi
  install_qemu
  register_qemu
  found=$(good_entry)
  if [ -z "$found" ] || ! probe_runs; then
    echo "ensure-i386: registered qemu-i386 for i386 files, but an i386 program still does not run" >&2
    exit 1
  fi
  echo "ensure-i386: registered qemu-i386 ${found#* } with binfmt_misc for i386 programs ($reason)"
}

case "$mode" in
  native)
    entries=$(i386_entries)
    if [ -n "$entries" ]; then
      need_root "removing the emulator's registration"
      # shellcheck disable=SC2086
      remove_entries $entries
    fi
    if ! probe_runs; then
      echo "ensure-i386: KVP_I386=native, but this machine's CPU runs no 32-bit x86 code" >&2
      exit 1
    fi
    if [ -n "$entries" ]; then
      echo "ensure-i386: i386 programs run natively (removed the emulator's registration)"
    else
      echo "ensure-i386: i386 programs run natively"
    fi
    ;;
  emulate)
    emulate "forced by KVP_I386=emulate"
    ;;
  auto)
    if [ -z "$(i386_entries)" ]; then
      if probe_runs; then
        echo "ensure-i386: i386 programs run natively"
        exit 0
      fi
      emulate "this machine's CPU runs no 32-bit x86 code"
    else
      emulate "replacing an older or broken registration"
    fi
    ;;
esac
