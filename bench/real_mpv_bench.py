#!/usr/bin/env python3
"""The real mpv's rows of the players benchmark: quorvane-follow follows Debian's mpv (headless,
its IPC on a Unix socket, offered as mpv's pipe by mpv-relay) through a film with a cue a second,
once with precise timing off and once on. Each cue's start and end as mpv passed them, from
mpv's own reports on a connection of the benchmark's own, against the moments quorvane-follow
showed and cleared it; with what was missed, doubled or early, and the CPU of quorvane-follow's
process and of mpv over the play.

    real_mpv_bench.py BUILD_DIR [SECONDS]

Runs in a Wine session (bench/player_interfaces_bench.sh starts one).
"""
import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "follow"))
from real_mpv import (Bridge, Mpv, MpvControl, Relay, cpu_seconds, follow_mpv, lateness, make_film,  # noqa: E402
                      percentile)


def row(name, build, film, srt, cues, seconds, work, precise):
    mpv = Mpv(film, os.path.join(work, "mpv.sock"))
    control = bridge = relay = follow = None
    try:
        control = MpvControl(mpv.sock)
        control.heard.wait(10)
        bridge = Bridge(mpv.sock)
        relay = Relay(os.path.join(build, "mpv-relay.exe"), f"quorvane-bench-mpv-{os.getpid()}", bridge.port)
        follow = follow_mpv(os.path.join(build, "quorvane-follow.exe"), f"quorvane-bench-mpv-{os.getpid()}", srt,
                            seconds + 30, precise)
        follow.wait_for(r"mpv's pipe", 0, 30)
        time.sleep(2)
        cpu0 = (cpu_seconds(follow.proc.pid), cpu_seconds(mpv.proc.pid))
        t0 = time.monotonic()
        control.command("set_property", "pause", False)
        control.wait_position(lambda p, _: p >= seconds, seconds + 30)
        elapsed = time.monotonic() - t0
        time.sleep(0.5)
        cpu1 = (cpu_seconds(follow.proc.pid), cpu_seconds(mpv.proc.pid))
        start_late, end_late, missed, doubled, early = lateness(control.history(), follow.since(0), cues[:seconds])

        def cpu(i):
            if cpu0[i] is None or cpu1[i] is None:
                return "    -"
            return f"{(cpu1[i] - cpu0[i]) * 100 / elapsed:5.1f}%"

        def ms(values):
            if not values:
                return f"{'-':>6} {'-':>6} {'-':>6} {'-':>6}"
            return " ".join(f"{x * 1000:+6.0f}"
                            for x in (min(values), percentile(values, 0.5), percentile(values, 0.95), max(values)))

        print(f"{name:<24} {len(start_late):3d} {ms(start_late)}  {len(end_late):3d} {ms(end_late)}  "
              f"{missed:4d} {doubled:4d} {early:4d}  {cpu(0)} {cpu(1)}", flush=True)
    finally:
        for part in (follow, relay):
            if part:
                part.stop()
        if control:
            control.close()
        if bridge:
            bridge.close()
        mpv.kill()


def main():
    build = os.path.abspath(sys.argv[1])
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 60
    work = tempfile.mkdtemp(prefix="qv-mpv-")  # short: a Unix socket's path has at most 107 bytes
    try:
        film, srt, cues = make_film(work, seconds + 2)
        print(f"\nThe real mpv ({seconds} s of film, a cue a second): lateness (ms) of each cue's start and end "
              "as quorvane-follow showed and cleared it, against mpv's own reports")
        print("(early: shown before mpv passed the start; by a few ms is within the measure's own error)")
        print(f"{'source':<24} {'n':>3} {'min':>6} {'p50':>6} {'p95':>6} {'max':>6}  {'n':>3} {'min':>6} {'p50':>6} "
              f"{'p95':>6} {'max':>6}  {'miss':>4} {'dbl':>4} {'erly':>4}  {'CPU':>6} {'mpv':>5}")
        print(f"{'':<24} {'starts':^31}  {'ends':^31}")
        for precise in (False, True):
            row("mpv IPC (precise)" if precise else "mpv IPC (classic)", build, film, srt, cues, seconds, work, precise)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
