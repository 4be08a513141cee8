#!/usr/bin/env bash
# e2e_session: the real Holvenstead.exe under Wine brings the appliance up
# through the stand-in player and keeps its session with the simulated
# appliance, in network namespaces made for the run (see lib.sh).
#
#   tests/e2e/session/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
#
# Two runs of the program share one bed:
#   A. "-start -xstatus": the status push is held back while the appliance
#      does not answer, and arrives once, with the appliance's identity, when
#      it is Running; the identity lands in the VM file once; losing the
#      appliance falls back to Starting and finding it again to Running; the
#      appliance's actions, ending with "[exit]1", which stops the VM and
#      ends the program.
#   B. A VM that already runs is adopted, not started again; "-stop -exit"
#      shuts the appliance down and leaves no player behind.
# The program's session steps are forced (the Status command converses once;
# a notification from the simulator makes it refresh and converse) instead of
# waited for, and every wait is a bound for failures, not an expectation.
# Exit codes: 0 all checks passed, 1 a check failed, 77 no namespaces here.
set -u
self=$(cd "$(dirname "$0")" && pwd)
sess_bin=$self/../../../build/win/bin
sess_sim=$self/../../../build/native/bin/appliance-sim
while [ $# -gt 0 ]; do
  case $1 in
    --bin) sess_bin=$2; shift 2 ;;
    --sim) sess_sim=$2; shift 2 ;;
    *) echo "usage: $0 [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]" >&2; exit 2 ;;
  esac
done
. "$self/lib.sh"

fails=0
checks=0
check() {  # description command...
  local desc=$1
  shift
  checks=$((checks + 1))
  if "$@"; then
    echo "ok   $desc"
  else
    echo "FAIL $desc"
    fails=$((fails + 1))
  fi
}
# A failure that leaves nothing sensible to check after it.
fatal() {
  echo "FAIL $*"
  sess_dump
  exit 1
}

has_line() { grep -qxF -- "$2" <<<"$1"; }
lacks_line() { ! has_line "$@"; }
has_text() { grep -qF -- "$2" <<<"$1"; }
equal() { [ "$1" = "$2" ]; }
file_exists() { [ -e "$1" ]; }
file_absent() { [ ! -e "$1" ]; }

# The Status box: one session step, its text in $status.
status=
show_status() {
  status=$(drive status --title "$sess_vmx_win")
  local rc=$?
  [ $rc = 0 ] || { note "Status box: session-drive ended with $rc"; return 1; }
}

# Shows the Status box until its first line is the wanted state.
wait_state() {  # state-text seconds
  local end=$((SECONDS + $2))
  while :; do
    show_status && has_line "$status" "State: $1" && return 0
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 1
  done
}

# One forced step through the Status box; true when the simulator saw its
# status query.
step_by_status() {
  local before
  before=$(record_count '^status ')
  show_status && record_above '^status ' "$before"
}

vmx_value() { tr -d '\r' <"$sess_vmx" | sed -n "s/^$1 = \"\\(.*\\)\"\$/\\1/p"; }
vmx_key_count() { grep -c "^$1 = " "$sess_vmx" | tr -d '\r'; }
vmx_stamp() { stat -c '%Y.%y %s' "$sess_vmx"; sha1sum <"$sess_vmx"; }

# Windows processes of this bed's prefix with that name, one id a line.
procs() { drive procs "$1"; }
no_procs() { [ -z "$(procs "$1")" ]; }

sess_begin
say "Test bed: namespaces $sess_name-host/-appl, simulator, Wine prefix copy, Xvfb"
sess_up
note "VM file $sess_vmx_win, appliance $sess_appliance_ip ($sess_mac)"

# ---------------------------------------------------------------------------
say "A1. Start with the appliance silent: Starting, address 0.0.0.0, no status push"
port_a=$(free_port)
listener_start "$port_a" "$sess_work/push-a"
# The VM runs (the player powers the simulator on) but the appliance leaves
# every query unanswered for now.
sim_config drop-next=1000000
program_start -start -xstatus "$port_a" "$sess_vmx_win"
wait_until 120 file_exists "$sess_work/power" || fatal "the player did not power the appliance on"
wait_until 120 record_above '^drop ' 1 || fatal "the program did not query the appliance while Starting"
show_status || fatal "no Status box"
check "Status says Starting while the appliance is silent" has_line "$status" "State: Starting..."
check "Status shows the address 0.0.0.0 before the appliance answered" has_line "$status" "IP Address: 0.0.0.0"
check "no status push while the address is 0.0.0.0" equal "$(push_count "$sess_work/push-a")" 0

