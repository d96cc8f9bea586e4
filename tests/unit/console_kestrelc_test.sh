#!/usr/bin/env bash
# kestrelc on Linux against the virtual printer, natively: refusals, a
# serial download byte-exact at the chosen line settings (JSON events), a
# parallel one on a pty, printers that stop reading, a port another run
# holds, signals during a stalled block, and the network's success,
# refusal, reset and stall.
# Usage: console_kestrelc_test.sh KESTRELC VIRTUAL_PRINTER
set -uo pipefail
exe=$(realpath -m "$1") printer=$(realpath -m "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }
work=$(mktemp -d /tmp/kestrelc-linux-test.XXXXXX)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
cd "$work"
export KESTREL_TEST_CLOSING_STEP_MS=0
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }
now() { date +%s.%N; }
seconds_between() { awk -v from="$1" -v to="$2" 'BEGIN { printf "%.2f", to - from }'; }
below() { awk -v value="$1" -v limit="$2" 'BEGIN { exit !(value < limit) }'; }
expect_exit() {  # WANT DESCRIPTION command...
    local want=$1 what=$2; shift 2
    "$@" >"$work/out.txt" 2>"$work/err.txt"
    local got=$?
    [ "$got" = "$want" ] || { fail "$what: exit $got, want $want"; cat "$work/out.txt" "$work/err.txt" >&2; }
}
# Starts a printer named NAME with its options; sets NAME_pid and prints
# nothing. Its pty (or TCP address) is then in NAME.addr.
start_printer() {  # NAME options...
    local name=$1; shift
    "$printer" --record "$name.bin" --settings "$name.set" --control "$name.ctl" --idle-exit 60 "$@" \
        >"$name.out" 2>"$name.log" </dev/null &
    pids+=($!)
    eval "${name}_pid=$!"
    for _ in $(seq 100); do grep -qE '^(PTY|TCP) ' "$name.out" && break; sleep 0.05; done
    sed -nE 's/^(PTY|TCP) //p' "$name.out" >"$name.addr"
}
stop_printer() { eval "kill \$${1}_pid 2>/dev/null; wait \$${1}_pid 2>/dev/null"; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }
# Waits (bounded) until a command holds: the printer reads what is still in
# the line after kestrelc has gone, and notes line settings every 20 ms.
wait_until() { for _ in $(seq 100); do "$@" && return 0; sleep 0.05; done; return 1; }
has_size() { [ "$(size_of "$1")" -ge "$2" ]; }

head -c 30000 /dev/urandom >fw.fls
head -c 1000 /dev/urandom >small.fls
head -c 200000 /dev/urandom >stall.fls
head -c 16000000 /dev/zero >big.fls
: >empty.fls

# Refusals before anything is touched.
expect_exit 2 "a Windows port name" "$exe" --model TQ-110 --port COM3 fw.fls
grep -q "/dev/ttyS0" err.txt || fail "COM3 refused without the Linux forms: $(cat err.txt)"
expect_exit 2 "USB not yet" "$exe" --model TQ-140 --port /dev/usb/lp0 fw.fls
expect_exit 3 "empty firmware" "$exe" --model TQ-110 --port /dev/ttyS0 empty.fls
expect_exit 6 "no such port" "$exe" --model TQ-110 --port /dev/kestrel-no-such-tty fw.fls
expect_exit 6 "not a tty" "$exe" --model TQ-110 --port serial:/dev/null fw.fls

# The closing wait in full (28 steps of 800 ms), beside the cases below.
start_printer full
(KESTREL_TEST_CLOSING_STEP_MS= "$exe" --model TQ-110 --port "$(cat full.addr)" --quiet small.fls \
    >full.txt 2>&1; echo $? >full.rc; now >full.end) &
full_run=$! full_start=$(now)

