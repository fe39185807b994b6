#!/usr/bin/env bash
# The main menu of the real installer: the button column for each combination of a
# DirectX folder on the disc and a readme label, the keyboard focus, Esc, the close box,
# the exit, readme, DirectX and install buttons, and a WM_QUIT while the menu is open.
source "$(dirname "$0")/lib.sh"
T=$'\t'

# disc <folder> <readme label or -> [extras]: a game packed as <folder>/setup.exe, as on
# a disc. Extras: "directx", a DirectX folder beside it whose dxsetup.exe records that it
# ran; "directx-file", a plain file named DirectX there; "bad-picture", a menu picture
# that does not decode.
disc() {
  local folder=$1 readme=$2 extra
  shift 2
  mkdir -p "$folder"
  make_game "$folder/game" "メニュー試験"
  if [ "$readme" != - ]; then
    printf 'INSTREADME\t%s\r\nINSTREADMEFL\tmanual.txt\r\n' "$readme" \
      | iconv -f UTF-8 -t CP932 >> "$folder/game/install.env"
    printf 'manual\r\n' > "$folder/game/manual.txt"
  fi
  for extra in "$@"; do
    case $extra in
      directx) mkdir -p "$folder/DirectX" && cp "$WIN_DIR/record_run.exe" "$folder/DirectX/dxsetup.exe" ;;
      directx-file) printf 'x' > "$folder/DirectX" ;;
      bad-picture) rm -f "$folder/game/insttscr.png" && printf 'not a picture' > "$folder/game/insttscr.rct" ;;
    esac
  done
  case " $* " in
    *" bad-picture "*) "$(dirname "$FERNPACK")/pack_unreviewed" "$folder/game" "$folder/setup.exe" "$STUB" ;;
    *) pack_game "$folder/game" "$folder/setup.exe" ;;
  esac
}

# The column as the driver saw it, from the bottom up: "<id> <label>" per line.
column() {
  { grep "^control-y${T}" "$OUT" || true; } | sort -t"$T" -k3,3nr | cut -f2,4
}

expect_column() {
  local want
  want=$(printf '%s\n' "$@")
  if [ "$(column)" != "$want" ]; then
    echo "FAILED: $CURRENT: column from the bottom up:"
    column | sed 's/^/      /'
    echo "    expected:"
    printf '%s\n' "$want" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
}

open_menu() {
  cat <<END
launch${T}setup${T}$(winpath "$1/setup.exe")
wait-window${T}setup${T}#32770${T}メニュー試験 スタートアップ${T}60000
controls-y
focus
END
}

scenario "DirectX folder and readme: four buttons; readme, DirectX, Esc, then exit"
disc "$WORK/full" "お読みください" directx
before=$(workfolders)
drive <<END || true
$(open_menu "$WORK/full")
click${T}1002
wait-window${T}*${T}Notepad${T}*${T}30000
close
sleep${T}2000
wait-window${T}setup${T}#32770${T}メニュー試験 スタートアップ${T}5000
click${T}1001
sleep${T}2000
key${T}27
sleep${T}500
wait-window${T}setup${T}#32770${T}メニュー試験 スタートアップ${T}10000
click${T}1000
wait-exit${T}setup${T}20000
END
expect_column "1000${T}終了" "1001${T}DirectXインストール" "1002${T}お読みください" \
  "1003${T}インストール"
expect "focus${T}1003"
# Wine's notepad shows the document's name in its caption.
check "the readme named by INSTREADMEFL opened from the WorkFolder" \
  grep -q "^window${T}manual.txt" "$OUT"
expect "exit${T}0"
marker="$WORK/full/DirectX/dxsetup.exe.ran"
check "dxsetup.exe beside the installer ran" [ -f "$marker" ]
check "dxsetup.exe ran in the installer's current folder" \
  grep -q "^folder${T}.*TempQVInstallFolder_" "$marker"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]

scenario "DirectX folder, no readme: exit, DirectX, install; the close box ends with 0"
disc "$WORK/dx" - directx
before=$(workfolders)
drive <<END || true
$(open_menu "$WORK/dx")
close
wait-exit${T}setup${T}20000
END
expect_column "1000${T}終了" "1001${T}DirectXインストール" "1002${T}インストール"
expect "focus${T}1002"
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "dxsetup.exe did not run" [ ! -e "$WORK/dx/DirectX/dxsetup.exe.ran" ]

scenario "readme, no DirectX folder: an install that stops keeps the menu; WM_QUIT ends it"
disc "$WORK/readme" "説明書"
before=$(workfolders)
drive <<END || true
$(open_menu "$WORK/readme")
click${T}1002
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}20000
click${T}2
wait-box${T}setup${T}20000
text
click${T}1
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}メニュー試験 スタートアップ${T}10000
controls
post-quit${T}setup${T}7
wait-exit${T}setup${T}20000
END
expect_column "1000${T}終了" "1001${T}説明書" "1002${T}インストール"
expect "text${T}インストールを中止しました"
expect "control${T}1002${T}Button${T}インストール"
expect "exit${T}7"
# A WM_QUIT leaves the WorkFolder behind; the test clears it up.
check "the WorkFolder stays" [ "$(workfolders)" -eq "$((before + 1))" ]
find "$(wine_temp_dir)" -maxdepth 1 -name 'TempQVInstallFolder_*' -newer "$WORK/readme/setup.exe" \
  -exec rm -rf {} +

scenario "neither (a plain file named DirectX is no folder), no picture: exit and install"
disc "$WORK/plain" - directx-file bad-picture
before=$(workfolders)
drive <<END || true
$(open_menu "$WORK/plain")
click${T}1000
wait-exit${T}setup${T}20000
END
expect_column "1000${T}終了" "1001${T}インストール"
expect "focus${T}1001"
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]

finish
