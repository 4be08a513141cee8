#!/usr/bin/env bash
# e2e_session: the real Holvenstead.exe under Wine brings the appliance up
# through the stand-in player and keeps its session with the simulator, on
# the network test bed (tests/e2e/bed.sh).
#   tests/e2e/session/run.sh --bin WINDOWS_BIN --sim APPLIANCE_SIM
# A: "-start -xstatus": the push is held back while the appliance is silent
# and sent once when Running; the identity lands in the VM file once; a
# resume from sleep; loss and return; actions, ending with "[exit]1". B: a
# running VM is adopted, and "-stop -exit" leaves nothing behind. Steps are
# forced (the Status command converses once, a notification makes the
# program refresh), never waited for; every wait is a bound for failures. Exit: 0, 1 a check failed, 77.
set -u
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

vmx_value() { tr -d '\r' <"$bed_vmx" | sed -n "s/^$1 = \"\\(.*\\)\"\$/\\1/p"; }
vmx_stamp() { stat -c '%Y.%y %s' "$bed_vmx"; sha1sum <"$bed_vmx"; }
players() { procs vmplayer.exe | wc -l; }
pushes() { push_count "$bed_work/push-a"; }
# The program asked the appliance to shut down, and player, worker and
# power file are gone.
check_vm_down() {  # shutdowns-before
  check "the appliance was asked to shut down" wait_until 90 record_above '^shutdown$' "$1"
  check "no player is left" wait_until 90 no_procs vmplayer.exe
  check "no VM worker is left" wait_until 30 no_procs vmware-vmx.exe
  check "the power file is gone" file_absent "$bed_work/power"
}

bed_begin
bed_up

say "A1. Start with the appliance silent: Starting, address 0.0.0.0, no status push"
port_a=$(free_port)
listener_start "$port_a" "$bed_work/push-a"
sim_config drop-next=1000000
program_start -start -xstatus "$port_a" "$bed_vmx_win"
wait_until 120 file_exists "$bed_work/power" || fatal "the player did not power the appliance on"
wait_until 120 record_above '^drop ' 1 || fatal "the program did not query the appliance while Starting"
show_status || fatal "no Status box"
check "Status says Starting, address 0.0.0.0" eval 'has_line "$status" "State: Starting..." &&
  has_line "$status" "IP Address: 0.0.0.0"'
check "no status push while the address is 0.0.0.0" equal "$(pushes)" 0

say "A2. The appliance answers: Running, and the status push arrives once"
sim_config
wait_until 120 eval '[ "$(pushes)" -ge 1 ]' || fatal "no status push within 120 s of the appliance answering"
push=$(cat "$bed_work/push-a/push.1")
check "push: first the state, then the identity and address" eval '[ "$(head -1 <<<"$push")" = "State: Running" ] &&
  has_line "$push" "Device Name: holv-gw" && has_line "$push" "Product Name: Holvenstead Appliance" &&
  has_line "$push" "Firmware: 6.0.0 build 15432" && has_line "$push" "Serial No: HV-2026-000042" &&
  has_line "$push" "IP Address: $HOLV_APPLIANCE_IP"'
check "everyone may only wait for the player and query it" equal \
  "$(drive rights --pid "$(procs vmplayer.exe | head -1)")" 0x00101400

say "A3. The identity lands in the VM file once"
for kv in appliance.hostname=holv-gw appliance.serialno=HV-2026-000042 "appliance.productname=Holvenstead Appliance"; do
  check "${kv%%=*} written, once" eval '[ "$(vmx_value "${kv%%=*}")" = "${kv#*=}" ] &&
    [ "$(grep -c "^${kv%%=*} = " "$bed_vmx")" = 1 ]'
done
stamp=$(vmx_stamp)
steps_ok=0
for i in 1 2 3; do step_by_status && has_line "$status" "State: Running" && steps_ok=$((steps_ok + 1)); done
check "three forced steps, each Running" equal "$steps_ok" 3
check "steps with an unchanged identity leave the VM file alone" equal "$(vmx_stamp)" "$stamp"
sim_config device-name=holv-renamed
step_by_status
check "a renamed appliance: Status shows the new name" has_line "$status" "Device Name: holv-renamed"
check "... appliance.hostname rewritten, once" eval '[ "$(vmx_value appliance.hostname)" = holv-renamed ] &&
  [ "$(grep -c "^appliance.hostname = " "$bed_vmx")" = 1 ]'
stamp=$(vmx_stamp)
step_by_status
step_by_signal
check "after the rename, further steps leave the VM file alone" equal "$(vmx_stamp)" "$stamp"
check "the status push came exactly once" equal "$(pushes)" 1

say "A3b. A resume from sleep looks at the appliance at once"
# Running: the session timer's period is 60 s and the poll does not converse,
# so a status query within 15 s of the message is the step it brought. Two
# resumes in a row span less than a period: a tick stands in for one at most.
for i in 1 2; do
  before=$(record_count '^status ')
  drive resume --title "$bed_vmx_win" || fatal "could not post the resume"
  check "resume $i: a status query follows at once" wait_until 15 record_above '^status ' "$before"
done

