#!/usr/bin/env bash
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" send_failed

"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 100000 >/dev/null
firmware=$E2E_WORK/firmware/sample-100000.fls
export FIRMWARE_W
FIRMWARE_W=$(e2e_winpath "$firmware")

# Late in the file, so that the closing wait, which climbs from where the
# bar stood, stays short; early enough that the pty cannot take the rest
# (it holds up to about 20 KB when written in 1 KB pieces).
e2e_printer --stop-reading-after 70000
# What is proven here is that the closing wait still runs after a failure,
# not how long it lasts (serial_download runs it in full): short steps.
export KESTREL_TEST_CLOSING_STEP_MS=40
e2e_pilot "$here/send_failed.steps" || e2e_fail "the steps did not all pass"

head -c 70000 "$firmware" >"$E2E_WORK/expected.bin"
e2e_expect_same "$E2E_WORK/received.bin" "$E2E_WORK/expected.bin" "bytes the printer read before it stopped"
e2e_pass
