#!/usr/bin/env bash
# The demo: the real Holvenstead.exe under Wine brings up a simulated
# appliance through a stand-in VMware Player (or Workstation, Server or the
# VirtualBox kept beside the VM: HYPERVISOR=workstation|server|vbox), shows it
# in the tray, pushes
# its status to a local port, and takes it down again; on the network test
# bed of the tests (tests/e2e/bed.sh), removed at the end. Output: the
# status text and build/demo/tray.png. Ends with 0 when every step did what
# it should, else with 1 and the steps that did not.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bed_bin=${HOLV_WIN_BIN:-$root/build/win/bin}
bed_sim=${HOLV_NATIVE_BIN:-$root/build/native/bin}/appliance-sim
# The stand-in hypervisor: player (the default), workstation, server or vbox.
hypervisor=${HYPERVISOR:-player}
case $hypervisor in
  player) bed_needs=(Holvenstead.exe vmplayer.exe vmware-vmx.exe) ;;
  workstation) bed_needs=(Holvenstead.exe vmware.exe vmware-vmx.exe) ;;
  server) bed_needs=(Holvenstead.exe vix.dll vmservice.exe) ;;
  vbox) bed_needs=(Holvenstead.exe VBoxManage.exe VBoxHeadless.exe VBoxSDL.exe VBoxSVC.exe VBoxC.dll VBoxTAP.inf) ;;
  *) echo "HYPERVISOR must be player, workstation, server or vbox, not $hypervisor" >&2; exit 2 ;;
esac
. "$root/tests/e2e/bed.sh"
out=$root/build/demo
port=${HOLV_DEMO_PORT:-5055}

bed_begin
say "1. A network test bed: namespaces $bed_name-host and $bed_name-appl joined by a veth, a virtual display"
if [ "$hypervisor" = player ]; then bed_up; else bed_up --no-player; fi
note "host $HOLV_HOST_IP, appliance $HOLV_APPLIANCE_IP; nothing can leave this machine"

say "2. The simulated appliance (tools/appliance-sim), powered off, and the VM $bed_vmx_win"
sim_config trellisport=tp.example.invalid route.0=00000a000001ffffffff route.1=01000a010000ffff0000
note "appliance MAC $bed_mac, answers only while the VM's power file exists"
case $hypervisor in
  player) note "stand-in player registered as VMware.Document: $(winpath "$bed_bin/vmplayer.exe")" ;;
  workstation)
    on_host "$root/scripts/register-player.sh" "$bed_bin/vmware.exe" >/dev/null || fatal "vmware.exe could not be registered"
    note "stand-in workstation registered as VMware.Document: $(winpath "$bed_bin/vmware.exe")" ;;
  server)
    on_host "$root/scripts/vmware-services.sh" "$bed_bin/vmservice.exe" install >/dev/null &&
      on_host "$root/scripts/vmware-services.sh" "$bed_bin/vmservice.exe" start >/dev/null ||
      fatal "the stand-in VMware Server services could not be started"
    note "stand-in VMware Server: services VMAuthdService and vmserverdWin32 running, vix.dll beside the program" ;;
  vbox)
    # VirtualBox lives in the VM's folder; its first start there sets it up.
    cp "$bed_bin"/VBox* "$bed_work/vm/" && : >"$bed_work/vm/Holvenstead.vmdk" && : >"$bed_work/vm/store.vmdk" ||
      fatal "the VirtualBox stand-ins could not be copied"
    echo "trace=$(winpath "$bed_work/vbox.trace")" >"$bed_work/vbox.conf"
    export HOLV_VBOX_CONFIG=$(winpath "$bed_work/vbox.conf")
    note "VirtualBox stand-ins in the VM's folder; their command lines go to $bed_work/vbox.trace" ;;
esac

say "3. A listener on 127.0.0.1:$port for the status push"
listener_start "$port" "$bed_work/push"

say "4. Holvenstead.exe -start -xstatus $port $bed_vmx_win"
program_start -start -xstatus "$port" "$bed_vmx_win"
if wait_until 180 test -s "$bed_work/push/push.1"; then
  note "the appliance came up; the status that arrived on port $port:"
  tr -d '\r' <"$bed_work/push/push.1" | sed 's/^/     | /'
  echo
fi
check "the status push arrived, State: Running" eval 'has_line "$(tr -d "\r" <"$bed_work/push/push.1")" "State: Running"'

say "5. The tray: Wine's notification area, with the mouse on the icon to show its tooltip"
mkdir -p "$out"
sleep 2
# Wine without a desktop shell puts its notification area in a small window
# at the top left; its first icon is ours.
DISPLAY=":$bed_disp" xdotool mousemove 12 31 2>/dev/null
sleep 3
if DISPLAY=":$bed_disp" import -window root "$bed_work/screen.png" 2>/dev/null &&
  convert "$bed_work/screen.png" -crop 360x120+0+0 +repage -scale 200% "$out/tray.png" 2>/dev/null; then
  note "screenshot: build/demo/tray.png"
else
  note "no screenshot could be taken (ImageMagick's import and convert are needed)"
fi

say "6. Holvenstead.exe -stop -exit: the running instance stops the VM and ends"
rc=0
wine_host "$bed_bin/Holvenstead.exe" -stop -exit "$bed_vmx_win" >/dev/null 2>&1 || rc=$?
check "-stop -exit ended with 0 (the running instance ended)" equal "$rc" 0
check "the running instance ended with 0" eval 'program_wait_end 60 && [ "$prog_rc" = 0 ]'
check "the appliance received the shutdown request" record_above '^shutdown$' 0
check "the VM is powered off" wait_until 30 file_absent "$bed_work/power"
# Only the demo's own processes: those in its host namespace.
left() {
  local pid
  for pid in $(ip netns pids "$bed_name-host" 2>/dev/null); do
    echo "$pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
  done | grep -E '(vmplayer|vmware|vmware-vmx|VBoxHeadless|VBoxManage|Holvenstead)\.exe'
}
check "no player, VM or program process is left" wait_until 30 eval '[ -z "$(left)" ]'
[ "$fails" = 0 ] || left | sed 's/^/     left running: /'
checks_end demo
