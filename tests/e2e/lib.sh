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

# wait_for <seconds> <command>: polls until the command succeeds; its last answer.
wait_for() {
  local limit=$1 i
  shift
  for ((i = 0; i < limit * 4; i++)); do
    "$@" && return 0
    sleep 0.25
  done
  "$@"
}

not() { ! "$@"; }

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

# The protected uninstaller copies that the installer keeps in the prefix; the ones this
# script makes are removed by remove_new_kept_copies (give it to on_exit).
# (A 32-bit installer keeps them under "Program Files (x86)" on a 64-bit Windows.)
KEPT_ROOTS=("$WINEPREFIX/drive_c/Program Files/Common Files/Fernstall"
            "$WINEPREFIX/drive_c/Program Files (x86)/Common Files/Fernstall")
KEPT_BEFORE=$(ls -A "${KEPT_ROOTS[@]}" 2>/dev/null || true)
remove_new_kept_copies() {
  local root name
  for root in "${KEPT_ROOTS[@]}"; do
    for name in $(ls -A "$root" 2>/dev/null); do
      grep -qxF "$name" <<<"$KEPT_BEFORE" || rm -rf "${root:?}/$name"
    done
  done
}

workfolders() { { find "$(wine_temp_dir)" -maxdepth 1 -name "TempQVInstallFolder_*" 2>/dev/null || true; } | wc -l; }

# --- The installation's scenarios: setting up games, reading the machine back, cleaning up.

