#!/usr/bin/env bash
# e2e_security: the real Holvenstead.exe under Wine against the hosts and
# texts an attacker on the appliance's network controls, on the network test
# bed (tests/e2e/bed.sh) with a third namespace, the impostor, on the segment.
#   tests/e2e/security/run.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM --probe IMC_PROBE
# 1: the impostor (same MAC, another address) overhears every request to the
# real appliance and answers it first, with the right request-ids: the
# program keeps the real texts and never runs the impostor's action. 2: the
# appliance moves to another address and is found again. 3: bounded floods
# of junk (1000 datagrams a second: 60 s undecodable, 60 s of stale, foreign
# and notifying frames) while the Status command keeps answering and memory
# stays put. 4: appliance texts as arguments: "[openurl]"
# with '"', blanks and '&' reaches the browser as one encoded URL; "[script]"
# in a folder with blanks runs, one with '&' in its name runs that file only.
# 5: a log that cannot be deleted names another process's pid: that process
# is not adopted as the VM, and outlives Stop and Exit.
# Steps are forced (Status, notifications); waits are bounds for failures.
# 0 (first): while the appliance is silent, an impostor with a link address
# of its own answers the broadcasts with the appliance's MAC: refused, and the
# appliance is found once it answers.
# Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe holv-browser.exe)
bed_impostor=1
. "$(dirname "$0")/../bed.sh"
bed_options "$@"
[ -x "${probe:-}" ] || { echo "FAIL: no imc-probe at ${probe:-} (build the native tree)" >&2; exit 1; }

# Resident memory of the program's process (kB), read from Linux.
program_rss() {
  local pid
  for pid in $(ip netns pids "$bed_name-host"); do
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'Holvenstead\.exe' || continue
    awk '/^VmRSS:/ {print $2}' "/proc/$pid/status"
    return
  done
}
within() { [ "$1" -le "$2" ]; }

bed_begin
bed_up
act=$bed_work/act
mkdir -p "$act"
act_win=$(winpath "$act")

say "0. The appliance is silent; an impostor with a link address of its own answers the broadcasts"
sim_config mac=02:00:5e:00:00:01  # the real appliance hears only commands to another MAC
printf '%s\n' "mac=$bed_mac" device-name=impostor-gw product-name=Impostor serial=IMPOSTOR action-sticky=1 \
  "action=cmd /c echo pwned> ${act_win//\\/\\\\}\\\\early.marker" >"$bed_work/imp0.conf"
ip netns exec "$bed_name-imp" "$bed_sim" --config "$bed_work/imp0.conf" --record "$bed_work/imp0.record" \
  --pid-file "$bed_work/imp0.pid" 2>"$bed_work/imp0.log" &
bed_track $!
wait_until 20 test -s "$bed_work/imp0.pid" || fatal "the early impostor did not start"
program_start -start "$bed_vmx_win"
wait_until 120 eval '[ "$(record_count "^status " "$bed_work/imp0.record")" -ge 3 ]' ||
  fatal "the impostor heard no status queries"
show_status || fatal "no Status box"
check "the impostor answered, and the program is still looking" has_line "$status" "State: Starting..."
check "... nothing of the impostor's shows" lacks_text "$status" "mpostor"
check "... it read no action from it" equal "$(record_count "^get " "$bed_work/imp0.record")" 0
check "... its answers were refused for their link address" grep -q "not the appliance's link address" "$bed_work/imc.log"
sim_config
check "the real appliance is found once it answers" wait_state Running 120
kill "$(cat "$bed_work/imp0.pid")" 2>/dev/null
check "the impostor's identity never reached the VM file" eval '! grep -qi impostor "$bed_vmx"'
check "the impostor's action never ran" file_absent "$act/early.marker"

say "1. An impostor answers every request to the real appliance: nothing it says counts"
printf '%s\n' "mac=$bed_mac" device-name=impostor-gw product-name=Impostor firmware=6.6.6 serial=IMPOSTOR \
  trellisport=impostor rk=impostor action-sticky=1 \
  "action=cmd /c echo pwned> ${act_win//\\/\\\\}\\\\pwned.marker" >"$bed_work/imp.conf"
