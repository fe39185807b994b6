#!/usr/bin/env bash
# Makes the pictures that the Windows test SurfaceWin32.MenuPictureDecodesToThePngPixels
# loads from FERN_PICTURE_FIXTURE_DIR:
#   insttscr.rct  the sample's menu picture, encoded by fernpack from its PNG
#   insttscr.bgr  the PNG's pixels as raw blue, green, red bytes, rows top to bottom, read
#                 by ImageMagick (not by fernpack's own PNG reader)
#   narrow.rct/.bgr  the same for a 157-pixel-wide cut of it, whose 471-byte rows the
#                 decoder has to spread to the bitmap's 472-byte stride
#
# usage: tests/picture_fixture.sh <fernpack> <out-dir>
set -euo pipefail
fernpack=${1:?usage: picture_fixture.sh <fernpack> <out-dir>}
out=${2:?usage: picture_fixture.sh <fernpack> <out-dir>}
top=$(cd "$(dirname "$0")/.." && pwd)
png=$top/sample/game/insttscr.png
command -v convert >/dev/null || { echo "picture_fixture: ImageMagick's convert is needed" >&2; exit 1; }

mkdir -p "$out"
"$fernpack" rct encode "$png" "$out/insttscr.rct" >/dev/null
convert "$png" -depth 8 "bgr:$out/insttscr.bgr"
convert "$png" -crop 157x200+1+30 +repage -define png:color-type=2 "$out/narrow.png"
"$fernpack" rct encode "$out/narrow.png" "$out/narrow.rct" >/dev/null
convert "$out/narrow.png" -depth 8 "bgr:$out/narrow.bgr"
rm -f "$out/narrow.png"
