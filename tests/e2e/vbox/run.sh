#!/usr/bin/env bash
# e2e_vbox: the real Holvenstead.exe under Wine with the VirtualBox stand-ins
# (tools/virtualbox) beside it in the VM's folder, against the simulated
# appliance, on the network test bed (tests/e2e/bed.sh). The stand-ins trace
# every command line they receive, so the first-time setup is checked line
# by line; the driver-signing values are read back from the registry.
#
#   tests/e2e/vbox/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
#
# Exit codes: 0 all checks passed, 1 a check failed, 77 no namespaces here.
set -u
tools=(Holvenstead.exe VBoxManage.exe VBoxHeadless.exe VBoxSDL.exe VBoxSVC.exe VBoxC.dll VBoxTAP.inf)
bed_needs=("${tools[@]}" session-drive.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"

adapter='"Holvenstead Adapter"'
list='VBoxManage list hostifs'
repair=('VBoxSVC /ReRegServer' 'regsvr32 /s /u VBoxC.dll' 'regsvr32 /s VBoxC.dll'
  'VBoxManage internalcommands moduninstall' 'VBoxManage internalcommands modinstall'
  'VBoxManage setproperty loghistorycount 0')
create_vm() {  # uuid-part mac
  printf '%s\n' "VBoxManage createvm -name Holvenstead -register$1" \
    'VBoxManage registerimage disk .\Holvenstead.vmdk' 'VBoxManage registerimage disk .\store.vmdk' \
    'VBoxManage modifyvm Holvenstead -memory 32mb -vram 1mb -acpi off -biosbootmenu disabled -bioslogofadein off -bioslogofadeout off -bioslogodisplaytime 1 -boot1 disk -boot2 none -boot3 none -hda .\Holvenstead.vmdk -hdb .\store.vmdk -nic1 none -nic2 nat -clipboard disabled' \
    "VBoxManage modifyvm Holvenstead -nic1 hostif -hostifdev1 $adapter -macaddress1 $2 -natnet2 10.127.128.160/27"
}
lines() { printf '%s\n' "$@"; }

# A fresh VM folder: the program, the stand-ins, the VM file (its lines
# given) and the two disks; the stand-ins' settings get the extra lines. The
# bed's program, Status and commands are then this folder's.
vm=
vbox_folder() {  # name "vmx lines" settings...
  vm=$bed_work/$1
  bed_dump_more="$1/trace"  # what the stand-ins were asked to run, on failure
  bed_vmx_win=$(winpath "$vm/Holvenstead.vmx")
  mkdir -p "$vm"
  local t
  for t in "${tools[@]}"; do cp "$bed_bin/$t" "$vm/"; done
  # A regsvr32.exe beside the VM that would trace itself if it ran: the
  # repair must take the system's, which the trace names by its full path.
  cp "$bed_bin/VBoxManage.exe" "$vm/regsvr32.exe"
  printf 'config.version = "8"\n%s\n' "$2" >"$vm/Holvenstead.vmx"
  : >"$vm/Holvenstead.vmdk"
  : >"$vm/store.vmdk"
  shift 2
  lines "trace=$(winpath "$vm/trace")" "$@" >"$vm/vbox-standin.conf"
}
vbox_start() { bed_bin=$vm program_start "$@" "$bed_vmx_win"; }
# The lines as written, once VirtualBox's files are seen named by their full
# path in the VM's folder and regsvr32 by its path in the system folder; one
# started by bare name (found wherever) is marked "bare:".
trace() {
  local re
  re=$(winpath "$vm" | sed 's/[][\\.^$*+?(){}|/]/\\&/g')
  { tr -d '\r' <"$vm/trace"; } 2>/dev/null | sed -E "s/^(VBox|regsvr32)/bare:\\1/; s/^\"?$re\\\\(VBox[A-Za-z]+)\.exe\"?/\\1/;
    s/^\"?[A-Za-z]:\\\\windows\\\\system32\\\\regsvr32\.exe\"?/regsvr32/I; s/\"$re\\\\VBoxC\.dll\"/VBoxC.dll/"
}
trace_has() { grep -qxF -- "$1" <(trace); }
trace_is() { [ "$(trace)" = "$1" ]; }
# Waits (up to the bound) for the trace to be exactly the lines; shows it
# when it does not become that.
check_trace() {  # description seconds lines
  if wait_until "$2" trace_is "$3"; then check "$1" true; else
    check "$1" false
    trace | sed 's/^/     | /'
  fi
}
vbox_exit() { post 105 && program_wait_end 120 && [ "$prog_rc" = 0 ]; }  # Exit from the menu

# The driver-signing policy values, one line each ("absent" when missing).
policy_keys=('HKLM\SOFTWARE\Microsoft\Driver Signing' 'HKLM\SOFTWARE\Microsoft\Non-Driver Signing'
  'HKCU\Software\Microsoft\Driver Signing' 'HKCU\Software\Microsoft\Non-Driver Signing')
policies() {
  local k v
  for k in "${policy_keys[@]}"; do
    v=$(wine_host reg query "$k" /v Policy 2>/dev/null | tr -d '\r' | grep -i ' Policy ' | tr -s ' \t' ' ')
    echo "$k:${v:- absent}"
  done
}
journal() { wine_host reg query 'HKLM\SOFTWARE\Holvenstead\Journal\DriverSigning' 2>/dev/null | tr -d '\r' | grep -c ' REG_'; }
policies_kept() { [ "$(policies)" = "$user_policies" ] && [ "$(journal)" = 0 ]; }
# Drivers in the prefix's driver store (Wine keeps the INF's own name there).
store_count() { find "$bed_prefix/drive_c/windows/inf" -maxdepth 1 -iname '*.inf' 2>/dev/null | wc -l; }
# The adapters the stand-in made, gone: the next setup has to make one again.
drop_adapters() {
  local k
  for k in 'HKLM\SYSTEM\CurrentControlSet\Control\Network\{4D36E972-E325-11CE-BFC1-08002BE10318}' \
    'HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E972-E325-11CE-BFC1-08002BE10318}'; do
    wine_host reg delete "$k" /f >/dev/null 2>&1
  done
}

bed_begin
bed_up --no-player
# The user's policy: warn for drivers on the machine, block for the user's
# drivers; the two "non-driver" values not there at all.
wine_host reg add "${policy_keys[0]}" /v Policy /t REG_BINARY /d 01 /f >/dev/null 2>&1
wine_host reg add "${policy_keys[2]}" /v Policy /t REG_DWORD /d 2 /f >/dev/null 2>&1
user_policies=$(policies)
printf '%s\n' "$user_policies" | sed 's/^/     | /'
vmx_full=$(lines "ethernet0.generatedAddress = \"$bed_mac\"" 'uuid.bios = "56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 e9"')

# ---------------------------------------------------------------------------
say "V1. A fresh folder whose listing works without the adapter; no MAC address, no UUID"
vbox_folder v1 'displayName = "Holvenstead"'
store_before=$(store_count)
vbox_start
wait_state Stopped 180 || fatal "the program did not come up with the VirtualBox backend"
check_trace "the setup's command lines, in order" 0 "$(lines "$list" "$list" "VBoxManage createhostif $adapter" "$list" "$list"
  create_vm "" auto)"
