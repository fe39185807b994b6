#!/bin/bash
# Runs every benchmark side by side and prints one table of ratios, also written into
# docs/benchmarks.md between its generated-table markers.
#
#   scripts/bench.sh <native-release-build> <win32-build>      (make bench)
#
# FERN_BENCH_MB    size of the generated corpus in MB (default 300)
# FERN_BENCH_BIG_MB size of the large start-up package in MB (default 1024)
# FERN_BENCH_ROUNDS rounds of each timed loop, the best kept (default 5)
#
# Windows programs run under 64-bit Wine as the x86-64 build of the same sources
# (scripts/wine-env.sh). The stub's size is always the 32-bit deliverable's.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
bench_dir=$(cd "$1" && pwd)
win32_dir=$(cd "$2" && pwd)
cd "$top"
# A prefix of the benchmark's own: its X11 driver leaves windows unmanaged. Under Xvfb no
# window manager runs, and a managed window makes Wine wait up to 2 s for one to answer
# when a dialog appears, which is nothing the player's Windows does.
export WINEPREFIX=${FERN_BENCH_PREFIX:-$top/build/wineprefix64-bench}
source scripts/wine-env.sh
win_dir=$FERN_WINTEST_DIR
mb=${FERN_BENCH_MB:-300}
big_mb=${FERN_BENCH_BIG_MB:-1024}
rounds=${FERN_BENCH_ROUNDS:-5}

