"""End-to-end harness for voma-joystick under wine.

Running: `ctest --test-dir build/windows -L e2e` (after building the windows
preset). The fixture tests set the suite up and tear it down around any
selection, e.g. `-R e2e_happy`. What each run saw stays in
build/windows/e2e/runs/<scenario>/<case>/: the byte stream with timestamps,
the stand-in call log, the termios log, wine's stderr, a window screenshot.

How it works
------------
* One wine prefix per build (<build>/e2e/prefix) and one Xvfb for the whole
  suite, made by the CTest fixture test "e2e_setup" and ended by
  "e2e_cleanup" (`wineserver -k`; Xvfb by its recorded pid). The prefix is
  reused while its stamp file and registry settings match. A persistent
  wineserver makes every later wine start take well under a second.
* Prefix settings: the X11 driver's "Managed"="N" (no window manager under
  Xvfb: wine places and focuses its windows itself instead of waiting on WM
  round trips). A crash must be a plain non-zero exit, but removing AeDebug
  "Debugger" is not enough in wine 8: it falls back to `winedbg --auto`, which
  waits in its crash dialog for a click that never comes, and with the dialog
  off it ends the process with exit code 0 about half of the time. So
  "Debugger" names a program that does not exist: wine prints the fault to
  the program's stderr and the process ends with the low byte of the
  exception code (5 for an access violation).
* COM3: HKLM\\Software\\Wine\\Ports "COM3" names a path of our own
  (<build>/e2e/com3) and dosdevices/com3 points there too; each test re-points
  that one symlink at a fresh pseudo-terminal. Wine's mount manager numbers
  the machine's real serial ports (ttyS*, ttyUSB*, ttyACM*) into com1, com2,
  ... whenever it starts and overwrites those dosdevices links, but it never
  hands out a number the Ports key names, so COM3 stays ours on any machine
  and no registry write or wineserver restart is needed per test.
* The pty is preset to 9600 baud, two stop bits, RTS/CTS and XON/XOFF both
  ways, so the settings show what the program changed and what it kept.
  tools/termios_shim.c is LD_PRELOADed into wine (the serial ioctls run in the
  program's own unix side and end in tcsetattr) and logs every request. A pty
  forces CS8 and no parity, so the shim remembers each request and answers
  tcgetattr with it, as a real UART would; it also plays the modem lines a
  pty lacks, which is where "RTS held off" shows.
* The pty master is read by a child process at real-time priority that
  timestamps every chunk (CLOCK_MONOTONIC), so a busy test process cannot
  shrink the measured gaps. The stream has no terminators: it is cut where
  "RCBAPP=" or "JOY " begins.
* The controller DLLs the program loads by name are our stand-ins
  (standins/), built next to the exe and chosen by
  WINEDLLOVERRIDES="dinput,xinput9_1_0=n" (without it wine uses its builtin
  ones even when a DLL of that name sits beside the exe). They answer from a
  key=value file that the test rewrites while the program runs (by rename;
  re-read on every call) and append every call to a log:
    di.devices=0..2   di.product.N={GUID}   di.range_hr.x|y|z|rx|ry|rz=HRESULT
    di.x .. di.rz, di.pov, di.buttons=b0,b1,...   di.fail=1 (reads fail and
    the device loses its acquisition, as when unplugged)
    xi.connected=f0,f1,f2,f3   xi.lx xi.ly xi.rx xi.ry xi.lt xi.rt xi.buttons
    block=1 + block.release=<Windows path>: the next snapshot call waits for
    that file (10 s at most), so a close request can land inside a tick.
* Dialogs are answered with xdotool only once the dialog's X window exists
  and holds the keyboard focus. What a window shows (caption, texts, buttons,
  icon, edit contents and caret, focus, placement, the button-face colour) is
  read from inside wine by tools/wininspect.cpp; MessageBoxW texts are also
  taken from WINEDEBUG=trace+msgbox. Close requests are WM_DELETE_WINDOW
  client messages, as a window manager's close box sends them.
"""

