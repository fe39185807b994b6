# Sourced by the scripts that run Windows programs. Chooses how Windows programs are run
# on this machine and exports:
#   FERN_WINE          the Wine loader to call
#   FERN_WINTEST_DIR   the Windows build whose programs the tests run
#   FERN_LOCALE        the Unix locale Wine runs under (also LANG and LC_ALL); Wine takes
#                      the system code page from it. Default ja_JP.UTF-8 (932); C.UTF-8
#                      gives 1252, zh_CN.UTF-8 936 (setup.sh generates the ja_JP and zh_CN
#                      locales; one that is not generated would silently give 1252, so it
#                      is refused)
#   WINEPREFIX ...     one prefix under build/ per locale, quiet, no desktop integration,
#                      no downloads
# By default the 64-bit build of the sources runs in a 64-bit prefix (build/wineprefix64).
# With FERN_WOW64=1 the shipped 32-bit build runs in a 64-bit prefix with its 32-bit half
# (WoW64), from the private 32-bit root (i386-support.sh): always a prefix of its own
# (FERN_WOW64_PREFIX, default build/wineprefix-wow64), never the 64-bit one that a caller
# may have exported.
# Wine keeps locale-dependent state in a prefix, so any locale but ja_JP.UTF-8 gets
# prefixes of its own by default, named after it (build/wineprefix64-C.UTF-8,
# build/wineprefix-wow64-C.UTF-8), and a prefix booted under one locale is refused under
# another (wine_prefix_ready). A WINEPREFIX or FERN_WOW64_PREFIX that the caller exported
# wins over these defaults; a WINEPREFIX that an earlier sourcing of this file chose (the
# test run's, exported to every test) is chosen again for the current locale.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$top/scripts/i386-support.sh"
export FERN_LOCALE=${FERN_LOCALE:-ja_JP.UTF-8}
fern_locale_suffix=
[ "$FERN_LOCALE" = ja_JP.UTF-8 ] || fern_locale_suffix=-$FERN_LOCALE
if [ -n "${FERN_CHOSEN_PREFIX:-}" ] && [ "${WINEPREFIX:-}" = "$FERN_CHOSEN_PREFIX" ]; then
  unset WINEPREFIX
fi
unset FERN_CHOSEN_PREFIX
export WINEARCH=win64
if [ -n "${FERN_WOW64:-}" ]; then
  fern_wow64_env
  export FERN_WINTEST_DIR=$top/build/win32
  export WINEPREFIX=${FERN_WOW64_PREFIX:-$top/build/wineprefix-wow64$fern_locale_suffix}
  [ -n "${FERN_WOW64_PREFIX:-}" ] || export FERN_CHOSEN_PREFIX=$WINEPREFIX
else
  export FERN_WINE=/usr/lib/wine/wine64 FERN_WINTEST_DIR=$top/build/win64
  export WINELOADER=/usr/lib/wine/wine64
  if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$top/build/wineprefix64$fern_locale_suffix
    export FERN_CHOSEN_PREFIX=$WINEPREFIX
  fi
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export LANG=$FERN_LOCALE LC_ALL=$FERN_LOCALE

# Boots the prefix once; later runs reuse it. A lock keeps parallel tests from booting
# twice. A WoW64 prefix gets the root's 32-bit DLLs in its syswow64 folder first: Wine
# finds a 32-bit built-in DLL only there, and its set-up runs 32-bit programs. The prefix
# remembers the locale it was booted under (in .fern-ready; empty: ja_JP.UTF-8, from before
# there was a choice) and is refused under another.
wine_prefix_ready() {
  local generated
  generated=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8$/utf8/')
  if ! grep -qxF "$(echo "$FERN_LOCALE" | tr 'A-Z' 'a-z' | sed 's/utf-8$/utf8/')" <<<"$generated"; then
    echo "wine-env: the locale $FERN_LOCALE is not generated here (Wine would silently run" \
      "under code page 1252); generate it as scripts/setup.sh does" >&2
    return 1
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ -f "$WINEPREFIX/.fern-ready" ]; then
      booted=$(cat "$WINEPREFIX/.fern-ready")
      if [ "${booted:-ja_JP.UTF-8}" != "$FERN_LOCALE" ]; then
        echo "wine-env: $WINEPREFIX was booted under ${booted:-ja_JP.UTF-8}; FERN_LOCALE=$FERN_LOCALE" \
          "needs a prefix of its own (unset WINEPREFIX for the default one)" >&2
        exit 1
      fi
    else
      if [ -n "${FERN_WOW64:-}" ]; then
        mkdir -p "$WINEPREFIX/drive_c/windows/syswow64"
        cp -r "$WINEDLLPATH/i386-windows/." "$WINEPREFIX/drive_c/windows/syswow64/"
      fi
      "$FERN_WINE" wineboot -i >/dev/null 2>&1 || true
      # A new prefix has the class "txtfile" (open with notepad) but does not always map
      # .txt to it; Windows does, and the menu's readme button relies on it.
      "$FERN_WINE" reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1 || true
      wineserver -w
      echo "$FERN_LOCALE" > "$WINEPREFIX/.fern-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
}
