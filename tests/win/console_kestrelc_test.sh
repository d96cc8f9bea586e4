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
wine_do() { "$root/scripts/wine-run.sh" --prefix "$prefix" "$@"; }
# Runs kestrelc with the printer on COM<n>; printer options before --.
with_printer() {
    local n=$1; shift
    local popts=()
    while [ "$1" != -- ]; do popts+=("$1"); shift; done
    shift
    timeout 300 "$root/scripts/vprinter-com.sh" --prefix "$prefix" --com "$n" \
        --printer "$printer" "${popts[@]}" -- "$@"
}
seconds_between() { awk -v from="$1" -v to="$2" 'BEGIN { printf "%.2f", to - from }'; }
below() { awk -v value="$1" -v limit="$2" 'BEGIN { exit !(value < limit) }'; }
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

# A printer that stops reading: the send fails (after the closing wait, in
# short steps: the JSON download above runs it in full).
KESTREL_TEST_CLOSING_STEP_MS=40 with_printer 63 --stop-reading-after 8192 -- \
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

# What a run leaves when it is killed, and a Ctrl+C under a block the
# printer stopped taking. Both run from a folder nobody can write to, so that
# the driver library goes into a private folder of the run's own under %TEMP%.
# Each port has a spooler printer on it, which the run moves to "FILE:".
printers='HKLM\System\CurrentControlSet\Control\Print\Printers'
add_printer() {  # NAME PORT
    wine_do reg add "$printers\\$1" /v Port /t REG_SZ /d "$2" /f >/dev/null &&
        wine_do reg add "$printers\\$1" /v "Print Processor" /t REG_SZ /d WinPrint /f >/dev/null &&
        wine_do reg add "$printers\\$1" /v Datatype /t REG_SZ /d RAW /f >/dev/null
}
port_of() { wine_do reg query "$printers\\$1" /v Port | tr -d '\r' | sed -n 's/.*REG_SZ *//p'; }
temp=$(wine_do winepath -u "$(wine_do cmd /c 'echo %TEMP%' | tr -d '\r')" | tr -d '\r')
run_folders() { ls -d "$temp"/kestrel-[0-9]*.* 2>/dev/null | sort; }
# Starts kestrelc to PORT from /proc; once the printer has stopped reading,
# calls the function named by $2 with kestrelc's Wine PID, then waits for
# kestrelc and exits with its status. Its output goes to stall-<$3>.txt.
stall_then() {  # PORT FUNCTION NAME [MODEL]
    (cd /proc && exec /usr/lib/wine/wine64 "$exe" --model "${4:-TQ-110}" --port "$1" "$(win "$work/fw.fls")") \
        >"$work/stall-$3.txt" 2>&1 &
    local w=$!
    for _ in $(seq 100); do [ "$(stat -c %s "$VPRINTER_RECORD" 2>/dev/null || echo 0)" -ge 8192 ] && break; sleep 0.1; done
    "$2" "$(pgrep -f "^$exe")"
    wait $w
}
add_printer kestrelc-killed COM67: && add_printer kestrelc-stalled COM68: || fail "no spooler printers"
export -f stall_then run wine_do win run_folders; export exe work root prefix temp

before=$(run_folders)
killed() { kill -KILL "$1"; }
export -f killed
with_printer 67 --stop-reading-after 8192 -- bash -c 'stall_then COM67 killed 67'
left=$(comm -13 <(echo "$before") <(run_folders))
[ -n "$left" ] && [ "$(port_of kestrelc-killed)" = FILE: ] || fail "the killed run left nothing to settle: '$left'"

