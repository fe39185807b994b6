#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when it is missing.
# Safe to run again: every step checks first.
#
# Two steps. The required one installs everything the build, the native tests, the 64-bit
# Windows tests and the scenario tests need; if it fails, set-up fails with the package
# manager's message. The second makes the private 32-bit root that runs the shipped i686
# programs (scripts/i386-root.sh: nothing is installed for i386, the machine's packages
# and apt sources stay as they are) and, where the kernel refuses 32-bit programs,
# registers the root's qemu-i386 for them; when that cannot be done, one line says why
# and the 32-bit runs are skipped with that reason.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/i386-support.sh"

required=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth locales fonts-ipafont-gothic
  zlib1g-dev libdeflate-dev libpng-dev libunistring-dev googletest libgtest-dev g++-multilib
  imagemagick xdotool file python3
  clang libclang-rt-14-dev cppcheck osslsigncode openssl
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing_of() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# apt-get update, retried. A mirror that is mid-sync fails single indexes ("File has
# unexpected size"); after the retries the set-up goes on with what it could read, and the
# install step that follows says whether that was enough.
updated=
apt_update() {
  [ -n "$updated" ] && return 0
  local attempt log
  log=$(mktemp)
  for attempt in 1 2 3; do
    if as_root apt-get update -q >"$log" 2>&1; then
      updated=1
      rm -f "$log"
      return 0
    fi
    [ "$attempt" -lt 3 ] && sleep $((attempt * 5))
  done
  updated=1
  if grep -q '^Err:' "$log" && grep -q -E '^(Hit|Get):' "$log"; then
    local failed
    failed=$(grep -c '^Err:' "$log")
    echo "setup: warning: apt-get update could not fetch $failed package index(es) after 3 tries" \
      "($(grep -m1 -A1 '^Err:' "$log" | tail -n 1 | sed 's/^ *//' | sed "s/ *\[IP:.*//" | cut -c1-100)); going on with the others"
    rm -f "$log"
    return 0
  fi
  cat "$log" >&2
  rm -f "$log"
  echo "setup: apt-get update failed; the package manager's message is above" >&2
  exit 1
}

# The required step.
mapfile -t missing < <(missing_of "${required[@]}")
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      "${missing[@]}"; then
    echo "setup: could not install the packages the build and tests need (above: the package manager's message)" >&2
    exit 1
  fi
fi

# Wine's ANSI code page follows the Unix locale; a locale that is not generated silently
# gives 1252. ja_JP.UTF-8 (932) is the one everything runs under; zh_CN.UTF-8 (936) is one
# of the other system code pages that tests/e2e/locale_road_test.sh runs the installer
# under (C.UTF-8, 1252, needs no generating).
wanted_locales=()
for wanted in ja_JP zh_CN; do
  locale -a 2>/dev/null | grep -qi "^$wanted\.utf-\?8\$" || wanted_locales+=("$wanted")
done
if [ ${#wanted_locales[@]} -gt 0 ]; then
  echo "setup: generating the locales ${wanted_locales[*]/%/.UTF-8}"
  for wanted in "${wanted_locales[@]}"; do
    as_root sed -i "s/^# *\($wanted.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen || echo "$wanted.UTF-8 UTF-8" | as_root tee -a /etc/locale.gen >/dev/null
  done
  as_root locale-gen
fi

# The second step: the private 32-bit root, and the emulation where the kernel needs it.
# A failure is kept in build/i386-root.why, which the skipped tests print.
emulate=
fern_kernel_i386 || emulate=--emulator
if why=$(bash "$here/i386-root.sh" "$fern_i386_root" $emulate); then
  rm -f "$fern_i386_root.why"
  if [ -n "$emulate" ] && ! fern_i386_emulated; then
    if as_root bash -c "source '$here/i386-support.sh'; fern_enable_i386_emulation" 2>/dev/null; then
      echo "setup: this kernel cannot run 32-bit programs; registered the root's qemu-i386 for them"
    else
      echo "setup: this kernel cannot run 32-bit programs and qemu-i386 could not be registered;" \
        "the 32-bit runs will be skipped"
    fi
  fi
else
  mkdir -p "$(dirname "$fern_i386_root")"
  echo "$why" > "$fern_i386_root.why"
  echo "setup: warning: the private 32-bit root could not be made ($why); the 32-bit runs will be skipped"
fi
