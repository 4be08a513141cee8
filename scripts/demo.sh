#!/usr/bin/env bash
# The demo: the real Holvenstead.exe under Wine brings up a simulated
# appliance through a stand-in VMware Player, shows it in the tray, pushes
# its status to a local port, and takes it down again.
#
# Everything runs in a pair of network namespaces made for the demo (the
# program broadcasts on UDP port 8888; nothing can leave this machine) and in
# a throwaway copy of the Wine prefix, on a virtual X display. All of it is
# removed at the end. Output: the status text and build/demo/tray.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${HOLV_WIN_BIN:-$root/build/win/bin}
native=${HOLV_NATIVE_BIN:-$root/build/native/bin}
out=$root/build/demo
port=${HOLV_DEMO_PORT:-5055}
name=holvdemo$$
work=$(mktemp -d /tmp/holv-demo.XXXXXX)
xvfb_pid= sim_pid= prog_pid= listen_pid=

say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }

. "$root/scripts/wine-env.sh"
prefix=$work/prefix
host() { ip netns exec "$name-host" env WINEPREFIX="$prefix" DISPLAY=":$disp" "$@"; }

cleanup() {
  set +e
  [ -n "$prog_pid" ] && kill "$prog_pid" 2>/dev/null
  WINEPREFIX=$prefix wineserver -k 2>/dev/null
  [ -n "$listen_pid" ] && kill "$listen_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  "$root/scripts/netns.sh" down "$name" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

winpath() { echo "Z:${1//\//\\}"; }

say "1. A network test bed: namespaces $name-host (10.88.0.1) and $name-appl (10.88.0.2), joined by a veth"
"$root/scripts/netns.sh" up "$name" >/dev/null

say "2. The simulated appliance (tools/appliance-sim) in the appliance namespace, powered off"
mkdir -p "$work/vm" "$out"
cat >"$work/sim.conf" <<CONF
mac=00:0c:29:4e:8a:01
device-name=holvenstead-gw
product-name=Holvenstead Appliance
firmware=6.0.0 build 15432
serial=HV-2026-000042
trellisport=tp.example.invalid
route.0=00000a000001ffffffff
route.1=01000a010000ffff0000
CONF
ip netns exec "$name-appl" "$native/appliance-sim" --config "$work/sim.conf" --power-file "$work/power" \
  --record "$work/record.log" --pid-file "$work/sim.pid" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 50); do [ -s "$work/sim.pid" ] && break; sleep 0.1; done
note "appliance MAC 00:0c:29:4e:8a:01, answers only while $work/power exists"

say "3. The VM: $work/vm/Holvenstead.vmx, and a stand-in VMware Player registered in a fresh Wine prefix"
cat >"$work/vm/Holvenstead.vmx" <<VMX
config.version = "8"
displayName = "Holvenstead"
ethernet0.present = "TRUE"
ethernet0.connectionType = "nat"
ethernet0.generatedAddress = "00:0c:29:4e:8a:01"
uuid.bios = "56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 d8"
VMX
"$root/scripts/wine-prefix.sh" >/dev/null
cp -a "$WINEPREFIX" "$prefix"
disp=$((50 + RANDOM % 50))
Xvfb ":$disp" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
host "$root/scripts/register-player.sh" "$win/vmplayer.exe" >/dev/null 2>&1
note "VMware.Document -> $(winpath "$win/vmplayer.exe")"

say "4. A listener on 127.0.0.1:$port for the status push"
host python3 - "$port" "$work/status.txt" <<'PY' &
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(1); s.settimeout(180)
c, _ = s.accept(); data = b""
while True:
    chunk = c.recv(4096)
    if not chunk: break
    data += chunk
open(sys.argv[2], "wb").write(data)
PY
listen_pid=$!

say "5. Holvenstead.exe -start -xstatus $port $(winpath "$work/vm/Holvenstead.vmx")"
vmx=$(winpath "$work/vm/Holvenstead.vmx")
host env HOLV_SIM_POWER_FILE="$(winpath "$work/power")" HOLVENSTEAD_IMC_LOG="$(winpath "$work/imc.log")" \
  "$HOLV_WINE" "$win/Holvenstead.exe" -start -xstatus "$port" "$vmx" &
prog_pid=$!
for _ in $(seq 180); do [ -s "$work/status.txt" ] && break; sleep 1; done
if [ ! -s "$work/status.txt" ]; then
  echo "no status arrived within 180 s" >&2
  tail -20 "$work/imc.log" 2>/dev/null >&2
  exit 1
fi
note "the appliance came up; the status that arrived on port $port:"
sed 's/^/     | /' "$work/status.txt"; echo

say "6. The tray: Wine's notification area, with the mouse resting on the icon to show its tooltip"
sleep 2
# Wine without a desktop shell puts its notification area in a small window
# at the top left; its first icon is ours.
DISPLAY=":$disp" xdotool mousemove 12 31 2>/dev/null || true
sleep 3
DISPLAY=":$disp" import -window root "$work/screen.png" 2>/dev/null &&
  convert "$work/screen.png" -crop 360x120+0+0 +repage -scale 200% "$out/tray.png" 2>/dev/null &&
  note "screenshot: build/demo/tray.png" || note "no screenshot could be taken"

say "7. Holvenstead.exe -stop -exit: the running instance stops the VM and ends"
rc=0
host "$HOLV_WINE" "$win/Holvenstead.exe" -stop -exit "$vmx" || rc=$?
wait "$prog_pid" 2>/dev/null || true
prog_pid=
note "exit code of -stop -exit: $rc (0: the running instance ended)"
grep -q '^shutdown' "$work/record.log" && note "the appliance received the shutdown request" \
  || note "the appliance saw no shutdown request"
[ -e "$work/power" ] && note "the VM is still powered!" || note "the VM is powered off"
sleep 2
# Only this demo's processes: those in its host namespace.
left=$(for pid in $(ip netns pids "$name-host" 2>/dev/null); do
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -E '(vmplayer|vmware-vmx|Holvenstead)\.exe' | sed "s/^/$pid /"
done)
if [ -z "$left" ]; then note "no player, VM or program process is left"; else note "left running:"; echo "$left" | sed 's/^/     /'; fi
