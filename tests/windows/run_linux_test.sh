#!/usr/bin/env bash
# Runs a test program of the Linux build, failing with a plain reason when it was not built
# (scripts/build-windows builds it when build/ is configured).
set -euo pipefail
if [ ! -x "$1" ]; then
  echo "$1 is missing: build the Linux tree first (scripts/test, or scripts/build-windows with build/ configured)" >&2
  exit 1
fi
exec "$@"
