#!/usr/bin/python3
"""The end-to-end scenarios, one CTest test each (see CMakeLists.txt).

    scenarios.py --work DIR --exe EXE --tools DIR --shim SO <scenario>

"setup" and "cleanup" are the suite fixture; harness.py tells how it works.
Each scenario keeps what it saw under <build>/e2e/runs/<scenario>/: the byte
stream, the stand-in call log, the termios log, wine's stderr, a screenshot.
"""

import argparse
import math
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

import harness
from harness import Failure, log, wait_for

PROMPT_TITLE = "VOMA PC Joysticks"
MONITOR_TITLE = "VOMA PC Joystick V:1.00"
NO_JOYSTICK = ("\u00a1Error!", "Need to connect a joystick")
PORT_ERROR_TITLE = "Error"
PORT_ERROR_TEXT = "Can't open the serial port: COM"
SETUP_BOX = ("Information", "Couldn't open the Setup file!  VOMA_JOY_ASG.txt")

DIERR_OBJECTNOTFOUND = "0x80070002"
DI_PROPNOEFFECT = "1"

WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x00C00000, 0x00080000, 0x00040000
WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_EX_TOPMOST = 0x00020000, 0x00010000, 0x00000008
BS_TYPEMASK, BS_DEFPUSHBUTTON, DC_HASDEFID = 0xF, 0x1, 0x534B

# Slack for timestamp noise on lower bounds of pauses (ms).
SLACK_MS = 2.5


def visible(children, cls):
    return [c for c in children if c["class"].lower() == cls and c["visible"]]


# --------------------------------------------------------------------------
# Pieces the scenarios share


def answer_message_box(s, run, title, text):
    """Waits for the box to hold the focus, checks what it shows, presses Enter."""
    s.screen.wait_focused(title)
    box, _ = run.inspect_window(title)
    texts = [c["text"] for c in visible(box["children"], "static") if c["text"]]
    s.equal(texts, [text], f"text shown in the {title!r} box")
    s.equal([c["text"] for c in visible(box["children"], "button")], ["OK"], f"buttons of the {title!r} box")
    icons = [c for c in visible(box["children"], "static") if c.get("icon")]
    s.check(not icons, f"the {title!r} box shows an icon (its flags are not 0)")
    s.check(not box["exstyle"] & WS_EX_TOPMOST, f"the {title!r} box is system-modal/topmost (flags not 0)")
    run.keys("Return")


def check_prompt(s, run):
    """The prompt as it first shows: label, "3" with the caret after it and
    the keyboard focus, OK as the default button."""
    prompt, _ = run.inspect_window(PROMPT_TITLE)
    statics = [c["text"] for c in visible(prompt["children"], "static") if c["text"]]
    s.equal(statics, ["Please input Com:"], "prompt label")
    edits = visible(prompt["children"], "edit")
    if s.equal(len(edits), 1, "edit boxes in the prompt"):
        s.equal(edits[0]["text"], "3", "prompt default text")
        s.equal(edits[0]["sel"], [1, 1], "prompt caret/selection (caret at the end, nothing selected)")
        s.equal(prompt["focus"], edits[0]["hwnd"], "window holding the focus in the prompt (the edit box)")
    defaults = [c["text"] for c in visible(prompt["children"], "button")
                if c["style"] & BS_TYPEMASK == BS_DEFPUSHBUTTON]
    s.equal(defaults, ["OK"], "default button of the prompt")
    if prompt["class"] == "#32770":
        ok = [c for c in visible(prompt["children"], "button") if c["text"] == "OK"]
        defid = prompt["defid"] & 0xFFFF if prompt["defid"] >> 16 == DC_HASDEFID else None
        s.check(ok and defid == ok[0]["id"], f"the dialog's default id {defid} is not the OK button")


def enter_port_text(s, run, text):
    """Empties the prompt's edit box and types `text`, checked before Enter.
    xdotool types a character the keyboard map lacks by remapping a spare
    key for it; wine can pick up the new mapping a moment late and read the
    old one, so such a text is typed again until the box holds it."""
    s.screen.wait_focused(PROMPT_TITLE)

    def edit_text():
        prompt, _ = run.inspect_window(PROMPT_TITLE)
        return [e["text"] for e in visible(prompt["children"], "edit")]
    held = None
    for _ in range(3):
        run.keys("ctrl+a", "BackSpace")
        run.type_text(text)
        try:
            wait_for(lambda: edit_text() == [text], 3, f"the prompt to hold {text!r}", interval=0.2)
            break
        except Failure:
            held = edit_text()
            log(f"[{run.label}] the prompt holds {held!r} instead of {text!r}: typing again")
    else:
        raise Failure(f"could not type {text!r} into the prompt (it holds {held!r})")
    run.keys("Return")


def nothing_on_port(s, run, what):
    s.equal(run.port.data(), b"", f"bytes on the port {what}")
    s.equal(run.termios_calls(), [], f"terminal settings made on the pty {what}")


def expect_run_ends_with_box(s, run, title, text):
    """The program shows one box, then exits 0 without touching the port."""
    answer_message_box(s, run, title, text)
    s.equal(run.wait_exit(), 0, "exit code")
    s.equal(run.message_box_texts(), [text], "MessageBoxW texts traced by wine")
    if run.port:
        time.sleep(0.1)
        nothing_on_port(s, run, "")


def open_monitor(s, run, setup_box=None):
    """Default "3" + Enter, then the monitor window; returns its X window.
    Without an assignment file in the working folder the program must say so
    in between, after RCBAPP=85 went out; with one it must not. `setup_box`
    says so where the file is there but cannot be opened."""
    s.screen.wait_focused(PROMPT_TITLE)
    nothing_on_port(s, run, "before the prompt is answered")
    run.keys("Return")
    wait_for(lambda: run.port.data().startswith(b"RCBAPP=85 "), 10, "RCBAPP=85 on the port")

    def next_window():
        titles = {t for _, t in s.screen.windows()}
        return next((t for t in (SETUP_BOX[0], MONITOR_TITLE) if t in titles), None)
    first = wait_for(next_window, 15, "the monitor window (or the setup file box)")
    if setup_box is None:
        setup_box = not (run.cwd / harness.ASSIGNMENT_FILE).exists()
    s.equal(first == SETUP_BOX[0], setup_box, f"the setup file box showed ({harness.ASSIGNMENT_FILE} "
            f"{'cannot be opened' if setup_box else 'present'})")
    if first == SETUP_BOX[0]:
        s.equal(run.port.data(), b"RCBAPP=85 ", "bytes on the port while the setup file box is up")
        s.check(s.screen.find(MONITOR_TITLE) is None, "the monitor window is up behind the setup file box")
        answer_message_box(s, run, *SETUP_BOX)
    return s.screen.wait_focused(MONITOR_TITLE)


