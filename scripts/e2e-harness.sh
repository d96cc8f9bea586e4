# Sourced by the end-to-end scenarios (tests/e2e/scenarios/*.sh) and by
# scripts/run.sh. Gives each run: an X display, the scenarios' own Wine
# prefix with COM1 (or LPT1) mapped onto the virtual printer's pty, the
# printer, and the pilot. Everything it starts it ends by PID when the script exits.
#
#   e2e_init <win64 build dir> <run name>
#   e2e_printer [virtual printer options]   start it behind COM1 (E2E_LINK)
#   e2e_tcp_printer NAME [options]          a network printer on 127.0.0.1;
#                                           its port in E2E_TCP_PORT
#   e2e_usb_link <device name> [target]     \\?\<name> opens the printer (or target)
#   e2e_start_wine                          start the prefix's server
#   e2e_pilot <steps file>                  drive the program, 0 = all passed
#   e2e_expect_same <file> <file> <what>    compare byte for byte
#   e2e_pass / e2e_fail <why>

set -uo pipefail

E2E_WINE=/usr/lib/wine/wine64
E2E_SERVER=/usr/lib/wine/wineserver64
E2E_PIDS=()
E2E_USB_LINKS=()
E2E_FAILED=0

e2e_log() { printf '[e2e] %s\n' "$*"; }
e2e_fail() { printf '[e2e] FAIL: %s\n' "$*"; E2E_FAILED=1; }

# Unix path -> the path a Windows program under Wine sees (drive Z: is /).
e2e_winpath() {
    local p
    p=$(realpath -m "$1")
    printf 'Z:%s' "${p//\//\\}"
}

e2e_cleanup() {
    local rc=$?
    if [ -n "${E2E_PREFIX:-}" ] && [ -n "${E2E_SERVER_STARTED:-}" ]; then
        # Ends the server this run started and every program of the prefix.
        WINEPREFIX=$E2E_PREFIX "$E2E_SERVER" -k >/dev/null 2>&1 || true
    fi
    local pid
    for pid in "${E2E_PIDS[@]}"; do
        kill "$pid" 2>/dev/null && { timeout 5 tail --pid="$pid" -f /dev/null 2>/dev/null || kill -9 "$pid" 2>/dev/null; }
    done
    local link
    for link in "${E2E_USB_LINKS[@]}"; do rm -f "$link"; done
    [ -n "${E2E_LOCK_FD:-}" ] && flock -u "$E2E_LOCK_FD"
    return $rc
}

e2e_init() {
    E2E_WIN64=$(realpath "$1")
    E2E_NAME=$2
    E2E_ROOT=${E2E_ROOT_DIR:-$E2E_WIN64/e2e}
    E2E_PREFIX=$E2E_ROOT/prefix
    E2E_WORK=$E2E_ROOT/$E2E_NAME
    E2E_SHOTS=$E2E_WORK/shots
    E2E_COM1=$E2E_ROOT/com1
    E2E_LPT1=$E2E_ROOT/lpt1
    E2E_BIN=$E2E_WIN64/bin
    E2E_NATIVE=$(realpath -m "$E2E_WIN64/../native")
    mkdir -p "$E2E_ROOT"
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK" "$E2E_SHOTS"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM
    # One run at a time uses the prefix and COM1, also outside ctest.
    exec {E2E_LOCK_FD}>"$E2E_ROOT/run.lock"
    flock -w 900 "$E2E_LOCK_FD" || { e2e_fail "another run holds $E2E_ROOT/run.lock"; exit 1; }
    export WINEPREFIX=$E2E_PREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
    e2e_display
    e2e_make_prefix
}

