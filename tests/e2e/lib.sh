# Shared by the scenario tests: runs the real installer under Wine and drives it with
# uidriver.exe the way a person would. CTest passes FERN_SOURCE_DIR, FERN_WIN32_DIR (the
# Windows build under test) and FERNPACK.
set -euo pipefail
source "$FERN_SOURCE_DIR/scripts/wine-env.sh"
wine_prefix_ready

WIN_DIR=$FERN_WIN32_DIR
STUB=${FERN_STUB:-$WIN_DIR/fernstall.exe}
DRIVER=$WIN_DIR/uidriver.exe
WORK=$(mktemp -d /tmp/fern-e2e.XXXXXX)
OUT=$WORK/driver.out
trap 'rm -rf "$WORK"' EXIT
failures=0

# The Windows temp folder of the prefix, where WorkFolders are made (its place differs
# between Wine versions).
wine_temp_dir() {
  local user
  for user in "$WINEPREFIX"/drive_c/users/*; do
    [ "$(basename "$user")" = Public ] && continue
    if [ -d "$user/Temp" ]; then echo "$user/Temp"; else echo "$user/AppData/Local/Temp"; fi
    return
  done
}

# A Unix path as Wine sees it (drive Z: is the Unix root).
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# pack_game <folder> <setup.exe> [fernpack options]
pack_game() {
  local folder=$1 out=$2
  shift 2
  "$FERNPACK" pack "$folder" -o "$out" --stub "$STUB" --quiet "$@"
}

# A minimal game folder: settings, a picture and a readme. $1 is the folder.
make_game() {
  mkdir -p "$1"
  printf 'TITLEBAR\t%s\r\n' "${2:-テストゲーム}" | iconv -f UTF-8 -t CP932 > "$1/install.env"
  cp "$FERN_SOURCE_DIR/sample/game/insttscr.png" "$1/" 2>/dev/null || printf 'x' > "$1/insttscr.rct"
  printf 'readme\r\n' > "$1/readme.txt"
}

# drive: reads a uidriver script (tab-separated) from stdin, runs it, keeps the output in
# $OUT and shows it. Fails the test when the driver fails.
drive() {
  cat > "$WORK/script.txt"
  if ! "$FERN_WINE" "$DRIVER" "$(winpath "$WORK/script.txt")" > "$OUT.raw" 2>"$WORK/driver.err"; then
    tr -d "\r" < "$OUT.raw" > "$OUT"
    cat "$OUT"
    cat "$WORK/driver.err" >&2
    echo "FAILED: ${CURRENT:-scenario}: the driver failed"
    failures=$((failures + 1))
    return 1
  fi
  tr -d "\r" < "$OUT.raw" > "$OUT"
  sed 's/^/    /' "$OUT"
}

# expect <exact line>: the driver printed this line.
expect() {
  if ! grep -qxF -- "$1" "$OUT"; then
    echo "FAILED: ${CURRENT:-scenario}: expected line: $1"
    failures=$((failures + 1))
  fi
}

check() {
  local what=$1
  shift
  if ! "$@"; then
    echo "FAILED: ${CURRENT:-scenario}: $what"
    failures=$((failures + 1))
  fi
}

scenario() {
  CURRENT=$1
  echo "--- $1"
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}

workfolders() { { find "$(wine_temp_dir)" -maxdepth 1 -name "TempQVInstallFolder_*" 2>/dev/null || true; } | wc -l; }
