#!/usr/bin/env bash
# Installs, starts, stops or removes the stand-in VMware Server services
# "VMAuthdService" and "vmserverdWin32" (tools/vmservice) in the caller's
# WINEPREFIX (else the project's prefix), through Wine's service manager:
#   scripts/vmware-services.sh PATH/TO/vmservice.exe install|start|stop|remove [NAME...]
# Without names, both services. install points an installed service at this
# vmservice.exe again; start and stop return once the manager reports the
# service running or stopped (up to a minute each); remove stops the service
# first, and a service that is not installed counts as removed. Exit code 0;
# else 1, with the system's error of the first step that failed on stderr
# (1060: not installed; 1053: the state was not reached in time).
# The services live as long as the prefix's wineserver: with a persistent
# one (`wineserver -p`, as the test beds start it) until they are stopped;
# otherwise Wine ends them a few seconds after its last program.
set -u
usage() { echo "usage: $0 PATH_TO_VMSERVICE_EXE install|start|stop|remove [NAME...]" >&2; exit 2; }
[ $# -ge 2 ] || usage
. "$(dirname "$0")/wine-env.sh"

exe=$1 verb=$2
shift 2
[ -f "$exe" ] || { echo "vmware-services: no such file: $exe" >&2; exit 1; }
case $verb in install | start | stop | remove) ;; *) usage ;; esac
[ $# -gt 0 ] || set -- VMAuthdService vmserverdWin32

for name in "$@"; do
  "$HOLV_WINE" "$exe" "-$verb" "$name" || exit 1
done
