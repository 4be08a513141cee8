#!/usr/bin/env bash
# e2e_routes: the real Holvenstead.exe under Wine takes the route lists the
# simulated appliance serves and lists what it installed in the Status box,
# on the test bed of the session tests (tests/e2e/session/lib.sh: network
# namespaces made for the run, a throwaway Wine prefix, the stand-in player).
#
#   tests/e2e/routes/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
#
# The route calls are the real ones of Windows as Wine provides them. Wine's
# route creation, deletion and change report success without touching the
# namespace's table: the program believes them made, so the Status box shows
# them, while `ip route` in the host namespace stays as it was. Both are
# checked, so a Wine that starts changing real routes is noticed (and even
# then only this run's namespace could see it).
# Exit codes: 0 all checks passed, 1 a check failed, 77 no namespaces here.
set -u
self=$(cd "$(dirname "$0")" && pwd)
sess_bin=$self/../../../build/win/bin
sess_sim=$self/../../../build/native/bin/appliance-sim
while [ $# -gt 0 ]; do
  case $1 in
    --bin) sess_bin=$2; shift 2 ;;
    --sim) sess_sim=$2; shift 2 ;;
    *) echo "usage: $0 [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]" >&2; exit 2 ;;
  esac
done
. "$self/../session/lib.sh"

fails=0
check() {  # description command...
  local desc=$1
  shift
  if "$@"; then
    echo "ok   $desc"
  else
    echo "FAIL $desc"
    fails=$((fails + 1))
  fi
}
fatal() {
  echo "FAIL $*"
  sess_dump
  exit 1
}
has_line() { grep -qxF -- "$2" <<<"$1"; }
lacks_text() { ! grep -qF -- "$2" <<<"$1"; }
equal() { [ "$1" = "$2" ]; }
file_exists() { [ -e "$1" ]; }

# The Status box (one session step), its text in $status.
status=
show_status() {
  status=$(drive status --title "$sess_vmx_win") || { note "Status box: session-drive failed"; return 1; }
}
wait_state() {  # state-text seconds
  local end=$((SECONDS + $2))
  while :; do
    show_status && has_line "$status" "State: $1" && return 0
    [ "$SECONDS" -ge "$end" ] && return 1
    sleep 1
  done
}
# The routes block of the Status text: the lines after "Installed routes:".
routes_of() { sed -n '/^Installed routes:$/,$p' <<<"$1" | tail -n +2; }
show_routes() { printf '%s\n' "$status" | sed 's/^/     | /'; }
host_routes() { ip netns exec "$sess_name-host" ip -4 route show table all; }

# Lists: a host route, the broadcast request, a network, and two networks the
# host namespace already has (its default route and the veth's subnet, added
# once the bed is up).
list0="00000a000001ffffffff"
list1_base="01000a010000ffff00000000000000000000"

sess_begin
say "Test bed: namespaces $sess_name-host/-appl, simulator, Wine prefix copy, Xvfb"
sess_up
# The host identity the session step sends first is built from the VM's
# UUID; without one the step ends before the routes.
echo 'uuid.bios = "56 4d 52 6f 75 74 65 73-2d 65 32 65 2d 68 76 31"' >>"$sess_vmx"
subnet_hex=$(printf '%02x%02x%02x00ffffff00' $(cut -d. -f1-3 <<<"$sess_appliance_ip" | tr . ' '))
list1="$list1_base$subnet_hex"
note "appliance $sess_appliance_ip; list 0 $list0; list 1 $list1"
table_before=$(host_routes)

# ---------------------------------------------------------------------------
say "R1. The appliance's lists become installed routes in the Status box"
sim_config "route.0=$list0" "route.1=$list1"
# Wine's notes on the route calls go to the program's output.
WINEDEBUG=-all,fixme+iphlpapi,fixme+dnsapi program_start -start "$sess_vmx_win"
wait_until 120 file_exists "$sess_work/power" || fatal "the player did not power the appliance on"
wait_state Running 120 || fatal "the appliance did not come up within 120 s"
show_status || fatal "no Status box"
show_routes
check "the route lists were read from the appliance" \
  eval '[ "$(record_count "^get 512.696$")" -ge 1 ] && [ "$(record_count "^get 512.697$")" -ge 1 ]'
check "routes: the host, the network and the broadcast request, in order" \
  equal "$(routes_of "$status")" "$(printf ' 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255')"
check "the host namespace's own networks are not listed as ours" lacks_text "$(routes_of "$status")" " 0.0.0.0"
check "the route table of the host namespace is unchanged (Wine does not really change it)" \
  equal "$(host_routes)" "$table_before"

say "R2. The appliance drops a route: it goes on the next step"
sim_config "route.0=0000ffffffff" "route.1=$list1"
show_status || fatal "no Status box"
check "routes: 10.0.0.1 gone, the rest kept" \
  equal "$(routes_of "$status")" "$(printf ' 10.1.0.0/16\n 255.255.255.255')"

say "R3. A list too long for the appliance's answer: the read fails, the routes stay"
long="0100"
for i in $(seq 0 639); do long+=$(printf '0c%06xffffffff' "$i"); done
sim_config "route.0=$long" "route.1=$list1"
show_status || fatal "no Status box"
check "routes unchanged after a failed read" \
  equal "$(routes_of "$status")" "$(printf ' 10.1.0.0/16\n 255.255.255.255')"
check "the program is still there" program_alive

say "R4. Malformed lists count as empty: no routes"
sim_config "route.0=00000A000001" "route.1=01000a010000ffff000"
show_status || fatal "no Status box"
check "no routes block" lacks_text "$status" "Installed routes:"
check "still Running" has_line "$status" "State: Running"

say "R5. The lists come back, then the appliance goes silent: routes removed"
sim_config "route.0=$list0" "route.1=$list1"
show_status || fatal "no Status box"
check "routes back" equal "$(routes_of "$status")" "$(printf ' 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255')"
sim_config drop-next=1000000
wait_state "Starting..." 60 || fatal "the program did not notice the silent appliance"
check "no routes block after lost contact" lacks_text "$status" "Installed routes:"

say "R6. Stop and exit"
sim_config "route.0=$list0" "route.1=$list1"
wait_state Running 60 || fatal "the appliance did not come back"
check "routes back once more" equal "$(routes_of "$status")" "$(printf ' 10.0.0.1\n 10.1.0.0/16\n 255.255.255.255')"
wine_host "$sess_bin/Holvenstead.exe" -stop -exit "$sess_vmx_win" >/dev/null 2>&1
program_wait_end 120 || fatal "the program did not end after -stop -exit"
check "the program ended with 0" equal "$prog_rc" 0
check "the route table of the host namespace is still unchanged" equal "$(host_routes)" "$table_before"
note "Wine's notes on the route calls:"
grep -hoE 'fixme:(iphlpapi|dnsapi):[A-Za-z0-9]+' "$sess_work/program.out" 2>/dev/null | sort | uniq -c | sed 's/^/     /'

echo
if [ "$fails" = 0 ]; then echo "e2e_routes: all checks passed"; else echo "e2e_routes: $fails check(s) failed"; fi
[ "$fails" = 0 ]
