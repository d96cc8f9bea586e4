#!/usr/bin/env python3
"""A stand-in printer on a pty for the serial driver tests under Wine.

Usage: com_peer.py LINK CONTROL_DIR
Makes a pty pair, points LINK (a Wine dosdevices/comN entry) at the device
end, records every byte the driver sends into CONTROL_DIR/received.bin and
obeys commands that the Windows test drops into CONTROL_DIR as cmdN files
(answered in ackN): send HEX, stop (stop reading), resume, termios, count,
unlink, link, quit.
"""
import os
import select
import sys
import termios
import time
import tty

SPEEDS = {getattr(termios, "B%d" % b): b for b in
          (300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400)}


def write_atomic(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.rename(tmp, path)


def main():
    link, ctl = sys.argv[1], sys.argv[2]
    master, slave = os.openpty()
    tty.setraw(slave)
    slave_name = os.ttyname(slave)

    def make_link():
        tmp = link + ".peer"
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(slave_name, tmp)
        os.rename(tmp, link)

    make_link()
    received = open(os.path.join(ctl, "received.bin"), "wb")
    total = 0
    reading = True
    seq = 0
    write_atomic(os.path.join(ctl, "ready"), slave_name)
    deadline = time.monotonic() + 900  # never outlive a hung harness
    while time.monotonic() < deadline:
        r, _, _ = select.select([master] if reading else [], [], [], 0.01)
        if r:
            try:
                data = os.read(master, 65536)
            except OSError:
                data = b""
            if data:
                received.write(data)
                received.flush()
                total += len(data)
        cmd_path = os.path.join(ctl, "cmd%d" % seq)
        if not os.path.exists(cmd_path):
            continue
        with open(cmd_path) as f:
            words = f.read().split()
        answer = "ok"
        if not words:
            answer = "empty"
        elif words[0] == "send":
            os.write(master, bytes.fromhex("".join(words[1:])))
        elif words[0] == "stop":
            reading = False
        elif words[0] == "resume":
            reading = True
        elif words[0] == "termios":
            iflag, _, _, _, _, ospeed, _ = termios.tcgetattr(slave)
            answer = "baud=%d ixon=%d ixoff=%d" % (
                SPEEDS.get(ospeed, -1), bool(iflag & termios.IXON), bool(iflag & termios.IXOFF))
        elif words[0] == "count":
            answer = str(total)
        elif words[0] == "unlink":
            os.unlink(link)
        elif words[0] == "link":
            make_link()
        elif words[0] == "quit":
            write_atomic(os.path.join(ctl, "ack%d" % seq), answer)
            return
        else:
            answer = "unknown"
        write_atomic(os.path.join(ctl, "ack%d" % seq), answer)
        seq += 1


if __name__ == "__main__":
    main()
