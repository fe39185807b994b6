#!/usr/bin/env bash
# fernpack init's folder, packed with no edits, installs under Wine from the menu to the
# completion dialog, and lint finds nothing in it.
source "$(dirname "$0")/lib.sh"
T=$'\t'
title=initgame
drive_c=$WINEPREFIX/drive_c
target="$drive_c/Program Files/MyCompany/$title"
menu_folder="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/MyCompany"
cleanup() {
  rm -rf "$drive_c/Program Files/MyCompany" "$menu_folder" \
    "$drive_c/users/Public/Desktop/$title.LNK"
  "$FERN_WINE" reg delete 'HKCU\Software\MyCompany' /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete 'HKLM\Software\MyCompany' /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$title" \
    /f >/dev/null 2>&1 || true
  remove_new_kept_copies
  rm -rf "$WORK"
}
trap cleanup EXIT

scenario "init, lint and pack with no edits; the package installs"
"$FERNPACK" init "$WORK/$title" > "$WORK/init.log"
check "lint reports nothing" "$FERNPACK" lint "$WORK/$title/install.env" > "$WORK/lint.log"
check "lint's summary" grep -qx "$WORK/$title/install.env: 0 errors, 0 warnings" "$WORK/lint.log"
pack_game "$WORK/$title" "$WORK/setup.exe"
drive <<END || true
launch${T}setup${T}$(winpath "$WORK/setup.exe")
wait-window${T}setup${T}#32770${T}$title スタートアップ${T}60000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
controls
click${T}1
wait-box${T}setup${T}30000
text
click${T}6
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
controls
click${T}1
wait-exit${T}setup${T}30000
END
expect "control${T}1000${T}Edit${T}C:\\Program Files\\MyCompany\\$title"
expect "text${T}[C:\\Program Files\\MyCompany\\$title]にインストールします"
expect "control${T}1007${T}Button${T}お読みください"
expect "exit${T}0"
check "the settings were installed" cmp "$WORK/$title/install.env" "$target/install.env"
check "the readme was installed" cmp "$WORK/$title/readme.txt" "$target/readme.txt"
check "the game shortcut is in the Start menu" [ -f "$menu_folder/$title/$title.LNK" ]
check "the remembered folder was written" \
  "$FERN_WINE" reg query 'HKCU\Software\MyCompany\initgame' /v InstTo > "$WORK/reg.log" 2>&1
finish
