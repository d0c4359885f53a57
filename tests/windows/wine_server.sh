#!/usr/bin/env bash
# The Wine server of the Windows tests' private prefix, kept running for the whole test run so
# that each program starts in about a second instead of three:
#   wine_server.sh start PREFIX   makes the prefix if needed and starts `wineserver -f -p`
#   wine_server.sh stop PREFIX    stops the server this script started, by its process id
set -euo pipefail
# Nothing of the prefix (the server, the services the first program starts) may keep a file of
# the caller open, such as a lock held around the test run: close every descriptor past stderr.
for fd in /proc/$$/fd/*; do
  n=${fd##*/}
  if [ "$n" -gt 2 ] 2>/dev/null; then eval "exec $n>&-" 2>/dev/null || true; fi
done
action="$1"
export WINEPREFIX="$2"
export WINEDEBUG=-all
pidfile="$WINEPREFIX.wineserver.pid"
case "$action" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null; then exit 0; fi
    # Its output goes to a file: an inherited pipe would keep ctest waiting for its end.
    setsid wineserver -f -p >"$WINEPREFIX.wineserver.log" 2>&1 </dev/null &
    echo $! >"$pidfile"
    # The first program in a new prefix sets the prefix up (several seconds); do it here.
    "$(dirname "$0")/../../cmake/wine-run.sh" "$WINEPREFIX" cmd /c exit 0 >/dev/null 2>&1 || true
    ;;
  stop)
    [ -f "$pidfile" ] || exit 0
    pid="$(cat "$pidfile")"
    rm -f "$pidfile"
    # The server ends every process of this prefix (services.exe, winedevice.exe, ...) and
    # itself; then the process this script started is waited for, and killed if it stays.
    wineserver -k 2>/dev/null || true
    kill "$pid" 2>/dev/null || exit 0
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || exit 0
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    ;;
esac
