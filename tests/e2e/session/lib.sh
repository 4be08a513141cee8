# Sourced by run.sh and bench.sh: the test bed of the session tests and the
# helpers that drive it.
#
# The bed: a pair of network namespaces (scripts/netns.sh) joined by a veth,
# the appliance simulator in the appliance namespace, and a throwaway copy of
# the Wine prefix whose wineserver is started inside the host namespace, so
# that the program's broadcasts to 255.255.255.255:8888 reach the simulator
# and nothing else. A virtual X display of its own carries the program's
# windows. Everything is removed on every way out, and a bed left behind by a
# run that was killed outright is removed by the next run.
#
# Callers set: sess_bin (the Windows build's bin folder), sess_sim (the
# native appliance-sim). They call sess_begin, then sess_up.

sess_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
sess_netns=$sess_root/scripts/netns.sh
. "$sess_root/scripts/wine-env.sh"
# wine-env.sh points WINEPREFIX at the shared prefix: that one is only copied.
sess_source_prefix=$WINEPREFIX
unset WINEPREFIX

sess_tmp=${TMPDIR:-/tmp}
sess_work= sess_name= sess_prefix= sess_disp=
sess_xvfb_pid= sess_sim_pid= sess_prog_pid=

# Appliance identity the simulator reports unless a test changes it.
sess_mac=00:0c:29:4e:8a:11
sess_device=holv-sess-gw
sess_product="Holvenstead Session Appliance"
sess_firmware="6.0.0 build 15432"
sess_serial=HV-SESS-000777

say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }

# ---- clean-up ----------------------------------------------------------------

# When a process started: with the pid it tells a tracked process from a
# later one that got the same number.
start_time() { awk '{print $22}' "/proc/$1/stat" 2>/dev/null; }

# Signals the processes a bed started, those still alive only.
sess_kill_tracked() {  # work-folder signal
  local pid started
  [ -f "$1/pids" ] || return 0
  while read -r pid started; do
    [ -n "$pid" ] && [ "$(start_time "$pid")" = "$started" ] && kill -"$2" "$pid" 2>/dev/null
  done <"$1/pids"
}

# Removes one bed: its Windows programs (through its wineserver), its
# background processes, its namespaces, its files.
sess_discard() {  # work-folder [keep]
  local w=$1 name
  [ -d "$w" ] || return 0
  WINEPREFIX=$w/prefix wineserver -k 2>/dev/null
  sess_kill_tracked "$w" TERM
  name=$(sed -n 2p "$w/owner" 2>/dev/null)
  [ -n "$name" ] && "$sess_netns" down "$name" >/dev/null 2>&1
  WINEPREFIX=$w/prefix wineserver -w 2>/dev/null
  sess_kill_tracked "$w" KILL
  if [ -n "${2:-}" ]; then
    rm -rf "$w/prefix" "$w/owner"
  else
    rm -rf "$w"
  fi
}

# HOLV_SESS_KEEP=1 keeps the bed's files (not its prefix) for a look
# afterwards; the processes and namespaces go all the same.
sess_cleanup() {
  trap - EXIT INT TERM HUP
  set +e
  if [ -n "$sess_work" ] && [ -n "${HOLV_SESS_KEEP:-}" ]; then
    sess_discard "$sess_work" keep
    echo "kept: $sess_work" >&2
  elif [ -n "$sess_work" ]; then
    sess_discard "$sess_work"
  fi
  wait 2>/dev/null
}

# Remembers a background process for the clean-up, also for the next run's
# if this one is killed outright.
sess_track() {  # pid
  echo "$1 $(start_time "$1")" >>"$sess_work/pids"
}

# A run killed outright (a time-out's SIGKILL) could not clean up: its folder
# names its owner, and a bed whose owner is gone is removed.
sess_reap_stale() {
  local old owner
  for old in "$sess_tmp"/holv-sess.*; do
    [ -f "$old/owner" ] || continue
    owner=$(sed -n 1p "$old/owner")
    kill -0 "$owner" 2>/dev/null && continue
    sess_discard "$old"
  done
}