# on_exit <command>: runs the command when the script ends (also on INT or TERM), before
# the work folder goes, latest first. For what a scenario changes in the shared prefix.
CLEANUPS=()
run_cleanups() {
  local i
  for ((i = ${#CLEANUPS[@]} - 1; i >= 0; i--)); do eval "${CLEANUPS[$i]}" || true; done
  CLEANUPS=()
}
on_exit() {
  CLEANUPS+=("$1")
  trap 'run_cleanups; rm -rf "$WORK"' EXIT
  trap 'exit 130' INT TERM
}

# win <out file> <program> [args]: runs a Windows program with its output in a file (never
# a pipe: Wine's services would hold it open), line ends made Unix. Its exit code is kept.
win() {
  local out=$1 status=0
  shift
  "$FERN_WINE" "$@" > "$out.raw" 2>"$out.err" < /dev/null || status=$?
  tr -d '\r' < "$out.raw" > "$out"
  rm -f "$out.raw"
  return $status
}

# wine_reg <args>: Wine's reg.exe, quietly; its exit code.
wine_reg() { win "$WORK/reg.out" reg "$@"; }

reg_key_exists() { wine_reg query "$1"; }

# reg_values <key>: the string values of exactly that key (not its sub-keys), one
# "<name>=<value>" line each ("@" for the default value), read from reg.exe's export.
reg_values() {
  rm -f "$WORK/export.reg"
  wine_reg export "$1" "$(winpath "$WORK/export.reg")" /y || return 0
  python3 - "$WORK/export.reg" "$1" <<'PY'
import re, sys
text = open(sys.argv[1], 'rb').read().decode('utf-16')
want = sys.argv[2].lower()
roots = {'hklm': 'hkey_local_machine', 'hkcu': 'hkey_current_user', 'hkcr': 'hkey_classes_root'}
head, _, rest = want.partition('\\')
want = roots.get(head, head) + '\\' + rest
inside = False
for line in text.splitlines():
    if line.startswith('['):
        inside = line[1:-1].lower() == want
    elif inside and line:
        m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
        if not m:
            continue
        name = '@' if m.group(1) == '@' else re.sub(r'\\(.)', r'\1', m.group(2))
        value = m.group(3)
        if value.startswith('"') and value.endswith('"'):
            value = re.sub(r'\\(.)', r'\1', value[1:-1])
        print(f'{name}={value}')
PY
}

# expect_reg <key> <name=value>...: the key holds exactly these string values.
expect_reg() {
  local key=$1 want got
  shift
  want=$(printf '%s\n' "$@" | sort)
  got=$(reg_values "$key" | sort)
  if [ "$got" != "$want" ]; then
    echo "FAILED: ${CURRENT:-scenario}: values of $key:"
    printf '%s\n' "$got" | sed 's/^/      /'
    echo "    expected:"
    printf '%s\n' "$want" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
}

# unix_path <Windows path>: where a C: or Z: path of the prefix lies on this machine.
unix_path() {
  local p=${1//\\//}
  case $p in
    [Cc]:*) echo "$WINEPREFIX/drive_c${p:2}" ;;
    [Zz]:*) echo "${p:2}" ;;
    *) return 1 ;;
  esac
}

# special_folder <CSIDL>: the shell folder's Windows path.
special_folder() {
  win "$WORK/folder.out" "$WIN_DIR/read_link.exe" folder "$1" || return 1
  cut -f2 "$WORK/folder.out"
}

# links_in <Windows folder>: "<file name> <target> <working folder> <description>" for each
# shortcut in it, read through the shell link object, sorted.
links_in() {
  win "$WORK/links.out" "$WIN_DIR/read_link.exe" links "$1" || true
  sed -n 's/^link\t//p; s/^unreadable\t/unreadable: /p' "$WORK/links.out" | sort
}

# expect_links <Windows folder> <line>...: the folder holds exactly these shortcuts.
expect_links() {
  local folder=$1 want got
  shift
  want=$(printf '%s\n' "$@" | sed '/^$/d' | sort)
  got=$(links_in "$folder")
  if [ "$got" != "$want" ]; then
    echo "FAILED: ${CURRENT:-scenario}: shortcuts in $folder:"
    printf '%s\n' "$got" | sed 's/^/      /'
    echo "    expected:"
    printf '%s\n' "$want" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
}

# same_tree <expected folder> <folder>: the same files with the same contents and
# modification times.
same_tree() {
  local a=$1 b=$2 f
  diff -r "$a" "$b" > "$WORK/tree.diff" || { sed 's/^/      /' "$WORK/tree.diff"; return 1; }
  while IFS= read -r f; do
    if [ "$(stat -c %Y "$a/$f")" != "$(stat -c %Y "$b/$f")" ]; then
      echo "      $f: time $(stat -c %y "$b/$f"), stored $(stat -c %y "$a/$f")"
      return 1
    fi
  done < <(cd "$a" && find . -type f)
}

# texts: the "text" lines the driver printed (message texts, in order), one per line.
texts() { sed -n "s/^text\t//p" "$OUT"; }

# expect_texts <text>...: the driver saw exactly these texts, in this order.
expect_texts() {
  local want
  want=$(printf '%s\n' "$@")
  if [ "$(texts)" != "$want" ]; then
    echo "FAILED: ${CURRENT:-scenario}: texts in order:"
    texts | sed 's/^/      /'
    echo "    expected:"
    printf '%s\n' "$want" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
}

# restart_wineserver: a fresh server (and services) for this prefix, so that a changed
# drive set-up is read again; kept up for two minutes like the test run's own.
restart_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p120 >/dev/null 2>&1 || true
}

# drive_types: "<letter> <GetDriveTypeA result>" for every drive letter in use.
drive_types() {
  win "$WORK/drives.out" "$WIN_DIR/drive_type.exe" || true
  sed -n 's/^drive\t//p' "$WORK/drives.out" | tr '\t' ' '
}

# cdrom_root_now: the root that a CD-ROM token stands for now: the first CD-ROM drive's,
# or E:\ when there is none.
cdrom_root_now() {
  local letter
  letter=$(drive_types | awk '$2 == 5 { print $1; exit }')
  echo "${letter:-E}:\\"
}

# add_cdrom_drive <unix folder>: maps a free drive letter to the folder as a CD-ROM drive
# (Wine's drive table and its dosdevices link; read when the server starts) and prints
# the letter. remove_cdrom_drive <letter> undoes it.
add_cdrom_drive() {
  local used letter
  used=$(drive_types | cut -d' ' -f1 | tr -d '\n')
  for letter in R Q P O N M L K; do
    case $used in *$letter*) continue ;; esac
    ln -sfn "$1" "$WINEPREFIX/dosdevices/${letter,,}:"
    wine_reg add 'HKLM\Software\Wine\Drives' /v "${letter,,}:" /d cdrom /f
    restart_wineserver
    echo "$letter"
    return 0
  done
  return 1
}
remove_cdrom_drive() {
  rm -f "$WINEPREFIX/dosdevices/${1,,}:"
  wine_reg delete 'HKLM\Software\Wine\Drives' /v "${1,,}:" /f || true
  restart_wineserver
}

