#!/usr/bin/env python3
"""quorvane.exe's CPU while a film plays, end to end under Wine: on the free clock with its bar
shown and then faded, and on the simulated player's memory (classic, then precise timing),
each over the same file of a line every 0.7 s. CPU of quorvane.exe and of the Wine server of
this prefix, from /proc, in % of one core.

    . scripts/wine-env.sh && wine_session_start [win32|win64]
    bench/free_clock_e2e_bench.py [--build build/win] [--seconds 30]

build/win is the 32-bit build, build/win64 the 64-bit one; the session's Wine must be of the
build's architecture. The first line of the figures names it.
"""

import argparse
import glob
import os
import struct
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from e2e_harness import Session  # noqa: E402

BAR_PLAY = (136, 20)
DESCRIBED = {"win32": "i686 (32-bit build)", "win64": "x86_64 (64-bit build)"}  # the bar's play button, in 96-DPI pixels from its corner


def srt_time(ms):
    return "%02d:%02d:%02d,%03d" % (ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000)


def write_dense_file(path, minutes=10):
    lines = []
    for i, start in enumerate(range(1000, minutes * 60000, 700)):
        lines.append(f"{i + 1}\n{srt_time(start + 500)} --> {srt_time(start + 900)}\nline {i + 1}\n")
    path.write_text("\n".join(lines))


def processes(prefix, name):
    found = []
    for d in glob.glob("/proc/[0-9]*"):
        try:
            env = Path(d, "environ").read_bytes()
            cmd = Path(d, "cmdline").read_bytes()
        except OSError:
            continue
        if f"WINEPREFIX={prefix}".encode() in env and name.encode() in cmd:
            found.append(d)
    return found


def cpu_seconds(dirs):
    total = 0
    for d in dirs:
        try:
            fields = Path(d, "stat").read_text().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            pass
    return total / os.sysconf("SC_CLK_TCK")


def architecture(program):
    """What a Windows program was built for, from the machine field of its PE header."""
    data = Path(program).read_bytes()[:4096]
    header = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, header + 4)[0]
    return {0x14C: "win32", 0x8664: "win64"}.get(machine, f"machine {machine:#x}")


def measure(prefix, what, seconds):
    program, server = processes(prefix, "quorvane.exe"), processes(prefix, "wineserver")
    p0, s0 = cpu_seconds(program), cpu_seconds(server)
    time.sleep(seconds)
    p1, s1 = cpu_seconds(program), cpu_seconds(server)
    print(f"  {what:<34} quorvane.exe {100 * (p1 - p0) / seconds:5.2f} %   wineserver {100 * (s1 - s0) / seconds:5.2f} %",
          flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=str(ROOT / "build" / "win"))
    parser.add_argument("--seconds", type=int, default=30)
    args = parser.parse_args()
    build = Path(args.build)
    prefix = os.environ.get("WINEPREFIX", str(ROOT / "build" / "wineprefix"))
    options = argparse.Namespace(
        work=str(build / "e2e-work"), artifacts=str(build / "bench-artifacts"),
        programs={"quorvane": str(build / "quorvane.exe"), "uiprobe": str(build / "tests/e2e/uiprobe.exe"),
                  "simplayer": str(build / "tools/simplayer/simplayer.exe"),
                  "simplayer-ctl": str(build / "tools/simplayer/simplayer-ctl.exe")})
    # scripts/wine-env.sh names the architecture of the session's `wine`; the other one's
    # programs would not be measured as built (or, without 32-bit support, not start).
    session_arch = os.environ.get("QUORVANE_WINE_ARCH", "win32")
    if architecture(options.programs["quorvane"]) != session_arch:
        sys.exit(f"{args.build} is a {architecture(options.programs['quorvane'])} build; start a session "
                 f"of that architecture (wine_session_start ARCH), not {session_arch}")
    with tempfile.TemporaryDirectory() as temp:
        film = Path(temp) / "dense.srt"
        write_dense_file(film)
        s = Session("free_clock_e2e_bench", options)
        arch = architecture(options.programs["quorvane"])
        print(f"architecture: {DESCRIBED.get(arch, arch)}")
        print(f"quorvane.exe playing, a line every 0.7 s, {args.seconds} s each (% of one core)")
        try:
            s.clear_settings()
            s.set_setting("freeclock", "1")
            s.start_quorvane()
            s.select_and_start(film)
            x, y, _, _ = s.probe("windows", "--class", "QuorvaneTransportBar")[0]["rect"]
            s.click_at(x + BAR_PLAY[0], y + BAR_PLAY[1])
            s.move_mouse_away()
            time.sleep(1)
            measure(prefix, "free clock, bar shown", args.seconds)
            time.sleep(4)
            measure(prefix, "free clock, bar faded", args.seconds)
            s.stop_all()
            for precise in ("0", "1"):
                s.clear_settings()
                s.set_setting("precise", precise)
                s.start_player("--start=0:00:00")
                s.start_quorvane()
                s.select_and_start(film)
                time.sleep(1)
                measure(prefix, f"player's memory, {'precise timing' if precise == '1' else 'classic'}", args.seconds)
                s.stop_all()
        finally:
            s.stop_all()


if __name__ == "__main__":
    main()
