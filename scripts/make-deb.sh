#!/usr/bin/env bash
# make deb: builds fernpack without sanitizers and packs it, with the installer stub, the
# uninstaller, the man page and the guide, into build/fernstall_<version>_<arch>.deb. Its
# Depends are the packages that hold the shared libraries fernpack is linked against.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
win32_dir=${1:-build/win32}
case $win32_dir in /*) ;; *) win32_dir=$top/$win32_dir ;; esac
release=build/release
stage=build/deb/root
[ -f "$win32_dir/fernstall.exe" ] || { echo "make-deb: $win32_dir/fernstall.exe is missing" >&2; exit 1; }
cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DFERN_I686_DIR="$win32_dir" -DFERN_WIN32_DIR= >/dev/null
cmake --build "$release" --target fernpack
rm -rf "$stage"
DESTDIR="$top/$stage" cmake --install "$release" --prefix /usr >/dev/null
gzip -9n "$stage/usr/share/man/man1/fernpack.1"
strip --strip-unneeded "$stage/usr/bin/fernpack"

version=$("$stage/usr/bin/fernpack" --version | awk '{print $2}')-1
arch=$(dpkg --print-architecture)
# One package per shared library, found by the file dpkg installed it as.
depends=$(ldd "$stage/usr/bin/fernpack" | awk '/=> \// {print $3}' | while read -r lib; do
  dpkg -S "$(readlink -f "$lib")" 2>/dev/null || dpkg -S "$lib" 2>/dev/null
done | cut -d: -f1 | sort -u | paste -sd, | sed 's/,/, /g')
[ -n "$depends" ] || { echo "make-deb: could not find the packages of fernpack's libraries" >&2; exit 1; }
size=$(du -sk "$stage" | cut -f1)
mkdir -p "$stage/DEBIAN"
cat > "$stage/DEBIAN/control" <<CONTROL
Package: fernstall
Version: $version
Architecture: $arch
Maintainer: Fernstall developers <fernstall@localhost>
Installed-Size: $size
Depends: $depends
Section: devel
Priority: optional
Description: build self-contained installers for Windows games
 fernpack turns a game folder into one Windows executable that shows a menu,
 installs the game with a progress window, creates shortcuts, registers an
 uninstaller and writes the game's INI and registry values. It checks the
 settings, the menu picture and every file name before it writes anything.
CONTROL
out=build/fernstall_${version}_${arch}.deb
dpkg-deb --root-owner-group --build "$stage" "$out" >/dev/null
echo "make-deb: wrote $out (Depends: $depends)"
