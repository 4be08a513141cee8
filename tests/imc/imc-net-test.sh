#!/usr/bin/env bash
# Runs a Windows test program under Wine in the host namespace of the network
# test bed (tests/e2e/bed.sh), against the appliance simulator in the other:
# the program's broadcasts cannot leave this machine.
#   imc-net-test.sh NETNS_SH APPLIANCE_SIM TEST_EXE [TEST ARGS...]
# The program finds the bed's folder in HOLV_IMC_NET_WORK (the simulator's
# config, power and record files) and the addresses in HOLV_APPLIANCE_IP and
# HOLV_HOST_IP. It cannot send a Unix signal, so it asks for notifications
# with a file in the folder: notify-now (one at once), notify-on-drop (one as
# soon as the record shows a dropped command, while the host still waits for
# its answer), notify-stream (one every 50 ms while the file exists, 20 s at
# most). Exit: the program's code; 1 when the bed fails; 77 without namespaces.
set -u
[ $# -ge 3 ] || { echo "usage: $0 NETNS_SH APPLIANCE_SIM TEST_EXE [ARGS...]" >&2; exit 2; }
bed_sim=${HOLV_APPLIANCE_SIM:-$2} exe=$3
shift 3
bed_bin=$(dirname "$exe") bed_needs=("$(basename "$exe")")
. "$(dirname "$0")/../e2e/bed.sh"

bed_begin
printf 'mac=00:0c:29:5a:5a:02\nshutdown-powers-off=0\n' >"$bed_work/config"
touch "$bed_work/power"
bed_up --no-player >/dev/null

notifier() {
  local streamed=0
  while kill -0 "$bed_sim_pid" 2>/dev/null; do
    if [ -e "$bed_work/notify-now" ]; then
      kill -USR1 "$bed_sim_pid"
      rm -f "$bed_work/notify-now"
    fi
    if [ -e "$bed_work/notify-on-drop" ] && record_above '^drop ' 0; then
      kill -USR1 "$bed_sim_pid"
      rm -f "$bed_work/notify-on-drop"
    fi
    if [ -e "$bed_work/notify-stream" ]; then
      kill -USR1 "$bed_sim_pid"
      streamed=$((streamed + 1))
      [ $streamed -ge 400 ] && rm -f "$bed_work/notify-stream" && streamed=0
      sleep 0.05
      continue
    fi
    streamed=0
    sleep 0.02
  done
}
notifier &
bed_track $!

rc=0
export HOLV_IMC_NET_WORK=$bed_work
wine_host "$exe" "$@" || rc=$?
[ $rc = 0 ] || bed_dump
exit $rc