def check_stream(s, run):
    """The whole byte stream of a run that got to the main loop and was closed."""
    messages, problems = run.messages()
    data = run.port.data()
    for problem in problems:
        s.check(False, problem)
    s.check(not any(b in data for b in (b"\r", b"\n", b"\0")), "CR, LF or NUL bytes in the stream")
    s.check(data.startswith(b"RCBAPP=85 "), f"stream does not start with 'RCBAPP=85 ': {data[:20]!r}")
    texts = [m.text for m in messages]
    s.equal(texts[-2:], [b"RCBAPP=0 ", b"RCBAPP=0 "], "last two messages")
    middle = texts[1:-2]
    s.check(middle and all(m.startswith(b"JOY ") for m in middle),
            f"messages between start and stop are not all JOY lines: {sorted(set(m[:7] for m in middle))}")
    s.equal(texts.count(b"RCBAPP=85 "), 1, "RCBAPP=85 messages")
    joys = [m for m in messages if m.is_joy]
    gaps = [(b.time - a.time) * 1000 for a, b in zip(joys, joys[1:])]
    if gaps:
        # The program's own clock, as the stand-ins saw its snapshots, tells
        # a short tick from a late timestamp on our side.
        reads = [c for c in run.calls() if c["call"] in ("XInputGetState", "GetDeviceState")]
        users = [c.get("user") for c in reads]
        tick_user = max(set(users), key=users.count) if users else None
        ticks = [c["t_us"] / 1000 for c in reads if c.get("user") == tick_user]
        inside = [b - a for a, b in zip(ticks, ticks[1:]) if b - a < 1000]
        s.check(min(gaps) >= 25 - SLACK_MS,
                f"JOY lines closer than 25 ms: smallest gap {min(gaps):.1f} ms on the pty; "
                f"smallest gap between snapshots in the program {min(inside, default=0):.1f} ms")
        log(f"[{run.label}] JOY gaps: smallest {min(gaps):.1f} ms on the pty over {len(gaps)} gaps")
    if len(messages) >= 3 and messages[-3].is_joy:
        first_stop = (messages[-2].time - messages[-3].time) * 1000
        second_stop = (messages[-1].time - messages[-2].time) * 1000
        s.check(first_stop >= 50 - SLACK_MS, f"first RCBAPP=0 only {first_stop:.1f} ms after the last JOY line")
        s.check(second_stop >= 50 - SLACK_MS, f"second RCBAPP=0 only {second_stop:.1f} ms after the first")
        if run.exit_time is not None:
            tail = (run.exit_time - messages[-1].time) * 1000
            s.check(tail >= 50 - SLACK_MS, f"the program ended {tail:.1f} ms after the last RCBAPP=0")
    return messages


def close_monitor(s, run, window, blocked):
    """Sends the close request; with `blocked`, while a tick is held inside its
    controller snapshot. Returns JOY lines completed after the tick resumed."""
    if not blocked:
        s.screen.request_close(window)
        s.equal(run.wait_exit(), 0, "exit code")
        return None
    run.set_state(block=1, block__release=harness.windows_path(run.release_file))
    wait_for(lambda: any(c["call"] == "BLOCK" and "enter" in c["line"] for c in run.calls()), 10,
             "a snapshot to block")
    time.sleep(0.1)
    before = run.joy_count()
    s.screen.request_close(window)
    time.sleep(0.3)
    resumed_at = time.monotonic()
    run.set_state(block=0)
    run.release_file.write_text("go")
    s.equal(run.wait_exit(), 0, "exit code")
    messages, _ = run.messages()
    joys_after = [m for m in messages if m.is_joy][before:]
    s.check(all(m.time >= resumed_at for m in joys_after), "a JOY line came while the tick was blocked")
    calls = run.calls()
    leave = max(i for i, c in enumerate(calls) if c["call"] == "BLOCK" and "leave" in c["line"])
    # The blocked call logs itself when it returns, right after "leave".
    snapshots_after = [c for c in calls[leave + 1:] if c["call"] in ("XInputGetState", "GetDeviceState")][1:]
    s.equal(len(snapshots_after), 1, "controller snapshots after the blocked one (the one extra tick)")
    return joys_after


def check_monitor_window(s, run, window):
    info, whole = run.inspect_window(MONITOR_TITLE)
    s.equal(info["frame"][:2], [100, 100], "monitor window outer top-left")
    s.equal(info["client_size"], [330, 200], "monitor window client size")
    s.equal(list(s.screen.origin(window)[:2]), [100, 100], "monitor window top-left on the X screen")
    style = info["style"]
    s.check(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU, "monitor window lacks caption or system menu")
    s.check(not style & (WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX),
            f"monitor window is resizable or has min/max boxes (style 0x{style:08x})")
    s.check(info["foreground"], "monitor window is not the active foreground window")
    client = Client(s.screen, info)
    try:
        wait_for(lambda: not frame_problems(client.picture()), 3, "the black field and both outlines",
                 interval=0.05)
    except Failure as e:
        s.check(False, f"{e}: {frame_problems(client.picture())[:6]}")
    client.save_window(run.dir / "monitor-window.png")


# --------------------------------------------------------------------------
# The monitor picture, read pixel by pixel relative to the client area


BLACK = (0, 0, 0)
OUTLINE = (0, 255, 90)
LEFT_DOT, LEFT_TRAIL = (0, 255, 0), (0, 20, 0)
RIGHT_DOT, RIGHT_TRAIL = (255, 0, 0), (20, 0, 0)
LABEL = (0, 255, 255)
LAMP_DOWN, LAMP_UP = (255, 0, 0), (128, 128, 128)
# Top-left corners of the two 128 x 128 field outlines.
FIELDS = ((25, 27), (173, 27))
FIELD_SIDE = 128
LABELS = {"XL": (50, 156), "YL": (50, 176), "XD": (230, 156), "YD": (230, 176)}
LAMP_CENTRES = [((20 * i - 10) % 330, 10) for i in range(1, 17)]
LAMP_RADIUS = 9
CLIENT_WIDTH, CLIENT_HEIGHT = 330, 200
# Below the lamps and above the labels: the fields and the black around them.
FIELD_ROWS = range(21, 156)
DOT_COLOURS = {LEFT_DOT, LEFT_TRAIL, RIGHT_DOT, RIGHT_TRAIL}


class Picture:
    """One screenshot of the client area; pixel(x, y) in client pixels."""

    def __init__(self, grabbed):
        self.width, self.height, self.rows = grabbed

    def pixel(self, x, y):
        row = self.rows[y]
        return row[4 * x + 2], row[4 * x + 1], row[4 * x]

    def box(self, x, y, width, height):
        return [(x + i, y + j) for j in range(height) for i in range(width)
                if 0 <= x + i < self.width and 0 <= y + j < self.height]


class Client:
    """The monitor window's client area on the X screen."""

    def __init__(self, screen, info):
        self.screen = screen
        self.x, self.y = info["client_origin"]
        self.frame = info["frame"]

    def picture(self):
        return Picture(self.screen.grab(self.x, self.y, CLIENT_WIDTH, CLIENT_HEIGHT))

    def save_window(self, path):
        fx, fy, fr, fb = self.frame
        harness.save_png(self.screen.grab(fx, fy, fr - fx, fb - fy), path)


def on_outline(x, y):
    for fx, fy in FIELDS:
        inside = fx <= x < fx + FIELD_SIDE and fy <= y < fy + FIELD_SIDE
        if inside and x in (fx, fx + FIELD_SIDE - 1) or inside and y in (fy, fy + FIELD_SIDE - 1):
            return True
    return False


def in_field(x, y):
    return any(fx < x < fx + FIELD_SIDE - 1 and fy < y < fy + FIELD_SIDE - 1 for fx, fy in FIELDS)


def _frame_row(y):
    """Row y of the bare frame as its red, green and blue bytes."""
    red, green, blue = bytearray(CLIENT_WIDTH), bytearray(CLIENT_WIDTH), bytearray(CLIENT_WIDTH)
    for x in range(CLIENT_WIDTH):
        if on_outline(x, y):
            red[x], green[x], blue[x] = OUTLINE
    return bytes(red), bytes(green), bytes(blue)


