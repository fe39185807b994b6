#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when it is missing.
# Safe to run again: every step checks first.
#
# Two steps. The required one installs everything the build, the native tests, the 64-bit
# Windows tests and the scenario tests need; if it fails, set-up fails with the package
# manager's message. The optional one brings 32-bit Wine (and, on kernels that refuse
# 32-bit programs, qemu-user to run it); when it cannot be had, one line says so and the
# genuine 32-bit scenario is skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/i386-support.sh"

required=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth locales fonts-ipafont-gothic
  zlib1g-dev libdeflate-dev libpng-dev libunistring-dev googletest libgtest-dev
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

# Wine's ANSI code page follows the Unix locale; without a generated ja_JP.UTF-8 it stays 1252.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen
fi

# The optional step: 32-bit Wine. Tried once per machine state; a failed try is remembered
# for a day so that every make does not wait on the mirror again.
optional_done=/var/tmp/fernstall-wine32-tried
optional=(wine32:i386)
fern_kernel_i386 || [ -e "$fern_binfmt_entry" ] || optional+=(qemu-user-static)
mapfile -t missing < <(missing_of "${optional[@]}")
if [ ${#missing[@]} -gt 0 ] && [ -n "$(find "$optional_done" -mmin -1440 2>/dev/null)" ]; then
  echo "setup: 32-bit Wine is missing ($(cat "$optional_done")); the 32-bit installer scenario" \
    "is skipped, everything else runs on the 64-bit build (remove $optional_done to try again)"
elif [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    updated=
  fi
  apt_update
  log=$(mktemp)
  if as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      "${missing[@]}" >"$log" 2>&1; then
    rm -f "$optional_done"
  else
    reason=$(grep -m1 -E '^E: |depends on|Depends:' "$log" | sed 's/^ *//' | cut -c1-100)
    echo "${reason:-apt-get install failed}" | as_root tee "$optional_done" >/dev/null
    echo "setup: 32-bit Wine could not be installed (${missing[*]}: ${reason:-apt-get install failed});" \
      "the 32-bit installer scenario will be skipped, everything else runs on the 64-bit build"
  fi
  rm -f "$log"
fi

# Kernels that refuse 32-bit programs get the 32-bit Wine loader through qemu-user.
if [ -z "$(missing_of wine32:i386)" ] && ! fern_kernel_i386 && [ ! -e "$fern_binfmt_entry" ]; then
  if [ -x /usr/bin/qemu-i386-static ] \
      && as_root bash -c "source '$here/i386-support.sh'; fern_enable_i386_emulation" 2>/dev/null; then
    echo "setup: this kernel cannot run 32-bit programs; registered qemu-i386 for them"
  else
    echo "setup: this kernel cannot run 32-bit programs and qemu-i386 could not be registered;" \
      "the 32-bit installer scenario will be skipped, everything else runs on the 64-bit build"
  fi
fi
