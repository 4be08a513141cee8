#!/usr/bin/env bash
# Appliance side of imc-net-test.sh, run in the appliance namespace: the
# simulator, and a small helper that signals it when the Windows test asks.
# The test cannot send a Unix signal itself, so it leaves a file in the work
# folder:
#   notify-now       SIGUSR1 at once (a notification between requests);
#   notify-on-drop   SIGUSR1 as soon as the record shows a dropped command,
#                    that is while the host is still waiting for its answer;
#   notify-stream    SIGUSR1 every 50 ms while the file exists, for at most
#                    20 s (then the helper removes the file itself).
# The helper removes notify-now and notify-on-drop once it has signalled.
#   imc-net-appliance.sh APPLIANCE_SIM WORK_DIR
set -u
sim=$1 work=$2

"$sim" -v --config "$work/config" --power-file "$work/power" --record "$work/record" \
  --pid-file "$work/pid" 2>"$work/sim.log" &
sim_pid=$!
trap 'kill -TERM $sim_pid 2>/dev/null; wait $sim_pid 2>/dev/null; exit 0' TERM INT HUP EXIT

while kill -0 "$sim_pid" 2>/dev/null; do
  if [ -e "$work/notify-now" ]; then
    kill -USR1 "$sim_pid"
    rm -f "$work/notify-now"
  fi
  if [ -e "$work/notify-on-drop" ] && grep -q '^drop ' "$work/record" 2>/dev/null; then
    kill -USR1 "$sim_pid"
    rm -f "$work/notify-on-drop"
  fi
  if [ -e "$work/notify-stream" ]; then
    kill -USR1 "$sim_pid"
    streamed=$((${streamed:-0} + 1))
    if [ $streamed -ge 400 ]; then rm -f "$work/notify-stream"; streamed=0; fi
    sleep 0.05
    continue
  fi
  streamed=0
  sleep 0.02
done
