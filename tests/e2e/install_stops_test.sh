#!/usr/bin/env bash
# Installations that stop before anything is installed: Cancel in the folder dialog, No at
# the confirmation, a network path, a drive root (Retry and Cancel), a folder that cannot
# be created, one that cannot be written, and a refused administrator probe. Each says
# why, in order, with the text on the clipboard, and leaves the menu open (or, for Cancel
# at the root message, ends the program with -1); a later attempt then installs.
source "$(dirname "$0")/lib.sh"
T=$'\t'
TITLE='中断テスト'
MENU="$TITLE スタートアップ"
GLOBAL=FernE2EStops
PROGRAMS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
DESKTOP='C:\users\Public\Desktop'
UNINSTALL="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
STOPPED='インストールを中止しました'
NETWORK='ネットワークドライブには対応していません。\nローカルドライブを選択して下さい。'
ROOT='ルートにはインストールできません'
CANNOT_CREATE='インストール先フォルダは無効又は作成できません\nインストールにはAdministrator権限が必要です。'
CANNOT_WRITE='指定された場所には書き込み出来ません。\nインストールにはAdministrator権限が必要です。'
ADMIN='インストールにはAdministrator権限が必要です。'
TOO_LONG='インストール先のフォルダ名が長すぎます。\nもっと短いフォルダを指定して下さい。'

cleanup() {
  rm -rf "$(unix_path "$PROGRAMS")/$TITLE" "$(unix_path "$DESKTOP")/$TITLE.LNK"
  wine_reg delete "HKLM\\Software\\$GLOBAL" /f || true
  wine_reg delete "$UNINSTALL" /f || true
}
cleanup
on_exit cleanup
on_exit remove_new_kept_copies

make_game "$WORK/game" "$TITLE"
cp "$WIN_DIR/record_run.exe" "$WORK/game/game.exe"
printf '%s\r\n' "REG_GLOBAL${T}$GLOBAL" "REG_LOCAL${T}Game" "INSTTO${T}Stops" \
  "EXENAME${T}game.exe" >> "$WORK/game/install.env"
pack_quietly "$WORK/game" "$WORK/setup.exe"
expected=$WORK/expected
"$FERNPACK" extract "$WORK/setup.exe" "$expected" > /dev/null

# A menu; the install button; the folder dialog with <folder> typed in and 次へ pressed.
menu() {
  cat <<END
launch${T}setup${T}$(winpath "$WORK/setup.exe")
wait-window${T}setup${T}#32770${T}${MENU}${T}60000
END
}
folder_dialog() {
  cat <<END
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
controls
type${T}1000${T}$1
click${T}1
END
}
# Reads the message box that is up, presses <button> and waits for it to go.
answer_box() {
  cat <<END
wait-box${T}setup${T}30000
text
clipboard
click${T}$1
wait-closed${T}10000
END
}
menu_again() { echo "wait-window${T}setup${T}#32770${T}${MENU}${T}5000"; }
# The rest of a working installation after the confirmation's Yes.
finish_install() {
  cat <<END
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1007
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
click${T}1
wait-exit${T}setup${T}30000
END
}
clipboards() { sed -n "s/^clipboard\t//p" "$OUT"; }

