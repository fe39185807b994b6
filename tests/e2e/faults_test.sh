#!/usr/bin/env bash
# Faults that end truthfully: each ends with a message that says what happened and the
# right exit code, never a crash, and never "the file may be damaged" when it is not.
#
# Destinations are small file systems (tmpfs, mounted here as root) mapped as Wine drives;
# the mappings and mounts are removed at the end. Without the right to mount, the test is
# skipped.
source "$(dirname "$0")/lib.sh"
T=$'\t'
damaged="ファイルの読み込みに失敗しました。ファイルが壊れている可能性があります。"

mounts=()
drives=()
cleanup_mounts() {
  local d m
  for d in "${drives[@]}"; do rm -f "$WINEPREFIX/dosdevices/$d"; done
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
}
trap 'cleanup_mounts; remove_new_kept_copies; rm -rf "$WORK"' EXIT

# small_drive <letter> <size>: a tmpfs of that size as drive <letter>:. Echoes its path.
small_drive() {
  local letter=$1 size=$2 dir=$WORK/drive-$1
  mkdir -p "$dir"
  mount -t tmpfs -o "size=$size" tmpfs "$dir" || return 1
  mounts+=("$dir")
  [ -e "$WINEPREFIX/dosdevices/$letter:" ] && { echo "drive $letter: is taken" >&2; return 1; }
  ln -s "$dir" "$WINEPREFIX/dosdevices/$letter:"
  drives+=("$letter:")
}

probe=$WORK/probe
mkdir -p "$probe"
if ! mount -t tmpfs -o size=1m tmpfs "$probe" 2>/dev/null; then
  echo "skipped: faults_test needs to mount small file systems (run as root)"
  exit 77
fi
umount "$probe"

# A game: settings, picture, readme and the given data files (name and size, from
# /dev/zero when the name ends in .zero, else random).
make_fault_game() {
  local folder=$1 title=$2
  shift 2
  make_game "$folder" "$title"
  printf 'INSTTO\tFault\r\nREG_GLOBAL\tFernTest\r\nREG_LOCAL\tFault%s\r\nINST_GROUP\tFernFault%s\r\nEXENAME\tgame.exe\r\n' \
    "$$" "$$" >> "$folder/install.env"
  printf 'MZ' > "$folder/game.exe"
  mkdir -p "$folder/data"
  while [ $# -gt 0 ]; do
    case $1 in
      *.zero) head -c "$2" /dev/zero > "$folder/data/$1" ;;
      *) head -c "$2" /dev/urandom > "$folder/data/$1" ;;
    esac
    shift 2
  done
}


# The walk up to the confirmation, then a moment for the copy to begin.
walk_into_copy() { walk_to_copy "$@"; printf 'sleep\t1500\n'; }

# Leaves the prefix as it was after an installation that got as far as shortcuts.
forget_install() {
  rm -rf "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/FernFault$$"
  "$FERN_WINE" reg delete "HKLM\\Software\\FernTest\\Fault$$" /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete "HKCU\\Software\\FernTest\\Fault$$" /f >/dev/null 2>&1 || true
  "$FERN_WINE" reg delete "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$1" \
    /f >/dev/null 2>&1 || true
}

says() { grep -qF -- "$1" "$OUT"; }

# ---------------------------------------------------------------------------------------
scenario "not enough space: the need is told before anything is written; the menu stays"
small_drive r 2m
make_fault_game "$WORK/space" "容量試験" big.zero 3500000
pack_game "$WORK/space" "$WORK/space.exe"
drive <<END || true
$(walk_into_copy "$WORK/space.exe" 容量試験 'R:\Game')
wait-box${T}setup${T}30000
text
click${T}1
wait-closed${T}10000
wait-window${T}setup${T}#32770${T}容量試験 スタートアップ${T}10000
click-label${T}終了
wait-exit${T}setup${T}20000
END
check "the message names the space needed" says "必要な空き容量: 4 MB"
check "the message names the space free" says "現在の空き容量: 2 MB"
check "nothing of the game was written" test ! -e "$WORK/drive-r/Game/data"
expect "exit${T}0"

