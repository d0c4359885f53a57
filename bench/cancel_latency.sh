#!/usr/bin/env bash
# Measures the Cancel latency of the desktop window under Xvfb with real X input (xdotool):
# from the X click on the progress window's Cancel to the window being hidden.
#   bench/cancel_latency.sh [ROUNDS] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds="${1:-20}"
build="${2:-build}"
program="$build/bench/cancel_latency_xclick"
if [ ! -x "$program" ]; then
  echo "cancel_latency: build $program first (cmake --build $build)" >&2
  exit 2
fi
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" "$program" "$rounds"
