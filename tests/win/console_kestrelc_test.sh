#!/usr/bin/env bash
# kestrelc under Wine against the virtual printer: every exit code provoked
# for real, byte-exact serial downloads (one and two at once), JSON events,
# convert against a real hex download, and Ctrl+C mid-download.
# Usage: console_kestrelc_test.sh PREFIX KESTRELC_EXE VIRTUAL_PRINTER
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
prefix=$1 exe=$2 printer=$3
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }
export WINEPREFIX=$prefix WINEDEBUG=-all
work=$(mktemp -d /tmp/kestrelc-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }
win() { echo "Z:${1//\//\\}"; }
run() { "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" "$@"; }
# Runs kestrelc with the printer on COM<n>; printer options before --.
with_printer() {
    local n=$1; shift
    local popts=()
    while [ "$1" != -- ]; do popts+=("$1"); shift; done
    shift
    timeout 300 "$root/scripts/vprinter-com.sh" --prefix "$prefix" --com "$n" \
        --printer "$printer" "${popts[@]}" -- "$@"
}
expect_exit() {  # WANT DESCRIPTION command...
    local want=$1 what=$2; shift 2
    "$@" >"$work/out.txt" 2>"$work/err.txt"
    local got=$?
    [ "$got" = "$want" ] || { fail "$what: exit $got, want $want"; cat "$work/out.txt" "$work/err.txt" >&2; }
}

head -c 200000 /dev/urandom >fw.fls
: >empty.fls
sed '5s/^\(.\{20\}\)./\1Z/' "$root/tests/unit/golden/hex/objcopy_segment.hex" >damaged.hex

# Refusals before anything is touched.
expect_exit 2 "bad option" run --model TQ-110 --port COM3 --baud 1200 "$(win "$work/fw.fls")"
grep -q -- "--baud" "$work/err.txt" || fail "the bad option is not named: $(cat "$work/err.txt")"
expect_exit 3 "empty firmware" run --model TQ-110 --port COM3 "$(win "$work/empty.fls")"
expect_exit 3 "damaged hex" run convert "$(win "$work/damaged.hex")" "$(win "$work/out.fls")"
[ ! -e out.fls ] && [ ! -e out.fls.partial ] || fail "a refused conversion left a file"
expect_exit 6 "no such port" run --model TQ-110 --port COM199 "$(win "$work/fw.fls")"
expect_exit 10 "no USB printer listed" run --model TQ-140 --list-usb
expect_exit 10 "no USB printer to flash" run --model TQ-140 --port usb:1 --json "$(win "$work/fw.fls")"
grep -q '"exit":10,"message":"Not Connect USB Printer"' "$work/out.txt" || fail "usb:1: $(cat "$work/out.txt")"

# Network: nothing listening, then a printer that hangs up mid-image (an
# image far larger than the loopback buffers, read slowly).
free_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
expect_exit 8 "refused connection" run --model TQ-110 --port "127.0.0.1:$free_port" "$(win "$work/fw.fls")"
head -c 16000000 /dev/zero >big.fls
"$printer" --tcp 0 --rate 2000000 --drop-after 300000 --idle-exit 60 >tcp.out 2>tcp.log </dev/null &
tcp_pid=$!
for _ in $(seq 50); do grep -q '^TCP ' tcp.out && break; sleep 0.1; done
tcp_addr=$(sed -n 's/^TCP //p' tcp.out)
expect_exit 9 "reset connection" run --model TQ-110 --port "$tcp_addr" --quiet "$(win "$work/big.fls")"
kill "$tcp_pid" 2>/dev/null; wait "$tcp_pid" 2>/dev/null

# A byte-exact download with the chosen line settings, as JSON events.
with_printer 61 -- bash -c 'cp_out() { cp "$VPRINTER_RECORD" "$1"; cp "$VPRINTER_SETTINGS" "$2"; }
    "$0" --prefix "$WINEPREFIX" "$1" --model TQ-110 --port COM61 --baud 115200 --handshake xon \
        --json "$2" >json.txt; rc=$?; cp_out got.bin line.txt; exit $rc' \
    "$root/scripts/wine-run.sh" "$exe" "$(win "$work/fw.fls")" || fail "JSON download did not succeed"
