#!/usr/bin/env bash
# Writes docs/reliability.md: the fuzz targets with their executions, coverage and
# crashes, the mutation score of the unit tests, the static analysis, the PE hardening flags and imports, and the outcome of each scenario of
# the signed-installer, hardening, fault and big-package tests.
#
# It runs what is quick (make lint, the PE headers, the signed, hardening and fault
# scenarios, about three minutes) and reads what is not: the counts of the last `make fuzz`
# (build/fuzz/report/), the summary of the last `make mutate` (build/mutate/summary.md) and
# the log of the last opt-in big-package run
# (build/reliability/big_package_test.log, written by this script when FERN_BIG_PACKAGE=1).
# REPORT_REUSE=1 reuses the scenario logs of the previous run instead of running them.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
wintest=build/win64
logs=build/reliability
mkdir -p "$logs"
out=docs/reliability.md

# --- run the scenarios ------------------------------------------------------------------
export FERN_SOURCE_DIR=$top FERN_WIN32_DIR=$top/$wintest FERN_I686_DIR=$top/build/win32
export FERNPACK=$top/build/host/fernpack
scenarios=(hardening_test signed_test faults_test)
[ "${FERN_BIG_PACKAGE:-}" = 1 ] && scenarios+=(big_package_test)
for name in "${scenarios[@]}"; do
  [ "${REPORT_REUSE:-}" = 1 ] && [ -s "$logs/$name.log" ] && continue
  echo "reliability-report: running $name"
  status=0
  if [ -n "${DISPLAY:-}" ]; then
    bash "tests/e2e/$name.sh" > "$logs/$name.log" 2>&1 || status=$?
  else
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "tests/e2e/$name.sh" > "$logs/$name.log" 2>&1 || status=$?
  fi
  echo "exit status $status" >> "$logs/$name.log"
done
bash scripts/lint.sh > /dev/null 2>&1 || true

# --- the report -------------------------------------------------------------------------
# scenario_rows <log>: one table row per scenario ("--- name" lines) with its outcome.
scenario_rows() {
  local log=$1
  if [ ! -s "$log" ]; then
    echo "| (not run) | — |"
    return
  fi
  if grep -q '^skipped: ' "$log"; then
    echo "| $(grep -m1 '^skipped: ' "$log" | sed 's/^skipped: //') | skipped |"
    return
  fi
  awk '
    /^--- / { if (name != "") print_row(); name = substr($0, 5); failed = ""; next }
    /^FAILED: / { if (index($0, name) > 0) failed = failed (failed == "" ? "" : "; ") substr($0, length(name) + 11) }
    function print_row() { printf "| %s | %s |\n", name, failed == "" ? "passed" : "FAILED: " failed }
    END { if (name != "") print_row() }
  ' "$log"
}

