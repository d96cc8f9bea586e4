#!/usr/bin/env bash
# Fails when a shipped binary imports anything but Windows system DLLs
# (a forgotten -static would drag in libstdc++, libgcc or winpthread DLLs).
set -euo pipefail
allowed='^(kernel32|user32|gdi32|comdlg32|comctl32|advapi32|shell32|ole32|oleaut32|ws2_32|winspool\.drv|setupapi|msvcrt|winmm|version|shlwapi|uxtheme|imm32|ntdll|api-ms-win-[a-z0-9-]+)(\.dll)?$'
rc=0
for dir in "$@"; do
    for f in "$dir"/kestrel.exe "$dir"/com.dll "$dir"/lpt.dll "$dir"/usb.dll; do
        [ -f "$f" ] || { echo "check-static: missing $f" >&2; rc=1; continue; }
        while read -r dll; do
            if ! echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
                echo "check-static: $f imports $dll" >&2; rc=1
            fi
        done < <(objdump -p "$f" | sed -n 's/^\s*DLL Name: //p')
    done
done
exit $rc
