#!/usr/bin/env bash
# Runs one command against the virtual printer on a Wine COM port (or an
# LPT port, or a USB device path).
#
# Usage: vprinter-com.sh --prefix WINEPREFIX (--com N | --lpt N | --usb NAME)
#                        [--usb-chunks NAME] [--printer PATH] [--workdir DIR]
#                        [printer options...] -- command [args...]
#
# Starts the printer (tools/virtual_printer) with --record, --settings and
# --control in the work directory plus the printer options given, maps COMN
# (or LPTN) of the prefix to its pty (registry value under
# HKLM\Software\Wine\Ports, which Wine honours at each server start, and the
# dosdevices link for the server that is already up), runs the command,
# stops the printer, undoes the mapping and exits with the command's status.
# --usb NAME links dosdevices/NAME, e.g.
#   'usb#vid_7a31&pid_0006#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}'
# so that \\?\NAME opens the printer; Wine keeps no registry entry for it.
# The printer makes that link itself, so that its unplug and plug commands
# can take it away and bring it back. --usb-chunks NAME links dosdevices/NAME
# to the printer's chunk FIFO: a device the host only reads, where each
# chunk command arrives as one short read.
#
# The command sees WINEPREFIX and
#   VPRINTER_DIR       the work directory (kept only when --workdir is given)
#   VPRINTER_PTY       the host end of the line
#   VPRINTER_RECORD    every byte the printer received
#   VPRINTER_SETTINGS  the line settings the host applied ("baud=... ixon=.. ixoff=..")
#   VPRINTER_CONTROL   the command FIFO; VPRINTER_CONTROL_WIN is its Z:\ path
#   VPRINTER_LOG       the printer's own messages
#   VPRINTER_CHUNKS    the chunk FIFO (with --usb-chunks)
# Exit status: the command's; 125 when the harness itself could not set up.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
prefix= port= nports=0 printer=${VIRTUAL_PRINTER:-} workdir= keep=0 chunkname=
popts=()
while [ $# -gt 0 ]; do
    case $1 in
        --prefix) prefix=$2; shift 2 ;;
        --com) port=COM$2; nports=$((nports + 1)); shift 2 ;;
        --lpt) port=LPT$2; nports=$((nports + 1)); shift 2 ;;
        --usb) port=USB:$2; nports=$((nports + 1)); shift 2 ;;
        --usb-chunks) chunkname=$2; shift 2 ;;
        --printer) printer=$2; shift 2 ;;
        --workdir) workdir=$2; keep=1; shift 2 ;;
        --) shift; break ;;
        *) popts+=("$1"); shift ;;
    esac
done
die() { echo "vprinter-com: $*" >&2; exit 125; }
[ -n "$prefix" ] && [ "$nports" = 1 ] && [ $# -gt 0 ] ||
    die "usage: $0 --prefix WINEPREFIX (--com N | --lpt N | --usb NAME) [--printer PATH] [--workdir DIR] [printer options] -- command..."
case $port in
    COM* | LPT*) [[ $port =~ ^(COM|LPT)[1-9][0-9]*$ ]] || die "'$port' is not a port"
                 regname=$port; devname=${port,,} ;;
    USB:?*) [[ $port != */* ]] || die "a device name has no '/'"
            regname= devname=${port#USB:} ;;
    *) die "give one of --com, --lpt, --usb" ;;
esac
[ -z "$chunkname" ] || { [[ $port == USB:* && $chunkname != */* ]] ||
    die "--usb-chunks takes a device name, with --usb"; }
[ -n "$printer" ] || printer=$root/build/native/tools/virtual_printer/virtual_printer
[ -x "$printer" ] || die "no virtual printer at $printer (build the native tree, or pass --printer)"
prefix=$(realpath -m "$prefix")

if [ -n "$workdir" ]; then
    mkdir -p "$workdir"
    workdir=$(realpath "$workdir")
else
    workdir=$(mktemp -d /tmp/vprinter-com.XXXXXX)
fi
wine_run=("$here/wine-run.sh" --prefix "$prefix")
link=$prefix/dosdevices/$devname
chunklink=${chunkname:+$prefix/dosdevices/$chunkname}
pid= pty= cmd=
# A prefix whose dosdevices folder exists before Wine made the prefix gets no
# drive C:, so Wine makes it first (through wine-run.sh, which also starts
# its server).
if [ ! -f "$prefix/system.reg" ]; then
    "${wine_run[@]}" reg query 'HKLM\Software\Wine' >/dev/null 2>&1 || die "could not make the prefix"
fi
mkdir -p "$prefix/dosdevices"
if [ -z "$regname" ]; then popts+=(--link "$link"); fi
if [ -n "$chunkname" ]; then popts+=(--chunks "$workdir/chunks"); fi

cleanup() {
    if [ -n "$cmd" ]; then kill -TERM "$cmd" 2>/dev/null || true; fi
    if [ -n "$pid" ]; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    if [ -n "$pty" ]; then
        if [ -n "$regname" ]; then
            "${wine_run[@]}" reg delete 'HKLM\Software\Wine\Ports' /v "$regname" /f >/dev/null 2>&1 || true
        fi
        if [ "$(readlink "$link" 2>/dev/null)" = "$pty" ]; then rm -f "$link"; fi
    fi
    if [ -n "$chunklink" ] && [ "$(readlink "$chunklink" 2>/dev/null)" = "$workdir/chunks" ]; then
        rm -f "$chunklink"
    fi
    [ "$keep" = 1 ] || rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The idle limit only catches a printer whose harness died with it: a command
# that stays silent longer than this on the line is not a use we have; an
# --idle-exit among the printer options overrides it.
"$printer" --record "$workdir/record.bin" --settings "$workdir/settings.txt" \
    --control "$workdir/control" --idle-exit 300 "${popts[@]}" \
    >"$workdir/printer.out" 2>"$workdir/printer.log" </dev/null &
pid=$!
for _ in $(seq 100); do
    grep -q '^PTY ' "$workdir/printer.out" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || { cat "$workdir/printer.log" >&2; pid=; die "the printer did not start"; }
    sleep 0.1
done
pty=$(sed -n 's/^PTY //p' "$workdir/printer.out")
[ -n "$pty" ] || die "no ready line from the printer within 10 s"

# reg also starts the prefix's server (through wine-run.sh) if it is not up.
if [ -n "$regname" ]; then
    "${wine_run[@]}" reg add 'HKLM\Software\Wine\Ports' /v "$regname" /t REG_SZ /d "$pty" /f \
        >/dev/null 2>&1 || die "could not map $regname in the registry"
fi
if [ -n "$regname" ]; then ln -sfn "$pty" "$link"; fi
if [ -n "$chunklink" ]; then ln -sfn "$workdir/chunks" "$chunklink"; fi

export WINEPREFIX=$prefix VPRINTER_DIR=$workdir VPRINTER_PTY=$pty
export VPRINTER_RECORD=$workdir/record.bin VPRINTER_SETTINGS=$workdir/settings.txt
export VPRINTER_CONTROL=$workdir/control VPRINTER_LOG=$workdir/printer.log
export VPRINTER_CONTROL_WIN="Z:${workdir//\//\\}\\control"
if [ -n "$chunkname" ]; then export VPRINTER_CHUNKS=$workdir/chunks; fi
# In the background so that a signal to the harness is handled at once
# (bash runs traps only after a foreground command ends); the command is
# ended with it.
status=0
"$@" </dev/null &
cmd=$!
wait "$cmd" || status=$?
cmd=
exit $status
