# Sourced by the scripts that run Windows programs: a quiet Wine without its
# Mono and Gecko installers, in the project's own prefix unless one is given.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-${HOLV_WINEPREFIX:-$here/build/wineprefix}}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64
if [ -x /usr/lib/wine/wine64 ]; then HOLV_WINE=/usr/lib/wine/wine64; else HOLV_WINE=wine; fi