# ---------------------------------------------------------------------------------------
scenario "the disk fills up during extraction: a full disk is told, not damage; exit -1"
# The header and the file list understate the file's size (the check then passes), as
# another program filling the drive at the same time would make it.
make_fault_game "$WORK/full" "満杯試験" big.zero 3500000
pack_game "$WORK/full" "$WORK/full.exe"
python3 - "$WORK/full.exe" <<'PY'
import struct, sys, zlib
data = bytearray(open(sys.argv[1], "rb").read())
start = struct.unpack_from("<I", data, len(data) - 4)[0]
at = data.index(b"data\\big.zero\0", start) + len(b"data\\big.zero\0")
struct.pack_into("<I", data, at, 4096)
# The list's size line for the file, in UnInst.lst's packed data: unpacked size, packed
# size, time, then the zlib stream; the entry is replaced by one with the new stream.
at = data.index(b"UnInst.lst\0", start) + len(b"UnInst.lst\0")
unpacked, packed = struct.unpack_from("<II", data, at)
body = at + 16
text = zlib.decompress(bytes(data[body:body + packed]))
text = text.replace(b";=3500000\r\ndata\\big.zero", b";=4096\r\ndata\\big.zero")
stream = zlib.compress(text, 9)
struct.pack_into("<II", data, at, len(text), len(stream))
data[body:body + packed] = stream
open(sys.argv[1], "wb").write(data)
PY
rm -rf "$WORK/drive-r/Game"
drive <<END || true
$(walk_into_copy "$WORK/full.exe" 満杯試験 'R:\Game')
wait-box${T}setup${T}120000
text
click${T}1
wait-exit${T}setup${T}20000
END
check "the message says the disk is full" says "空き容量が足りなくなったため"
check "the message names the file" says 'R:\Game\data\big.zero'
check "not called damage" bash -c "! grep -qF '$damaged' '$OUT'"
expect "exit${T}-1"

# ---------------------------------------------------------------------------------------
scenario "the destination turns read-only after the write test: a refused write is told"
small_drive s 256m
# Large enough that the copy is still running when the driver sees its first file: three
# big files, then 4000 small ones (the files of a folder come before its subfolders), for
# a copy that inflates faster than the driver pauses it.
make_fault_game "$WORK/ro" "禁止試験" a.bin 30000000 b.bin 30000000 c.bin 30000000
pack_game "$WORK/ro" "$WORK/big.exe" --level 1  # the three big files alone, cut short below
mkdir -p "$WORK/ro/data/z"
(cd "$WORK/ro/data/z" && seq -f 'f%04g.txt' 4000 | xargs touch)
pack_game "$WORK/ro" "$WORK/ro.exe" --level 1
# The driver stops the installer as soon as the first file exists (the write test lies
# behind it; the copy window may show too late on a fast copy); the drive is made
# read-only then, and the installer let go on. A file
# system with a file open for writing cannot be remounted read-only, so the drive letter
# is turned to a read-only view of the same files: every later open sees it.
mkdir -p "$WORK/drive-s-ro"
mount --bind "$WORK/drive-s" "$WORK/drive-s-ro" && mounts=("$WORK/drive-s-ro" "${mounts[@]}")
mount -o remount,bind,ro "$WORK/drive-s-ro"
{
  walk_into_copy "$WORK/ro.exe" 禁止試験 'S:\Game'
  cat <<END
wait-file${T}S:\Game\data\a.bin${T}60000
pause${T}setup
sleep${T}4000
resume${T}setup
wait-box${T}setup${T}120000
text
click${T}1
wait-exit${T}setup${T}20000
END
} > "$WORK/ro-script.txt"
"$FERN_WINE" "$DRIVER" "$(winpath "$WORK/ro-script.txt")" > "$OUT.raw" 2>"$WORK/driver.err" &
driver=$!
for _ in $(seq 600); do grep -q '^paused' "$OUT.raw" 2>/dev/null && break; sleep 0.1; done
ln -sfn "$WORK/drive-s-ro" "$WINEPREFIX/dosdevices/s:"
wait "$driver" || true
tr -d '\r' < "$OUT.raw" > "$OUT"
sed 's/^/    /' "$OUT"
check "the message says the write was refused" says "書き込みが拒否されたため"
check "not called damage" bash -c "! grep -qF '$damaged' '$OUT'"
expect "exit${T}-1"
ln -sfn "$WORK/drive-s" "$WINEPREFIX/dosdevices/s:"

