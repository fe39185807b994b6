#!/usr/bin/env bash
# The uninstaller, UnInst.exe, under Wine: the sample is installed with the real installer
# (driven through its windows), which keeps a protected copy of the uninstaller that the
# uninstall entry and the Start-menu shortcut start:
#   1. the InstallFolder's UnInst.exe, started while the game holds one of its files, hands
#      over to the protected copy; with hostile [delfiles] lines, answering No to the saved
#      games: the held file and the uninstallers stay and are reported, nothing outside
#      the folder is touched, the saved game stays;
#   2. after the game has ended, and after another user replaced the folder's UnInst.exe,
#      install.env and UnInst.lst, the protected copy again, answering Yes: none of the
#      replaced files is run or believed, nothing of the game is left (files, shortcuts,
#      uninstall entry, per-user values), a file of the player's survives, and the copy is
#      registered for deletion at the next start of Windows;
#   3. the folder's own UnInst.exe in the emptied folder (no protected copy is left) ends
#      cleanly through a temp copy and keeps the per-user values that another installation
#      of the title owns; a second instance is refused, and so are a hand-over to a folder
#      that is no installation and one that waits too long;
#   4. links planted in the folder (a saved-games folder, the data folder, a listed file)
#      lead nowhere: what lies behind them stays and the final box names them; in a shared
#      folder (the all-users music folder) the listed files go but no pattern is used;
#   5. without install.env it says so and deletes nothing.
# Everything it adds to the prefix is removed at the end.
source "$FERN_SOURCE_DIR/tests/e2e/lib.sh"

UNINST=$WIN_DIR/UnInst.exe
T=$'\t'
TITLE=アンインストール試験
MAKER=FernUninstTest
C=$WINEPREFIX/drive_c
BASE_WIN='C:\Fern Uninstall'
BASE=$C/Fern\ Uninstall
FOLDER_WIN="$BASE_WIN\\試験 ゲーム"
FOLDER=$BASE/試験\ ゲーム
PROGRAMS=$C/ProgramData/Microsoft/Windows/Start\ Menu/Programs
DESKTOP_LINK=$C/users/Public/Desktop/$TITLE.LNK
ENTRY="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$TITLE"
PENDING_KEY='HKLM\System\CurrentControlSet\Control\Session Manager'
TEMP_DIR=$(wine_temp_dir)
# Where an INST_GROUP of "..\..\..\Fern Outside" would lead from the Start menu's programs.
OUTSIDE_GROUP=$C/ProgramData/Microsoft/Fern\ Outside
SHARED_WIN='C:\users\Public\Music'
SHARED=$C/users/Public/Music
SHARED_NAMES="data manual logs save readme.txt insttscr.rct insttscr.png install.env UnInst.exe UnInst.lst other.txt"
shared_before=$(ls -A "$SHARED" 2>/dev/null || true)

reg_has() { "$FERN_WINE" reg query "$@" >/dev/null 2>&1; }
had_pending=0
reg_has "$PENDING_KEY" /v PendingFileRenameOperations && had_pending=1
copies_before=$(cd "$TEMP_DIR" 2>/dev/null && ls -d FernUninstall_* 2>/dev/null || true)

restore_prefix() {
  rm -rf "$BASE" "$PROGRAMS/$MAKER" "$DESKTOP_LINK" "$C/fern_victim.txt" "$OUTSIDE_GROUP"
  "$FERN_WINE" reg delete 'HKCU\Software\FernVictim' /f >/dev/null 2>&1 || true
  remove_new_kept_copies
  find "$TEMP_DIR" -maxdepth 1 -name 'UnInst_*' -delete 2>/dev/null || true
  local name
  for name in $SHARED_NAMES; do
    grep -qxF "$name" <<<"$shared_before" || rm -rf "${SHARED:?}/$name"
  done
  "$FERN_WINE" reg delete "$ENTRY" /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete "HKCU\\Software\\$MAKER" /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete "HKLM\\Software\\$MAKER" /f >/dev/null 2>&1 || true
  # The temp copies that this run registered for deletion at the next start of Windows.
  for name in $(cd "$TEMP_DIR" 2>/dev/null && ls -d FernUninstall_* 2>/dev/null); do
    grep -qxF "$name" <<<"$copies_before" || rm -rf "${TEMP_DIR:?}/$name"
  done
  if [ "$had_pending" -eq 0 ]; then
    "$FERN_WINE" reg delete "$PENDING_KEY" /v PendingFileRenameOperations /f >/dev/null 2>&1 || true
  fi
  rm -rf "$WORK"
}
trap restore_prefix EXIT

