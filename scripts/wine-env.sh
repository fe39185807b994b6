# Sourced by the scripts that run Windows programs. Chooses how Windows programs are run
# on this machine and exports:
#   FERN_WINE          the Wine loader to call
#   FERN_WINTEST_DIR   the Windows build whose programs the tests run
#   WINEPREFIX ...     one prefix under build/, Japanese locale (ANSI code page 932),
#                      quiet, no desktop integration, no downloads
# Where the kernel runs 32-bit programs, everything runs the 32-bit installer under
# 32-bit Wine. Elsewhere the tests run the 64-bit build of the same sources under 64-bit
# Wine (see i386-support.sh).
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/scripts/i386-support.sh"
if fern_native_i386; then
  export WINEARCH=win32 FERN_WINE=wine FERN_WINTEST_DIR=$top/build/win32
  export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix32}
else
  export WINEARCH=win64 FERN_WINE=/usr/lib/wine/wine64 FERN_WINTEST_DIR=$top/build/win64
  export WINELOADER=/usr/lib/wine/wine64
  export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix64}
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Boots the prefix once; later runs reuse it. A lock keeps parallel tests from booting
# twice. In a 64-bit prefix the 32-bit half is left out unless asked for (FERN_WOW64=1):
# set up through emulation it would take minutes.
wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.fern-ready" ]; then
      local masked=
      if [ "$WINEARCH" = win64 ] && [ -z "${FERN_WOW64:-}" ] && [ -w "$fern_binfmt_entry" ]; then
        echo 0 > "$fern_binfmt_entry" && masked=1
      fi
      "$FERN_WINE" wineboot -i >/dev/null 2>&1 || true
      # A new prefix has the class "txtfile" (open with notepad) but does not always map
      # .txt to it; Windows does, and the menu's readme button relies on it.
      "$FERN_WINE" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1 || true
      wineserver -w
      [ -n "$masked" ] && echo 1 > "$fern_binfmt_entry"
      touch "$WINEPREFIX/.fern-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
