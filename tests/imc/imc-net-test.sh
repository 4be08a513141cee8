#!/usr/bin/env bash
# The real transport, conversation and operations (Windows build, under Wine)
# against the appliance simulator (native), each in its own network
# namespace of scripts/netns.sh: the program's broadcasts cannot leave this
# machine.
#   imc-net-test.sh NETNS_SH APPLIANCE_SIM TEST_EXE [TEST ARGS...]
# HOLV_APPLIANCE_SIM, when set, names the simulator instead. Exit: the test
# program's code; 1 when the simulator is missing or the test bed fails; 77
# only when `netns.sh check` says namespaces cannot be made here (the reason
# is printed).
set -u
[ $# -ge 3 ] || { echo "usage: $0 NETNS_SH APPLIANCE_SIM TEST_EXE [ARGS...]" >&2; exit 2; }
netns=$1 sim=${HOLV_APPLIANCE_SIM:-$2} exe=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)

. "$(dirname "$0")/../netbed-preflight.sh"
netbed_preflight "$netns" "$sim"

work=$(mktemp -d "${TMPDIR:-/tmp}/holv-imc-net.XXXXXX") || exit 1
# HOLV_IMC_NET_KEEP=1 keeps the folder (configuration, record, the debug log
# of every case, the simulator's log) for a look afterwards.
if [ -n "${HOLV_IMC_NET_KEEP:-}" ]; then
  trap 'echo "work folder kept: $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi
# The test rewrites this file for each case; the simulator re-reads it.
cat > "$work/config" <<'CONF'
mac=00:0c:29:5a:5a:02
shutdown-powers-off=0
CONF
touch "$work/power"
export HOLV_IMC_NET_WORK=$work

rc=0
name=holv-imcnet-$$
"$netns" run --name "$name" --wine -- bash "$here/imc-net-appliance.sh" "$sim" "$work" \
  -- "$exe" "$@" || rc=$?

if [ $rc != 0 ]; then
  echo "---- simulator log (last 80 lines)"; tail -n 80 "$work/sim.log" 2>/dev/null
  echo "---- record file"; cat "$work/record" 2>/dev/null
fi
if ip netns list | grep -q "^$name-"; then echo "FAIL: namespaces left behind"; rc=1; fi
exit $rc
