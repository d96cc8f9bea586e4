#!/usr/bin/env bash
# Keeps the layout honest: a file's suffix says which system it needs, and
# includes run downward only. Fails, naming each offence, when
#  - a file outside the rooms that are Windows by nature includes a Windows
#    header without a `_win` suffix (or a POSIX-only header without `_posix`
#    or `_linux`), or
#  - a room includes a room that is not below it.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each room and the rooms it may include (its own is always allowed).
declare -A below=(
    [resources]=""
    [drivers/common]=""
    [drivers/com]="drivers/common"
    [drivers/lpt]="drivers/common"
    [drivers/usb]="drivers/common"
    [firmware]=""
    [framework]="resources"
    [download]="firmware framework drivers/common"
    [ports]="download firmware framework drivers/common"
    [driver_host]="download firmware framework drivers/common resources"
    [config]="download firmware framework drivers/common resources"
    [console]="config ports driver_host download firmware framework drivers/common resources"
    [app]="config ports driver_host download firmware framework drivers/common resources"
)
# Windows by nature: their opening comment says so, their files need no suffix.
windows_rooms='^(framework|app|drivers|resources)/'
windows_headers='windows|winsock2|ws2tcpip|commctrl|commdlg|setupapi|winspool|timeapi|mmsystem|dbt|winioctl|shellapi|shlobj|objbase|winreg|winbase|winuser|wingdi|tlhelp32|psapi|initguid|devguid|usbiodef|ntddpar|io|process|conio'
posix_headers='unistd|termios|poll|pthread|dirent|pty|sys/(mman|ioctl|socket|select|epoll|wait|file|un)|linux/[a-z_]+|netinet/[a-z_]+|arpa/inet|netdb|cups/[a-z_]+|libudev'

# The system headers a file includes unconditionally: one behind
# `#if defined(__linux__)` is a hint the file can do without elsewhere.
plain_includes() {
    awk '/^[ \t]*#[ \t]*if/ { depth++ } /^[ \t]*#[ \t]*endif/ { depth-- }
         depth == 0 && /^[ \t]*#[ \t]*include[ \t]*</ { print }' "$1"
}

fails=0
offence() { echo "layout: $*" >&2; fails=$((fails + 1)); }

for room in "${!below[@]}"; do
    [ -d "$room" ] || continue
    while IFS= read -r file; do
        base=${file##*/}
        stem=${base%.*}
        includes=$(plain_includes "$file")
        if ! [[ $file =~ $windows_rooms ]] && [[ ! $stem =~ _win$ ]] &&
            grep -qiE "<($windows_headers)\.h>" <<<"$includes"; then
            offence "$file includes a Windows header but has no _win suffix"
        fi
        if [[ ! $stem =~ _(posix|linux|win)$ ]] &&
            grep -qE "<($posix_headers)\.h>" <<<"$includes"; then
            offence "$file includes a POSIX header but has no _posix or _linux suffix"
        fi
        while IFS= read -r target; do
            other=${target%/*}
            [ "$other" = "$room" ] && continue
            # Only rooms of ours count; a nested room names its parent too.
            [ -n "${below[$other]+set}" ] || continue
            [[ " ${below[$room]} " == *" $other "* ]] ||
                offence "$file includes $target: $other is not below $room"
        done < <(sed -nE 's/^\s*#\s*include\s*"([a-z_]+(\/[a-z_]+)*\/[a-z_0-9]+\.h)".*/\1/p' "$file")
    done < <(find "$room" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
done
[ "$fails" -eq 0 ] || { echo "layout: $fails offence(s)" >&2; exit 1; }
