#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when it is missing.
# Safe to run again: every step checks first.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686 libz-mingw-w64-dev
  g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 binutils-mingw-w64-x86-64 qemu-user-static
  wine wine32:i386 wine64 xvfb xauth locales fonts-ipafont-gothic
  zlib1g-dev libdeflate-dev libpng-dev googletest libgtest-dev
  imagemagick xdotool file
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
elif [ -n "${need_update:-}" ]; then
  as_root apt-get update -q
fi

# Wine's ANSI code page follows the Unix locale; without a generated ja_JP.UTF-8 it stays 1252.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  as_root sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen
fi

# Kernels that refuse 32-bit programs get the 32-bit Wine loader through qemu-user.
source "$(dirname "$0")/i386-support.sh"
if ! fern_native_i386 && [ ! -e "$fern_binfmt_entry" ]; then
  echo "setup: this kernel cannot run 32-bit programs; registering qemu-i386 for them"
  as_root bash -c "source '$(dirname "$0")/i386-support.sh'; fern_enable_i386_emulation"
fi
