#!/usr/bin/env bash
# A spooler printer on "COM1:" while downloads on COM1 run, stop and die:
# a second copy leaves it on "FILE:" during the first one's download, a kill
# leaves it there until the next start gives it back, and the end of the
# Windows session gives it back at once. Commands sent from outside during a
# download are refused.
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" printers_on_file

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 100000 >/dev/null
export FIRMWARE_W PRINTER="Kestrel COM1 Receipts"
FIRMWARE_W=$(e2e_winpath "$E2E_WORK/firmware/sample-100000.fls")

e2e_printer
e2e_start_wine
spooled="HKLM\\System\\CurrentControlSet\\Control\\Print\\Printers\\$PRINTER"
cat >"$E2E_WORK/printers.reg" <<REG
REGEDIT4

[$spooled]
"Name"="$PRINTER"
"Port"="COM1:"
"Printer Driver"="Generic / Text Only"
"Print Processor"="WinPrint"
"Datatype"="RAW"
REG
"$E2E_WINE" reg import "$(e2e_winpath "$E2E_WORK/printers.reg")" </dev/null >/dev/null 2>&1

# The runs this scenario kills leave their private folders behind, as a kill
# would; only those are taken away afterwards, for the scenarios that follow.
leftovers() { find "$E2E_PREFIX/drive_c" -maxdepth 7 -name 'kestrel-*' 2>/dev/null | sort; }
before=$(leftovers)
e2e_pilot "$here/printers_on_file.steps" || e2e_fail "the steps did not all pass"
comm -13 <(echo "$before") <(leftovers) | while read -r left; do rm -rf "$left"; done
"$E2E_WINE" reg delete "$spooled" /f </dev/null >/dev/null 2>&1
e2e_pass
