#!/usr/bin/env bash
# A full serial download: the printer gets the firmware byte for byte at the
# line settings chosen in the dialog, the LED notice shows, the help line
# ends finished, and the window answers throughout.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" serial_download

# The release build a user downloads, so that a fault only it has (size
# optimisation, stripping, its manifest) cannot hide; make test builds it
# first (and says so: E2E_RELEASE_REQUIRED). Run by hand without one, the
# test tree's program stands in.
program=$(realpath -m "$E2E_WIN64/../release-win64/bin/kestrel.exe")
if [ ! -f "$program" ]; then
    [ "${E2E_RELEASE_REQUIRED:-0}" = 1 ] && { e2e_fail "no release build at $program"; e2e_pass; }
    e2e_log "no release build at $program (make dist): running the test tree's program"
    program=$E2E_BIN/kestrel.exe
fi
e2e_log "program: $program"
export PROGRAM_W
PROGRAM_W=$(e2e_winpath "$program")

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 100000 >/dev/null
firmware=$E2E_WORK/firmware/sample-100000.fls
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$firmware")

e2e_printer
e2e_pilot "$here/serial_download.steps" || e2e_fail "the steps did not all pass"

e2e_expect_same "$E2E_WORK/received.bin" "$firmware" "firmware at the printer"
line=$(cat "$E2E_WORK/line.txt" 2>/dev/null)
[ "$line" = "baud=115200 ixon=1 ixoff=1" ] ||
    e2e_fail "the printer saw the line as '$line', want 'baud=115200 ixon=1 ixoff=1'"
grep -q '^probe: ' "$E2E_WORK/pilot.log" || e2e_fail "the responsiveness probe did not report"
[ ! -e "$E2E_WORK/com.dll" ] || e2e_fail "the driver file com.dll was left in the program's folder"
e2e_pass
