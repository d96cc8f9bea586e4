#!/usr/bin/env bash
# Makes the golden hexadecimal files from firmware.bin with other tools
# (binutils objcopy and srecord's srec_cat), so the converter is checked
# against records it did not write itself. Run once; the results are
# committed. firmware.bin is 24 KiB of fixed pseudo-random bytes placed at
# 0x2E000, so that the data crosses a 64 KiB boundary.
set -euo pipefail
cd "$(dirname "$0")"
python3 -c '
import random, sys
r = random.Random(20261207)
sys.stdout.buffer.write(bytes(r.randrange(256) for _ in range(0x6000)))
' > firmware.bin
base=0x2E000
# Intel, extended segment address (02) records.
objcopy -I binary -O ihex --change-addresses "$base" firmware.bin objcopy_segment.hex
# Intel, extended linear address (04) records.
srec_cat firmware.bin -binary -offset "$base" -o srec_cat_linear.hex -intel
# Motorola S3 (32-bit addresses).
objcopy -I binary -O srec --srec-forceS3 --change-addresses "$base" firmware.bin objcopy_s3.srec
# Motorola S2 (24-bit addresses), with srec_cat's S0 header line.
srec_cat firmware.bin -binary -offset "$base" -o srec_cat_s2.srec -motorola -address-length=3