# Windows need an X display. Scenarios get a private Xvfb even when a
# display is given: other tests' windows on a shared one could cover ours
# and spoil screenshots and pixel checks. E2E_USE_DISPLAY=1 (make run on a
# person's desktop) keeps the given one.
e2e_display() {
    if [ -n "${DISPLAY:-}" ] && [ "${E2E_USE_DISPLAY:-0}" = 1 ]; then return 0; fi
    local fd_file=$E2E_WORK/xvfb.display
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$fd_file" 2>"$E2E_WORK/xvfb.log" &
    E2E_PIDS+=($!)
    local i
    for i in $(seq 100); do
        [ -s "$fd_file" ] && break
        sleep 0.1
    done
    [ -s "$fd_file" ] || { e2e_fail "Xvfb did not start (see $E2E_WORK/xvfb.log)"; exit 1; }
    export DISPLAY=:$(head -n1 "$fd_file")
    e2e_log "private display $DISPLAY"
}

# Made once and reused: wineboot takes seconds. COM1 and LPT1 point at
# fixed links that each run aims at its printer's pty.
e2e_make_prefix() {
    if [ -f "$E2E_PREFIX/system.reg" ] && grep -q 'com1' "$E2E_PREFIX/.e2e-ports" 2>/dev/null; then
        grep -q 'lpt1' "$E2E_PREFIX/.e2e-ports" || e2e_map_lpt1 # a prefix made before LPT1
        return 0
    fi
    e2e_log "making the Wine prefix $E2E_PREFIX"
    "$E2E_WINE" wineboot -i </dev/null >"$E2E_ROOT/wineboot.log" 2>&1
    "$E2E_WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$E2E_COM1" /f \
        </dev/null >>"$E2E_ROOT/wineboot.log" 2>&1
    # Unmanaged windows: with no window manager on the display, hiding a
    # managed window stalls its program for 2 s waiting for one. A person's
    # desktop (E2E_MANAGED=1) keeps its window manager in charge.
    if [ "${E2E_MANAGED:-0}" != 1 ]; then
        "$E2E_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            </dev/null >>"$E2E_ROOT/wineboot.log" 2>&1
    fi
    "$E2E_SERVER" -w </dev/null >/dev/null 2>&1
    echo com1 >"$E2E_PREFIX/.e2e-ports"
    e2e_map_lpt1
}

e2e_map_lpt1() {
    "$E2E_WINE" reg add 'HKLM\Software\Wine\Ports' /v LPT1 /t REG_SZ /d "$E2E_LPT1" /f \
        </dev/null >>"$E2E_ROOT/wineboot.log" 2>&1
    "$E2E_SERVER" -w </dev/null >/dev/null 2>&1
    echo lpt1 >>"$E2E_PREFIX/.e2e-ports"
}

e2e_find_printer() {
    if [ -n "${E2E_VPRINTER:-}" ]; then echo "$E2E_VPRINTER"; return; fi
    find "$E2E_NATIVE" -type f -name virtual_printer -perm -u+x 2>/dev/null | head -n1
}

# Starts the virtual printer behind COM1 (behind LPT1 when E2E_LINK is
# $E2E_LPT1); its received bytes go to $E2E_WORK/received.bin and the
# host's line settings to line.txt.
e2e_printer() {
    local vp link=${E2E_LINK:-$E2E_COM1}
    vp=$(e2e_find_printer)
    [ -n "$vp" ] || { e2e_fail "no virtual_printer under $E2E_NATIVE (build the native tree)"; exit 1; }
    rm -f "$link"
    "$vp" --link "$link" --record "$E2E_WORK/received.bin" \
        --settings "$E2E_WORK/line.txt" "$@" >"$E2E_WORK/printer.out" 2>"$E2E_WORK/printer.err" &
    E2E_PIDS+=($!)
    local i
    for i in $(seq 100); do
        grep -q '^PTY ' "$E2E_WORK/printer.out" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^PTY ' "$E2E_WORK/printer.out" || {
        e2e_fail "virtual printer not ready: $(cat "$E2E_WORK/printer.err")"; exit 1; }
    e2e_log "virtual printer on $(sed -n 's/^PTY //p' "$E2E_WORK/printer.out")"
}

