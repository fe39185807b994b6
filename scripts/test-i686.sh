#!/usr/bin/env bash
# Runs the scenario tests against the 32-bit installer itself on a machine whose kernel
# cannot run 32-bit programs: the installer's process runs under qemu-user through a
# 64-bit Wine prefix with its 32-bit half installed; the UI driver stays 64-bit. Every
# start of the installer then takes minutes, so this is a target of its own.
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
source "$top/scripts/wine-env.sh"
if fern_native_i386; then
  echo "this machine runs 32-bit Wine natively: make test already runs the 32-bit installer"
  exit 0
fi
export WINEPREFIX=$top/build/wineprefix-wow64 FERN_WOW64=1
wine_prefix_ready
export FERN_SOURCE_DIR=$top FERN_WIN32_DIR=$FERN_WINTEST_DIR FERNPACK=$top/$host_dir/fernpack
export FERN_STUB=$top/$win32_dir/fernstall.exe
status=0
for scenario in "${@:3}"; do
  bash "$top/tests/e2e/$scenario" || status=1
done
[ $# -gt 2 ] || bash "$top/tests/e2e/startup_test.sh" || status=1
exit $status
