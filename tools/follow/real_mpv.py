"""The real mpv for the follow test and the players benchmark: Debian's mpv, headless, with its
JSON IPC server on a Unix domain socket, offered to Windows programs under Wine as mpv's named
pipe.

Wine 8's Winsock has no AF_UNIX sockets, so the way from the pipe to the socket has two legs:
mpv-relay.exe (under Wine) serves the pipe and opens a TCP connection to 127.0.0.1 for each
client, and the Bridge here (on the Linux side) passes each such connection on to mpv's socket.
Every leg passes bytes on as they come, one connection per client, as mpv serves its clients.

mpv's own account of its position is taken from a connection of its own (MpvControl): every
change of time-pos, pause and speed, stamped with the moment it came, so that the position mpv
had at any moment, and the moment it passed any point of the film, can be worked out.
"""
import json
import os
import re
import select
import socket
import subprocess
import threading
import time


def encode_film(work, seconds, rate):
    """A small test film in `work` (a counter in the picture, a tone) of `seconds`; returns its path."""
    film = os.path.join(work, "film.mp4")
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y",
                    "-f", "lavfi", "-i", f"testsrc=size=160x90:rate={rate}:duration={seconds}",
                    "-f", "lavfi", "-i", f"sine=frequency=440:duration={seconds}",
                    "-shortest", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", film],
                   check=True)
    return film


def make_film(work, seconds, rate=25):
    """A test film and an SRT file with one cue a second: "c07" from about 7.1 s to about 7.9 s;
    the last runs past the film's end. The starts and ends lie at different points of a 50 ms tick
    (a tick is the run's pace), so that the lateness spreads as it would over a real film's.
    Returns the film, the file and the cues' (start, end) in seconds."""
    film = encode_film(work, seconds, rate)
    cues = [(n + 0.1 + n * 17 % 50 / 1000, n + 0.85 + n * 29 % 50 / 1000) for n in range(seconds)]
    cues[-1] = (cues[-1][0], seconds + 10.0)

    def stamp(t):
        ms = round(t * 1000)
        return f"{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}"
    srt = os.path.join(work, "film.srt")
    with open(srt, "w", encoding="utf-8", newline="\r\n") as f:
        for n, (start, end) in enumerate(cues):
            f.write(f"{n + 1}\n{stamp(start)} --> {stamp(end)}\nc{n:02d}\n\n")
    return film, srt, cues


def cue_of(line):
    m = re.search(r"\bc(\d\d)$", line)
    return int(m.group(1)) if m else None