import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import termios
import threading
import time
import zlib
from dataclasses import dataclass
from pathlib import Path

from Xlib import X, Xatom, display as xdisplay, error as xerror, protocol

PREFIX_RECIPE = "voma-e2e prefix 3"
# AeDebug "Debugger": a program that does not exist (see the top of this file).
NO_DEBUGGER = "voma-e2e-no-debugger"
SKIPPED_PRODUCT = "{02A1045E-0000-0000-0000-504944564944}"
ERROR_DEVICE_NOT_CONNECTED = 1167
# No mono/gecko install dialogs and no desktop menu entries, in every wine start.
WINE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
# The program under test also gets our controller stand-ins, never wine's own.
PROGRAM_OVERRIDES = "dinput,xinput9_1_0=n;" + WINE_OVERRIDES


# Wine, started with address-space randomisation off: now and then a random
# layout puts something where wine must map its shared user data
# ("failed to map the shared user data"), and the process dies at birth.
WINE = ["setarch", "x86_64", "-R", "wine"]


class Failure(Exception):
    pass


def log(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", flush=True)


def wait_for(predicate, timeout, what, interval=0.02):
    """Polls `predicate` until it returns something truthy; fails after `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


# --------------------------------------------------------------------------
# Suite configuration, fixture setup and cleanup


@dataclass
class Config:
    work: Path     # <build>/e2e: prefix, suite record, per-test run folders
    exe: Path      # voma-joystick.exe
    tools: Path    # folder of the exe, the stand-in DLLs and our helper exes
    shim: Path     # termios_shim.so

    @property
    def prefix(self):
        return self.work / "prefix"

    @property
    def com3(self):
        return self.work / "com3"

    @property
    def record(self):
        return self.work / "suite.json"

    def wine_env(self, display, **extra):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "VOMA_", "LD_PRELOAD"))}
        env.update(WINEPREFIX=str(self.prefix), DISPLAY=display, LANG="C.UTF-8", LC_ALL="C.UTF-8",
                   WINEDEBUG="-all", WINEDLLOVERRIDES=WINE_OVERRIDES)
        env.update(extra)
        return env

    def suite(self):
        if not self.record.exists():
            raise Failure(f"{self.record} is missing: the e2e_setup fixture has not run")
        return json.loads(self.record.read_text())


def _process_is(pid, name):
    try:
        return Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0].endswith(name.encode())
    except OSError:
        return False


def _stop_xvfb(cfg):
    if not cfg.record.exists():
        return
    pid = json.loads(cfg.record.read_text()).get("xvfb_pid")
    if pid and _process_is(pid, "Xvfb"):
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            if not _process_is(pid, "Xvfb"):
                break
            time.sleep(0.05)
    cfg.record.unlink(missing_ok=True)


def _start_xvfb():
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
        pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip().isdigit():
        proc.kill()
        raise Failure("Xvfb did not report its display number")
    name = f":{number.strip().decode()}"
    _give_resources(name)
    return name, proc.pid


def _give_resources(display_name):
    """A resource database on the root window, as every desktop session has.
    Without one Xlib reads its resource files from disk again at every
    XGetDefault, which wine asks on each drawing pass: a cost of a bare X
    server, not of the program, that would otherwise show in the figures."""
    disp = xdisplay.Display(display_name)
    root = disp.screen().root
    root.change_property(disp.intern_atom("RESOURCE_MANAGER"), Xatom.STRING, 8, b"Xft.dpi:\t96\n")
    disp.sync()
    disp.close()


def _run_quiet(args, env, timeout, cwd=None, output=None):
    """Runs a wine tool with its stdio in a file, never in CTest's pipes: wine's
    service processes inherit them and would keep CTest waiting."""
    sink = open(output, "ab") if output else subprocess.DEVNULL
    try:
        return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=sink, stderr=sink,
                              timeout=timeout, cwd=cwd).returncode
    finally:
        if output:
            sink.close()


def _prefix_ready(cfg, wine_version):
    stamp = cfg.prefix / ".voma-e2e-ready"
    if not stamp.exists() or stamp.read_text() != f"{PREFIX_RECIPE}\n{wine_version}\n":
        return False
    user = (cfg.prefix / "user.reg").read_text(errors="replace")
    system = (cfg.prefix / "system.reg").read_text(errors="replace")
    return ('"Managed"="N"' in user and f'"Debugger"="{NO_DEBUGGER}"' in system
            and f'"COM3"="{cfg.com3}"' in system)


def _make_prefix(cfg, env, wine_version, output):
    log(f"creating the wine prefix {cfg.prefix}")
    if cfg.prefix.exists():
        shutil.rmtree(cfg.prefix)
    cfg.work.mkdir(parents=True, exist_ok=True)
    if _run_quiet(["wineboot", "-i"], env, 300, output=output) != 0:
        raise Failure("wineboot -i failed")
    reg = cfg.work / "prefix-settings.reg"
    reg.write_text("REGEDIT4\n\n"
                   "[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"
                   "\"Managed\"=\"N\"\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\n"
                   f"\"Debugger\"=\"{NO_DEBUGGER}\"\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n"
                   f"\"COM3\"=\"{cfg.com3}\"\n")
    if _run_quiet([*WINE, "regedit", "/S", windows_path(reg)], env, 120, output=output) != 0:
        raise Failure("importing the prefix settings failed")
    # Let the wineserver end by itself so that it writes the registry out.
    _run_quiet(["wineserver", "-w"], env, 120, output=output)
    (cfg.prefix / ".voma-e2e-ready").write_text(f"{PREFIX_RECIPE}\n{wine_version}\n")
    if not _prefix_ready(cfg, wine_version):
        raise Failure("the prefix settings did not reach the registry files")


def fixture_setup(cfg):
    started = time.monotonic()
    cfg.work.mkdir(parents=True, exist_ok=True)
    output = cfg.work / "setup.log"
    output.write_text("")
    # Whatever an earlier run left behind: its Xvfb and its wineserver.
    _stop_xvfb(cfg)
    env = cfg.wine_env(":0")
    if cfg.prefix.exists():
        _run_quiet(["wineserver", "-k"], env, 30, output=output)
    display, pid = _start_xvfb()
    cfg.record.write_text(json.dumps({"display": display, "xvfb_pid": pid}))
    log(f"Xvfb {display} (pid {pid})")
    env = cfg.wine_env(display)
    wine_version = subprocess.run([*WINE, "--version"], env=env, capture_output=True, text=True).stdout.strip()
    if _prefix_ready(cfg, wine_version):
        log(f"reusing the wine prefix {cfg.prefix}")
    else:
        _make_prefix(cfg, env, wine_version, output)
    # A placeholder target until a test points COM3 at its pty.
    _point_com3(cfg, "/dev/null")
    link = cfg.prefix / "dosdevices" / "com3"
    if os.path.lexists(link):
        link.unlink()
    link.symlink_to(cfg.com3)
    if _run_quiet(["wineserver", "-p"], env, 30, output=output) != 0:
        raise Failure("could not start a persistent wineserver")
    # The first start brings up wine's services and desktop; pay for it here.
    if _run_quiet([*WINE, str(cfg.tools / "e2e-wininspect.exe")], env, 120, output=output) != 0:
        raise Failure("wine could not run a program in the prefix")
    if os.readlink(link) != str(cfg.com3):
        raise Failure(f"{link} does not point at {cfg.com3} after wine started")
    log(f"suite ready in {time.monotonic() - started:.1f} s")


def fixture_cleanup(cfg):
    if cfg.prefix.exists():
        _run_quiet(["wineserver", "-k"], cfg.wine_env(":0"), 30)
    _stop_xvfb(cfg)
    log("wineserver and Xvfb stopped")


def _point_com3(cfg, target):
    temporary = cfg.com3.with_name("com3.new")
    if os.path.lexists(temporary):
        temporary.unlink()
    temporary.symlink_to(target)
    os.replace(temporary, cfg.com3)


# --------------------------------------------------------------------------
# The serial port side: a pty mapped as COM3, read by a timestamping child

_READER = r"""
import errno, os, struct, sys, time
# Wake first when bytes arrive: a late timestamp would shrink the next gap.
try:
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(20))
except OSError:
    try:
        os.nice(-15)
    except OSError:
        pass
