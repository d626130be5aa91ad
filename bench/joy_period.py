#!/usr/bin/python3
"""How steady is the tick? Runs the real program under wine against a
pseudo-terminal and, side by side, a bare loop that only pauses 25 ms and
writes a fixed line, and reports:

- the JOY period (median, p95, p99, from arrival times on the pty) of both;
- the program's CPU time per tick and its peak memory (the monitor drawing
  included, as in every tick);
- what the three drawing passes of a tick cost on their own
  (bench-drawing-cost.exe: DrawSticks and DrawButtonRow timed with
  QueryPerformanceCounter over thousands of ticks through the GDI backend).

    bench/joy_period.py [--build build/windows] [--seconds 20]

It reuses the end-to-end harness (its own prefix under <build>/bench) and
only reports; nothing here passes or fails on a time.
"""

import argparse
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402
import scenarios  # noqa: E402


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def periods_ms(chunks):
    messages, _ = harness.split_messages(chunks)
    joys = [m.time for m in messages if m.is_joy]
    return [(b - a) * 1000 for a, b in zip(joys, joys[1:])]


def summary(name, periods):
    return (f"{name:12s} n={len(periods):5d}  median {statistics.median(periods):6.2f} ms  "
            f"p95 {percentile(periods, 0.95):6.2f} ms  p99 {percentile(periods, 0.99):6.2f} ms")


def program_pid(prefix):
    """The program's process in our own prefix (the e2e tests may run one too)."""
    marker = f"WINEPREFIX={prefix}".encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if b"voma-joystick.exe" in (entry / "cmdline").read_bytes() and \
                    marker in (entry / "environ").read_bytes().split(b"\0"):
                return int(entry.name)
        except OSError:
            continue
    raise harness.Failure("the program's process was not found")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / 100.0  # utime + stime, in clock ticks


def peak_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--drawing-ticks", type=int, default=5000)
    args = parser.parse_args()
    build = args.build.resolve()
    cfg = harness.Config(build / "bench", build / "voma-joystick.exe", build,
                         build / "tests" / "e2e" / "termios_shim.so")
    harness.fixture_setup(cfg)
    session = harness.Session(cfg, "joy_period")
    try:
        # The real program, with a stand-in gamepad that moves nothing.
        run = session.run("program", {"di.devices": 0, "xi.connected": "1,0,0,0"})
        # No call log and a state read once: measure the program, not the stand-in.
        run.start(VOMA_STANDIN_LOG="", VOMA_STANDIN_STEADY="1")
        window = scenarios.open_monitor(session, run)
        run.wait_joy_lines(5)
        pid = program_pid(cfg.prefix)
        cpu_before, joys_before = cpu_seconds(pid), run.joy_count()
        time.sleep(args.seconds)
        cpu_after, joys_after = cpu_seconds(pid), run.joy_count()
        peak = peak_kib(pid)
        scenarios.close_monitor(session, run, window, blocked=False)
        program = periods_ms(run.port.snapshot())
        run.stop()

        # The bare loop, as many ticks as the program ran.
        port = harness.PtyPort(cfg)
        ticks = max(len(program), 100)
        bare_proc = subprocess.Popen([*harness.WINE, str(build / "bench-bare-loop.exe"), str(ticks)],
                                     env=cfg.wine_env(session.display), stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Its CPU over the same steady stretch as the program's, start-up left out.
        time.sleep(2)
        bare_cpu_before, bare_joys_before = cpu_seconds(bare_proc.pid), len(periods_ms(port.snapshot()))
        time.sleep(min(args.seconds, ticks * 0.025 - 4))
        bare_cpu = cpu_seconds(bare_proc.pid) - bare_cpu_before
        bare_ticks = len(periods_ms(port.snapshot())) - bare_joys_before
        bare_proc.wait(timeout=ticks * 0.1 + 60)
        time.sleep(0.2)
        bare = periods_ms(port.snapshot())
        port.close()

        drawing = subprocess.run([*harness.WINE, str(build / "bench-drawing-cost.exe"), str(args.drawing_ticks)],
                                 env=cfg.wine_env(session.display), stdin=subprocess.DEVNULL,
                                 capture_output=True, timeout=300).stdout.decode("utf-8", "replace")
    finally:
        session.close()
        harness.fixture_cleanup(cfg)

    ticks = joys_after - joys_before
    print(summary("program", program))
    print(summary("bare loop", bare))
    print(f"difference   median {statistics.median(program) - statistics.median(bare):+.2f} ms  "
          f"p99 {percentile(program, 0.99) - percentile(bare, 0.99):+.2f} ms")
    print(f"CPU          {(cpu_after - cpu_before) / max(ticks, 1) * 1e6:.0f} us per tick, "
          f"{(cpu_after - cpu_before) / args.seconds * 100:.2f} % of one core over {args.seconds:.0f} s "
          f"(clock-tick resolution, stand-in gamepad included)")
    print(f"bare loop    {bare_cpu / max(bare_ticks, 1) * 1e6:.0f} us per tick: wine's own cost of a pause and a write")
    print(f"peak memory  {peak / 1024:.1f} MiB resident (wine's own share included)")
    print(drawing.replace("\r", "").rstrip())


if __name__ == "__main__":
    main()
