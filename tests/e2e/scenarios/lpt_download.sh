#!/usr/bin/env bash
# A full download on LPT1: the printer gets the firmware byte for byte, the
# LED notice shows, and a spooler printer on "LPT1:" is moved to "FILE:"
# for the download and is back on its port afterwards.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" lpt_download

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 100000 >/dev/null
firmware=$E2E_WORK/firmware/sample-100000.fls
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$firmware")

E2E_LINK=$E2E_LPT1 e2e_printer
e2e_start_wine

spooled='HKLM\System\CurrentControlSet\Control\Print\Printers\Kestrel LPT1 Receipts'
cat >"$E2E_WORK/printers.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Print\Printers\Kestrel LPT1 Receipts]
"Name"="Kestrel LPT1 Receipts"
"Port"="LPT1:"
"Printer Driver"="Generic / Text Only"
"Print Processor"="WinPrint"
"Datatype"="RAW"
REG
port_of() {
    "$E2E_WINE" reg query "$spooled" /v Port </dev/null 2>/dev/null |
        sed -n 's/.*REG_SZ[[:space:]]*//p' | tr -d '\r'
}
"$E2E_WINE" reg import "$(e2e_winpath "$E2E_WORK/printers.reg")" </dev/null >/dev/null 2>&1
[ "$(port_of)" = "LPT1:" ] || e2e_fail "could not install the spooler printer on LPT1:"

# What the spooler says while the program runs, once a second.
(while :; do port_of >>"$E2E_WORK/spooled-ports.txt"; sleep 1; done) &
watcher=$!
E2E_PIDS+=("$watcher")
e2e_pilot "$here/lpt_download.steps" || e2e_fail "the steps did not all pass"
kill "$watcher" 2>/dev/null

e2e_expect_same "$E2E_WORK/received.bin" "$firmware" "firmware at the printer"
grep -qx 'FILE:' "$E2E_WORK/spooled-ports.txt" ||
    e2e_fail "the spooler printer never moved to FILE: ($(sort -u "$E2E_WORK/spooled-ports.txt" | tr '\n' ' '))"
[ "$(port_of)" = "LPT1:" ] || e2e_fail "the spooler printer is on '$(port_of)' afterwards, want LPT1:"
"$E2E_WINE" reg delete "$spooled" /f </dev/null >/dev/null 2>&1
[ ! -e "$E2E_WORK/lpt.dll" ] || e2e_fail "the driver file lpt.dll was left in the program's folder"
e2e_pass