fd = int(sys.argv[1])
out = sys.stdout.buffer
while True:
    try:
        data = os.read(fd, 65536)
    except OSError as e:
        if e.errno == errno.EIO:
            time.sleep(0.002)
            continue
        break
    if not data:
        break
    out.write(struct.pack("<dI", time.monotonic(), len(data)) + data)
    out.flush()
"""


class PtyPort:
    """A pseudo-terminal as COM3, preset to settings the program must change
    (9600 baud, two stop bits, RTS/CTS) or keep (XON/XOFF both ways)."""

    def __init__(self, cfg):
        import pty
        self.master, self.slave = pty.openpty()
        self.name = os.ttyname(self.slave)
        attrs = termios.tcgetattr(self.slave)
        attrs[0] |= termios.IXON | termios.IXOFF
        attrs[1] &= ~termios.OPOST
        attrs[2] |= termios.CSTOPB | termios.CRTSCTS
        attrs[3] &= ~(termios.ICANON | termios.ECHO | termios.ISIG | termios.IEXTEN)
        attrs[4] = attrs[5] = termios.B9600
        termios.tcsetattr(self.slave, termios.TCSANOW, attrs)
        _point_com3(cfg, self.name)
        self.chunks = []           # (monotonic time, bytes)
        self._lock = threading.Lock()
        self._reader = subprocess.Popen([sys.executable, "-c", _READER, str(self.master)],
                                        pass_fds=(self.master,), stdout=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL)
        self._thread = threading.Thread(target=self._collect, daemon=True)
        self._thread.start()

    def _collect(self):
        pipe = self._reader.stdout
        while True:
            head = pipe.read(12)
            if len(head) < 12:
                return
            stamp, size = struct.unpack("<dI", head)
            data = pipe.read(size)
            with self._lock:
                self.chunks.append((stamp, data))

    def snapshot(self):
        with self._lock:
            return list(self.chunks)

    def data(self):
        return b"".join(chunk for _, chunk in self.snapshot())

    def close(self):
        if self.master is None:
            return
        if self._reader.poll() is None:
            self._reader.kill()
        self._reader.wait()
        self._thread.join(timeout=2)
        os.close(self.master)
        os.close(self.slave)
        self.master = self.slave = None


JOY_LINE = re.compile(rb"JOY -?\d+(,-?\d+){10}")
MESSAGE_START = re.compile(rb"RCBAPP=|JOY ")


@dataclass
class Message:
    text: bytes
    time: float    # when its last byte had arrived

    @property
    def is_joy(self):
        return self.text.startswith(b"JOY ")


def split_messages(chunks):
    """Cuts the stream where a known message begins. Returns the messages and
    a list of problems (bytes that belong to no known message)."""
    stream = b"".join(data for _, data in chunks)
    ends, total = [], 0
    for stamp, data in chunks:
        total += len(data)
        ends.append((total, stamp))

    def arrival(offset):
        for end, stamp in ends:
            if offset < end:
                return stamp
        raise AssertionError("offset past the stream")

    starts = [m.start() for m in MESSAGE_START.finditer(stream)]
    problems = []
    if stream and (not starts or starts[0] != 0):
        problems.append(f"stream starts with unknown bytes {stream[:starts[0] if starts else 40]!r}")
    messages = []
    for i, start in enumerate(starts):
        end = starts[i + 1] if i + 1 < len(starts) else len(stream)
        text = stream[start:end]
        messages.append(Message(text, arrival(end - 1)))
        if text not in (b"RCBAPP=85 ", b"RCBAPP=0 ") and not JOY_LINE.fullmatch(text):
            problems.append(f"malformed message {text!r}")
    return messages, problems


# --------------------------------------------------------------------------
# X11: finding, focusing, closing and reading back windows


class Screen:
    def __init__(self, display_name):
        self.name = display_name
        self.d = xdisplay.Display(display_name)
        self.root = self.d.screen().root
        self.net_wm_name = self.d.intern_atom("_NET_WM_NAME")
        self.utf8 = self.d.intern_atom("UTF8_STRING")
        self.wm_protocols = self.d.intern_atom("WM_PROTOCOLS")
        self.wm_delete = self.d.intern_atom("WM_DELETE_WINDOW")

    def title(self, window):
        try:
            prop = window.get_full_property(self.net_wm_name, self.utf8)
            if prop is not None:
                return prop.value.decode("utf-8", "replace")
            prop = window.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
            return prop.value.decode("latin-1") if prop is not None else None
        except xerror.XError:
            return None

    def windows(self):
        """Viewable top-level windows and their titles."""
        found = []
        for window in self.root.query_tree().children:
            try:
                if window.get_attributes().map_state != X.IsViewable:
                    continue
            except xerror.XError:
                continue
            title = self.title(window)
            if title is not None:
                found.append((window, title))
        return found

    def find(self, title):
        for window, name in self.windows():
            if name == title:
                return window
        return None

    def focused_title(self):
        focus = self.d.get_input_focus().focus
        if not hasattr(focus, "id"):
            return None
        return self.title(focus)

    def wait_focused(self, title, timeout=15):
        """The window exists, is viewable and holds the keyboard focus."""
        def ready():
            window = self.find(title)
            return window if window is not None and self.focused_title() == title else None
        try:
            return wait_for(ready, timeout, f"window {title!r} with the keyboard focus")
        except Failure as e:
            raise Failure(f"{e}; windows {[t for _, t in self.windows()]}, focus on {self.focused_title()!r}")

    def request_close(self, window):
        event = protocol.event.ClientMessage(window=window, client_type=self.wm_protocols,
                                             data=(32, [self.wm_delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        self.d.flush()

    def origin(self, window):
        geometry = window.get_geometry()
        at = window.translate_coords(self.root, 0, 0)
        return -at.x, -at.y, geometry.width, geometry.height

    def grab(self, x, y, width, height):
        """A screen rectangle as (width, height, rows of B,G,R,X bytes)."""
        image = self.root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data if isinstance(image.data, bytes) else image.data.encode("latin-1")
        stride = len(data) // height
        return width, height, [data[r * stride:r * stride + 4 * width] for r in range(height)]

    @staticmethod
    def all_pixels(grabbed, rgb):
        width, _, rows = grabbed
        r, g, b = rgb
        return all(row[0::4] == bytes([b]) * width and row[1::4] == bytes([g]) * width
                   and row[2::4] == bytes([r]) * width for row in rows)

    def close(self):
        self.d.close()


def save_png(grabbed, path):
    width, height, rows = grabbed
    raw = bytearray()
    for row in rows:
        line = bytearray(3 * width)
        line[0::3], line[1::3], line[2::3] = row[2::4], row[1::4], row[0::4]
        raw += b"\0" + line

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))


# --------------------------------------------------------------------------
# One run of the program


def parse_kv_line(line):
    fields = {}
    for token in line.split()[1:]:
        if "=" in token:
            key, value = token.split("=", 1)
            fields[key] = value
    return fields


def unescape_wine(text):
    """Undoes wine's debugstr_w escaping (\\n, \\", \\\\ and \\XXXX code units)."""
    units, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            simple = {"n": 10, "r": 13, "t": 9, '"': 34, "\\": 92}
            if n in simple:
                units.append(simple[n])
                i += 2
                continue
            if re.fullmatch(r"[0-9a-fA-F]{4}", text[i + 1:i + 5]):
                units.append(int(text[i + 1:i + 5], 16))
                i += 5
                continue
        units.append(ord(c))
        i += 1
    return struct.pack(f"<{len(units)}H", *units).decode("utf-16-le", "surrogatepass")