# Exits with 77 when no namespaces can be made here, else sets the bed up.
sess_begin() {
  local why
  if ! why=$("$sess_netns" check 2>&1); then
    echo "e2e_session: skipped: $why" >&2
    exit 77
  fi
  [ -x "$sess_sim" ] || { echo "e2e_session: the appliance simulator is missing: $sess_sim (build the native tree)" >&2; exit 1; }
  local exe
  for exe in Holvenstead.exe vmplayer.exe vmware-vmx.exe session-drive.exe; do
    [ -f "$sess_bin/$exe" ] || { echo "e2e_session: $sess_bin/$exe is missing (build the Windows tree)" >&2; exit 1; }
  done
  command -v Xvfb >/dev/null || { echo "e2e_session: Xvfb is missing" >&2; exit 1; }
  sess_reap_stale
  sess_work=$(mktemp -d "$sess_tmp/holv-sess.XXXXXX") || exit 1
  sess_name=hs$$
  printf '%s\n%s\n' "$$" "$sess_name" >"$sess_work/owner"
  : >"$sess_work/pids"
  trap sess_cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# ---- paths -----------------------------------------------------------------------

# A host path as the Windows programs see it.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# ---- running things ------------------------------------------------------------

# A command in the host namespace, in this bed's prefix and display.
on_host() {
  ip netns exec "$sess_name-host" env WINEPREFIX="$sess_prefix" DISPLAY=":$sess_disp" "$@"
}

# A Windows program in the host namespace (its output without carriage returns).
wine_host() { on_host "$HOLV_WINE" "$@"; }

# The test driver inside Wine (see SessionDrive.cpp).
drive() { wine_host "$sess_bin/session-drive.exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# Polls a command until it succeeds; false after the time-out (seconds).
wait_until() {  # seconds command...
  local limit=$1 end
  shift
  end=$((SECONDS + limit))
  while ! "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}

# ---- the simulator ----------------------------------------------------------------

# Escapes a configuration value the way the simulator reads it back.
sim_escape() { local v=${1//\\/\\\\}; printf '%s' "$v"; }

# Writes the simulator's configuration atomically: the base identity plus
# the given key=value lines (values escaped). The simulator re-reads it
# before the next datagram; every load queues its action anew.
sim_config() {  # key=value...
  local tmp=$sess_work/sim.conf.new kv
  {
    echo "mac=$sess_mac"
    echo "device-name=$sess_device"
    echo "product-name=$sess_product"
    echo "firmware=$sess_firmware"
    echo "serial=$sess_serial"
    for kv in "$@"; do echo "${kv%%=*}=$(sim_escape "${kv#*=}")"; done
  } >"$tmp"
  mv -f "$tmp" "$sess_work/sim.conf"
}

# Lines of the simulator's record that match an extended regular expression.
record_count() {
  local n
  n=$(grep -cE "$1" "$sess_work/record.log" 2>/dev/null)
  echo "${n:-0}"
}

# The simulator's record grows past a count.
record_above() {  # regex count
  [ "$(record_count "$1")" -gt "$2" ]
}

# ---- the bed ----------------------------------------------------------------------

sess_up() {
  local vars
  vars=$("$sess_netns" up "$sess_name") || { echo "e2e_session: the namespaces could not be made" >&2; exit 1; }
  eval "$vars"
  sess_appliance_ip=$HOLV_APPLIANCE_IP

  sim_config
  ip netns exec "$sess_name-appl" "$sess_sim" --config "$sess_work/sim.conf" --power-file "$sess_work/power" \
    --record "$sess_work/record.log" --pid-file "$sess_work/sim.pid" 2>"$sess_work/sim.err" &
  sess_sim_pid=$!
  sess_track "$sess_sim_pid"
  wait_until 20 test -s "$sess_work/sim.pid" || { echo "e2e_session: the simulator did not start" >&2; cat "$sess_work/sim.err" >&2; exit 1; }
  sess_sim_signal_pid=$(cat "$sess_work/sim.pid")

  # A display of our own, whichever number is free.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$sess_work/display" >/dev/null 2>&1 &
  sess_xvfb_pid=$!
  sess_track "$sess_xvfb_pid"
  wait_until 20 test -s "$sess_work/display" || { echo "e2e_session: Xvfb did not start" >&2; exit 1; }
  sess_disp=$(head -1 "$sess_work/display")

  if [ ! -f "$sess_source_prefix/system.reg" ]; then
    WINEPREFIX=$sess_source_prefix HOLV_WINEPREFIX=$sess_source_prefix "$sess_root/scripts/wine-prefix.sh" >/dev/null ||
      { echo "e2e_session: no Wine prefix" >&2; exit 1; }
  fi
  sess_prefix=$sess_work/prefix
  cp -a "$sess_source_prefix" "$sess_prefix" || { echo "e2e_session: could not copy the Wine prefix" >&2; exit 1; }
  # The wineserver starts here, in the host namespace, and stays for the
  # whole run: every later Windows program of this prefix uses its network.
  on_host wineserver -p || { echo "e2e_session: the wineserver did not start" >&2; exit 1; }
  # A crash ends with its code instead of waiting in a dialog.
  wine_host reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  on_host "$sess_root/scripts/register-player.sh" "$sess_bin/vmplayer.exe" >/dev/null ||
    { echo "e2e_session: the stand-in player could not be registered" >&2; exit 1; }

  mkdir -p "$sess_work/vm" "$sess_work/act"
  cat >"$sess_work/vm/Holvenstead.vmx" <<VMX
config.version = "8"
displayName = "Holvenstead"
ethernet0.present = "TRUE"
ethernet0.connectionType = "nat"
ethernet0.generatedAddress = "$sess_mac"
uuid.bios = "56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 e9"
VMX
  sess_vmx=$sess_work/vm/Holvenstead.vmx
  sess_vmx_win=$(winpath "$sess_vmx")
  sess_power_win=$(winpath "$sess_work/power")
}

# ---- the program ------------------------------------------------------------------

# Starts Holvenstead.exe in the background with the bed's power file, IMC log
# and player trace.
program_start() {  # args...
  on_host env HOLV_SIM_POWER_FILE="$sess_power_win" HOLVENSTEAD_IMC_LOG="$(winpath "$sess_work/imc.log")" \
    HOLV_PLAYER_TRACE="$(winpath "$sess_work/player.trace")" \
    "$HOLV_WINE" "$sess_bin/Holvenstead.exe" "$@" >>"$sess_work/program.out" 2>&1 &
  sess_prog_pid=$!
  sess_track "$sess_prog_pid"
}

program_alive() { [ -n "$sess_prog_pid" ] && kill -0 "$sess_prog_pid" 2>/dev/null; }

program_gone() { ! program_alive; }

# Waits for the program's end; sets prog_rc to its exit code, or "running".
program_wait_end() {  # seconds
  prog_rc=running
  wait_until "$1" program_gone || return 1
  prog_rc=0
  wait "$sess_prog_pid" 2>/dev/null || prog_rc=$?
  sess_prog_pid=
}

# ---- the status push ---------------------------------------------------------------

# Listens on 127.0.0.1:PORT in the host namespace (where the program's
# sockets live) until killed. Every connection's bytes go to DIR/push.N, and
# a line "N ACCEPTED FIRST-BYTE CLOSED" (seconds since 1970) to DIR/times.
listener_start() {  # port dir
  mkdir -p "$2"
  ip netns exec "$sess_name-host" python3 - "$1" "$2" <<'PY' &
import os, socket, sys, time
port, out = int(sys.argv[1]), sys.argv[2]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", port))
s.listen(8)
open(os.path.join(out, "ready"), "w").close()
n = 0
while True:
    c, _ = s.accept()
    accepted = time.time()
    first = None
    n += 1
    data = b""
    c.settimeout(30)
    try:
        while True:
            chunk = c.recv(65536)
            if not chunk:
                break
            if first is None:
                first = time.time()
            data += chunk
    except OSError:
        pass
    closed = time.time()
    c.close()
    with open(os.path.join(out, "push.%d" % n), "wb") as f:
        f.write(data)
    with open(os.path.join(out, "times"), "a") as f:
        f.write("%d %.6f %.6f %.6f\n" % (n, accepted, first or 0.0, closed))
PY
  local pid=$!
  sess_track "$pid"
  wait_until 20 test -e "$2/ready" || { echo "e2e_session: the listener on port $1 did not start" >&2; exit 1; }
}

# Connections the listener has taken so far.
push_count() {
  local n=0
  [ -f "$1/times" ] && n=$(wc -l <"$1/times")
  echo "${n:-0}"
}

# A free TCP port on the host namespace's loopback.
free_port() {
  ip netns exec "$sess_name-host" python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# ---- forcing a session step -------------------------------------------------------

# One forced step through a notification from the simulator (the program
# refreshes and converses on appliance input); true once the step has read
# the action text. The notification is sent again if the first one met the
# program while its notices were off (during a step).
step_by_signal() {
  local before try
  before=$(record_count '^get 61440.61568$')
  for try in 1 2 3; do
    kill -USR1 "$sess_sim_signal_pid" 2>/dev/null || return 1
    wait_until 20 record_above '^get 61440.61568$' "$before" && return 0
  done
  return 1
}

# ---- what went wrong ------------------------------------------------------------------

sess_dump() {
  echo "---- simulator record (last 40 lines)" >&2
  tail -40 "$sess_work/record.log" >&2 2>/dev/null
  echo "---- simulator stderr" >&2
  tail -20 "$sess_work/sim.err" >&2 2>/dev/null
  echo "---- program IMC log (last 30 lines)" >&2
  tail -30 "$sess_work/imc.log" >&2 2>/dev/null
  echo "---- player trace" >&2
  tail -30 "$sess_work/player.trace" 2>/dev/null | tr -d '\r' >&2
  echo "---- VM file" >&2
  cat "$sess_work/vm/Holvenstead.vmx" >&2 2>/dev/null
  echo "---- program output" >&2
  tail -20 "$sess_work/program.out" >&2 2>/dev/null
}
