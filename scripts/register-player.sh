#!/usr/bin/env bash
# Registers the stand-in player as the "VMware.Document" file association of
# a Wine prefix, so that the program finds it as it finds the real player:
#   scripts/register-player.sh PATH/TO/vmplayer.exe   (a host path)
#   scripts/register-player.sh --remove
# Writes the default value of HKEY_CLASSES_ROOT\VMware.Document\shell\open\command
# as "\"C:\...\vmplayer.exe\" \"%1\"". --remove deletes the VMware.Document
# key again. Works on the caller's WINEPREFIX (else the project's prefix).
set -u
usage() { echo "usage: $0 PATH_TO_VMPLAYER_EXE | --remove" >&2; exit 2; }
[ $# -eq 1 ] || usage
. "$(dirname "$0")/wine-env.sh"

root='HKEY_CLASSES_ROOT\VMware.Document'
key="$root"'\shell\open\command'

if [ "$1" = --remove ]; then
  # Absent already is fine: the goal is "not registered".
  "$HOLV_WINE" reg query "$root" >/dev/null 2>&1 || exit 0
  exec "$HOLV_WINE" reg delete "$root" /f
fi
case $1 in -*) usage ;; esac

exe=$1
[ -f "$exe" ] || { echo "register-player: no such file: $exe" >&2; exit 1; }
case $(basename "$exe") in
  vmplayer.exe) ;;
  # The program only accepts an association that names vmplayer.exe.
  *) echo "register-player: $exe is not named vmplayer.exe" >&2; exit 1 ;;
esac
win=$(winepath -w "$(cd "$(dirname "$exe")" && pwd)/$(basename "$exe")" 2>/dev/null | tr -d '\r')
[ -n "$win" ] || { echo "register-player: winepath could not convert $exe" >&2; exit 1; }
"$HOLV_WINE" reg add "$key" /ve /d "\"$win\" \"%1\"" /f >/dev/null || exit 1
# Read back: quoting through Wine's command line must not have changed it.
got=$("$HOLV_WINE" reg query "$key" /ve 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p')
want="\"$win\" \"%1\""
if [ "$got" != "$want" ]; then
  echo "register-player: registered value reads back as [$got], expected [$want]" >&2
  exit 1
fi
echo "registered: $want"
