#!/usr/bin/env python3
"""Lateness of the subtitle run against real players, with the CPU it costs: one row per player
and timing mode (classic, precise), each row a film played from its start with many short lines.

    real_players_bench.py QUORVANE_FOLLOW_EXE [--seconds 150] [--runs 3] [--players vlc]

Run under a Wine session (bench/real_players_bench.sh starts one). For each row the player plays
a test film made with ffmpeg from its start, quorvane-follow follows it (the program's run on its
own timers, printing each change of the text with the precise counter), and the bench asks the
player for its own position all along. That is the truth: a line is due when the player's own
film time reaches its start or end.

Per row: lateness of starts and ends (p50, p95, max, in ms; positive is late), lines missed
(never shown), doubled (shown more than once), early (shown more than 5 ms before due), and the
CPU of quorvane-follow, of the player and of the session's wineserver in % of one core. The
player's CPU is given twice: with the run following it, and for the same length of play with
only the bench asking, so that the difference is what the run's questions cost it.
"""
import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools", "follow"))
import follow_vlc_test as vlc_test  # noqa: E402  (the real VLC, as the follow test starts it)

TICKS = os.sysconf("SC_CLK_TCK")
EARLY_MS = 5  # within this of due counts as on time: the truth itself is known to a few ms


def cpu_seconds(pids):
    total = 0.0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += (int(fields[11]) + int(fields[12])) / TICKS
        except (OSError, IndexError, ValueError):
            pass
    return total


def pids_of(pattern):
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            continue
        if re.search(pattern, cmdline):
            found.append(int(pid))
    return found


def descendants(root):
    """root and every process below it."""
    children = {}
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open(f"/proc/{pid}/stat") as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append(int(pid))
    found, todo = [], [root]
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found


def make_lines(work, seconds):
    """Short lines all through the film, each at its own phase of the second."""
    cues = []
    start = 2000
    while start + 700 < seconds * 1000 - 2000:
        cues.append((start, start + 650))
        start += 1400 + (len(cues) * 137) % 190
    srt = os.path.join(work, "lines.srt")

    def stamp(ms):
        return f"{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}"

    with open(srt, "w", encoding="utf-8", newline="\r\n") as f:
        for n, (a, b) in enumerate(cues):
            f.write(f"{n + 1}\n{stamp(a)} --> {stamp(b)}\nL{n:03d}\n\n")
    return srt, cues


class VlcTruth:
    """VLC's own film time, from its answers: the length learnt from (time, position) pairs, each
    new position placed between the last answer without it and the first with it; the bracket of
    every update intersected gives the instant the film was at 0."""

    def __init__(self, vlc):
        self.vlc = vlc
        self.samples = []  # (asked, answered, time, position, length, state)
        self.running = True
        self.thread = threading.Thread(target=self._sample, daemon=True)
        self.thread.start()

    def _sample(self):
        while self.running:
            asked = time.monotonic()
            s = self.vlc.status()
            answered = time.monotonic()
            if s:
                self.samples.append((asked, answered, s.get("time"), s.get("position"), s.get("length"), s.get("state")))
            time.sleep(0.02)

    def stop(self):
        self.running = False
        self.thread.join()

    def zero(self, since):
        """(instant of the film's 0 in monotonic seconds, width of its bracket, learnt length).

        The length from the pace of the updates: at rate 1 the position grows by 1 / length a
        second, so a straight line through each update's (moment, position) gives it, where
        floor(position x length) == time alone may leave it a tenth of a second wide (VLC's
        updates can keep one phase of the second). Then each update's bracket bounds the 0."""
        played = [s for s in self.samples if s[0] >= since and s[5] == "playing"
                  and isinstance(s[2], int) and isinstance(s[3], (int, float)) and s[3] > 0]
        updates = [((prev[0] + cur[1]) / 2, prev[0], cur[1], cur[3])
                   for prev, cur in zip(played, played[1:]) if cur[3] != prev[3] and cur[2] >= 3]
        mean_m = statistics.fmean(u[0] for u in updates)
        mean_p = statistics.fmean(u[3] for u in updates)
        slope = (sum((u[0] - mean_m) * (u[3] - mean_p) for u in updates)
                 / sum((u[0] - mean_m) ** 2 for u in updates))
        length = 1 / slope
        brackets = [(low - p * length, high - p * length) for _, low, high, p in updates]
        zlow = max(b[0] for b in brackets)
        zhigh = min(b[1] for b in brackets)
        if zlow < zhigh:
            return (zlow + zhigh) / 2, zhigh - zlow, length
        # The updates do not meet in one instant: their middles' median, and their spread as the
        # truth's uncertainty (negative: said so).
        middles = sorted((a + b) / 2 for a, b in brackets)
        return statistics.median(middles), -(percentile(middles, 0.95) - percentile(middles, 0.05)), length


