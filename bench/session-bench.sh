#!/usr/bin/env bash
# Session benchmark: the real Holvenstead.exe under Wine against the
# appliance simulator (no added delay), on the test bed of the session tests.
#
#   tests/e2e/session/bench.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM] [--steps N]
#
# Prints the wall time of one session step, its round trips and the host's
# own time between them, and the time from the appliance's first answer to
# the status push (bench_report.py). The datagrams are timed by a passive
# capture on the host namespace's veth end and, as a cross-check, by the
# program's IMC log. Exit code 77 when network namespaces cannot be made
# here.
set -u
self=$(cd "$(dirname "$0")" && pwd)
sess_bin=$self/../../../build/win/bin
sess_sim=$self/../../../build/native/bin/appliance-sim
steps=40
while [ $# -gt 0 ]; do
  case $1 in
    --bin) sess_bin=$2; shift 2 ;;
    --sim) sess_sim=$2; shift 2 ;;
    --steps) steps=$2; shift 2 ;;
    *) echo "usage: $0 [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM] [--steps N]" >&2; exit 2 ;;
  esac
done
. "$self/lib.sh"

sess_begin
echo "Session benchmark: setting up the test bed"
sess_up

ip netns exec "$sess_name-host" python3 "$self/capture.py" hv-host "$sess_work/capture.txt" &
sess_track $!
port=$(free_port)
listener_start "$port" "$sess_work/push"
program_start -start -xstatus "$port" "$sess_vmx_win"
if ! wait_until 120 eval '[ "$(push_count "$sess_work/push")" -ge 1 ]'; then
  echo "bench: the appliance did not come up within 120 s" >&2
  sess_dump
  exit 1
fi

echo "Forcing $steps session steps through appliance notifications"
done_steps=0
for _ in $(seq "$steps"); do
  step_by_signal && done_steps=$((done_steps + 1))
  sleep 0.1
done
[ "$done_steps" = "$steps" ] || echo "bench: only $done_steps of $steps forced steps were seen" >&2

wine_host "$sess_bin/Holvenstead.exe" -stop -exit "$sess_vmx_win" >/dev/null 2>&1
program_wait_end 90
echo
python3 "$self/bench_report.py" "$sess_work" "$sess_appliance_ip"
