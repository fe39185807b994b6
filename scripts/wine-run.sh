#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix; passes its exit code on.
source "$(dirname "$0")/wine-env.sh"
wine_prefix_ready
exec "$FERN_WINE" "$@"
