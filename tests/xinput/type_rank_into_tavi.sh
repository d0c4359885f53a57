#!/usr/bin/env bash
# Real X input into the real program, as a technician at a desktop: under Xvfb with the openbox
# window manager, xdotool clicks "Set Head Rank" in tavi's main window, picks head 2 and types a
# rank through the six fields with Tab (with keys the fields must refuse among them), Tabs on to
# "Set" and presses it. The virtual printer's log must then hold exactly that rank. A Tab order
# that scrambles the fields, a field that takes a foreign key or a window that never gets the
# keyboard turns this red.
# Usage: type_rank_into_tavi.sh TAVI TAVI_PRINTER_SIM
# Exit status 77: skipped (a tool is missing).
set -euo pipefail

tavi=$1
sim=$2
address=127.0.0.174

for tool in Xvfb openbox xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
sim_pid=""
tavi_pid=""
# Every process started here is stopped here, by its pid, the last started first.
cleanup() {
  for pid in "$tavi_pid" "$sim_pid" "$wm_pid" "$xvfb_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null || true
      wait "$pid" 2>/dev/null || true
    fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in sim.log tavi.log wm.log; do
    if [ -s "$work/$log" ]; then
      echo "--- $log" >&2
      cat "$work/$log" >&2
    fi
  done
  exit 1
}

# Polls `command...` every 100 ms for up to `seconds`; true once it succeeds.
wait_for() {
  local seconds=$1
  shift
  local tries=$((seconds * 10))
  while [ "$tries" -gt 0 ]; do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
    tries=$((tries - 1))
  done
  return 1
}

# The X server on a free display, its number written when it is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 grep -q '[0-9]' "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(tr -dc '0-9' <"$work/display")"
# Nothing reads or writes the user's own files.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

openbox >"$work/wm.log" 2>&1 &
wm_pid=$!
# A window manager answers for its desktops.
wait_for 20 xdotool get_num_desktops || fail "openbox did not start"

"$sim" --address "$address" --lpd-port 0 --snmp-port 0 --json >"$work/sim.log" 2>&1 &
sim_pid=$!
wait_for 10 grep -q '"event":"snmp-listening"' "$work/sim.log" || fail "the virtual printer did not start"
port_of() { grep -o "\"event\":\"$1\".*\"port\":[0-9]*" "$work/sim.log" | grep -o '[0-9]*$'; }
lpd_port=$(port_of lpd-listening)
snmp_port=$(port_of snmp-listening)

cat >"$work/Tavi.ini" <<EOF
[Port]
Port=1
HostSel=0
NumHost=1
Host0=$address
MachineType=1
EOF
QT_QPA_PLATFORM=xcb "$tavi" --settings "$work/Tavi.ini" --lpd-port "$lpd_port" \
  --snmp-port "$snmp_port" >"$work/tavi.log" 2>&1 &
tavi_pid=$!

is_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]; }
# The window with `name` on screen and holding the keyboard; prints its id.
active_window() {
  local name=$1 id
  wait_for 20 xdotool search --onlyvisible --name "$name" || return 1
  id=$(xdotool search --onlyvisible --name "$name" | head -n 1)
  wait_for 10 is_active "$id" || return 1
  echo "$id"
}
tavi_ended() {
  [ ! -e "/proc/$tavi_pid" ] || [ "$(cut -d' ' -f3 "/proc/$tavi_pid/stat" 2>/dev/null)" = Z ]
}

main=$(active_window '^Tavi [0-9]') || fail "tavi's main window never got the keyboard"
# "Set Head Rank" at 7, 92, 87 x 15 of the main window's 101 x 147 dialog units: its middle,
# from the window's own origin (the position getwindowgeometry gives is the frame's under a
# window manager; its size is the window's).
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH * (14 + 87) / (2 * 101))) \
  $((HEIGHT * (184 + 15) / (2 * 147))) click 1

active_window '^Set Head Rank$' >/dev/null || fail "no Set Head Rank window with the keyboard"
sleep 0.3
# The head list has the keyboard: head 2. Then each field, reached with Tab; in the first, the
# quote, underscore, e-acute and space go nowhere, and the field takes no more than 7.
xdotool key 2
for text in 'A"b_C $%é*+ 9' '-.:0123' 'z' 'Yx9W8' '7v6U5t4' 'S3r2Q1'; do
  xdotool key Tab
  xdotool type --delay 20 -- "$text"
done
xdotool key Tab Tab space # past "Reference..." to "Set"

active_window '^Tavi$' >/dev/null || fail "no message box after Set"
xdotool key Return
wait_for 10 xdotool search --onlyvisible --name '^Tavi [0-9]' || fail "the main window went away"
xdotool key Escape
wait_for 10 tavi_ended || fail "tavi did not end after Escape"
status=0
wait "$tavi_pid" || status=$?
tavi_pid=""
[ "$status" -eq 0 ] || fail "tavi ended with status $status"

# What the printer did with the job, without times and peers.
rank='AbC$%*+-.:0123z Yx9W87v6U5t4 S3r2Q1'
expected=$(
  cat <<EOF
"event":"command","session":1,"text":"PIPE MONITOR"
"event":"console","session":1,"line":"HeadInfo_SetHeadRank 1 \\"$rank\\""
"event":"head-rank","head":1,"rank":"$rank"
"event":"console","session":1,"line":"NvMemMan_Sync"
"event":"console","session":1,"line":"Task_Delay 80"
"event":"console","session":1,"line":"rs"
EOF
)
got=$({ grep -E '"event":"(command|console|head-rank|head-rank-rejected|unknown-command)"' \
  "$work/sim.log" || true; } | sed -e 's/^{"time_ms":[0-9]*,//' -e 's/}$//')
if [ "$got" != "$expected" ]; then
  echo "expected:" >&2
  echo "$expected" >&2
  echo "got:" >&2
  echo "$got" >&2
  fail "the printer's log differs from the rank typed"
fi
echo "PASS: the rank typed with Tab reached the printer as typed"
