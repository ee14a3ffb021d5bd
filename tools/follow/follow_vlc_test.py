#!/usr/bin/env python3
"""quorvane-follow against the real VLC: cues follow play, pause, seek and the end of the film,
and the text clears when VLC quits.

    follow_vlc_test.py QUORVANE_FOLLOW_EXE WORK_DIR

Makes a 20 s test film with ffmpeg (testsrc: a counter burnt into the picture) and a subtitle
file with one cue per second ("c07" from 7.1 s to 7.9 s; the last runs past the film's end),
runs Debian's VLC headless with its web interface on 127.0.0.1 (as an unprivileged user when
run as root: VLC refuses root), and quorvane-follow under Wine with --source vlc. While it
runs, VLC's own status is sampled, so that each cue shown is checked against the second VLC
itself reported at that moment.
"""
import base64
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from real_mpv import Follow, cue_of, encode_film  # noqa: E402

PASSWORD = "quorvane-test"
FILM_SECONDS = 20


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def make_film(work):
    film = encode_film(work, FILM_SECONDS, 10)
    srt = os.path.join(work, "film.srt")
    with open(srt, "w", encoding="utf-8", newline="\r\n") as f:
        for n in range(FILM_SECONDS):
            end = f"00:00:{n:02d},900" if n < FILM_SECONDS - 1 else "00:00:30,000"
            f.write(f"{n + 1}\n00:00:{n:02d},100 --> {end}\nc{n:02d}\n\n")
    return film, srt


class Vlc:
    def __init__(self, film, port, home):
        self.port = port
        cmd = ["cvlc", "--intf", "dummy", "--extraintf", "http", "--http-host", "127.0.0.1",
               "--http-port", str(port), "--http-password", PASSWORD, "--vout", "dummy",
               "--aout", "dummy", "--no-loop", "--no-repeat", film]
        if os.geteuid() == 0:
            cmd = ["runuser", "-u", "nobody", "--", "env", f"HOME={home}"] + cmd
        self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
        self.auth = "Basic " + base64.b64encode(f":{PASSWORD}".encode()).decode()

    def request(self, query=""):
        url = f"http://127.0.0.1:{self.port}/requests/status.json" + (f"?{query}" if query else "")
        req = urllib.request.Request(url, headers={"Authorization": self.auth})
        with urllib.request.urlopen(req, timeout=1) as r:
            return json.loads(r.read())

    def status(self):
        try:
            return self.request()
        except (OSError, ValueError):
            return None

    def command(self, **params):
        self.request(urllib.parse.urlencode(params))

    def wait_state(self, state, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            s = self.status()
            if s and s.get("state") == state:
                return True
            time.sleep(0.05)
        return False

    def quit(self):
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait(timeout=10)


def main():
    exe, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chmod(work, 0o755)
    film, srt = make_film(work)
    for path in (film, srt):
        os.chmod(path, 0o644)
    home = os.path.join(work, "home")
    os.makedirs(home)
    if os.geteuid() == 0:
        shutil.chown(home, "nobody")

    failures = []

    def check(ok, what):
        print(("ok:   " if ok else "FAIL: ") + what, flush=True)
        if not ok:
            failures.append(what)

    port = free_port()
    vlc = Vlc(film, port, home)
    follow = None
    samples = []  # (moment, VLC's time, VLC's state), sampled all along
    sampling = True

    def sample():
        while sampling:
            s = vlc.status()
            if s:
                samples.append((time.monotonic(), s.get("time"), s.get("state")))
            time.sleep(0.1)

    try:
        if not vlc.wait_state("playing", 20):
            check(False, "VLC plays the film with its web interface on")
            return 1
        vlc.command(command="pl_pause")  # held at the start while Wine starts the follower
        vlc.wait_state("paused", 5)
        vlc.command(command="seek", val="0")
        threading.Thread(target=sample, daemon=True).start()
        follow = Follow(exe, ["--source", "vlc", "--port", str(port), "--password", PASSWORD], srt, 90, echo=True)
        if follow.wait_for(r"VLC's web interface", 0, 30) is None:
            check(False, "quorvane-follow starts")
            return 1
        time.sleep(1)

        # Play.
        t = time.monotonic()
        vlc.command(command="pl_pause")
        check(follow.wait_for(r"c02$", t, 6) is not None, "play: the cues come as VLC plays")

        # Pause: nothing changes while VLC holds.
        vlc.command(command="pl_pause")
        check(vlc.wait_state("paused", 3), "VLC paused")
        paused_at = time.monotonic()
        time.sleep(2.5)
        late = [line for at, line in follow.since(paused_at + 0.3) if at < paused_at + 2.5]
        check(not late, f"pause: the text holds while VLC is paused (got {late})")
        t = time.monotonic()
        vlc.command(command="pl_pause")
        check(follow.wait_for(r"c\d\d$", t, 3) is not None, "resume: the cues come again")

        # Seek forward.
        t = time.monotonic()
        vlc.command(command="seek", val="15")
        shown = follow.wait_for(r"c1[56]$", t, 3)
        check(shown is not None, "seek: the cue of the new position shows")
        stale = [line for at, line in follow.since(t + 0.5) if (cue_of(line) or 99) < 15]
        check(not stale, f"seek: no cue from before the seek after it (got {stale})")

        # The end of the film: VLC stops; the last cue runs past the end and must be cleared.
        t = time.monotonic()
        check(follow.wait_for(r"c19$", t, 8) is not None, "the last cue shows")
        check(vlc.wait_state("stopped", 4), "VLC stops at the end of the film")
        stopped_at = time.monotonic()
        cleared = follow.wait_for(r"\(clear\)", stopped_at - 0.5, 2)
        check(cleared is not None, "end: the text clears when the film ends")

        # Played again, then VLC quits: the text clears about a second later.
        t = time.monotonic()
        vlc.command(command="pl_play")
        check(follow.wait_for(r"c01$", t, 6) is not None, "VLC plays again: the cues come again")
        vlc.quit()
        quit_at = time.monotonic()
        cleared = follow.wait_for(r"\(clear\)", quit_at, 3)
        check(cleared is not None and cleared - quit_at < 2.0, "quit: the text clears when VLC quits")
        sampling = False

        # Every cue shown while VLC played was the second VLC itself reported then (or the one
        # before or after: its status is updated four times a second).
        wrong = []
        for at, line in follow.since(0):
            n = cue_of(line)
            if n is None:
                continue
            near = [s for s in samples if abs(s[0] - at) <= 0.15 and s[2] == "playing" and isinstance(s[1], int)]
            if near and all(abs(s[1] - n) > 1 for s in near):
                wrong.append((line, [s[1] for s in near]))
        check(not wrong, f"each cue matches VLC's own time when it showed (wrong: {wrong})")
    finally:
        sampling = False
        if follow:
            follow.stop()
        vlc.quit()

    print(f"{'FAILED' if failures else 'PASSED'}: {len(failures)} of the checks failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
