#!/usr/bin/env bash
# make dist: the zips a Windows user downloads, from release trees of their
# own (the test trees keep their debug information).
#   scripts/dist.sh BUILD_DIR DIST_DIR
# Builds only the program (and so its three libraries) in build/release-win64
# and build/release-win32, checks what was built, reports the sizes, and
# writes DIST_DIR/kestrel-VERSION-win64.zip, -win32.zip and SHA256SUMS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
B=$(realpath -m "${1:-build}")
out=$(realpath -m "${2:-$root/dist}")
jobs=${JOBS:-$(nproc)}

for arch in win64 win32; do
    cmake --build "$B/release-$arch" -j "$jobs" --target kestrel
done
version=$(cat "$B/release-win64/version.txt")
[ "$(cat "$B/release-win32/version.txt")" = "$version" ] ||
    { echo "dist: the two release trees were configured from different versions; reconfigure them" >&2; exit 1; }

"$root/scripts/check-static.sh" "$B/release-win64/bin" "$B/release-win32/bin"
"$root/scripts/check-release.sh" x86_64-w64-mingw32 "$B/release-win64/bin" "$version"
"$root/scripts/check-release.sh" i686-w64-mingw32 "$B/release-win32/bin" "$version"

# A report, not a gate: the limits are for the x86_64 files.
echo "dist: sizes (limits for win64: kestrel.exe 1,536 KiB with its libraries inside, each library 250 KiB)"
for arch in win64 win32; do
    for f in kestrel.exe com.dll lpt.dll usb.dll; do
        size=$(stat -c %s "$B/release-$arch/bin/$f")
        limit=$((250 * 1024)); [ $f = kestrel.exe ] && limit=$((1536 * 1024))
        note=
        [ $arch = win64 ] && [ "$size" -gt $limit ] && note="  OVER THE LIMIT by $((size - limit)) bytes"
        # The type names of the C++ library's locale facets and stream base
        # survive stripping: their presence means its stream and locale code
        # (about 700 KB) came in, through a <fstream> or <sstream> somewhere.
        if grep -q -a -e 'NSt6locale5facetE' -e 'St8ios_base' "$B/release-$arch/bin/$f"; then
            note="$note  (carries C++ stream/locale code)"
        fi
        printf '  %-5s %-11s %9d bytes  %5d KiB%s\n' $arch $f "$size" $(((size + 1023) / 1024)) "$note"
    done
done

# The same sources give the same zips: fixed file times, no extra fields.
stamp=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
stage=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-dist.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
zips=()
for arch in win64 win32; do
    dir=$stage/$arch
    mkdir -p "$dir"
    cp "$B/release-$arch/bin/kestrel.exe" "$dir/"
    # Notepad on older Windows shows a file without carriage returns as one line.
    sed "s/@VERSION@/$version/; s/\$/\r/" "$root/docs/user-guide.txt" >"$dir/user-guide.txt"
    touch -d "@$stamp" "$dir"/*
    zip=kestrel-$version-$arch.zip
    rm -f "$out/$zip"
    (cd "$dir" && TZ=UTC zip -q -X -9 "$out/$zip" kestrel.exe user-guide.txt)
    zips+=("$zip")
done
(cd "$out" && sha256sum "${zips[@]}" >SHA256SUMS)
echo "dist: $out"
(cd "$out" && for z in "${zips[@]}"; do printf '  %-28s %9d bytes\n' "$z" "$(stat -c %s "$z")"; done)
echo "  SHA256SUMS"