# Starts a virtual printer on 127.0.0.1 (a free port); its received bytes
# go to $E2E_WORK/NAME.bin, its log to NAME.err; sets E2E_TCP_PORT.
e2e_tcp_printer() {
    local name=$1 vp
    shift
    vp=$(e2e_find_printer)
    [ -n "$vp" ] || { e2e_fail "no virtual_printer under $E2E_NATIVE (build the native tree)"; exit 1; }
    "$vp" --tcp 0 --record "$E2E_WORK/$name.bin" "$@" \
        >"$E2E_WORK/$name.out" 2>"$E2E_WORK/$name.err" &
    E2E_PIDS+=($!)
    local i
    for i in $(seq 100); do
        grep -q '^TCP ' "$E2E_WORK/$name.out" 2>/dev/null && break
        sleep 0.1
    done
    E2E_TCP_PORT=$(sed -n 's/^TCP 127\.0\.0\.1://p' "$E2E_WORK/$name.out")
    [ -n "$E2E_TCP_PORT" ] || {
        e2e_fail "network printer $name not ready: $(cat "$E2E_WORK/$name.err")"; exit 1; }
    e2e_log "network printer $name on 127.0.0.1:$E2E_TCP_PORT"
}

# A USB device path for the program: Wine opens \\?\NAME through a link
# of that name in the prefix's dosdevices, here to the printer's pty.
e2e_usb_link() {
    local link=$E2E_PREFIX/dosdevices/$1
    ln -sfn "${2:-${E2E_LINK:-$E2E_COM1}}" "$link"
    E2E_USB_LINKS+=("$link")
}

# The server is started by us, with its output away from our pipes, so
# that nothing reading this script's output waits on it; the mapping of
# COM1 is made at its start.
e2e_start_wine() {
    "$E2E_SERVER" -k </dev/null >/dev/null 2>&1 || true
    "$E2E_SERVER" -p </dev/null >>"$E2E_ROOT/server.log" 2>&1
    E2E_SERVER_STARTED=1
}

# Runs the pilot with the steps file, after putting ${NAME} placeholders
# from the environment into it. The program's current directory (where
# it writes its driver file) is the run's work folder.
e2e_pilot() {
    local steps=$1 expanded=$E2E_WORK/$(basename "$1")
    export E2E_BIN_W E2E_WORK_W
    E2E_BIN_W=$(e2e_winpath "$E2E_BIN")
    E2E_WORK_W=$(e2e_winpath "$E2E_WORK")
    perl -pe 's/\$\{(\w+)\}/exists $ENV{$1} ? $ENV{$1} : die "unset $1\n"/ge' "$steps" >"$expanded" ||
        { e2e_fail "cannot expand $steps"; return 2; }
    [ -n "${E2E_SERVER_STARTED:-}" ] || e2e_start_wine
    # Into a file, not a pipe: Wine's helper processes inherit the output
    # and would hold a pipe open long after the pilot ends.
    local rc
    (cd "$E2E_WORK" && timeout 600 "$E2E_WINE" "$E2E_BIN/e2e_pilot.exe" \
        --shots "$(e2e_winpath "$E2E_SHOTS")" --script "$(e2e_winpath "$expanded")" \
        </dev/null >"$E2E_WORK/pilot.log" 2>&1)
    rc=$?
    cat "$E2E_WORK/pilot.log"
    return $rc
}

e2e_expect_same() {
    local got=$1 want=$2 what=$3
    if cmp -s "$got" "$want"; then
        e2e_log "$what: $(stat -c %s "$got") bytes, identical"
    else
        e2e_fail "$what: got $(stat -c %s "$got" 2>/dev/null || echo no) bytes, want $(stat -c %s "$want"); $(cmp "$got" "$want" 2>&1 | head -n1)"
    fi
}

e2e_pass() {
    if [ "$E2E_FAILED" -ne 0 ]; then
        e2e_log "screenshots and logs: $E2E_WORK"
        exit 1
    fi
    e2e_log "passed ($E2E_WORK)"
    exit 0
}
