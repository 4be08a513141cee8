#!/usr/bin/env bash
# e2e_journal: the host-change journal with the real Holvenstead.exe under
# Wine, on the network test bed (tests/e2e/bed.sh).
#   tests/e2e/journal/run.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM
# The program notes its routes and the search list's change in
# HKLM\Software\Holvenstead\Journal; killed outright, it leaves them, and the
# next start undoes them: a route still in the table exactly as noted is
# deleted, the user's route to the same host through another gateway stays,
# the list is put back, the journal is empty. A clean Stop leaves it empty;
# "-cleanup" (the uninstaller's) undoes it without a VM or a window.
# Wine's route calls succeed without changing the namespace's table (see
# tests/e2e/routes), so the routes the killed run "left" are put into the
# table by hand, and the deletions Wine does not carry out are counted from
# its notes of the calls. Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bed_bin=$2; shift 2 ;;
    --sim) bed_sim=$2; shift 2 ;;
    *) echo "usage: $0 --bin WINDOWS_BIN --sim APPLIANCE_SIM" >&2; exit 2 ;;
  esac
done
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe)
. "$(dirname "$0")/../bed.sh"

tcpip='HKLM\System\CurrentControlSet\Services\Tcpip\Parameters'
# The entries of a journal section: "name=value" a line.
journal() {
  wine_host reg query "HKLM\\Software\\Holvenstead\\Journal\\$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    \(.*\)    REG_SZ    \(.*\)$/\1=\2/p'
}
journal_empty() { [ -z "$(journal Routes)$(journal SearchList)" ]; }
reg_value() { wine_host reg query "$tcpip" /v "$1" 2>/dev/null | tr -d '\r' | sed -n 's/^.*    REG_SZ    //p'; }
search_list() { echo "$(reg_value SearchList)|$(reg_value SearchListBackupSC)"; }
host_route() { ip netns exec "$bed_name-host" ip -4 route show "$@" | sed 's/ *$//'; }
# Deletions the program asked Wine for since the mark (Wine notes each call).
deletions_since() { tail -c +"$(($1 + 1))" "$bed_work/program.out" | grep -c 'DeleteIpForwardEntry'; }
out_size() { stat -c %s "$bed_work/program.out" 2>/dev/null || echo 0; }
noted_routes() { [ "$(journal Routes | wc -l)" -eq 2 ]; }
marked() { [ -n "$(journal SearchList)" ]; }
# Killed as power loss or a crash would end it: the Unix processes of this
# bed's prefix that run Holvenstead.exe (Wine's loader may leave the started
# one for another), by their ids.
kill_program() {
  local p
  for p in $(pgrep -f 'Holvenstead\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$bed_prefix" && kill -9 "$p"
  done
}
# The program under Wine, with its notes of the route calls.
start_noted() { WINEDEBUG=-all,fixme+iphlpapi program_start "$@"; }

bed_begin
say "Test bed: namespaces $bed_name-host/-appl, simulator, Wine prefix copy, Xvfb"
bed_up
: >"$bed_work/program.out"
gw=$HOLV_APPLIANCE_IP
other=${gw%.*}.3
list0=00000a000001ffffffff  # a host route and the broadcast request
list1=01000a010000ffff0000  # a network
wine_host reg add "$tcpip" /v SearchList /d user.example /f >/dev/null
wine_host reg delete "$tcpip" /v SearchListBackupSC /f >/dev/null 2>&1

say "J1. Running with routes and a suffix: both are noted"
sim_config "route.0=$list0" "route.1=$list1" "action=[suffix] corp.example,+"
start_noted -start "$bed_vmx_win"
wait_state Running 180 || fatal "the appliance did not come up"
wait_until 60 eval 'noted_routes && marked' || fatal "the journal did not fill: $(journal Routes) $(journal SearchList)"
names=$(journal Routes | cut -d= -f1 | sort)
ifindex=$(awk 'NR==1{print $4}' <<<"$names")
check "the two created routes, through the appliance" equal "$names" \
  "$(printf '10.0.0.1 255.255.255.255 %s %s\n10.1.0.0 255.255.0.0 %s %s' "$gw" "$ifindex" "$gw" "$ifindex")"
check "each noted with the process that made it" eval \
  '[ "$(journal Routes | sed -n "s/^\([^=]*\)=\1 [1-9][0-9]*$/ok/p" | wc -l)" -eq 2 ]'
check "the search list changed, its backup kept" equal "$(search_list)" "corp.example,user.example|user.example"

say "J2. Killed outright: the journal stays; the table gets what the run left, and the user's route"
kill_program
program_wait_end 30 || fatal "the program did not die"
check "no Holvenstead.exe left" wait_until 30 no_procs Holvenstead.exe
check "the routes are still noted" noted_routes
check "the search list is still changed" equal "$(search_list)" "corp.example,user.example|user.example"
ip netns exec "$bed_name-host" ip route add 10.1.0.0/16 via "$gw" dev hv-host
ip netns exec "$bed_name-host" ip route add 10.0.0.1/32 via "$other" dev hv-host

say "J3. The next start undoes what the journal holds"
sim_config drop-next=1000000  # the appliance stays silent: nothing new gets installed
mark=$(out_size)
start_noted "$bed_vmx_win"
check "the journal empties" wait_until 60 journal_empty
check "the search list is the user's again" equal "$(search_list)" "user.example|"
check "the user's route stays" equal "$(host_route 10.0.0.1/32)" "10.0.0.1 via $other dev hv-host"
if [ -z "$(host_route 10.1.0.0/16)" ]; then
  check "the route left exactly as noted is gone" true
else
  check "the route left exactly as noted is deleted, the user's not" equal "$(deletions_since "$mark")" 1
fi
wine_host "$bed_bin/Holvenstead.exe" -stop -exit "$bed_vmx_win" >/dev/null 2>&1
program_wait_end 120 || fatal "the program did not end after -stop -exit"

say "J4. A clean Stop leaves the journal empty"
# Routes the table already has are the system's and never created: clear the
# way.
ip netns exec "$bed_name-host" ip route del 10.0.0.1/32 via "$other"
ip netns exec "$bed_name-host" ip route del 10.1.0.0/16 2>/dev/null
sim_config "route.0=$list0" "route.1=$list1" "action=[suffix] corp.example,+"
start_noted -start "$bed_vmx_win"
wait_state Running 180 || fatal "the appliance did not come back"
wait_until 60 eval 'noted_routes && marked' || fatal "the journal did not fill again"
wine_host "$bed_bin/Holvenstead.exe" -stop -exit "$bed_vmx_win" >/dev/null 2>&1
program_wait_end 120 || fatal "the program did not end after -stop -exit"
check "the program ended with 0" equal "$prog_rc" 0
check "the journal is empty" journal_empty
check "the search list is the user's" equal "$(search_list)" "user.example|"

say "J5. -cleanup: malformed entries and routes the table lacks are dropped, the rest undone"
ip netns exec "$bed_name-host" ip route add 10.0.0.1/32 via "$other" dev hv-host
add() { wine_host reg add "HKLM\\Software\\Holvenstead\\Journal\\$1" /v "$2" /d "$3" /f >/dev/null; }
add Routes bad "10.1.0.0 255.255.0.0 $gw"
add Routes absent "10.9.0.0 255.255.0.0 $gw $ifindex 1"
add Routes user "10.0.0.1 255.255.255.255 $gw $ifindex 1"  # the table has it through another gateway
add SearchList SearchListBackupSC changed
wine_host reg add "$tcpip" /v SearchListBackupSC /d user.example /f >/dev/null
wine_host reg add "$tcpip" /v SearchList /d corp.example /f >/dev/null
mark=$(out_size)
WINEDEBUG=-all,fixme+iphlpapi wine_host "$bed_bin/Holvenstead.exe" -CLEANUP >>"$bed_work/program.out" 2>&1
check "-cleanup ends with 0" equal "$?" 0
check "the journal is empty" journal_empty
check "the search list is put back" equal "$(search_list)" "user.example|"
check "no route was deleted" equal "$(deletions_since "$mark")" 0
check "the user's route stays" equal "$(host_route 10.0.0.1/32)" "10.0.0.1 via $other dev hv-host"
check "no program stays" no_procs Holvenstead.exe
checks_end e2e_journal
