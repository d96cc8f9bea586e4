#!/usr/bin/env bash
# Several printers at once with kestrelc: four serial printers at 115200
# (virtual printers reading at the line's pace) against one, each flashed
# with a 262,148-byte image including its closing wait. Target: four take
# at most 1.05 x the time of one. Reports; never fails on a missed target.
#
# Usage: bench/kestrelc_batch.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath "${1:-$root/build}")
printer=$B/native/tools/virtual_printer/virtual_printer
exe=$B/win64/bin/kestrelc.exe
for f in "$printer" "$exe"; do
    [ -e "$f" ] || { echo "kestrelc_batch: missing $f (build first)" >&2; exit 1; }
done
work=$(mktemp -d /tmp/kestrelc_batch.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c 262148 /dev/urandom >"$work/fw.fls"
fw="Z:${work//\//\\}\\fw.fls"
export WINEPREFIX=$B/win64/wineprefix
harness=$root/scripts/vprinter-com.sh

# Nests one harness per printer (COM71..), then times kestrelc alone on all
# of them: the harnesses' own set-up and tear-down are not the program's.
flash() {  # N
    local n=$1 ports= cmd i
    for i in $(seq 71 $((70 + n))); do ports+=${ports:+,}COM$i; done
    cmd=(bash -c 'start=$(date +%s.%N); "$@"; rc=$?; end=$(date +%s.%N)
                  python3 -c "print($end - $start)" >"$0"; exit $rc' "$work/time.$n"
         "$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$exe" --model TQ-110 --port "$ports"
         --baud 115200 --quiet "$fw")
    for i in $(seq 71 $((70 + n))); do
        cmd=("$harness" --prefix "$WINEPREFIX" --com "$i" --printer "$printer" --rate line -- "${cmd[@]}")
    done
    "${cmd[@]}" >"$work/out.$n" || { echo "  $n printer(s) failed:"; cat "$work/out.$n"; } >&2
    cat "$work/time.$n"
}
# Warm the prefix's server so neither run pays for its start.
"$root/scripts/wine-run.sh" --prefix "$WINEPREFIX" "$exe" --version >/dev/null
one=$(flash 1)
four=$(flash 4)
python3 -c "print(f'  one printer:  {$one:6.1f} s\n  four at once: {$four:6.1f} s\n'
              f'  ratio: {$four / $one:.3f} (target at most 1.05)')"
