#!/usr/bin/env bash
# make run: the program against the virtual printer on COM1.
#   scripts/run.sh BUILD_DIR        (after `make build`)
# On your display when DISPLAY is set; otherwise on a private Xvfb display,
# where nobody can click, so a pilot runs one sample download and a
# screenshot is written. When the program ends, prints what the printer got.
repo=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath -m "${1:-build}")
win64=$B/win64
headless=0
[ -z "${DISPLAY:-}" ] && headless=1
need=("$win64/bin/kestrel.exe")
[ $headless = 1 ] && need+=("$win64/bin/e2e_pilot.exe")
for f in "${need[@]}"; do
    [ -f "$f" ] || { echo "run: $f is missing; run 'make build' first" >&2; exit 1; }
done
if [ $headless = 1 ]; then
    export E2E_ROOT_DIR=$win64/run-headless
else
    export E2E_ROOT_DIR=$win64/run-desktop E2E_MANAGED=1 E2E_USE_DISPLAY=1
fi
source "$repo/scripts/e2e-harness.sh"
e2e_init "$win64" session

firmware=$E2E_WORK/firmware
"$repo/scripts/sample-firmware.sh" "$firmware" 100000 >/dev/null
fls=$firmware/sample-100000.fls
hex=$firmware/sample.hex
e2e_printer
e2e_start_wine

echo "Sample firmware to pick in Select f/w: $(e2e_winpath "$firmware")"
echo "  sample-100000.fls  for TQ-110, TQ-120, TQ-140, TQ-140F, TQ-142"
echo "  sample.hex         for TQ-130, TQ-132 (sent as a 262,148-byte flash image)"
echo "The printer is on COM1 (any baud rate)."

# The program's folder for its driver file is the firmware folder, where
# its Open dialog starts.
if [ $headless = 0 ]; then
    echo "Starting Skylark on $DISPLAY; close it with Exit."
    (cd "$firmware" && "$E2E_WINE" "$win64/bin/kestrel.exe" </dev/null >"$E2E_WORK/kestrel.log" 2>&1)
    echo "Skylark ended with exit code $?."
else
    export FIRMWARE_W
    FIRMWARE_W=$(e2e_winpath "$fls")
    echo "No DISPLAY: running one sample download (TQ-110, COM1, sample-100000.fls) on $DISPLAY."
    e2e_pilot "$repo/tests/e2e/run_demo.steps" >/dev/null
    rc=$?
    shot=$E2E_WORK/skylark.png
    main_shot=$(ls "$E2E_SHOTS"/*-main-finished.bmp 2>/dev/null | head -n1)
    if [ -n "$main_shot" ] && convert "$main_shot" "$shot" 2>/dev/null; then
        echo "Screenshot of the main window after the download: $shot"
    else
        echo "No screenshot (see $E2E_SHOTS)"
    fi
    [ $rc -eq 0 ] || echo "The sample download did not go as expected; see $E2E_WORK/pilot.log"
fi

received=$E2E_WORK/received.bin
count=$(stat -c %s "$received" 2>/dev/null || echo 0)
echo "The printer received $count bytes."
if [ "$count" -gt 0 ]; then
    if cmp -s "$received" "$fls"; then
        echo "They match sample-100000.fls byte for byte."
    elif cmp -s "$received" "$firmware/sample.hex.image"; then
        echo "They match the flash image converted from sample.hex byte for byte."
    else
        echo "They match neither sample file as a whole (another file, several downloads, or a broken one)."
    fi
    echo "Received bytes: $received"
fi