# Byte-exact at 115200 with XON/XOFF, read at the line's own pace, as JSON.
start_printer line --rate line
port=$(cat line.addr)
expect_exit 0 "serial download" "$exe" --model TQ-110 --port "$port" --baud 115200 --handshake xon \
    --json fw.fls
cp out.txt json.txt
wait_until has_size line.bin 30000
# Exclusive use ends with the run, though the printer's end keeps the tty
# open (root ignores it, so it is read back, not tried).
python3 -c 'import fcntl, os, struct, sys
fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)
print(struct.unpack("i", fcntl.ioctl(fd, 0x80045440, bytes(4)))[0])' "$port" | grep -qx 0 ||
    fail "the port stays exclusive after the run"
stop_printer line
cmp -s line.bin fw.fls || fail "the printer did not receive the image byte for byte"
grep -q 'baud=115200 ixon=1 ixoff=1' line.set || fail "line settings: $(cat line.set)"
python3 - json.txt "$port" <<'PY' || fail "JSON events: $(cat json.txt)"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1]) if line.strip()]
kinds = [e["event"] for e in events]
assert kinds[0] == "progress" and kinds[-1] == "done", kinds
first_closing = kinds.index("closing")
assert set(kinds[:first_closing]) == {"progress"} and set(kinds[first_closing:-1]) == {"closing"}, kinds
assert events[first_closing - 1]["sent"] == events[0]["total"] == 30000
assert events[-1] == {"event": "done", "port": sys.argv[2], "exit": 0}, events[-1]
PY

# DTR/DSR on a pty: no modem lines, said once, and no wait for DSR.
start_printer dtr
expect_exit 0 "DTR on a pty" "$exe" --model TQ-110 --port "serial:$(cat dtr.addr)" --baud 9600 \
    --parity even fw.fls
[ "$(grep -c 'no modem lines' err.txt)" = 1 ] || fail "the missing modem lines: $(cat err.txt)"
wait_until has_size dtr.bin 30000
wait_until grep -q 'baud=9600' dtr.set
stop_printer dtr
cmp -s dtr.bin fw.fls && grep -q 'baud=9600 ixon=0 ixoff=0' dtr.set ||
    fail "DTR download: $(cat dtr.set), $(size_of dtr.bin) bytes"

# A hex model: what the printer receives is what convert writes, and the
# run's own image folder goes with it.
golden=$root/tests/unit/golden/hex/srec_cat_linear.hex
expect_exit 0 "convert" "$exe" convert "$golden" converted.fls
start_printer hex
mkdir tmp
TMPDIR=$work/tmp expect_exit 0 "hex download" "$exe" --model TQ-130 --port "$(cat hex.addr)" --quiet "$golden"
wait_until has_size hex.bin "$(size_of converted.fls)"
stop_printer hex
cmp -s hex.bin converted.fls || fail "convert differs from the image the hex download sent"
[ -z "$(ls tmp)" ] || fail "the hex download left $(ls tmp)"

# A parallel printer on a pty (the kind forced): byte for byte, though the
# pty answers no status.
start_printer par
expect_exit 0 "parallel download" "$exe" --model TQ-110 --port "parallel:$(cat par.addr)" --quiet fw.fls
wait_until has_size par.bin 30000
stop_printer par
cmp -s par.bin fw.fls || fail "parallel: the printer did not receive the image byte for byte"

# A printer that stops reading: the send fails once nothing moved for the
# stall bound (serial: 13 s and a line's second; parallel: 43 s, shortened
# here), then the closing wait runs.
for kind in serial parallel; do
    start_printer "stopped$kind" --stop-reading-after 10000
    KESTREL_TEST_PRINTER_STALL_MS=1500 expect_exit 7 "stalled $kind printer" \
        "$exe" --model TQ-110 --port "$kind:$(cat stopped$kind.addr)" --json stall.fls
    grep -q '"exit":7,"message":"Send Failed"' out.txt || fail "stalled $kind printer: $(tail -1 out.txt)"
    stop_printer "stopped$kind"
done

