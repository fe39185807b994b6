#!/usr/bin/env bash
# Start-up of the real installer: the preview, the missing-settings and damaged-package
# messages (text, caption, clipboard), exit codes and the removal of the WorkFolder.
source "$(dirname "$0")/lib.sh"
T=$'\t'
craft() { python3 "$FERN_SOURCE_DIR/tests/e2e/craft_package.py" "$STUB" "$@"; }
missing_text='起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。'
damaged_text='ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。'

# expect_failure_box <package> <text>: the box shows the text with an empty caption, the
# clipboard holds the same text, OK ends the installer with -1 and its WorkFolder is gone.
expect_failure_box() {
  local package=$1 text=$2 before
  before=$(workfolders)
  drive <<END || return 0
clear-clipboard
launch${T}setup${T}$(winpath "$package")
wait-box${T}setup${T}60000
caption
text
clipboard
click${T}1
wait-exit${T}setup${T}60000
END
  expect "caption${T}"
  expect "text${T}${text}"
  expect "clipboard${T}${text}"
  expect "exit${T}-1"
  check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
}

scenario "a sound package starts, unpacks its preview, shows the menu and ends with 0"
make_game "$WORK/game"
mkdir -p "$WORK/game/manual"
printf 'help\r\n' > "$WORK/game/manual/help.txt"
pack_game "$WORK/game" "$WORK/sound.exe"
before=$(workfolders)
drive <<END || true
launch${T}setup${T}$(winpath "$WORK/sound.exe")
wait-window${T}setup${T}#32770${T}テストゲーム スタートアップ${T}60000
close
wait-exit${T}setup${T}60000
END
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]

scenario "a package without install.env"
mkdir -p "$WORK/nosettings"
printf 'readme\r\n' > "$WORK/nosettings/readme.txt"
"$(dirname "$FERNPACK")/pack_unreviewed" "$WORK/nosettings" "$WORK/nosettings.exe" "$STUB"
expect_failure_box "$WORK/nosettings.exe" "$missing_text"

scenario "a truncated archive"
craft "$WORK/truncated.exe" 'file:install.env=TITLEBAR x' 'file:readme.txt=hello' --truncate 9
expect_failure_box "$WORK/truncated.exe" "$damaged_text"

scenario "an archive start outside the file"
craft "$WORK/badstart.exe" 'file:install.env=TITLEBAR x' --start 4000000000
expect_failure_box "$WORK/badstart.exe" "$damaged_text"

scenario "a name that climbs out of the WorkFolder is refused before anything is written"
craft "$WORK/escape.exe" 'file:install.env=TITLEBAR x' 'file:..\escaped.txt=gotcha'
expect_failure_box "$WORK/escape.exe" "$damaged_text"
check "nothing written beside the WorkFolder" [ ! -e "$(wine_temp_dir)/escaped.txt" ]

scenario "a zlib stream that ends before its packed size"
craft "$WORK/short.exe" 'rawfile:install.env=TITLEBAR x:7'
expect_failure_box "$WORK/short.exe" "$damaged_text"

finish