check "the adapter came from createhostif: no driver copied into the store" equal "$(store_count)" "$store_before"
check "the driver-signing values are as before, nothing in the journal" policies_kept

say "V2. Stop while Stopped: no power-off, the adapter still disabled"
: >"$vm/trace"
post 32772 || fatal "could not post Stop"
check_trace "Stop: only disablehostif" 60 "VBoxManage disablehostif $adapter"
check "Exit ends the program with 0" vbox_exit

say "V3. A second start in the same folder: one listing, nothing else"
: >"$vm/trace"
vbox_start
wait_state Stopped 120 || fatal "the second start did not come up"
show_status
check_trace "the trace holds the one listing" 0 "$list"
check "Exit ends the program" vbox_exit

# ---------------------------------------------------------------------------
say "V4. A fresh folder whose first listing fails: repair, adapter, VM from the VMware identity, Running"
drop_adapters
vbox_folder v4 "$vmx_full" fail.list=1 fail-times.list=1
sim_config
vbox_start -start
wait_state Running 240 || fatal "the appliance did not reach Running through VirtualBox"
check_trace "the setup's and the start's command lines, in order" 0 "$(lines "$list" "${repair[@]}" "$list" \
  "VBoxManage createhostif $adapter" "$list" "$list"; create_vm ' -uuid 564d8a1c-2b3e-4f50-6172-8394a5b6c7e9' 000C294E8A11
  lines "VBoxManage enablehostif $adapter" 'VBoxHeadless -s Holvenstead')"