# Output goes to the page cache: tmpfs when there is one.
scratch=/dev/shm
[ -d "$scratch" ] && [ -w "$scratch" ] || scratch=/tmp
work=$(mktemp -d "$scratch/fern-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
log() { echo "== $*" >&2; }

# The Windows builds: the stub and the programs that run under Wine.
for dir in "$win32_dir" "$win_dir"; do
  if [ ! -f "$dir/build.ninja" ]; then
    make --no-print-directory "$([ "$dir" = "$top/build/win64" ] && echo win64 || echo win32)"
  fi
done
cmake --build "$win32_dir" --target fernstall >/dev/null
cmake --build "$win_dir" --target fernstall uninstaller extract_bench_win32 startup_bench_win32 \
  delete_bench_win32 uidriver >/dev/null
wine_prefix_ready
"$FERN_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

# The corpus is made once per size and seed (the script's own text counts).
corpus=$top/build/corpus
stamp="$mb $(sha1sum scripts/make_corpus.py | cut -c1-40)"
if [ "$(cat "$corpus.stamp" 2>/dev/null)" != "$stamp" ]; then
  log "making a $mb MB corpus in build/corpus"
  rm -f "$corpus.stamp"
  python3 scripts/make_corpus.py "$corpus" --mb "$mb" >&2
  echo "$stamp" > "$corpus.stamp"
fi

fernpack=$bench_dir/fernpack
stub=$win32_dir/fernstall.exe
results=$work/results.txt
: > "$results"

# The many-files corpus: 10,000 small files (the per-entry costs).
files_corpus=$top/build/corpus-files
stamp="files $(sha1sum scripts/make_corpus.py | cut -c1-40)"
if [ "$(cat "$files_corpus.stamp" 2>/dev/null)" != "$stamp" ]; then
  log "making the 10,000-file corpus in build/corpus-files"
  rm -f "$files_corpus.stamp"
  python3 scripts/make_corpus.py "$files_corpus" --files 10000 >&2
  echo "$stamp" > "$files_corpus.stamp"
fi

# The packages carry the Windows build's own uninstaller, which the Wine runs start.
log "packing the corpora"
"$fernpack" pack "$corpus" -o "$work/corpus-setup.exe" --stub "$win_dir/fernstall.exe" \
  --uninstaller "$win_dir/UnInst.exe" --quiet
"$fernpack" pack "$files_corpus" -o "$work/files-setup.exe" --stub "$win_dir/fernstall.exe" \
  --uninstaller "$win_dir/UnInst.exe" --quiet

log "extraction, native ($rounds rounds)"
"$bench_dir/extract_bench" "$work/corpus-setup.exe" "$work/out" "$rounds" | tee -a "$results" >&2

log "extraction under Wine ($rounds rounds)"
xvfb-run -a "$FERN_WINE" "$win_dir/extract_bench_win32.exe" "$(winpath "$work/corpus-setup.exe")" \
  "$(winpath "$work/wout")" "$rounds" 2>/dev/null | tr -d '\r' | tee -a "$results" >&2

log "the whole road under Wine, the uninstaller, and the reads replayed on a DVD model"
source scripts/bench-road.sh
road() { xvfb-run -a bash -c 'source scripts/wine-env.sh; source scripts/bench-road.sh; "$@"' road "$@"; }
export work
for set in corpus files; do
  package=$work/$set-setup.exe
  : > "$work/rounds.txt"
  for round in $(seq "$rounds"); do
    # The bare extraction of the same package under Wine, the road's yardstick, in a
    # process of its own before each installation: how fast a Wine process runs here
    # differs from one process to the next by up to a fifth, so both sides get as many
    # processes, side by side, and the best of each is kept.
    xvfb-run -a "$FERN_WINE" "$win_dir/extract_bench_win32.exe" "$(winpath "$package")" \
      "$(winpath "$work/bare")" 1 fused 2>/dev/null | tr -d '\r' |
      awk '$1 == "fused" { print "RESULT bare", $2 }' | tee -a "$work/rounds.txt" >&2
    rm -rf "$work/bare"
    road road_install "$package" "$work/road" "$work/road.out" | tee -a "$work/rounds.txt" >&2
    # Before the last uninstallation of the many files, a copy for the bare deletion loop.
    [ "$set" = files ] && [ "$round" = "$rounds" ] && cp -a "$work/road" "$work/bare-delete"
    road road_uninstall "$work/unroad.out" | tee -a "$work/rounds.txt" >&2
    rm -rf "$work/road"
  done
  # The best round of each.
  awk -v s="$set" '$2 == "road" && (!r || $3 < r) { r = $3; c = $4 }
    $2 == "uninstall" && (!u || $3 < u) { u = $3 }
    $2 == "bare" && (!b || $3 < b) { b = $3 }
    END { print "RESULT road", s, r, c; print "RESULT uninstall", s, u; print "RESULT bare", s, b }' "$work/rounds.txt" |
    tee -a "$results" >&2
  if [ -d "$work/bare-delete" ]; then
    xvfb-run -a "$FERN_WINE" "$win_dir/delete_bench_win32.exe" "$(winpath "$work/bare-delete")" \
      2>/dev/null | tr -d '\r' | tee -a "$results" >&2
    rm -rf "$work/bare-delete"
  fi
  # Once more under strace, for the reads of the package.
  road road_install "$package" "$work/road" "$work/road.out" "$work/trace" >/dev/null
  road road_uninstall "$work/unroad.out" >/dev/null
  rm -rf "$work/road"
  python3 scripts/disc_model.py "$work/trace" "$package" "$set" \
    "$("$fernpack" list "$package" | wc -l)" | tee -a "$results" >&2
  rm -rf "$work/trace"
done

log "packing against zlib level 9"
mkdir -p "$work/pack"
"$bench_dir/pack_bench" "$fernpack" "$stub" "$corpus" "$work/pack" 3 | tee -a "$results" >&2
rm -rf "$work/pack"

log "pictures"
"$bench_dir/rct_bench" sample/game/insttscr.png | tee "$work/rct.txt" >&2

log "start-up: the sample package and a $big_mb MB package"
"$fernpack" pack sample/game -o "$work/sample-setup.exe" --stub "$win_dir/fernstall.exe" --quiet
python3 scripts/make_corpus.py "$work/big" --mb "$big_mb" --media-only >&2
cp sample/game/install.env sample/game/insttscr.png sample/game/readme.txt "$work/big/"
"$fernpack" pack "$work/big" -o "$work/big-setup.exe" --stub "$win_dir/fernstall.exe" --quiet
rm -rf "$work/big"
big_bytes=$(stat -c %s "$work/big-setup.exe")
xvfb-run -a "$FERN_WINE" "$win_dir/startup_bench_win32.exe" "$rounds" \
  "$(winpath "$work/sample-setup.exe")" "$(winpath "$work/big-setup.exe")" 2>/dev/null |
  tr -d '\r' | tee -a "$results" >&2
# A menu that was shown and ended leaves its WorkFolder behind.
temp_dir=$(ls -d "$WINEPREFIX"/drive_c/users/*/Temp "$WINEPREFIX"/drive_c/users/*/AppData/Local/Temp \
  2>/dev/null | grep -v Public | head -1 || true)
[ -n "$temp_dir" ] && rm -rf "$temp_dir"/TempQVInstallFolder_*

stub_bytes=$(stat -c %s "$stub")

# --- The table -------------------------------------------------------------------------
field() { awk -v k="$1" -v n="$2" '$1 == "RESULT" && $2 == k { print $n; exit }' "$results"; }
read -r n_core n_inflate n_write n_ratio n_mb n_fused <<< "$(field native 3) $(field native 4) $(field native 5) $(field native 6) $(field native 7) $(field native 8)"
read -r w_core w_inflate w_write w_ratio w_mb w_fused w_files <<< "$(field wine 3) $(field wine 4) $(field wine 5) $(field wine 6) $(field wine 7) $(field wine 8) $(field wine 9)"
read -r w_pump w_by_path w_open_file <<< "$(field wine-calls 3) $(field wine-calls 4) $(field wine-calls 5)"
w_window=$(field wine-window 3)
read -r z_time d_time b_time z_size d_size b_size p_mb <<< "$(field pack 3) $(field pack 4) $(field pack 5) $(field pack 6) $(field pack 7) $(field pack 8) $(field pack 9)"
s_best=$(awk '$1 == "RESULT" && $2 == "startup" && $3 == 0 { print $4 }' "$results")
s_mode=$(awk '$1 == "RESULT" && $2 == "startup" && $3 == 0 { print $6 }' "$results")
g_best=$(awk '$1 == "RESULT" && $2 == "startup" && $3 == 1 { print $4 }' "$results")

calc() { awk "BEGIN { printf \"$1\", $2 }"; }
verdict() { awk "BEGIN { print (($1) ? \"met\" : \"**missed**\") }"; }

road_field() { awk -v k="$1" -v s="$2" -v n="$3" '$1 == "RESULT" && $2 == k && $3 == s { print $n; exit }' "$results"; }
read -r d_seconds d_files <<< "$(field delete 3) $(field delete 4)"
road_rows=""
for set in corpus files; do
  name=$([ "$set" = corpus ] && echo "${n_mb} MB corpus" || echo "$d_files files")
  read -r r_time r_copy r_bare r_un <<< "$(road_field road $set 4) $(road_field road $set 5) $(road_field bare $set 4) $(road_field uninstall $set 4)"
  read -r m_bytes m_time m_limit m_reads m_seeks m_entries <<< "$(road_field disc $set 4) $(road_field disc $set 5) $(road_field disc $set 6) $(road_field disc $set 7) $(road_field disc $set 8) $(road_field disc $set 9)"
  road_rows+="| Installation under Wine, ${name}: install button to completion dialog $(calc %.3f "$r_time") s (the copy $(calc %.3f "$r_copy") s), less the player's answers; bare extraction of the same package $(calc %.3f "$r_bare") s | road / bare | $(calc %.3f "$r_time / $r_bare") | ≤ 1.10 $(verdict "$r_time / $r_bare <= 1.10") |"$'\n'
  road_rows+="| Installation from a 16x DVD (model), ${name}: $(calc %.2f "$m_time") s against the medium's limit $(calc %.2f "$m_limit") s (one seek and $(calc %.1f "$m_bytes / 1e6") MB at 21 MB/s); per 1000 entries $(calc %.0f "$m_reads * 1000 / $m_entries") reads, $(calc %.2f "$m_seeks * 1000 / $m_entries") seeks ($m_entries entries) | modelled / limit | $(calc %.3f "$m_time / $m_limit") | ≤ 1.05 $(verdict "$m_time / $m_limit <= 1.05") |"$'\n'
  if [ "$set" = files ]; then
    road_rows+="| Uninstallation under Wine, ${name}: its question answered to its last message $(calc %.3f "$r_un") s; a bare deletion loop over the same tree $(calc %.3f "$d_seconds") s | uninstaller / bare | $(calc %.2f "$r_un / $d_seconds") | ≤ 2 $(verdict "$r_un / $d_seconds <= 2") |"$'\n'
  else
    road_rows+="| Uninstallation under Wine, ${name}: $(calc %.3f "$r_un") s | time | | (figure) |"$'\n'
  fi
done
road_rows=${road_rows%$'\n'}

rct_rows=$(awk '
  /^optimal encode of/ { sub(/^optimal encode of /, ""); enc[++ne] = $0; next }
  # name, optimal, greedy, optimal/greedy, png, optimal/png, decode, memcpy, memcpy/decode
  NF >= 9 && $(NF) ~ /^[0-9.]+$/ && $(NF-1) ~ /^[0-9]+$/ && $(NF-7) ~ /^[0-9]+$/ {
    name = $1; for (i = 2; i <= NF - 8; i++) name = name " " $i
    printf "| RCT %s: decode %s MB/s against memcpy %s MB/s | memcpy / decode | %s | (figure) |\n", name, $(NF-2), $(NF-1), $NF
    printf "| RCT %s: optimal encoder %s bytes, greedy %s, PNG %s | optimal / greedy; optimal / PNG | %s; %s | (figure) |\n", name, $(NF-7), $(NF-6), $(NF-4), $(NF-5), $(NF-3)
  }
  END { for (i = 1; i <= ne; i++) printf "| RCT optimal encode of %s | time | | (figure) |\n", enc[i] }' "$work/rct.txt")

wine_kind=$([ "$win_dir" = "$top/build/win64" ] && echo "x86-64 build under 64-bit Wine" || echo "32-bit build under Wine")
to=$([ "$s_mode" = window ] && echo "its menu window" || echo "its exit (no menu window yet)")
table=$(cat <<EOF
Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores; corpus ${n_mb} MB; Windows figures: ${wine_kind}.

| Figure | Measured | Ratio | Goal |
|---|---|---|---|
| Extraction, native: core $(calc %.3f "$n_core") s; inflate only $(calc %.3f "$n_inflate") s + write only $(calc %.3f "$n_write") s ($(calc %.0f "$n_mb / $n_core") MB/s) | core / (inflate + write) | $(calc %.3f "$n_ratio") | ≤ 1.05 $(verdict "$n_ratio <= 1.05") |
| Extraction, native: bare fused inflate-into-files loop $(calc %.3f "$n_fused") s | core / fused | $(calc %.3f "$n_core / $n_fused") | (figure) |
| Extraction, Wine: core $(calc %.3f "$w_core") s; inflate only $(calc %.3f "$w_inflate") s + write only $(calc %.3f "$w_write") s | core / (inflate + write) | $(calc %.3f "$w_ratio") | ≤ 1.10 $(verdict "$w_ratio <= 1.10") |
| Extraction, Wine: bare fused inflate-into-files loop $(calc %.3f "$w_fused") s | core / fused | $(calc %.3f "$w_core / $w_fused") | (figure) |
| Extraction, Wine: one drain of an empty queue $(calc %.1f "$w_pump") µs; a small file with its time set by path $(calc %.1f "$w_by_path") µs, through the open file $(calc %.1f "$w_open_file") µs | (inflate + write + a drain per block + the by-path time per file) / (inflate + write) | $(calc %.3f "($w_inflate + $w_write + $w_pump * 1e-6 * ($w_mb * 1e6 / 131072 + $w_files) + ($w_by_path - $w_open_file) * 1e-6 * $w_files) / ($w_inflate + $w_write)") | (figure: what the core would cost without its refresh interval and its open-file time) |
| Extraction, Wine, with the copy progress window shown: $(calc %.3f "$w_window") s | window / (inflate + write) | $(calc %.3f "$w_window / ($w_inflate + $w_write)") | ≤ 1.05 $(verdict "$w_window / ($w_inflate + $w_write) <= 1.05") |
${road_rows}
| Packing, default: $(calc %.2f "$d_time") s against zlib 9 on one thread $(calc %.2f "$z_time") s | speed | $(calc %.2f "$z_time / $d_time")× | ≥ 2.5× $(verdict "$z_time / $d_time >= 2.5") |
| Packing, default: $d_size bytes against zlib 9 $z_size | size | $(calc %.4f "$d_size / $z_size") | ≤ 1 $(verdict "$d_size <= $z_size") |
| Packing, --best: $b_size bytes ($(calc %.1f "$b_time") s) | size | $(calc %.4f "$b_size / $z_size") | ≤ 0.996 $(verdict "$b_size / $z_size <= 0.996") |
${rct_rows}
| Start-up to ${to}: $(calc %.0f "$big_bytes / 1e6") MB package $(calc %.3f "$g_best") s, sample $(calc %.3f "$s_best") s | large / sample | $(calc %.3f "$g_best / $s_best") | ≤ 1.2 $(verdict "$g_best / $s_best <= 1.2") |
| Stub build/win32/fernstall.exe: $stub_bytes bytes | of 256 KiB | $(calc %.3f "$stub_bytes / 262144") | < 1 $(verdict "$stub_bytes < 262144") |
EOF
)

echo
echo "$table"

# Into docs/benchmarks.md, between the markers; the notes around them stay.
doc=docs/benchmarks.md
begin='<!-- bench:begin (written by scripts/bench.sh) -->'
end='<!-- bench:end -->'
if [ ! -f "$doc" ] || ! grep -qF "$begin" "$doc"; then
  printf '# Benchmarks\n\n%s\n%s\n' "$begin" "$end" >> "$doc"
fi
python3 - "$doc" "$begin" "$end" "$table" <<'PY'
import sys
path, begin, end, table = sys.argv[1:5]
text = open(path, encoding="utf-8").read()
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(path, "w", encoding="utf-8").write(head + begin + "\n" + table + "\n" + end + tail)
PY
echo "written to $doc"
