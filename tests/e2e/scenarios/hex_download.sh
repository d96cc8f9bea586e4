#!/usr/bin/env bash
# A hexadecimal download: the printer gets the header and the 256 KiB
# image, checked against one built from the same bytes by other tools
# (objcopy made the records), and the temporary image (in a folder of the
# run's own) is gone afterwards, folder and all.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" hex_download

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" >/dev/null
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$E2E_WORK/firmware/sample.hex")

e2e_printer
# The closing wait is serial_download's to prove in full: short steps here.
export KESTREL_TEST_CLOSING_STEP_MS=40
e2e_pilot "$here/hex_download.steps" || e2e_fail "the steps did not all pass"

e2e_expect_same "$E2E_WORK/received.bin" "$E2E_WORK/firmware/sample.hex.image" "flash image at the printer"
grep -q '^baud=57600 ' "$E2E_WORK/line.txt" || e2e_fail "the printer saw '$(cat "$E2E_WORK/line.txt")', want 57600 baud"
left=$(find "$E2E_PREFIX/drive_c" -maxdepth 7 \( -iname temp.fls -o -name 'kestrel-*' \) 2>/dev/null)
[ -z "$left" ] || e2e_fail "the temporary image was left behind: $left"
e2e_pass