# The sample game with its own title, maker and registry names, a folder chosen as typed,
# and [delfiles] lines that try to leave the InstallFolder beside two honest ones.
game=$WORK/game
cp -a "$FERN_SOURCE_DIR/sample/game" "$game"
iconv -f UTF-8 -t CP932 > "$game/install.env" <<END
TITLEBAR	$TITLE
REG_GLOBAL	$MAKER
REG_LOCAL	Game
INST_GROUP	$MAKER
INSTTO	Game
EXENAME	fernquest.exe
INSTMAKEFOL	0
INSTREADMEFL	readme.txt
INI_FILE	-

[delfiles]
fernquest.ini
logs\\*.log
..\\outside.txt
C:\\fern_victim.txt
\\fern_victim.txt
*\\fern_victim.txt
-
[delfiles_user]
save\\*.sav
-
[reg]
"InstTo"="REP_INSTALL"
"IsInst"="1"
-
END
sed -i 's/$/\r/' "$game/install.env"
pack_game "$game" "$WORK/setup.exe" --uninstaller "$UNINST"
"$FERNPACK" extract "$WORK/setup.exe" "$WORK/again" >/dev/null

scenario "the installation that the uninstaller removes"
mkdir -p "$BASE"
drive <<END
launch${T}setup${T}$(winpath "$WORK/setup.exe")
wait-window${T}setup${T}#32770${T}$TITLE スタートアップ${T}60000
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
type${T}1000${T}$FOLDER_WIN
click${T}1
wait-closed${T}10000
wait-box${T}setup${T}30000
click${T}6
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
click${T}1
wait-closed${T}10000
wait-exit${T}setup${T}30000
END
expect "exit${T}0"
for f in UnInst.exe UnInst.lst install.env readme.txt insttscr.rct data/music.ogg data/stage1/map.dat; do
  check "installed: $f" [ -f "$FOLDER/$f" ]
done
check_kept_copy "$ENTRY" "$WORK/again" "$FOLDER_WIN"
check "the uninstaller's shortcut starts the protected copy" \
  grep -qF "$TITLE アンインストール.LNK${T}$KEPT${T}" <(links_in "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\$MAKER\\$TITLE")
check "the desktop shortcut" [ -f "$DESKTOP_LINK" ]
check "the per-user values" reg_has "HKCU\\Software\\$MAKER\\Game" /v InstTo

# What the player and the game added, and what lies outside the folder.
mkdir -p "$FOLDER/save" "$FOLDER/logs"
echo save > "$FOLDER/save/slot1.sav"
echo log > "$FOLDER/logs/a.log"
echo ini > "$FOLDER/fernquest.ini"
echo mine > "$FOLDER/mynotes.txt"
echo outside > "$BASE/outside.txt"
echo victim > "$C/fern_victim.txt"
cp "$WIN_DIR/hold_file.exe" "$WORK/hold_file.exe"
printf '%s\n' "$FOLDER_WIN\\data\\music.ogg" > "$WORK/hold_file.exe.target"

