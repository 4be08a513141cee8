#!/usr/bin/env bash
# The appliance simulator and the probe as real programs on a real (virtual)
# network: simulator in the appliance namespace, probe in the host namespace
# of scripts/netns.sh. Nothing here can reach another machine.
#   sim-netns-test.sh NETNS_SH APPLIANCE_SIM IMC_PROBE
# Exit: 0 all checks passed, 1 a check failed, 77 namespaces cannot be made
# here (skipped; the reason is printed).
set -u
[ $# -eq 3 ] || { echo "usage: $0 NETNS_SH APPLIANCE_SIM IMC_PROBE" >&2; exit 2; }
netns=$1 sim=$2 probe=$3
here=$(cd "$(dirname "$0")" && pwd)

why=$("$netns" check 2>&1)
case $? in
  0) ;;
  77) echo "SKIPPED: network namespaces cannot be created here: $why"; exit 77 ;;
  *) echo "netns.sh check failed: $why"; exit 1 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/holv-sim-test.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
cat > "$work/config" <<'CONF'
mac=00:0c:29:5a:5a:01
device-name=sim-appliance
product-name=Sim Product
firmware=9.8.7
status-flags=0x20000
serial=SERIAL-0001
action=[openurl] https://10.88.0.2/
trellisport=tp.example
rk.type=int
rk=5
CONF
touch "$work/power"

rc=0
name=holv-simtest-$$
"$netns" run --name "$name" -- sh -c 'exec "$0" "$@" 2>"'"$work"'/sim.log"' "$sim" -v --config "$work/config" \
    --power-file "$work/power" --record "$work/record" --pid-file "$work/pid" \
  -- bash "$here/sim-netns-host.sh" "$probe" "$work" || rc=$?

if [ $rc != 0 ]; then
  echo "---- simulator log"; cat "$work/sim.log" 2>/dev/null
  echo "---- record file"; cat "$work/record" 2>/dev/null
fi
# The test bed must be gone whatever happened.
if ip netns list | grep -q "^$name-"; then echo "FAIL: namespaces left behind"; rc=1; fi
exit $rc
