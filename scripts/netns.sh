#!/usr/bin/env bash
# Network namespaces for the test bed (tests/e2e/bed.sh): a "host" and an
# "appliance" namespace joined by a veth pair, and nothing else. Whatever
# runs inside can broadcast to 255.255.255.255:8888 as the program does, and
# not one packet can leave this machine: neither namespace has a link out.
#
#   scripts/netns.sh up NAME [--impostor]
#                                make NAME-host and NAME-appl; prints
#                                HOLV_NETNS_HOST, HOLV_NETNS_APPLIANCE,
#                                HOLV_HOST_IP and HOLV_APPLIANCE_IP as shell
#                                assignments. --impostor adds NAME-imp, a
#                                third host on the same segment (prints
#                                HOLV_NETNS_IMPOSTOR, HOLV_IMPOSTOR_IP)
#   scripts/netns.sh down NAME   kill what runs in them and remove them
#   scripts/netns.sh check       0 if namespaces can be made here, else 77
#                                with the reason
# Addresses: HOLV_NETNS_HOST_IP (default 10.88.0.1/24) on "hv-host",
# HOLV_NETNS_APPLIANCE_IP (10.88.0.2/24) on "hv-appl"; lo up in both and a
# default route over the veth in both, since a send to 255.255.255.255 needs
# a route. The veth ends are created directly in their namespaces, so the
# machine's own namespace never sees them. `up` rolls back when it fails.
# HOLV_NETNS_APPLIANCE_MAC, when set, is the link address of "hv-appl": the
# VM's network card carries the MAC of its configuration file, and the
# program trusts an appliance it does not know yet by that address alone.
# With --impostor (HOLV_NETNS_IMPOSTOR_IP, 10.88.0.3/24, on "hv-imp") the host
# side is a bridge "hv-br" that holds the host's address and learns nothing:
# like a hub, it floods every frame to all three, so the impostor overhears
# the host's unicast to the appliance as an attacker on a shared segment
# would.
set -u
host_ip=${HOLV_NETNS_HOST_IP:-10.88.0.1/24}
appl_ip=${HOLV_NETNS_APPLIANCE_IP:-10.88.0.2/24}
appl_mac=${HOLV_NETNS_APPLIANCE_MAC:-}
imp_ip=${HOLV_NETNS_IMPOSTOR_IP:-10.88.0.3/24}

why_not_possible() {
  [ "$(id -u)" = 0 ] || { echo "network namespaces need root (running as uid $(id -u))"; return; }
  command -v ip >/dev/null 2>&1 || { echo "the 'ip' command (iproute2) is missing"; return; }
  local probe=holv-check-$$-$RANDOM err
  err=$(ip netns add "$probe" 2>&1) || { echo "ip netns add failed: $err"; return; }
  err=$(ip netns exec "$probe" ip link set lo up 2>&1) || echo "ip netns exec failed: $err"
  ip netns del "$probe" 2>/dev/null
}

# Kills every process inside namespace $1 (TERM, then KILL) and removes it.
remove_ns() {
  local pids i
  ip netns list 2>/dev/null | grep -q "^$1\( \|$\)" || return 0
  for i in 1 2 3 4 5 6 7 8 9 10; do
    pids=$(ip netns pids "$1" 2>/dev/null)
    [ -z "$pids" ] && break
    [ $i = 1 ] && kill -TERM $pids 2>/dev/null
    sleep 0.2
  done
  pids=$(ip netns pids "$1" 2>/dev/null)
  [ -n "$pids" ] && kill -KILL $pids 2>/dev/null
  ip netns del "$1" 2>/dev/null
}

# The third namespace and the hub in the host namespace (see the header).
add_impostor() {  # host-ns appl-ns impostor-ns
  ip netns add "$3" && ip link add hv-imp0 netns "$1" type veth peer name hv-imp netns "$3" &&
    ip -n "$3" link set lo up && ip -n "$3" addr add "$imp_ip" dev hv-imp && ip -n "$3" link set hv-imp up &&
    ip -n "$1" addr del "$host_ip" dev hv-host && ip -n "$1" link add hv-br type bridge &&
    ip -n "$1" link set hv-host master hv-br && ip -n "$1" link set hv-imp0 master hv-br &&
    ip -n "$1" link set hv-host type bridge_slave learning off &&
    ip -n "$1" link set hv-imp0 type bridge_slave learning off &&
    ip -n "$1" addr add "$host_ip" dev hv-br && ip -n "$1" link set hv-imp0 up && ip -n "$1" link set hv-br up &&
    ip -n "$1" route replace default via "${appl_ip%/*}" dev hv-br &&
    ip -n "$3" route add default via "${host_ip%/*}" dev hv-imp
}

cmd_up() {
  local h=$1-host a=$1-appl i=$1-imp why
  why=$(why_not_possible)
  [ -z "$why" ] || { echo "netns.sh: $why" >&2; exit 77; }
  ip netns list | grep -q "^$1-\(host\|appl\|imp\)\( \|$\)" && { echo "netns.sh: namespaces of $1 exist already" >&2; exit 2; }
  if ! { ip netns add "$h" && ip netns add "$a" &&
    ip link add hv-host netns "$h" type veth peer name hv-appl netns "$a" ${appl_mac:+address "$appl_mac"} &&
    ip -n "$h" link set lo up && ip -n "$a" link set lo up &&
    ip -n "$h" addr add "$host_ip" dev hv-host && ip -n "$a" addr add "$appl_ip" dev hv-appl &&
    ip -n "$h" link set hv-host up && ip -n "$a" link set hv-appl up &&
    ip -n "$h" route add default via "${appl_ip%/*}" dev hv-host &&
    ip -n "$a" route add default via "${host_ip%/*}" dev hv-appl &&
    { [ "${2:-}" != --impostor ] || add_impostor "$h" "$a" "$i"; }; }; then
    remove_ns "$h"
    remove_ns "$a"
    remove_ns "$i"
    echo "netns.sh: could not set up the namespaces $h and $a" >&2
    exit 1
  fi
  echo "HOLV_NETNS_HOST=$h HOLV_NETNS_APPLIANCE=$a HOLV_HOST_IP=${host_ip%/*} HOLV_APPLIANCE_IP=${appl_ip%/*}"
  [ "${2:-}" != --impostor ] || echo "HOLV_NETNS_IMPOSTOR=$i HOLV_IMPOSTOR_IP=${imp_ip%/*}"
}

case ${1:-} in
  up) { [ $# = 2 ] || { [ $# = 3 ] && [ "$3" = --impostor ]; }; } && cmd_up "$2" "${3:-}" ;;
  down) [ $# = 2 ] && { remove_ns "$2-host"; remove_ns "$2-appl"; remove_ns "$2-imp"; } ;;
  check)
    why=$(why_not_possible)
    [ -z "$why" ] || { echo "netns.sh: $why" >&2; exit 77; } ;;
  *) sed -n '7,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
esac
