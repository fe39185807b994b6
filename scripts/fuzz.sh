#!/usr/bin/env bash
# Runs the libFuzzer targets of build/fuzz (cmake/fuzz.cmake).
#
#   fuzz.sh run FUZZ_DIR SECONDS [TARGET...]   each target for SECONDS, growing its working
#                                              corpus in FUZZ_DIR/corpus/<target> from the
#                                              seeds; executions and crashes are recorded in
#                                              FUZZ_DIR/report/<target>.txt; exit 1 on a crash
#   fuzz.sh smoke FUZZ_DIR TARGET              the seeds and every kept regression input once,
#                                              then a fixed number of mutations (fixed seed),
#                                              writing nothing into the repository
#
# Seeds live in fuzz/corpus/<target>/, inputs that once crashed a reader in
# fuzz/regressions/<target>/; a crash found by `run` is left in FUZZ_DIR/crashes/<target>/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
mode=$1 fuzz_dir=$(cd "$2" && pwd)
shift 2

# A reader that needs more than this for any input is a finding in itself (each target
# also checks its own budget tied to the input's size, fuzz/fuzz_budget.h).
common=(-rss_limit_mb=2048 -timeout=20 -print_final_stats=1)

# The longest input of a target. The archive walk reads packed data in 512 KiB blocks, so
# its inputs (and its seeds, which libFuzzer would cut to this length) may span two.
max_len_of() {
  case $1 in
  archive_walk_fuzz) echo 1048576 ;;
  *) echo 65536 ;;
  esac
}

inputs_of() {  # the kept inputs of one target, seeds and regressions
  local d
  for d in "$top/fuzz/corpus/$1" "$top/fuzz/regressions/$1"; do
    [ -d "$d" ] && find "$d" -type f | sort
  done
  return 0
}

case $mode in
smoke)
  target=$1
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mapfile -t kept < <(inputs_of "$target")
  # Every kept input, once each: a regression must stay fixed.
  common+=(-max_len="$(max_len_of "$target")")
  (cd "$work" && "$fuzz_dir/$target" "${common[@]}" "${kept[@]}" >"$work/replay.log" 2>&1) || {
    cat "$work/replay.log"; echo "fuzz smoke: $target failed on a kept input" >&2; exit 1; }
  # Then a bounded mutation run from the seeds: a fixed count with a fixed seed.
  mkdir "$work/new"
  (cd "$work" && "$fuzz_dir/$target" "${common[@]}" -seed=1 -runs="${FERN_FUZZ_SMOKE_RUNS:-1500}" \
      -artifact_prefix="$work/" "$work/new" "$top/fuzz/corpus/$target" >"$work/run.log" 2>&1) || {
    tail -n 40 "$work/run.log"; echo "fuzz smoke: $target crashed (input above)" >&2; exit 1; }
  echo "fuzz smoke: $target: ${#kept[@]} kept inputs replayed, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/run.log" | grep -o '[0-9]*$') executions"
  ;;
run)
  seconds=$1
  shift
  targets=("$@")
  if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(cd "$top/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')
  fi
  status=0
  mkdir -p "$fuzz_dir/report"
  for target in "${targets[@]}"; do
    corpus=$fuzz_dir/corpus/$target crashes=$fuzz_dir/crashes/$target
    mkdir -p "$corpus" "$crashes"
    log=$fuzz_dir/report/$target.log
    rc=0
    (cd "$fuzz_dir" && "./$target" "${common[@]}" -max_len="$(max_len_of "$target")" \
        -max_total_time="$seconds" \
        -artifact_prefix="$crashes/" "$corpus" "$top/fuzz/corpus/$target" \
        $( [ -d "$top/fuzz/regressions/$target" ] && echo "$top/fuzz/regressions/$target" ) \
        >"$log" 2>&1) || rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    found=$(find "$crashes" -type f | wc -l)
    # Coverage as libFuzzer last printed it: edges (cov) and features (ft).
    last=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1 || true)
    cov=$(echo "$last" | awk '{print $2}') ft=$(echo "$last" | awk '{print $4}')
    printf 'target=%s seconds=%s executions=%s coverage=%s features=%s crashes=%s exit=%s\n' \
      "$target" "$seconds" "${runs:-0}" "${cov:-0}" "${ft:-0}" "$found" "$rc" \
      >"$fuzz_dir/report/$target.txt"
    echo "fuzz: $target: ${runs:-0} executions in ${seconds}s, coverage ${cov:-0} edges," \
      "$found crash input(s) kept in $crashes"
    [ "$rc" -eq 0 ] || status=1
  done
  exit $status
  ;;
*)
  echo "usage: fuzz.sh run FUZZ_DIR SECONDS [TARGET...] | smoke FUZZ_DIR TARGET" >&2
  exit 2
  ;;
esac
