#!/usr/bin/env bash
# A printer on Ethernet: addresses that cannot be a printer are refused in
# the settings, a printer that is not listening ends in "Socket Connect
# Error!" with nothing left behind, and the next download in the same run
# hands the whole image to the printer on one connection, climbs through
# the closing wait and shows the notice.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" ethernet_download

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 262148 >/dev/null
firmware=$E2E_WORK/firmware/sample-262148.fls
export FIRMWARE_W DEAD_PORT PRINTER_PORT
FIRMWARE_W=$(e2e_winpath "$firmware")

# Hangs up at once: its port is one where nothing listens.
e2e_tcp_printer dead --drop-after 0
DEAD_PORT=$E2E_TCP_PORT
e2e_tcp_printer printer
PRINTER_PORT=$E2E_TCP_PORT

e2e_pilot "$here/ethernet_download.steps" || e2e_fail "the steps did not all pass"

e2e_expect_same "$E2E_WORK/printer.bin" "$firmware" "firmware at the network printer"
accepted=$(grep -c 'accepted' "$E2E_WORK/printer.err")
[ "$accepted" = 1 ] || e2e_fail "the printer saw $accepted connections, want 1"
[ ! -s "$E2E_WORK/dead.bin" ] || e2e_fail "bytes reached the printer that was not listening"
[ ! -e "$E2E_WORK/usb.dll" ] || e2e_fail "the driver file usb.dll was left in the program's folder"
e2e_pass
