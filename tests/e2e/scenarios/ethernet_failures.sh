#!/usr/bin/env bash
# Network downloads that fail: a printer that resets the connection and one
# that stops reading both end in "Write Failed!" with the bar empty and the
# buttons back, the window answering throughout, and the next download in
# the same run reaches the printer; a slow reader is waited for. Each run
# stops once the send has been judged (the closing wait is proven by
# ethernet_download).
source "$(dirname "$0")/../../../scripts/e2e-harness.sh"
here=$(dirname "$(realpath "$0")")
e2e_init "$1" ethernet_failures

# The host's send buffer on loopback grows to megabytes and would swallow a
# small image before a printer's trouble shows: the failing printers get a
# small receive buffer and an image larger than any buffer.
big_size=8388608
"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" 262148 >/dev/null
"$here/../../../scripts/sample-firmware.sh" "$E2E_WORK/firmware" $big_size >/dev/null
small=$E2E_WORK/firmware/sample-262148.fls
big=$E2E_WORK/firmware/sample-$big_size.fls
export FIRMWARE_W BIG_FIRMWARE_W RESET_PORT STALL_PORT SLOW_PORT GOOD_PORT
FIRMWARE_W=$(e2e_winpath "$small")
BIG_FIRMWARE_W=$(e2e_winpath "$big")

e2e_tcp_printer reset --drop-after 100000 --receive-buffer 4096
RESET_PORT=$E2E_TCP_PORT
e2e_tcp_printer stall --stop-reading-after 100000 --receive-buffer 4096
STALL_PORT=$E2E_TCP_PORT
e2e_tcp_printer slow --rate 200000
SLOW_PORT=$E2E_TCP_PORT
e2e_tcp_printer good
GOOD_PORT=$E2E_TCP_PORT

e2e_pilot "$here/ethernet_failures.steps" || e2e_fail "the steps did not all pass"

head -c 100000 "$big" >"$E2E_WORK/expected-first.bin"
e2e_expect_same "$E2E_WORK/reset.bin" "$E2E_WORK/expected-first.bin" "bytes before the reset"
e2e_expect_same "$E2E_WORK/stall.bin" "$E2E_WORK/expected-first.bin" "bytes before the printer stopped reading"
cat "$small" "$small" >"$E2E_WORK/expected-good.bin"
e2e_expect_same "$E2E_WORK/good.bin" "$E2E_WORK/expected-good.bin" "the two downloads after a failure"
# The program was ended once the bar stood at 100; what it handed over
# still reaches the slow printer.
for _ in $(seq 120); do
    [ "$(stat -c %s "$E2E_WORK/slow.bin" 2>/dev/null || echo 0)" -ge $big_size ] && break
    sleep 0.5
done
e2e_expect_same "$E2E_WORK/slow.bin" "$big" "image at the slow printer"
for p in reset stall slow; do
    n=$(grep -c accepted "$E2E_WORK/$p.err")
    [ "$n" = 1 ] || e2e_fail "printer $p saw $n connections, want 1"
done
e2e_pass
