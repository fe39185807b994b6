#!/usr/bin/env bash
# On Windows XP the shortcuts go to the current user's Start menu and desktop, not to the
# all-users folders of later Windows: the prefix's Windows version is set to XP for the
# duration of the test.
source "$(dirname "$0")/lib.sh"
T=$'\t'
TITLE='旧版テスト'
GLOBAL=FernE2EXP
COMMON_PROGRAMS='C:\ProgramData\Microsoft\Windows\Start Menu\Programs'
COMMON_DESKTOP='C:\users\Public\Desktop'
UNINSTALL="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
USER_PROGRAMS=$(special_folder 2)
USER_DESKTOP=$(special_folder 16)

# The version setting as it was, restored at the end.
saved_version=$(wine_reg query 'HKCU\Software\Wine' /v Version && \
  sed -n 's/^ *Version *REG_SZ *//p' "$WORK/reg.out" || true)
restore_version() {
  if [ -n "$saved_version" ]; then
    wine_reg add 'HKCU\Software\Wine' /v Version /d "$saved_version" /f
  else
    wine_reg delete 'HKCU\Software\Wine' /v Version /f || true
  fi
}
cleanup() {
  local folder
  for folder in "$COMMON_PROGRAMS" "$USER_PROGRAMS"; do rm -rf "$(unix_path "$folder")/$TITLE"; done
  for folder in "$COMMON_DESKTOP" "$USER_DESKTOP"; do rm -f "$(unix_path "$folder")/$TITLE.LNK"; done
  wine_reg delete "HKLM\\Software\\$GLOBAL" /f || true
  wine_reg delete "$UNINSTALL" /f || true
}
cleanup
on_exit cleanup
on_exit remove_new_kept_copies
on_exit restore_version

make_game "$WORK/game" "$TITLE"
cp "$WIN_DIR/record_run.exe" "$WORK/game/game.exe"
printf '%s\r\n' "REG_GLOBAL${T}$GLOBAL" "REG_LOCAL${T}Game" "INSTTO${T}Old" \
  "EXENAME${T}game.exe" "INSTREADMEFL${T}readme.txt" >> "$WORK/game/install.env"
pack_quietly "$WORK/game" "$WORK/setup.exe"

scenario "Windows XP: Start-menu and desktop shortcuts in the current user's folders"
wine_reg add 'HKCU\Software\Wine' /v Version /d winxp /f
folder=$(winpath "$WORK/xp")
before=$(workfolders)
drive <<END || true
$(walk_to_copy "$WORK/setup.exe" "$TITLE" "$folder")
$(walk_from_copy 60000 1)
END
restore_version
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
"$FERNPACK" extract "$WORK/setup.exe" "$WORK/expected" > /dev/null
check_kept_copy "$UNINSTALL" "$WORK/expected" "$folder"
expect_links "$USER_PROGRAMS\\$TITLE" \
  "$TITLE.LNK${T}$folder\\game.exe${T}$folder${T}Old" \
  "$TITLE お読みください.LNK${T}$folder\\readme.txt${T}$folder${T}Old" \
  "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}Old"
check "the desktop shortcut is on the user's desktop" \
  grep -qxF "$TITLE.LNK${T}$folder\\game.exe${T}$folder${T}Old" <(links_in "$USER_DESKTOP")
check "nothing in the all-users Start menu" [ ! -e "$(unix_path "$COMMON_PROGRAMS")/$TITLE" ]
check "nothing on the all-users desktop" [ ! -e "$(unix_path "$COMMON_DESKTOP")/$TITLE.LNK" ]
check "the version setting is back" [ "$(wine_reg query 'HKCU\Software\Wine' /v Version && \
  sed -n 's/^ *Version *REG_SZ *//p' "$WORK/reg.out")" = "$saved_version" ]

finish
