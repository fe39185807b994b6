# Sourced by scripts/bench.sh: the installation and the uninstallation as a player goes
# through them, driven by the test's uidriver under Wine, timed without the player.
#
#   road_install <package> <folder> <out> [<read trace>]
#       installs the package (a sample-shaped one: the sample's settings at the top) into
#       <folder> (a Unix path; the folder dialog is given it) and prints
#       "RESULT road <seconds> <copy seconds>". <seconds> runs from the click on the install
#       button to the completion dialog, less the time the driver (the player) took to
#       answer the folder dialog, the question and the shortcut dialog. <copy seconds> is
#       the part from the answer to the question to the shortcut dialog. With <read trace>,
#       the whole run (start-up included) runs under strace, which writes every read and
#       seek of every process into the folder <read trace>, a file per process, for
#       scripts/disc_model.py (the run's timings then mean nothing).
#   road_uninstall <out>
#       runs the uninstaller that the uninstall entry names and prints
#       "RESULT uninstall <seconds>": from the answer to its question to its last message.
#
# Both need wine-env.sh sourced and $work (a scratch folder), and leave the driver's
# output in <out>.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
road_title=$(printf 'ふぇるん冒険記')
road_uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QvApp$road_title"

# Removes what an earlier, interrupted run may have left in the prefix: the game's keys,
# its uninstall entry and Start-menu group.
road_clean_prefix() {
  local key
  for key in 'HKLM\Software\FernSoft' 'HKCU\Software\FernSoft' "$road_uninstall_key"; do
    "$FERN_WINE" reg delete "$key" /f >/dev/null 2>&1 || true
  done
  rm -rf "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/FernSoft" \
    "$WINEPREFIX/drive_c/users/Public/Desktop/$road_title.lnk"
}

# road_completed <out> <line> <what>: the driver printed the line, or says what failed.
road_completed() {
  grep -qF -- "$2" "$1" && return 0
  echo "bench-road: the $3 did not complete:" >&2
  cat "$1" >&2
  return 1
}

road_driver() {
  "$FERN_WINE" "$FERN_WINTEST_DIR/uidriver.exe" "$(winpath "$1")" 2>/dev/null | tr -d '\r'
}

# The clock lines' sums: for each pair (answer, next window), found - now.
road_sum() {
  awk -F'\t' '$1 == "clock" { now[++n] = $2; found[n] = $4 }
    END {
      total = 0
      for (i = 1; i < n; i += 2) total += found[i + 1] - now[i]
      copy = found[6] - now[5]
      printf "%.4f %.4f\n", total / 1000, copy / 1000
    }' "$1"
}

road_install() {
  local package=$1 folder=$2 out=$3 trace=${4:-} T=$'\t'
  road_clean_prefix
  mkdir -p "$(dirname "$folder")"
  cat > "$work/road.txt" <<END
poll${T}5
launch${T}setup${T}$(winpath "$package")
wait-window${T}setup${T}#32770${T}$road_title スタートアップ${T}120000
click-label${T}インストール
clock
wait-window${T}setup${T}#32770${T}インストール先のフォルダの指定${T}120000
clock
type${T}1000${T}$(winpath "$folder")
click${T}1
clock
wait-box${T}setup${T}120000
clock
text
click${T}6
clock
wait-window${T}setup${T}#32770${T}ショートカットの作成${T}1800000
clock
click${T}2
clock
wait-window${T}setup${T}#32770${T}インストール終了${T}120000
clock
click${T}1
wait-exit${T}setup${T}120000
END
  if [ -n "$trace" ]; then
    # Every read, seek and open by every process of the run, with the file each descriptor
    # names; the model keeps those of the package.
    rm -rf "$trace"
    mkdir -p "$trace"
    strace -ff -ttt -y -qq -e trace=read,pread64,readv,preadv,lseek -o "$trace/t" \
      "$FERN_WINE" "$FERN_WINTEST_DIR/uidriver.exe" "$(winpath "$work/road.txt")" 2>/dev/null |
      tr -d '\r' > "$out"
  else
    road_driver "$work/road.txt" > "$out"
  fi
  road_completed "$out" "exit${T}0" installation || return 1
  echo "RESULT road $(road_sum "$out")"
}

road_uninstall() {
  local out=$1 program T=$'\t'
  program=$("$FERN_WINE" reg query "$road_uninstall_key" /v UninstallString 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ *//p' | tr -d '"')
  [ -n "$program" ] || { echo "road_uninstall: no uninstall entry" >&2; return 1; }
  cat > "$work/unroad.txt" <<END
poll${T}5
launch${T}un${T}$program
wait-box${T}*${T}120000
click${T}6
clock
wait-closed${T}10000
wait-box${T}*${T}1800000
clock
text
click${T}1
wait-exit${T}un${T}120000
wait-no-process${T}UnInst${T}120000
END
  road_driver "$work/unroad.txt" > "$out"
  road_completed "$out" "text${T}アンインストールが完了しました。" uninstallation || return 1
  echo "RESULT uninstall $(road_sum "$out" | cut -d' ' -f1)"
}
