#!/usr/bin/env bash
# make demo: packs the sample game into build/sample-setup.exe and runs its installer (and,
# headless, its uninstaller).
# With a display, the installer opens for a person. Without one, the UI driver walks
# through it on a virtual display inside a Wine virtual desktop (so that Wine draws the
# windows' captions), saves a PNG of every window it passes in build/demo/, and closes it.
# FERN_LOCALE (scripts/wine-env.sh) runs it under another system code page: in prefixes
# of that locale's own, with the screenshots in build/demo-<locale>/ (FERN_LOCALE=C.UTF-8
# make demo: a Western Windows), so that the Japanese ones stay as they are.
set -euo pipefail
host_dir=${1:-build/host}
win32_dir=${2:-build/win32}
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if [ -z "${DISPLAY:-}" ]; then
  export FERN_DEMO_HEADLESS=1
  exec timeout -k 10 600 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

# The sample disc's game folder: sample/game with its program built for Windows
# (scripts/sample-disc.sh). The headless walk adds a large movie file so that the copy
# window stays up long enough to be photographed (zeros: it packs to almost nothing).
game=build/demo-game
disc() {
  bash scripts/sample-disc.sh "$1" "$2"
  [ -n "${FERN_DEMO_HEADLESS:-}" ] && head -c 240M /dev/zero > "$2/data/movie.dat"
  return 0
}
disc "$win32_dir" "$game"
"$host_dir/fernpack" pack "$game" -o build/sample-setup.exe --stub "$win32_dir/fernstall.exe" \
  --uninstaller "$win32_dir/UnInst.exe"
"$host_dir/fernpack" list build/sample-setup.exe

# The shipped 32-bit installer, in a 64-bit prefix with its 32-bit half, where the private
# 32-bit root can run it (scripts/i386-support.sh); else the 64-bit build of the same
# sources.
source scripts/i386-support.sh
package=build/sample-setup.exe
locale_suffix=
[ "${FERN_LOCALE:-ja_JP.UTF-8}" = ja_JP.UTF-8 ] || locale_suffix=-$FERN_LOCALE
reason=$(fern_i686_unavailable)
if [ -z "$reason" ]; then
  export FERN_WOW64=1
  [ -n "${FERN_DEMO_HEADLESS:-}" ] && export FERN_WOW64_PREFIX=$top/build/wineprefix-demo-wow64$locale_suffix
  source scripts/wine-env.sh
else
  [ -n "${FERN_DEMO_HEADLESS:-}" ] && export WINEPREFIX=$top/build/wineprefix-demo$locale_suffix
  source scripts/wine-env.sh
  game=build/demo-game64
  disc "$FERN_WINTEST_DIR" "$game"
  "$host_dir/fernpack" pack "$game" -o build/sample-setup64.exe --quiet \
    --stub "$FERN_WINTEST_DIR/fernstall.exe" --uninstaller "$FERN_WINTEST_DIR/UnInst.exe"
  package=build/sample-setup64.exe
  echo "demo: running $package, the 64-bit build: the 32-bit installer cannot run here ($reason)"
fi
wine_prefix_ready

if [ -z "${FERN_DEMO_HEADLESS:-}" ]; then
  set +e
  "$FERN_WINE" "$package"
  echo "demo: the installer ended with exit code $?"
  exit 0
fi

# Headless: every program of this prefix runs inside one virtual desktop.
"$FERN_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$FERN_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
# The dialogs' font, drawn with the metric-compatible IPA font so that the screenshots
# wrap their texts as Windows does.
"$FERN_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /d IPAPGothic /f >/dev/null 2>&1
"$FERN_WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ ゴシック' /d IPAGothic /f >/dev/null 2>&1
# The captions' font (Tahoma outside Japan) has no Japanese glyphs; Windows links it to a
# Japanese font for them, and so does this prefix.
"$FERN_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d 'ipagp.ttf,IPAPGothic' /f >/dev/null 2>&1