# pack_quietly <folder> <setup.exe>: pack_game, showing fernpack's warnings only when it
# fails (scenarios write lines on purpose that fernpack warns about).
pack_quietly() {
  if ! pack_game "$1" "$2" 2> "$WORK/pack.err"; then
    cat "$WORK/pack.err" >&2
    return 1
  fi
}

# walk_to_copy <setup.exe> <title> <folder>: driver lines of an installation from the
# start up to Yes at the confirmation (whose text is printed), with the folder typed into
# the folder dialog.
walk_to_copy() {
  local T=$'\t'
  cat <<END
launch${T}setup${T}$(winpath "$1")
wait-window${T}setup${T}#32770${T}$2 スタートアップ${T}60000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
type${T}1000${T}$3
click${T}1
wait-box${T}setup${T}30000
text
click${T}6
END
}

# uninstall_walk <folder|program> [<answer>] [<ms>]: driver lines of an uninstallation
# started from the folder's UnInst.exe (as a player might start it) or from the program
# given (the protected copy, as the uninstall entry and the Start-menu shortcut start
# it): Yes to the question, <answer> (6 Yes, 7 No) to the saved games when given, OK to the
# final box, until every uninstaller has ended. The folder's UnInst.exe hands over to the
# protected copy or to a temp copy, so the boxes may come from another process. Every
# box's caption and text are printed. <ms> bounds each wait (default 30000).
uninstall_walk() {
  local T=$'\t' ms=${3:-30000} program=$1
  [[ $program == *.exe ]] || program="$1\\UnInst.exe"
  printf '%s\n' "launch${T}un${T}$program" "wait-box${T}*${T}$ms" caption text \
    "click${T}6" "wait-closed${T}10000"
  if [ -n "${2:-}" ]; then
    printf '%s\n' "wait-box${T}*${T}$ms" caption text "click${T}$2" "wait-closed${T}10000"
  fi
  printf '%s\n' "wait-box${T}*${T}$ms" caption text "click${T}1" \
    "wait-closed${T}10000" "wait-exit${T}un${T}$ms" "wait-no-process${T}UnInst${T}$ms"
}

# check_kept_copy <uninstall entry key> <extracted package> <InstallFolder>: the entry
# starts a protected copy of the package's uninstaller, list and settings file, in a new
# folder of its own whose UnInst.dir names the InstallFolder. Sets KEPT (the copy's
# Windows path) and KEPT_DIR (its folder on this machine).
check_kept_copy() {
  local command
  command=$(reg_values "$1" | sed -n 's/^UninstallString=//p')
  command=${command#\"}
  KEPT=${command%\"}
  KEPT_DIR=$(unix_path "${KEPT%\\*}" || true)
  check "the uninstall entry starts a protected copy: $KEPT" \
    eval '[[ $KEPT =~ ^C:\\Program\ Files(\ \(x86\))?\\Common\ Files\\Fernstall\\[0-9A-F]{16}\\UnInst\.exe$ ]]'
  check "the protected copy is the package's uninstaller, list and settings, and names the folder" \
    kept_files_are "$2" "$3"
}
kept_files_are() {
  local f
  for f in UnInst.exe UnInst.lst install.env; do cmp -s "$1/$f" "$KEPT_DIR/$f" || return 1; done
  [ "$(ls "$KEPT_DIR" | LC_ALL=C sort | tr '\n' ' ')" = "UnInst.dir UnInst.exe UnInst.lst install.env " ] &&
    [ "$(iconv -f CP932 -t UTF-8 "$KEPT_DIR/UnInst.dir")" = "$2"$'\r' ]
}

# walk_from_copy <ms> [<button>]: driver lines from the copy to the end: the shortcut
# dialog answered with <button> (2, the default: no desktop shortcut; 1: OK as ticked), OK
# at the completion, the exit. <ms> bounds the wait for the copy to finish.
walk_from_copy() {
  local T=$'\t'
  cat <<END
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}$1
click${T}${2:-2}
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
click${T}1
wait-exit${T}setup${T}30000
END
}