scenario "the game is running: the file in use and the uninstallers stay; hostile lines are refused"
drive <<END
launch${T}game${T}$(winpath "$WORK/hold_file.exe")
wait-window${T}game${T}*${T}hold_file${T}20000
clear-clipboard
launch${T}un${T}$FOLDER_WIN\\UnInst.exe
wait-exit${T}un${T}30000
wait-box${T}*${T}30000
caption
text
click${T}6
wait-closed${T}10000
wait-box${T}*${T}30000
text
click${T}7
wait-closed${T}10000
wait-box${T}*${T}30000
caption
text
clipboard
click${T}1
wait-closed${T}10000
wait-no-process${T}UnInst${T}20000
post-quit${T}game${T}0
wait-exit${T}game${T}10000
END
expect "caption${T}$TITLE"
expect "text${T}[$TITLE]をアンインストールします。\\nよろしいですか？"
expect "text${T}セーブデータなど、ゲーム中に作成されたファイルも削除しますか？\\n「いいえ」を選ぶと、これらのファイルは残ります。"
expect "exit${T}0"
grep -q "^text${T}アンインストールを終えましたが、次のものは削除できませんでした。\\\\n  data\\\\music.ogg（使用中" "$OUT" \
  || { echo "FAILED: $CURRENT: the final box does not name the file in use"; failures=$((failures + 1)); }
for line in '..\outside.txt（フォルダの外を指す ".."）' 'C:\fern_victim.txt（ドライブ名）' \
            '\fern_victim.txt（絶対パス）' '*\fern_victim.txt（フォルダ名にワイルドカード）'; do
  check "the final box lists the refused line $line" grep -qF -- "  $line" "$OUT"
done
check "the final box asks for a rerun" grep -qF "もう一度アンインストールを実行してください" "$OUT"
check "the final box's text is on the clipboard" grep -q "^clipboard${T}アンインストールを終えましたが" "$OUT"
check "the file in use stays" [ -f "$FOLDER/data/music.ogg" ]
for f in readme.txt insttscr.rct data/script01.txt data/stage1/map.dat fernquest.ini logs/a.log; do
  check "removed: $f" [ ! -e "$FOLDER/$f" ]
done
check "emptied folders are removed" test ! -e "$FOLDER/data/stage1" -a ! -e "$FOLDER/logs"
check "the saved game stays after No" [ -f "$FOLDER/save/slot1.sav" ]
for f in UnInst.exe UnInst.lst install.env; do check "kept for a rerun: $f" [ -f "$FOLDER/$f" ]; done
check "the protected copy is kept for a rerun" kept_files_are "$WORK/again" "$FOLDER_WIN"
check "no temp copy was made: the protected copy did the work" \
  [ "$(cd "$TEMP_DIR" && ls -d FernUninstall_* 2>/dev/null)" = "$copies_before" ]
check "the uninstall entry stays for a rerun" reg_has "$ENTRY"
check "the uninstaller's shortcut stays" [ -f "$PROGRAMS/$MAKER/$TITLE/$TITLE アンインストール.LNK" ]
check "the game's shortcut is gone" [ ! -e "$PROGRAMS/$MAKER/$TITLE/$TITLE.LNK" ]
check "the desktop shortcut is gone" [ ! -e "$DESKTOP_LINK" ]
check "nothing outside the folder is touched" test -f "$BASE/outside.txt" -a -f "$C/fern_victim.txt"

scenario "another user replaced the folder's uninstaller, list and settings: the protected copy believes none"
# A program in place of UnInst.exe that would run with administrator rights; a list and
# [delfiles] that name the player's file; settings that point the [reg] removal at
# another program's values and the shortcuts at another folder.
cp "$WIN_DIR/record_run.exe" "$FOLDER/UnInst.exe"
printf 'mynotes.txt\r\n' >> "$FOLDER/UnInst.lst"
iconv -f UTF-8 -t CP932 > "$FOLDER/install.env" <<END
TITLEBAR	Fern Other Title
REG_GLOBAL	FernVictim
REG_LOCAL	App
INST_GROUP	..\\..\\..\\Fern Outside
[delfiles]
mynotes.txt
-
[reg]
"Keep"="1"
-
END
sed -i 's/$/\r/' "$FOLDER/install.env"
"$FERN_WINE" reg add 'HKCU\Software\FernVictim\App' /v Keep /d 1 /f >/dev/null 2>&1
drive < <(uninstall_walk "$KEPT" 6)
# The copy itself was started: it ends with 1, since the final box lists refused lines.
expect "exit${T}1"
check "the replaced UnInst.exe never ran" [ ! -e "$FOLDER/UnInst.exe.ran" ]
check "the values that the replaced settings name stay" \
  reg_has 'HKCU\Software\FernVictim\App' /v Keep
