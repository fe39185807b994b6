#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; passes its output and exit
# code on. The output goes through a file: Wine's own services, started by the first
# program, would otherwise inherit the caller's pipe and keep it open (CTest then waits
# for them until its time-out).
source "$(dirname "$0")/wine-env.sh"
wine_prefix_ready
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$FERN_WINE" "$@" > "$log" 2>&1 < /dev/null
status=$?
cat "$log"
exit $status