say "A2. The appliance answers: Running, and the status push arrives once"
sim_config
wait_until 120 eval '[ "$(push_count "$sess_work/push-a")" -ge 1 ]' || fatal "no status push within 120 s of the appliance answering"
push=$(cat "$sess_work/push-a/push.1")
printf '%s\n' "$push" | sed 's/^/     | /'
check "push: State: Running" has_line "$push" "State: Running"
check "push: the device name" has_line "$push" "Device Name: $sess_device"
check "push: the product name" has_line "$push" "Product Name: $sess_product"
check "push: the firmware" has_line "$push" "Firmware: $sess_firmware"
check "push: the serial" has_line "$push" "Serial No: $sess_serial"
check "push: the appliance's address" has_line "$push" "IP Address: $sess_appliance_ip"
check "push: the first line is the state" equal "$(head -1 <<<"$push")" "State: Running"

say "A3. The identity lands in the VM file once"
check "appliance.hostname written" equal "$(vmx_value appliance.hostname)" "$sess_device"
check "appliance.serialno written" equal "$(vmx_value appliance.serialno)" "$sess_serial"
check "appliance.productname written" equal "$(vmx_value appliance.productname)" "$sess_product"
for key in appliance.hostname appliance.serialno appliance.productname; do
  check "$key stands in the file once" equal "$(vmx_key_count "$key")" 1
done
stamp=$(vmx_stamp)
steps_ok=0
for i in 1 2 3; do step_by_status && has_line "$status" "State: Running" && steps_ok=$((steps_ok + 1)); done
check "three forced steps, each Running" equal "$steps_ok" 3
check "steps with an unchanged identity leave the VM file alone" equal "$(vmx_stamp)" "$stamp"
check "Status: the device name" has_line "$status" "Device Name: $sess_device"
check "Status: the serial" has_line "$status" "Serial No: $sess_serial"
check "Status: the address" has_line "$status" "IP Address: $sess_appliance_ip"

# A new device name is written at the next step, and only then.
sess_device=holv-sess-renamed
sim_config
step_by_status
check "a renamed appliance: Status shows the new name" has_line "$status" "Device Name: $sess_device"
check "a renamed appliance: appliance.hostname rewritten" equal "$(vmx_value appliance.hostname)" "$sess_device"
check "a renamed appliance: the key still stands once" equal "$(vmx_key_count appliance.hostname)" 1
stamp=$(vmx_stamp)
step_by_status
step_by_signal
check "after the rename, further steps leave the VM file alone" equal "$(vmx_stamp)" "$stamp"
check "the status push came exactly once" equal "$(push_count "$sess_work/push-a")" 1

# ---------------------------------------------------------------------------
say "A4. Losing the appliance falls back to Starting, finding it again to Running"
power=$(cat "$sess_work/power")
serial_reads=$(record_count '^get 512.640$')
rm -f "$sess_work/power"
show_status
check "appliance gone: Status says Starting" has_line "$status" "State: Starting..."
check "appliance gone: the VM still runs (one player)" equal "$(procs vmplayer.exe | wc -l)" 1
printf '%s\n' "$power" >"$sess_work/power"
wait_state Running 60
check "appliance back: Status says Running" has_line "$status" "State: Running"
check "appliance back: the serial is read again" record_above '^get 512.640$' "$serial_reads"
check "no second status push after the loss" equal "$(push_count "$sess_work/push-a")" 1

# ---------------------------------------------------------------------------
say "A5. Actions: scripts and command lines"
act=$sess_work/act
act_win=$(winpath "$act")
printf 'echo script ran> %s\\script.marker\r\n' "$act_win" >"$act/run-me.cmd"
sim_config action="[script] $act_win\\run-me.cmd"
step_by_signal || fatal "no step read the action"
check "[script] with an existing file runs it" wait_until 60 file_exists "$act/script.marker"

# If the existence test were skipped, cmd would run what follows the "&".
sim_config action="[script] $act_win\\missing.cmd & echo ran> $act_win\\missing.marker"
step_by_signal || fatal "no step read the action"

# A plain command line: started, not waited for. The helper writes its
# process id into the marker and runs until the marker is deleted.
sim_config action="\"$(winpath "$sess_bin")\\session-drive.exe\" hold $act_win\\hold.marker"
step_by_signal || fatal "no step read the action"
check "a plain command line runs" wait_until 60 file_exists "$act/hold.marker"
check "the program answers while the command still runs (not waited for)" step_by_status
check "... and the command was still running then" eval '[ "$(procs session-drive.exe | wc -l)" -ge 2 ]'
rm -f "$act/hold.marker"
check "[script] with a missing file runs nothing" file_absent "$act/missing.marker"
check "the program keeps running after the actions" program_alive

