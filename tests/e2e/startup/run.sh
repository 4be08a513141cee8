#!/usr/bin/env bash
# e2e_startup: the real Holvenstead.exe under Wine at its start, on the
# network test bed (tests/e2e/bed.sh). Where it cannot run, or given input
# nobody should give it, each problem ends in its one "Error" box and its exit
# code, never in a crash; "-exit" alone ends without a box. One instance per
# VM file: a second one for the same file, however its path is written (letter
# case, 8.3 form), hands its verb over and ends with 183; one for another file
# meets the "Conflicting application" box, and each answer does what it says.
#   tests/e2e/startup/run.sh [--bin WINDOWS_BIN] [--sim APPLIANCE_SIM]
# Exit: 0, 1 a check failed, 77 no namespaces here.
set -u
bed_needs=(Holvenstead.exe uiauto.exe)
. "$(dirname "$0")/../bed.sh"
bed_options "$@"
bed_bin=$(realpath "$bed_bin")

ui() { wine_host "$bed_bin/uiauto.exe" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }
window() { ui find-window --class RKHVTRAYICON --title "$1" --timeout 30000 >/dev/null; }
valid='config.version = "8"\nvirtualHW.version = "7"\ndisplayName = "Holvenstead"\n'
long="appliance.hostname = \"$(printf 'x%.0s' {1..10000})\""
# Runs the program to its end, pressing OK in each Error box: $boxes holds
# their texts, $prog_rc the low byte of the exit code (what Linux sees).
run_to_end() {  # args...
  local end=$((SECONDS + 60)) text
  : >"$bed_work/program.out"
  boxes=
  program_start "$@"
  while program_alive && [ "$SECONDS" -lt "$end" ]; do
    text=$(ui wait-box --caption Error --timeout 1000) || continue
    boxes+=${boxes:+$'\n'}$text
    ui press --caption Error --button ok >/dev/null
  done
  program_wait_end 10
}
no_crash() { ! grep -qi 'unhandled' "$bed_work/program.out"; }

bed_begin
bed_up --no-player
d=$bed_work/vms
mkdir -p "$d/Folder.vmx" "$d/HolvensteadAppliance" "$d/First Appliance" "$d/Second Appliance"
printf 'displayName = "H"\nconfig.versions = "8"\n' >"$d/NoVersion.vmx"
for f in Appliance HolvensteadAppliance/HolvensteadMachine "First Appliance/First" "Second Appliance/Second"; do
  printf "$valid" >"$d/$f.vmx"
done
{ echo "$long"; printf "$valid"; } >"$d/LongLine.vmx"
# The same 64 KiB every run, every byte value but 'c' and 'C': no
# "config.version" in any letter case.
python3 -c 'import random, sys; sys.stdout.buffer.write(bytes(b for b in random.Random(12345).randbytes(65536) if b not in b"cC"))' >"$d/Junk.vmx"

say "1. Each problem ends in its one Error box and its code, never in a crash"
while IFS='|' read -r what verb file codes texts <&3; do
  # shellcheck disable=SC2046  # the path in words: see end_program
  run_to_end $verb $(winpath "$d/$file")
  check "$what: ends with one of $codes (got $prog_rc), no crash" eval 'grep -qw -- "$prog_rc" <<<"$codes" && no_crash'
  check "$what: ${texts:-no box}" eval '[ "$(grep -c . <<<"$boxes")" = "$([ -n "$texts" ] && echo 1 || echo 0)" ] &&
    { [ -z "$texts" ] || tr ";" "\n" <<<"$texts" | grep -qxF -- "$boxes"; }'
done 3<<EOF
missing file||Missing Appliance.vmx|2|VMX file not found.
no config.version||NoVersion.vmx|11|Bad format.
no hypervisor||Appliance.vmx|36|VMware is not installed on this machine.
-exit, nothing running|-exit|Appliance.vmx|0|
overlong path||$(printf 'a%.0s' {1..5000}).vmx|2 3 123 206|VMX file not found.
binary junk||Junk.vmx|11|Bad format.
a folder||Folder.vmx|2 5 11|VMX file not found.;Bad format.
a very long line||LongLine.vmx|36|VMware is not installed on this machine.
EOF

say "2. A program in a drive's root works there: started from System32, -exit finds its VM file"
c=$bed_prefix/drive_c
cp "$bed_bin/Holvenstead.exe" "$c/" && printf "$valid" >"$c/Holvenstead.vmx" || fatal "could not copy to C:\\"
cd "$c/windows/system32" && bed_bin=$c run_to_end -exit
cd - >/dev/null
check "-exit ends with 0, without a box" equal "$prog_rc:$boxes" 0:

