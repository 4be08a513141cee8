#!/usr/bin/env bash
# Runs one Windows program under Wine in the project's prefix (made on first
# use) and returns the program's own exit code.
set -u
. "$(dirname "$0")/wine-env.sh"
[ -f "$WINEPREFIX/system.reg" ] || "$(dirname "$0")/wine-prefix.sh" >&2 || exit 1
exec "$HOLV_WINE" "$@"
