#!/usr/bin/env bash
# Host side of sim-netns-test.sh: runs in the host namespace and talks to the
# simulator with imc-probe.  sim-netns-host.sh IMC_PROBE WORK_DIR
set -u
probe=$1 work=$2
mac=00:0c:29:5a:5a:01
appl=$HOLV_APPLIANCE_IP
failures=0

ok() { echo "ok - $*"; }
fail() { echo "FAIL - $*"; failures=$((failures + 1)); }

# expect DESCRIPTION PATTERN...: each grep pattern must match a line of $out.
expect() {
  local what=$1 p
  shift
  for p in "$@"; do
    if ! grep -qxF -- "$p" <<<"$out"; then
      fail "$what: no line '$p' in:"; sed 's/^/    /' <<<"$out"; return
    fi
  done
  ok "$what"
}

# ask ARGS...: one probe exchange; output in $out, exit code in $code.
ask() {
  code=0
  out=$("$probe" --timeout 2000 "$@" 2>&1) || code=$?
}

recorded() { grep -qxF -- "$1" "$work/record" 2>/dev/null; }

# Atomic rewrite, as the README asks: the simulator never reads half a file.
rewrite_config() {
  cat > "$work/config.new" && mv "$work/config.new" "$work/config"
}

for _ in $(seq 1 100); do [ -s "$work/pid" ] && break; sleep 0.1; done
[ -s "$work/pid" ] || { echo "FAIL - the simulator did not start"; exit 1; }

# Discovery: a broadcast from the host side, answered from the appliance's
# own address with its MAC and texts; the extra status bit passes the match.
ask status
[ $code = 0 ] || fail "broadcast status query: exit code $code"
expect "broadcast discovery answered" "from=$appl" "mac=$mac" "flags=0x00020380" \
  "device-name=sim-appliance" "product-name=Sim Product" "firmware=9.8.7"
ask --mac $mac --long status
expect "discovery addressed to the appliance's MAC, long wait bit echoed" "flags=0x00020382" "from=$appl"
recorded "status flags=0x00000382" && ok "status query recorded" || fail "status query not recorded"

ask --to "$appl" --mac $mac --long --request-id 7 get 512.640
expect "unicast GetRequest of the serial" "pdu=0xa2" "request-id=7" "error-status=0" "bind=512.640 string SERIAL-0001"
recorded "get 512.640" && ok "get recorded" || fail "get not recorded"

ask --to "$appl" --mac $mac --long --request-id 8 get 0xF000.0xF0FF
expect "unknown variable gives noSuchName" "request-id=8" "error-status=2" "error-index=1"

ask --to "$appl" --mac $mac --long --request-id 9 get 61440.61457
expect "variable configured as another type" "error-status=0" "bind=61440.61457 int 5"

ask --to "$appl" --mac $mac --long --request-id 10 get 61440.61568
expect "action served" "bind=61440.61568 string [openurl] https://10.88.0.2/"
ask --to "$appl" --mac $mac --long --request-id 11 get 61440.61568
expect "action served only once" "error-status=0" "bind=61440.61568 string "

ask --to "$appl" --mac $mac --long --request-id 12 set-int 61440.61584 14
expect "SetRequest answered" "request-id=12" "error-status=0"
recorded "set 61440.61584 int 14" && ok "integer set recorded" || fail "integer set not recorded"
ask --to "$appl" --mac $mac --long --request-id 13 set-string 61440.61586 '5\xff'
recorded "set 61440.61586 string 35ff" && ok "string set recorded" || fail "string set not recorded"

ask --to "$appl" --mac $mac --long --request-id 14 --options identity testhost
expect "host identity answered" "host-name=testhost" "request-id=14"
grep -q "^identity host=testhost digest=d0d1d2d3d4d5d6d7d8d9dadbdcdddedf block128=00010203.* time=[0-9]* options=0x40000000$" \
  "$work/record" && ok "host identity recorded" || fail "host identity not recorded"

ask --to "$appl" --mac 00:0c:29:00:00:99 --timeout 500 status
[ $code = 1 ] && ok "command for another MAC left unanswered" || fail "command for another MAC: exit code $code"
recorded "foreign-mac 00:0c:29:00:00:99" && ok "foreign MAC recorded" || fail "foreign MAC not recorded"

# A notification goes to the host that spoke last: this one. The listener
# must be bound before the signal, so the signal is repeated until it hears.
heard=
for _ in 1 2 3 4 5; do
  "$probe" --timeout 1500 listen >"$work/listen.out" 2>&1 &
  listener=$!
  sleep 0.3
  kill -USR1 "$(cat "$work/pid")"
  if wait $listener; then heard=1; break; fi
done
out=$(cat "$work/listen.out")
[ -n "$heard" ] && expect "SIGUSR1 sends a notification" "kind=notification" "mac=$mac" "from=$appl" \
  || fail "no notification heard"

# Configuration changes while the simulator runs.
rewrite_config <<'CONF'
mac=00:0c:29:5a:5a:01
device-name=renamed
serial=SERIAL-0002
serial.set-error=4
CONF
ask --to "$appl" --mac $mac --long --request-id 20 get 512.640
expect "changed serial picked up" "bind=512.640 string SERIAL-0002"
ask --to "$appl" --mac $mac --long status
expect "changed device name and status flags picked up" "device-name=renamed" "flags=0x00000382"
ask --to "$appl" --mac $mac --long --request-id 21 set-string 512.640 x
expect "configured set error-status" "error-status=4"

# Power: no power file, no appliance.
rm -f "$work/power"
ask --to "$appl" --mac $mac --long --timeout 500 status
[ $code = 1 ] && ok "powered off: no answer" || fail "powered off but answered (exit code $code)"
touch "$work/power"
ask --to "$appl" --mac $mac --long status
[ $code = 0 ] && ok "powered on again: answers" || fail "powered on again: exit code $code"

# Shutdown: answered, recorded, and the appliance powers itself off.
ask --to "$appl" --mac $mac --long shutdown
expect "shutdown request answered" "flags=0x00000002"
recorded "shutdown" && ok "shutdown recorded" || fail "shutdown not recorded"
[ ! -e "$work/power" ] && ok "shutdown removed the power file" || fail "power file still there after shutdown"

echo "$failures failure(s)"
[ $failures = 0 ]
