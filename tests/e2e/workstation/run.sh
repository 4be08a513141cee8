#!/usr/bin/env bash
# e2e_workstation: the real Holvenstead.exe under Wine runs the appliance
# through the VMware Workstation stand-in (tools/vmworkstation) against the
# simulated appliance, in the shared network test bed (tests/e2e/bed.sh).
# The program runs from a folder without vix.dll, and no VIX library is
# anywhere on the machine's search path.
#   tests/e2e/workstation/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
# Exit 0 passed, 1 failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe session-drive.exe vmware.exe vmware-vmx.exe uiauto.exe vmplayer.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

associate() {  # [--bare] EXE | --text TEXT: the "VMware.Document" open command
  on_host "$bed_root/scripts/register-player.sh" "$@" >/dev/null
}
# What each start of the stand-in workstation was given: options and VM file.
started_with() { tr -d '\r' 2>/dev/null <"$bed_work/player.trace" | sed -n 's/^workstation start pid=[0-9]* //p'; }
# Every DLL the program imports is one of the system's own.
imports_only_system() {
  local dll ok=0
  for dll in $(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'); do
    [ -n "$(find "$bed_prefix/drive_c/windows/system32" -maxdepth 1 -iname "$dll")" ] || { note "imports $dll"; ok=1; }
    [ "${dll,,}" != vix.dll ] || ok=1
  done
  return $ok
}

bed_begin
bed_up --no-player
novix=$bed_work/novix
mkdir -p "$novix"
cp "$bed_bin/Holvenstead.exe" "$novix/"
ws_win=$(winpath "$bed_bin/vmware.exe")
check "the program imports only the system's own DLLs" imports_only_system "$novix/Holvenstead.exe"

# ---------------------------------------------------------------------------
say "1. An unquoted %1: Workstation refused (1060), and no other hypervisor is there"
associate --text "\"$ws_win\" %1" || fatal "could not write the association"
bed_bin=$novix program_start -start "$bed_vmx_win"
box=$(wine_host "$bed_bin/uiauto.exe" wait-box --caption Error --timeout 60000 2>/dev/null | tr -d '\r')
check "the box says VMware is not installed" grep -qF "VMware is not installed on this machine." <<<"$box"
wine_host "$bed_bin/uiauto.exe" press --caption Error --button ok >/dev/null 2>&1
program_wait_end 60
# A Linux parent sees the low 8 bits of the Windows exit code.
check "the program ends with 1060" equal "$prog_rc" $((1060 & 255))
check "nothing was started" no_procs vmware.exe

say "2. The quoted placeholder: -xq goes before it, and the appliance comes up"
associate "$bed_bin/vmware.exe" || fatal "could not write the association"
bed_bin=$novix program_start -start "$bed_vmx_win"
check "the command line: program, -xq, quoted VM file" wait_until 60 eval \
  '[ "$(started_with | head -1)" = "options=-xq vmx=$bed_vmx_win" ]'
check "the appliance reaches Running" wait_state Running 120
check "the VM's worker runs" eval '[ -n "$(procs vmware-vmx.exe)" ]'

say "3. Stop: the appliance is asked, the worker ended"
shutdowns=$(record_count '^shutdown$')
post 32772 || fatal "could not post Stop"
check "Stopped" wait_state Stopped 60
check "the appliance recorded the shutdown request" record_above '^shutdown$' "$shutdowns"
check "no VM worker is left" wait_until 30 no_procs vmware-vmx.exe
check "the appliance is off" file_absent "$bed_work/power"
check "-exit ends the program" eval 'bed_bin=$novix end_program -exit'

say "4. A log naming a live process that is not the VM's worker; no placeholder"
drive hold "$(winpath "$bed_work/hold")" &
bed_track $!
wait_until 30 file_exists "$bed_work/hold" || fatal "no stranger process"
# Each listing also shows the lister itself: the helper is in both.
first=$(procs session-drive.exe | sort)
stranger=$(comm -12 <(echo "$first") <(procs session-drive.exe | sort))
[ "$(wc -w <<<"$stranger")" = 1 ] || fatal "no single stranger process: [$stranger]"
printf 'Dec 07 10:00:00.000| vmx| Log for VMware Workstation pid=%s version=x\r\n' "$stranger" >"$bed_work/vm/vmware.log"
associate --bare "$bed_bin/vmware.exe" || fatal "could not write the association"
wait_until 60 no_procs Holvenstead.exe || fatal "the first instance is still there: $(procs Holvenstead.exe)"
bed_bin=$novix program_start "$bed_vmx_win"
check "the stranger is not taken for the VM: Stopped" wait_state Stopped 60
post 32771 || fatal "could not post Start"
check "the command line: -xq and the quoted VM file appended" wait_until 60 eval \
  '[ "$(started_with | tail -1)" = "options=-xq vmx=$bed_vmx_win" ]'
check "the appliance reaches Running" wait_state Running 120

say "5. -stop -exit leaves nothing running but the stranger"
shutdowns=$(record_count '^shutdown$')
check "-stop -exit and the running instance end with 0" eval 'bed_bin=$novix end_program'
check "the appliance was asked to shut down and is off" eval \
  'record_above "^shutdown$" "$shutdowns" && file_absent "$bed_work/power"'
check "no workstation and no VM worker are left" eval 'no_procs vmware.exe && no_procs vmware-vmx.exe'
check "the stranger still runs" eval 'procs session-drive.exe | grep -qx "$stranger"'
rm -f "$bed_work/hold"

say "6. Player: a read-only log (copied from media) naming a VM long gone; Start brings the VM up"
associate "$bed_bin/vmplayer.exe" || fatal "could not write the association"
# Not a multiple of 4: never a Windows process id.
printf 'Dec 07 10:00:00.000| vmx| Log for VMware Player pid=999999 version=x\r\n' >"$bed_work/vm/vmware.log"
chmod 444 "$bed_work/vm/vmware.log"
bed_bin=$novix program_start -start "$bed_vmx_win"
check "the appliance reaches Running" wait_state Running 120
check "-stop -exit leaves no player and no VM worker" eval \
  'bed_bin=$novix end_program && wait_until 30 eval "no_procs vmplayer.exe && no_procs vmware-vmx.exe"'

say "7. Player: closed before its VM ever showed (no worker, no log line); the VM is Stopped, not Starting for good"
rm -f "$bed_work/vm/vmware.log"
exits=$(tr -d '\r' <"$bed_work/player.trace" | grep -cx exit)
HOLV_PLAYER_NO_WORKER=1 bed_bin=$novix program_start -start "$bed_vmx_win"
check "the player started no worker, was hidden and ended" wait_until 60 eval \
  'grep -q "^no worker" "$bed_work/player.trace" && [ "$(tr -d "\r" <"$bed_work/player.trace" | grep -cx exit)" -gt "$exits" ]'
check "Stopped" wait_state Stopped 60
check "-stop -exit ends the program" eval 'bed_bin=$novix end_program'

checks_end e2e_workstation
