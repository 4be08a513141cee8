#!/usr/bin/env bash
# e2e_routes: the real Holvenstead.exe under Wine takes the route lists the
# simulated appliance serves and lists what it installed in the Status box,
# on the network test bed (tests/e2e/bed.sh).
#   tests/e2e/routes/run.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM
# Wine's route calls report success without touching the namespace's table:
# the Status box shows the routes while `ip route` in the host namespace
# stays as it was. Both are checked, so a Wine that starts changing real
# routes is noticed. Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

# The lines after "Installed routes:" in the Status text.
routes() { show_status && sed -n '/^Installed routes:$/,$p' <<<"$status" | tail -n +2; }
host_routes() { ip netns exec "$bed_name-host" ip -4 route show table all; }
all3=$(printf ' 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255')

bed_begin
bed_up
# Lists: a host route; the broadcast request, a network, and two networks
# the host namespace already has (its default route and the veth's subnet).
list0=00000a000001ffffffff
list1=01000a010000ffff00000000000000000000$(printf '%02x%02x%02x00ffffff00' $(cut -d. -f1-3 <<<"$HOLV_APPLIANCE_IP" | tr . ' '))
table_before=$(host_routes)

say "R1. The appliance's lists become installed routes in the Status box"
sim_config "route.0=$list0" "route.1=$list1"
program_start -start "$bed_vmx_win"
wait_state Running 180 || fatal "the appliance did not come up"
check "the route lists were read" eval 'record_above "^get 512.696$" 0 && record_above "^get 512.697$" 0'
check "the host, the network and the broadcast request, in order" equal "$(routes)" "$all3"
check "the route table of the host namespace is unchanged" equal "$(host_routes)" "$table_before"

# Each case: the lists the appliance serves, and the routes then listed.
while IFS='|' read -r what r0 r1 want; do
  say "R. $what"
  [ "$r0" = long ] && r0=0100$(for i in $(seq 0 639); do printf '0c%06xffffffff' "$i"; done)
  sim_config "route.0=$r0" "route.1=$r1"
  check "$what" equal "$(routes)" "$(printf "$want")"
done <<EOF
a dropped route goes on the next step|0000ffffffff|$list1| 10.1.0.0/16\n 255.255.255.255
a list too long to read keeps the routes|long|$list1| 10.1.0.0/16\n 255.255.255.255
malformed lists count as empty|00000A000001|01000a010000ffff000|
the lists come back|$list0|$list1| 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255
EOF
check "the program is still there" program_alive

say "R5. The appliance goes silent: routes removed; back, and Stop"
sim_config drop-next=1000000
wait_state "Starting..." 60 || fatal "the program did not notice the silent appliance"
check "no routes block after lost contact" lacks_text "$status" "Installed routes:"
sim_config "route.0=$list0" "route.1=$list1"
wait_state Running 60 || fatal "the appliance did not come back"
check "routes back once more" equal "$(routes)" "$all3"
check "-stop -exit: both instances end with 0" end_program
check "the route table of the host namespace is still unchanged" equal "$(host_routes)" "$table_before"
checks_end e2e_routes
