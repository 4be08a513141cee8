#!/usr/bin/env bash
# e2e_journal: host routes and the host-change journal with the real
# Holvenstead.exe under Wine, on the network test bed (tests/e2e/bed.sh). The
# route lists the simulated appliance serves become the routes the Status box
# lists, and follow the lists as they change and the appliance as it goes
# silent and comes back. Wine's route calls report success without touching
# the namespace's table: the Status box shows the routes while `ip route` in
# the host namespace stays as it was; both are checked, so a Wine that starts
# changing real routes is noticed. Killed outright with
# routes and a suffix in place, it leaves them noted; the next start deletes
# a route still in the table exactly as noted, not the user's to the same host
# through another gateway, and deletes the search list where there was none.
# A second instance for another VM, started beside a running one, leaves
# that instance's notes alone (also driver-signing values noted in its name). A clean Stop leaves the
# journal empty; "-cleanup" (the uninstaller's) drops malformed notes.
# The routes the killed run "left" are put there by hand, and the deletions
# are counted from Wine's notes of its calls.
#   tests/e2e/journal/run.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM
# Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe uiauto.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

tcpip='HKLM\System\CurrentControlSet\Services\Tcpip\Parameters'
journal() {  # section: "name=value" a line
  wine_host reg query "HKLM\\Software\\Holvenstead\\Journal\\$1" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    \(.*\)    REG_SZ    \(.*\)$/\1=\2/p'
}
journal_empty() { [ -z "$(journal Routes)$(journal SearchList)$(journal DriverSigning)" ]; }
routes() { journal Routes | grep -v '^broadcast metric '; }
noted() { [ "$(journal Routes | wc -l)" -eq 3 ] && [ -n "$(journal SearchList)" ]; }  # two routes, the metric
reg_value() { wine_host reg query "$tcpip" /v "$1" 2>/dev/null | tr -d '\r' | sed -n 's/^.*    REG_SZ    //p'; }
search_list() { echo "$(reg_value SearchList)|$(reg_value SearchListBackupSC)"; }
list_absent() { ! wine_host reg query "$tcpip" /v SearchList >/dev/null 2>&1; }
policy() {  # HKLM|HKCU: the driver-signing policy's data, empty when absent
  wine_host reg query "$1\\Software\\Microsoft\\Driver Signing" /v Policy 2>/dev/null | tr -d '\r' |
    sed -n 's/^.*    REG_[A-Z]*    //p'
}
ui() { wine_host "$bed_bin/uiauto.exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
host_route() { in_host ip -4 route show "$1" | sed 's/ *$//'; }
out_size() { stat -c %s "$bed_work/program.out" 2>/dev/null || echo 0; }
calls_since() { tail -c +"$(($2 + 1))" "$bed_work/program.out" | grep -c "$1"; }  # call mark
deletions_since() { calls_since DeleteIpForwardEntry "$1"; }
creations_since() { calls_since CreateIpForwardEntry "$1"; }
# As power loss would end it: the Unix processes of this bed's prefix that
# run Holvenstead.exe, by their ids.
kill_program() {
  local p
  for p in $(pgrep -f 'Holvenstead\.exe'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$bed_prefix" && kill -9 "$p"
  done
}
noting() { WINEDEBUG=-all,fixme+iphlpapi "$@"; }  # Wine notes each route call
# The lines after "Installed routes:" in the Status text.
shown_routes() { show_status && sed -n '/^Installed routes:$/,$p' <<<"$status" | tail -n +2; }
table() { in_host ip -4 route show table all; }
all3=$(printf ' 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255')
suffix="action=[suffix] corp.example,+"
serve() { sim_config "route.0=$list0" "route.1=$list1" "$suffix"; }

bed_begin
bed_up
: >"$bed_work/program.out"
gw=$HOLV_APPLIANCE_IP other=${HOLV_APPLIANCE_IP%.*}.3
wine_host reg delete "$tcpip" /v SearchList /f >/dev/null 2>&1
# Lists: a host route; the broadcast request, a network, and two networks
# the host namespace already has (its default route and the veth's subnet).
list0=00000a000001ffffffff
list1=01000a010000ffff00000000000000000000$(printf '%02x%02x%02x00ffffff00' $(cut -d. -f1-3 <<<"$gw" | tr . ' '))
table_before=$(table)

say "J1. Running with routes and a suffix where there was no list: both noted; then killed"
serve
noting program_start -start "$bed_vmx_win"
wait_state Running 180 || fatal "the appliance did not come up"
check "the route lists were read" eval 'record_above "^get 512.696$" 0 && record_above "^get 512.697$" 0'
check "the host, the network and the broadcast request, in order" equal "$(shown_routes)" "$all3"
check "the route table of the host namespace is unchanged" equal "$(table)" "$table_before"
wait_until 60 noted || fatal "the journal did not fill: $(journal Routes) $(journal SearchList)"
ifindex=$(routes | head -1 | cut -d= -f1 | cut -d' ' -f4)
owner=$(routes | head -1 | grep -o '[0-9]* [0-9]*$')
check "the two created routes, through the appliance, with the creating run" equal "$(routes | sort)" \
  "$(printf '%s=%s '"$owner"'\n' "10.0.0.1 255.255.255.255 $gw $ifindex"{,} "10.1.0.0 255.255.0.0 $gw $ifindex"{,})"
check "the broadcast route's metric noted before it changed" eval \
  'journal Routes | grep -qx "broadcast metric $ifindex=$ifindex [0-9]* $owner"'
check "the search list written, nothing to back up" equal "$(search_list)" "corp.example|"
# Driver-signing values relaxed inside this run's guard, as it notes them:
# the machine's, and the user's under the user's SID.
sid=$(wine_host reg query HKU | tr -d '\r' | grep -o 'S-1-5-21[-0-9]*$' | head -1)
wine_host reg add 'HKLM\Software\Microsoft\Driver Signing' /v Policy /t REG_BINARY /d 00 /f >/dev/null
wine_host reg add 'HKCU\Software\Microsoft\Driver Signing' /v Policy /t REG_DWORD /d 0 /f >/dev/null
for kv in "HKLM Driver Signing=3:01 $owner" "HKCU Driver Signing $sid=absent $owner"; do
  wine_host reg add 'HKLM\Software\Holvenstead\Journal\DriverSigning' /v "${kv%%=*}" /d "${kv#*=}" /f >/dev/null
done
# A second instance, for another VM (another MAC), meets this one; Ignore
# lets it start beside it, and its start's undo runs before its window.
mkdir -p "$bed_work/vm2"
sed "s/$bed_mac/00:0c:29:00:00:02/" "$bed_vmx" >"$bed_work/vm2/Second.vmx"
second_vmx=$(winpath "$bed_work/vm2/Second.vmx")
on_host "$HOLV_WINE" "$bed_bin/Holvenstead.exe" "$second_vmx" >>"$bed_work/program.out" 2>&1 &
second=$!
bed_track "$second"
ui wait-box --caption 'Conflicting application' --timeout 60000 >/dev/null || fatal "no conflict box"
ui press --caption 'Conflicting application' --button ignore >/dev/null
ui find-window --class RKHVTRAYICON --title "$second_vmx" --timeout 60000 >/dev/null ||
  fatal "the second instance did not start"
check "a second instance's start leaves the first's notes, list and policies" eval \
  'noted && [ "$(journal DriverSigning | wc -l)" = 2 ] && [ "$(search_list)" = "corp.example|" ] &&
   [ "$(policy HKLM)|$(policy HKCU)" = "00|0x0" ]'
# (what was there is told when a check fails)
check "... and its -stop -exit ends it" eval \
  'bed_prog_pid=$second bed_vmx_win=$second_vmx end_program || { note "exit code $prog_rc"; false; }'
check "... leaving them" eval 'noted && [ "$(search_list)" = "corp.example|" ] ||
  { note "journal: $(journal Routes | tr "\n" ";") $(journal SearchList); list: $(search_list);" \
    "contact lost so far: $(event_count warn "The appliance no longer answers")"; false; }'
kill_program
program_wait_end 30 || fatal "the program did not die"
check "killed: no Holvenstead.exe left, the journal and the list as they were" eval \
  'wait_until 30 no_procs Holvenstead.exe && noted && [ "$(search_list)" = "corp.example|" ]'

say "J2. The next start undoes what the journal holds"
in_host ip route add 10.1.0.0/16 via "$gw" dev hv-host      # left by the killed run
in_host ip route add 10.0.0.1/32 via "$other" dev hv-host   # the user's
sim_config drop-next=1000000  # a silent appliance: nothing new gets installed
mark=$(out_size)
noting program_start "$bed_vmx_win"
check "the journal empties" wait_until 60 journal_empty
check "the search list is gone again" list_absent
check "the policies as before: the machine's back, the user's gone" equal "$(policy HKLM)|$(policy HKCU)" "01|"
check "the event log tells of the undo, once" events_are 1 trace "Host changes left by an earlier run were undone:"
# Wine's route deletes leave the table as it is, so this shows only that the
# start does not disturb the user's route; the rule that spares it (deleted
# only while held exactly as noted) is shown on the fake table in RouteSetTest.
check "the user's route is still in the table" equal "$(host_route 10.0.0.1/32)" "10.0.0.1 via $other dev hv-host"
check "the route left exactly as noted is deleted, only it" eval \
  '[ -z "$(host_route 10.1.0.0/16)" ] || [ "$(deletions_since "$mark")" = 1 ]'
end_program || fatal "the program did not end after -stop -exit"

say "J3. The lists change, the appliance goes silent and comes back; a clean Stop leaves the journal empty"
in_host ip route flush 10.0.0.1/32; in_host ip route flush 10.1.0.0/16  # else they are the system's
wine_host reg add "$tcpip" /v SearchList /d user.example /f >/dev/null
serve
noting program_start -start "$bed_vmx_win"
wait_state Running 180 && wait_until 60 noted || fatal "the journal did not fill again"
# Each case: the lists the appliance serves, and the routes then listed.
while IFS='|' read -r what r0 r1 want; do
  [ "$r0" = long ] && r0=0100$(for i in $(seq 0 639); do printf '0c%06xffffffff' "$i"; done)
  sim_config "route.0=$r0" "route.1=$r1" "$suffix"
  check "$what" equal "$(shown_routes)" "$(printf "$want")"
done <<EOF
a dropped route goes on the next step|0000ffffffff|$list1| 10.1.0.0/16\n 255.255.255.255
a list too long to read keeps the routes|long|$list1| 10.1.0.0/16\n 255.255.255.255
malformed lists count as empty|00000A000001|01000a010000ffff000|
the lists come back|$list0|$list1| 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255
EOF
sim_config drop-next=1000000
wait_state "Starting..." 60 || fatal "the program did not notice the silent appliance"
check "the appliance silent: no routes block" lacks_text "$status" "Installed routes:"
serve
wait_state Running 60 || fatal "the appliance did not come back"
check "back: the routes once more" equal "$(shown_routes)" "$all3"

say "J3b. Routes in the table are left alone, one removed comes back after a resume, one the journal cannot note waits"
# The table as Windows holds it once the routes are made (Wine's calls leave
# the namespace's table alone, so the test adds them itself).
two=$(printf ' 10.0.0.1\n 10.1.0.0/16')
own=(10.0.0.1/32 10.1.0.0/16)
sim_config route.0=00000a000001 route.1=01000a010000ffff0000 "$suffix"
check "two routes listed" equal "$(shown_routes)" "$two"
for r in "${own[@]}"; do in_host ip route add "$r" via "$gw" dev hv-host; done
show_status
mark=$(out_size)
for _ in 1 2 3; do show_status; done
check "held by the table: not made again over three steps" equal "$(creations_since "$mark")" 0
# Windows tells of a route removed behind the program's back; Wine tells
# nothing, so the program keeps its copy of the table until a resume.
in_host ip route del 10.1.0.0/16
mark=$(out_size)
for _ in 1 2; do show_status; done
check "removed, and no notice: the copy of the table stands" equal "$(creations_since "$mark")" 0
drive resume --title "$bed_vmx_win" || fatal "could not post the resume"
# (made again at each step from then on, as Wine's table never shows it)
made_again() { [ "$(creations_since "$mark")" -ge 1 ]; }
check "after a resume: made again at once" eval 'wait_until 15 made_again && [ "$(shown_routes)" = "$two" ]'
in_host ip route add 10.1.0.0/16 via "$gw" dev hv-host
jkey='HKLM\Software\Holvenstead\Journal\Routes'
drive key-dacl "$jkey" 'D:(D;;0x2;;;WD)(A;;KA;;;WD)' || fatal "could not lock the journal"
mark=$(out_size)
sim_config route.0=00000a0000010a000002 route.1=01000a010000ffff0000 "$suffix"
for _ in 1 2 3; do show_status; done
refused=$(sed -n '/^Routes not installed:$/,$p' <<<"$status")
check "a route the journal cannot note is not made, but listed with the system's words" eval \
  '[ "$(creations_since "$mark")" = 0 ] && [ "$(wc -l <<<"$refused")" = 2 ] &&
   grep -qx " 10.0.0.2: .*[Dd]enied.*" <<<"$refused"'
check "... and told to the event log once" events_are 1 err \
  "A change to the host's network could not be made: adding the route to 10.0.0.2 mask 255.255.255.255 (error 5)"
drive key-dacl "$jkey" 'D:(A;;KA;;;WD)' || fatal "could not unlock the journal"
made() { show_status && lacks_text "$status" "Routes not installed:" && has_line "$status" " 10.0.0.2"; }
check "the journal writable again: made at a later try, and noted" eval \
  'wait_until 60 made && routes | grep -q "^10.0.0.2 "'
for r in "${own[@]}"; do in_host ip route del "$r"; done
serve
check "the lists as before" equal "$(shown_routes)" "$all3"
end_program || fatal "the program did not end after -stop -exit"
check "the journal is empty, the list the user's" eval 'journal_empty && [ "$(search_list)" = "user.example|" ]'
check "the route table of the host namespace is as before" equal "$(table)" "$table_before"

say "J4. -cleanup: malformed notes and routes the table lacks are dropped, the list put back"
in_host ip route add 10.0.0.1/32 via "$other" dev hv-host
for kv in "bad=10.1.0.0 255.255.0.0 $gw" "absent=10.9.0.0 255.255.0.0 $gw $ifindex 1" \
  "user=10.0.0.1 255.255.255.255 $gw $ifindex 1"; do
  wine_host reg add 'HKLM\Software\Holvenstead\Journal\Routes' /v "${kv%%=*}" /d "${kv#*=}" /f >/dev/null
done
wine_host reg add 'HKLM\Software\Holvenstead\Journal\SearchList' /v SearchListBackupSC /d changed /f >/dev/null
wine_host reg add "$tcpip" /v SearchListBackupSC /d user.example /f >/dev/null
wine_host reg add "$tcpip" /v SearchList /d corp.example /f >/dev/null
mark=$(out_size)
noting wine_host "$bed_bin/Holvenstead.exe" -CLEANUP >>"$bed_work/program.out" 2>&1
check "-cleanup ends with 0" equal "$?" 0
check "the journal is empty, the list the user's" eval 'journal_empty && [ "$(search_list)" = "user.example|" ]'
check "no route was deleted" equal "$(deletions_since "$mark")" 0
check "no program stays" no_procs Holvenstead.exe

say "J5. A list and a driver-signing value that cannot be written back stay noted, and the event log says so"
wine_host reg add 'HKLM\Software\Holvenstead\Journal\SearchList' /v SearchListBackupSC /d changed /f >/dev/null
wine_host reg add "$tcpip" /v SearchListBackupSC /d user.example /f >/dev/null
wine_host reg add "$tcpip" /v SearchList /d corp.example /f >/dev/null
wine_host reg add 'HKLM\Software\Holvenstead\Journal\DriverSigning' /v 'HKLM Driver Signing' /d "3:01 $owner" /f >/dev/null
wine_host reg add 'HKLM\Software\Microsoft\Driver Signing' /v Policy /t REG_BINARY /d 00 /f >/dev/null
locked=("$tcpip" 'HKLM\Software\Microsoft\Driver Signing')
for k in "${locked[@]}"; do drive key-dacl "$k" 'D:(D;;0x2;;;WD)(A;;KA;;;WD)' || fatal "could not lock $k"; done
undo_failed() { event_count err "A change to the host could not be undone: $1"; }
WINEDEBUG="$WINEDEBUG,+eventlog" wine_host "$bed_bin/Holvenstead.exe" -cleanup >>"$bed_work/program.out" 2>&1
check "both stay noted, the list as it was" eval \
  '[ -n "$(journal SearchList)" ] && [ -n "$(journal DriverSigning)" ] && [ "$(search_list)" = "corp.example|user.example" ] &&
   [ "$(policy HKLM)" = 00 ]'
check "the event log tells of each, once" eval \
  '[ "$(undo_failed "the DNS search list")" = 1 ] && [ "$(undo_failed "the driver-signing value HKLM Driver Signing")" = 1 ]'
for k in "${locked[@]}"; do drive key-dacl "$k" 'D:(A;;KA;;;WD)' || fatal "could not unlock $k"; done
wine_host "$bed_bin/Holvenstead.exe" -cleanup >>"$bed_work/program.out" 2>&1
check "writable again: the next start puts both back" eval \
  'journal_empty && [ "$(search_list)" = "user.example|" ] && [ "$(policy HKLM)" = 01 ]'
checks_end e2e_journal