# ---------------------------------------------------------------------------------------
scenario "a package cut short: damage is told at start-up; exit -1"
head -c $(( $(stat -c %s "$WORK/big.exe") - 100000 )) "$WORK/big.exe" > "$WORK/cut.exe"
drive <<END || true
launch${T}setup${T}$(winpath "$WORK/cut.exe")
wait-box${T}setup${T}60000
text
click${T}1
wait-exit${T}setup${T}20000
END
check "the message calls it damaged" says "$damaged"
expect "exit${T}-1"

# ---------------------------------------------------------------------------------------
scenario "killed during the extraction, run again: the second run installs every file"
rm -rf "$WORK/drive-s/Game"
{
  walk_into_copy "$WORK/ro.exe" 禁止試験 'S:\Game'
  # Paused once the first file exists: the last one cannot be whole then, however fast
  # the copy runs.
  cat <<END
wait-file${T}S:\Game\data\a.bin${T}60000
pause${T}setup
sleep${T}30000
END
} > "$WORK/kill-script.txt"
"$FERN_WINE" "$DRIVER" "$(winpath "$WORK/kill-script.txt")" > "$OUT.raw" 2>"$WORK/driver.err" &
driver=$!
for _ in $(seq 600); do grep -q '^paused' "$OUT.raw" 2>/dev/null && break; sleep 0.1; done
# The installer's own Wine process, found by the package's unique path, ended at once.
for pid in $(pgrep -f "${WORK##*/}.ro\.exe|${WORK##*/}\\\\ro\.exe" || true); do kill -9 "$pid"; done
wait "$driver" || true
check "the first run left the copy unfinished" bash -c "! cmp -s '$WORK/ro/data/c.bin' '$WORK/drive-s/Game/data/c.bin'"
drive <<END || true
$(walk_into_copy "$WORK/ro.exe" 禁止試験 'S:\Game')
$(walk_from_copy 120000)
END
expect "exit${T}0"
for f in a.bin b.bin c.bin; do
  check "$f installed whole" cmp -s "$WORK/ro/data/$f" "$WORK/drive-s/Game/data/$f"
done

# ---------------------------------------------------------------------------------------
scenario "a reinstallation on a drive that holds the game but not a second copy"
small_drive t 3m
make_fault_game "$WORK/again" "再試験" big.bin 1800000
pack_game "$WORK/again" "$WORK/again.exe"
for run in first second; do
  drive <<END || true
$(walk_to_copy "$WORK/again.exe" 再試験 'T:\Game')
$(walk_from_copy 120000)
END
  expect "exit${T}0"
  check "the $run installation put the big file whole" \
    cmp -s "$WORK/again/data/big.bin" "$WORK/drive-t/Game/data/big.bin"
  check "the $run installation asked for no more space" not says "空き容量が足りません"
done
check "the drive could not hold a second copy beside the first" \
  [ "$(df -B1 --output=avail "$WORK/drive-t" | tail -1)" -lt 1800000 ]
forget_install 再試験
forget_install 禁止試験
forget_install 満杯試験
forget_install 容量試験
find "$(wine_temp_dir)" -maxdepth 1 -name 'TempQVInstallFolder_*' -newer "$WORK/ro.exe" \
  -exec rm -rf {} + 2>/dev/null || true
finish
