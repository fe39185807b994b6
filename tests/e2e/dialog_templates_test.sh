#!/usr/bin/env bash
# The installer's resources as compiled: every dialog template control by control, and the
# copy animation's format (tests/e2e/check_dialog_templates.py). Needs no Wine: the
# resource script is compiled again with the cross toolchain's windres, as the build does.
set -euo pipefail
windres=$(command -v x86_64-w64-mingw32-windres || command -v i686-w64-mingw32-windres)
work=$(mktemp -d /tmp/fern-res.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The manifest is generated into the Windows build's resources folder.
"$windres" -c 65001 -I "$FERN_WIN32_DIR/resources" -I "$FERN_SOURCE_DIR/resources" \
  -O res "$FERN_SOURCE_DIR/resources/fernstall.rc" "$work/fernstall.res"
python3 "$FERN_SOURCE_DIR/tests/e2e/check_dialog_templates.py" "$work/fernstall.res"