def cpu_seconds(pid):
    """User and system CPU a process has used so far (a Windows program under Wine is the Linux
    process `wine` was started as)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


class Mpv:
    """Debian's mpv, headless, paused at the start of `film`, its IPC server on `sock`."""

    def __init__(self, film, sock):
        self.sock = sock
        if os.path.exists(sock):
            os.unlink(sock)  # an earlier mpv's, left behind when it was killed
        self.proc = subprocess.Popen(
            ["mpv", "--no-config", "--vo=null", "--ao=null", "--pause", "--idle=no", "--keep-open=no",
             "--really-quiet", f"--input-ipc-server={sock}", film],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        # Ready once it takes a connection: the socket's file comes before mpv listens on it.
        end = time.monotonic() + 20
        while True:
            with socket.socket(socket.AF_UNIX) as probe:
                try:
                    probe.connect(sock)
                    break
                except OSError:
                    pass
            if time.monotonic() > end or self.proc.poll() is not None:
                raise RuntimeError("mpv did not open its IPC socket")
            time.sleep(0.05)

    def wait_gone(self, timeout):
        try:
            self.proc.wait(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)


class MpvControl:
    """A connection of the test's own to mpv: sends commands and keeps every report of time-pos,
    pause and speed as (moment, position s or None, paused, speed)."""

    def __init__(self, sock):
        self.conn = socket.socket(socket.AF_UNIX)
        self.conn.connect(sock)
        self.lock = threading.Lock()
        self.reports = []
        self.position, self.paused, self.speed = None, True, 1.0
        self.heard = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        for n, name in enumerate(("time-pos", "pause", "speed"), 1):
            self.command("observe_property", n, name)

    def command(self, *args):
        try:
            self.conn.sendall((json.dumps({"command": list(args)}) + "\n").encode())
        except OSError:
            pass

    def _read(self):
        pending = b""
        while True:
            try:
                data = self.conn.recv(65536)
            except OSError:
                data = b""
            now = time.monotonic()
            if not data:
                return
            pending += data
            *lines, pending = pending.split(b"\n")
            for raw in lines:
                try:
                    message = json.loads(raw)
                except ValueError:
                    continue
                if message.get("event") != "property-change":
                    continue
                name, value = message.get("name"), message.get("data")
                with self.lock:
                    if name == "time-pos":
                        self.position = value
                    elif name == "pause":
                        self.paused = bool(value)
                    elif name == "speed":
                        self.speed = value
                    else:
                        continue
                    self.reports.append((now, self.position, self.paused, self.speed))
                if name == "time-pos" and value is not None:
                    self.heard.set()

    def history(self):
        with self.lock:
            return list(self.reports)

    def position_at(self, at):
        """mpv's position at a moment, from its last report before it; None when not playing a film."""
        last = None
        for report in self.history():
            if report[0] > at:
                break
            last = report
        if not last or last[1] is None:
            return None
        moment, position, paused, speed = last
        return position if paused else position + (at - moment) * speed

    def wait_position(self, predicate, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with self.lock:
                if self.position is not None and predicate(self.position, self.paused):
                    return True
            time.sleep(0.01)
        return False

    def close(self):
        self.conn.close()


class Bridge:
    """127.0.0.1:port on the Linux side, each connection passed on to mpv's Unix socket."""

    def __init__(self, sock):
        self.sock = sock
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(16)
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._pass, args=(client,), daemon=True).start()

    def _pass(self, client):
        client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        upstream = socket.socket(socket.AF_UNIX)
        try:
            upstream.connect(self.sock)
        except OSError:  # mpv is gone: the client sees its connection closed
            client.close()
            upstream.close()
            return
        ends = {client: upstream, upstream: client}
        try:
            while True:
                ready, _, _ = select.select(list(ends), [], [])
                for s in ready:
                    data = s.recv(65536)
                    if not data:
                        return
                    ends[s].sendall(data)
        except OSError:
            pass
        finally:
            client.close()
            upstream.close()

    def close(self):
        self.listener.close()


class Relay:
    """mpv-relay.exe under Wine: the named pipe `pipe` for the bridge's port."""

    def __init__(self, relay_exe, pipe, port):
        self.proc = subprocess.Popen(["wine", relay_exe, pipe, str(port)], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        line = self.proc.stdout.readline().decode(errors="replace")
        if "ready" not in line:
            raise RuntimeError("mpv-relay did not start")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)


class Follow:
    """quorvane-follow's lines as they come, each with the moment it came. `player` are the
    arguments that name the player it follows; `echo` prints each line as it comes."""

    def __init__(self, exe, player, srt, seconds, extra=(), echo=False):
        self.proc = subprocess.Popen(
            ["wine", exe, "--lang", "en", *player, "--seconds", str(seconds), *extra, srt],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.lines = []
        self.lock = threading.Lock()
        self.echo = echo
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.proc.stdout:
            line = raw.decode("utf-8", "replace").rstrip()
            with self.lock:
                self.lines.append((time.monotonic(), line))
            if self.echo:
                print(f"  follow: {line}", flush=True)

    def since(self, t):
        with self.lock:
            return [(at, line) for at, line in self.lines if at >= t]

    def wait_for(self, pattern, after, timeout):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for at, line in self.since(after):
                if re.search(pattern, line):
                    return at
            time.sleep(0.02)
        return None

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(timeout=10)


def follow_mpv(exe, pipe, srt, seconds, precise=False, echo=False):
    """quorvane-follow following mpv's pipe. Quorvane shows every cue half a second before its
    written time; a delay of 500 ms takes that lead out, so that the cues are due at the times
    the file gives."""
    return Follow(exe, ["--source", "mpv", "--pipe", pipe], srt, seconds,
                  ["--delay", "500"] + (["--precise"] if precise else []), echo)


def lateness(history, lines, cues):
    """Each cue's start and end as mpv passed them (from its reports) against the moments the
    follower showed and cleared it. Returns (start lateness s, end lateness s, missed, doubled,
    early): a cue is due once each time play passes its start or lands in it; shown fewer
    times is missed, more is doubled; shown before its start is early."""
    starts = [start for start, _ in cues]
    ends = [end for _, end in cues]
    cue_count = len(cues)
    passed = {}  # cue -> moments play passed its start
    landed = {}  # cue -> moments a seek landed inside it
    ended = {}   # cue -> moments play passed its end
    for before, after in zip(history, history[1:]):
        if before[1] is None or after[1] is None:
            continue
        p0, p1 = before[1], after[1]
        playing = not before[2]
        jump = p1 < p0 or p1 - p0 > 0.5 + (after[0] - before[0]) * before[3] * 2
        for n in range(cue_count):
            if jump:
                if starts[n] <= p1 < ends[n] and not starts[n] <= p0 < ends[n]:
                    landed.setdefault(n, []).append(after[0])
                continue
            if playing and p0 < starts[n] <= p1:
                passed.setdefault(n, []).append(before[0] + (starts[n] - p0) / before[3])
            if playing and p0 < ends[n] <= p1:
                ended.setdefault(n, []).append(before[0] + (ends[n] - p0) / before[3])
    # Only what was shown: the follower also says other things (the player, the file, how it reads
    # the film's time).
    lines = [(at, line) for at, line in lines if cue_of(line) is not None or line.endswith("(clear)")]
    shown = {}
    start_late, end_late = [], []
    early = 0
    for i, (at, line) in enumerate(lines):
        n = cue_of(line)
        if n is None or n >= cue_count:
            continue
        shown[n] = shown.get(n, 0) + 1
        near = [m for m in passed.get(n, []) if -1.0 < at - m < 1.0]
        # A seek's landing has no start to be late for.
        if near and not any(abs(at - m) < 1.0 for m in landed.get(n, [])):
            late = at - min(near, key=lambda m: abs(at - m))
            start_late.append(late)
            early += late < 0
        # Its end: the next line, when it is the clearing of this cue as play passed its end.
        if i + 1 < len(lines) and lines[i + 1][1].endswith("(clear)"):
            cleared = lines[i + 1][0]
            near_end = [m for m in ended.get(n, []) if -1.0 < cleared - m < 1.0]
            if near_end:
                end_late.append(cleared - min(near_end, key=lambda m: abs(cleared - m)))
    missed = doubled = 0
    for n in range(cue_count):
        due = len(passed.get(n, [])) + len(landed.get(n, []))
        missed += max(0, due - shown.get(n, 0))
        doubled += max(0, shown.get(n, 0) - due)
    return start_late, end_late, missed, doubled, early


def percentile(values, p):
    if not values:
        return float("nan")
    v = sorted(values)
    return v[min(len(v) - 1, int(p * (len(v) - 1) + 0.5))]


def figures_text(start_late, end_late, missed, doubled, early):
    def ms(values):
        if not values:
            return "none"
        return (f"p50 {percentile(values, 0.5) * 1000:+.0f} p95 {percentile(values, 0.95) * 1000:+.0f} "
                f"max {max(values) * 1000:+.0f} ms (n {len(values)})")
    return f"starts {ms(start_late)}; ends {ms(end_late)}; missed {missed}, doubled {doubled}, early {early}"
