#!/usr/bin/env bash
# e2e_service: the Windows service of the real Holvenstead.exe under Wine's
# service manager, on the network test bed (tests/e2e/bed.sh), whose
# wineserver and service manager live in the host namespace. Installing with
# a quoted path, starting, stopping and removing are the installer test's.
# Here: the service's child carries the closed process descriptor (everyone
# may wait for it and query it, nothing more) and "-exit" waits for it through
# that, leaving the VM running while the service is automatic; a user's
# instance serving the file takes the service's start and stop; a child that
# fails ends the service with its code. One bed per case: Wine's service
# manager may keep a stopped service's process for up to a minute.
#   tests/e2e/service/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
# Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe uiauto.exe VBoxManage.exe VBoxHeadless.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

# A value of "sc query": STATE (1 stopped, 4 running), WIN32_EXIT_CODE, ...
svc() { wine_host sc query Holvenstead 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *: *\([0-9]*\).*/\1/p"; }
# The service-specific code counts only with 1066 (ERROR_SERVICE_SPECIFIC_ERROR).
svc_stopped_with() {  # win32-exit-code [service-exit-code]
  wait_until 150 eval '[ "$(svc STATE)" = 1 ]'
  local got="$(svc STATE) $(svc WIN32_EXIT_CODE)${2:+ $(svc SERVICE_EXIT_CODE)}"
  [ "$got" = "1 $1${2:+ $2}" ] || { note "sc query: state, exit codes $got"; return 1; }
}
# A fresh bed with the service installed; the VM file names the power file
# itself, as the service's program does not get the test's environment.
installed_bed() {
  [ -z "$bed_work" ] || bed_discard "$bed_work"
  bed_begin
  bed_up
  echo "simulator.powerFile = \"$(winpath "$bed_work/power")\"" >>"$bed_vmx"
  wine_host "$bed_bin/Holvenstead.exe" -install "$bed_vmx_win" >/dev/null 2>&1 || fatal "-install failed"
}
service() { wine_host net "$1" Holvenstead >/dev/null 2>&1; }

say "1. A user's instance serving the file takes the service's start and its stop"
installed_bed
program_start "$bed_vmx_win"
wait_state Stopped 120 || fatal "the user's instance did not come up"
service start
check "the user's instance starts the VM for the service" wait_state Running 180
check "the service runs on, the child has handed over: two programs" wait_until 60 eval \
  '[ "$(svc STATE)" = 4 ] && [ "$(procs Holvenstead.exe | wc -l)" = 2 ]'
shutdowns=$(record_count '^shutdown$')
service stop
check "stopping the service stops it with 0" svc_stopped_with 0
check "... the event log says so, once, and tells of no failure: a hand-over is none" eval \
  'events_are 1 trace "The Holvenstead service stopped." s &&
   [ "$(event_count err "The Holvenstead service'"'"'s program failed" s)" = 0 ]'
check "... and ends the user's instance with 0" eval 'program_wait_end 60 && [ "$prog_rc" = 0 ]'
check "... the VM asked to shut down, powered off" eval \
  'record_above "^shutdown$" "$shutdowns" && file_absent "$bed_work/power"'
check "... no program left" wait_until 150 no_procs Holvenstead.exe

say "2. The service's child: the closed descriptor; -exit waits for it and leaves the VM running"
installed_bed
service start
wait_state Running 180 || fatal "the appliance never came up for the service's child"
check "everyone may only wait for the child and query it" equal "$(drive rights --title "$bed_vmx_win")" 0x00101400
check "-exit from a user ends with 0" eval 'wine_host "$bed_bin/Holvenstead.exe" -exit "$bed_vmx_win" >/dev/null 2>&1'
check "the child's end ends the service with 0" svc_stopped_with 0
check "the VM runs on, not asked to shut down (the service is automatic)" eval \
  '[ "$(record_count "^shutdown$")" = 0 ] && file_exists "$bed_work/power"'

say "3. A child that fails ends the service with its code"
installed_bed
rm -f "$bed_vmx"
service start
box=$(wine_host "$bed_bin/uiauto.exe" wait-box --caption Error --timeout 60000 2>/dev/null | tr -d '\r')
check "the child says so" equal "$box" "VMX file not found."
wine_host "$bed_bin/uiauto.exe" press --caption Error --button ok >/dev/null 2>&1
check "the service stops with a service-specific error (1066), the child's 2" svc_stopped_with 1066 2
check "the event log: the service started, its program failed with 2 (an error), the service stopped" eval \
  'events_are 1 trace "The Holvenstead service started:" s &&
   events_are 1 err "The Holvenstead service'"'"'s program failed: exit code 2." s &&
   events_are 1 trace "The Holvenstead service stopped." s'

say "4. A VM folder others may write: the child refuses it, and -install installs nothing"
installed_bed
vm_dir=$(dirname "$bed_vmx")
chmod o+w "$vm_dir"
service start
refused() { wine_host "$bed_bin/uiauto.exe" wait-box --caption Error --timeout 60000 2>/dev/null | grep -qF "The VM's folder is refused for the service"; }
press_error() { wine_host "$bed_bin/uiauto.exe" press --caption Error --button ok >/dev/null 2>&1; }
check "the child says so" refused
press_error
check "the service stops with 1066, the child's 5 (access denied)" svc_stopped_with 1066 5
wine_host "$bed_bin/Holvenstead.exe" -remove "$bed_vmx_win" >/dev/null 2>&1
wine_host "$bed_bin/Holvenstead.exe" -install "$bed_vmx_win" >/dev/null 2>&1 &
installer=$!
check "-install says so too" refused
press_error
wait "$installer"
check "... and installs no service" eval '[ -z "$(svc STATE)" ]'
chmod o-w "$vm_dir"

say "5. The hypervisor hangs: the service still stops within 60 s and leaves nothing running"
# VirtualBox beside the VM, whose power-off and adapter commands never end.
installed_bed
vm_dir=$(dirname "$bed_vmx")
for t in VBoxManage.exe VBoxHeadless.exe VBoxSDL.exe VBoxSVC.exe VBoxC.dll VBoxTAP.inf; do cp "$bed_bin/$t" "$vm_dir/"; done
: >"$vm_dir/Holvenstead.vmdk"
: >"$vm_dir/store.vmdk"
printf '%s\n' "trace=$(winpath "$bed_work/vbox.trace")" "block.controlvm=$(winpath "$bed_work/never")" \
  "block.disablehostif=$(winpath "$bed_work/never")" >"$vm_dir/vbox-standin.conf"
bed_dump_more=vbox.trace
service start
wait_state Running 240 || fatal "the appliance never came up through VirtualBox for the service's child"
service stop &
stopper=$!
check "the service is stopped within 60 s" wait_until 60 eval '[ "$(svc STATE)" = 1 ]'
check "... the hung power-off was asked for" grep -q 'controlvm Holvenstead poweroff' "$bed_work/vbox.trace"
check "... no program, VBoxManage or front end left" wait_until 90 eval \
  'no_procs Holvenstead.exe && no_procs VBoxManage.exe && no_procs VBoxHeadless.exe'
wait "$stopper"
checks_end e2e_service