say "A6. Actions that are ignored: an unknown keyword, a keyword in capitals"
for text in "[foo] x" "[EXIT]1"; do
  sim_config action="$text"
  step_by_signal || fatal "no step read the action $text"
  step_by_status
  check "\"$text\": the program keeps running" program_alive
  check "\"$text\": Status says Running" has_line "$status" "State: Running"
  check "\"$text\": the VM keeps running" equal "$(procs vmplayer.exe | wc -l)" 1
done

say "A7. \"[exit] 0\": the VM stops, the program stays"
shutdowns=$(record_count '^shutdown$')
sim_config action="[exit] 0"
step_by_signal || fatal "no step read the action [exit] 0"
check "the appliance was asked to shut down" wait_until 90 record_above '^shutdown$' "$shutdowns"
check "the player is gone" wait_until 90 no_procs vmplayer.exe
check "the VM's worker is gone" wait_until 30 no_procs vmware-vmx.exe
check "the power file is gone" file_absent "$sess_work/power"
check "the program keeps running" program_alive
wait_state Stopped 60
check "Status says Stopped" has_line "$status" "State: Stopped"

# Start again through the menu command; the push is not repeated.
drive post 32771 --title "$sess_vmx_win" || fatal "could not post Start"
wait_state Running 120 || fatal "the VM did not come back after Start"
check "started again: Running" has_line "$status" "State: Running"
check "started again: one player" equal "$(procs vmplayer.exe | wc -l)" 1
check "the status push still came only once" equal "$(push_count "$sess_work/push-a")" 1

say "A8. \"[exit]1\": the VM stops (no service installed) and the program ends"
shutdowns=$(record_count '^shutdown$')
sim_config action="[exit]1"
kill -USR1 "$sess_sim_signal_pid"
program_wait_end 120
check "the program ended with 0" equal "$prog_rc" 0
check "the appliance was asked to shut down first" record_above '^shutdown$' "$shutdowns"
check "the power file is gone" file_absent "$sess_work/power"
check "no player is left" no_procs vmplayer.exe
check "no VM worker is left" no_procs vmware-vmx.exe
check "no second status push" equal "$(push_count "$sess_work/push-a")" 1

# ---------------------------------------------------------------------------
say "B1. A VM already running is adopted, not started twice"
sim_config
: >"$sess_work/player.trace"
player_win=$(winpath "$sess_bin/vmplayer.exe")
# The command line the program builds from the association.
on_host env HOLV_SIM_POWER_FILE="$sess_power_win" HOLV_PLAYER_TRACE="$(winpath "$sess_work/player.trace")" \
  "$HOLV_WINE" "$player_win" "$sess_vmx_win" >>"$sess_work/player.out" 2>&1 &
own_player=$!
sess_track "$own_player"
wait_until 60 file_exists "$sess_work/power" || fatal "our own player did not power the appliance on"
wait_until 60 eval 'grep -q " pid=" "$sess_work/vm/vmware.log" 2>/dev/null' || fatal "our own player wrote no log"
player_ids=$(procs vmplayer.exe)
check "one player before the program starts" equal "$(wc -l <<<"$player_ids")" 1

port_b=$(free_port)
listener_start "$port_b" "$sess_work/push-b"
program_start -start -xstatus "$port_b" "$sess_vmx_win"
wait_until 120 eval '[ "$(push_count "$sess_work/push-b")" -ge 1 ]' || fatal "the adopting program pushed no status"
check "the adopting program reaches Running" has_line "$(cat "$sess_work/push-b/push.1")" "State: Running"
step_by_status
check "Status says Running" has_line "$status" "State: Running"
check "still the one player we started" equal "$(procs vmplayer.exe)" "$player_ids"
check "the player trace shows one start only" equal "$(grep -c '^start ' <(tr -d '\r' <"$sess_work/player.trace"))" 1
check "our player still runs" kill -0 "$own_player"

say "B2. \"-stop -exit\": shutdown request, player, worker and power file gone"
shutdowns=$(record_count '^shutdown$')
rc=0
wine_host "$sess_bin/Holvenstead.exe" -stop -exit "$sess_vmx_win" >/dev/null 2>&1 || rc=$?
check "-stop -exit ends with 0" equal "$rc" 0
program_wait_end 60
check "the running instance ended with 0" equal "$prog_rc" 0
check "the appliance recorded the shutdown request" record_above '^shutdown$' "$shutdowns"
check "the power file is gone" file_absent "$sess_work/power"
check "no player is left" no_procs vmplayer.exe
check "no VM worker is left" no_procs vmware-vmx.exe
check "our player process ended" wait_until 30 eval '! kill -0 "$own_player" 2>/dev/null'

echo
if [ "$fails" -gt 0 ]; then
  echo "e2e_session: $fails of $checks checks failed"
  sess_dump
  exit 1
fi
echo "e2e_session: all $checks checks passed"
exit 0