pe_row() {  # pe_row <label> <exe>
  local label=$1 exe=$2 flags names sp
  [ -f "$exe" ] || { echo "| $label | (not built) | | | |"; return; }
  flags=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/^DllCharacteristics/ {print $2}')
  local f=$((16#$flags)) list=""
  [ $((f & 0x20)) -ne 0 ] && list+="high-entropy ASLR, "
  [ $((f & 0x40)) -ne 0 ] && list+="ASLR, "
  [ $((f & 0x100)) -ne 0 ] && list+="DEP, "
  list=${list%, }
  grep -q "stack smashing detected" "$exe" && sp=yes || sp=no
  names=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')
  echo "| $label | 0x$flags ($list) | $sp | ${names% } |"
}

{
  cat <<'END'
# Reliability and security

Written by `make reliability-report` (scripts/reliability-report.sh); do not edit by hand.
The fuzz counts come from the last `make fuzz` on the machine that wrote this file.

## Fuzz targets

Each target runs under AddressSanitizer and UndefinedBehaviorSanitizer with a memory
budget tied to its input (fuzz/fuzz_budget.h); `make test` replays the kept inputs and
makes 1500 mutations of each (`fuzz.*` tests). Kept inputs: seeds in `fuzz/corpus/`,
inputs that once failed in `fuzz/regressions/`.

| Target | Reader | Seconds | Executions | Coverage (edges) | Crashes in the last run | Regression inputs kept |
|---|---|---|---|---|---|---|
END
  for src in fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    what=$(sed -n '1s#^// ##p' "$src" | sed 's/[.:].*//')
    report=build/fuzz/report/$name.txt
    seconds=— runs=— crashes=— cov=—
    if [ -f "$report" ]; then
      seconds=$(grep -o 'seconds=[0-9]*' "$report" | cut -d= -f2)
      runs=$(grep -o 'executions=[0-9]*' "$report" | cut -d= -f2)
      crashes=$(grep -o 'crashes=[0-9]*' "$report" | cut -d= -f2)
      cov=$(grep -o 'coverage=[0-9]*' "$report" | cut -d= -f2 || echo —)
    fi
    kept=$({ find "fuzz/regressions/$name" -type f 2>/dev/null || true; } | wc -l)
    echo "| $name | $what | $seconds | $runs | ${cov:-—} | $crashes | $kept |"
  done
  cat <<'END'

The counts above are those of the last run on the machine that wrote this file. The long
run before a release is `make fuzz FUZZ_SECONDS=1800`: 30 minutes per target, four hours
of one core for the eight targets (two at a time on two cores: `scripts/fuzz.sh run
build/fuzz 1800 <targets>` in two shells). A target stops at its first finding; after the
fix it runs its 30 minutes again.

What bounds the speed of the slow targets (`perf record` of a few seconds of each):

- archive_walk_fuzz: the file system. Each input is written out as a package, and each of
  the two walks removes and makes its destination and creates, writes and closes real
  files and folders in it, then walks and resolves the whole scratch tree: about a third
  of the time is in the kernel (mkdir, open, ext4 freeing blocks). Each walk also opens
  the package afresh, so its two blocks are allocated and freed again, which the
  sanitizer's allocator does with fresh pages. Inputs up to 1 MiB make this grow with the
  input.
- settings_fuzz: byte-wise reading. The input goes into a file that both loaders read
  through stdio one byte at a time (getc), with the fuzzer's comparison hooks on every
  byte of the key-line and section rules; the rest is the file's write and open.
- picture_fuzz: memory. A small header may make a large picture (the budget allows 65539
  pixels per 3 input bytes), which is allocated, filled and decoded twice (in memory and
  into a surface read from a file); filling and first touching those pages is about half
  of the time.
- lint_fuzz: lint's own work under the sanitizers: comparison hooks in its many string
  checks (about a third), the edit distance to every known key for a misspelt one, and the
  allocation stack traces that AddressSanitizer records for each of its small strings.
END
  cat <<'END'

Findings fixed, each kept as a regression input:

| Input | Reader | What happened | Fix |
|---|---|---|---|
| `fuzz/regressions/picture_fuzz/huge-claim-23-bytes` | the installer's picture loader | a 23-byte file claiming 20000 x 20000 pixels made the surface (1.2 GB) before the first pixel was read: over the budget | the header is refused when its stream cannot make that many pixels (`RctPixelReach`), before any allocation |
| `fuzz/regressions/picture_input_fuzz/one-bit-rows-389-bytes` | fernpack's PNG input | a 389-byte PNG of 16 x 131072 one-bit pixels held 7.4 MB against a budget of 5.8 MB (found by the 30-minute run after 39 million executions) | none in the reader: its claim check is right (the file's deflate stream can hold the 393 KB of rows). The target's budget assumed at least a byte per pixel; a raw byte holds up to 8 one-bit pixels, 24 bytes of BGR, and the budget now says so |

## Mutation testing

`make mutate` (scripts/mutate.py): each mutant of `tests/mutants.tsv` in a private copy of
the sources, against the native unit tests built without sanitizers, so that a mutant
counts as killed only when an assertion fails or the tests hang, never because a
sanitizer stopped them. Equivalent mutants are kept in the table with the reason and not
counted. The first run, against the tests as they then stood, killed 61 of the 88 mutants
it counted (69 %); each survivor then got a sharper assertion or a missing row.

END
  if [ -f build/mutate/summary.md ]; then
    cat build/mutate/summary.md
  else
    echo "(make mutate has not run)"
  fi
  cat <<'END'

## Static analysis

END
  echo '```'
  tail -n 1 build/lint/cppcheck.txt 2>/dev/null || echo "(make lint has not run)"
  echo '```'
  cat <<'END'

`make lint`: cppcheck (warning, performance, portability) over the portable core and
fernpack with `cppcheck-suppressions.txt`, where each suppression gives its reason.

## Cost that grows with input

END
  ini=$(mktemp -d)
  { printf 'TITLEBAR\tT\r\nINSTTO\tT\r\nEXENAME\tt.exe\r\nINI_FILE\tt.ini\r\n[ini]\r\n'
    seq 1 100000 | sed 's/.*/k&=v\r/'; printf -- '-\r\n'; } > "$ini/install.env"
  start=$(date +%s%N)
  build/host/fernpack lint "$ini/install.env" > /dev/null 2>&1 || true
  ms=$(( ($(date +%s%N) - start) / 1000000 ))
  rm -rf "$ini"
  echo "\`fernpack lint\` of an install.env with 100,000 [ini] lines: $ms ms (the sanitized"
  echo "host build; each section list keeps its tail, so appending no longer walks the list)."
  cat <<'END'

## PE hardening

| Executable | DllCharacteristics | Stack protection | Imports |
|---|---|---|---|
END
  pe_row "32-bit installer (build/win32)" build/win32/fernstall.exe
  pe_row "x86-64 test twin (build/win64)" build/win64/fernstall.exe
  cat <<'END'

At start the installer cuts the search for every later DLL load down to the system folder
(`SetDefaultDllDirectories`, or `SetDllDirectoryA("")` where it is missing) and loads the
common controls by name afterwards instead of importing them.

## Scenarios

### Hardening (`tests/e2e/hardening_test.sh`)

| Scenario | Outcome |
|---|---|
END
  scenario_rows "$logs/hardening_test.log"
  cat <<'END'

### Signed installer (`tests/e2e/signed_test.sh`)

| Scenario | Outcome |
|---|---|
END
  scenario_rows "$logs/signed_test.log"
  cat <<'END'

### Faults (`tests/e2e/faults_test.sh`)

| Scenario | Outcome |
|---|---|
END
  scenario_rows "$logs/faults_test.log"
  cat <<'END'

### Big package (`tests/e2e/big_package_test.sh`, opt-in: `FERN_BIG_PACKAGE=1`)

| Scenario | Outcome |
|---|---|
END
  scenario_rows "$logs/big_package_test.log"
} > "$out"
echo "reliability-report: wrote $out"
