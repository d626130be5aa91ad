"""The real native program on a real X server (Xvfb): the port prompt
answered from the keyboard, a simulated gamepad (SDL's virtual joystick,
brought in by the demonstration's preload) and a pseudo-terminal as the port.

Checks the prompt and the monitor window on screen, the stream at the far
end of the pty (start command, well-formed JOY lines following the moving
pad, at least a pause apart), the monitor picture read back from the screen,
and the end: close request, at most the lines of the tick in progress and
the one after it, both stop commands, exit code 0.

Usage: native_e2e.py <voma-joystick> <libvoma-demo-pad.so> <samples dir> <artifacts dir>
Exit code 77 (skipped) only when there is no Xvfb on this machine.
"""

import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import threading
import time
import tty
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xvfb_no_controller import Failure, SKIPPED, press, start_xvfb, titled_windows  # noqa: E402

PROMPT_TITLE = "VOMA PC Joysticks"
MONITOR_TITLE = "VOMA PC Joystick V:1.00"
MESSAGE = re.compile(rb"RCBAPP=(\d+) |JOY (-?\d+(?:,-?\d+){10})(?=JOY |RCBAPP=|$)")


class PtyPort:
    """The far end of the port: every byte with its arrival time."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)
        self.chunks = []
        self.lock = threading.Lock()
        self.stopping = False
        self.thread = threading.Thread(target=self._collect, daemon=True)
        self.thread.start()

    def _collect(self):
        while not self.stopping:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if ready:
                try:
                    data = os.read(self.master, 4096)
                except OSError:
                    return
                with self.lock:
                    self.chunks.append((time.monotonic(), data))

    def messages(self):
        """[(arrival time, "start"/"stop"/"joy", fields)], and what is left over."""
        with self.lock:
            chunks = list(self.chunks)
        data, times = b"", []
        for when, chunk in chunks:
            data += chunk
            times.extend([when] * len(chunk))
        found, at = [], 0
        while at < len(data):
            match = MESSAGE.match(data, at)
            if match is None:
                break
            if match.group(1) is not None:
                kind = {b"85": "start", b"0": "stop"}.get(match.group(1), "other")
                fields = None
            else:
                kind, fields = "joy", [int(v) for v in match.group(2).split(b",")]
            found.append((times[match.end() - 1], kind, fields))
            at = match.end()
        return found, data[at:]

    def close(self):
        self.stopping = True
        self.thread.join()
        os.close(self.master)
        os.close(self.slave)


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise Failure(f"timed out after {timeout} s waiting for {what}")


def grab(disp, window):
    """The window's client area as rows of (r, g, b) tuples, and its origin."""
    from Xlib import X
    root = disp.screen().root
    geometry = window.get_geometry()
    at = window.translate_coords(root, 0, 0)
    x, y = -at.x, -at.y
    image = root.get_image(x, y, geometry.width, geometry.height, X.ZPixmap, 0xFFFFFFFF)
    data = image.data if isinstance(image.data, bytes) else image.data.encode("latin-1")
    stride = len(data) // geometry.height
    rows = []
    for r in range(geometry.height):
        line = data[r * stride:r * stride + 4 * geometry.width]
        rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 4)])
    return (x, y, geometry.width, geometry.height), rows


def save_png(rows, path):
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n"
                  + chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def request_close(disp, window):
    from Xlib import X, protocol
    protocols = disp.intern_atom("WM_PROTOCOLS")
    delete = disp.intern_atom("WM_DELETE_WINDOW")
    event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                         data=(32, [delete, X.CurrentTime, 0, 0, 0]))
    window.send_event(event, event_mask=X.NoEventMask)
    disp.flush()


def check_picture(rows, checks):
    green, black = (0, 255, 90), (0, 0, 0)
    # Both outlines, every pixel of their four sides.
    for left in (25, 173):
        for i in range(128):
            for x, y in ((left + i, 27), (left + i, 154), (left, 27 + i), (left + 127, 27 + i)):
                if rows[y][x] != green:
                    raise Failure(f"outline pixel ({x}, {y}) is {rows[y][x]}, not {green}")
    # The black field between and below the fields, and right of the lamps.
    for x, y in ((160, 60), (165, 150), (10, 100), (320, 100), (325, 10), (329, 199), (5, 195)):
        if rows[y][x] != black:
            raise Failure(f"field pixel ({x}, {y}) is {rows[y][x]}, not black")
    # Lamps, read above their numbers: grey, or red for the one button down.
    lamps = [rows[2][20 * i - 10] for i in range(1, 17)]
    if any(colour not in ((255, 0, 0), (128, 128, 128)) for colour in lamps):
        raise Failure(f"lamp colours {lamps}")
    if lamps.count((255, 0, 0)) > 1:
        raise Failure(f"more than one lamp red while the pad presses one button at a time: {lamps}")
    # Cyan label text in each label row.
    for x0, y0 in ((50, 156), (50, 176), (230, 156), (230, 176)):
        cells = [rows[y][x] for y in range(y0, y0 + 16) for x in range(x0, x0 + 40)]
        if (0, 255, 255) not in cells:
            raise Failure(f"no cyan label text at ({x0}, {y0})")
    # Each stick's dot somewhere inside its field, in its own colour.
    for name, colour, left in (("left", (0, 255, 0), 25), ("right", (255, 0, 0), 173)):
        inside = [rows[y][x] for y in range(28, 154) for x in range(left + 1, left + 127)]
        if inside.count(colour) < 25:
            raise Failure(f"the {name} dot is not in its field ({inside.count(colour)} pixels)")
    checks.append("frame, outlines, dots, lamps and labels on screen")


