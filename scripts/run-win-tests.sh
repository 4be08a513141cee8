#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, inside a virtual X display (the
# tray, windows and message boxes need one), with a wineserver of their own.
set -u
build=${1:?build folder}
. "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=$(cd "$build" && pwd)/wineprefix HOLV_WINEPREFIX=$(cd "$build" && pwd)/wineprefix
cd "$build"
rc=0
xvfb-run -a -s "-screen 0 1024x768x24" ctest --output-on-failure -j 2 "${@:2}" || rc=$?
wineserver -k 2>/dev/null || true
exit $rc
