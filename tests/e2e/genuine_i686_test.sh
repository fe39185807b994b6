#!/usr/bin/env bash
# The 32-bit installer itself, on a machine whose kernel cannot run 32-bit programs: its
# process runs under emulation in a 64-bit prefix with the 32-bit half installed, and is
# driven like the 64-bit build in the other scenarios. One scenario only: each start of a
# 32-bit program takes about a minute here (make test-i686 runs them all).
top=$(cd "$(dirname "$0")/../.." && pwd)
source "$top/scripts/i386-support.sh"
if fern_native_i386; then
  echo "the kernel runs 32-bit programs: every scenario already runs the 32-bit installer"
  exit 0
fi
# CTest counts exit code 77 as skipped: neither passed nor failed.
reason=$(fern_i686_unavailable)
if [ -n "$reason" ]; then
  echo "skipped: the 32-bit installer cannot run here: $reason"
  exit 77
fi
export WINEPREFIX=$top/build/wineprefix-wow64 FERN_WOW64=1
export FERN_STUB=${FERN_I686_DIR:?the 32-bit build directory}/fernstall.exe
source "$(dirname "$0")/lib.sh"
T=$'\t'
text='起動に必要なファイルが不足しています。\nインストールの異常終了、起動するフォルダ異常、等を確認してください。'

scenario "the 32-bit installer reports a package without install.env"
check "the stub is a 32-bit program" grep -q "PE32 executable" <(file "$STUB")
mkdir -p "$WORK/nosettings"
printf 'readme\r\n' > "$WORK/nosettings/readme.txt"
"$(dirname "$FERNPACK")/pack_unreviewed" "$WORK/nosettings" "$WORK/setup32.exe" "$STUB"
before=$(workfolders)
drive <<END || true
clear-clipboard
launch${T}setup${T}$(winpath "$WORK/setup32.exe")
wait-box${T}setup${T}600000
text
clipboard
click${T}1
wait-exit${T}setup${T}600000
END
expect "text${T}${text}"
expect "clipboard${T}${text}"
expect "exit${T}-1"
check "WorkFolder removed" [ "$(workfolders)" -eq "$before" ]
finish
