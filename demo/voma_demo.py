#!/usr/bin/env python3
"""Runs the native program against a simulated gamepad and a pseudo-terminal,
and prints what arrives at the far end of the "serial port", decoded, one line
per message with the time since the one before.

    demo/voma_demo.py --exe build/linux/voma-joystick --pad build/linux/demo/libvoma-demo-pad.so

Started by `scripts/run --demo`. Press Enter at the prompt (COM3 is the demo
port), watch the monitor window, close it to see the stop commands.
"""
import argparse
import os
import re
import select
import subprocess
import sys
import termios
import time
import tty

MESSAGE = re.compile(rb"JOY (-?\d+(?:,-?\d+){10})(?=JOY |RCBAPP=|$)|RCBAPP=(\d+) ")
# The JOY line's field order, as the device reads it: Aux7 comes before the
# first two button bytes, Aux6 after them.
FIELDS = ("XL", "YL", "XD", "YD", "Aux5", "Aux7", "B1", "B2", "Aux6", "B3", "B4")
AXES = ("XL", "YL", "XD", "YD", "Aux5", "Aux6", "Aux7")
BYTES = ("B1", "B2", "B3", "B4")


def describe(match, gap_ms):
    period = f"{gap_ms:6.1f} ms" if gap_ms is not None else "   first "
    if match.group(2) is not None:
        what = {b"85": "start", b"0": "stop"}.get(match.group(2), "?")
        return f"{period}  RCBAPP={match.group(2).decode()}  ({what} command)"
    values = dict(zip(FIELDS, (int(v) for v in match.group(1).split(b","))))
    sticks = " ".join(f"{n}={values[n]:6d}" for n in AXES)
    buttons = " ".join(f"{n}={values[n] & 0xFF:08b}" for n in BYTES)
    return f"{period}  JOY  {sticks}  {buttons}"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--pad", required=True, help="the simulated gamepad library")
    parser.add_argument("--cwd", default=os.path.join(os.path.dirname(__file__), "..", "samples"))
    args = parser.parse_args()

    master, slave = os.openpty()
    tty.setraw(master)  # the far end takes the bytes as they come
    port = os.ttyname(slave)
    # Our own handle on the slave keeps the pty alive before the program opens it.
    env = dict(os.environ)
    env["LD_PRELOAD"] = os.path.abspath(args.pad)
    env["VOMA_DEMO_PORT"] = port
    # The program may be an ASan build; the preloaded pad comes first and SDL's
    # own allocations are not ours to report.
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0"
    print(f"demo port {port} stands in for COM3: press Enter at the prompt.", flush=True)
    program = subprocess.Popen([os.path.abspath(args.exe)], cwd=args.cwd, env=env)

    buffer, last = b"", None
    try:
        while True:
            ready, _, _ = select.select([master], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    chunk = b""
                now = time.monotonic()
                buffer += chunk
                while True:
                    match = MESSAGE.match(buffer)
                    if match is None:
                        break
                    gap = None if last is None else (now - last) * 1000.0
                    last = now
                    print(describe(match, gap), flush=True)
                    buffer = buffer[match.end():]
                if len(buffer) > 256:  # not our protocol: show it and move on
                    print(f"?? {buffer[:80]!r}", flush=True)
                    buffer = b""
            elif program.poll() is not None:
                break
    except KeyboardInterrupt:
        program.terminate()
    program.wait()
    print(f"program exited with code {program.returncode}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