class Follow:
    """quorvane-follow with --stamp: each change with its precise counter and when it came here.
    The run shows each line half a second before its written time, on purpose; a delay of 500 ms
    gives the written times, so that a line is due when the player's time reaches them."""

    def __init__(self, exe, srt, args):
        self.srt = srt
        self.proc = subprocess.Popen(["wine", exe, "--lang", "en", "--stamp", "--delay", "500"] + args + [srt],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = []  # (came, counter seconds or None, text)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip()
            m = re.match(r"@(\d+) +\S+ +(.*)$", line)
            self.lines.append((time.monotonic(), int(m.group(1)) / 1e6 if m else None, m.group(2) if m else line))

    def wait_for(self, pattern, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if any(re.search(pattern, text) for _, _, text in self.lines):
                return True
            time.sleep(0.05)
        return False

    def changes(self):
        """(monotonic seconds, text): the counter moved onto this clock by the fastest line."""
        stamped = [(came, counter, text) for came, counter, text in self.lines if counter is not None]
        if not stamped:
            return [], 0.0
        offset = min(came - counter for came, counter, _ in stamped)
        delays = sorted((came - counter - offset) * 1000 for came, counter, _ in stamped)
        return [(counter + offset, text) for _, counter, text in stamped], delays[len(delays) * 95 // 100]

    def pids(self):
        """The Windows process, found by its command line, which names this bench's own subtitle
        file: Wine's launcher may hand it on to another process."""
        folder = os.path.basename(os.path.dirname(self.srt))
        return pids_of(r"quorvane-follow\.exe.*" + re.escape(folder))

    def stop(self):
        for pid in self.pids():
            try:
                os.kill(pid, 9)
            except OSError:
                pass
        self.proc.wait(timeout=10)


def percentile(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(p * (len(v) - 1) + 0.5))] if v else math.nan


def judge(changes, cues, zero, until):
    """Lateness of each line's start and end against its due instant, and the faults."""
    shown = {}  # line -> [(start instant, end instant or None)]
    current = None
    for at, text in changes:
        m = re.fullmatch(r"L(\d{3})", text)
        line = int(m.group(1)) if m else None
        if current is not None and line != current:
            shown[current][-1][1] = at
        if line is not None and line != current:
            shown.setdefault(line, []).append([at, None])
        current = line
    starts, ends, missed, doubled, early = [], [], 0, 0, 0
    for n, (a, b) in enumerate(cues):
        if zero + b / 1000 > until:
            break
        runs = shown.get(n, [])
        if not runs:
            missed += 1
            continue
        doubled += len(runs) > 1
        start_late = (runs[0][0] - (zero + a / 1000)) * 1000
        starts.append(start_late)
        early += start_late < -EARLY_MS
        if runs[0][1] is not None:
            end_late = (runs[0][1] - (zero + b / 1000)) * 1000
            ends.append(end_late)
            early += end_late < -EARLY_MS
    return starts, ends, missed, doubled, early


def vlc_row(exe, work, film, srt, cues, seconds, precise, port, server):
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    if os.geteuid() == 0:
        shutil.chown(home, "nobody")
    vlc = vlc_test.Vlc(film, port, home)
    follow = None
    truth = None
    try:
        if not vlc.wait_state("playing", 20):
            raise RuntimeError("VLC did not play the film")
        vlc_pids = descendants(vlc.proc.pid)
        truth = VlcTruth(vlc)
        # VLC's CPU with only the bench asking, for a tenth of the film.
        alone = max(5, seconds // 10)
        cpu0 = cpu_seconds(vlc_pids)
        time.sleep(alone)
        vlc_alone = (cpu_seconds(vlc_pids) - cpu0) * 100 / alone
        vlc.command(command="pl_pause")
        vlc.wait_state("paused", 5)
        vlc.command(command="seek", val="0")
        args = ["--source", "vlc", "--port", str(port), "--password", vlc_test.PASSWORD,
                "--seconds", str(seconds + 60)] + (["--precise"] if precise else [])
        follow = Follow(exe, srt, args)
        if not follow.wait_for(r"VLC's web interface", 60):
            raise RuntimeError("quorvane-follow did not start")
        time.sleep(2)
        follow_pids = follow.pids()
        server_pids = [server] if server else []
        t0 = time.monotonic()
        before = [cpu_seconds(p) for p in (follow_pids, vlc_pids, server_pids)]
        vlc.command(command="pl_pause")
        while time.monotonic() - t0 < seconds - 1 and vlc.proc.poll() is None:
            time.sleep(0.2)
        spent = time.monotonic() - t0
        after = [cpu_seconds(p) for p in (follow_pids, vlc_pids, server_pids)]
        until = time.monotonic()
        truth.stop()
        zero, width, length = truth.zero(t0)
        changes, pipe_p95 = follow.changes()
        starts, ends, missed, doubled, early = judge(changes, cues, zero, until)
        cpu = [(b - a) * 100 / spent for a, b in zip(before, after)]
        return {"starts": starts, "ends": ends, "missed": missed, "doubled": doubled, "early": early,
                "cpu_follow": cpu[0], "cpu_player": cpu[1], "cpu_player_alone": vlc_alone, "cpu_server": cpu[2],
                "truth_ms": width * 1000, "length": length, "pipe_p95": pipe_p95}
    finally:
        if truth:
            truth.running = False
        if follow:
            follow.stop()
        vlc.quit()


# A row for the real mpv goes here, in the same shape as vlc_row: the player started headless
# on the film, quorvane-follow --source mpv following it, the truth from the player's own
# answers, and the same dictionary back. PLAYERS below names each row's function.
PLAYERS = {"vlc": vlc_row}


def print_row(name, r):
    def f(values):
        return " ".join(f"{x:7.1f}" for x in (percentile(values, 0.5), percentile(values, 0.95),
                                              max(values, default=math.nan)))
    print(f"{name:<18} {len(r['starts']):4d} {f(r['starts'])} | {f(r['ends'])} | {r['missed']:3d} {r['doubled']:3d} "
          f"{r['early']:3d} | {r['cpu_follow']:5.2f} {r['cpu_player']:5.2f} ({r['cpu_player_alone']:5.2f}) "
          f"{r['cpu_server']:5.2f} | {r['truth_ms']:5.1f} {r['pipe_p95']:5.1f}", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--seconds", type=int, default=150)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--players", default=",".join(PLAYERS))
    parser.add_argument("--modes", default="classic,precise")
    parser.add_argument("--wineserver-pid", type=int, default=0)
    a = parser.parse_args()
    work = tempfile.mkdtemp()
    os.chmod(work, 0o755)
    try:
        film = vlc_test.encode_film(work, a.seconds + 10, 10)
        srt, cues = make_lines(work, a.seconds)
        for path in (film, srt):
            os.chmod(path, 0o644)
        print(f"{a.seconds} s of film, {len(cues)} lines; lateness in ms against the player's own time "
              f"(start p50 p95 max | end p50 p95 max); missed, doubled, early (> {EARLY_MS} ms); CPU % of one "
              "core: quorvane-follow, player (player with only the bench asking), wineserver; the truth's "
              "bracket and the output pipe's p95 delay in ms")
        rows = {}
        for run in range(a.runs):
            for player in a.players.split(","):
                for mode in a.modes.split(","):
                    port = vlc_test.free_port()
                    r = PLAYERS[player](os.path.abspath(a.exe), work, film, srt, cues, a.seconds, mode == "precise", port,
                                             a.wineserver_pid)
                    rows.setdefault((player, mode), []).append(r)
                    print_row(f"{player} {mode} #{run + 1}", r)
        print("spread over the runs (start p95, end p95, doubled):")
        for (player, mode), rs in rows.items():
            p95s = [percentile(r["starts"], 0.95) for r in rs]
            p95e = [percentile(r["ends"], 0.95) for r in rs]
            print(f"  {player} {mode}: start p95 {min(p95s):.1f}..{max(p95s):.1f}, end p95 {min(p95e):.1f}.."
                  f"{max(p95e):.1f}, doubled {sum(r['doubled'] for r in rs)}, "
                  f"median CPU {statistics.median(r['cpu_follow'] for r in rs):.2f} %")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