scenario "Cancel, No, network, roots with Retry, too long, uncreatable, unwritable; then an install"
# 250 bytes: the folder fits, but the probe file's path after it does not.
too_long="C:\\$(printf 'a%.0s' $(seq 247))"
printf 'a file\r\n' > "$WORK/plain.txt"
mkdir -p "$WORK/unwritable/UserAccountCheck.id"  # the write test's probe cannot be made
declined=$(winpath "$WORK/declined")
uncreatable=$(winpath "$WORK/plain.txt/Game")
unwritable=$(winpath "$WORK/unwritable")
good=$(winpath "$WORK/good")
before=$(workfolders)
drive <<END || true
clear-clipboard
$(menu)
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
click${T}2
wait-closed${T}10000
$(answer_box 1)
$(menu_again)
clear-clipboard
$(folder_dialog "$declined")
$(answer_box 7)
$(answer_box 1)
$(menu_again)
$(folder_dialog '\\server\share\Stops')
$(answer_box 1)
$(answer_box 1)
$(menu_again)
$(folder_dialog 'C:\')
$(answer_box 4)
$(answer_box 1)
$(menu_again)
$(folder_dialog 'C:\Games\..')
$(answer_box 4)
$(answer_box 1)
$(menu_again)
$(folder_dialog "$too_long")
$(answer_box 1)
$(answer_box 1)
$(menu_again)
$(folder_dialog "$uncreatable")
$(answer_box 6)
$(answer_box 1)
$(menu_again)
$(folder_dialog "$unwritable")
$(answer_box 6)
$(answer_box 1)
$(menu_again)
$(folder_dialog "$good")
$(answer_box 6)
$(finish_install)
END
expect_texts "$STOPPED" \
  "[$declined]にインストールします" "$STOPPED" \
  "$NETWORK" "$STOPPED" \
  "$ROOT" "$STOPPED" \
  "$ROOT" "$STOPPED" \
  "$TOO_LONG" "$STOPPED" \
  "[$uncreatable]にインストールします" "$CANNOT_CREATE" \
  "[$unwritable]にインストールします" "$CANNOT_WRITE" \
  "[$good]にインストールします"
# The question is not copied: the clipboard keeps what the last error put there.
want=$(printf '%s\n' "$STOPPED" "" "$STOPPED" "$NETWORK" "$STOPPED" "$ROOT" "$STOPPED" \
  "$ROOT" "$STOPPED" "$TOO_LONG" "$STOPPED" "$STOPPED" "$CANNOT_CREATE" "$CANNOT_CREATE" "$CANNOT_WRITE" "$CANNOT_WRITE")
check "the clipboard after each box" [ "$(clipboards)" = "$want" ]
check "the menu stayed open after each stop" \
  [ "$(grep -c "^window${T}${MENU}$" "$OUT")" -ge 9 ]
check "every attempt proposed the default folder again" \
  [ "$(grep -c "^control${T}1000${T}Edit${T}C:\\\\Program Files\\\\Stops$" "$OUT")" -eq 8 ]
check "the too-long folder was not created" [ -z "$(ls -d "$WINEPREFIX"/drive_c/aaaaaaaaaa* 2>/dev/null)" ]
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "No created no folder" [ ! -e "$WORK/declined" ]
check "nothing was written into the unwritable folder" \
  [ "$(ls -A "$WORK/unwritable")" = UserAccountCheck.id ]
check "the last attempt installed every file" same_tree "$expected" "$WORK/good"
# Neither INSTREADMEFL nor HELP_FILE: no readme shortcut.
check_kept_copy "$UNINSTALL" "$expected" "$good"
expect_links "$PROGRAMS\\$TITLE" \
  "$TITLE.LNK${T}$good\\game.exe${T}$good${T}Stops" \
  "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}Stops"

scenario "Cancel at the root message ends the installer with -1"
before=$(workfolders)
drive <<END || true
clear-clipboard
$(menu)
$(folder_dialog 'D:')
wait-box${T}setup${T}30000
text
clipboard
click${T}2
wait-exit${T}setup${T}30000
END
expect_texts "$ROOT"
expect "clipboard${T}$ROOT"
expect "exit${T}-1"
# This road leaves the WorkFolder behind; the test clears it up.
check "the WorkFolder stays" [ "$(workfolders)" -eq "$((before + 1))" ]
find "$(wine_temp_dir)" -maxdepth 1 -name 'TempQVInstallFolder_*' -newer "$WORK/setup.exe" \
  -exec rm -rf {} +

scenario "a refused administrator probe stops before the folder dialog; then it passes"
# The registry refuses an ordinary key below a volatile one: with HKLM\Software\<global>
# volatile, the probe's creation of <global>\Game fails as it does for a user without
# administrator rights. The key lives in the running wine server only, so the driver
# makes it, and removes it, itself.
wine_reg delete "HKLM\\Software\\$GLOBAL" /f || true
rm -rf "$WORK/good"
before=$(workfolders)
drive <<END || true
run${T}"$(winpath "$WIN_DIR/volatile_key.exe")" Software\\$GLOBAL${T}30000
clear-clipboard
$(menu)
click-label${T}インストール
$(answer_box 1)
$(menu_again)
run${T}reg delete HKLM\\Software\\$GLOBAL /f${T}30000
$(folder_dialog "$good")
$(answer_box 6)
$(finish_install)
END
# volatile_key ends with 0 only when the registry refused its ordinary child key.
check "the volatile key refused an ordinary child, and reg removed it" \
  [ "$(sed -n "s/^ran\t//p" "$OUT" | tr '\n' ' ')" = "0 0 " ]
expect_texts "$ADMIN" "[$good]にインストールします"
expect "clipboard${T}$ADMIN"
check "no folder dialog before the message" \
  [ "$(grep -c "^window${T}インストール先のフォルダの指定$" "$OUT")" -eq 1 ]
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "the probe key exists after the second attempt" reg_key_exists "HKLM\\Software\\$GLOBAL\\Game"
check "the second attempt installed every file" same_tree "$expected" "$WORK/good"

scenario "Cancel in the copy window: Yes takes back what the run wrote, No goes on"
# A package whose copy takes a while: four files of 48 MiB that do not compress.
big=$WORK/big-game
cp -a "$WORK/game" "$big"
mkdir -p "$big/data"
for i in 1 2 3 4; do head -c $((48 << 20)) /dev/urandom > "$big/data/b$i.bin"; done
pack_game "$big" "$WORK/big.exe" --level 1 2> "$WORK/pack.err" || cat "$WORK/pack.err" >&2
"$FERNPACK" extract "$WORK/big.exe" "$WORK/big-expected" > /dev/null
fresh="$WORK/cancel-new/Game"             # both levels made by the run
kept_dir="$WORK/cancel-keep"              # the player's folder, with files of their own
finished="$WORK/cancel-no"
mkdir -p "$kept_dir"
printf 'notes\r\n' > "$kept_dir/notes.txt"
printf 'mine\r\n' > "$kept_dir/readme.txt"   # the package has a readme.txt too
echo outside > "$WORK/outside.txt"
# copy_then_cancel <folder> <answer> [<file> <go file>]: the install button, the folder,
# Yes, the copy window; the installer paused (after <file> appeared, when given, and until
# the shell has done its part and made <go file>); Cancel; <answer> to the question.
copy_then_cancel() {
  cat <<END
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
type${T}1000${T}$(winpath "$1")
click${T}1
wait-box${T}setup${T}30000
click${T}6
wait-window${T}setup${T}#32770${T}ファイルのコピー中...${T}60000${T}0
END
  if [ -n "${3:-}" ]; then
    printf '%s\n' "wait-file${T}$(winpath "$3")${T}60000" "pause${T}setup" \
      "wait-file${T}$(winpath "$4")${T}60000"
  else
    printf '%s\n' "pause${T}setup"
  fi
  printf '%s\n' "click${T}2" "resume${T}setup" "wait-box${T}setup${T}30000" text "click${T}$2" \
    "wait-closed${T}10000"
}
{
  echo "clear-clipboard"
  printf '%s\n' "launch${T}setup${T}$(winpath "$WORK/big.exe")" \
    "wait-window${T}setup${T}#32770${T}${MENU}${T}60000"
  copy_then_cancel "$fresh" 6
  answer_box 1
  menu_again
  copy_then_cancel "$kept_dir" 6 "$kept_dir/data/b1.bin" "$WORK/go"
  answer_box 1
  menu_again
  copy_then_cancel "$finished" 7
  finish_install
} > "$WORK/cancel-script.txt"
"$FERN_WINE" "$DRIVER" "$(winpath "$WORK/cancel-script.txt")" > "$OUT.raw" 2>"$WORK/driver.err" &
driver=$!
# The second pause: the one after the run began writing data\b1.bin.
for _ in $(seq 1200); do [ "$(grep -c '^paused' "$OUT.raw" 2>/dev/null)" -ge 2 ] && break; sleep 0.1; done
# While the installer waits: a file of the player's in a folder the run made, and a link
# in place of a file the run wrote, leading out of the folder.
echo player > "$kept_dir/data/player.txt"
rm -f "$kept_dir/game.exe"
ln -s "$WORK/outside.txt" "$kept_dir/game.exe"
touch "$WORK/go"
wait "$driver" || { echo "FAILED: $CURRENT: the driver failed"; cat "$WORK/driver.err" >&2; failures=$((failures + 1)); }
tr -d '\r' < "$OUT.raw" > "$OUT"
sed 's/^/    /' "$OUT"
ASK='インストールを中止しますか？'
expect_texts "$ASK" "$STOPPED" "$ASK" "$STOPPED" "$ASK"
check "after Yes the menu stayed open, twice" [ "$(grep -c "^window${T}${MENU}$" "$OUT")" -ge 3 ]
check "the folders the run made are gone with everything it wrote" [ ! -e "$WORK/cancel-new" ]
check "the player's files stay" test -f "$kept_dir/notes.txt" -a -f "$kept_dir/readme.txt"
check "a file the player put in a folder the run made stays, and so does the folder" \
  test -f "$kept_dir/data/player.txt"
check "the link is not followed: what it leads to is untouched" \
  [ "$(cat "$WORK/outside.txt")" = outside ]
left=$(cd "$kept_dir" && find . -mindepth 1 | LC_ALL=C sort | tr '\n' ' ')
check "nothing else the run wrote is left (left: $left)" \
  [ "$left" = "./data ./data/player.txt ./game.exe ./notes.txt ./readme.txt " ]
check "No let the copy finish: every file installed" same_tree "$WORK/big-expected" "$finished"
expect "exit${T}0"

finish
