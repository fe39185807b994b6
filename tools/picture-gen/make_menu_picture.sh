#!/usr/bin/env bash
# Rebuilds the sample game's menu picture, sample/game/insttscr.png, from
# make_menu_picture.cpp (needs g++, libpng-dev, libfreetype-dev and fonts-ipafont-gothic).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
out=${1:-$top/sample/game/insttscr.png}
font=${FONT:-/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++17 -Wall -Wextra -o "$work/make_menu_picture" "$here/make_menu_picture.cpp" \
  $(pkg-config --cflags --libs freetype2 libpng)
"$work/make_menu_picture" "$out" "$font"
echo "wrote $out"
