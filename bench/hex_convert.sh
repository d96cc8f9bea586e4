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
    hyperfine -N --warmup 5 --min-runs 30 --export-json "$work/$name.json" \
        -n ours "$ours $in $work/out.fls" \
        -n objcopy "objcopy -I $ifmt -O binary $in $work/out_objcopy.bin" \
        -n srec_cat "srec_cat $in $srcfmt -fill 0xFF 0 0x40000 -o $work/out_srec_cat.bin -binary" \
        >/dev/null
    jq -r '
        (.results | map({key: .command, value: .median}) | from_entries) as $t
        | ([$t.objcopy, $t.srec_cat] | min) as $best
        | "  ours      \($t.ours * 1000 | . * 1000 | round / 1000) ms",
          "  objcopy   \($t.objcopy * 1000 | . * 1000 | round / 1000) ms",
          "  srec_cat  \($t.srec_cat * 1000 | . * 1000 | round / 1000) ms",
          "  ratio     \($best / $t.ours | . * 100 | round / 100)x faster than the faster of the two (target 3x)"
    ' "$work/$name.json"
}
run intel ihex -intel "$work/image.hex"
run srecord srec -motorola "$work/image.srec"
