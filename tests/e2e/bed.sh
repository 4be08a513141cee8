# The network test bed, sourced by every script that runs a Windows program
# against the appliance simulator: the e2e scripts, the net test runner, the
# session benchmark and the demo.
#
# A pair of network namespaces (scripts/netns.sh) joined by a veth, the
# simulator in the appliance one, a throwaway copy of the Wine prefix whose
# wineserver starts inside the host one (a Windows program's sockets belong
# to its wineserver, so the program's broadcasts reach the simulator and
# nothing else), and a virtual X display. Everything goes on every way out;
# a bed left by a run killed outright is removed by the next one.
#
# bed_dump_more names further files of $bed_work that a failure shows.
# Callers set bed_bin (the Windows bin folder) and bed_sim (the native
# appliance-sim), and bed_impostor=1 for a third namespace "$bed_name-imp" on
# the same segment (netns.sh --impostor), call bed_begin, then bed_up. The work folder $bed_work holds
# config (the simulator re-reads it before each datagram), power, record,
# imc.log, player.trace, program.out and vm/Holvenstead.vmx.

bed_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bed_netns=$bed_root/scripts/netns.sh
. "$bed_root/scripts/wine-env.sh"
bed_source_prefix=${HOLV_WINEPREFIX:-$WINEPREFIX}
unset WINEPREFIX
bed_work= bed_name= bed_prefix= bed_disp= bed_prog_pid=
bed_mac=00:0c:29:4e:8a:11
bed_identity="device-name=holv-gw
product-name=Holvenstead Appliance
firmware=6.0.0 build 15432
serial=HV-2026-000042"

# The options every e2e script takes: --bin WINDOWS_BIN --sim APPLIANCE_SIM
# (the default build's by default) and --probe IMC_PROBE.
bed_options() {
  bed_bin=${bed_bin:-$bed_root/build/win/bin} bed_sim=${bed_sim:-$bed_root/build/native/bin/appliance-sim}
  while [ $# -gt 0 ]; do
    case $1 in
      --bin) bed_bin=$2; shift 2 ;;
      --sim) bed_sim=$2; shift 2 ;;
      --probe) probe=$2; shift 2 ;;
      *) echo "usage: $0 [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM] [--probe IMC_PROBE]" >&2; exit 2 ;;
    esac
  done
}

say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

# Polls a command until it succeeds; false after the bound (seconds).
wait_until() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 0.2
  done
}

# A pid with its start time tells a tracked process from a later namesake.
start_time() { awk '{print $22}' "/proc/$1/stat" 2>/dev/null; }
bed_track() { echo "$1 $(start_time "$1")" >>"$bed_work/pids"; }
bed_kill_tracked() {  # folder signal
  local pid started
  [ -f "$1/pids" ] || return 0
  while read -r pid started; do
    [ "$(start_time "$pid")" = "$started" ] && kill -"$2" "$pid" 2>/dev/null
  done <"$1/pids"
}

bed_discard() {  # folder
  [ -d "$1" ] || return 0
  WINEPREFIX=$1/prefix wineserver -k 2>/dev/null
  bed_kill_tracked "$1" TERM
  "$bed_netns" down "$(sed -n 2p "$1/owner" 2>/dev/null)" >/dev/null 2>&1
  WINEPREFIX=$1/prefix wineserver -w 2>/dev/null
  bed_kill_tracked "$1" KILL
  rm -rf "$1"
}

bed_cleanup() {
  trap - EXIT INT TERM HUP
  set +e
  [ -n "$bed_work" ] && bed_discard "$bed_work"
  wait 2>/dev/null
}

