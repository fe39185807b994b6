#!/usr/bin/env bash
# The copy progress window during a FullMode extraction, driven through fullmode_run.exe
# (a stub that unpacks its own package with the real window): the caption, the path of
# the current file, both bars in 131072-byte units, the looping animation; a Cancel that
# asks first, where No plays the animation again and every file still arrives with its
# stored time; and Esc, which is Cancel too, where Yes stops the walk, also while the
# extraction stalls and drains nothing (the window keeps playing and asks meanwhile).
source "$(dirname "$0")/lib.sh"
T=$'\t'
RUN_STUB=$WIN_DIR/fullmode_run.exe
TITLE='ファイルのコピー中...'
BLOCK=131072

# pack_run <folder> <package>: packs the folder onto the fullmode_run stub.
pack_run() { "$(dirname "$FERNPACK")/pack_unreviewed" "$1" "$2" "$RUN_STUB"; }

# The value fields of the driver's "progress <id> <pos> <low> <high>" lines for one bar.
bar_values() { awk -F'\t' -v id="$1" '$1 == "progress" && $2 == id { print $3, $4, $5 }' "$OUT"; }

# Each field of the samples never decreases, and the first field rises somewhere.
rising() {
  awk 'NR > 1 && $1 < last { bad = 1 } NR > 1 && $1 > last { up = 1 } { last = $1 }
       END { exit !(up && !bad) }'
}

scenario "several files: the path and both bars advance; Cancel asks, and No goes on"
game=$WORK/game
mkdir -p "$game/data"
# Incompressible data, so that the packed sizes match the unpacked ones and the total bar
# counts blocks of the files themselves.
head -c $((12 * BLOCK + 5000)) /dev/urandom > "$game/big1.bin"
head -c $((8 * BLOCK)) /dev/urandom > "$game/data/big2.bin"
printf 'small\r\n' > "$game/data/small.txt"
head -c 3000 /dev/urandom > "$game/tiny.dat"
touch -d '2007-09-26 15:32:00 UTC' "$game/big1.bin" "$game/data/small.txt"
touch -d '2011-03-01 08:00:00 UTC' "$game/data/big2.bin" "$game/tiny.dat"
mkdir -p "$WORK/run"
pack_run "$game" "$WORK/run/run.exe"
out=$WORK/run/unpacked  # where fullmode_run unpacks: beside itself
expected_paths=$(for f in big1.bin data/big2.bin data/small.txt tiny.dat; do winpath "$out/$f"; done)
samples=""
for i in 1 2 3 4; do
  samples+="progress${T}1010"$'\n'"progress${T}1019"$'\n'"controls"$'\n'"sleep${T}250"$'\n'
done
FULLMODE_PAUSE_MS=400 drive <<END || true
launch${T}run${T}$(winpath "$WORK/run/run.exe")
wait-window${T}run${T}#32770${T}${TITLE}${T}30000
caption
animating${T}1020${T}600
${samples}click${T}2
wait-box${T}run${T}10000
text
wait-window${T}run${T}#32770${T}${TITLE}${T}10000${T}0
animating${T}1020${T}600
wait-box${T}run${T}10000
click${T}7
wait-closed${T}10000
wait-window${T}run${T}#32770${T}${TITLE}${T}15000${T}300
animating${T}1020${T}600
${samples}wait-exit${T}run${T}60000
END
expect "caption${T}${TITLE}"
expect "text${T}インストールを中止しますか？"
expect "exit${T}10"  # No: the extraction completed
check "the animation plays, stops while the question is open, and plays again after No" \
  [ "$(grep '^animating' "$OUT" | cut -f3 | tr -d '\n')" = "101" ]
paths=$(awk -F'\t' '$1 == "control" && $2 == 1012 && $4 != "" { print $4 }' "$OUT" | sort -u)
echo "    paths shown: $(echo "$paths" | tr '\n' ' ')"
# Every path shown (once the first file has started) is the full output path of a file.
known_paths() { [ -n "$paths" ] && ! grep -vxF -- "$expected_paths" <<< "$paths"; }
check "the path shown is a full output path" known_paths
check "a big file's path was seen" grep -q 'big' <<< "$paths"
check "the total bar advances through all samples, after Cancel too" rising <<< "$(bar_values 1019)"
# The archive holds 20 blocks of incompressible data plus headers and zlib framing.
total_range_ok() { [ "$(bar_values 1019 | awk '{ print $2 "-" $3 }' | sort -u)" = "0-20" ]; }
check "the total bar's range counts 131072-byte units" total_range_ok
file_bar_moved() { bar_values 1010 | awk '$1 > 0 && ($3 == 12 || $3 == 8) { ok = 1 } END { exit !ok }'; }
check "the file bar moved inside a big file (12 or 8 units)" file_bar_moved
for f in big1.bin data/big2.bin data/small.txt tiny.dat; do
  check "$f extracted whole" cmp -s "$game/$f" "$out/$f"
  check "$f keeps its stored time" [ "$(stat -c %Y "$game/$f")" = "$(stat -c %Y "$out/$f")" ]
done

scenario "Esc is Cancel: Yes stops the walk at the next block, also during a stalled read"
rm -rf "$out"
# After the first block the extraction stalls for 12 s without draining anything: the
# window plays on and asks well within that time, and the walk stops once it goes on.
FULLMODE_STALL_MS=12000 drive <<END || true
launch${T}run${T}$(winpath "$WORK/run/run.exe")
wait-window${T}run${T}#32770${T}${TITLE}${T}30000
sleep${T}800
animating${T}1020${T}600
key${T}27
wait-box${T}run${T}6000
text
click${T}6
wait-exit${T}run${T}60000
END
check "the animation plays while the extraction stalls" \
  [ "$(grep '^animating' "$OUT" | cut -f3 | tr -d '\n')" = "1" ]
expect "text${T}インストールを中止しますか？"
expect "exit${T}11"  # cancelled: the walk stopped
some_file_missing() {
  local f
  for f in big1.bin data/big2.bin data/small.txt tiny.dat; do
    cmp -s "$game/$f" "$out/$f" || return 0
  done
  return 1
}
check "the walk stopped before every file was written whole" some_file_missing

scenario "a small archive: total range 0..1, the file bar of a small file 0..0, no path yet"
mkdir -p "$WORK/small/game"
printf 'x\r\n' > "$WORK/small/game/one.txt"
pack_run "$WORK/small/game" "$WORK/small/small.exe"
# The pauses are long enough for a loaded machine; the second look waits for the file
# itself, which the walk creates just before it shows the file's path.
FULLMODE_PAUSE_MS=3000 drive <<END || true
launch${T}run${T}$(winpath "$WORK/small/small.exe")
wait-window${T}run${T}#32770${T}${TITLE}${T}30000
controls
progress${T}1019
progress${T}1010
wait-file${T}$(winpath "$WORK/small/unpacked/one.txt")${T}30000
sleep${T}100
controls
progress${T}1010
progress${T}1019
wait-exit${T}run${T}60000
END
expect "control${T}1012${T}Static${T}"  # emptied before the first file
expect "progress${T}1019${T}0${T}0${T}1"
expect "progress${T}1010${T}0${T}0${T}0"
expect "control${T}1012${T}Static${T}$(winpath "$WORK/small/unpacked/one.txt")"
expect "exit${T}10"
check "one.txt extracted" cmp -s "$WORK/small/game/one.txt" "$WORK/small/unpacked/one.txt"

finish
