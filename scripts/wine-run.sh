#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; passes its output and exit
# code on. The output goes through a file: Wine's own services, started by the first
# program, would otherwise inherit the caller's pipe and keep it open (CTest then waits
# for them until its time-out). With FERN_WOW64=1 it runs a 32-bit program in the WoW64
# prefix, and is skipped (exit code 77) where 32-bit programs cannot run.
source "$(dirname "$0")/wine-env.sh"
if [ -n "${FERN_WOW64:-}" ]; then
  reason=$(fern_i686_unavailable)
  if [ -n "$reason" ]; then
    echo "skipped: the 32-bit Windows tests cannot run here: $reason"
    exit 77
  fi
fi
wine_prefix_ready
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$FERN_WINE" "$@" > "$log" 2>&1 < /dev/null
status=$?
cat "$log"
exit $status