def frame_problems(picture, limit=8):
    """The static frame: both 1-pixel outlines exactly, everything else between
    the lamp row and the labels black, apart from dots and trails inside the
    fields. Rows that match the bare frame byte for byte are passed at once,
    so that reading many screenshots does not starve the program under test
    (and the pty reader) of the CPU."""
    problems = []
    for y in FIELD_ROWS:
        row = picture.rows[y]
        if (row[2::4], row[1::4], row[0::4]) == FRAME_ROWS[y]:
            continue
        for x in range(CLIENT_WIDTH):
            colour = picture.pixel(x, y)
            if on_outline(x, y):
                ok, want = colour == OUTLINE, "outline"
            elif in_field(x, y):
                ok, want = colour == BLACK or colour in DOT_COLOURS, "black, a dot or a trail"
            else:
                ok, want = colour == BLACK, "black"
            if not ok:
                problems.append(f"({x},{y}) is {colour}, not {want}")
                if len(problems) >= limit:
                    return problems
    return problems


FRAME_ROWS = {y: _frame_row(y) for y in FIELD_ROWS}


def dot_positions(xl, yl, xd, yd):
    """Top-left corners of the two dot boxes for these channels, rounded half
    to even as the program does (Python's round)."""
    units = 1000.0 / (128 / 2.2)
    return ((round(25 + xl / units + 64.0), round(25 + yl / units + 64.0)),
            (round(25.0 + 128 + 64.0 + 20 + xd / units), round(25 + yd / units + 64.0)))


def box_problems(picture, corner, colour, what, covered=()):
    """A 5 x 5 box exactly in `colour`, bar the pixels in `covered`."""
    x, y = corner
    wrong = [(px, py, picture.pixel(px, py)) for px, py in picture.box(x, y, 5, 5)
             if (px, py) not in covered and picture.pixel(px, py) != colour]
    return [f"{what} at {corner}: {len(wrong)} pixel(s) not {colour}, e.g. {wrong[:3]}"] if wrong else []


def dot_problems(picture, corner, colour, what):
    """The dot box in its colour and none of that colour in the ring around it."""
    problems = box_problems(picture, corner, colour, what)
    x, y = corner
    ring = [p for p in picture.box(x - 1, y - 1, 7, 7) if not (x <= p[0] < x + 5 and y <= p[1] < y + 5)]
    spill = [p for p in ring if picture.pixel(*p) == colour]
    if spill:
        problems.append(f"{what} at {corner} spills over its 5 x 5 box at {spill[:4]}")
    return problems


def towards_white(colour, base):
    """`colour` lies between `base` and white: a glyph pixel drawn over it."""
    shares = []
    for c, b in zip(colour, base):
        if b == 255:
            if c != 255:
                return False
            continue
        if c < b:
            return False
        shares.append((c - b) / (255 - b))
    return not shares or max(shares) - min(shares) <= 0.05


def lamp_problems(picture, down):
    """Each lamp a disc of radius 9 in red (down) or grey (up) with its number
    in white glyphs on it; black between the lamps and past the last one."""
    problems = []
    for number, (cx, cy) in enumerate(LAMP_CENTRES, start=1):
        colour = LAMP_DOWN if number in down else LAMP_UP
        disc = [(x, y) for x, y in picture.box(cx - 7, cy - 7, 15, 15) if (x - cx) ** 2 + (y - cy) ** 2 <= 49]
        foreign = [(x, y, picture.pixel(x, y)) for x, y in disc if not towards_white(picture.pixel(x, y), colour)]
        lit = sum(1 for x, y in disc if picture.pixel(x, y) == colour)
        glyph = sum(1 for x, y in disc if picture.pixel(x, y) == (255, 255, 255))
        if foreign or lit < len(disc) // 3:
            problems.append(f"lamp {number}: {lit} of {len(disc)} pixels in {colour}, others {foreign[:3]}")
        if not glyph:
            problems.append(f"lamp {number}: no white pixel of its number")
        # The extreme points of the disc, and the pixel beyond each.
        for dx, dy in ((0, -1), (0, 1), (-1, 0), (1, 0)):
            edge = picture.pixel(cx + dx * LAMP_RADIUS, cy + dy * LAMP_RADIUS)
            if edge != colour:
                problems.append(f"lamp {number}: edge pixel {(cx + dx * 9, cy + dy * 9)} is {edge}, not {colour}")
    for x, y in BETWEEN_LAMPS:
        if picture.pixel(x, y) != BLACK:
            problems.append(f"lamp row: ({x},{y}) is {picture.pixel(x, y)}, not black")
            break
    return problems


# Pixels of the lamp row clear of every lamp and of the first trail square.
BETWEEN_LAMPS = [(x, y) for y in range(21) for x in range(CLIENT_WIDTH)
                 if all((x - cx) ** 2 + (y - cy) ** 2 > 100 for cx, cy in LAMP_CENTRES) and not (x < 5 and y < 5)]


def first_trail_problems(picture):
    """The first tick painted both trails at (0, 0): a dark red square over
    columns and rows 0 to 4, where the first lamp leaves it."""
    square = [(x, y) for x in range(5) for y in range(5) if (x - 10) ** 2 + (y - 10) ** 2 > 100]
    problems = [f"first trail square: ({x},{y}) is {picture.pixel(x, y)}, not {RIGHT_TRAIL}"
                for x, y in square if picture.pixel(x, y) != RIGHT_TRAIL][:3]
    for x, y in ((5, 0), (0, 5), (5, 1), (1, 5)):
        if picture.pixel(x, y) != BLACK:
            problems.append(f"first trail square reaches ({x},{y}): {picture.pixel(x, y)}")
    return problems


def label_extent(picture, name):
    """The rightmost column holding a label-coloured pixel in that label's
    row band, and the problems: no text, or colours text cannot have."""
    lx, ly = LABELS[name]
    right_end = 230 if lx < 230 else CLIENT_WIDTH
    pixels = picture.box(lx, ly, right_end - lx, 20)
    problems = [f"label {name}: pixel ({x},{y}) is {picture.pixel(x, y)}, not cyan on black"
                for x, y in pixels if picture.pixel(x, y)[0] != 0
                or picture.pixel(x, y)[1] != picture.pixel(x, y)[2]][:3]
    cyan = [x for x, y in pixels if picture.pixel(x, y) == LABEL]
    if len(cyan) < 10:
        problems.append(f"label {name}: {len(cyan)} cyan pixels")
    left_of = [(x, y) for x, y in picture.box(0, ly, lx, 20) if picture.pixel(x, y) != BLACK]
    if lx < 230 and left_of:
        problems.append(f"label {name}: not black left of the text at {left_of[:3]}")
    return max(cyan, default=None), problems


# --------------------------------------------------------------------------
# Scenarios


def harness_selfcheck(s):
    """The harness itself: stand-ins loaded by wine from the exe folder and
    driven by the state file, the pty as COM3, the termios shim in wine."""
    run = s.run("probe", {"di.devices": 2, "di.product.0": harness.SKIPPED_PRODUCT, "di.x": 123,
                          "di.rz": -7, "di.pov": 9000, "di.buttons": "128,0",
                          "xi.connected": "0,1", "xi.lx": -300, "xi.rt": 200})
    env = run.cfg.wine_env(s.display, WINEDLLOVERRIDES=harness.PROGRAM_OVERRIDES,
                           VOMA_STANDIN_STATE=harness.windows_path(run.state_file),
                           VOMA_STANDIN_LOG=harness.windows_path(run.call_log),
                           VOMA_TERMIOS_LOG=str(run.termios_log), LD_PRELOAD=str(run.cfg.shim))
    probe = str(run.cfg.tools / "e2e-standin-probe.exe")

    def probe_output(what):
        out = subprocess.run([*harness.WINE, probe, what], env=env, capture_output=True, timeout=60)
        s.equal(out.returncode, 0, f"probe {what} exit code")
        return out.stdout.decode("utf-8", "replace").replace("\r", "")

    di = probe_output("dinput")
    s.check(f"module {harness.windows_path(run.cfg.tools)}\\DINPUT.DLL".lower() in di.lower(),
            f"dinput did not come from the exe folder: {di}")
    s.check("device product=02a1045e" in di and "device product=beef1234" in di, f"devices: {di}")
    s.check("x=123 rz=-7 pov=9000 b0=128 b31=0" in di, f"joystick state: {di}")
    xi = probe_output("xinput")
    s.check("user 0 result=1167" in xi and "user 1 result=0 lx=-300 rt=200" in xi, f"xinput: {xi}")
    calls = [c["call"] for c in run.calls()]
    s.check("DirectInputCreateEx" in calls and "XInputGetState" in calls, f"call log: {calls}")
    for _ in range(3):
        crashed = subprocess.run([*harness.WINE, probe, "crash"], env=env, capture_output=True, timeout=60)
        s.equal(crashed.returncode, 5, "exit code of a program that crashed on an access violation")
    probe_output("serial")
    wait_for(lambda: run.port.data() == b"probe", 5, "the probe's bytes on the pty")
    settings = [t for t in run.termios_calls() if t["kind"] == "tcsetattr"]
    s.check(settings and settings[-1]["ospeed"] == "115200", f"termios log: {settings}")


