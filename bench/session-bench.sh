#!/usr/bin/env bash
# Session benchmark: the real Holvenstead.exe under Wine against the
# appliance simulator (no added delay), on the network test bed of the tests
# (tests/e2e/bed.sh), before and after in one run: first the build that
# reads the host's addresses and the route table at every step (BIN/before,
# the Holvenstead_before target), then the program as it is, on the same bed,
# the same appliance and the same route lists.
#   bench/session-bench.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM [--steps N]
# Prints, for each, the wall time of one session step, its round trips and
# the host's own time between them, and the time from the appliance's first
# answer to the status push (session_report.py), then both side by side, and
# what a bare Wine process's exchanges cost on this machine (wake_probe.exe). The
# datagrams are timed by a passive capture on the host namespace's veth end
# (imc_capture.py) and, as a cross-check, by the program's IMC log. Exit
# code 77 without namespaces.
set -u
steps=40 bed_args=()
while [ $# -gt 0 ]; do
  case $1 in
    --steps) steps=$2; shift 2 ;;
    *) bed_args+=("$1"); shift ;;  # the bed's own options
  esac
done
bench_dir=$(cd "$(dirname "$0")" && pwd)  # not "here": the bed's Wine set-up takes that name
bed_needs=(Holvenstead.exe before/Holvenstead.exe vmplayer.exe vmware-vmx.exe wake_probe.exe)
. "$bench_dir/../tests/e2e/bed.sh"
bed_options "${bed_args[@]}"

# The appliance asks for a host route and a network, as a real one does; the
# step then reads the route table and compares it with what it owns.
own_routes=(10.0.0.1/32 10.1.0.0/16)

# One program, from start to -stop -exit: its datagrams, IMC log, record
# lines and push in WORK/NAME.
run_phase() {  # name bin
  local dir=$bed_work/$1 bin=$2 from port done_steps=0 r
  mkdir -p "$dir"
  echo "$1: starting $bin/Holvenstead.exe, forcing $steps session steps through appliance notifications"
  from=$(($(wc -l <"$bed_work/record" 2>/dev/null || echo 0) + 1))
  ip netns exec "$bed_name-host" python3 "$bench_dir/imc_capture.py" hv-host "$dir/capture.txt" &
  local capture=$!  # the capture itself: ip execs it
  bed_track "$capture"
  port=$(free_port)
  listener_start "$port" "$dir/push"
  bed_bin=$bin program_start -start -xstatus "$port" "$bed_vmx_win"
  wait_until 120 test -e "$dir/push/push.1" || { echo "bench: the appliance did not come up within 120 s" >&2; bed_dump; exit 1; }
  # The routes it made, in the table as Windows would hold them (Wine's
  # calls leave the namespace's table alone): a steady step finds them there.
  for r in "${own_routes[@]}"; do in_host ip route add "$r" via "$HOLV_APPLIANCE_IP" dev hv-host; done
  for _ in $(seq "$steps"); do
    step_by_signal && done_steps=$((done_steps + 1))
    sleep 0.1
  done
  [ "$done_steps" = "$steps" ] || echo "bench: only $done_steps of $steps forced steps were seen" >&2
  wine_host "$bin/Holvenstead.exe" -stop -exit "$bed_vmx_win" >/dev/null 2>&1
  program_wait_end 90
  for r in "${own_routes[@]}"; do in_host ip route del "$r"; done
  kill "$capture" 2>/dev/null
  mv "$bed_work/imc.log" "$dir/imc.log"
  tail -n +"$from" "$bed_work/record" >"$dir/record"
}

bed_begin
echo "Session benchmark: setting up the test bed"
bed_up
sim_config route.0=00000a000001 route.1=01000a010000ffff0000
run_phase before "$bed_bin/before"
run_phase after "$bed_bin"
echo "What the machine adds without the program (wake_probe.exe)"
wine_host "$bed_bin/wake_probe.exe" "$steps" >"$bed_work/probe.txt" 2>/dev/null || echo "bench: the probe failed" >&2
echo
python3 "$bench_dir/session_report.py" "$HOLV_APPLIANCE_IP" "$bed_work/before" "$bed_work/after"
echo
tr -d '\r' <"$bed_work/probe.txt"
