#!/usr/bin/env bash
# Runs a command in a throwaway copy of the shared Wine prefix, so that what
# it changes there (registry keys, files, services) cannot reach later runs:
#   scripts/wine-fresh.sh [--netns] COMMAND [ARGS...]
# The copy gets its own wineserver, which is stopped before the copy is
# deleted, on every way out (normal end, failure, signal).
# --netns also runs the command in a network namespace of its own with only
# loopback up: for programs that open the appliance's UDP transport, whose
# broadcasts must never leave this machine. Needs root (ip netns).
# The command sees WINEPREFIX pointing at the copy and HOLV_FRESH_PREFIX=1.
set -u
netns=
if [ "${1:-}" = --netns ]; then
  netns=holv-fresh-$$-$RANDOM
  shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [--netns] COMMAND [ARGS...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

# The shared prefix, made once (scripts/wine-prefix.sh) and only read here.
src=${HOLV_WINEPREFIX:-$here/../build/wineprefix}
if [ ! -f "$src/system.reg" ]; then
  WINEPREFIX=$src HOLV_WINEPREFIX=$src "$here/wine-prefix.sh" >&2 || exit 1
fi
. "$here/wine-env.sh"

tmpdir=${TMPDIR:-/tmp}

# Stops a copy's wineserver and removes the copy and its namespace.
discard() {  # folder [namespace]
  WINEPREFIX=$1/prefix wineserver -k 2>/dev/null
  WINEPREFIX=$1/prefix wineserver -w 2>/dev/null
  if [ -n "${2:-}" ]; then ip netns del "$2" 2>/dev/null; fi
  rm -rf "$1"
}

# A run killed outright (SIGKILL, e.g. a test time-out) could not clean up:
# its folder names its owner, and a folder whose owner is gone is removed.
for old in "$tmpdir"/holv-wine-fresh.*; do
  [ -f "$old/owner" ] || continue
  read -r owner old_netns < "$old/owner" || true
  kill -0 "$owner" 2>/dev/null && continue
  discard "$old" "${old_netns:-}"
done

work=$(mktemp -d "$tmpdir/holv-wine-fresh.XXXXXX") || exit 1
echo "$$ $netns" > "$work/owner"
copy=$work/prefix
netns_made=
child=

cleanup() {
  # The command first (it may still run after a signal), then the copy's
  # wineserver and with it every program still running in the copy, then
  # the files.
  if [ -n "$child" ]; then
    kill -TERM "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  discard "$work" "${netns_made:+$netns}"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The wineserver saves a registry file by writing a new one and renaming it,
# so a copy taken while another run uses the shared prefix is still whole.
cp -a "$src" "$copy" || { echo "wine-fresh: could not copy $src" >&2; exit 1; }
export WINEPREFIX=$copy HOLV_WINEPREFIX=$copy HOLV_FRESH_PREFIX=1

run=()
if [ -n "$netns" ]; then
  if ! ip netns add "$netns"; then
    echo "wine-fresh: cannot create network namespace $netns (root and iproute2 needed)" >&2
    exit 1
  fi
  netns_made=1
  ip netns exec "$netns" ip link set lo up || exit 1
  run=(ip netns exec "$netns")
fi

# In the background and waited for: a signal then interrupts the wait at
# once and the clean-up runs (a foreground command would delay it).
"${run[@]}" "$@" &
child=$!
wait "$child"
rc=$?
child=
exit $rc