def no_controller(s):
    run = s.run("no controller", {"di.devices": 0, "xi.connected": "0,0,0,0"})
    run.start()
    expect_run_ends_with_box(s, run, *NO_JOYSTICK)
    s.check(PROMPT_TITLE not in run.titles_seen, "the prompt appeared without a controller")
    calls = run.calls()
    enum = [c for c in calls if c["call"] == "EnumDevices" and "flags" in c]
    s.equal(len(enum), 1, "DirectInput enumerations")
    users = sorted(int(c["user"]) for c in calls if c["call"] == "XInputGetState")
    s.equal(users, [0, 1, 2], "XInput user indexes asked")
    first_xi = next((i for i, c in enumerate(calls) if c["module"] == "xi"), None)
    last_enum = max((i for i, c in enumerate(calls) if c["call"] == "EnumDevices"), default=None)
    s.check(first_xi is None or last_enum is None or last_enum < first_xi,
            "XInput was asked before DirectInput was enumerated")


def prompt_cancelled(s):
    for label, cancel in (("escape", lambda run: run.keys("Escape")),
                          ("close box", lambda run: s.screen.request_close(s.screen.find(PROMPT_TITLE)))):
        run = s.run(label, {"xi.connected": "1"})
        run.start()
        s.screen.wait_focused(PROMPT_TITLE)
        cancel(run)
        expect_run_ends_with_box(s, run, PORT_ERROR_TITLE, PORT_ERROR_TEXT)
        run.stop()


BAD_PORT_TEXTS = [
    ("leading space", " 3"),
    ("COM prefix typed", "COM3"),
    ("emptied", ""),
    ("100 characters", ("3" + "0123456789" * 10)[:100]),
    ("fullwidth digit three", "\uff13"),
    ("accents, CJK and an emoji", "\u00e93\u4e2d\U0001F600"),
]


def bad_port_text(s):
    """Texts that name no port: opened as typed, never trimmed or narrowed
    (a fullwidth 3 must not become COM3), each reported with the exact text."""
    for label, text in BAD_PORT_TEXTS:
        run = s.run(label, {"xi.connected": "1"})
        run.start()
        enter_port_text(s, run, text)
        expect_run_ends_with_box(s, run, PORT_ERROR_TITLE, PORT_ERROR_TEXT + text)
        run.stop()


def happy_path_xinput(s):
    # The gamepad sits at user index 1: joystick 0 must read index 1.
    run = s.run("xinput", {"di.devices": 0, "xi.connected": "0,1,0,0", "xi.lx": 12000, "xi.buttons": "0x1000"})
    run.start()
    s.screen.wait_focused(PROMPT_TITLE)
    check_prompt(s, run)
    counted = sorted(int(c["user"]) for c in run.calls() if c["call"] == "XInputGetState")
    s.equal(counted, [0, 1, 2], "XInput user indexes asked while counting")
    window = open_monitor(s, run)
    check_monitor_window(s, run, window)
    run.wait_joy_lines(20)
    joys_after = close_monitor(s, run, window, blocked=True)
    s.equal(len(joys_after), 2, "JOY lines after the blocked tick resumed (its own and one more tick)")
    check_stream(s, run)
    s.equal(run.message_box_texts(), [SETUP_BOX[1]], "MessageBoxW texts traced by wine")

    settings = [t for t in run.termios_calls() if t["kind"] == "tcsetattr"]
    if s.check(settings, "no tcsetattr on the pty: COM3 was not configured"):
        final = settings[-1]
        s.equal({k: final[k] for k in ("ospeed", "ispeed", "csize", "parenb", "cstopb", "crtscts", "ixon", "ixoff")},
                {"ospeed": "115200", "ispeed": "115200", "csize": "8", "parenb": "0", "cstopb": "0",
                 "crtscts": "0", "ixon": "1", "ixoff": "1"},
                "port settings after configuration (preset: 9600, CSTOPB, CRTSCTS, IXON|IXOFF)")
        s.check(all(t["result"] == "0" for t in settings), f"a tcsetattr failed: {settings}")
    modem = [t for t in run.termios_calls() if t["kind"] == "modem"]
    s.check(modem and modem[-1]["rts"] == "0", f"RTS is not held off: modem line changes {modem}")
    ticks = [c for c in run.calls() if c["call"] == "XInputGetState"][3:]
    s.check(ticks and all(c["user"] == "1" for c in ticks),
            f"snapshots read user indexes {sorted(set(c['user'] for c in ticks))}, not 1")


# Lines 1-7 pick X, Y, Rx, Ry, Z, Rz and the hat's left/right for XL, YL, XD,
# YD, Aux5, Aux6, Aux7; buttons 1 and 16 are the top and bottom bits of byte
# 1, button 2 the top bit of byte 2, button 3 the bottom bit of byte 3 and
# button 4 the top bit of byte 4 (lines 10, 17, 18, 33, 34).
ASSIGNMENT = ["XL   =1", "YL   =2", "XD   =4  right X", "YD   =+5", "AUX5 =$3", "AUX6 =%110", "AUX7 =7",
              "-    =0", "-    =0", "B1.7 =1", "-    =0", "-    =0", "-    =0", "-    =0", "-    =0", "-    =0",
              "B1.0 =16", "B2.7 =2"] + ["-    =0"] * 14 + ["B3.0 =3", "B4.7 =4"] + ["-    =0"] * 7

CONTROLLER_VALUES = [
    ("joystick",
     {"di.devices": 1, "xi.connected": "0,0,0,0", "di.x": -1000, "di.y": 1000, "di.z": 250, "di.rx": -333,
      "di.ry": 777, "di.rz": -1, "di.pov": 9000, "di.buttons": "128,128,128,128" + ",0" * 11 + ",128"},
     b"JOY -1000,1000,-333,777,250,1000,129,128,-1,1,128",
     {"di.x": 0, "di.pov": 27000, "di.buttons": "0"}, b"JOY 0,1000,-333,777,250,-1000,0,0,-1,0,0"),
    ("gamepad",
     {"di.devices": 0, "xi.connected": "1,0,0,0", "xi.lx": 16384, "xi.ly": -16384, "xi.rx": -32768,
      "xi.ry": 16384, "xi.lt": 255, "xi.rt": 51, "xi.buttons": "0xF000"},
     b"JOY 500,500,-1000,-500,1000,0,128,128,200,1,128",
     {"xi.lx": 0, "xi.buttons": "0x1000"}, b"JOY 0,500,-1000,-500,1000,0,128,0,200,0,0"),
]