cmp -s got.bin fw.fls || fail "the printer did not receive the image byte for byte"
grep -q 'baud=115200 ixon=1' line.txt || fail "line settings: $(cat line.txt)"
python3 - json.txt <<'PY' || fail "JSON events"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1]) if line.strip()]
kinds = [e["event"] for e in events]
assert kinds[0] == "progress" and kinds[-1] == "done", kinds
first_closing = kinds.index("closing")
assert set(kinds[:first_closing]) == {"progress"} and set(kinds[first_closing:-1]) == {"closing"}, kinds
assert events[first_closing - 1]["sent"] == events[0]["total"] == 200000
assert events[-1] == {"event": "done", "port": "COM61", "exit": 0}, events[-1]
PY

# A hex model: what the printer receives is what convert writes.
expect_exit 0 "convert" run convert "$(win "$root/tests/unit/golden/hex/srec_cat_linear.hex")" "$(win "$work/converted.fls")"
with_printer 62 -- bash -c '"$0" --prefix "$WINEPREFIX" "$1" --model TQ-130 --port COM62 --quiet "$2"; rc=$?
    cp "$VPRINTER_RECORD" hexgot.bin; exit $rc' \
    "$root/scripts/wine-run.sh" "$exe" "$(win "$root/tests/unit/golden/hex/srec_cat_linear.hex")" >quiet.txt ||
    fail "hex download did not succeed"
cmp -s hexgot.bin converted.fls || fail "convert differs from the image the download sent"
[ "$(tr -d '\r' <quiet.txt)" = "COM62: done" ] || fail "--quiet printed more than the result: $(cat quiet.txt)"

# A printer that stops reading: the send fails (after the closing wait).
with_printer 63 --stop-reading-after 8192 -- \
    "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" --model TQ-110 --port COM63 --quiet \
    "$(win "$work/fw.fls")" >stall.txt
[ $? = 7 ] || fail "stalled printer: exit not 7: $(cat stall.txt)"

# Two printers at once, each byte-exact.
with_printer 64 -- bash -c 'first=$VPRINTER_RECORD; "$0" --prefix "$WINEPREFIX" --com 65 --printer "$1" -- \
        bash -c "\"$2\" --prefix \"\$WINEPREFIX\" \"$3\" --model TQ-110 --port COM64,COM65 \"$4\"; rc=\$?;
                 cp \"$first\" one.bin; cp \"\$VPRINTER_RECORD\" two.bin; exit \$rc"' \
    "$root/scripts/vprinter-com.sh" "$printer" "$root/scripts/wine-run.sh" "$exe" "$(win "$work/fw.fls")" \
    >two.txt || fail "two printers at once did not succeed: $(cat two.txt)"
cmp -s one.bin fw.fls && cmp -s two.bin fw.fls || fail "two printers: an image differs"

# Ctrl+C mid-download: exit 130, the library gone, the port given back.
mkdir -p cwd
with_printer 66 --rate 5000 -- bash -c 'cd cwd; /usr/lib/wine/wine64 "$0" --model TQ-110 --port COM66 "$1" \
        >../int.txt 2>&1 & w=$!
    for _ in $(seq 100); do [ "$(stat -c %s "$VPRINTER_RECORD" 2>/dev/null || echo 0)" -gt 4096 ] && break; sleep 0.1; done
    pid=$(pgrep -f "^$0") && kill -INT $pid; wait $w; rc=$?; echo "rc=$rc" >>../int.txt; exit $rc' \
    "$exe" "$(win "$work/fw.fls")"
rc=$?
[ $rc = 130 ] || fail "Ctrl+C: exit $rc, want 130: $(cat int.txt)"
[ -z "$(ls cwd)" ] || fail "Ctrl+C left files behind: $(ls cwd)"

[ $fails = 0 ] && echo "kestrelc: all checks passed"
exit $((fails > 0))
