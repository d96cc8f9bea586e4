#!/usr/bin/env bash
# Reads a release build back from the built files, as Windows would see
# them: the program's version resource and manifest, and each library
# carried inside it (the very bytes of the release tree's library, with its
# own version resource and no debug sections).
#   scripts/check-release.sh TRIPLE BIN_DIR VERSION
set -euo pipefail
triple=$1 bin=$2 version=$3
objdump=$triple-objdump
exe=$bin/kestrel.exe
rc=0
fail() { echo "check-release: $*" >&2; rc=1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/check-release.XXXXXX")
trap 'rm -rf "$work"' EXIT

# resource FILE TYPE OUT: the first resource of TYPE (a name such as
# IDD_DLL_COM, or a hex id such as 0x000010) written to OUT. objdump prints
# the resource tree depth first with each leaf's address (an RVA) and size;
# the .rsrc section's address and file offset turn the RVA into a file offset.
resource() {
    local file=$1 type=$2 out=$3 rsrc_vma rsrc_off base addr size
    read -r rsrc_vma rsrc_off < <($objdump -h "$file" | awk '$2 == ".rsrc" {print $4, $6}')
    base=$($objdump -p "$file" | sed -n 's/^ImageBase\s*//p')
    read -r addr size < <($objdump -p "$file" | awk -v want="$type" '
        /^The .rsrc Resource Directory section/ { in_rsrc = 1 }
        in_rsrc && /^[0-9a-f]+   Entry: / { here = index($0, "ID: " want ",") || index($0, "]: " want ",") }
        in_rsrc && here && /Leaf: Addr:/ { sub(",", "", $4); sub(",", "", $6); print $4, $6; exit }')
    [ -n "${addr:-}" ] || return 1
    dd if="$file" of="$out" bs=64K iflag=skip_bytes,count_bytes status=none \
        skip=$((addr - (0x$rsrc_vma - 0x$base) + 0x$rsrc_off)) count=$((size))
}

# The strings of a version resource are UTF-16: name, then value.
check_version() {
    local file=$1 name=$2 strings
    resource "$file" 0x000010 "$work/version" || { fail "$name has no version resource"; return; }
    strings=$(strings -el "$work/version" | tr '\n' '|')
    local want
    for want in "FileVersion|$version|" "ProductVersion|$version|" "ProductName|Kestrel|" \
        "OriginalFilename|$name|" "CompanyName|The Kestrel project|" "FileDescription|Kestrel "; do
        [[ $strings == *"$want"* ]] || fail "$name: version resource lacks '${want//|/ }' (has: ${strings//|/ })"
    done
}

no_debug() {
    local file=$1 name=$2 sections
    sections=$($objdump -h "$file" | awk '$2 ~ /^\.debug|^\.stab|^\.zdebug/ {print $2}' | tr '\n' ' ')
    [ -z "$sections" ] || fail "$name carries debug sections: $sections"
    $objdump -t "$file" 2>/dev/null | grep -q '^\[' && fail "$name carries a symbol table"
    return 0
}

check_version "$exe" kestrel.exe
no_debug "$exe" kestrel.exe

if resource "$exe" 0x000018 "$work/manifest"; then
    m=$(tr -d '\r' <"$work/manifest")
    for want in 'level="asInvoker"' '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>' \
        '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' \
        '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'; do
        [[ $m == *"$want"* ]] || fail "manifest lacks $want"
    done
    [[ $m != *Common-Controls* ]] || fail "manifest asks for common controls 6"
else
    fail "kestrel.exe has no manifest"
fi

for lib in com lpt usb; do
    type=IDD_DLL_${lib^^}
    if ! resource "$exe" "$type" "$work/$lib.dll"; then
        fail "kestrel.exe does not carry $type"; continue
    fi
    cmp -s "$work/$lib.dll" "$bin/$lib.dll" || fail "$type is not the release tree's $lib.dll"
    no_debug "$work/$lib.dll" "$type"
    check_version "$work/$lib.dll" "$lib.dll"
done
[ $rc -eq 0 ] && echo "check-release: $exe: version $version, manifest, libraries without debug sections"
exit $rc
