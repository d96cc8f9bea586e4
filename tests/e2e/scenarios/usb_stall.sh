#!/usr/bin/env bash
# A USB printer that stops reading in the middle of a download: the driver
# gives the block up once the printer has taken nothing for its bound (43 s
# with the program's settings), the download ends in "Send Failed", the
# library is given back, and once the printer reads again a second download
# in the same run goes through. No driver file stays behind.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" usb_stall

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 100000 >/dev/null
firmware=$E2E_WORK/firmware/sample-100000.fls
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$firmware")

printer="usb#vid_7a31&pid_0006#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"
export KESTREL_TEST_USB_INTERFACES="\\\\?\\$printer"

# Late in the file, so that the closing wait, which climbs from where the
# bar stood, stays short; early enough that the pty cannot take the rest.
control=$E2E_WORK/control
e2e_printer --stop-reading-after 70000 --control "$control"
e2e_usb_link "$printer"
# Both closing waits in short steps: usb_download runs one in full.
export KESTREL_TEST_CLOSING_STEP_MS=40
# The printer reads again once the steps say the first download has failed.
(
    for _ in $(seq 1800); do
        grep -q 'printer-reads-again' "$E2E_WORK/pilot.log" 2>/dev/null && break
        sleep 0.1
    done
    echo resume-reading >"$control"
) &
E2E_PIDS+=($!)
e2e_pilot "$here/usb_stall.steps" || e2e_fail "the steps did not all pass"

head -c 70000 "$firmware" >"$E2E_WORK/expected-first.bin"
head -c 70000 "$E2E_WORK/received.bin" >"$E2E_WORK/received-first.bin"
e2e_expect_same "$E2E_WORK/received-first.bin" "$E2E_WORK/expected-first.bin" "bytes read before the printer stopped"
tail -c "$(stat -c %s "$firmware")" "$E2E_WORK/received.bin" >"$E2E_WORK/received-second.bin"
e2e_expect_same "$E2E_WORK/received-second.bin" "$firmware" "the second download at the printer"
[ ! -e "$E2E_WORK/usb.dll" ] || e2e_fail "the driver file usb.dll was left in the program's folder"
e2e_pass