# Ctrl+C 2 s into the download. Its start settles what the killed run left;
# another start meanwhile must leave what this live run holds.
interrupted() {
    sleep 2
    local live; live=$(comm -13 <(echo "$before") <(run_folders))
    run --model TQ-110 --port COM199 "$(win "$work/fw.fls")" >/dev/null 2>&1
    { [ -n "$live" ] && [ -d "$live" ] && [ "$(port_of kestrelc-stalled)" = FILE: ]; } ||
        echo "another start took what a live run holds: '$live'" >>"$work/stall-fails.txt"
    date +%s.%N >"$work/int-at.txt"
    kill -INT "$1"
}
export -f interrupted port_of; export printers before
with_printer 68 --stop-reading-after 8192 -- bash -c 'stall_then COM68 interrupted 68'
rc=$? ended=$(date +%s.%N)
[ $rc = 130 ] || fail "Ctrl+C on a stalled block: exit $rc, want 130: $(cat stall-68.txt)"
[ ! -s stall-fails.txt ] || fail "$(cat stall-fails.txt)"
took=$(seconds_between "$(cat int-at.txt)" "$ended")
# Within 2 s; the fault this catches is sitting out the block's bound (14 s).
below "$took" 8 || fail "Ctrl+C on a stalled block took $took s"
[ "$(port_of kestrelc-stalled)" = COM68: ] || fail "Ctrl+C left the printer on $(port_of kestrelc-stalled)"
[ "$(port_of kestrelc-killed)" = COM67: ] || fail "the killed run's printer is still on $(port_of kestrelc-killed)"
[ "$(run_folders)" = "$before" ] || fail "private folders left: $(comm -13 <(echo "$before") <(run_folders))"

# The same through the parallel and the USB library, whose blocks a
# printer that stops reading would hold for 43 s.
usb_name='usb#vid_7a31&pid_0006#kestrelc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
interrupt_now() { sleep 2; date +%s.%N >"$work/int-at.txt"; kill -INT "$1"; }
export -f interrupt_now
for kind in lpt usb; do
    if [ $kind = lpt ]; then map=(--lpt 2) port=LPT2 model=TQ-110
    else map=(--usb "$usb_name") port="\\\\?\\$usb_name" model=TQ-140; fi
    timeout 120 "$root/scripts/vprinter-com.sh" --prefix "$prefix" "${map[@]}" --printer "$printer" \
        --stop-reading-after 8192 -- bash -c 'stall_then "$0" interrupt_now "$1" "$2"' "$port" $kind $model
    rc=$? took=$(seconds_between "$(cat int-at.txt)" "$(date +%s.%N)")
    [ $rc = 130 ] && below "$took" 8 ||
        fail "Ctrl+C on a stalled $kind block: exit $rc after $took s: $(cat stall-$kind.txt)"
    [ "$(run_folders)" = "$before" ] || fail "Ctrl+C on $kind left $(comm -13 <(echo "$before") <(run_folders))"
done

# The same on the network, where a printer that stops reading holds a send
# for a minute.
"$printer" --tcp 0 --receive-buffer 4096 --stop-reading-after 100000 --idle-exit 60 \
    >tcpstall.out 2>tcpstall.log </dev/null &
tcp_pid=$!
for _ in $(seq 50); do grep -q '^TCP ' tcpstall.out && break; sleep 0.1; done
/usr/lib/wine/wine64 "$exe" --model TQ-110 --port "$(sed -n 's/^TCP //p' tcpstall.out)" --quiet \
    "$(win "$work/big.fls")" >tcpint.txt 2>&1 &
w=$!
sleep 2
began=$(date +%s.%N)
kill -INT "$(pgrep -f "^$exe")"
wait $w
rc=$? took=$(seconds_between "$began" "$(date +%s.%N)")
kill "$tcp_pid" 2>/dev/null; wait "$tcp_pid" 2>/dev/null
[ $rc = 130 ] && below "$took" 8 ||
    fail "Ctrl+C on a stalled network send: exit $rc after $took s: $(cat tcpint.txt)"
[ ! -e usb.dll ] || fail "Ctrl+C on the network left the library behind"

wine_do reg delete "$printers\\kestrelc-killed" /f >/dev/null; wine_do reg delete "$printers\\kestrelc-stalled" /f >/dev/null

[ $fails = 0 ] && echo "kestrelc: all checks passed"
exit $((fails > 0))