say "A4. Losing the appliance falls back to Starting, finding it again to Running"
power=$(cat "$bed_work/power")
serial_reads=$(record_count '^get 512.640$')
rm -f "$bed_work/power"
show_status
check "appliance gone: Status says Starting" has_line "$status" "State: Starting..."
check "appliance gone: the VM still runs (one player)" equal "$(players)" 1
printf '%s\n' "$power" >"$bed_work/power"
check "appliance back: Status says Running" wait_state Running 60
check "appliance back: the serial is read again" record_above '^get 512.640$' "$serial_reads"
check "no second status push after the loss" equal "$(pushes)" 1
check "the event log: found, lost (a warning) and found again; nothing while silent at the start" eval \
  'events_are 2 trace "The appliance answers: Holvenstead Appliance at $HOLV_APPLIANCE_IP." &&
   events_are 1 warn "The appliance no longer answers."'

say "A5. Actions: scripts and command lines"
act=$bed_work/act
mkdir -p "$act"
act_win=$(winpath "$act")
# The whole text after the keyword is one path, passed quoted: what follows
# the "&" is part of the (missing) file's name, never a second command.
sim_config "action=[script] $act_win\\missing.cmd & echo ran> $act_win\\missing.marker"
step_by_signal || fatal "no step read the action"
# A plain command line is started, not waited for: the helper runs until
# its marker is deleted.
sim_config "action=\"$(winpath "$bed_bin")\\session-drive.exe\" hold $act_win\\hold.marker"
step_by_signal || fatal "no step read the action"
check "a plain command line runs" wait_until 60 file_exists "$act/hold.marker"
check "the program answers while the command still runs" step_by_status
check "... and the command was still running then" eval '[ "$(procs session-drive.exe | wc -l)" -ge 2 ]'
rm -f "$act/hold.marker"
check "[script] with \"&\" in its path runs no second command" file_absent "$act/missing.marker"
# A cmd.exe in the VM's folder (the program's current folder) that would
# write no marker: the system's interpreter runs the script and the line.
cp "$bed_bin/session-drive.exe" "$(dirname "$bed_vmx")/cmd.exe"
printf 'echo ran> %s\\script.marker\r\n' "$act_win" >"$act/s.cmd"
for text in "[script] $act_win\\s.cmd" "cmd /c echo ran> $act_win\\line.marker"; do
  sim_config "action=$text"
  step_by_signal || fatal "no step read the action $text"
done
check "the system's interpreter runs [script] and a plain line, not the VM folder's cmd.exe" \
  wait_until 60 eval 'file_exists "$act/script.marker" && file_exists "$act/line.marker"'
rm -f "$(dirname "$bed_vmx")/cmd.exe"
for text in "[foo] x" "[EXIT]1"; do
  sim_config "action=$text"
  step_by_signal || fatal "no step read the action $text"
  step_by_status
  check "\"$text\" is ignored: the program runs, Running, one player" \
    eval 'program_alive && has_line "$status" "State: Running" && [ "$(players)" = 1 ]'
done

say "A6. \"[exit] 0\": the VM stops, the program stays; Start brings it back"
shutdowns=$(record_count '^shutdown$')
sim_config "action=[exit] 0"
step_by_signal || fatal "no step read the action [exit] 0"
check_vm_down "$shutdowns"
check "the program keeps running" program_alive
check "Status says Stopped" wait_state Stopped 60
post 32771 || fatal "could not post Start"
check "started again: Running, one player" eval 'wait_state Running 120 && [ "$(players)" = 1 ]'
check "the status push still came only once" equal "$(pushes)" 1

say "A7. \"[exit]1\": the VM stops (no service installed) and the program ends"
shutdowns=$(record_count '^shutdown$')
sim_config "action=[exit]1"
kill -USR1 "$bed_sim_pid"
program_wait_end 120
check "the program ended with 0" equal "$prog_rc" 0
check_vm_down "$shutdowns"
check "no second status push" equal "$(pushes)" 1

say "B1. A VM already running is adopted, not started twice"
sim_config
: >"$bed_work/player.trace"
on_host env HOLV_SIM_POWER_FILE="$(winpath "$bed_work/power")" HOLV_PLAYER_TRACE="$(winpath "$bed_work/player.trace")" \
  "$HOLV_WINE" "$bed_bin/vmplayer.exe" "$bed_vmx_win" >>"$bed_work/player.out" 2>&1 &
own_player=$!
bed_track "$own_player"
wait_until 60 file_exists "$bed_work/power" || fatal "our own player did not power the appliance on"
wait_until 60 eval 'grep -q " pid=" "$bed_work/vm/vmware.log" 2>/dev/null' || fatal "our own player wrote no log"
player_ids=$(procs vmplayer.exe)
port_b=$(free_port)
listener_start "$port_b" "$bed_work/push-b"
program_start -start -xstatus "$port_b" "$bed_vmx_win"
wait_until 120 test -e "$bed_work/push-b/push.1" || fatal "the adopting program pushed no status"
check "the adopting program reaches Running" has_line "$(cat "$bed_work/push-b/push.1")" "State: Running"
check "still the one player we started" equal "$(procs vmplayer.exe)" "$player_ids"
check "the player trace shows one start only" equal "$(tr -d '\r' <"$bed_work/player.trace" | grep -c '^start ')" 1

say "B2. \"-stop -exit\": shutdown request, player, worker and power file gone"
shutdowns=$(record_count '^shutdown$')
check "-stop -exit and the running instance end with 0" end_program
check_vm_down "$shutdowns"
check "our player process ended" wait_until 30 eval '! kill -0 "$own_player" 2>/dev/null'
checks_end e2e_session
