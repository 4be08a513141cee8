#!/usr/bin/env bash
# Session benchmark: the real Holvenstead.exe under Wine against the
# appliance simulator (no added delay), on the network test bed of the tests
# (tests/e2e/bed.sh).
#   bench/session-bench.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM [--steps N]
# Prints the wall time of one session step, its round trips and the host's
# own time between them, and the time from the appliance's first answer to
# the status push (session_report.py), beside the figures recorded before
# the link check kept the host's addresses (session-baseline.txt). The datagrams are timed by a passive
# capture on the host namespace's veth end (imc_capture.py) and, as a
# cross-check, by the program's IMC log. Exit code 77 without namespaces.
set -u
steps=40 bed_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --steps) steps=$2; shift 2 ;;
    *) bed_args+=("$1"); shift ;;  # the bed's own options
  esac
done
bench_dir=$(cd "$(dirname "$0")" && pwd)  # not "here": the bed's Wine set-up takes that name
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe)
. "$bench_dir/../tests/e2e/bed.sh"
bed_options "${bed_args[@]}"

bed_begin
echo "Session benchmark: setting up the test bed"
bed_up
ip netns exec "$bed_name-host" python3 "$bench_dir/imc_capture.py" hv-host "$bed_work/capture.txt" &
bed_track $!
port=$(free_port)
listener_start "$port" "$bed_work/push"
program_start -start -xstatus "$port" "$bed_vmx_win"
wait_until 120 test -e "$bed_work/push/push.1" || { echo "bench: the appliance did not come up within 120 s" >&2; bed_dump; exit 1; }

echo "Forcing $steps session steps through appliance notifications"
done_steps=0
for _ in $(seq "$steps"); do
  step_by_signal && done_steps=$((done_steps + 1))
  sleep 0.1
done
[ "$done_steps" = "$steps" ] || echo "bench: only $done_steps of $steps forced steps were seen" >&2

wine_host "$bed_bin/Holvenstead.exe" -stop -exit "$bed_vmx_win" >/dev/null 2>&1
program_wait_end 90
echo
python3 "$bench_dir/session_report.py" "$bed_work" "$HOLV_APPLIANCE_IP" "$bench_dir/session-baseline.txt"
