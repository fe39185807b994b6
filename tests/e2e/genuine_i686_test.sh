#!/usr/bin/env bash
# The shipped 32-bit programs, build/win32/fernstall.exe and UnInst.exe, on the road a
# player takes, in a 64-bit prefix with its 32-bit half (WoW64), as on 64-bit Windows:
# the menu, a whole installation of the sample disc (the hidden access-grant batch job
# through the 32-bit system folder, the shortcuts, the uninstall
# entry and the transfers, which land in the 32-bit registry view), the installed game
# started from its shortcut's target, and the uninstaller, which must find its entry in
# that view and remove everything. 32-bit Wine comes from the private root
# (scripts/i386-root.sh); where the kernel refuses 32-bit programs, they run under
# qemu-i386.
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/i386-support.sh"
# CTest counts exit code 77 as skipped: neither passed nor failed.
reason=$(fern_i686_unavailable)
if [ -n "$reason" ]; then
  echo "skipped: the 32-bit installer cannot run here: $reason"
  exit 77
fi
export FERN_WOW64=1
export FERN_WIN32_DIR=${FERN_I686_DIR:?the 32-bit build directory}
source "$top/tests/e2e/lib.sh"
T=$'\t'
started=$SECONDS
fern_i386_emulated && echo "32-bit programs run under qemu-i386 here" \
  || echo "32-bit programs run natively here"

TITLE='ふぇるん冒険記'
MENU="$TITLE スタートアップ"
C=$WINEPREFIX/drive_c
FOLDER_WIN='C:\Program Files\FernSoft\FernQuest'
FOLDER=$C/Program\ Files/FernSoft/FernQuest
PROGRAMS=$C/ProgramData/Microsoft/Windows/Start\ Menu/Programs
DESKTOP_LINK=$C/users/Public/Desktop/$TITLE.LNK
ENTRY_32="HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
ENTRY_64="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
SYSWOW64_CACLS=$C/windows/syswow64/cacls.exe
export FERN_RECORD_ARGS
FERN_RECORD_ARGS=$(winpath "$WORK/cacls.log")
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;cacls.exe=n"

cleanup() {
  rm -rf "$C/Program Files/FernSoft" "$PROGRAMS/FernSoft" "$DESKTOP_LINK" "$C/windows/fernquest.ini"
  wine_reg delete "$ENTRY_32" /f || true
  wine_reg delete 'HKLM\Software\Wow6432Node\FernSoft' /f || true
  wine_reg delete 'HKCU\Software\FernSoft' /f || true
  if [ -f "$SYSWOW64_CACLS.fern-saved" ]; then mv -f "$SYSWOW64_CACLS.fern-saved" "$SYSWOW64_CACLS"; fi
}
cleanup
on_exit cleanup
on_exit remove_new_kept_copies

scenario "the programs are the shipped 32-bit ones"
for program in "$STUB" "$WIN_DIR/UnInst.exe" "$WIN_DIR/fernquest.exe"; do
  check "$(basename "$program") is a 32-bit program" \
    grep -q "PE32 executable" <(file "$program")
done

# A 32-bit program's cacls is the one in syswow64; a stand-in there records its command
# line (Wine's own does nothing).
cp -p "$SYSWOW64_CACLS" "$SYSWOW64_CACLS.fern-saved"
cp "$WIN_DIR/record_args.exe" "$SYSWOW64_CACLS"

bash "$FERN_SOURCE_DIR/scripts/sample-disc.sh" "$WIN_DIR" "$WORK/game"
pack_quietly "$WORK/game" "$WORK/setup.exe"
rm -rf "$WORK/expected"
"$FERNPACK" extract "$WORK/setup.exe" "$WORK/expected" > /dev/null

scenario "the menu and a whole installation of the sample disc"
before=$(workfolders)
drive <<END || true
launch${T}setup${T}$(winpath "$WORK/setup.exe")
wait-window${T}setup${T}#32770${T}${MENU}${T}120000
controls
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}60000
controls
click${T}1
wait-box${T}setup${T}60000
text
click${T}6
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}120000
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}60000
click${T}1
wait-exit${T}setup${T}60000
END
expect "control${T}1002${T}Button${T}インストール"
expect "control${T}1000${T}Edit${T}$FOLDER_WIN"
expect "text${T}[$FOLDER_WIN]にインストールします"
expect "exit${T}0"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
check "every file is in the InstallFolder with its stored time" \
  same_tree "$WORK/expected" "$FOLDER"