class Run:
    """The program under test with its own pty, stand-in state and logs."""

    def __init__(self, session, label, state, port=True):
        self.s = session
        self.cfg = session.cfg
        self.label = label
        self.dir = session.dir / re.sub(r"[^A-Za-z0-9_.-]+", "_", label)
        shutil.rmtree(self.dir, ignore_errors=True)
        self.cwd = self.dir / "cwd"
        self.cwd.mkdir(parents=True)
        self.state_file = self.dir / "standin-state.txt"
        self.call_log = self.dir / "standin-calls.log"
        self.termios_log = self.dir / "termios.log"
        self.release_file = self.dir / "release"
        self.stdout = self.dir / "stdout.txt"
        self.stderr = self.dir / "stderr.txt"
        self.state = {}
        self.set_state(**state)
        self.port = PtyPort(self.cfg) if port else None
        self.proc = None
        self.exit_time = None
        self.titles_seen = set()

    # -- stand-in state and logs --
    def set_state(self, **changes):
        for key, value in changes.items():
            self.state[key.replace("__", ".")] = value
        text = "".join(f"{k}={v}\n" for k, v in self.state.items() if v is not None)
        temporary = self.state_file.with_suffix(".new")
        temporary.write_text(text)
        os.replace(temporary, self.state_file)

    def calls(self):
        if not self.call_log.exists():
            return []
        calls = []
        for line in self.call_log.read_text(errors="replace").splitlines():
            parts = line.split(" ", 3)
            if len(parts) < 3:
                continue
            entry = {"t_us": int(parts[0]), "module": parts[1], "call": parts[2],
                     "line": line}
            entry.update(parse_kv_line(" ".join(parts[2:])))
            calls.append(entry)
        return calls

    def termios_calls(self):
        if not self.termios_log.exists():
            return []
        entries = []
        for line in self.termios_log.read_text(errors="replace").splitlines():
            entry = parse_kv_line(line)
            entry["kind"] = line.split()[0]
            if self.port is None or entry.get("dev") == self.port.name:
                entries.append(entry)
        return entries

    def message_box_texts(self):
        texts = []
        if not self.stderr.exists():
            return texts
        for line in self.stderr.read_text(errors="replace").splitlines():
            m = re.search(r"trace:msgbox:MSGBOX_OnInit L\"(.*)\"(\.\.\.)?$", line)
            if m:
                if m.group(2):
                    raise Failure(f"wine shortened a traced message box text: {line}")
                texts.append(unescape_wine(m.group(1)))
        return texts

    # -- the process --
    def start(self, **extra_env):
        env = self.cfg.wine_env(
            self.s.display,
            WINEDEBUG="-all,err+all,trace+msgbox",
            WINEDLLOVERRIDES=PROGRAM_OVERRIDES,
            VOMA_STANDIN_STATE=windows_path(self.state_file),
            VOMA_STANDIN_LOG=windows_path(self.call_log),
            VOMA_TERMIOS_LOG=str(self.termios_log),
            LD_PRELOAD=str(self.cfg.shim))
        env.update(extra_env)
        self._out = open(self.stdout, "wb")
        self._err = open(self.stderr, "wb")
        self.started = time.monotonic()
        self.proc = subprocess.Popen([*WINE, str(self.cfg.exe)], env=env, cwd=self.cwd,
                                     stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err)
        threading.Thread(target=self._watch_exit, daemon=True).start()
        log(f"[{self.label}] started the program (pid {self.proc.pid})")

    def _watch_exit(self):
        self.proc.wait()
        self.exit_time = time.monotonic()

    def running(self):
        return self.exit_time is None

    def note_windows(self):
        for _, title in self.s.screen.windows():
            self.titles_seen.add(title)

    def wait_exit(self, timeout=15):
        def done():
            self.note_windows()
            return not self.running()
        wait_for(done, timeout, "the program to exit", interval=0.05)
        return self.proc.returncode

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if self.port and self.port.master is not None:
            with open(self.dir / "stream.txt", "w") as out:
                for stamp, data in self.port.snapshot():
                    out.write(f"{(stamp - self.started) * 1000 if self.proc else 0:10.1f} ms {data!r}\n")
        for handle in (getattr(self, "_out", None), getattr(self, "_err", None)):
            if handle:
                handle.close()
        if self.port:
            self.port.close()

    # -- the port --
    def messages(self):
        return split_messages(self.port.snapshot()) if self.port else ([], [])

    def joy_count(self):
        return sum(1 for m in self.messages()[0] if m.is_joy)

    def wait_joy_lines(self, count, timeout=10):
        return wait_for(lambda: self.joy_count() >= count, timeout, f"{count} JOY lines")

    # -- the desktop --
    def inspect(self):
        """What wine shows, read by our inspector; a failed look is retried
        (it only reads), but every failure is logged."""
        for attempt in range(3):
            out = subprocess.run([*WINE, str(self.cfg.tools / "e2e-wininspect.exe")],
                                 env=self.cfg.wine_env(self.s.display, WINEDEBUG="-all,err+all"),
                                 capture_output=True, timeout=30)
            if out.returncode == 0:
                return json.loads(out.stdout.decode("ascii"))
            log(f"[{self.label}] wininspect failed with exit code {out.returncode}: {out.stderr[-800:]!r}")
            time.sleep(0.2)
        raise Failure("wininspect failed three times")

    def inspect_window(self, title, cls=None):
        info = self.inspect()
        matches = [w for w in info["windows"] if w["title"] == title and (cls is None or w["class"] == cls)]
        if len(matches) != 1:
            raise Failure(f"expected one window titled {title!r}, wine shows "
                          f"{[(w['title'], w['class']) for w in info['windows']]}")
        return matches[0], info

    def keys(self, *names):
        subprocess.run(["xdotool", "key", "--delay", "30", *names], env=self.s.x_env, check=True)

    def type_text(self, text):
        if text:
            subprocess.run(["xdotool", "type", "--delay", "15", "--", text], env=self.s.x_env, check=True)


