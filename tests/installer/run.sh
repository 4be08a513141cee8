#!/usr/bin/env bash
# test_installer: the package of `make installer` under Wine, in a throwaway
# prefix whose wineserver (and service manager) runs in the host namespace of
# the test bed (tests/e2e/bed.sh), with the simulated appliance beside it.
#   1. "setup /S" installs: program (stripped), Start-menu entry, uninstall
#      entry with the project's version; a folder that was open to everyone
#      is left writable by SYSTEM and Administrators only.
#   2. The user's VM beside the program and the service installed by the
#      installed program; installing again keeps both.
#   3. The service runs the installed program, which brings the appliance up
#      through the stand-in player and reaches Running.
#   4. "Uninstall.exe /S" with all that running and a killed run's changes in
#      the journal: the appliance shut down, no service, no program, no
#      program files or keys, the changes undone; the VM folder intact; what
#      -cleanup had to keep (a running process's route) stays in the journal.
#
#   tests/installer/run.sh SETUP_EXE VERSION WINDOWS_BIN APPLIANCE_SIM
# Exit codes: 0 all checks passed, 1 a check failed, 77 no namespaces here.
set -u
[ $# -eq 4 ] || { echo "usage: $0 SETUP_EXE VERSION WINDOWS_BIN APPLIANCE_SIM" >&2; exit 2; }
setup=$1 version=$2 bed_bin=$3 bed_sim=$4
self=$(cd "$(dirname "$0")" && pwd)
. "$self/../e2e/bed.sh"
[ -f "$setup" ] || { echo "FAIL: no installer at $setup (make installer builds it)"; exit 1; }
bed_needs=(vmplayer.exe vmware-vmx.exe session-drive.exe uiauto.exe)
bed_begin
bed_up

win_dir='C:\Program Files\Holvenstead'
exe_win="$win_dir\\Holvenstead.exe"
dir=$bed_prefix/drive_c/Program\ Files/Holvenstead
menu=$bed_prefix/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Holvenstead.lnk
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Holvenstead'
product_key='HKLM\Software\Holvenstead'
service_key='HKLM\SYSTEM\CurrentControlSet\Services\Holvenstead'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Holvenstead'

reg_value() {  # key name
  wine_host reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
key_absent() { ! wine_host reg query "$1" >/dev/null 2>&1; }
no_debug_sections() { ! x86_64-w64-mingw32-objdump -h "$1" | grep -q '\.debug'; }
vm_digest() { sha1sum "$dir/Holvenstead.vmdk" "$dir/notes.txt" 2>/dev/null; }
setup_silent() { wine_host "$setup" /S >/dev/null 2>&1; }
dacl() { wine_host "$bed_bin/uiauto.exe" dacl --path "$win_dir" "$@" 2>/dev/null | tr -d '\r'; }
# Every entry but SYSTEM's, the Administrators' and (as Wine shows a
# folder's Unix owner) Wine's user's grants read and execute at most. Wine
# keeps no access list of its own: it reads one back from the mode bits.
only_admins_change() {
  local ace
  for ace in $(grep -o '([^)]*)' <<<"$1"); do
    case $ace in
      *';;;SY)' | *';;;BA)' | *';;;S-1-5-21-0-0-0-1000)' | *';0x1200a9;;;'*) ;;
      *) note "may change the folder: $ace"; return 1 ;;
    esac
  done
  [ -n "$1" ]
}

say "1. Silent install"
# A folder everyone may change, as a chosen one can be (C:\Holvenstead).
mkdir -p "$dir"
check "before: everyone may change the folder" eval '! only_admins_change "$(dacl --set "D:(A;OICI;FA;;;WD)")"'
check "the installer ends with 0" setup_silent
check "after: only SYSTEM and Administrators may change it" only_admins_change "$(dacl)"
check "the program and the uninstaller in Program Files, the Start-menu entry" eval \
  'file_exists "$dir/Holvenstead.exe" && file_exists "$dir/Uninstall.exe" && file_exists "$menu"'
check "the program carries no debug information" no_debug_sections "$dir/Holvenstead.exe"
check "the event source: the program is its message file, for errors, warnings and information" eval \
  '[ "$(reg_value "$event_key" EventMessageFile)" = "$exe_win" ] && [ "$(reg_value "$event_key" TypesSupported)" = 0x7 ]'
check "the uninstall entry has the project's version" equal "$(reg_value "$uninstall_key" DisplayVersion)" "$version"
check "the uninstall entry's silent command" equal "$(reg_value "$uninstall_key" QuietUninstallString)" \
  "\"$win_dir\\Uninstall.exe\" /S"

