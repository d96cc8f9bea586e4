#!/usr/bin/env bash
# Times the hex converter, whole process against whole process, against
# binutils objcopy and srecord's srec_cat on the same 256 KiB inputs (one
# Intel HEX file, one S-record file), and prints how many times faster it
# is than the faster of the two (medians: the machine is shared and noisy).
# Target: at least 3x.
# Usage: bench/hex_convert.sh [build-dir]   (default: build)
set -euo pipefail
B=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
case $B in /*) ;; *) B="$root/$B" ;; esac
cmake --build "$B/native" --target hex_convert >/dev/null
ours="$B/native/bench/native/hex_convert"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 262144 /dev/urandom >"$work/image.bin"
objcopy -I binary -O ihex "$work/image.bin" "$work/image.hex"
srec_cat "$work/image.bin" -binary -o "$work/image.srec" -motorola -address-length=3

# Every command must produce the same bytes before its time means anything.
"$ours" "$work/image.hex" "$work/ours_hex.fls"
"$ours" "$work/image.srec" "$work/ours_srec.fls"
for f in ours_hex ours_srec; do
    tail -c 262144 "$work/$f.fls" | cmp -s - "$work/image.bin" || { echo "$f: wrong image" >&2; exit 1; }
done

run() {  # name input-format input
    local name=$1 ifmt=$2 srcfmt=$3 in=$4
    echo "== $name ($(wc -c <"$in") bytes of text)"
    hyperfine -N --warmup 5 --min-runs 30 --export-csv "$work/$name.csv" \
        -n ours "$ours $in $work/out.fls" \
        -n objcopy "objcopy -I $ifmt -O binary $in $work/out_objcopy.bin" \
        -n srec_cat "srec_cat $in $srcfmt -fill 0xFF 0 0x40000 -o $work/out_srec_cat.bin -binary" \
        >/dev/null 2>&1
    # Columns: command,mean,stddev,median,...; medians, in seconds.
    awk -F, 'NR > 1 { t[$1] = $4 }
        END {
            best = t["objcopy"] < t["srec_cat"] ? t["objcopy"] : t["srec_cat"]
            printf "  ours      %8.3f ms\n", t["ours"] * 1000
            printf "  objcopy   %8.3f ms\n", t["objcopy"] * 1000
            printf "  srec_cat  %8.3f ms\n", t["srec_cat"] * 1000
            printf "  ratio     %8.2fx faster than the faster of the two (target 3x)\n", best / t["ours"]
        }' "$work/$name.csv"
}
run intel ihex -intel "$work/image.hex"
run srecord srec -motorola "$work/image.srec"