ip netns exec "$bed_name-imp" "$bed_sim" --config "$bed_work/imp.conf" --record "$bed_work/imp.record" \
  --sniff hv-imp --pid-file "$bed_work/imp.pid" 2>"$bed_work/imp.log" &
bed_track $!
wait_until 20 test -s "$bed_work/imp.pid" || fatal "the impostor did not start"
# The real appliance answers late, so the impostor's answer is always first.
sim_config reply-delay-ms=300
for i in 1 2 3; do step_by_signal || fatal "no step read the action"; done
imp=$bed_work/imp.record
check "the impostor overheard and answered status queries and action reads" eval \
  '[ "$(record_count "^status " "$imp")" -ge 3 ] && [ "$(record_count "^get 61440.61568$" "$imp")" -ge 3 ]'
step_by_status || fatal "no Status box"
check "still Running, with the real name, product and address" eval 'has_line "$status" "State: Running" &&
  has_line "$status" "Device Name: holv-gw" && has_line "$status" "Product Name: Holvenstead Appliance" &&
  has_line "$status" "IP Address: $HOLV_APPLIANCE_IP"'
check "nothing of the impostor's shows" lacks_text "$status" "mpostor"
check "the impostor's identity never reached the VM file" eval '! grep -qi impostor "$bed_vmx"'
check "the impostor's action never ran" file_absent "$act/pwned.marker"

say "2. The appliance moves to another address: found again by broadcast"
sim_config
ip -n "$bed_name-appl" addr del "$HOLV_APPLIANCE_IP/24" dev hv-appl
ip -n "$bed_name-appl" addr add 10.88.0.5/24 dev hv-appl
ip -n "$bed_name-appl" route replace default via "$HOLV_HOST_IP" dev hv-appl
show_status
check "the first step after the move loses the appliance" has_line "$status" "State: Starting..."
found=0
for i in 1 2; do show_status && has_line "$status" "IP Address: 10.88.0.5" && { found=1; break; }; done
check "one of the next two steps finds it at its new address" equal "$found" 1
check "... Running again" has_line "$status" "State: Running"
check "the impostor's action still never ran" file_absent "$act/pwned.marker"
kill "$(cat "$bed_work/imp.pid")" 2>/dev/null

# Floods the program's port from the impostor's namespace while the Status
# command is asked again and again; flood_answered is how many Status boxes
# came while the flood still went on. Each Status runs a session step: a
# request that waited past its deadline for as long as junk came would hold
# the box until the flood ends. (The appliance's answers are lost in a full
# socket buffer at this rate, so the state may fall back to Starting.)
flood_phase() {  # kind seconds
  local flood asked=0 states=
  flood_answered=0
  ip netns exec "$bed_name-imp" "$probe" --to "$HOLV_HOST_IP" --mac "$bed_mac" flood 1000 "$2" "$1" \
    >"$bed_work/flood.out" 2>&1 &
  flood=$!
  bed_track "$flood"
  while kill -0 "$flood" 2>/dev/null; do
    asked=$((asked + 1))
    show_status && kill -0 "$flood" 2>/dev/null && flood_answered=$((flood_answered + 1)) &&
      states="$states $(sed -n 's/^State: //p' <<<"$status")"
  done
  wait "$flood"
  note "$1 flood: $(cat "$bed_work/flood.out"); Status answered $flood_answered of $asked times meanwhile:$states"
}

say "3. Floods of junk at the program's port 8888, 1000 datagrams a second"
rss_before=$(program_rss)
for kind in undecodable mixed; do  # mixed: stale, foreign and notifying frames
  flood_phase "$kind" 60  # long enough for a Status box on a loaded machine
  check "60 s of $kind frames: all 60000 sent" has_line "$(cat "$bed_work/flood.out")" "sent=60000"
  check "... the Status command answered while it went on" eval '[ "$flood_answered" -ge 1 ]'