def controller_values(s):
    """What the controller reports reaches the JOY line as the assignment file
    in the working folder says, and a change shows within a few ticks."""
    for label, state, expected, change, changed in CONTROLLER_VALUES:
        run = s.run(label, state)
        (run.cwd / harness.ASSIGNMENT_FILE).write_text("\r\n".join(ASSIGNMENT) + "\r\n", encoding="utf-8")
        run.start()
        window = open_monitor(s, run)
        run.wait_joy_lines(3)
        s.equal(run.messages()[0][-1].text, expected, f"{label}: JOY line")
        run.set_state(**change)
        try:
            wait_for(lambda: run.messages()[0][-1].text == changed, 3, f"{label}: the changed JOY line")
        except Failure as e:
            s.check(False, f"{e}; last line {run.messages()[0][-1].text!r}")
        close_monitor(s, run, window, blocked=False)
        check_stream(s, run)
        s.equal(run.message_box_texts(), [], f"{label}: message boxes")
        run.stop()


def directinput_device(s):
    """Two devices, the first one the XInput pad that DirectInput must skip."""
    run = s.run("directinput", {"di.devices": 2, "di.product.0": harness.SKIPPED_PRODUCT, "xi.connected": "0,0,0,0",
                                "di.x": 500, "di.buttons": "128"})
    run.start()
    window = open_monitor(s, run)
    run.wait_joy_lines(8)
    close_monitor(s, run, window, blocked=True)
    check_stream(s, run)
    calls = [c for c in run.calls() if c["module"] == "di"]
    create = [c for c in calls if c["call"] == "DirectInputCreateEx"]
    s.check(len(create) == 1 and create[0]["iid"] == "IDirectInput7W" and create[0]["hr"] == "0x0",
            f"DirectInputCreateEx calls: {[c['line'] for c in create]}")
    enum = [c for c in calls if c["call"] == "EnumDevices" and "flags" in c]
    s.equal([(c["type"], c["flags"]) for c in enum], [("4", "0x1")],
            "EnumDevices type/flags (DIDEVTYPE_JOYSTICK, DIEDFL_ATTACHEDONLY), once")
    devices = [(c["call"], c["device"], c["iid"]) for c in calls if c["call"] in ("CreateDeviceEx", "CreateDevice")]
    s.equal(devices, [("CreateDeviceEx", "1", "IDirectInputDevice7W")], "devices created")
    formats = [c["datasize"] for c in calls if c["call"] == "SetDataFormat"]
    s.equal(formats, ["80"], "SetDataFormat data sizes (DIJOYSTATE)")
    ranges = [(c["axis"], c["how"], c["min"], c["max"], c["hr"]) for c in calls
              if c["call"] == "SetProperty" and c.get("prop") == "RANGE"]
    s.equal(ranges, [(axis, "1", "-1000", "1000", "0x0") for axis in ("x", "y", "z", "rx", "ry", "rz")],
            "SetProperty DIPROP_RANGE calls (axis, DIPH_BYOFFSET, min, max, result)")
    s.check(not [c for c in calls if c["call"] == "SetCooperativeLevel"], "SetCooperativeLevel was called")
    s.check(not [c for c in calls if c.get("hr") == "unsupported"],
            f"unsupported calls: {[c['line'] for c in calls if c.get('hr') == 'unsupported']}")
    reads = [c for c in calls if c["call"] == "GetDeviceState"]
    s.check(len(reads) >= 8 and all(c["device"] == "1" and c["size"] == "80" and c["hr"] == "0x0" for c in reads),
            f"GetDeviceState calls: {sorted(set((c['device'], c['size'], c['hr']) for c in reads))}")
    polls = [c for c in calls if c["call"] == "Poll"]
    s.check(len(polls) >= len(reads), f"{len(polls)} Poll calls for {len(reads)} reads")
    first_acquire = next((i for i, c in enumerate(calls) if c["call"] == "Acquire"), None)
    last_range = max((i for i, c in enumerate(calls) if c["call"] == "SetProperty"), default=None)
    s.check(first_acquire is not None and last_range is not None and last_range < first_acquire,
            "the device was not acquired after its ranges were set")
    released = [c for c in calls if c["call"] == "Release" and c.get("device") == "1" and c["refs"] == "0"]
    s.check(released, "the device was not released at exit")


NOT_COUNTED = [
    ("skipped product alone", {"di.product.0": harness.SKIPPED_PRODUCT}, False),
    ("X range has no effect", {"di.range_hr.x": DI_PROPNOEFFECT}, False),
    ("Y range object not found", {"di.range_hr.y": DIERR_OBJECTNOTFOUND}, False),
    ("Z to Rz missing still counts", {f"di.range_hr.{a}": DIERR_OBJECTNOTFOUND for a in ("z", "rx", "ry", "rz")},
     True),
]


def directinput_not_counted(s):
    """Only a joystick whose X and Y ranges take (DI_OK exactly) counts, and
    the XInput pad's DirectInput face never does."""
    for label, extra, counted in NOT_COUNTED:
        run = s.run(label, {"di.devices": 1, "xi.connected": "0,0,0,0", **extra})
        run.start()
        if counted:
            s.screen.wait_focused(PROMPT_TITLE)
            run.keys("Escape")
            expect_run_ends_with_box(s, run, PORT_ERROR_TITLE, PORT_ERROR_TEXT)
        else:
            expect_run_ends_with_box(s, run, *NO_JOYSTICK)
            s.check(PROMPT_TITLE not in run.titles_seen, f"{label}: the prompt appeared")
        run.stop()


def failed_read(call):
    if call["call"] in ("GetDeviceState", "Poll"):
        return call["hr"] != "0x0"
    return call["call"] == "XInputGetState" and call["result"] == str(harness.ERROR_DEVICE_NOT_CONNECTED)


def failing_snapshot(s):
    """Reads that fail mid-run: ticks go on, and DirectInput is acquired again."""
    cases = [
        ("directinput read fails", {"di.devices": 1, "xi.connected": "0,0,0,0"},
         {"di.fail": 1}, {"di.fail": 0}),
        ("xinput disconnects", {"di.devices": 0, "xi.connected": "1,0,0,0"},
         {"xi.connected": "0,0,0,0"}, {"xi.connected": "1,0,0,0"}),
    ]
    for label, state, fail, recover in cases:
        run = s.run(label, state)
        run.start()
        window = open_monitor(s, run)
        run.wait_joy_lines(5)
        mark, joys_before = len(run.calls()), run.joy_count()
        run.set_state(**fail)
        wait_for(lambda: len([c for c in run.calls()[mark:] if failed_read(c)]) >= 6, 10, "six failed reads")
        # Each tick writes its JOY line only after its snapshot and its
        # drawing, so the line of the tick that logged the sixth failed read
        # may still be on its way; a program that stopped sending would not
        # get there at all.
        seen = run.joy_count() - joys_before
        try:
            wait_for(lambda: run.joy_count() - joys_before >= 3, 1, "three JOY lines while reads fail")
            log(f"[{label}] {seen} JOY line(s) in when the sixth failed read was logged, 3 soon after")
        except Failure:
            s.check(False, f"{label}: JOY lines stopped while reads failed "
                    f"({run.joy_count() - joys_before} after the failures began)")
        fail_mark = len(run.calls())
        run.set_state(**recover)
        try:
            wait_for(lambda: [c for c in run.calls()[fail_mark:]
                              if c["call"] in ("GetDeviceState", "XInputGetState")
                              and c.get("hr", c.get("result")) in ("0x0", "0")], 10,
                     "a good read after the controller came back")
        except Failure as e:
            s.check(False, f"{label}: {e}")
        if "di.fail" in fail:
            calls = run.calls()
            first_fail = next(i for i, c in enumerate(calls) if i >= mark and failed_read(c))
            acquires = [c for c in calls[first_fail:] if c["call"] == "Acquire" and c["hr"] == "0x0"]
            s.check(acquires, f"{label}: no Acquire after the failed read")
        count = run.joy_count()
        run.wait_joy_lines(count + 3)
        close_monitor(s, run, window, blocked=False)
        check_stream(s, run)
        run.stop()