# From here an instance has a hypervisor (one that is never started) and stays.
on_host "$bed_root/scripts/register-player.sh" --text '"C:\some\path\vmplayer.exe" "%1"' >/dev/null ||
  fatal "could not write the association"

say "3. A line longer than the reader's buffer survives the start-up's rewrite of the VM file"
bed_vmx_win=$(winpath "$d/LongLine.vmx")
program_start "$bed_vmx_win"
window "$bed_vmx_win" || fatal "the instance did not come up"
check "-stop -exit ends both instances" end_program
check "the long line, then the rest of the file" eval \
  'tr -d "\r" <"$d/LongLine.vmx" | grep -A1 -xF -- "$long" | grep -qxF "config.version = \"8\""'
check "no temporary file left" file_absent "$d/LongLine.vmx.tmp"

say "4. A second instance for the same file, however written, hands over and ends with 183"
path=$(winpath "$d/HolvensteadAppliance/HolvensteadMachine.vmx")
swapped=$(tr 'a-zA-Z' 'A-Za-z' <<<"$path")
short=$(wine_host cmd /c "for %I in ($path) do @echo %~sI" 2>/dev/null | tr -d '\r')
[[ "$short" == *'~'* ]] || { note "no 8.3 form: [$short]"; short=; }
# The first instance's file, the second's verb and file, and the -stop -exit's.
while IFS='|' read -r first verb second bye <&3; do
  [ -n "$first" ] && [ -n "$bye" ] || continue
  program_start "$first"
  window "$path" || { check "$first: the first instance comes up" false; continue; }
  rc=0
  wine_host "$bed_bin/Holvenstead.exe" "$verb" "$second" >/dev/null 2>&1 || rc=$?
  check "$verb $second: 183, the first instance stays" eval '[ "$rc" = 183 ] && program_alive'
  check "... -stop -exit $bye ends both" eval 'bed_vmx_win=$bye end_program'
done 3<<ROWS
$path|-browse|$path|$path
$path|-browse|$swapped|$swapped
$swapped|-stop|$path|$path
$path|-stop|$short|$short
$(tr 'a-zA-Z' 'A-Za-z' <<<"$short")|-browse|$path|$path
ROWS

say "5. An instance for another file meets the running one: Abort, Ignore, Retry"
a=$(winpath "$d/First Appliance/First.vmx") b=$(winpath "$d/Second Appliance/Second.vmx")
caption='Conflicting application'
# True when the box names the program to shut down by its full path, with
# Retry its default.
box_named() {
  ui wait-box --caption "$caption" --timeout 30000 | grep -qiF "$(winpath "$bed_bin/Holvenstead.exe")" &&
    ui buttons --caption "$caption" | grep -q '^4 .* default$'
}
# An instance for a, then one for b (its pid $second) up to the box. The
# first path goes in words (see end_program), the second as one argument,
# which Wine passes quoted, as a file association does.
conflict() {
  bed_vmx_win=$a
  program_start $a
  window "$a" || return 1
  on_host "$HOLV_WINE" "$bed_bin/Holvenstead.exe" "$b" >>"$bed_work/program.out" 2>&1 &
  second=$!
  bed_track "$second"
  box_named
}
check "the box names the program, Retry its default" conflict
ui press --caption "$caption" --button abort >/dev/null
rc=running
wait_until 60 eval '! kill -0 "$second" 2>/dev/null' && { wait "$second"; rc=$?; }
check "Abort: the new instance ends with 170" equal "$rc" 170
check "... the running one stays, and ends with -stop -exit" eval 'program_alive && end_program'

conflict || fatal "no conflict box the second time"
ui press --caption "$caption" --button ignore >/dev/null
check "Ignore: the new instance starts beside the first" eval 'window "$b" && program_alive'
check "... both end with -stop -exit" eval 'bed_prog_pid=$second bed_vmx_win=$b end_program && end_program'

conflict || fatal "no conflict box the third time"
ui press --caption "$caption" --button retry >/dev/null
check "Retry while the first still runs: asked again" box_named
check "... the first ends" end_program
ui press --caption "$caption" --button retry >/dev/null
check "Retry once it is gone: the new instance starts" window "$b"
check "... and ends with -stop -exit" eval 'bed_prog_pid=$second bed_vmx_win=$b end_program'
checks_end e2e_startup