check "the final box names no remaining file" not grep -q "削除できませんでした" "$OUT"
check "the final box says the folder stays for the player's file" \
  grep -qF "フォルダ[$FOLDER_WIN]には、ほかのファイルが残っているため、フォルダは残しました。" "$OUT"
left=$(cd "$FOLDER" && find . -mindepth 1 | sort | tr '\n' ' ')
check "everything of the game goes, the player's file stays (left: $left)" [ "$left" = "./mynotes.txt " ]
check "nothing outside the folder is touched" test -f "$BASE/outside.txt" -a -f "$C/fern_victim.txt"
check "the Start-menu folders are gone" [ ! -e "$PROGRAMS/$MAKER" ]
check "the uninstall entry is gone" not reg_has "$ENTRY"
check "the per-user values and keys are gone" not reg_has "HKCU\\Software\\$MAKER"
check "the administrator probe's empty key is gone" not reg_has "HKLM\\Software\\$MAKER"
check "the protected copy's list, settings and folder file are gone" \
  [ "$(ls "$KEPT_DIR" 2>/dev/null)" = "UnInst.exe" ]
"$FERN_WINE" reg query "$PENDING_KEY" /v PendingFileRenameOperations > "$WORK/pending.txt" 2>&1 || true
check "the protected copy and its folder go when Windows next starts" \
  eval 'grep -qiF "${KEPT#C:}" "$WORK/pending.txt" &&
        [ "$(grep -oiF "${KEPT_DIR##*/}" "$WORK/pending.txt" | wc -l)" -ge 2 ]'

scenario "a second run with the game already gone ends cleanly; a second instance is refused"
cp "$WORK/again/UnInst.exe" "$WORK/again/UnInst.lst" "$WORK/again/install.env" "$FOLDER/"
drive <<END
hold-mutex${T}$TITLE アンインストール
launch${T}twice${T}$FOLDER_WIN\\UnInst.exe
wait-box${T}twice${T}30000
text
click${T}1
wait-closed${T}10000
wait-exit${T}twice${T}30000
END
expect "text${T}[ $TITLE アンインストール ] は既に起動中です"
expect "exit${T}0"
check "the refused second instance removed nothing" [ -f "$FOLDER/UnInst.lst" ]

# Hand-overs that must not be followed: a folder that is no absolute one, one without an
# uninstaller, and a valid one while another run holds the title (the wait is bounded).
bad_order='アンインストールの指示が正しくないため、何も削除せずに終了します。'
drive <<END
launch-with${T}dots${T}$FOLDER_WIN\\UnInst.exe${T}/fern-uninstall 0 0 "..\\.."
wait-box${T}dots${T}30000
text
click${T}1
wait-exit${T}dots${T}30000
launch-with${T}bare${T}$FOLDER_WIN\\UnInst.exe${T}/fern-uninstall 0 0 "$BASE_WIN"
wait-box${T}bare${T}30000
text
click${T}1
wait-exit${T}bare${T}30000
hold-mutex${T}$TITLE アンインストール
launch-with${T}held${T}$FOLDER_WIN\\UnInst.exe${T}/fern-uninstall 0 0 "$FOLDER_WIN"
wait-box${T}held${T}60000
text
click${T}1
wait-exit${T}held${T}30000
END
check "both refused orders say so" [ "$(grep -cxF "text${T}$bad_order" "$OUT")" = 2 ]
expect "text${T}別のアンインストールが終わらないため、何も削除せずに終了しました。\\nしばらくしてから、もう一度実行してください。"
check "every refused hand-over ended with -1" [ "$(grep -cx "exit${T}-1" "$OUT")" = 3 ]
check "nothing was removed" test -f "$FOLDER/UnInst.lst" -a -f "$FOLDER/mynotes.txt" -a -f "$BASE/outside.txt"
# Nor is anything of the folder's to go when Windows next starts: an order given to the
# folder's own program by hand does not make it a temp copy.
wine_reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations || true
check "no deletion at the next start names the folder's uninstaller" \
  not grep -qaF 'Fern Uninstall' "$WORK/reg.out"

# Another installation of the title, elsewhere, owns the per-user values now. No
# protected copy is left, so the folder's UnInst.exe works through a temp copy.
"$FERN_WINE" reg add "HKCU\\Software\\$MAKER\\Game" /v InstTo /d 'C:\Other Place\Game' /f >/dev/null 2>&1
"$FERN_WINE" reg add "HKCU\\Software\\$MAKER\\Game" /v IsInst /d 1 /f >/dev/null 2>&1
# A folder file planted beside it, as if it were a protected copy, to aim it elsewhere;
# and a program planted in the temp folder under every name a copy named after its
# process number could take (hard links of one file, which a copy made over any of them
# would change).
printf '%s\r\n' "$BASE_WIN" > "$FOLDER/UnInst.dir"
echo theirs > "$BASE/readme.txt"
mkdir -p "$WORK/planted"
cp "$WIN_DIR/record_run.exe" "$WORK/planted/UnInst.exe"
python3 - "$WORK/planted/UnInst.exe" "$TEMP_DIR" <<'PY'
import os, sys
for pid in range(0, 0x10000, 4):
    os.link(sys.argv[1], os.path.join(sys.argv[2], 'UnInst_%08X.exe' % pid))
PY
drive < <(uninstall_walk "$FOLDER_WIN")
check "no planted program in the temp folder ran or was written over" \
  eval 'cmp -s "$WIN_DIR/record_run.exe" "$WORK/planted/UnInst.exe" &&
        [ -z "$(find "$TEMP_DIR" -maxdepth 1 -name "UnInst_*.ran")" ]'
find "$TEMP_DIR" -maxdepth 1 -name 'UnInst_*' -delete
expect "exit${T}0"
check "no file is reported" not grep -q "削除できませんでした" "$OUT"
left=$(cd "$FOLDER" && find . -mindepth 1 | sort | tr '\n' ' ')
check "only the player's file and the planted one are left (left: $left)" \
  [ "$left" = "./UnInst.dir ./mynotes.txt " ]
check "the planted folder file aimed nothing elsewhere" [ -f "$BASE/readme.txt" ]
rm -f "$FOLDER/UnInst.dir" "$BASE/readme.txt"
check "the other installation's values stay" reg_has "HKCU\\Software\\$MAKER\\Game" /v InstTo
"$FERN_WINE" reg delete "HKCU\\Software\\$MAKER" /f >/dev/null 2>&1 || true
"$FERN_WINE" reg query "$PENDING_KEY" /v PendingFileRenameOperations > "$WORK/pending.txt" 2>&1 || true
# The copy ran from a new folder with a name nobody could guess, and goes with its folder.
copy_dir=$(cd "$TEMP_DIR" && ls -td FernUninstall_* 2>/dev/null | head -1 || true)
copy=$(ls "$TEMP_DIR/$copy_dir" 2>/dev/null | grep '^UnInst_.*\.exe$' | head -1 || true)
check "a temp copy ran in a new folder named at random ($copy_dir\\$copy)" \
  eval '[[ $copy_dir =~ ^FernUninstall_[0-9A-F]{32}$ ]] && [ -n "$copy" ] &&
        ! grep -qxF "$copy_dir" <<<"$copies_before"'
check "the temp copy is registered for deletion at the next start" \
  grep -qiF "$copy_dir\\$copy" "$WORK/pending.txt"
check "and its folder after it" [ "$(grep -oiF "$copy_dir" "$WORK/pending.txt" | wc -l)" -ge 2 ]

scenario "links in the folder are not followed; a shared folder keeps its other files"
# Another user's saved games, a data folder and a file outside, each reached through a
# symbolic link planted in the folder (Windows sees a reparse point).
elsewhere=$WORK/elsewhere
mkdir -p "$elsewhere/saves"
echo theirs > "$elsewhere/saves/slot1.sav"
echo theirs > "$elsewhere/saves/slot2.sav"
cp -a "$WORK/again/data" "$elsewhere/data"
echo theirs > "$elsewhere/readme.txt"
cp -a "$elsewhere" "$WORK/elsewhere.before"
cp "$WORK/again/UnInst.exe" "$WORK/again/UnInst.lst" "$FOLDER/"
iconv -f UTF-8 -t CP932 > "$FOLDER/install.env" <<END
TITLEBAR	$TITLE
REG_GLOBAL	$MAKER
REG_LOCAL	Game
INST_GROUP	..\\..\\..\\Fern Outside
[delfiles_user]
save\\*.sav
-
END
sed -i 's/$/\r/' "$FOLDER/install.env"
# An empty folder where the climbing group would put the title's shortcut folder.
mkdir -p "$OUTSIDE_GROUP/$TITLE"
ln -s "$elsewhere/saves" "$FOLDER/save"
ln -s "$elsewhere/data" "$FOLDER/data"
ln -s "$elsewhere/readme.txt" "$FOLDER/readme.txt"
drive < <(uninstall_walk "$FOLDER_WIN" 6)
expect "exit${T}0"
check "nothing behind the links is touched" diff -r "$WORK/elsewhere.before" "$elsewhere"
check "a group that climbs out of the Start menu is refused and named" \
  grep -qF "  TITLEBAR / INST_GROUP（ショートカットのフォルダ名に使えない名前です）" "$OUT"
check "nothing outside the Start menu is removed" [ -d "$OUTSIDE_GROUP/$TITLE" ]
for line in 'save\*.sav（リンクを経由します）' 'data\music.ogg（リンクを経由します）' \
            'data\stage1\map.dat（リンクを経由します）'; do
  check "the final box names $line" grep -qF -- "  $line" "$OUT"
done
# A listed name that is itself a link goes as a link where Windows can open the link
# itself; Wine shows a link to a file as a plain file and opens its target even then, so
# there it stays and is named.
check "the listed link readme.txt is gone or named" \
  eval '[ ! -L "$FOLDER/readme.txt" ] || grep -qF "  readme.txt（リンク" "$OUT"'
check "the uninstaller's own files are gone" \
  test ! -e "$FOLDER/UnInst.exe" -a ! -e "$FOLDER/UnInst.lst" -a ! -e "$FOLDER/install.env"

# The game copied straight into the all-users music folder, beside another game's files.
cp -a "$WORK/again/." "$SHARED/"
mkdir -p "$SHARED/save" "$SHARED/logs"
echo theirs > "$SHARED/save/other.sav"
echo theirs > "$SHARED/logs/other.log"
echo theirs > "$SHARED/other.txt"
drive < <(uninstall_walk "$SHARED_WIN" 6)
expect "exit${T}0"
for line in 'logs\*.log（共有フォルダではパターンを使いません）' \
            'save\*.sav（共有フォルダではパターンを使いません）'; do
  check "the final box names $line" grep -qF -- "  $line" "$OUT"
done
check "the other game's files stay" \
  test -f "$SHARED/save/other.sav" -a -f "$SHARED/logs/other.log" -a -f "$SHARED/other.txt"
for f in readme.txt data/music.ogg data/stage1/map.dat UnInst.exe UnInst.lst install.env; do
  check "listed and removed in the shared folder: $f" [ ! -e "$SHARED/$f" ]
done

scenario "without install.env nothing is deleted"
mkdir -p "$BASE/bare"
cp "$UNINST" "$BASE/bare/UnInst.exe"
cp "$WORK/again/UnInst.lst" "$BASE/bare/"
echo keep > "$BASE/bare/readme.txt"
drive <<END
clear-clipboard
launch${T}un${T}$BASE_WIN\\bare\\UnInst.exe
wait-box${T}un${T}30000
text
clipboard
click${T}1
wait-closed${T}10000
wait-exit${T}un${T}30000
END
expect "text${T}アンインストールに必要なファイル[install.env]が見つかりません。\\nフォルダ[$BASE_WIN\\bare]からは何も削除せずに終了します。"
expect "clipboard${T}アンインストールに必要なファイル[install.env]が見つかりません。\\nフォルダ[$BASE_WIN\\bare]からは何も削除せずに終了します。"
expect "exit${T}-1"
check "nothing is deleted" test -f "$BASE/bare/readme.txt" -a -f "$BASE/bare/UnInst.exe"

finish
