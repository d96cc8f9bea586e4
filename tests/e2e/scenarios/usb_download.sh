#!/usr/bin/env bash
# A USB download as a user makes it: discovery lists the printer of the
# chosen family (behind a keyboard, a printer of another family and one
# that will not open), the firmware goes out in 64-byte blocks through
# usb.dll, the printer gets it byte for byte, and the driver's device-change
# window answers notices all through the download. A family with no printer
# attached falls back to COM.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" usb_download

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 65600 >/dev/null
firmware=$E2E_WORK/firmware/sample-65600.fls
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$firmware")

guid='{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
keyboard="usb#vid_046d&pid_c52b#k1#$guid"
other="usb#vid_7a31&pid_0002#p2#$guid"
missing="usb#vid_7a31&pid_0006#gone#$guid"
printer="usb#vid_7a31&pid_0006#0001#$guid"
export KESTREL_TEST_USB_INTERFACES="\\\\?\\$keyboard|\\\\?\\$other|\\\\?\\$missing|\\\\?\\$printer"

e2e_printer
e2e_usb_link "$keyboard"
e2e_usb_link "$other"
e2e_usb_link "$printer"
e2e_pilot "$here/usb_fallback.steps" || e2e_fail "the fall-back steps did not all pass"
e2e_pilot "$here/usb_download.steps" || e2e_fail "the download steps did not all pass"

e2e_expect_same "$E2E_WORK/received.bin" "$firmware" "firmware at the printer"
grep -q '^probe: ' "$E2E_WORK/pilot.log" || e2e_fail "the notice probe did not report"
[ ! -e "$E2E_WORK/usb.dll" ] || e2e_fail "the driver file usb.dll was left in the program's folder"
e2e_pass
