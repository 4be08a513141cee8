#!/usr/bin/env bash
# Appliance side of service-net-test.sh, run in the appliance namespace: the
# simulator, answering while the stand-in player keeps the power file.
#   service-appliance.sh APPLIANCE_SIM WORK_DIR
set -u
sim=$1 work=$2
exec "$sim" -v --config "$work/config" --power-file "$work/power" --record "$work/record" \
  --pid-file "$work/pid" 2>"$work/sim.log"