# --------------------------------------------------------------------------
# Scenario plumbing: soft checks gathered, one verdict at the end


# Every title the program shows.
ASSIGNMENT_FILE = "VOMA_JOY_ASG.txt"
PROGRAM_TITLES = {"VOMA PC Joysticks", "VOMA PC Joystick V:1.00", "\u00a1Error!", "Error", "Information"}


class Session:
    def __init__(self, cfg, name):
        self.cfg = cfg
        self.name = name
        suite = cfg.suite()
        self.display = suite["display"]
        self.x_env = dict(os.environ, DISPLAY=self.display, LC_ALL="C.UTF-8", LANG="C.UTF-8")
        self.dir = cfg.work / "runs" / name
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.screen = Screen(self.display)
        self.failures = []
        self.runs = []
        if not cfg.exe.exists():
            raise Failure(f"{cfg.exe} is not built")
        # Windows of an earlier run would be taken for this run's.
        try:
            wait_for(lambda: not [t for _, t in self.screen.windows() if t in PROGRAM_TITLES], 5,
                     "windows of an earlier run to go")
        except Failure:
            raise Failure(f"windows of an earlier run are still up: {[t for _, t in self.screen.windows()]}")

    def run(self, label, state, port=True):
        run = Run(self, label, state, port)
        self.runs.append(run)
        return run

    def check(self, condition, message):
        if not condition:
            self.failures.append(message)
            log(f"FAIL: {message}")
        return bool(condition)

    def equal(self, actual, expected, what):
        return self.check(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")

    def close(self):
        for run in self.runs:
            run.stop()
        self.screen.close()
