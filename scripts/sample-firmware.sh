#!/usr/bin/env bash
# Makes sample firmware of our own (never a vendor's) for trying the
# program and for the end-to-end scenarios:
#   sample-<N>.fls          N pseudo-random bytes (fixed seed), sent unchanged
#   sample.hex              Intel records of 40,000 pseudo-random bytes at 0
#   sample.hex.image        what the program must send for sample.hex: the
#                           header 1B 23 6D 6B and the 256 KiB flash image,
#                           0xFF where the records put nothing
# Usage: sample-firmware.sh OUTDIR [FLS_BYTES]   (default 100000)
set -euo pipefail
out=${1:?usage: $0 OUTDIR [FLS_BYTES]}
fls_bytes=${2:-100000}
hex_bytes=40000   # under 64 KiB: plain Intel records need no segment record
mkdir -p "$out"

# Our own generator rather than a system one, so the bytes are the same on
# every machine and every Perl.
pseudo_random() { # bytes seed
    perl -e 'my ($n, $x) = @ARGV; binmode STDOUT;
             my $buf = "";
             for (1 .. $n) { $x = (1103515245 * $x + 12345) % 2147483648;
                             $buf .= chr(($x >> 16) & 0xFF); }
             print $buf;' "$1" "$2"
}

pseudo_random "$fls_bytes" 1109 >"$out/sample-$fls_bytes.fls"
pseudo_random "$hex_bytes" 4242 >"$out/sample.bin"
objcopy -I binary -O ihex "$out/sample.bin" "$out/sample.hex"
{
    printf '\x1b\x23\x6d\x6b'
    cat "$out/sample.bin"
    head -c $((262144 - hex_bytes)) /dev/zero | tr '\0' '\377'
} >"$out/sample.hex.image"
rm -f "$out/sample.bin"
echo "$out/sample-$fls_bytes.fls"
echo "$out/sample.hex"