def run(exe, pad, samples, artifacts):
    from Xlib import X
    from Xlib import display as xdisplay
    checks = []
    display_name, xvfb = start_xvfb()
    port = PtyPort()
    disp = xdisplay.Display(display_name)
    atoms = {name: disp.intern_atom(name) for name in ("_NET_WM_NAME", "UTF8_STRING", "WM_NAME")}
    env = dict(os.environ, DISPLAY=display_name, LD_PRELOAD=pad, VOMA_DEMO_PORT=port.path,
               ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=0")
    env.pop("SDL_VIDEODRIVER", None)
    errors = open(os.path.join(artifacts, "native_e2e.stderr.txt"), "w+b")
    proc = subprocess.Popen([exe], cwd=samples, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=errors)
    try:
        prompt = wait_for(lambda: titled_windows(disp, atoms).get(PROMPT_TITLE), 10, "the port prompt")
        wait_for(lambda: prompt.get_attributes().map_state == X.IsViewable, 5, "the prompt on screen")
        time.sleep(0.2)
        if port.messages()[0]:
            raise Failure("something reached the port before the prompt was answered")
        press(disp, prompt, "Return")  # the default "3": COM3, which the preload points at the pty
        monitor = wait_for(lambda: titled_windows(disp, atoms).get(MONITOR_TITLE), 10, "the monitor window")
        wait_for(lambda: len([m for m in port.messages()[0] if m[1] == "joy"]) >= 40, 10, "40 JOY lines")

        # The stream first, taken while this script has done nothing but wait,
        # so the reader thread's arrival times are sharp.
        messages, _ = port.messages()
        if messages[0][1] != "start" or any(kind != "joy" for _, kind, _ in messages[1:]):
            raise Failure(f"the stream does not start with RCBAPP=85 and go on with JOY lines: {messages[:3]}")
        joys = [m for m in messages if m[1] == "joy"]
        for _, _, f in joys:
            sticks, buttons = f[0:6] + [f[8]], [f[6], f[7], f[9], f[10]]
            if any(not -1000 <= v <= 1000 for v in sticks) or any(not 0 <= v <= 255 for v in buttons):
                raise Failure(f"JOY fields out of range: {f}")
            if bin(f[6]).count("1") + bin(f[7]).count("1") > 1:
                raise Failure(f"more than one button down at once: {f}")
        if len({tuple(f[0:4]) for _, _, f in joys}) < 10:
            raise Failure("the JOY lines do not follow the moving sticks")
        gaps = [(b[0] - a[0]) * 1000 for a, b in zip(joys, joys[1:])]
        # A pause is at least its length; arrival times on the pty add a little jitter.
        if min(gaps) < 22.5:
            raise Failure(f"two JOY lines only {min(gaps):.1f} ms apart")
        checks.append(f"start command, then {len(joys)} JOY lines following the pad, smallest gap {min(gaps):.1f} ms")

        (x, y, width, height), rows = grab(disp, monitor)
        save_png(rows, os.path.join(artifacts, "native_monitor.png"))
        if (width, height) != (330, 200):
            raise Failure(f"client area {width} x {height}, not 330 x 200")
        if (x, y) != (100, 100):
            raise Failure(f"client area at ({x}, {y}); with no window manager it must be at (100, 100)")
        checks.append("monitor window 330 x 200 at (100, 100)")
        check_picture(rows, checks)

        time.sleep(0.2)  # let the reader catch up with what came during the picture checks
        sent = time.monotonic()
        request_close(disp, monitor)
        code = proc.wait(timeout=10)
        time.sleep(0.2)
        messages, rest = port.messages()
        after = [kind for when, kind, _ in messages if when > sent]
        # The tick under way when the request came, if any, and one more. A
        # line that arrives within 2 ms of the request may have been written
        # just before it; the exact count is the in-process test's job.
        clear = [kind for when, kind, _ in messages if when > sent + 0.002 and kind == "joy"]
        if rest or after[-2:] != ["stop", "stop"] or after[:-2] != ["joy"] * (len(after) - 2) or \
                not 1 <= len(after) - 2 <= 3 or len(clear) > 2:
            raise Failure(f"after the close request: {after} (left over {rest!r})")
        stops = [when for when, kind, _ in messages if kind == "stop"]
        if (stops[1] - stops[0]) * 1000 < 45:
            raise Failure(f"the stop commands only {(stops[1] - stops[0]) * 1000:.1f} ms apart")
        if code != 0:
            errors.seek(0)
            raise Failure(f"exit code {code}; stderr:\n" + errors.read().decode("utf-8", "replace")[-4000:])
        checks.append(f"close request: {len(after) - 2} more JOY line(s), two stops, exit code 0")
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        disp.close()
        port.close()
        errors.close()
        os.killpg(xvfb.pid, signal.SIGTERM)
        xvfb.wait()
    for check in checks:
        print(f"ok: {check}")


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    if shutil.which("Xvfb") is None:
        print("SKIP: Xvfb is not installed")
        return SKIPPED
    exe, pad, samples, artifacts = (os.path.abspath(a) for a in sys.argv[1:])
    os.makedirs(artifacts, exist_ok=True)
    try:
        run(exe, pad, samples, artifacts)
    except Failure as failure:
        print(f"FAIL: {failure}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
