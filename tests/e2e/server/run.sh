#!/usr/bin/env bash
# e2e_server: the real Holvenstead.exe under Wine drives the VMware Server
# stand-ins (vix.dll, the two services) against the simulated appliance, in
# the shared network test bed (tests/e2e/bed.sh).
#   tests/e2e/server/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
# The program's refreshes come from its 10 s poll timer; every wait is a
# bound for failures, not an expectation. Exit 0 passed, 1 failed, 77 no
# namespaces here.
set -u
bed_needs=(Holvenstead.exe session-drive.exe vix.dll vmservice.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

services() {  # -install|-start|-stop
  wine_host "$bed_bin/vmservice.exe" "$1" VMAuthdService >/dev/null 2>&1 &&
    wine_host "$bed_bin/vmservice.exe" "$1" vmserverdWin32 >/dev/null 2>&1
}
# The stand-in library's knobs, written whole (it re-reads them at each call).
vix_config() {
  printf '%s\n' "$@" >"$bed_work/vix.conf.new"
  mv -f "$bed_work/vix.conf.new" "$bed_work/vix.conf"
}
# The trace in short, one word a call: Connect, Register, Open, PowerOn,
# PowerOff, Disconnect, Get:<ids>, Wait:<ids>:<ok|err>, Release:<kind>.
calls() {
  tr -d '\r' 2>/dev/null <"$bed_work/vix.trace" | awk '
    { name = $1; sub(/^Vix(Host|VM|Job)?_/, "", name) }
    /^VixJob_Wait|^Vix_GetProperties/ { split($3, p, "="); name = (name == "Wait" ? "Wait:" : "Get:") p[2] }
    /^VixJob_Wait/ { name = name ($0 ~ / -> error=0( |$)/ ? ":ok" : ":err") }
    /^Vix_ReleaseHandle/ { split($3, k, "="); name = "Release:" k[2] }
    /^VixHost_RegisterVM/ { name = "Register" }
    { printf "%s ", name }'
}
# Registrations and connections only: C connect, D disconnect, R+ / R-.
reg_events() {
  calls | tr ' ' '\n' | awk '
    /^Connect$/ { print "C" } /^Disconnect$/ { print "D" }
    /^Register$/ { r = 1; next } r && /^Wait:/ { print ($0 ~ /:ok$/ ? "R+" : "R-"); r = 0 }' | tr '\n' ' '
}
# The events after those of an earlier reg_events.
since() { local now; now=$(reg_events); echo "${now#"$1"}"; }
# Job handles given out and never released.
unreleased_jobs() {
  tr -d '\r' <"$bed_work/vix.trace" | awk '
    / -> job=[0-9]+/ { match($0, / -> job=[0-9]+/); id = substr($0, RSTART + 8, RLENGTH - 8); if (id != 0) open[id] = 1 }
    /^Vix_ReleaseHandle .* kind=job/ { split($2, h, "="); delete open[h[2]] }
    END { for (id in open) print id }'
}
has_text() { grep -qF -- "$2" <<<"$1"; }

bed_begin
bed_up --no-player
export HOLV_VIX_CONFIG HOLV_VIX_TRACE
HOLV_VIX_CONFIG=$(winpath "$bed_work/vix.conf")
HOLV_VIX_TRACE=$(winpath "$bed_work/vix.trace")
vix_config
services -install || fatal "the stand-in services could not be installed"

# ---------------------------------------------------------------------------
say "1. A vix.dll that lacks a call: the Server backend is kept, not connected, no crash"
partial=$bed_work/partial
mkdir -p "$partial"
cp "$bed_bin/Holvenstead.exe" "$partial/"
# Same length, so the export table stays sorted and the other calls resolve.
sed 's/VixVM_PowerOff/VixVM_PowerOfX/g' "$bed_bin/vix.dll" >"$partial/vix.dll"
services -start || fatal "the stand-in services did not start"
bed_bin=$partial program_start "$bed_vmx_win"
wait_until 60 grep -q "lacks VixVM_PowerOff" "$bed_work/imc.log" || fatal "no word of the incomplete library in the IMC log"
show_status
check "Status: VMware service not ready" has_line "$status" "State: VMware service not ready"
check "the library was never called" file_absent "$bed_work/vix.trace"
check "the program ends normally with -exit" eval 'bed_bin=$partial end_program -exit'

# ---------------------------------------------------------------------------
say "2. Services stopped at start: the Server backend is kept, not ready"
# From here on the VM's folder holds the incomplete vix.dll: loaded from there
# (not beside the program) it would be named in the log again and nothing
# would connect.
cp "$partial/vix.dll" "$(dirname "$bed_vmx")/vix.dll"
lacks=$(grep -c 'lacks VixVM_PowerOff' "$bed_work/imc.log")
services -stop || fatal "the stand-in services did not stop"
program_start "$bed_vmx_win"
check "Status: VMware service not ready" wait_state "VMware service not ready" 60

say "3. Services started: within one poll it connects, registers and opens the VM"
services -start || fatal "the stand-in services did not start"
wait_until 30 eval 'has_text "$(calls)" "Get:129"' || fatal "the backend did not connect within a poll"
# From the first call: none was made while the services were stopped.
first="Connect Wait:3010:ok Release:job Register Wait:0:ok Release:job Open Wait:3010:ok Release:job Get:129 "
check "the calls in order, every job waited for and released" eval '[[ "$(calls)" == "$first"* ]]'
check "connected to the local server with the published arguments" \
  grep -q '^VixHost_Connect api=1 type=2 host=- port=0 user=- password=- options=0 props=0 callback=0 data=0' "$bed_work/vix.trace"
wait_state Stopped 30
check "Status: Stopped (powered off)" has_line "$status" "State: Stopped"
check "the VM folder's vix.dll was never loaded" equal "$(grep -c 'lacks VixVM_PowerOff' "$bed_work/imc.log")" "$lacks"

say "4. Start powers the VM on; 8 (on) gives Starting, then Running when the appliance answers"
sim_config drop-next=1000000
post 32771 || fatal "could not post Start"
check "power-on with normal options and no properties" wait_until 30 \
  grep -q '^VixVM_PowerOn vm=[1-9][0-9]* options=0 props=0 callback=0 data=0 .* power=on' "$bed_work/vix.trace"
check "the appliance is powered" file_exists "$bed_work/power"
check "8, appliance silent: Starting..." wait_state "Starting..." 40
sim_config
check "8, appliance answers: Running" wait_state Running 60
check "every job handle released" equal "$(unreleased_jobs)" ""

say "5. Power states the backend judges alone"
for ps in 1 2 4 16 32 128; do
  vix_config "power-state=$ps"
  check "power state $ps: Stopped" wait_state Stopped 40
done
sim_config drop-next=1000000
for ps in 64 8; do
  vix_config "power-state=$ps"
  check "power state $ps, appliance silent: Starting..." wait_state "Starting..." 40
done

say "6. 72 and 256: the session alone decides"
for ps in 72 256; do
  vix_config "power-state=2"
  wait_state Stopped 40
  sim_config drop-next=1000000
  vix_config "power-state=$ps"
  gets=$(grep -c '^Vix_GetProperties' "$bed_work/vix.trace")
  wait_until 40 eval '[ "$(grep -c "^Vix_GetProperties" "$bed_work/vix.trace")" -gt "$gets" ]'
  show_status
  check "$ps, appliance silent: still Stopped" has_line "$status" "State: Stopped"
  sim_config
  check "$ps, appliance answers: Running" wait_state Running 40
done
vix_config

say "7. Registration failing on an older connection: one reconnect, then 110"
mark=$(reg_events)
vix_config "register-failures=2" "power-state-error=1"
check "the VM handle is dropped when its state cannot be read, the host kept" wait_until 60 eval \
  'has_text "$(reg_events)" "R- D C R- R+"'
check "exactly one reconnect before 110" equal "$(since "$mark" | cut -d' ' -f1-5)" "R- D C R- R+"
vix_config
check "back to Running" wait_state Running 60

say "8. A service stopped while running: not ready; restarted with registration failing: 110 at once"
services -stop || fatal "the stand-in services did not stop"
check "Status: VMware service not ready" wait_state "VMware service not ready" 40
check "the host connection was dropped" has_text "$(calls)" "Release:vm Disconnect Release:host"
vix_config "register-failures=1"
mark=$(reg_events)
services -start || fatal "the stand-in services did not start"
check "back up after the services return" wait_state Running 60
check "failing on a fresh connection: no reconnect" equal "$(since "$mark" | cut -d' ' -f1-3)" "C R- R+"
vix_config

say "9. Stop asks the appliance and powers off"
shutdowns=$(record_count '^shutdown$')
post 32772 || fatal "could not post Stop"
check "power-off after the request" wait_until 60 grep -q '^VixVM_PowerOff vm=[1-9][0-9]* options=0 callback=0 data=0 ' "$bed_work/vix.trace"
check "the appliance recorded the shutdown request" record_above '^shutdown$' "$shutdowns"
check "the appliance is off" file_absent "$bed_work/power"
check "the program ends with 0" end_program -exit
check "every job handle released" equal "$(unreleased_jobs)" ""

say "10. A VMware service that never completes a job: the tray answers, -exit ends, every job released"
vix_config "jobs-hang=1"
connects=$(grep -c '^VixHost_Connect' "$bed_work/vix.trace")
program_start "$bed_vmx_win"
wait_until 60 eval '[ "$(grep -c "^VixHost_Connect" "$bed_work/vix.trace")" -gt "$connects" ]' ||
  fatal "no connection was asked for"
check "the Status box opens and closes: not ready" wait_state "VMware service not ready" 120
check "-exit ends the program" end_program -exit
check "no instance is left" no_procs Holvenstead.exe
check "the hung jobs were given up and released" equal "$(unreleased_jobs)" ""
vix_config

checks_end e2e_server
