#!/usr/bin/env bash
# Runs a Windows window program under Wine in a private prefix on a private X server, and stops
# that prefix's Wine server afterwards.
#   run_in_wine_display.sh PROGRAM [ARGS...]
set -euo pipefail
prefix="$(mktemp -d)"
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all
xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