done
check "the program is still there" program_alive
check "... and finds the appliance again afterwards" wait_state Running 60
rss_after=$(program_rss)
note "resident memory: ${rss_before:-?} kB before, ${rss_after:-?} kB after"
check "memory did not grow by more than 16 MB" within "${rss_after:-999999999}" "$((${rss_before:-0} + 16384))"

say "4. Appliance texts as arguments: [openurl] and [script]"
browser=$(winpath "$bed_bin")\\holv-browser.exe
{
  echo REGEDIT4
  echo
  echo '[HKEY_CLASSES_ROOT\https\shell\open\command]'
  printf '@="\\"%s\\" --log \\"%s\\" \\"%%1\\""\n' "${browser//\\/\\\\}" "${act_win//\\/\\\\}\\\\calls.txt"
} >"$act/browser.reg"
wine_host regedit /s "$(winpath "$act/browser.reg")" || fatal "the stand-in browser could not be registered"
sim_config "action=[openurl] https://$HOLV_APPLIANCE_IP/a b\" --new-window \"&c=1"
step_by_signal || fatal "no step read the [openurl] action"
wait_until 60 test -s "$act/calls.txt" || fatal "the browser was not started"
calls=$(tr -d '\r' <"$act/calls.txt")
check "the browser started once" equal "$(grep -c '^url=' <<<"$calls")" 1
check "... with exactly one argument" has_line "$calls" "args=1"
check "... the URL, encoded" has_line "$calls" "url=https://$HOLV_APPLIANCE_IP/a%20b%22%20--new-window%20%22&c=1"

dir="$act/dir with blanks"
mkdir -p "$dir"
dir_win=$(winpath "$dir")
for name in run-me one two 'one&two'; do
  printf 'echo ran> "%s\\%s.marker"\r\n' "$dir_win" "${name//&/+}" >"$dir/$name.cmd"
done
sim_config "action=[script] $dir_win\\run-me.cmd"
step_by_signal || fatal "no step read the [script] action"
check "[script] in a folder with blanks runs" wait_until 60 file_exists "$dir/run-me.marker"
sim_config "action=[script] $dir_win\\one&two.cmd"
step_by_signal || fatal "no step read the [script] action with '&'"
check "[script] of one&two.cmd runs that file" wait_until 60 file_exists "$dir/one+two.marker"
check "... and not one.cmd" file_absent "$dir/one.marker"
check "... nor two.cmd" file_absent "$dir/two.marker"
sim_config "action=[script] $dir_win\\run-me.cmd\" & \"$dir_win\\one.cmd"
step_by_signal || fatal "no step read the [script] action with '\"'"
check "[script] with a '\"' in its path is refused with a log line" \
  wait_until 30 grep -q 'Action refused: a script path with a quote' "$bed_work/imc.log"
check "... and a warning in the event log" events_are 1 warn "An action the appliance asked for was refused"
check "... and runs nothing" file_absent "$dir/one.marker"
say "5. A log that cannot be deleted names a stranger's pid: not adopted, never ended, the VM still starts"
end_program || fatal "the program did not end"
wait_until 60 no_procs vmware-vmx.exe || fatal "the VM did not end"
wine_host notepad.exe >/dev/null 2>&1 &
bed_track $!
wait_until 60 eval '[ -n "$(procs notepad.exe)" ]' || fatal "the stranger (notepad) did not start"
stranger=$(procs notepad.exe)
[ "$(wc -w <<<"$stranger")" = 1 ] || fatal "more than one stranger: $stranger"
printf 'Dec 07 12:00:00.000: vmx| Log for VMware Player pid=%s version=1\r\n' "$stranger" >"$bed_work/vm/vmware.log"
chmod 444 "$bed_work/vm/vmware.log"
program_start -start "$bed_vmx_win"
# Not taken for the VM: the player is started all the same.
check "the stranger is not taken for the VM: a player starts the VM" \
  wait_until 60 eval '[ -n "$(procs vmware-vmx.exe)" ]'
check "Stop and Exit ran" end_program
check "the stranger survived them" has_line "$(procs notepad.exe)" "$stranger"
checks_end e2e_security
