#!/usr/bin/env bash
# Installations into folders with hard names: a blank, a "%", and ソ and 表 (whose second
# byte in Shift-JIS is a backslash, 0x5C), one ending the folder name. Each installs every
# file, makes shortcuts and an uninstall entry that name the folder whole, and hands the
# folder to the system folder's cacls, started directly: a stand-in cacls.exe there
# records its command line (Wine's own does nothing), while a cacls.exe, a cacls.bat and
# a batch file under the name the grant's batch job once had, planted in the temp folder
# (the installer's current folder then), must never run nor be written. A reinstallation
# is granted again; a folder reached through a symbolic link, a folder of another program
# and system folders are installed into but never granted.
source "$(dirname "$0")/lib.sh"
T=$'\t'
TITLE='名前テスト'
GLOBAL=FernE2ENames
PROGRAMS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
DESKTOP='C:\users\Public\Desktop'
UNINSTALL="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
SYSTEM_CACLS=$WINEPREFIX/drive_c/windows/system32/cacls.exe
SYSTEM_TEMP=$(wine_temp_dir)
TEMP_DIR=$SYSTEM_TEMP  # the temp folder the installer uses
BATCH=$TEMP_DIR/Fernstall_fullaccess.bat
export FERN_RECORD_ARGS
FERN_RECORD_ARGS=$(winpath "$WORK/cacls.log")
# Wine prefers its built-in programs to the files in the system folder; this lets the
# stand-in (or a planted cacls.exe) run, for the programs this test starts.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cacls.exe=n"

cleanup() {
  rm -rf "$(unix_path "$PROGRAMS")/$TITLE" "$(unix_path "$DESKTOP")/$TITLE.LNK"
  rm -f "$SYSTEM_TEMP/cacls.exe" "$SYSTEM_TEMP/cacls.bat" "$SYSTEM_TEMP/Fernstall_fullaccess.bat"
  wine_reg delete "HKLM\\Software\\$GLOBAL" /f || true
  wine_reg delete "HKCU\\Software\\$GLOBAL" /f || true
  wine_reg delete "$UNINSTALL" /f || true
  if [ -f "$SYSTEM_CACLS.fern-saved" ]; then mv -f "$SYSTEM_CACLS.fern-saved" "$SYSTEM_CACLS"; fi
}
cleanup
on_exit cleanup
on_exit remove_new_kept_copies

# The stand-in in the system folder (Wine's own is kept aside), and the planted ones.
cp -p "$SYSTEM_CACLS" "$SYSTEM_CACLS.fern-saved"
cp "$WIN_DIR/record_args.exe" "$SYSTEM_CACLS"
cp "$WIN_DIR/record_args.exe" "$SYSTEM_TEMP/cacls.exe"
printf '@echo planted cacls.bat>> "%%FERN_RECORD_ARGS%%"\r\n' > "$SYSTEM_TEMP/cacls.bat"
printf '@echo planted batch>> "%%FERN_RECORD_ARGS%%"\r\n' > "$BATCH"
cp "$BATCH" "$WORK/planted.bat"

# No INSTREADME: the short completion dialog; no INSTREADMEFL: the readme shortcut takes
# HELP_FILE and the default label.
make_game "$WORK/game" "$TITLE"
cp "$WIN_DIR/record_run.exe" "$WORK/game/game.exe"
mkdir -p "$WORK/game/save"
printf 'slot\r\n' > "$WORK/game/save/slot1.dat"
touch -d '2009-12-24 18:00:00 UTC' "$WORK/game/save/slot1.dat"
printf '%s\r\n' "REG_GLOBAL${T}$GLOBAL" "REG_LOCAL${T}Game" "INSTTO${T}Names" \
  "EXENAME${T}game.exe" "HELP_FILE${T}readme.txt" '[reg]' '"InstTo"="REP_INSTALL"' '-' \
  >> "$WORK/game/install.env"
pack_quietly "$WORK/game" "$WORK/setup.exe"
expected=$WORK/expected
"$FERNPACK" extract "$WORK/setup.exe" "$expected" > /dev/null

# The WorkFolders in the temp folder the installer uses.
temp_workfolders() { find "$TEMP_DIR" -maxdepth 1 -name 'TempQVInstallFolder_*' | wc -l; }