def joy(*fields):
    return b"JOY " + ",".join(str(f) for f in fields).encode()


ZEROS = joy(*[0] * 11)
# Axis channels XL, YL, XD, YD, Aux5, Aux7, Aux6 and the button bytes, by
# their place on the JOY line.
AXIS_FIELDS, BYTE_FIELDS = (0, 1, 2, 3, 4, 5, 8), (6, 7, 9, 10)

# A joystick with every axis apart, the hat at 135 degrees (X +500, Y -500)
# and buttons 1, 3, 6, 15 and 16 down.
JOYSTICK_PUSHING = {"di.devices": 1, "xi.connected": "0,0,0,0", "di.x": 111, "di.y": -222, "di.z": 333,
                    "di.rx": -444, "di.ry": 555, "di.rz": -666, "di.pov": 13500,
                    "di.buttons": "128,0,128,0,0,128" + ",0" * 8 + ",128,128"}
# A gamepad: left X +500, right Y -250 (so +250 once negated), A, X, d-pad
# right and the right shoulder down (buttons 1, 3, 8 and 14).
GAMEPAD_PUSHING = {"di.devices": 0, "xi.connected": "1,0,0,0", "xi.lx": 16384, "xi.ly": 16384,
                   "xi.rx": -32768, "xi.ry": -8192, "xi.lt": 255, "xi.rt": 51, "xi.buttons": "0x5208"}

# Every way a line can be written, one per line; the buttons run through all
# four bytes so that a line end counted wrongly anywhere shifts what follows.
LAYOUT_LINES = [
    b"XL   =\t 4   blanks and a tab before the value, a remark after it\r\n",   # Rx -444
    b"YL   =%110\r",                                                          # Rz -666, CR alone
    b"XD  =1   '=' in column 5\n",                                           # 0
    b"YD    =2   '=' in column 7\r",                                          # 0
    "\u00e9    =3   a two-byte letter is one column\r\n".encode(),           # Z 333
    "\U0001F600   =8   an emoji is two columns\r\n".encode(),                 # hat Y -500
    b"AUX7 =+7\r",                                                            # hat X 500
    b"\r",                                                                    # a blank line 8
    b"-    =9\0",                                                             # NUL ends line 9
    b"B1.7 =3\n", b"B1.6 =2\n", b"B1.5 =0\n", b"B1.4 =$f\n",                  # 3 down, 2 not, none, 15
    b"B1.3 =%10000\n", b"B1.2 =$10\n", b"B1.1 =5\n", b"B1.0 =3\n",            # 16, 16, 5 not, 3 again
    b"B2.7 =3\n",                                                             # 3 in another byte
    b"\xe2\x82    =1\n",                                                      # one U+FFFD for both bytes
    b"\xff\xfe   =6\n",                                                       # two U+FFFD
    b"B2.4 =1 \xe2\n",                                                        # a cut-off sequence, then LF
    b"B2.3 =$00b\n", b"B2.2 =-0\n", b"B2.1 =16\n", b"B2.0 =17\n",            # 11 not, 0, 16, out of range
    b"B3.7 =1\n", b"B3.6 =0\n", b"B3.5 =$F\n", b"B3.4 = 6\n",                # 1, none, 15, 6
    b"B3.3 =0006\n", b"B3.2 =2\n", b"B3.1 =4\n", b"B3.0 =3\n",               # 6, 2 not, 4 not, 3
    b"B4.7 =6\n", b"B4.6 =\t16\n"] + [b"-    =0\n"] * 5 + [b"B4.0 =3\n"] + [b"-    =1\r\n"] * 3
LAYOUT_JOY = joy(-444, -666, 0, 0, 333, 500, 157, 242, -500, 185, 193)
# Lines 45 on are never read: were they, XL and button 1 would show.
TAIL = b"TAIL =1\r\n" * 200


def straddling(lines):
    """The same lines with remarks made longer so that line 1's CR LF falls on
    both sides of byte 16384 and line 6's emoji across byte 32768: a reader
    that takes the file in blocks must join what a block boundary cut."""
    lines = list(lines)
    lines[0] = lines[0][:-2] + b"." * (16383 - len(lines[0]) + 2) + b"\r\n"
    short = 32766 - sum(len(line) for line in lines[:5])
    lines[4] = lines[4][:-2] + b"." * short + b"\r\n"
    assert lines[0].index(b"\r") == 16383 and sum(len(line) for line in lines[:5]) == 32766
    return lines


# Selectors no table has, which must read as 0, and ones that only wrap
# round 2^32 into the tables. 65537, 257 and -65535 catch a value cut to 16
# or 8 bits.
OUT_OF_RANGE_LINES = [
    "XL   =10", "YL   =-1", "XD   =4294967295", "YD   =$7FFFFFFF", "AUX5 =65537",
    "AUX6 =4294967297",                                   # wraps to 1: left X 500
    "AUX7 =-4294967291",                                  # wraps to 5: right Y 250
    "-    =-2147483648", "-    =9",
    "B1.7 =17", "B1.6 =-1", "B1.5 =4294967295", "B1.4 =$7FFFFFFF", "B1.3 =$FFFFFFF0", "B1.2 =-2147483648",
    "B1.1 =$100000001",                                   # wraps to 1 (A)
    "B1.0 =-4294967293",                                  # wraps to 3 (X)
    "B2.7 =8", "B2.6 =14", "B2.5 =15", "B2.4 =16", "B2.3 =2",  # d-pad right, RS, none, none, B not
    "B2.2 =%1" + "0" * 31 + "11",                         # 2^33 + 3 wraps to 3
    "B2.1 =99999999999", "B2.0 =1",
    "B3.7 =65537", "B3.6 =257", "B3.5 =$10003", "B3.4 =-65535", "B3.3 =-2147483647",
    "B3.2 =0", "B3.1 =0", "B3.0 =1",
    "B4.7 =3"] + ["-    =0"] * 7
OUT_OF_RANGE_JOY = joy(0, 0, 0, 0, 0, 250, 3, 197, 500, 1, 128)

# A mapping the joystick would fill every channel from, were it read.
PLAIN_MAPPING = "\r\n".join(ASSIGNMENT) + "\r\n"


def file_of(data):
    def write(s, run):
        (run.cwd / harness.ASSIGNMENT_FILE).write_bytes(data)
    return write


def no_file(s, run):
    pass


def directory(s, run):
    (run.cwd / harness.ASSIGNMENT_FILE).mkdir()


def held_open(s, run):
    """The file is there, but another program holds it open without sharing
    until the run is over. Returns what releases it."""
    path = run.cwd / harness.ASSIGNMENT_FILE
    path.write_text(PLAIN_MAPPING, encoding="utf-8")
    ready, release = run.dir / "holder-ready", run.dir / "holder-release"
    output = open(run.dir / "holder-output.txt", "wb")
    holder = subprocess.Popen([*harness.WINE, str(run.cfg.tools / "e2e-hold-file.exe"), harness.windows_path(path),
                               harness.windows_path(ready), harness.windows_path(release)],
                              env=run.cfg.wine_env(s.display), stdin=subprocess.DEVNULL, stdout=output,
                              stderr=output)

    def let_go():
        release.write_text("go")
        try:
            s.equal(holder.wait(timeout=10), 0, "exit code of the holder (0: it held the file until released)")
        except subprocess.TimeoutExpired:
            s.check(False, "the program holding the file did not end after its release")
            holder.kill()
            holder.wait()
        output.close()
    try:
        wait_for(lambda: ready.exists() or holder.poll() is not None, 15, "the file to be held open")
    except Failure:
        holder.kill()
        holder.wait()
        output.close()
        raise
    if holder.poll() is not None:
        output.close()
        raise Failure(f"the program holding the file ended with {holder.returncode}: "
                      f"{(run.dir / 'holder-output.txt').read_bytes()[-400:]!r}")
    return let_go


