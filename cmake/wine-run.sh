#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...].
# The prefix is made on first use (about 8 s); no Mono or Gecko is asked for, and Wine's own
# diagnostics stay off so that the program's output is all there is.
set -euo pipefail
# A Wine program may leave processes of the prefix behind it: let none of them keep a file of
# the caller open (such as a lock held around the test run).
for fd in /proc/$$/fd/*; do
  n=${fd##*/}
  if [ "$n" -gt 2 ] 2>/dev/null; then eval "exec $n>&-" 2>/dev/null || true; fi
done
export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
mkdir -p "$WINEPREFIX"
exec wine "$@"
