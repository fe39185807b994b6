#!/usr/bin/env bash
# The installation from the install button to the completion dialog, checked on the
# machine afterwards: the administrator probe key, the files with their stored times, the
# Start-menu and desktop shortcuts read through the shell link object, the uninstall
# entry, the [ini] and [reg] transfers with and without a CD-ROM drive, the readme, the
# exit code and the WorkFolder. A second installation proposes the remembered folder.
source "$(dirname "$0")/lib.sh"
T=$'\t'
TITLE='道のりテスト'
MENU="$TITLE スタートアップ"
GLOBAL=FernE2ERoad
PROGRAMS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
DESKTOP='C:\users\Public\Desktop'
UNINSTALL="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"

# Everything the scenarios leave in the shared prefix; also run first, in case an earlier
# run was killed before it could clean up.
cleanup() {
  local link
  rm -rf "$WINEPREFIX/drive_c/Program Files/FernE2E" \
    "$(unix_path "$PROGRAMS")/FernE2EGroup" "$(unix_path "$PROGRAMS")/$TITLE" \
    "$(unix_path "$DESKTOP")/$TITLE.LNK"
  wine_reg delete "HKLM\\Software\\$GLOBAL" /f || true
  wine_reg delete "HKCU\\Software\\$GLOBAL" /f || true
  wine_reg delete "$UNINSTALL" /f || true
  for link in "$WINEPREFIX"/dosdevices/?:; do
    case $(readlink "$link") in
      */fern-e2e.*/disc) remove_cdrom_drive "$(basename "$link" :)" ;;
    esac
  done
}
cleanup
on_exit cleanup
on_exit remove_new_kept_copies

# road_game <folder> <INSTTO> <INI file> [settings lines]: a game whose installation
# exercises every step. The game program records a start; the readme lies in a
# sub-folder, which the preview at start-up does not unpack into the WorkFolder.
road_game() {
  local folder=$1 instto=$2 ini=$3
  shift 3
  make_game "$folder" "$TITLE"
  cp "$WIN_DIR/record_run.exe" "$folder/game.exe"
  mkdir -p "$folder/doc" "$folder/data/sub"
  printf 'manual\r\n' > "$folder/doc/manual.txt"
  head -c 70000 /dev/urandom > "$folder/data/big.dat"
  printf 'deep\r\n' > "$folder/data/sub/deep.txt"
  touch -d '2007-09-26 15:32:00 UTC' "$folder/data/big.dat" "$folder/doc/manual.txt"
  touch -d '2011-03-01 08:00:04 UTC' "$folder/data/sub/deep.txt" "$folder/game.exe"
  {
    printf '%s\r\n' "REG_GLOBAL${T}$GLOBAL" "REG_LOCAL${T}Game" "INSTFOL${T}FernE2E" \
      "INSTTO${T}$instto" "EXENAME${T}game.exe" "INSTREADMEFL${T}doc\\manual.txt" \
      "INI_FILE${T}$ini" "INI_SECTION${T}Setting" "$@"
    printf '%s\r\n' '[ini]' 'InstallPath=REP_INSTALL' 'DiscDrive=REP_CDROMDRIVE' \
      'Data=REP_INSTALL\data' 'Twice=REP_CDROMDRIVEx REP_INSTALL;REP_INSTALL' \
      'Raw=REP_CDROM' 'a line without an equals sign' '-'
    printf '%s\r\n' '[reg]' '"InstTo"="REP_INSTALL"' '"IsInst"="1"' \
      '"Save"="REP_INSTALL\\save"' '"Disc"="REP_CDROM"' '"DiscDrive"="REP_CDROMDRIVE"' \
      '"Quoted"="say \"hi\" C:\\x\q"' '"名前"="ソフト\\表"' '"Count"=dword:00000001' \
      '@="a default value in export form"' '-'
  } | iconv -f UTF-8 -t CP932 >> "$folder/install.env"
}

# The values the [ini] and [reg] sections give for an InstallFolder and a CD-ROM root.
expect_transfers() {
  local folder=$1 root=$2 ini=$3
  check "the INI file was written" [ -f "$ini" ]
  local want got
  want=$(printf '%s\n' '[Setting]' "InstallPath=$folder" "DiscDrive=$root" \
    "Data=$folder\\data" "Twice=${root}x $folder;REP_INSTALL" 'Raw=REP_CDROM')
  got=$(iconv -f CP932 -t UTF-8 "$ini" 2>/dev/null | tr -d '\r' | sed '/^$/d')
  if [ "$got" != "$want" ]; then
    echo "FAILED: $CURRENT: INI file:"
    printf '%s\n' "$got" | sed 's/^/      /'
    echo "    expected:"
    printf '%s\n' "$want" | sed 's/^/      /'
    failures=$((failures + 1))
  fi
  expect_reg "HKCU\\Software\\$GLOBAL\\Game" "InstTo=$folder" 'IsInst=1' \
    "Save=$folder\\save" "Disc=$root" "DiscDrive=${root}DRIVE" \
    'Quoted=say "hi" C:\xq' '名前=ソフト\表'
}

# The files of the package, as fernpack unpacks them with their stored times.
expected_files() {
  rm -rf "$WORK/expected"
  "$FERNPACK" extract "$1" "$WORK/expected" > /dev/null
  echo "$WORK/expected"
}

