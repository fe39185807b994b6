#!/usr/bin/env bash
# Assembles the sample game's folder as a publisher would have it: sample/game plus the
# game program built for Windows. Usage: sample-disc.sh <windows-build-dir> <out-folder>
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
win_dir=$1
out=$2
program=$win_dir/fernquest.exe
[ -f "$program" ] || { echo "sample-disc: $program is missing (build the Windows targets first)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$(dirname "$out")"
cp -a "$top/sample/game" "$out"
cp -p "$program" "$out/fernquest.exe"
