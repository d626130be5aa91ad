#!/usr/bin/python3
"""How steady is the native program's tick? Builds a release build of the
native program (build/linux-bench, no sanitizers), runs it under Xvfb with the
demonstration's simulated gamepad against a pseudo-terminal, then a bare loop
that only pauses 25 ms and writes a fixed line, and reports for both:

- the JOY period (median, p95, p99, from arrival times on the pty);
- CPU time per tick (user + system, over the steady stretch);
- peak resident memory (VmHWM).

    bench/native_period.py [--seconds 20] [--video x11|dummy]

It only reports; nothing here passes or fails on a time.
"""

import argparse
import os
import re
import select
import shutil
import statistics
import subprocess
import sys
import threading
import time
import tty
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "linux-bench"
TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def build():
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release",
                    "-DVOMA_SANITIZE=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "-j", str(os.cpu_count() or 2), "--target",
                    "voma-joystick", "voma-demo-pad"], check=True, stdout=subprocess.DEVNULL)
    bare = BUILD / "bench-bare-loop-posix"
    subprocess.run(["c++", "-std=c++20", "-O2", "-o", str(bare), str(ROOT / "bench" / "bare_loop_posix.cpp")],
                   check=True)
    return BUILD / "voma-joystick", BUILD / "demo" / "libvoma-demo-pad.so", bare


def start_xvfb():
    if shutil.which("Xvfb") is None:
        sys.exit("Xvfb is missing (apt-get install xvfb), or use --video dummy")
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
                             "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
    os.close(write_end)
    display = b""
    while not display.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            sys.exit("Xvfb did not start")
        display += chunk
    os.close(read_end)
    return xvfb, ":" + display.decode().strip()


class PtyReader:
    """Arrival times of JOY lines at the far end of a pseudo-terminal."""

    def __init__(self):
        self.master, self.slave = os.openpty()
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)
        self.joy_times = []
        self.stop = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while not self.stop:
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, 4096)
            except OSError:
                return
            now = time.monotonic()
            self.joy_times.extend([now] * len(re.findall(rb"JOY ", data)))

    def close(self):
        self.stop = True
        self.thread.join()
        os.close(self.master)
        os.close(self.slave)


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS_PER_SECOND


def peak_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def measure(name, command, env, seconds, reader, cwd=None):
    process = subprocess.Popen(command, env=env, cwd=cwd)
    # Let start-up settle, then measure a steady stretch.
    deadline = time.monotonic() + 10
    while len(reader.joy_times) < 40 and time.monotonic() < deadline:
        time.sleep(0.05)
    start_cpu, start_joys, start = cpu_seconds(process.pid), len(reader.joy_times), time.monotonic()
    peak = 0
    while time.monotonic() - start < seconds - 2 and process.poll() is None:
        time.sleep(0.2)
        peak = max(peak, peak_kib(process.pid))
    end_cpu, end_joys, end = cpu_seconds(process.pid), len(reader.joy_times), time.monotonic()
    process.wait(timeout=30)
    times = reader.joy_times[start_joys:end_joys]
    periods = [(b - a) * 1000 for a, b in zip(times, times[1:])]
    ticks = max(1, end_joys - start_joys)
    return {
        "name": name,
        "periods": periods,
        "cpu_us_per_tick": (end_cpu - start_cpu) / ticks * 1e6,
        "cpu_share": (end_cpu - start_cpu) / (end - start) * 100,
        "peak_mib": peak / 1024,
        "exit": process.returncode,
    }


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def report(result):
    p = result["periods"]
    print(f"{result['name']:10s} n={len(p):5d}  median {statistics.median(p):6.2f} ms  "
          f"p95 {percentile(p, 0.95):6.2f} ms  p99 {percentile(p, 0.99):6.2f} ms  "
          f"CPU {result['cpu_us_per_tick']:6.0f} us/tick ({result['cpu_share']:.2f} % of a core)  "
          f"peak {result['peak_mib']:5.1f} MiB  exit {result['exit']}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--video", choices=("x11", "dummy"), default="x11")
    args = parser.parse_args()

    program, pad, bare = build()
    env = dict(os.environ)
    xvfb = None
    if args.video == "x11":
        xvfb, env["DISPLAY"] = start_xvfb()
    else:
        env["SDL_VIDEODRIVER"] = "dummy"
    try:
        reader = PtyReader()
        run_env = dict(env, LD_PRELOAD=str(pad), VOMA_DEMO_PORT=reader.path, VOMA_DEMO_CONFIRM_PROMPT="1",
                       VOMA_DEMO_CLOSE_AFTER_MS=str(args.seconds * 1000))
        results = [measure("program", [str(program)], run_env, args.seconds, reader, cwd=ROOT / "samples")]
        reader.close()
        reader = PtyReader()
        results.append(measure("bare loop", [str(bare), reader.path, str(args.seconds)], env, args.seconds, reader))
        reader.close()
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
    print(f"native tick, {args.seconds} s each, video {args.video}:")
    for result in results:
        report(result)
    program_result, bare_result = results
    print(f"difference: median {statistics.median(program_result['periods']) - statistics.median(bare_result['periods']):+.2f} ms, "
          f"p99 {percentile(program_result['periods'], 0.99) - percentile(bare_result['periods'], 0.99):+.2f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
