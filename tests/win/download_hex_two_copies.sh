#!/usr/bin/env bash
# Two copies of the hexadecimal download at once, as on a service bench
# flashing two printers: each converts its own .hex file (made by objcopy)
# and sends it to its own virtual printer (COM51, COM52). Each printer must
# get exactly its own image. Exit 77 (skipped) without the printer.
# Usage: download_hex_two_copies.sh PREFIX TEST_EXE VIRTUAL_PRINTER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")

if [ "${1:-}" = --both ]; then
    # Inside both printers' harnesses: run the copies side by side.
    prefix=$2 exe=$3 work=$4
    pids=()
    for n in 51 52; do
        other=$((103 - n))
        KESTREL_COM_PORT=COM$n KESTREL_HEX_SOURCE="Z:${work//\//\\}\\$n.hex" \
            KESTREL_GATE_MINE=kestrel-hex-gate-$n KESTREL_GATE_THEIRS=kestrel-hex-gate-$other \
            "$root/scripts/wine-run.sh" --prefix "$prefix" "$exe" \
            --gtest_filter='HexDownloadOverSerial.*' >"$work/copy$n.log" 2>&1 &
        pids+=($!)
    done
    rc=0
    for pid in "${pids[@]}"; do wait "$pid" || rc=1; done
    for n in 51 52; do
        cat "$work/copy$n.log"
        # The pty may still hold what the printer has not read yet.
        for _ in $(seq 300); do
            [ "$(stat -c %s "$work/p$n/record.bin" 2>/dev/null || echo 0)" -ge 262148 ] && break
            sleep 0.1
        done
        if cmp -s "$work/p$n/record.bin" "$work/$n.image"; then
            echo "COM$n: its own image, 262148 bytes"
        else
            echo "COM$n: not its own image: $(cmp "$work/p$n/record.bin" "$work/$n.image" 2>&1 | head -n1)"
            rc=1
        fi
    done
    exit $rc
fi

prefix=$1 exe=$2 printer=$3
[ -x "$printer" ] || { echo "no virtual printer at $printer: skipped" >&2; exit 77; }
work=$(mktemp -d /tmp/kestrel-hex-two.XXXXXX)
trap 'rm -rf "$work"' EXIT
for n in 51 52; do
    head -c $((20000 + n * 100)) /dev/urandom >"$work/$n.bin"
    objcopy -I binary -O ihex "$work/$n.bin" "$work/$n.hex"
    size=$(stat -c %s "$work/$n.bin")
    { printf '\033#mk'; cat "$work/$n.bin"; head -c $((262144 - size)) /dev/zero | tr '\0' '\377'; } \
        >"$work/$n.image"
done
vp=("$root/scripts/vprinter-com.sh" --prefix "$prefix" --printer "$printer")
timeout 600 "${vp[@]}" --com 51 --workdir "$work/p51" -- \
    "${vp[@]}" --com 52 --workdir "$work/p52" -- \
    bash "$0" --both "$prefix" "$exe" "$work"
