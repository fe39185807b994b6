#!/usr/bin/env bash
# Runs every test through CTest: native unit tests, the Windows tests under Wine and the
# scenario tests that drive the real installer. Starts a virtual display when none exists.
set -euo pipefail
host_dir=${1:-build/host}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
source "$(dirname "$0")/wine-env.sh"
wine_prefix_ready
# One wine server for the whole run keeps program starts fast; it goes when the run ends.
wineserver -p120 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
status=0
ctest --test-dir "$host_dir" --output-on-failure -j "$(nproc)" --timeout 600 || status=$?
# A skipped test says why on a line of its own ("skipped: ..."); CTest shows only its name.
log=$host_dir/Testing/Temporary/LastTest.log
[ -f "$log" ] && grep -h '^skipped: ' "$log" | sort -u | sed 's/^/note: /' || true
exit $status