# Signals under a block the printer stopped taking: the run ends within a
# second of the signal (the fault this catches waits out the 14 s or 43 s
# bound), a second signal does not cut its clean-up short, and a second run
# meanwhile finds the port busy.
for case in "serial INT" "serial TERM" "parallel INT"; do
    read -r kind sig <<<"$case"
    name=sig$kind$sig
    start_printer "$name" --stop-reading-after 10000
    "$exe" --model TQ-110 --port "$kind:$(cat $name.addr)" --json stall.fls >"$name.txt" 2>"$name.err" &
    run=$!
    sleep 1
    expect_exit 6 "a second run on a held $kind port ($sig)" "$exe" --model TQ-110 --port "$kind:$(cat $name.addr)" fw.fls
    grep -q "port busy" err.txt || fail "the held $kind port is not called busy: $(cat err.txt)"
    sleep 1
    at=$(now)
    kill -"$sig" $run; sleep 0.1; kill -"$sig" $run 2>/dev/null
    wait $run; rc=$?
    took=$(seconds_between "$at" "$(now)")
    want=$([ $sig = INT ] && echo 130 || echo 143)
    [ $rc = "$want" ] || fail "$kind SIG$sig: exit $rc, want $want: $(cat $name.err)"
    below "$took" 10 || fail "$kind SIG$sig took $took s"
    tail -1 "$name.txt" | grep -q "\"event\":\"done\".*\"exit\":$want" ||
        fail "$kind SIG$sig: no done event: $(tail -1 $name.txt)"
    grep -q "interrupted after" "$name.err" || fail "$kind SIG$sig not reported: $(cat $name.err)"
    stop_printer "$name"
done

# The network: success, nothing listening, a reset mid-image, a stalled reader.
start_printer tcp --tcp 0
expect_exit 0 "network download" "$exe" --model TQ-110 --port "$(cat tcp.addr)" --quiet fw.fls
[ "$(cat out.txt)" = "$(cat tcp.addr): done" ] || fail "--quiet printed more than the result: $(cat out.txt)"
wait_until has_size tcp.bin 30000
stop_printer tcp
cmp -s tcp.bin fw.fls || fail "network: the printer did not receive the image byte for byte"
free_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
expect_exit 8 "refused connection" "$exe" --model TQ-110 --port "127.0.0.1:$free_port" fw.fls
start_printer reset --tcp 0 --receive-buffer 4096 --drop-after 300000
expect_exit 9 "reset connection" "$exe" --model TQ-110 --port "$(cat reset.addr)" --quiet big.fls
stop_printer reset
start_printer stall --tcp 0 --receive-buffer 4096 --stop-reading-after 100000
KESTREL_TEST_NETWORK_STALL_MS=1500 expect_exit 9 "stalled network printer" \
    "$exe" --model TQ-110 --port "$(cat stall.addr)" --quiet big.fls
stop_printer stall
# SIGINT while a send waits on that printer (its bound is a minute).
start_printer netsig --tcp 0 --receive-buffer 4096 --stop-reading-after 100000
"$exe" --model TQ-110 --port "$(cat netsig.addr)" --quiet big.fls >netsig.txt 2>&1 &
run=$!
sleep 2
at=$(now)
kill -INT $run
wait $run; rc=$?
took=$(seconds_between "$at" "$(now)")
[ $rc = 130 ] && below "$took" 10 || fail "SIGINT on a stalled network send: exit $rc after $took s"
stop_printer netsig

# The full closing wait started at the top.
wait $full_run
stop_printer full
[ "$(cat full.rc)" = 0 ] || fail "full closing wait: exit $(cat full.rc): $(cat full.txt)"
took=$(seconds_between "$full_start" "$(cat full.end)")
below 21 "$took" || fail "the closing wait took $took s, not its 28 steps of 800 ms"

[ $fails = 0 ] && echo "all kestrelc cases passed"
exit $((fails > 0))
