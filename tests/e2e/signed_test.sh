#!/usr/bin/env bash
# A signed installer. The publisher signs the finished package with Authenticode, which
# appends a certificate table after the archive and records it in the PE security
# directory. fernpack reads the signed file as it read the unsigned one, and the installer
# started from it installs every file.
#
# The certificate is made here, thrown away with the test, and signs with osslsigncode.
source "$(dirname "$0")/lib.sh"
T=$'\t'
tag=Signed$$

game=$WORK/game
make_game "$game" "署名試験"
printf 'INSTTO\t%s\r\nREG_GLOBAL\tFernTest\r\nREG_LOCAL\t%s\r\nINST_GROUP\t%s\r\nEXENAME\tgame.exe\r\n' \
  "$tag" "$tag" "$tag" >> "$game/install.env"
mkdir -p "$game/data/stage"
head -c 300000 /dev/urandom > "$game/data/stage/map.dat"
printf 'MZ game stand-in' > "$game/game.exe"
pack_game "$game" "$WORK/setup.exe"

scenario "fernpack packs to a multiple of 8 bytes, so signing adds no padding"
check "package size is a multiple of 8" test $(( $(stat -c %s "$WORK/setup.exe") % 8 )) -eq 0

scenario "sign with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$WORK/key.pem" -out "$WORK/cert.pem" \
  -days 1 -subj "/CN=Fernstall test publisher" >/dev/null 2>&1
osslsigncode sign -certs "$WORK/cert.pem" -key "$WORK/key.pem" -n "署名試験" \
  -in "$WORK/setup.exe" -out "$WORK/signed.exe" > "$WORK/sign.log" 2>&1 || cat "$WORK/sign.log"
check "the signed file is longer" test "$(stat -c %s "$WORK/signed.exe")" -gt "$(stat -c %s "$WORK/setup.exe")"
# Signing rewrites the checksum and the security directory in the headers (the first
# 1024 bytes) and keeps every later byte: the program, the archive and its trailer.
size=$(stat -c %s "$WORK/setup.exe")
check "the unsigned bytes after the headers are kept" \
  cmp -s -i 1024 -n $((size - 1024)) "$WORK/setup.exe" "$WORK/signed.exe"
osslsigncode verify -CAfile "$WORK/cert.pem" -in "$WORK/signed.exe" > "$WORK/verify-sig.log" 2>&1
check "osslsigncode accepts the signature" grep -q "Signature verification: ok" "$WORK/verify-sig.log"

scenario "fernpack list and verify read the signed file as the unsigned one"
"$FERNPACK" list "$WORK/setup.exe" > "$WORK/list-unsigned.txt"
"$FERNPACK" list "$WORK/signed.exe" > "$WORK/list-signed.txt" 2>&1 || true
check "list shows the same entries" cmp -s "$WORK/list-unsigned.txt" "$WORK/list-signed.txt"
"$FERNPACK" verify "$WORK/signed.exe" > "$WORK/verify.txt" 2>&1 || true
sed 's/^/    /' "$WORK/verify.txt"
check "verify finds a sound package" grep -q "sound package" "$WORK/verify.txt"

scenario "the installer started from the signed file installs every file"
on_exit remove_new_kept_copies
target="C:\\fern-$tag\\Game"
unix_target=$WINEPREFIX/drive_c/fern-$tag/Game
drive <<END || true
$(walk_to_copy "$WORK/signed.exe" 署名試験 "$target")
$(walk_from_copy 120000)
END
expect "exit${T}0"
check "map.dat installed whole" cmp -s "$game/data/stage/map.dat" "$unix_target/data/stage/map.dat"
check "game.exe installed" cmp -s "$game/game.exe" "$unix_target/game.exe"

# Leave the prefix as it was: the folder, the product keys, the uninstall entry, shortcuts.
rm -rf "$WINEPREFIX/drive_c/fern-$tag"
rm -rf "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/$tag"
for key in "HKLM\\Software\\FernTest\\$tag" "HKCU\\Software\\FernTest\\$tag" \
    "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp署名試験"; do
  "$FERN_WINE" reg delete "$key" /f >/dev/null 2>&1 || true
done
finish
