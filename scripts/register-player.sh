#!/usr/bin/env bash
# Registers a stand-in VMware program (the player vmplayer.exe or the
# workstation vmware.exe) as the "VMware.Document" file association of a Wine
# prefix, so that the program finds it as it finds the real one:
#   scripts/register-player.sh PATH/TO/vmplayer.exe|vmware.exe   (a host path)
#       writes "C:\...\X.exe" "%1" (the Workstation backend inserts -xq)
#   scripts/register-player.sh --bare PATH/TO/vmplayer.exe|vmware.exe
#       writes C:\...\X.exe alone, without placeholder
#   scripts/register-player.sh --text TEXT
#       writes TEXT as it is (for the forms the program must refuse, such as
#       an unquoted %1 or a %2; `winepath -w` gives a program's Windows path)
#   scripts/register-player.sh --remove
#       deletes the VMware.Document key again
# The value is the default of
# HKEY_LOCAL_MACHINE\Software\Classes\VMware.Document\shell\open\command (the
# program reads the machine's classes only, never the user's),
# read back after writing. Works on the caller's WINEPREFIX (else the
# project's prefix).
set -u
usage() {
  echo "usage: $0 [--bare] PATH_TO_VMPLAYER_OR_VMWARE_EXE | --text TEXT | --remove" >&2
  exit 2
}
. "$(dirname "$0")/wine-env.sh"

root='HKEY_LOCAL_MACHINE\Software\Classes\VMware.Document'
key="$root"'\shell\open\command'

# Windows form of a stand-in's host path; only the two names the program
# accepts are taken.
windows_path() {
  local exe=$1 win
  [ -f "$exe" ] || { echo "register-player: no such file: $exe" >&2; return 1; }
  case $(basename "$exe") in
    vmplayer.exe | vmware.exe) ;;
    *) echo "register-player: $exe is not named vmplayer.exe or vmware.exe" >&2; return 1 ;;
  esac
  win=$(winepath -w "$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")" 2>/dev/null | tr -d '\r')
  [ -n "$win" ] || { echo "register-player: winepath could not convert $exe" >&2; return 1; }
  printf '%s\n' "$win"
}

case ${1:-} in
  --remove)
    [ $# -eq 1 ] || usage
    # Absent already is fine: the goal is "not registered".
    "$HOLV_WINE" reg query "$root" >/dev/null 2>&1 || exit 0
    exec "$HOLV_WINE" reg delete "$root" /f ;;
  --text)
    [ $# -eq 2 ] || usage
    want=$2 ;;
  --bare)
    [ $# -eq 2 ] || usage
    want=$(windows_path "$2") || exit 1 ;;
  -* | '') usage ;;
  *)
    [ $# -eq 1 ] || usage
    win=$(windows_path "$1") || exit 1
    want="\"$win\" \"%1\"" ;;
esac

"$HOLV_WINE" reg add "$key" /ve /d "$want" /f >/dev/null || exit 1
# Read back: quoting through Wine's command line must not have changed it.
got=$("$HOLV_WINE" reg query "$key" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')
if [ "$got" != "$want" ]; then
  echo "register-player: registered value reads back as [$got], expected [$want]" >&2
  exit 1
fi
echo "registered: $want"