check "the grant's batch job ran the 32-bit system folder's cacls" wait_for 60 test -s "$WORK/cacls.log"
record=$(head -n 1 "$WORK/cacls.log" 2>/dev/null | tr -d '\r' || true)
check "cacls got the whole folder: $record" [ "$record" = \
  "C:\\windows\\syswow64\\cacls.exe${T}\"C:\\windows\\system32\\cacls.exe\" \"$FOLDER_WIN\" /e /g everyone:F" ]
check_kept_copy "$ENTRY_32" "$WORK/expected" "$FOLDER_WIN"
check "the 32-bit installer keeps it in the 32-bit common files" \
  eval '[[ $KEPT == "C:\\Program Files (x86)\\Common Files\\"* ]]'
expect_links "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\FernSoft\\$TITLE" \
  "$TITLE.LNK${T}$FOLDER_WIN\\fernquest.exe${T}$FOLDER_WIN${T}FernQuest" \
  "$TITLE お読みください.LNK${T}$FOLDER_WIN\\readme.txt${T}$FOLDER_WIN${T}FernQuest" \
  "$TITLE アンインストール.LNK${T}$KEPT${T}${KEPT%\\*}${T}FernQuest"
check "the desktop shortcut" [ -f "$DESKTOP_LINK" ]
expect_reg "$ENTRY_32" "DisplayName=$TITLE" "UninstallString=\"$KEPT\""
check "no uninstall entry in the 64-bit view" not reg_key_exists "$ENTRY_64"
check "the administrator probe key is in the 32-bit view" \
  reg_key_exists 'HKLM\Software\Wow6432Node\FernSoft\FernQuest'
check "no probe key in the 64-bit view" not reg_key_exists 'HKLM\Software\FernSoft'
expect_reg 'HKCU\Software\FernSoft\FernQuest' "InstTo=$FOLDER_WIN" 'IsInst=1' \
  'DiscDrive=E:\' "DataPath=$FOLDER_WIN\\data"
# INI_FILE is a bare name: the Windows folder's, which the 32-bit view shares.
check "the INI file in the Windows folder names the folder" \
  grep -qF "InstallPath=$FOLDER_WIN" <(iconv -f CP932 -t UTF-8 "$C/windows/fernquest.ini" | tr -d '\r')

scenario "the installed game starts"
drive <<END || true
launch${T}game${T}$FOLDER_WIN\\fernquest.exe
wait-window${T}game${T}FernQuestWindow${T}$TITLE${T}60000
post-quit${T}game${T}0
wait-exit${T}game${T}30000
END
expect "exit${T}0"
check "the game wrote its settings file" [ -f "$FOLDER/config.dat" ]
check "the game kept a saved game" test -n "$(ls "$FOLDER"/save/*.sav 2>/dev/null)"

scenario "the protected uninstaller finds its entry in the 32-bit view and removes everything"
drive < <(uninstall_walk "$KEPT" 6 60000) || true
expect "text${T}[$TITLE]をアンインストールします。\\nよろしいですか？"
expect "exit${T}0"
check "the final box names nothing left behind" not grep -q "削除できませんでした" "$OUT"
check "the InstallFolder is gone" [ ! -e "$FOLDER" ]
check "the maker's folder (INSTFOL) stays, emptied" [ -d "$C/Program Files/FernSoft" ]
check "the Start-menu folders are gone" [ ! -e "$PROGRAMS/FernSoft" ]
check "the desktop shortcut is gone" [ ! -e "$DESKTOP_LINK" ]
check "the uninstall entry is gone" not reg_key_exists "$ENTRY_32"
check "the protected copy keeps only its running program, for the next start" \
  [ "$(ls "$KEPT_DIR" 2>/dev/null)" = "UnInst.exe" ]
check "the per-user values are gone" not reg_key_exists 'HKCU\Software\FernSoft'
check "the probe key is gone" not reg_key_exists 'HKLM\Software\Wow6432Node\FernSoft'

echo "the genuine road took $((SECONDS - started)) s"
finish
