# Sourced by the scripts that run Windows programs: one 32-bit Wine prefix under build/,
# Japanese locale (ANSI code page 932), quiet, no desktop integration, no downloads.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

# Boots the prefix once; later runs reuse it. A lock keeps parallel tests from booting twice.
wine_prefix_ready() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.fern-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w
      touch "$WINEPREFIX/.fern-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