say "2. The user's VM beside the program, the service; installing again keeps both"
# The stand-in player finds the simulator's power file through the VM file:
# the service's program does not get the test's environment.
{ cat "$bed_vmx"; echo "simulator.powerFile = \"$(winpath "$bed_work/power")\""; } >"$dir/Holvenstead.vmx"
head -c 65536 /dev/urandom >"$dir/Holvenstead.vmdk"
echo "the user's own notes" >"$dir/notes.txt"
rc=0
wine_host "$exe_win" -install >/dev/null 2>&1 || rc=$?
check "-install (the default VM file beside the program) ends with 0" equal "$rc" 0
check "the service runs the installed program" equal "$(reg_value "$service_key" ImagePath)" "\"$exe_win\""
check "the service serves the VM beside it" equal "$(reg_value "$service_key\\Parameters" Arguments)" \
  "$win_dir\\Holvenstead.vmx"
digest=$(vm_digest) vmx_sum=$(sha1sum <"$dir/Holvenstead.vmx")
check "installing again ends with 0" setup_silent
check "the VM's files are untouched" eval '[ "$(vm_digest)" = "$digest" ] && [ "$(sha1sum <"$dir/Holvenstead.vmx")" = "$vmx_sum" ]'
check "the service is still installed" equal "$(reg_value "$service_key\\Parameters" Arguments)" \
  "$win_dir\\Holvenstead.vmx"

say "3. The service runs the installed program against the appliance"
wine_host net start Holvenstead >/dev/null 2>&1
wait_until 120 file_exists "$bed_work/power" || fatal "the service's program did not power the appliance on"
port=$(free_port)
listener_start "$port" "$bed_work/push"
# A second instance hands the status push to the running one (and ends
# with 183); the push comes once the appliance is Running.
wine_host "$exe_win" -xstatus "$port" >/dev/null 2>&1
wait_until 120 eval '[ "$(push_count "$bed_work/push")" -ge 1 ]' || fatal "no status push from the installed program"
push=$(tr -d '\r' <"$bed_work/push/push.1")
check "the installed program reaches Running" has_line "$push" "State: Running"
check "... with the appliance's address" has_line "$push" "IP Address: $HOLV_APPLIANCE_IP"
check "the program runs" wait_until 10 eval '[ -n "$(procs Holvenstead.exe)" ]'

say "4. Silent uninstall with the service installed and the program running"
# And what a killed earlier run left: a search list where there was none,
# noted in the journal, and a route entry the table does not hold. The run
# has gone: its id now names another process (the service manager's), its
# creation time does not.
tcpip='HKLM\System\CurrentControlSet\Services\Tcpip\Parameters'
journal_key="$product_key\\Journal"
wine_host reg delete "$tcpip" /v SearchListBackupSC /f >/dev/null 2>&1 || true
wine_host reg add "$tcpip" /v SearchList /d corp.example /f >/dev/null
wine_host reg add "$journal_key\\SearchList" /v SearchListBackupSC /d "absent $(procs services.exe | head -1) 1" /f >/dev/null
wine_host reg add "$journal_key\\Routes" /v stale /d "10.9.0.0 255.255.0.0 $HOLV_APPLIANCE_IP 1 1" /f >/dev/null
# A route of a run that still goes on (the service manager's process): kept.
held="10.8.0.0 255.255.0.0 $HOLV_APPLIANCE_IP 1 $(procs services.exe | head -1)"
wine_host reg add "$journal_key\\Routes" /v held /d "$held" /f >/dev/null
shutdowns=$(record_count '^shutdown$')
rc=0
wine_host "$win_dir\\Uninstall.exe" /S >/dev/null 2>&1 || rc=$?
check "the uninstaller ends with 0" equal "$rc" 0
# It goes on from a copy of itself; its own file is the last to go.
wait_until 240 file_absent "$dir/Uninstall.exe" || fatal "the uninstaller did not finish within 240 s"
check "the appliance was asked to shut down and is off" eval \
  'record_above "^shutdown$" "$shutdowns" && file_absent "$bed_work/power"'
# Wine's service manager may keep a stopped service's process a minute.
check "no program runs" wait_until 90 eval '[ -z "$(procs Holvenstead.exe)" ]'
check "no player runs" no_procs vmplayer.exe
check "no service" wait_until 90 key_absent "$service_key"
check "the program file, the Start-menu entry, the uninstall entry and the product's settings are gone" eval \
  'file_absent "$dir/Holvenstead.exe" && file_absent "$menu" && key_absent "$uninstall_key" && [ -z "$(reg_value "$product_key" InstallDir)" ]'
check "the event source is gone" key_absent "$event_key"
check "the journal keeps the running process's route, and only it" eval \
  '[ "$(reg_value "$journal_key\\Routes" held)" = "$held" ] && [ -z "$(reg_value "$journal_key\\Routes" stale)" ] && key_absent "$journal_key\\SearchList"'
check "the VM's files stay" eval '[ "$(vm_digest)" = "$digest" ] && grep -q "^config.version = \"8\"" "$dir/Holvenstead.vmx"'
check "the appliance's search list is gone, as it was before" eval \
  '! wine_host reg query "$tcpip" /v SearchList >/dev/null 2>&1 && [ -z "$(reg_value "$tcpip" SearchListBackupSC)" ]'
checks_end test_installer