# label, controller, what the working folder holds, the setup file box
# expected, every JOY line (None: any line within range)
ASSIGNMENT_CASES = [
    ("layout, joystick", JOYSTICK_PUSHING, file_of(b"".join(LAYOUT_LINES) + TAIL), False, LAYOUT_JOY),
    ("long remarks", JOYSTICK_PUSHING, file_of(b"".join(straddling(LAYOUT_LINES)) + TAIL), False, LAYOUT_JOY),
    ("selectors out of range, gamepad", GAMEPAD_PUSHING,
     file_of("\n".join(OUT_OF_RANGE_LINES).encode() + b"\n"), False, OUT_OF_RANGE_JOY),
    ("UTF-8 byte-order mark", JOYSTICK_PUSHING,
     file_of("\ufeffXL   =1\r\nYL   =1\r\nXD   =2\r\n".encode() + b"-    =0\r\n" * 6 + b"B1.7 =1\r\n"), False,
     joy(0, 111, -222, 0, 0, 0, 128, 0, 0, 0, 0)),
    ("empty file", JOYSTICK_PUSHING, file_of(b""), False, ZEROS),
    ("UTF-16 file", JOYSTICK_PUSHING, file_of(PLAIN_MAPPING.encode("utf-16")), False, ZEROS),
    ("64 KiB of noise", JOYSTICK_PUSHING, file_of(random.Random(8).randbytes(65536)), False, None),
    ("no file", JOYSTICK_PUSHING, no_file, True, ZEROS),
    ("a folder of that name", JOYSTICK_PUSHING, directory, True, ZEROS),
    ("held open by another program", JOYSTICK_PUSHING, held_open, True, ZEROS),
]


def assignment_file(s):
    """What VOMA_JOY_ASG.txt in the working folder does to the JOY lines, and
    what happens when it cannot be opened: the Information box, then every
    channel 0 whatever the controller does. Nothing in a file stops the run."""
    for label, state, prepare, setup_box, expected in ASSIGNMENT_CASES:
        run = s.run(label, state)
        release = prepare(s, run)
        try:
            run.start()
            window = open_monitor(s, run, setup_box)
            wait_for(lambda: run.joy_count() >= 3 or not run.running(), 10, f"{label}: 3 JOY lines")
            if run.running():
                close_monitor(s, run, window, blocked=False)
        finally:
            if release:
                release()
        if run.exit_time is not None and run.proc.returncode != 0:
            s.check(False, f"{label}: the program ended by itself with exit code {run.proc.returncode} "
                    f"after {run.joy_count()} JOY lines")
            run.stop()
            continue
        check_stream(s, run)
        joys = [m.text for m in run.messages()[0] if m.is_joy]
        if expected is not None:
            s.equal(sorted(set(joys)), [expected], f"{label}: JOY lines")
        for line in set(joys):
            fields = [int(f) for f in line[4:].split(b",")]
            s.check(all(-1000 <= fields[i] <= 1000 for i in AXIS_FIELDS)
                    and all(0 <= fields[i] <= 255 for i in BYTE_FIELDS), f"{label}: JOY line out of range {line!r}")
        s.equal(run.message_box_texts(), [SETUP_BOX[1]] if setup_box else [], f"{label}: message boxes")
        run.stop()


# The shipped assignment file: XL, YL, XD, YD from the joystick's X, Y, Rx, Ry.
SAMPLE_ASSIGNMENT = Path(__file__).resolve().parents[2] / "samples" / harness.ASSIGNMENT_FILE
STICKS_AT_REST = {"di.devices": 1, "xi.connected": "0,0,0,0"}


def buttons_down(numbers):
    return ",".join("128" if n in numbers else "0" for n in range(1, 17))


# Stick readings (X, Y, Rx, Ry) and the buttons held down. The first puts the
# left dot in its top-left corner and the right dot against the right edge of
# its field (just inside the outline at column 300); the second shortens the
# YL label from "1000" to "-5".
MOVES = [
    ("corner and edge", (-1000, -1000, 1000, 500), (1, 3, 16)),
    ("values shrink", (333, 5, -250, -1000), (2, 15)),
]
# A wander of both sticks for the README picture, ending off-centre.
WANDER = [(int(700 * math.cos(a / 10)), int(600 * math.sin(a / 8)), int(-500 * math.sin(a / 12)),
           int(650 * math.cos(a / 14))) for a in range(0, 120, 2)]


def crop(grabbed, dx, dy):
    width, height, rows = grabbed
    return CLIENT_WIDTH, CLIENT_HEIGHT, [row[4 * dx:4 * (dx + CLIENT_WIDTH)] for row in rows[dy:dy + CLIENT_HEIGHT]]


def picture_problems(picture, dots, trails, down):
    problems = frame_problems(picture) + lamp_problems(picture, down)
    (left, right), (left_trail, right_trail) = dots, trails
    covered = set(picture.box(*left, 5, 5)) | set(picture.box(*right, 5, 5))
    problems += box_problems(picture, left_trail, LEFT_TRAIL, "left trail", covered)
    problems += box_problems(picture, right_trail, RIGHT_TRAIL, "right trail", covered)
    problems += dot_problems(picture, left, LEFT_DOT, "left dot")
    problems += dot_problems(picture, right, RIGHT_DOT, "right dot")
    return problems


def label_extents(s, picture, what):
    extents = {}
    for name in LABELS:
        extents[name], problems = label_extent(picture, name)
        for problem in problems:
            s.check(False, f"{what}: {problem}")
    return extents


