#!/usr/bin/env bash
# Network test bed: a "host" and an "appliance" network namespace joined by a
# veth pair, and nothing else. Whatever runs inside can broadcast to
# 255.255.255.255:8888 as the program does, and not one packet can leave this
# machine: neither namespace has a link to the outside.
#
# Usage (as root):
#   scripts/netns.sh run [OPTIONS] -- APPLIANCE_CMD... -- HOST_CMD...
#       Makes a fresh pair of namespaces, starts APPLIANCE_CMD in the
#       background in the appliance namespace and HOST_CMD in the foreground in
#       the host namespace, then tears everything down. Exit code: HOST_CMD's.
#       A literal "--" cannot appear inside APPLIANCE_CMD (wrap it in sh -c).
#   scripts/netns.sh run [OPTIONS] --wine -- APPLIANCE_CMD... -- PROGRAM ARGS...
#       The same, with the host side a Windows program run under Wine in a
#       throwaway prefix copy whose wineserver lives in the host namespace.
#   scripts/netns.sh up NAME [OPTIONS]     make NAME-host and NAME-appl; prints
#                                          the variables listed below
#   scripts/netns.sh down NAME             kill what runs in them and remove them
#   scripts/netns.sh exec NAME host|appliance CMD...
#   scripts/netns.sh wine-host NAME -- PROGRAM ARGS...
#       PROGRAM under Wine, fresh prefix copy, wineserver inside NAME-host.
#   scripts/netns.sh check                 exit 0 if namespaces can be made
#                                          here, else 77 with the reason
# OPTIONS: --host-ip A/LEN (default 10.88.0.1/24), --appliance-ip B/LEN
#   (default 10.88.0.2/24), --name NAME (run only; default holv-$$). The
#   environment variables HOLV_NETNS_HOST_IP and HOLV_NETNS_APPLIANCE_IP set
#   the defaults.
#
# The commands see HOLV_NETNS_HOST and HOLV_NETNS_APPLIANCE (namespace names),
# HOLV_HOST_IP and HOLV_APPLIANCE_IP (plain addresses), so they can start more
# processes in either namespace with `ip netns exec`.
#
# Layout: veth "hv-host" (host namespace, HOST_IP) <-> "hv-appl" (appliance
# namespace, APPLIANCE_IP); lo up in both; a default route over the veth in
# both, because a send to 255.255.255.255 needs a route and the appliance's
# notifications may be broadcast too. The veth ends are created directly in
# their namespaces, so the machine's own namespace never sees them.
#
# Clean-up: `run` removes both namespaces and kills every process left in them
# (and the appliance command's process group) on every way out: normal end,
# failing command, INT, TERM, HUP. `up` rolls back when it fails half-way;
# after a successful `up`, `down` is the caller's job.
#
# Wine: a Windows program's sockets belong to its wineserver, not to the
# program's own process. A program started in the host namespace therefore
# talks to the network of whichever namespace its wineserver was started in.
# So it needs a wineserver of its own that starts INSIDE the host namespace:
# a throwaway copy of the shared prefix ($HOLV_WINEPREFIX), whose first Wine
# process (started in the namespace) starts the server, and which is stopped
# (wineserver -k) and deleted before the namespace goes. `--wine` and
# `wine-host` do exactly that (through scripts/wine-fresh.sh when present).
# Never point such a program at the shared prefix while another wineserver of
# it runs outside: the program would broadcast from the machine's own network.
set -u

here=$(cd "$(dirname "$0")" && pwd)
prog=$(basename "$0")

die() { echo "$prog: $*" >&2; exit 2; }