check "Status shows the appliance's address" has_line "$status" "IP Address: $HOLV_APPLIANCE_IP"
check "the driver-signing values are as before, nothing in the journal" policies_kept

say "V5. Stop while Running: shutdown asked, then power-off within its bound, then the adapter"
: >"$vm/trace"
shutdowns=$(record_count '^shutdown$')
post 32772 || fatal "could not post Stop"
check "the appliance was asked to shut down" wait_until 60 record_above '^shutdown$' "$shutdowns"
check_trace "power-off, then disablehostif" 60 "$(lines "VBoxManage controlvm Holvenstead poweroff" "VBoxManage disablehostif $adapter")"
check "the front end has ended" wait_until 30 no_procs VBoxHeadless.exe
check "Status says Stopped" wait_state Stopped 60
check "Exit ends the program" vbox_exit

# ---------------------------------------------------------------------------
say "V6. The listing still fails after the driver step: the setup gives up, the program still runs"
vbox_folder v6 "$vmx_full" fail.list=1
store_before=$(store_count)
vbox_start
wait_state Stopped 180 || fatal "the program did not come up after a failed setup"
check_trace "listing, repair, listing, (driver), listing; no adapter or VM lines" 0 "$(lines "$list" "${repair[@]}" "$list" "$list")"
check "the TAP driver was copied into the store" equal "$(store_count)" "$((store_before + 1))"
check "the driver-signing values are as before, nothing in the journal" policies_kept
: >"$vm/trace"
show_status
check_trace "given up: later refreshes run no command" 0 ""
check "Exit ends the program" vbox_exit

# ---------------------------------------------------------------------------
say "V7. A run killed inside the driver-signing guard: the next start puts the values back"
drop_adapters
vbox_folder v7 "$vmx_full" "block.createhostif=$(winpath "$bed_work/v7-go")"
vbox_start
wait_until 120 trace_has "VBoxManage createhostif $adapter" || fatal "the setup did not reach createhostif"
relaxed=$(policies)
printf '%s\n' "$relaxed" | sed 's/^/     | /'
check "inside the guard the values are relaxed" eval '[ "$relaxed" != "$user_policies" ]'
check "inside the guard the journal holds the four values" equal "$(journal)" 4
# The Windows process is a child of the launcher started in the background.
kill -KILL $(ps -o pid= --ppid "$bed_prog_pid") "$bed_prog_pid"
program_wait_end 30
: >"$bed_work/v7-go"
check "the stand-in finishes the adapter" wait_until 60 no_procs VBoxManage.exe
check "after the kill the values are still relaxed" equal "$(policies)" "$relaxed"
sed -i '/^block\./d' "$vm/vbox-standin.conf"
: >"$vm/trace"
vbox_start
wait_state Stopped 180 || fatal "the next start did not come up"
check "the next start finds the adapter the stand-in finished" eval '! trace_has "VBoxManage createhostif $adapter"' 
check "the driver-signing values are back, the journal empty" policies_kept
check "Exit ends the program" vbox_exit

say "V8. A VBoxManage that never ends: ended after its bound, the tray answers, Exit leaves nothing"
lines "block.enablehostif=$(winpath "$bed_work/v8-never")" >>"$vm/vbox-standin.conf"
vbox_start
wait_state Stopped 180 || fatal "the program did not come up"
post 32771 || fatal "could not post Start"
wait_until 60 trace_has "VBoxManage enablehostif $adapter" || fatal "Start did not reach enablehostif"
check "the Status box opens and closes" show_status
check "the hung tool is ended and the start goes on" wait_until 120 trace_has 'VBoxHeadless -s Holvenstead'
check "Exit ends the program" vbox_exit
check "no VBoxManage or front end is left" wait_until 30 eval 'no_procs VBoxManage.exe && no_procs VBoxHeadless.exe'

checks_end e2e_vbox