# Exits with 77 when no namespaces can be made here, 1 when a part is missing.
bed_begin() {
  local why old exe
  why=$("$bed_netns" check 2>&1) || { echo "SKIPPED: $why" >&2; exit 77; }
  [ -x "$bed_sim" ] || { echo "FAIL: no appliance simulator at $bed_sim (build the native tree)" >&2; exit 1; }
  for exe in "${bed_needs[@]:-Holvenstead.exe}"; do
    [ -f "$bed_bin/$exe" ] || { echo "FAIL: $bed_bin/$exe is missing (build the Windows tree)" >&2; exit 1; }
  done
  for old in "${TMPDIR:-/tmp}"/holv-bed.*; do
    [ -f "$old/owner" ] && ! kill -0 "$(sed -n 1p "$old/owner")" 2>/dev/null && bed_discard "$old"
  done
  bed_work=$(mktemp -d "${TMPDIR:-/tmp}/holv-bed.XXXXXX") || exit 1
  bed_name=hb$$
  printf '%s\n%s\n' "$$" "$bed_name" >"$bed_work/owner"
  trap bed_cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

# The simulator's configuration, written whole and renamed into place.
sim_config() {  # key=value... (backslashes in values escaped as the simulator reads them)
  local kv
  { echo "mac=$bed_mac"; echo "$bed_identity"; for kv in "$@"; do echo "${kv//\\/\\\\}"; done; } >"$bed_work/config.new"
  mv -f "$bed_work/config.new" "$bed_work/config"
}
record_count() {  # regex [file]
  local n
  n=$(grep -cE "$1" "${2:-$bed_work/record}" 2>/dev/null)
  echo "${n:-0}"
}
record_above() { [ "$(record_count "$1")" -gt "$2" ]; }

on_host() {
  ip netns exec "$bed_name-host" env WINEPREFIX="$bed_prefix" DISPLAY=":$bed_disp" HOLV_FRESH_PREFIX=1 "$@"
}
wine_host() { on_host "$HOLV_WINE" "$@"; }
in_host() { ip netns exec "$bed_name-host" "$@"; }  # a Linux command in the host namespace

# bed_up [--no-player]: namespaces, simulator, display, prefix, VM file.
bed_up() {
  local vars mac
  # The appliance's link carries the MAC the simulator answers with, as a
  # VM's card carries the one of its configuration file.
  mac=$(sed -n 's/^mac=//p' "$bed_work/config" 2>/dev/null | head -1)
  vars=$(HOLV_NETNS_APPLIANCE_MAC=${mac:-$bed_mac} "$bed_netns" up "$bed_name" ${bed_impostor:+--impostor}) ||
    { echo "FAIL: the namespaces could not be made" >&2; exit 1; }
  eval "$vars"
  export HOLV_HOST_IP HOLV_APPLIANCE_IP
  [ -f "$bed_work/config" ] || sim_config
  ip netns exec "$bed_name-appl" "$bed_sim" -v --config "$bed_work/config" --power-file "$bed_work/power" \
    --record "$bed_work/record" --pid-file "$bed_work/pid" 2>"$bed_work/sim.log" &
  bed_track $!
  wait_until 20 test -s "$bed_work/pid" || { echo "FAIL: the simulator did not start" >&2; exit 1; }
  bed_sim_pid=$(cat "$bed_work/pid")
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$bed_work/display" >/dev/null 2>&1 &
  bed_track $!
  wait_until 20 test -s "$bed_work/display" || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
  bed_disp=$(head -1 "$bed_work/display")
  [ -f "$bed_source_prefix/system.reg" ] || WINEPREFIX=$bed_source_prefix HOLV_WINEPREFIX=$bed_source_prefix \
    "$bed_root/scripts/wine-prefix.sh" >/dev/null || { echo "FAIL: no Wine prefix" >&2; exit 1; }
  bed_prefix=$bed_work/prefix
  cp -a "$bed_source_prefix" "$bed_prefix" || { echo "FAIL: could not copy the Wine prefix" >&2; exit 1; }
  # Started here and kept for the run: every later program of the prefix
  # uses the host namespace's network.
  on_host wineserver -p || { echo "FAIL: the wineserver did not start" >&2; exit 1; }
  # A crash ends with its code instead of waiting in a dialog.
  # The prefix's first program starts its service manager, whose services
  # write Wine's event-log channel to services.log.
  WINEDEBUG="$WINEDEBUG,+eventlog" wine_host reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
    /d 0 /f >/dev/null 2>>"$bed_work/services.log"
  if [ "${1:-}" != --no-player ]; then
    on_host "$bed_root/scripts/register-player.sh" "$bed_bin/vmplayer.exe" >/dev/null ||
      { echo "FAIL: the stand-in player could not be registered" >&2; exit 1; }
  fi
  mkdir -p "$bed_work/vm"
  bed_vmx=$bed_work/vm/Holvenstead.vmx
  printf '%s\n' 'config.version = "8"' 'displayName = "Holvenstead"' 'ethernet0.present = "TRUE"' \
    "ethernet0.generatedAddress = \"$bed_mac\"" 'uuid.bios = "56 4d 8a 1c 2b 3e 4f 50-61 72 83 94 a5 b6 c7 e9"' \
    >"$bed_vmx"
  bed_vmx_win=$(winpath "$bed_vmx")
}

# Holvenstead.exe in the background, with the power file, IMC log and trace.
program_start() {  # args...
  on_host env HOLV_SIM_POWER_FILE="$(winpath "$bed_work/power")" HOLVENSTEAD_IMC_LOG="$(winpath "$bed_work/imc.log")" \
    HOLV_PLAYER_TRACE="$(winpath "$bed_work/player.trace")" WINEDEBUG="$WINEDEBUG,+eventlog" \
    "$HOLV_WINE" "$bed_bin/Holvenstead.exe" "$@" >>"$bed_work/program.out" 2>&1 &
  bed_prog_pid=$!
  bed_track "$bed_prog_pid"
}
program_alive() { [ -n "$bed_prog_pid" ] && kill -0 "$bed_prog_pid" 2>/dev/null; }
program_gone() { ! program_alive; }
# Waits for the end; prog_rc is its exit code, or "running".
program_wait_end() {  # seconds
  prog_rc=running
  wait_until "$1" program_gone || return 1
  prog_rc=0
  wait "$bed_prog_pid" 2>/dev/null || prog_rc=$?
  bed_prog_pid=
}

# Collects the status pushes to 127.0.0.1:PORT of the host namespace: each
# connection's bytes in DIR/push.N, and "N ACCEPTED FIRST-BYTE CLOSED"
# (seconds since 1970) in DIR/times for the benchmark.
listener_start() {  # port dir
  mkdir -p "$2"
  ip netns exec "$bed_name-host" python3 - "$1" "$2" <<'PY' &
import os, socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(8)
open(os.path.join(sys.argv[2], "ready"), "w").close()
n = 0
while True:
    c, _ = s.accept()
    n, accepted, first, data = n + 1, time.time(), 0.0, b""
    c.settimeout(30)
    try:
        while chunk := c.recv(65536):
            first, data = first or time.time(), data + chunk
    except OSError:
        pass
    c.close()
    with open(os.path.join(sys.argv[2], "push.%d" % n), "wb") as f:
        f.write(data)
    with open(os.path.join(sys.argv[2], "times"), "a") as f:
        f.write("%d %.6f %.6f %.6f\n" % (n, accepted, first, time.time()))
PY
  bed_track $!
  wait_until 20 test -e "$2/ready" || { echo "FAIL: the listener did not start" >&2; exit 1; }
}
push_count() { find "$1" -name 'push.*' 2>/dev/null | wc -l; }
free_port() {
  ip netns exec "$bed_name-host" python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# One session step forced by a notification from the simulator; true once
# the step has read the action text. Sent again if the first one met the
# program while its notices were off (during a step).
step_by_signal() {
  local before try
  before=$(record_count '^get 61440.61568$')
  for try in 1 2 3; do
    kill -USR1 "$bed_sim_pid" 2>/dev/null || return 1
    wait_until 20 record_above '^get 61440.61568$' "$before" && return 0
  done
  return 1
}

bed_dump() {
  local f
  for f in record sim.log imc.log player.trace program.out services.log ${bed_dump_more:-}; do
    echo "---- $f (last 30 lines)" >&2
    tail -30 "$bed_work/$f" 2>/dev/null | tr -d '\r' >&2
  done
}

# ---- checks of the e2e scripts ----------------------------------------------

fails=0 checks=0
check() {  # description command...
  local desc=$1
  shift
  checks=$((checks + 1))
  if "$@"; then echo "ok   $desc"; else echo "FAIL $desc"; fails=$((fails + 1)); fi
}
# A failure that leaves nothing sensible to check after it.
fatal() {
  echo "FAIL $*"
  bed_dump
  exit 1
}
checks_end() {  # name
  if [ "$fails" -gt 0 ]; then
    echo "$1: $fails of $checks checks failed"
    bed_dump
    exit 1
  fi
  echo "$1: all $checks checks passed"
  exit 0
}
# Events the program wrote to the Application log, as Wine's event-log
# channel shows them (err, warn or trace for error, warning or information)
# in the program's output, or the services' with a third argument.
event_count() {  # type text-start [services]
  local n f=program.out
  [ -z "${3:-}" ] || f=services.log
  n=$(tr -d '\r' <"$bed_work/$f" 2>/dev/null | grep -cF "$1:eventlog:ReportEventW L\"$2")
  echo "${n:-0}"
}
# True once that many such events are in the log, within 10 s: an event may
# be written just after what a test waited for (a log line, a state).
event_count_is() { [ "$(event_count "${@:2}")" = "$1" ]; }
events_are() { wait_until 10 event_count_is "$@"; }  # number type text-start [services]
has_line() { grep -qxF -- "$2" <<<"$1"; }
lacks_text() { ! grep -qF -- "$2" <<<"$1"; }
equal() { [ "$1" = "$2" ]; }
file_exists() { [ -e "$1" ]; }
file_absent() { [ ! -e "$1" ]; }

# The test driver inside Wine (SessionDrive.cpp).
drive() { wine_host "$bed_bin/session-drive.exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
# A menu command to the running instance.
post() { drive post "$1" --title "$bed_vmx_win"; }
# Windows processes of the bed's prefix with that name, one id a line.
procs() { drive procs "$1"; }
no_procs() { [ -z "$(procs "$1")" ]; }
# The Status box (one session step), its text in $status.
status=
show_status() { status=$(drive status --title "$bed_vmx_win") || { note "Status box: session-drive failed"; return 1; }; }
wait_state() {  # state-text seconds
  local end=$((SECONDS + $2))
  until show_status && has_line "$status" "State: $1"; do
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 1
  done
}
# A Status box whose step reached the appliance (it answered a status query).
step_by_status() {
  local before
  before=$(record_count '^status ')
  show_status && record_above '^status ' "$before"
}
# Ends the running instance through a second one ("-stop -exit", or the
# verbs given); true when both end with 0. The path goes in words: the
# program takes the rest of its command line as it is, and Wine would quote
# a word with a blank.
end_program() {  # [verbs...]
  local rc=0
  [ $# -gt 0 ] || set -- -stop -exit
  # shellcheck disable=SC2086
  wine_host "$bed_bin/Holvenstead.exe" "$@" $bed_vmx_win >/dev/null 2>&1 || rc=$?
  program_wait_end 120 && [ "$rc" = 0 ] && [ "$prog_rc" = 0 ]
}