usage() {
  sed -n '/^# Usage/,/^# Layout/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

host_ip=${HOLV_NETNS_HOST_IP:-10.88.0.1/24}
appl_ip=${HOLV_NETNS_APPLIANCE_IP:-10.88.0.2/24}

# Why namespaces cannot be made here, or nothing when they can.
why_not_possible() {
  if [ "$(id -u)" != 0 ]; then echo "network namespaces need root (running as uid $(id -u))"; return; fi
  if ! command -v ip >/dev/null 2>&1; then echo "the 'ip' command (iproute2) is missing"; return; fi
  local probe=holv-check-$$-$RANDOM
  local err
  if ! err=$(ip netns add "$probe" 2>&1); then echo "ip netns add failed: $err"; return; fi
  if ! err=$(ip netns exec "$probe" ip link set lo up 2>&1); then
    ip netns del "$probe" 2>/dev/null
    echo "ip netns exec failed: $err"; return
  fi
  ip netns del "$probe" 2>/dev/null
}

require_possible() {
  local why
  why=$(why_not_possible)
  [ -z "$why" ] || { echo "$prog: cannot build the network test bed: $why" >&2; exit 77; }
}

# Kills every process inside namespace $1 (TERM, then KILL) and removes it.
remove_ns() {
  local ns=$1 pids i
  ip netns list 2>/dev/null | grep -q "^$ns\( \|$\)" || return 0
  pids=$(ip netns pids "$ns" 2>/dev/null)
  if [ -n "$pids" ]; then
    kill -TERM $pids 2>/dev/null
    for i in 1 2 3 4 5 6 7 8 9 10; do
      pids=$(ip netns pids "$ns" 2>/dev/null)
      [ -z "$pids" ] && break
      sleep 0.2
    done
    [ -n "$pids" ] && kill -KILL $pids 2>/dev/null
  fi
  ip netns del "$ns" 2>/dev/null
}

# make_pair NAME: NAME-host and NAME-appl with the veth between them.
make_pair() {
  local name=$1 h=$1-host a=$1-appl
  ip netns add "$h" || return 1
  ip netns add "$a" || { ip netns del "$h"; return 1; }
  ip link add hv-host netns "$h" type veth peer name hv-appl netns "$a" &&
    ip -n "$h" link set lo up && ip -n "$a" link set lo up &&
    ip -n "$h" addr add "$host_ip" dev hv-host &&
    ip -n "$a" addr add "$appl_ip" dev hv-appl &&
    ip -n "$h" link set hv-host up && ip -n "$a" link set hv-appl up &&
    ip -n "$h" route add default via "${appl_ip%/*}" dev hv-host &&
    ip -n "$a" route add default via "${host_ip%/*}" dev hv-appl
  local rc=$?
  if [ $rc != 0 ]; then
    remove_ns "$h"; remove_ns "$a"
    echo "$prog: could not set up the namespaces $h and $a" >&2
    return 1
  fi
  export HOLV_NETNS_HOST=$h HOLV_NETNS_APPLIANCE=$a
  export HOLV_HOST_IP=${host_ip%/*} HOLV_APPLIANCE_IP=${appl_ip%/*}
}

# Runs a Windows program under Wine in a throwaway prefix copy. Meant to be
# called inside the host namespace, so the copy's wineserver starts there.
wine_fresh() {
  if [ -x "$here/wine-fresh.sh" ]; then
    "$here/wine-fresh.sh" "$here/wine-run.sh" "$@"
    return
  fi
  # Fallback when the shared helper is absent: the same steps by hand.
  local src=${HOLV_WINEPREFIX:-$here/../build/wineprefix} work rc=0
  [ -f "$src/system.reg" ] || WINEPREFIX=$src HOLV_WINEPREFIX=$src "$here/wine-prefix.sh" >&2 || return 1
  work=$(mktemp -d "${TMPDIR:-/tmp}/holv-netns-wine.XXXXXX") || return 1
  cp -a "$src" "$work/prefix" || { rm -rf "$work"; return 1; }
  WINEPREFIX=$work/prefix HOLV_WINEPREFIX=$work/prefix "$here/wine-run.sh" "$@" || rc=$?
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  WINEPREFIX=$work/prefix wineserver -w 2>/dev/null
  rm -rf "$work"
  return $rc
}

parse_options() {
  opt_wine=
  while [ $# -gt 0 ]; do
    case $1 in
      --host-ip) [ $# -ge 2 ] || die "--host-ip needs a value"; host_ip=$2; shift 2 ;;
      --appliance-ip) [ $# -ge 2 ] || die "--appliance-ip needs a value"; appl_ip=$2; shift 2 ;;
      --name) [ $# -ge 2 ] || die "--name needs a value"; opt_name=$2; shift 2 ;;
      --wine) opt_wine=1; shift ;;
      --) break ;;
      *) die "unknown option $1" ;;
    esac
  done
  rest=("$@")
  case $host_ip in */*) ;; *) host_ip=$host_ip/24 ;; esac
  case $appl_ip in */*) ;; *) appl_ip=$appl_ip/24 ;; esac
}

# ---- run

run_pair=
appl_pid=
host_pid=

run_cleanup() {
  trap - EXIT INT TERM HUP
  # The appliance command got a process group of its own (setsid), so its
  # children go with it even if they left the namespace's process list.
  [ -n "$appl_pid" ] && kill -TERM -- "-$appl_pid" 2>/dev/null
  [ -n "$host_pid" ] && kill -TERM "$host_pid" 2>/dev/null
  if [ -n "$run_pair" ]; then
    remove_ns "$run_pair-host"
    remove_ns "$run_pair-appl"
  fi
  [ -n "$appl_pid" ] && kill -KILL -- "-$appl_pid" 2>/dev/null
  wait 2>/dev/null
}

cmd_run() {
  opt_name=holv-$$
  parse_options "$@"
  set -- "${rest[@]}"
  [ "${1:-}" = -- ] || usage
  shift
  local appl=() host=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do appl+=("$1"); shift; done
  [ "${1:-}" = -- ] || die "run: the host command must follow a second --"
  shift
  host=("$@")
  [ ${#appl[@]} -gt 0 ] && [ ${#host[@]} -gt 0 ] || usage

  require_possible
  trap run_cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
  make_pair "$opt_name" || exit 1
  run_pair=$opt_name

  setsid ip netns exec "$HOLV_NETNS_APPLIANCE" "${appl[@]}" &
  appl_pid=$!
  # In the background and waited for, so that a signal reaches the trap at
  # once instead of after the host command. <&0 keeps the script's standard
  # input for it (a background command would otherwise read /dev/null).
  if [ -n "$opt_wine" ]; then
    ip netns exec "$HOLV_NETNS_HOST" "$0" _wine-here "${host[@]}" <&0 &
  else
    ip netns exec "$HOLV_NETNS_HOST" "${host[@]}" <&0 &
  fi
  host_pid=$!
  local rc=0
  wait "$host_pid" || rc=$?
  host_pid=
  if ! kill -0 "$appl_pid" 2>/dev/null; then
    local arc=0
    wait "$appl_pid" || arc=$?
    echo "$prog: note: the appliance command had already ended (exit code $arc)" >&2
    appl_pid=
  fi
  exit $rc
}

# ---- up / down / exec / wine-host

ns_of() {
  case $2 in
    host) echo "$1-host" ;;
    appliance|appl) echo "$1-appl" ;;
    *) die "side must be 'host' or 'appliance', not '$2'" ;;
  esac
}

cmd_up() {
  [ $# -ge 1 ] || usage
  local name=$1
  shift
  parse_options "$@"
  require_possible
  if ip netns list | grep -q "^$name-\(host\|appl\)\( \|$\)"; then
    die "namespaces of $name exist already (scripts/netns.sh down $name)"
  fi
  make_pair "$name" || exit 1
  echo "HOLV_NETNS_HOST=$HOLV_NETNS_HOST"
  echo "HOLV_NETNS_APPLIANCE=$HOLV_NETNS_APPLIANCE"
  echo "HOLV_HOST_IP=$HOLV_HOST_IP"
  echo "HOLV_APPLIANCE_IP=$HOLV_APPLIANCE_IP"
}

cmd_down() {
  [ $# -eq 1 ] || usage
  remove_ns "$1-host"
  remove_ns "$1-appl"
}

export_names() {
  export HOLV_NETNS_HOST=$1-host HOLV_NETNS_APPLIANCE=$1-appl
  HOLV_HOST_IP=$(ip -n "$1-host" -4 -o addr show dev hv-host 2>/dev/null | awk '{print $4}')
  HOLV_APPLIANCE_IP=$(ip -n "$1-appl" -4 -o addr show dev hv-appl 2>/dev/null | awk '{print $4}')
  export HOLV_HOST_IP=${HOLV_HOST_IP%/*} HOLV_APPLIANCE_IP=${HOLV_APPLIANCE_IP%/*}
}

cmd_exec() {
  [ $# -ge 3 ] || usage
  local ns
  ns=$(ns_of "$1" "$2") || exit 2
  export_names "$1"
  shift 2
  exec ip netns exec "$ns" "$@"
}

cmd_wine_host() {
  [ $# -ge 3 ] && [ "$2" = -- ] || usage
  local name=$1
  shift 2
  export_names "$name"
  exec ip netns exec "$name-host" "$0" _wine-here "$@"
}

case ${1:-} in
  run) shift; cmd_run "$@" ;;
  up) shift; cmd_up "$@" ;;
  down) shift; cmd_down "$@" ;;
  exec) shift; cmd_exec "$@" ;;
  wine-host) shift; cmd_wine_host "$@" ;;
  _wine-here) shift; wine_fresh "$@" ;;
  check)
    why=$(why_not_possible)
    if [ -n "$why" ]; then echo "$prog: $why" >&2; exit 77; fi
    exit 0 ;;
  -h|--help|help) usage ;;
  *) usage ;;
esac
