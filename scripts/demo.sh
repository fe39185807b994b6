#!/usr/bin/env bash
# Packs the sample game into build/sample-setup.exe and runs it under Wine.
set -euo pipefail
host_dir=${1:-build/host}
win32_dir=${2:-build/win32}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$host_dir/fernpack" pack sample/game -o build/sample-setup.exe --stub "$win32_dir/fernstall.exe"
"$host_dir/fernpack" list build/sample-setup.exe
source scripts/wine-env.sh
wine_prefix_ready
package=build/sample-setup.exe
if ! fern_native_i386; then
  # 32-bit Windows processes run under emulation here and take minutes to start; the
  # demo runs the 64-bit build of the same installer unless asked otherwise.
  if [ -z "${FERN_DEMO_I686:-}" ]; then
    "$host_dir/fernpack" pack sample/game -o build/sample-setup64.exe --quiet \
      --stub "$FERN_WINTEST_DIR/fernstall.exe"
    package=build/sample-setup64.exe
    echo "running $package (the 64-bit build; FERN_DEMO_I686=1 runs the 32-bit one)"
  else
    export WINEPREFIX=$top/build/wineprefix-wow64 FERN_WOW64=1
    wine_prefix_ready
  fi
fi
set +e
"$FERN_WINE" "$package"
echo "installer ended with exit code $?"
