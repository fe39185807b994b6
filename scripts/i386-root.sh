#!/usr/bin/env bash
# Makes the private 32-bit root that runs the shipped i686 programs, without installing
# anything for i386 on this machine:
#   - 32-bit Wine (wine32 and its i386 libraries) and the i386 libraries that the 32-bit
#     build of the unit tests links statically (zlib, libpng, libdeflate, libunistring,
#     GoogleTest), fetched with apt-get download from the machine's own sources and
#     unpacked with dpkg-deb -x. apt runs with a state folder of its own (i386 indexes
#     only), so the machine's architectures, sources, package lists and installed
#     packages stay as they are, and one index that fails to download (a mirror mid-sync)
#     does not matter: downloading needs no version match with the installed amd64
#     packages, only installing does.
#   - where the kernel refuses 32-bit programs, qemu-i386 from Debian's bookworm-backports
#     (a static program, unpacked, not installed): the bookworm build needs about two
#     minutes per Windows process under Wine, the backport half a second.
# The C library is the host's 32-bit one (libc6-i386, from g++-multilib), so the root
# holds no libc of its own that could differ from the loader's.
#
# Usage: i386-root.sh <root> [--emulator]. Prints one line saying why when it cannot make
# the root, and exits 1; exits 0 when the root is ready (at once when it already was).
set -euo pipefail
root=$1
want_emulator=${2:-}
stamp=$root/.fern-root
# Bumped whenever what the root holds changes, so that an older root is made again.
layout=3
state=$root.apt
packages=(wine32 zlib1g-dev libpng-dev libdeflate-dev libunistring-dev libgtest-dev)

fail() { echo "$*"; exit 1; }
for tool in apt-get apt-cache dpkg-deb; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done
[ -e /lib/ld-linux.so.2 ] || fail "the host's 32-bit C library is missing (package libc6-i386)"
[ -x /usr/lib/wine/wine64 ] || fail "64-bit Wine is missing (package wine64)"

mkdir -p "$state"
log=$state/apt.log

add_emulator() {
  local backports mirror
  backports=$state/backports
  mkdir -p "$backports/lists/partial" "$backports/cache/archives/partial" "$backports/parts"
  : > "$backports/status"
  mirror=$(grep -h -o -E 'https?://[^ ]*/debian/?( |$)' /etc/apt/sources.list \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null \
    | head -n 1 | tr -d ' ' || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} bookworm-backports main" \
    > "$backports/sources.list"
  apt_bpo=(-o Dir::Etc::SourceList="$backports/sources.list" -o Dir::Etc::SourceParts="$backports/parts"
    -o Dir::State::Lists="$backports/lists" -o Dir::Cache="$backports/cache"
    -o Dir::State::status="$backports/status" -o Debug::NoLocking=1 -o APT::Architectures::=amd64
    -o APT::Sandbox::User=root)
  apt-get "${apt_bpo[@]}" update >> "$log" 2>&1 || true
  (cd "$backports" && rm -f qemu-user_*.deb && apt-get "${apt_bpo[@]}" download qemu-user >> "$log" 2>&1) \
    || fail "qemu-user could not be downloaded from bookworm-backports"
  mkdir -p "$root/usr/bin"
  dpkg-deb --fsys-tarfile "$backports"/qemu-user_*.deb | tar -x -O ./usr/bin/qemu-i386 \
    > "$root/usr/bin/qemu-i386"
  chmod 755 "$root/usr/bin/qemu-i386"
  "$root/usr/bin/qemu-i386" --version > /dev/null 2>&1 || fail "the unpacked qemu-i386 does not start"
}

ready() { [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$layout" ]; }
if ready; then
  [ -z "$want_emulator" ] || [ -x "$root/usr/bin/qemu-i386" ] || add_emulator
  exit 0
fi

mkdir -p "$state/lists/partial" "$state/cache/archives/partial" "$state/debs"
: > "$state/status"
apt_i386=(-o APT::Architecture=i386 -o APT::Architectures::=i386
  -o Dir::State::Lists="$state/lists" -o Dir::Cache="$state/cache"
  -o Dir::State::status="$state/status" -o Debug::NoLocking=1 -o APT::Sandbox::User=root)

if [ ! -f "$root.tmp/.fern-unpacked" ]; then
  # Indexes that fail (a mirror mid-sync) are left out; what could be read is enough as
  # long as the main archive answered.
  apt-get "${apt_i386[@]}" update > "$log" 2>&1 || true
  apt-cache "${apt_i386[@]}" show wine32 > /dev/null 2>&1 \
    || fail "no i386 package index could be read ($(grep -m1 -E '^(E|Err):' "$log" | cut -c1-120))"
  # Every package these need, by name: the C library is the host's, fonts are not needed
  # (Wine brings its own).
  mapfile -t wanted < <(apt-cache "${apt_i386[@]}" depends --recurse --no-recommends \
      --no-suggests --no-conflicts --no-breaks --no-replaces --no-enhances "${packages[@]}" \
      | grep -v -E '^ |^<' | sort -u \
      | grep -v -x -E 'libc6|libc6-dev|fonts-[a-z0-9-]+|ttf-[a-z0-9-]+|xfonts-[a-z0-9-]+')
  [ ${#wanted[@]} -gt 10 ] || fail "the i386 package list is too short (${#wanted[@]} packages)"
  (cd "$state/debs" && apt-get "${apt_i386[@]}" download "${wanted[@]}" >> "$log" 2>&1) \
    || fail "apt-get download failed ($(grep -m1 -E '^(E|Err):' "$log" | cut -c1-120))"
  rm -rf "$root.tmp"
  mkdir -p "$root.tmp"
  for name in "${wanted[@]}"; do
    deb=$(ls "$state"/debs/"${name}"_*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || fail "the package $name was not downloaded"
    dpkg-deb -x "$deb" "$root.tmp"
  done
  touch "$root.tmp/.fern-unpacked"
fi
wine_i386=$root.tmp/usr/lib/i386-linux-gnu/wine
[ -x "$root.tmp/usr/lib/wine/wine" ] && [ -f "$wine_i386/i386-windows/kernel32.dll" ] \
  || fail "the unpacked wine32 has no loader or no kernel32.dll"

# What the packages' maintainer scripts would have done: Wine's zlib1.dll is the mingw
# one marked as a Wine built-in DLL (user32 imports it).
mingw_zlib=$root.tmp/usr/i686-w64-mingw32/lib/zlib1.dll
[ -f "$mingw_zlib" ] || fail "zlib1.dll for i686 is missing from the unpacked packages"
{
  head -c 64 "$mingw_zlib"
  printf 'Wine builtin DLL'
  head -c 16 /dev/zero
  tail -c +97 "$mingw_zlib"
} > "$wine_i386/i386-windows/zlib1.dll"

# The 64-bit loader beside the 32-bit one: Wine starts a 32-bit program with the loader
# named like its own without "64", in its own folder. Its DLLs stay the machine's.
cp /usr/lib/wine/wine64 "$root.tmp/usr/lib/wine/wine64"
mkdir -p "$root.tmp/usr/lib/x86_64-linux-gnu"
ln -sfn /usr/lib/x86_64-linux-gnu/wine "$root.tmp/usr/lib/x86_64-linux-gnu/wine"

echo "$layout" > "$root.tmp/.fern-root"
rm -rf "$root"
mv "$root.tmp" "$root"
rm -f "$root/.fern-unpacked"
[ -z "$want_emulator" ] || add_emulator