scenario "the whole road: the proposal, INST_GROUP, a CD-ROM drive, desktop shortcut, readme"
mkdir -p "$WORK/disc"
letter=$(add_cdrom_drive "$WORK/disc")
check "drive $letter: is a CD-ROM drive to Windows" grep -qx "$letter 5" <(drive_types)
root=$(cdrom_root_now)
check "the first CD-ROM drive is $letter:" [ "$root" = "$letter:\\" ]
ini=$WORK/road.ini
road_game "$WORK/road" Road "$(winpath "$ini")" "INST_GROUP${T}FernE2EGroup" \
  "INSTREADME${T}説明書"
pack_quietly "$WORK/road" "$WORK/road.exe"
folder='C:\Program Files\FernE2E\Road'
before=$(workfolders)
drive <<END || true
clear-clipboard
launch${T}setup${T}$(winpath "$WORK/road.exe")
wait-window${T}setup${T}#32770${T}${MENU}${T}60000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
controls
click${T}1
wait-box${T}setup${T}30000
caption
text
clipboard
click${T}6
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
controls
click${T}1007
click${T}1
wait-window${T}*${T}Notepad${T}*${T}30000
close
wait-exit${T}setup${T}30000
END
expect "control${T}1000${T}Edit${T}$folder"
expect "caption${T}$MENU"
expect "text${T}[$folder]にインストールします"
expect "clipboard${T}"  # a question is not copied
expect "control${T}1007${T}Button${T}説明書"
# doc\manual.txt exists only in the InstallFolder: notepad found it because the installer
# made that folder current before opening the readme.
expect "window${T}manual.txt - メモ帳"
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "the administrator probe key exists" reg_key_exists "HKLM\\Software\\$GLOBAL\\Game"
installed=$(unix_path "$folder")
check "every file is in the InstallFolder with its stored time" \
  same_tree "$(expected_files "$WORK/road.exe")" "$installed"
check "stored times are the game folder's" \
  [ "$(stat -c %Y "$installed/data/big.dat")" = "$(stat -c %Y "$WORK/road/data/big.dat")" ]
check "the game was not started" [ ! -e "$installed/game.exe.ran" ]
check_kept_copy "$UNINSTALL" "$(expected_files "$WORK/road.exe")" "$folder"
expect_links "$PROGRAMS\\FernE2EGroup\\$TITLE" \
  "$TITLE.LNK${T}$folder\\game.exe${T}$folder${T}Road" \
  "$TITLE 説明書.LNK${T}$folder\\doc\\manual.txt${T}$folder\\doc${T}Road" \
  "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}Road"
expect_links "$DESKTOP" "$TITLE.LNK${T}$folder\\game.exe${T}$folder${T}Road"
expect_reg "$UNINSTALL" "DisplayName=$TITLE" "UninstallString=\"$KEPT\""
first_kept=$KEPT_DIR
expect_transfers "$folder" "$root" "$ini"
remove_cdrom_drive "$letter"

scenario "a second installation proposes the remembered folder; no group, no desktop, no readme"
rm -f "$(unix_path "$DESKTOP")/$TITLE.LNK"
root=$(cdrom_root_now)
check "no CD-ROM drive: the token stands for E:\\" [ "$root" = 'E:\' ]
ini=$WORK/second.ini
road_game "$WORK/second" Second "$(winpath "$ini")" "INSTREADME${T}説明書"
pack_quietly "$WORK/second" "$WORK/second.exe"
second=$(winpath "$WORK/second-install")
before=$(workfolders)
drive <<END || true
launch${T}setup${T}$(winpath "$WORK/second.exe")
wait-window${T}setup${T}#32770${T}${MENU}${T}60000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
controls
type${T}1000${T}$second
click${T}1
wait-box${T}setup${T}30000
text
click${T}6
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1007
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
click${T}1
wait-exit${T}setup${T}30000
expect-no-window${T}*${T}Notepad${T}3000
END
# The proposal would be C:\Program Files\FernE2E\Second.
expect "control${T}1000${T}Edit${T}$folder"
expect "text${T}[$second]にインストールします"
expect "exit${T}0"
expect "no-window${T}Notepad"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "every file is in the InstallFolder with its stored time" \
  same_tree "$(expected_files "$WORK/second.exe")" "$WORK/second-install"
check "the game was not started" [ ! -e "$WORK/second-install/game.exe.ran" ]
# The title's entry starts the new installation's copy; the one it started before is gone.
check_kept_copy "$UNINSTALL" "$(expected_files "$WORK/second.exe")" "$second"
check "the first installation's protected copy is replaced" \
  test -n "$first_kept" -a ! -e "$first_kept" -a "$first_kept" != "$KEPT_DIR"
expect_links "$PROGRAMS\\$TITLE" \
  "$TITLE.LNK${T}$second\\game.exe${T}$second${T}Second" \
  "$TITLE 説明書.LNK${T}$second\\doc\\manual.txt${T}$second\\doc${T}Second" \
  "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}Second"
check "no desktop shortcut" [ ! -e "$(unix_path "$DESKTOP")/$TITLE.LNK" ]
expect_reg "$UNINSTALL" "DisplayName=$TITLE" "UninstallString=\"$KEPT\""
expect_transfers "$second" 'E:\' "$ini"

finish