# install_into <unix folder>: one installation into it, checked on the machine.
install_into() {
  local unix=$1 folder before record
  folder=$(winpath "$unix")
  rm -f "$WORK/cacls.log"
  before=$(temp_workfolders)
  drive <<END || true
$(walk_to_copy "$WORK/setup.exe" "$TITLE" "$folder")
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1007
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
controls
click${T}1
wait-exit${T}setup${T}30000
END
  expect "text${T}[$folder]にインストールします"
  check "the short completion dialog: no readme box" \
    [ "$(grep -c "^control${T}1007${T}" "$OUT")" -eq 0 ]
  expect "exit${T}0"
  check "WorkFolder removed" [ "$(temp_workfolders)" -eq "$before" ]
  check "every file is in the folder with its stored time" same_tree "$expected" "$unix"
  check "the game was not started" [ ! -e "$unix/game.exe.ran" ]
  check_kept_copy "$UNINSTALL" "$expected" "$folder"
  expect_links "$PROGRAMS\\$TITLE" \
    "$TITLE.LNK${T}$folder\\game.exe${T}$folder${T}Names" \
    "$TITLE お読みください.LNK${T}$folder\\readme.txt${T}$folder${T}Names" \
    "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}Names"
  expect_reg "$UNINSTALL" "DisplayName=$TITLE" "UninstallString=\"$KEPT\""
  expect_reg "HKCU\\Software\\$GLOBAL\\Game" "InstTo=$folder"
  # The batch job runs hidden and on its own: wait for its record.
  check "cacls ran" wait_for 30 test -s "$WORK/cacls.log"
  record=$(head -n 1 "$WORK/cacls.log" 2>/dev/null | tr -d '\r' || true)
  check "cacls from the system folder got the whole folder: $record" [ "$record" = \
    "C:\\windows\\system32\\cacls.exe${T}\"C:\\windows\\system32\\cacls.exe\" \"$folder\" /e /g everyone:F" ]
  sleep 1
  check "only the system folder's cacls ran, once" [ "$(cat "$WORK/cacls.log" | wc -l)" -eq 1 ]
  check "the file under the old batch name is untouched" cmp -s "$WORK/planted.bat" "$BATCH"
}

scenario "a folder name with blanks"
install_into "$WORK/with blank/Game One"

scenario "a folder name with percent signs that name a variable"
install_into "$WORK/pct%TEMP%dir"

scenario "folder names with ソ and 表 (second byte 0x5C), one ending in ソ"
install_into "$WORK/ソフト表/データソ"

# holds_files <expected> <folder>: every file of the first tree is in the second, whole.
holds_files() {
  local f
  while read -r f; do cmp -s "$1/$f" "$2/$f" || return 1; done < <(cd "$1" && find . -type f)
}

# install_ungranted <windows folder> <unix folder>: one installation into a folder whose
# access list must stay as it is; the game's files are removed again afterwards.
install_ungranted() {
  rm -f "$WORK/cacls.log"
  drive <<END || true
$(walk_to_copy "$WORK/setup.exe" "$TITLE" "$1")
$(walk_from_copy 60000)
END
  expect "exit${T}0"
  check "every file of the package is in the folder" holds_files "$expected" "$2"
  # The batch job, were it started, runs before the copy ends (the scenarios above see its
  # record by the time the installer exits); a few seconds more make sure.
  sleep 5
  check "cacls never ran" [ ! -e "$WORK/cacls.log" ]
  check "the file under the old batch name is untouched" cmp -s "$WORK/planted.bat" "$BATCH"
  (cd "$expected" && find . -type f) | while read -r f; do rm -f "$2/$f"; done
}

scenario "a folder in the Windows folder: installed as asked, its access list left alone"
GRANT_TEST=$WINEPREFIX/drive_c/windows/FernGrantTest
rm -rf "$GRANT_TEST"
on_exit 'rm -rf "$GRANT_TEST"'
install_ungranted 'C:\windows\FernGrantTest' "$GRANT_TEST"

scenario "Program Files itself: installed as asked, its access list left alone"
install_ungranted 'C:\Program Files' "$WINEPREFIX/drive_c/Program Files"
rmdir "$WINEPREFIX/drive_c/Program Files/save" || true

scenario "a reinstallation into a folder that holds this game is granted again"
install_into "$WORK/with blank/Game One"

scenario "a new folder reached through a symbolic link: installed as asked, never granted"
mkdir -p "$WORK/real place"
ln -s "$WORK/real place" "$WORK/linked"
install_ungranted "$(winpath "$WORK/linked")\\Game" "$WORK/real place/Game"

scenario "a folder of another program: installed as asked, never granted"
mkdir -p "$WORK/Other Program"
echo theirs > "$WORK/Other Program/other.exe"
install_ungranted "$(winpath "$WORK/Other Program")" "$WORK/Other Program"
check "the other program's file stays" [ -f "$WORK/Other Program/other.exe" ]

scenario "a temp folder with a blank: cacls runs, a cacls.exe planted there does not"
# The user's TEMP and TMP settings as they are, restored right after (and on any exit).
wine_reg export 'HKCU\Environment' "$(winpath "$WORK/environment.reg")" /y
on_exit 'wine_reg import "$(winpath "$WORK/environment.reg")"'
TEMP_DIR="$WORK/temp dir"
BATCH=$TEMP_DIR/Fernstall_fullaccess.bat
mkdir -p "$TEMP_DIR"
cp "$WORK/planted.bat" "$BATCH"
cp "$WIN_DIR/record_args.exe" "$TEMP_DIR/cacls.exe"
cp "$SYSTEM_TEMP/cacls.bat" "$TEMP_DIR/cacls.bat"
wine_reg add 'HKCU\Environment' /v TEMP /d "$(winpath "$TEMP_DIR")" /f
wine_reg add 'HKCU\Environment' /v TMP /d "$(winpath "$TEMP_DIR")" /f
install_into "$WORK/plain"
wine_reg import "$(winpath "$WORK/environment.reg")"
check "TEMP is back" [ "$(wine_reg query 'HKCU\Environment' /v TEMP && grep -c 'temp dir' "$WORK/reg.out")" = 0 ]

finish
