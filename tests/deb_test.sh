#!/usr/bin/env bash
# make deb's package: unpacked into an empty root, its fernpack runs, finds the stub where
# the package put it, packs and verifies the sample; every shared library it needs comes
# from a package its Depends names; the man page and the guide are there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
win32_dir=${1:?the 32-bit Windows build directory}
work=$(mktemp -d /tmp/fern-deb.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
check() { local what=$1; shift; "$@" || { echo "FAILED: $what"; failures=$((failures + 1)); }; }

log=$work/make-deb.log
bash "$top/scripts/make-deb.sh" "$win32_dir" > "$log" 2>&1 || { cat "$log"; exit 1; }
deb=$(sed -n 's/^make-deb: wrote \([^ ]*\) .*/\1/p' "$log")
deb=$top/$deb
check "the package was written" [ -f "$deb" ]
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -f "$deb" Depends > "$work/depends"
root=$work/root
check "fernpack is installed" [ -x "$root/usr/bin/fernpack" ]
check "the stub is installed" [ -f "$root/usr/lib/fernstall/fernstall.exe" ]
check "the uninstaller is installed" [ -f "$root/usr/lib/fernstall/UnInst.exe" ]
check "the man page is installed" [ -f "$root/usr/share/man/man1/fernpack.1.gz" ]
check "the guide is installed" [ -f "$root/usr/share/doc/fernstall/guide.md" ]
check "the package names itself" [ "$(dpkg-deb -f "$deb" Package)" = fernstall ]

# Every library fernpack loads belongs to a package that Depends names.
while read -r lib; do
  owner=$(dpkg -S "$(readlink -f "$lib")" 2>/dev/null || dpkg -S "$lib" 2>/dev/null || true)
  owner=${owner%%:*}
  check "the package of $lib ($owner) is a dependency" grep -qw -- "$owner" "$work/depends"
done < <(ldd "$root/usr/bin/fernpack" | awk '/=> \// {print $3}')

# No --stub, no --uninstaller and no variables: the installed fernpack finds its own.
env -u FERNSTALL_STUB -u FERNSTALL_UNINSTALLER "$root/usr/bin/fernpack" pack "$top/sample/game" -o "$work/setup.exe" \
  --quiet > "$work/pack.log" 2>&1 || { cat "$work/pack.log"; failures=$((failures + 1)); }
check "the installed fernpack verifies what it packed" \
  "$root/usr/bin/fernpack" verify "$work/setup.exe" > "$work/verify.log" 2>&1
check "the package carries the installed uninstaller" \
  "$root/usr/bin/fernpack" extract "$work/setup.exe" "$work/out" > /dev/null 2>&1
check "it is the installed one" cmp "$root/usr/lib/fernstall/UnInst.exe" "$work/out/UnInst.exe"
# The stub unchanged but for the archive start that fernpack writes into its header
# (8 bytes at 0x28).
stub_begins() {
  local stub=$root/usr/lib/fernstall/fernstall.exe size
  size=$(stat -c %s "$stub")
  cmp -n 40 "$stub" "$work/setup.exe" && cmp -i 48 -n $((size - 48)) "$stub" "$work/setup.exe"
}
check "the package starts with the installed stub" stub_begins
if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
