#!/usr/bin/env python3
"""quorvane-follow against the real mpv: cues follow play, pause, seek and a speed change, and the
text clears when mpv quits.

    follow_mpv_test.py QUORVANE_FOLLOW_EXE MPV_RELAY_EXE WORK_DIR

Makes a 40 s test film and a subtitle file with one cue a second (real_mpv.py), runs Debian's
mpv headless with its IPC server on a Unix socket, reached from Wine through mpv-relay.exe's
named pipe, and quorvane-follow under Wine with --source mpv. mpv's own reports, taken on a
connection of the test's own, are the truth each cue shown is checked against. The lateness
of starts and ends is printed, not judged: on a loaded machine it is the machine's.
"""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from real_mpv import Bridge, Mpv, MpvControl, Relay, cue_of, figures_text, follow_mpv, lateness, make_film  # noqa: E402

FILM_SECONDS = 40


def main():
    follow_exe, relay_exe, work = sys.argv[1], sys.argv[2], sys.argv[3]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    film, srt, cues = make_film(work, FILM_SECONDS)
    pipe = f"quorvane-test-mpv-{os.getpid()}"

    failures = []

    def check(ok, what):
        print(("ok:   " if ok else "FAIL: ") + what, flush=True)
        if not ok:
            failures.append(what)

    mpv = Mpv(film, os.path.join(work, "mpv.sock"))
    bridge = relay = follow = control = None
    try:
        control = MpvControl(mpv.sock)
        check(control.heard.wait(10), "mpv reports its position on its IPC socket")
        bridge = Bridge(mpv.sock)
        relay = Relay(relay_exe, pipe, bridge.port)
        follow = follow_mpv(follow_exe, pipe, srt, 120, echo=True)
        if follow.wait_for(r"mpv's pipe", 0, 30) is None:
            check(False, "quorvane-follow starts")
            return 1
        time.sleep(1.5)  # connected, and paused at the start: nothing shown
        check(not [line for _, line in follow.since(0) if cue_of(line) is not None],
              "paused at the start: nothing shown")

        # Play.
        t = time.monotonic()
        control.command("set_property", "pause", False)
        check(follow.wait_for(r"c02$", t, 8) is not None, "play: the cues come as mpv plays")

        # Pause inside a cue: the text holds.
        control.wait_position(lambda p, _: p % 1.0 > 0.3, 2)
        control.command("set_property", "pause", True)
        check(control.wait_position(lambda _, paused: paused, 3), "mpv paused")
        paused_at = time.monotonic()
        time.sleep(2.5)
        changed = [line for at, line in follow.since(paused_at + 0.3) if at < paused_at + 2.5]
        check(not changed, f"pause: the text holds while mpv is paused (got {changed})")
        t = time.monotonic()
        control.command("set_property", "pause", False)
        check(follow.wait_for(r"\(clear\)|c\d\d$", t, 3) is not None, "resume: the cues come again")

        # Seek forward.
        time.sleep(0.5)
        t = time.monotonic()
        control.command("seek", 15, "absolute")
        check(follow.wait_for(r"c1[56]$", t, 3) is not None, "seek: the cue of the new position shows")
        stale = [line for at, line in follow.since(t + 0.5) if (cue_of(line) or 99) < 15]
        check(not stale, f"seek: no cue from before the seek after it (got {stale})")

        # Twice the speed: ten seconds of film pass in five. mpv stalls for a moment as it takes a
        # new speed (about 0.2 s here) while the clock goes on at the new one: the change is made
        # late in a cue, so that the clock runs past the cue's end during the stall and must hold
        # there rather than step back and show the cue again.
        control.wait_position(lambda p, _: p >= 17.55, 5)
        t = time.monotonic()
        control.command("set_property", "speed", 2.0)
        shown = follow.wait_for(r"c2[7-9]$", t, 7)
        check(shown is not None and shown - t < 6.5, "speed 2: the cues come twice as fast")
        control.command("set_property", "speed", 1.0)
        control.wait_position(lambda p, _: p >= 30.5, 8)

        # mpv quits: the text clears.
        control.command("quit")
        check(mpv.wait_gone(5), "mpv quits")
        quit_at = time.monotonic()
        cleared = follow.wait_for(r"\(clear\)", quit_at - 0.2, 3)
        check(cleared is not None and cleared - quit_at < 2.0, "quit: the text clears when mpv quits")

        # Every cue shown was the one mpv itself was in then, or close: at most a tenth of a second
        # before its start and a second after its end, for a loaded machine.
        history = control.history()
        lines = follow.since(0)
        wrong = []
        for at, line in lines:
            n = cue_of(line)
            position = control.position_at(at)
            if n is not None and position is not None and not n + 0.0 <= position <= n + 1.9:
                wrong.append((line, round(position, 3)))
        check(not wrong, f"each cue matches mpv's own position when it showed (wrong: {wrong})")
        start_late, end_late, missed, doubled, early = lateness(history, lines, cues)
        check(missed == 0 and doubled == 0, f"no cue missed or shown twice (missed {missed}, doubled {doubled})")
        print(f"lateness against mpv's own reports: {figures_text(start_late, end_late, missed, doubled, early)}",
              flush=True)
    finally:
        for part in (follow, relay):
            if part:
                part.stop()
        if control:
            control.close()
        if bridge:
            bridge.close()
        mpv.kill()

    print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} of the checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
