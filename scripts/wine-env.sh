# Sourced by the scripts that run Windows programs. Chooses how Windows programs are run
# on this machine and exports:
#   FERN_WINE          the Wine loader to call
#   FERN_WINTEST_DIR   the Windows build whose programs the tests run
#   WINEPREFIX ...     one prefix under build/, Japanese locale (ANSI code page 932),
#                      quiet, no desktop integration, no downloads
# By default the 64-bit build of the sources runs in a 64-bit prefix. With FERN_WOW64=1
# the shipped 32-bit build runs in a 64-bit prefix with its 32-bit half (WoW64), from the
# private 32-bit root (i386-support.sh): always a prefix of its own (FERN_WOW64_PREFIX,
# default build/wineprefix-wow64), never the 64-bit one that a caller may have exported.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/scripts/i386-support.sh"
export WINEARCH=win64
if [ -n "${FERN_WOW64:-}" ]; then
  fern_wow64_env
  export FERN_WINTEST_DIR=$top/build/win32
  export WINEPREFIX=${FERN_WOW64_PREFIX:-$top/build/wineprefix-wow64}
else
  export FERN_WINE=/usr/lib/wine/wine64 FERN_WINTEST_DIR=$top/build/win64
  export WINELOADER=/usr/lib/wine/wine64
  export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix64}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Boots the prefix once; later runs reuse it. A lock keeps parallel tests from booting
# twice. A WoW64 prefix gets the root's 32-bit DLLs in its syswow64 folder first: Wine
# finds a 32-bit built-in DLL only there, and its set-up runs 32-bit programs.
wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.fern-ready" ]; then
      if [ -n "${FERN_WOW64:-}" ]; then
        mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
        cp -r "$WINEDLLPATH/i386-windows/." "$WINEPREFIX/drive_c/windows/syswow64/"
      fi
      "$FERN_WINE" wineboot -i >/dev/null 2>&1 || true
      # A new prefix has the class "txtfile" (open with notepad) but does not always map
      # .txt to it; Windows does, and the menu's readme button relies on it.
      "$FERN_WINE" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.fern-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
