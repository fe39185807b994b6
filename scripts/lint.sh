#!/usr/bin/env bash
# Static analysis of the portable code: the core (everything but the *_win32.cpp bodies)
# and fernpack, with cppcheck from Debian and the checked-in suppressions
# (cppcheck-suppressions.txt, each with its reason). Exit 1 on any finding. The findings
# and a one-line summary also go to build/lint/cppcheck.txt for the reliability report.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
mkdir -p build/lint
mapfile -t files < <(ls archive/*.cpp settings/*.cpp picture/*.cpp install/*.cpp support/*.cpp \
  app/*.cpp tools/fernpack/*.cpp fuzz/*.cpp | grep -v '_win32\.cpp$')
log=build/lint/cppcheck.txt
status=0
cppcheck --enable=warning,performance,portability --std=c++17 --language=c++ -I. \
  --inline-suppr --suppressions-list=cppcheck-suppressions.txt -j "$(nproc)" --quiet \
  --error-exitcode=1 --template='{file}:{line}: {severity}: {message} [{id}]' \
  "${files[@]}" > "$log" 2>&1 || status=$?
findings=$(grep -c ': \(error\|warning\|performance\|portability\|style\): ' "$log" || true)
echo "cppcheck $(cppcheck --version | awk '{print $2}'): ${#files[@]} files, $findings findings" | tee -a "$log"
[ "$status" -eq 0 ] || { cat "$log" >&2; exit 1; }
