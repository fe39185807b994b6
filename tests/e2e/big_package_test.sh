#!/usr/bin/env bash
# A big package: over 4 GiB of unpacked data and over 2 GiB of archive, installed by the
# real installer under Wine. Opt-in (FERN_BIG_PACKAGE=1): an archive over 2 GiB needs over
# 2 GiB of data that does not compress, so the run writes about 11 GiB to disk (the data,
# the package and the installed copy) and takes minutes, too much for every test run.
# The files that carry the unpacked size are sparse zeros and cost next to nothing.
# The bars' arithmetic for such sizes is tested natively (progress_units_test.cpp); here
# the installation must complete with every byte in place.
source "$(dirname "$0")/lib.sh"
T=$'\t'
if [ "${FERN_BIG_PACKAGE:-}" != 1 ]; then
  echo "skipped: big_package_test writes about 11 GiB and takes minutes; run it with FERN_BIG_PACKAGE=1"
  exit 77
fi
need=$((12 * 1024 * 1024))  # KiB
free=$(df -Pk "$WORK" | awk 'NR == 2 {print $4}')
prefix_free=$(df -Pk "$WINEPREFIX" | awk 'NR == 2 {print $4}')
if [ "$free" -lt "$need" ] || [ "$prefix_free" -lt "$need" ]; then
  echo "skipped: big_package_test needs 12 GiB free in $WORK and $WINEPREFIX"
  exit 77
fi

game=$WORK/game
make_game "$game" "大容量試験"
printf 'INSTTO\tBig\r\nREG_GLOBAL\tFernTest\r\nREG_LOCAL\tBig%s\r\nINST_GROUP\tFernBig%s\r\nEXENAME\tgame.exe\r\n' \
  "$$" "$$" >> "$game/install.env"
printf 'MZ' > "$game/game.exe"
mkdir -p "$game/data"
truncate -s 2000000000 "$game/data/zeros1.bin"
truncate -s 2100000000 "$game/data/zeros2.bin"
# 2.2 GB that deflate cannot shrink: a keystream, much faster to make than /dev/urandom.
head -c 2200000000 /dev/zero | openssl enc -aes-128-ctr -nosalt -pass pass:fern 2>/dev/null \
  > "$game/data/noise.bin"

scenario "pack: over 4 GiB unpacked, over 2 GiB of archive"
"$FERNPACK" pack "$game" -o "$WORK/setup.exe" --stub "$STUB" --level 1 --quiet
size=$(stat -c %s "$WORK/setup.exe")
echo "    package: $size bytes"
check "archive over 2 GiB" test "$size" -gt $((2 * 1024 * 1024 * 1024))
"$FERNPACK" verify "$WORK/setup.exe" | sed 's/^/    /'

scenario "install: every file complete"
on_exit remove_new_kept_copies
target_unix=$WINEPREFIX/drive_c/fern-big-$$
drive <<END || true
$(walk_to_copy "$WORK/setup.exe" 大容量試験 "C:\\fern-big-$$")
$(walk_from_copy 1200000)
END
expect "exit${T}0"
for f in zeros1.bin zeros2.bin noise.bin; do
  check "$f installed whole" cmp -s "$game/data/$f" "$target_unix/data/$f"
done
rm -rf "$target_unix" "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/FernBig$$"
"$FERN_WINE" reg delete "HKLM\\Software\\FernTest\\Big$$" /f >/dev/null 2>&1 || true
"$FERN_WINE" reg delete "HKCU\\Software\\FernTest\\Big$$" /f >/dev/null 2>&1 || true
"$FERN_WINE" reg delete "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp大容量試験" \
  /f >/dev/null 2>&1 || true
finish
