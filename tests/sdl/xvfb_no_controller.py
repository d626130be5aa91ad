"""The native program on a real X server (Xvfb) with no controller attached.

It must show the message box "¡Error!" before anything else, stay in it
until the box is answered, and end with exit code 0 once Return or Escape
dismisses it. The box is found by its title and answered through XTEST, as a
user's keyboard would. Twice over: on a server with the X core fonts, where
SDL's own message box shows, and on one with only the built-in font, where
SDL's box cannot and the program's own box stands in.

Usage: xvfb_no_controller.py <path of voma-joystick>
Exit code 77 (skipped) only when there is no Xvfb on this machine.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
ERROR_TITLE = "\u00a1Error!"
PROMPT_TITLE = "VOMA PC Joysticks"


class Failure(Exception):
    pass


def start_xvfb(extra_args=()):
    """Starts Xvfb on a free display; returns (display name, process)."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp", *extra_args],
        pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 10
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip().isdigit():
        proc.kill()
        raise Failure("Xvfb did not report its display number")
    return f":{number.strip().decode()}", proc


def window_title(disp, window, atoms):
    """_NET_WM_NAME (UTF-8) if set, else WM_NAME."""
    from Xlib import X
    try:
        prop = window.get_full_property(atoms["_NET_WM_NAME"], atoms["UTF8_STRING"])
        if prop is not None and prop.value:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        prop = window.get_full_property(atoms["WM_NAME"], X.AnyPropertyType)
        if prop is not None and prop.value:
            value = prop.value
            return value.decode("latin-1") if isinstance(value, bytes) else str(value)
    except Exception:  # the window went away while we looked
        pass
    return None


def titled_windows(disp, atoms):
    """{title: window} of every window in the tree that has a title."""
    found = {}
    pending = [disp.screen().root]
    while pending:
        window = pending.pop()
        try:
            pending.extend(window.query_tree().children)
        except Exception:
            continue
        title = window_title(disp, window, atoms)
        if title:
            found[title] = window
    return found


def wait_for_box(disp, atoms, proc, timeout):
    """The viewable window titled ERROR_TITLE, once the program shows it."""
    from Xlib import X
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise Failure(f"the program ended (exit code {proc.returncode}) without showing {ERROR_TITLE!r}")
        windows = titled_windows(disp, atoms)
        if PROMPT_TITLE in windows:
            raise Failure("the port prompt came up: a controller is attached to this machine")
        box = windows.get(ERROR_TITLE)
        if box is not None:
            try:
                if box.get_attributes().map_state == X.IsViewable:
                    return box
            except Exception:
                pass
        time.sleep(0.05)
    raise Failure(f"no window titled {ERROR_TITLE!r} within {timeout} s; saw {sorted(titled_windows(disp, atoms))}")


def press(disp, window, key_name):
    """Focuses the window and types one key on the X server's keyboard."""
    from Xlib import X, XK
    from Xlib.ext import xtest
    window.set_input_focus(X.RevertToParent, X.CurrentTime)
    disp.sync()
    keycode = disp.keysym_to_keycode(XK.string_to_keysym(key_name))
    xtest.fake_input(disp, X.KeyPress, keycode)
    xtest.fake_input(disp, X.KeyRelease, keycode)
    disp.sync()


def run_once(exe, display_name, key_name):
    from Xlib import display as xdisplay
    env = dict(os.environ)
    env["DISPLAY"] = display_name
    for name in ("SDL_VIDEODRIVER", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    # No controller: no HID devices read directly, and none made up.
    env["SDL_JOYSTICK_HIDAPI"] = "0"
    disp = xdisplay.Display(display_name)
    atoms = {name: disp.intern_atom(name) for name in ("_NET_WM_NAME", "UTF8_STRING", "WM_NAME")}
    with tempfile.TemporaryDirectory() as work, open(os.path.join(work, "stderr.txt"), "w+b") as errors:
        proc = subprocess.Popen([exe], cwd=work, env=env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=errors)
        try:
            box = wait_for_box(disp, atoms, proc, timeout=10)
            time.sleep(0.3)
            if proc.poll() is not None:
                raise Failure("the program did not wait for the box to be answered")
            press(disp, box, key_name)
            try:
                code = proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                raise Failure(f"{key_name} did not close the box")
            if code != 0:
                errors.seek(0)
                raise Failure(f"exit code {code} after {key_name}; stderr:\n"
                              + errors.read().decode("utf-8", "replace")[-4000:])
            print(f"{key_name}: the box closed and the program ended with exit code 0")
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            disp.close()


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    exe = os.path.abspath(sys.argv[1])
    if shutil.which("Xvfb") is None:
        print("SKIP: Xvfb is not installed")
        return SKIPPED
    for fonts, xvfb_args in (("core fonts", ()), ("built-in font only", ("-fp", "built-ins"))):
        display_name, xvfb = start_xvfb(xvfb_args)
        try:
            for key_name in ("Return", "Escape"):
                print(f"{fonts}: ", end="")
                run_once(exe, display_name, key_name)
        except Failure as failure:
            print(f"FAIL: {failure}")
            return 1
        finally:
            os.killpg(xvfb.pid, signal.SIGTERM)
            xvfb.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
