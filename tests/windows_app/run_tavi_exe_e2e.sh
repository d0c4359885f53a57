#!/usr/bin/env bash
# tavi.exe end to end: starts three virtual printers of the Linux build on this test's own
# addresses (one answers, one never sends its report header, one only Find... asks; a fourth
# address has nothing listening), then runs the driver program
# under Wine in a private prefix on a private X server. The driver starts tavi.exe and works it
# with real input. Afterwards: the answering printer got its closing zero byte, the cancelled one
# none. Every process started here is stopped here, by its process id.
#   run_tavi_exe_e2e.sh SIM DRIVER_EXE TAVI_EXE
set -euo pipefail
sim="$1" driver="$2" tavi="$3"
if [ ! -x "$sim" ]; then
  echo "$sim is missing: build the Linux tree first" >&2
  exit 1
fi
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

host_ok=127.0.7.10 host_silent=127.0.7.11 host_found=127.0.7.12 host_refused=127.0.7.13
lpd_port=5515 snmp_port=16161
printf 'Tavi e2e report\r\nHeads: 8\r\nCaf\xc3\xa9 line, tab\there\r\n{\\rtf1 not rich text}\r\n' >"$work/report.txt"
"$sim" --address "$host_ok" --lpd-port "$lpd_port" --snmp-port "$snmp_port" \
  --report "$work/report.txt" >"$work/sim-ok.log" 2>&1 &
pids+=($!)
"$sim" --address "$host_silent" --lpd-port "$lpd_port" --snmp-port "$snmp_port" --no-header \
  >"$work/sim-silent.log" 2>&1 &
pids+=($!)
# Only Find... asks this one; it is of the other family.
"$sim" --address "$host_found" --lpd-port "$lpd_port" --snmp-port "$snmp_port" --family 1 \
  --sys-name e2e-found >"$work/sim-found.log" 2>&1 &
pids+=($!)
for log in "$work/sim-ok.log" "$work/sim-silent.log" "$work/sim-found.log"; do
  for _ in $(seq 100); do grep -q snmp-listening "$log" && break; sleep 0.05; done
  grep -q snmp-listening "$log" || { cat "$log" >&2; exit 1; }
done

win() { printf 'Z:%s' "${1//\//\\}"; }
# Wine spells the folders' names on this side in the locale's character set: UTF-8, so that any
# name a Windows program makes is a name here too.
export LC_ALL=C.UTF-8
export WINEPREFIX="$work/prefix" WINEDEBUG=-all
export TAVI_E2E_TAVI="$(win "$(realpath "$tavi")")" TAVI_E2E_DIR="$(win "$work")"
export TAVI_E2E_REPORT="$(win "$work/report.txt")"
export TAVI_E2E_HOST_OK="$host_ok" TAVI_E2E_HOST_SILENT="$host_silent"
export TAVI_E2E_HOST_FOUND="$host_found" TAVI_E2E_HOST_REFUSED="$host_refused"
export TAVI_E2E_LPD_PORT="$lpd_port" TAVI_E2E_SNMP_PORT="$snmp_port"
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" wine "$driver" || status=$?

ok_zeros="$(grep -c closing-zero "$work/sim-ok.log" || true)"
silent_zeros="$(grep -c closing-zero "$work/sim-silent.log" || true)"
echo "closing zero bytes: answering printer $ok_zeros, cancelled printer $silent_zeros"
if [ "$ok_zeros" -lt 1 ] || [ "$silent_zeros" -ne 0 ]; then
  echo "FAILED: the answering printer needs its closing zero, the cancelled one must get none" >&2
  status=1
fi
exit "$status"
