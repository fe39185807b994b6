#!/usr/bin/env bash
# Runs scenario tests against the shipped 32-bit installer (by default the start-up
# scenarios, else those named after the two build folders), in the WoW64 prefix from the
# private 32-bit root; the UI driver and the helper programs are the 32-bit ones too.
# make test runs only the genuine road this way (tests/e2e/genuine_i686_test.sh); the
# other scenarios read the registry's 64-bit view and the 64-bit system folder, which a
# 32-bit installer does not write.
set -euo pipefail
host_dir=${1:-build/host}
win32_dir=${2:-build/win32}
source "$(dirname "$0")/i386-support.sh"
reason=$(fern_i686_unavailable)
if [ -n "$reason" ]; then
  echo "make test-i686 cannot run: $reason" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
top=$(cd "$(dirname "$0")/.." && pwd)
export FERN_WOW64=1
source "$top/scripts/wine-env.sh"
wine_prefix_ready
export FERN_SOURCE_DIR=$top FERN_WIN32_DIR=$top/$win32_dir FERN_I686_DIR=$top/$win32_dir
export FERNPACK=$top/$host_dir/fernpack
status=0
for scenario in "${@:3}"; do
  bash "$top/tests/e2e/$scenario" || status=1
done
[ $# -gt 2 ] || bash "$top/tests/e2e/startup_test.sh" || status=1
exit $status