def monitor_drawing(s):
    """The monitor picture as drawn on the screen: the frame from the start,
    the dots where the formula puts them with trails where they were, the
    four labels and the lamps, through the shipped assignment file."""
    run = s.run("monitor", STICKS_AT_REST)
    shutil.copyfile(SAMPLE_ASSIGNMENT, run.cwd / harness.ASSIGNMENT_FILE)
    run.start()
    window = open_monitor(s, run)

    # Screenshots from the moment the window holds the focus, read once we
    # know where its client area lies: the frame must show within a moment
    # and never go away (nothing would ever draw it again).
    wx, wy, ww, wh = s.screen.origin(window)
    shown_at = time.monotonic()
    early = []
    while time.monotonic() - shown_at < 0.6:
        early.append((time.monotonic() - shown_at, s.screen.grab(wx, wy, ww, wh)))
        time.sleep(0.01)
    info, _ = run.inspect_window(MONITOR_TITLE)
    client = Client(s.screen, info)
    dx, dy = client.x - wx, client.y - wy
    framed = [not frame_problems(Picture(crop(g, dx, dy))) for _, g in early]
    first = framed.index(True) if True in framed else None
    if s.check(first is not None, f"the frame did not show in {len(early)} screenshots over 0.6 s: "
               f"{frame_problems(Picture(crop(early[-1][1], dx, dy)))}"):
        log(f"[{run.label}] frame on screen {early[first][0] * 1000:.0f} ms after the window took the focus")
        s.check(all(framed[first:]), "the frame went away after it had shown")
        harness.save_png(crop(early[first][1], dx, dy), run.dir / "early-client.png")

    # At rest: both dots centred, the first tick's trails in the corner, all lamps grey.
    run.wait_joy_lines(3)
    s.equal(run.messages()[0][-1].text, ZEROS, "JOY line with the controller at rest")
    dots = dot_positions(0, 0, 0, 0)
    s.equal(dots, ((89, 89), (237, 89)), "dot corners at rest")
    try:
        wait_for(lambda: not picture_problems(client.picture(), dots, dots, ()), 2, "the picture at rest",
                 interval=0.05)
    except Failure:
        for problem in picture_problems(client.picture(), dots, dots, ())[:8]:
            s.check(False, f"at rest: {problem}")
    picture = client.picture()
    for problem in first_trail_problems(picture):
        s.check(False, problem)
    extents = label_extents(s, picture, "at rest")
    harness.save_png(crop((CLIENT_WIDTH, CLIENT_HEIGHT, picture.rows), 0, 0), run.dir / "at-rest.png")

    for label, (x, y, rx, ry), down in MOVES:
        run.set_state(di__x=x, di__y=y, di__rx=rx, di__ry=ry, di__buttons=buttons_down(down))
        sticks = f"JOY {x},{y},{rx},{ry}".encode().split(b",")
        try:
            wait_for(lambda: run.messages()[0][-1].text.split(b",")[:4] == sticks, 3,
                     f"{label}: the JOY line of the moved sticks")
        except Failure as e:
            s.check(False, str(e))
            continue
        trails, dots = dots, dot_positions(x, y, rx, ry)
        try:
            wait_for(lambda: not picture_problems(client.picture(), dots, trails, down), 2, f"{label}: the picture",
                     interval=0.05)
        except Failure:
            for problem in picture_problems(client.picture(), dots, trails, down)[:8]:
                s.check(False, f"{label}: {problem}")
        picture = client.picture()
        for problem in first_trail_problems(picture):
            s.check(False, f"{label}: {problem}")
        before, extents = extents, label_extents(s, picture, label)
        if label == "corner and edge":
            s.equal(dots, ((31, 31), (295, 118)), "dot corners for -1000, -1000, 1000, 500")
            s.check(None not in (extents["YL"], before["YL"]) and extents["YL"] > before["YL"],
                    f"the YL label did not grow from 0 to 1000 (right ends {before['YL']} and {extents['YL']})")
        else:
            s.check(None not in (extents["YL"], before["YL"]) and extents["YL"] < before["YL"],
                    f"the YL label still reaches as far after it went from 1000 to -5 (right ends "
                    f"{before['YL']} and {extents['YL']}): its old tail was not covered")
        harness.save_png(crop((CLIENT_WIDTH, CLIENT_HEIGHT, picture.rows), 0, 0),
                         run.dir / f"{label.replace(' ', '-')}.png")

    # The README picture: both sticks wander and stop off-centre, three buttons down.
    run.set_state(di__buttons=buttons_down((1, 4, 7)))
    for x, y, rx, ry in WANDER:
        run.set_state(di__x=x, di__y=y, di__rx=rx, di__ry=ry)
        time.sleep(0.03)
    time.sleep(0.3)
    client.save_window(run.dir / "monitor-window.png")
    close_monitor(s, run, window, blocked=False)
    check_stream(s, run)
    s.equal(run.message_box_texts(), [], "message boxes")


def close_at_once(s):
    """A close request sent the moment the monitor window shows, while the
    window may still be settling before its frame is drawn, is not lost: one
    more tick, the stop commands, exit code 0."""
    for attempt in range(3):
        run = s.run(f"close at once {attempt + 1}", STICKS_AT_REST)
        shutil.copyfile(SAMPLE_ASSIGNMENT, run.cwd / harness.ASSIGNMENT_FILE)
        run.start()
        s.screen.wait_focused(PROMPT_TITLE)
        run.keys("Return")
        window = wait_for(lambda: s.screen.find(MONITOR_TITLE), 15, "the monitor window", interval=0.002)
        s.screen.request_close(window)
        s.equal(run.wait_exit(), 0, "exit code")
        joys = [m for m in check_stream(s, run) if m.is_joy]
        log(f"[{run.label}] {len(joys)} JOY line(s) before the stop commands")
        run.stop()


def drawing_soak(s):
    """Twenty thousand ticks of drawing through the real GDI backend leave the
    process's GDI objects where they were (see tools/drawing_soak.cpp)."""
    ticks = 20000
    out_path = s.dir / "drawing-soak.txt"
    with open(out_path, "wb") as out:
        code = subprocess.run([*harness.WINE, str(s.cfg.tools / "e2e-drawing-soak.exe"), str(ticks)],
                              env=s.cfg.wine_env(s.display, WINEDEBUG="-all,err+all"), stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.STDOUT, timeout=150).returncode
    text = out_path.read_text(errors="replace").replace("\r", "")
    s.equal(code, 0, f"exit code of the soak ({text[-400:]!r})")
    figures = dict(line.split("=", 1) for line in text.splitlines() if "=" in line and " " not in line)
    number = lambda key: int(figures.get(key, "-1"))  # noqa: E731
    log(f"soak figures: {figures}")
    s.equal(number("ticks"), ticks, "ticks drawn")
    s.equal(number("begin_without_window"), 0, "a pass begun before the window opened")
    s.equal(number("live_without_window"), 0, "pens and brushes made by passes that could not begin")
    s.equal(number("live_after_tick"), 0, "ticks after which pens or brushes were still alive")
    s.equal(number("wrong_pictures"), 0, "read-backs where the last tick's dots or lamp were missing")
    # A per-tick leak would cost tens of thousands of handles; a few may come
    # and go with wine's own caches.
    start, end = number("headroom_start"), number("headroom_end")
    s.check(start > 1000 and abs(start - end) <= 8,
            f"GDI objects the process can still create: {start} before the ticks, {end} after")
    if number("gdi_objects_start") > 0:
        s.check(number("gdi_objects_max") - number("gdi_objects_min") <= 8,
                f"GDI object count (GetGuiResources) varied from {number('gdi_objects_min')} "
                f"to {number('gdi_objects_max')}")
    else:
        log("GetGuiResources(GR_GDIOBJECTS) reports 0 here: the handle headroom stands in for it")


SCENARIOS = {f.__name__: f for f in (harness_selfcheck, no_controller, prompt_cancelled, bad_port_text,
                                     happy_path_xinput, controller_values, directinput_device,
                                     directinput_not_counted, failing_snapshot,
                                     assignment_file, monitor_drawing, close_at_once,
                                     drawing_soak)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--exe", type=Path, required=True)
    parser.add_argument("--tools", type=Path, required=True)
    parser.add_argument("--shim", type=Path, required=True)
    parser.add_argument("scenario", choices=["setup", "cleanup", *SCENARIOS])
    args = parser.parse_args()
    cfg = harness.Config(args.work.resolve(), args.exe.resolve(), args.tools.resolve(), args.shim.resolve())
    started = time.monotonic()
    try:
        if args.scenario == "setup":
            harness.fixture_setup(cfg)
            return 0
        if args.scenario == "cleanup":
            harness.fixture_cleanup(cfg)
            return 0
        session = harness.Session(cfg, args.scenario)
        try:
            SCENARIOS[args.scenario](session)
        finally:
            session.close()
    except Failure as e:
        log(f"FAIL: {e}")
        return 1
    elapsed = time.monotonic() - started
    if session.failures:
        log(f"{args.scenario}: {len(session.failures)} check(s) failed in {elapsed:.1f} s "
            f"(artifacts in {session.dir})")
        return 1
    log(f"{args.scenario}: passed in {elapsed:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
