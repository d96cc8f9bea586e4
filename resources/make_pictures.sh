#!/usr/bin/env bash
# Draws the program's pictures with ImageMagick: the five printer drawings,
# the LED notice, the button faces and the program icon. The results are
# committed in pictures/, so the build never needs this script; run it again
# only to change a picture.
set -euo pipefail
cd "$(dirname "$0")/pictures"
font=DejaVu-Sans
bold=DejaVu-Sans-Bold

# printer NAME WIDTH HEIGHT BODY_COLOUR LABEL OUT [palette]
# A receipt printer seen from the front-left: body, lid seam, paper slot with
# a receipt coming out, feed button and power lamp.
printer() {
    local w=$2 h=$3 body=$4 label=$5 out=$6 kind=${7:-truecolor}
    local bottom=$((h - 8)) top=$((h / 2 - 10))
    local args=(-size "${w}x${h}" xc:white
        -fill '#d8d8d8' -stroke none
        -draw "roundrectangle 14,$((bottom - 4)) $((w - 8)),$((bottom + 4)) 6,6"
        -fill "$body" -stroke '#303030' -strokewidth 1
        -draw "roundrectangle 10,$top $((w - 12)),$bottom 10,10"
        -fill none -stroke '#505050'
        -draw "line 16,$((top + 34)) $((w - 18)),$((top + 34))"
        -fill '#202020' -stroke none
        -draw "rectangle 26,$((top + 8)) $((w - 28)),$((top + 13))"
        -fill white -stroke '#a0a0a0'
        -draw "polygon 30,$((top + 10)) $((w - 32)),$((top + 10)) $((w - 36)),12 34,12"
        -stroke '#b0b0b0'
        -draw "line 42,26 $((w - 44)),26" -draw "line 42,34 $((w - 56)),34"
        -draw "line 42,42 $((w - 48)),42" -draw "line 42,50 $((w - 60)),50"
        -fill '#606060' -stroke '#303030'
        -draw "roundrectangle $((w - 40)),$((bottom - 22)) $((w - 22)),$((bottom - 14)) 3,3"
        -fill '#30c030' -stroke none
        -draw "circle 24,$((bottom - 18)) 27,$((bottom - 18))"
        -fill '#404040' -font "$bold" -pointsize 11
        -draw "text 34,$((bottom - 12)) '$label'")
    if [ "$kind" = palette ]; then
        convert "${args[@]}" -type Palette -colors 256 -compress none BMP3:"$out"
    else
        convert "${args[@]}" -type TrueColor BMP3:"$out"
    fi
}

printer tq110 130 140 '#e8e8e0' 'TQ-110' printer_142.bmp
printer tq130 130 136 '#f0f0f0' 'TQ-130' printer_143.bmp
printer tq140f 130 134 '#c8ccd4' 'TQ-140F' printer_156.bmp
printer tq120 130 139 '#d0d4c8' 'TQ-120' printer_157.bmp
printer tq140 130 130 '#b8c0cc' 'TQ-140' printer_160.bmp palette

# The LED notice: centred lines of text on white, clear of the OK button
# that the dialog places over the picture's lower part.
convert -size 330x190 xc:white -gravity north \
    -font "$bold" -fill red -pointsize 15 -annotate +0+6 'Warnning' \
    -font "$bold" -fill red -pointsize 13 -annotate +0+26 'Check your Printer LED' \
    -font "$bold" -fill black -pointsize 25 -annotate +0+46 'Firmware Download' \
    -font "$font" -fill black -pointsize 12 -annotate +0+84 'After starting the download,' \
    -font "$font" -fill blue -pointsize 12 -annotate +0+102 'Please wait until the download is' \
    -font "$font" -fill black -pointsize 12 -annotate +0+120 'complete(LED-blinking stop).' \
    -type TrueColor BMP3:led_warning_150.bmp

# Button faces, 108x22, 4 bits per pixel over the standard 16-colour
# palette: white face inside a white margin, an outline, and a solid block
# 9 pixels wide at each end with two short white bars near its top and two
# near its bottom. Written byte by byte: ImageMagick's 4-bit output rounds
# each channel to 4 bits (light grey 192 became 187).
face() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
index, out = int(sys.argv[1]), sys.argv[2]
palette = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
white, w, h = 15, 108, 22
def colour(x, y):
    if x in (0, w - 1) or y in (0, h - 1):
        return white                      # margin
    inner = 1 < x < w - 2 and 1 < y < h - 2
    block = x <= 9 or x >= w - 10
    bar = y in (3, 5, 16, 18) and (3 <= x <= 7 or w - 8 <= x <= w - 4)
    if bar:
        return white
    return index if (block or not inner) else white
rows = b""
for y in reversed(range(h)):             # bottom-up
    nibbles = [colour(x, y) for x in range(w)]
    row = bytes(nibbles[i] << 4 | nibbles[i + 1] for i in range(0, w, 2))
    rows += row + b"\0" * (-len(row) % 4)
table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
offset = 14 + 40 + len(table)
header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(rows), 2835, 2835, 16, 0)
open(out, "wb").write(header + info + table + rows)
PY
}
face 0 button_139.bmp  # black
face 9 button_140.bmp  # red RGB(255,0,0)
face 7 button_141.bmp  # light grey RGB(192,192,192)

# Program icon: a small printer with a receipt, 32x32 and 16x16.
icon_frame() {
    local s=$1 out=$2
    convert -size 64x64 xc:none \
        -fill white -stroke '#404040' -strokewidth 2 -draw 'polygon 18,4 46,4 46,30 18,30' \
        -stroke '#808080' -strokewidth 2 -draw 'line 23,12 41,12' -draw 'line 23,19 37,19' \
        -fill '#3070c0' -stroke '#203060' -strokewidth 2 -draw 'roundrectangle 4,26 60,58 8,8' \
        -fill '#101010' -stroke none -draw 'rectangle 14,32 50,36' \
        -fill '#40e040' -draw 'circle 50,50 53,50' \
        -resize "${s}x${s}" "$out"
}
icon_frame 32 icon32.png
icon_frame 16 icon16.png
convert icon16.png icon32.png program_128.ico
rm -f icon16.png icon32.png
