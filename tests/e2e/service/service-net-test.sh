#!/usr/bin/env bash
# The service tests: the real program installed as a service of Wine's
# service manager, starting the appliance through the stand-in player
# against the simulator. The program's transport broadcasts, so the Windows
# side runs in the host namespace of scripts/netns.sh (its throwaway prefix's
# wineserver, and with it the service manager, starts there) and the
# simulator in the appliance namespace.
#   service-net-test.sh NETNS_SH APPLIANCE_SIM TEST_EXE [TEST ARGS...]
# Exit: the test program's code; 1 when the simulator is missing or the test
# bed fails; 77 only when namespaces cannot be made here (the reason is
# printed).
set -u
[ $# -ge 3 ] || { echo "usage: $0 NETNS_SH APPLIANCE_SIM TEST_EXE [ARGS...]" >&2; exit 2; }
netns=$1 sim=${HOLV_APPLIANCE_SIM:-$2} exe=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

. "$(dirname "$0")/../../netbed-preflight.sh"
netbed_preflight "$netns" "$sim"

work=$(mktemp -d "${TMPDIR:-/tmp}/holv-service.XXXXXX") || exit 1
if [ -n "${HOLV_SERVICE_KEEP:-}" ]; then
  trap 'echo "work folder kept: $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
cat > "$work/config" <<'CONF'
mac=00:0c:29:5a:5a:03
device-name=holvenstead-svc
serial=HV-SVC-0001
CONF
: > "$work/record"
export HOLV_SERVICE_WORK=$work

rc=0
name=holv-svc-$$
"$netns" run --name "$name" --wine -- bash "$here/service-appliance.sh" "$sim" "$work" \
  -- "$exe" "$@" || rc=$?

if [ $rc != 0 ]; then
  echo "---- simulator log (last 60 lines)"; tail -n 60 "$work/sim.log" 2>/dev/null
  echo "---- record file (last 40 lines)"; tail -n 40 "$work/record" 2>/dev/null
fi
if ip netns list | grep -q "^$name-"; then echo "FAIL: namespaces left behind"; rc=1; fi
exit $rc