shots=$top/build/demo$locale_suffix
rm -rf "$shots"
mkdir -p "$shots"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
title=$(iconv -f CP932 -t UTF-8 sample/game/install.env | tr -d '\r' | awk -F'\t' '$1 == "TITLEBAR" { print $2; exit }')
T=$'\t'
script=$shots/script.txt
cat > "$script" <<END
launch${T}setup${T}$(winpath "$top/$package")
wait-window${T}setup${T}#32770${T}${title} スタートアップ${T}120000
sleep${T}500
screenshot${T}$(winpath "$shots/menu.bmp")
click-label${T}インストール
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}30000
screenshot${T}$(winpath "$shots/folder.bmp")
click${T}1
wait-box${T}setup${T}30000
screenshot${T}$(winpath "$shots/confirm.bmp")
click${T}6
wait-window${T}setup${T}#32770${T}ファイルのコピー中...${T}30000${T}100
pause${T}setup
screenshot${T}$(winpath "$shots/progress.bmp")
resume${T}setup
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}60000
screenshot${T}$(winpath "$shots/shortcut.bmp")
click${T}1
wait-window${T}setup${T}#32770${T}インストール終了${T}30000
screenshot${T}$(winpath "$shots/completion.bmp")
click${T}1
wait-exit${T}setup${T}30000
END
# Then the installed game is started once (it shows its window and leaves a saved game),
# and the uninstaller is started from the InstallFolder, as a player might; it hands over
# to the protected copy that the Start-menu shortcut starts, whose boxes follow.
installed='C:\Program Files\FernSoft\FernQuest'
uninstall_script=$shots/uninstall-script.txt
cat > "$uninstall_script" <<END
launch${T}game${T}$installed\fernquest.exe
wait-window${T}game${T}FernQuestWindow${T}${title}${T}60000${T}500
screenshot${T}$(winpath "$shots/game.bmp")
close
wait-exit${T}game${T}30000
launch${T}uninst${T}$installed\UnInst.exe
wait-box${T}*${T}60000
screenshot${T}$(winpath "$shots/uninstall-confirm.bmp")
click${T}6
wait-closed${T}10000
wait-box${T}*${T}30000
screenshot${T}$(winpath "$shots/uninstall-savedata.bmp")
click${T}6
wait-closed${T}10000
wait-box${T}*${T}60000
screenshot${T}$(winpath "$shots/uninstall-done.bmp")
click${T}1
wait-closed${T}10000
wait-exit${T}uninst${T}30000
wait-no-process${T}UnInst${T}30000
END

status=0
timeout -k 5 300 "$FERN_WINE" "$FERN_WINTEST_DIR/uidriver.exe" "$(winpath "$script")" \
  > "$shots/driver.out" 2>&1 < /dev/null || status=$?
if [ "$status" -eq 0 ] && grep -qx "exit${T}0" <(tr -d '\r' < "$shots/driver.out"); then
  timeout -k 5 120 "$FERN_WINE" "$FERN_WINTEST_DIR/uidriver.exe" "$(winpath "$uninstall_script")" \
    >> "$shots/driver.out" 2>&1 < /dev/null || status=$?
  if [ "$status" -eq 0 ] && [ -e "$WINEPREFIX/drive_c/Program Files/FernSoft/FernQuest" ]; then
    echo "demo: failed: the uninstaller left the InstallFolder behind" >&2
    status=1
  fi
fi
wineserver -k >/dev/null 2>&1 || true
if [ "$status" -ne 0 ] || ! grep -qx "exit${T}0" <(tr -d '\r' < "$shots/driver.out"); then
  tr -d '\r' < "$shots/driver.out" | sed 's/^/  /' >&2
  [ "$status" -eq 124 ] && echo "demo: failed: the installer did not finish within 5 minutes" >&2 \
    || echo "demo: failed: the walk through the installer or the uninstaller stopped (driver output above)" >&2
  exit 1
fi
for bmp in "$shots"/*.bmp; do
  convert "$bmp" "${bmp%.bmp}.png"
  rm -f "$bmp"
done
rm -f "$script" "$uninstall_script" "$shots/driver.out"
echo "demo: screenshots in build/demo$locale_suffix/: $(cd "$shots" && ls *.png | tr '\n' ' ')"
echo "demo: the sample was installed, its game started once and the game uninstalled, headless; every program ended with exit code 0"
