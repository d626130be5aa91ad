#!/usr/bin/python3
"""The end-to-end scenarios, one CTest test each (see CMakeLists.txt).

    scenarios.py --work DIR --exe EXE --tools DIR --shim SO <scenario>

"setup" and "cleanup" are the suite fixture; harness.py tells how it works.
Each scenario keeps what it saw under <build>/e2e/runs/<scenario>/: the byte
stream, the stand-in call log, the termios log, wine's stderr, a screenshot.
"""

import argparse
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


def open_monitor(s, run):
    """Default "3" + Enter, then the monitor window; returns its X window.
    Without an assignment file in the working folder the program must say so
    in between, after RCBAPP=85 went out; with one it must not."""
    s.screen.wait_focused(PROMPT_TITLE)
    nothing_on_port(s, run, "before the prompt is answered")
    run.keys("Return")
    wait_for(lambda: run.port.data().startswith(b"RCBAPP=85 "), 10, "RCBAPP=85 on the port")

    def next_window():
        titles = {t for _, t in s.screen.windows()}
        return next((t for t in (SETUP_BOX[0], MONITOR_TITLE) if t in titles), None)
    first = wait_for(next_window, 15, "the monitor window (or the setup file box)")
    missing = not (run.cwd / harness.ASSIGNMENT_FILE).exists()
    s.equal(first == SETUP_BOX[0], missing, f"the setup file box showed ({harness.ASSIGNMENT_FILE} "
            f"{'missing' if missing else 'present'})")
    if first == SETUP_BOX[0]:
        s.equal(run.port.data(), b"RCBAPP=85 ", "bytes on the port while the setup file box is up")
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
    face = tuple(whole["btnface"])
    x, y = info["client_origin"]
    width, height = info["client_size"]

    def painted():
        return s.screen.all_pixels(s.screen.grab(x, y, width, height), face)
    try:
        wait_for(painted, 3, "the client area in the button-face colour", interval=0.1)
    except Failure as e:
        s.check(False, str(e))
    fx, fy, fr, fb = info["frame"]
    harness.save_png(s.screen.grab(fx, fy, fr - fx, fb - fy), run.dir / "monitor-window.png")


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
        out = subprocess.run(["wine", probe, what], env=env, capture_output=True, timeout=60)
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
        crashed = subprocess.run(["wine", probe, "crash"], env=env, capture_output=True, timeout=60)
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
        s.check(run.joy_count() - joys_before >= 3, f"{label}: JOY lines stopped while reads failed")
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


SCENARIOS = {f.__name__: f for f in (harness_selfcheck, no_controller, prompt_cancelled, bad_port_text,
                                     happy_path_xinput, controller_values, directinput_device,
                                     directinput_not_counted, failing_snapshot)}


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
