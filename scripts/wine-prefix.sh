#!/usr/bin/env bash
# Creates (or re-creates with --fresh) the Wine prefix the tests run in.
# Creating one takes several seconds, so tests share it and copy it where they
# need a clean one.
set -eu
. "$(dirname "$0")/wine-env.sh"
if [ "${1:-}" = --fresh ]; then rm -rf "$WINEPREFIX"; fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
[ -f "$WINEPREFIX/system.reg" ] || { echo "wine prefix could not be created at $WINEPREFIX" >&2; exit 1; }
echo "wine prefix ready: $WINEPREFIX"
