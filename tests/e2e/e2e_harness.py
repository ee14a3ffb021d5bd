"""Drives Windows programs under Wine on the virtual X display for the end-to-end tests.

A Session starts programs with a chosen LANG, finds windows and controls through uiprobe.exe
(control ids from src/app/control_ids.h), clicks and types with xdotool at control centres,
reads and writes the registry, takes screenshots into the artefacts folder, and ends every
program it started. For subtitle runs it also starts the simulated player under a player's
name, commands it, picks files through "Select and Start", follows the overlay's text with
`uiprobe watch`, and reads screenshots pixel by pixel.
"""

import fcntl
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SETTINGS_KEY = r"Software\Orlenna\Quorvane"
# Where the program keeps its settings in either build: HKLM in the registry's 32-bit view, as
# uiprobe names it (`reg` takes "HKLM" with /reg:32).
SETTINGS_ROOT = "HKLM32"
CUSTOMIZE_KEY = r"Software\CyberLink\PowerDVD15\UISettings\customize"
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4
OVERLAY_CLASS = "QuorvaneOverlay"
LABEL_CLASS = "QuorvaneSubtitleLabel"
PLAYER_NAME = "PowerDVDMovie.exe"

# The code page each test language gives the program; registry text is in it.
CODECS = {"zh_CN.UTF-8": "gbk", "zh_TW.UTF-8": "big5", "en_US.UTF-8": "cp1252"}


class TestFailure(Exception):
    pass


def control_ids():
    """The main window's class name and control ids, as the program declares them."""
    text = (ROOT / "src/app/control_ids.h").read_text()
    ids = {name: int(value) for name, value in re.findall(r"\bkId(\w+)\s*=\s*(\d+)", text)}
    window_class = re.search(r'QUORVANE_MAIN_WINDOW_CLASS\s+"([^"]+)"', text).group(1)
    return window_class, ids


def windows_path(path):
    """A Unix path as Wine sees it on its Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def centre(rect):
    x, y, w, h = rect
    return x + w // 2, y + h // 2


class Session:
    def __init__(self, name, args):
        self.name = name
        self.programs = args.programs
        self.work = Path(args.work)
        self.artifacts = Path(args.artifacts) / name
        self.work.mkdir(parents=True, exist_ok=True)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.lang = "en_US.UTF-8"
        self.started = []
        self.window_class, self.ids = control_ids()
        self.started_at = time.monotonic()
        if subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True,
                          timeout=15).returncode != 0:
            raise TestFailure(f"no X display at DISPLAY={os.environ.get('DISPLAY')!r}")
        self._ensure_locales()
        # No window manager runs on the virtual display: Wine draws the title bars itself, so
        # the close box exists and screenshots show the title.
        self.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated", "/d", "N", "/f")

    # ---- environment -------------------------------------------------------------------------

    def _ensure_locales(self):
        # Wine takes the system language from LANG only when the C library knows the locale; a
        # private LOCPATH keeps the machine's own locale setup untouched.
        self.locales = self.work / "locales"
        self.locales.mkdir(parents=True, exist_ok=True)
        with open(self.work / "locales.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            for lang in CODECS:
                if not (self.locales / lang / "LC_CTYPE").exists():
                    base = lang.split(".")[0]
                    subprocess.run(["localedef", "-i", base, "-f", "UTF-8", str(self.locales / lang)],
                                   check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if not (self.locales / lang / "LC_CTYPE").exists():
                    raise TestFailure(f"could not build the locale {lang} with localedef")

    def env(self, extra=None):
        env = dict(os.environ)
        env.update(LANG=self.lang, LC_ALL=self.lang, LOCPATH=str(self.locales))
        env.update(extra or {})
        return env

    @property
    def codec(self):
        return CODECS[self.lang]

    def program(self, name):
        path = self.programs.get(name)
        if not path or not Path(path).exists():
            raise TestFailure(f"{name}.exe is not built; this test needs it")
        return path

    # ---- running programs --------------------------------------------------------------------

    def log(self, line):
        with open(self.artifacts / "driver.log", "a") as log:
            log.write(f"{time.monotonic() - self.started_at:7.2f} {line}\n")

    def wine(self, *args, timeout=30):
        # Output goes through a file, never a pipe: a Wine program may start the desktop
        # process, which inherits its handles and would hold a pipe open until it ends.
        began = time.monotonic()
        with tempfile.TemporaryFile() as out:
            try:
                done = subprocess.run(["wine", *map(str, args)], stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=subprocess.DEVNULL, env=self.env(),
                                      timeout=timeout)
            finally:
                command = " ".join([Path(str(args[0])).name, *map(str, args[1:])])
                self.log(f"wine {command[:140]} ({time.monotonic() - began:.2f}s)")
            out.seek(0)
            done.stdout = out.read()
        return done

    def probe(self, *args, timeout=30):
        """Runs uiprobe; gives its JSON answer, or None when it found nothing."""
        done = self.wine(self.program("uiprobe"), *args, timeout=timeout)
        self.probe_exit = done.returncode
        if done.returncode != 0:
            return None
        return json.loads(done.stdout.decode("utf-8"))

    def start(self, path, *args, extra_env=None):
        log_path = self.artifacts / f"{Path(path).stem}-{len(self.started)}.log"
        with open(log_path, "wb") as log:
            proc = subprocess.Popen(["wine", str(path), *map(str, args)], stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT, env=self.env(extra_env))
        proc.log_path = log_path
        self.started.append(proc)
        return proc

    def stop_all(self):
        """Ends every program this session started: through Wine first, so that the Wine
        server and the desktop see an ordinary termination, then by process id."""
        alive = [proc for proc in self.started if proc.poll() is None]
        for name in sorted({Path(proc.args[1]).name for proc in alive}):
            self.wine("taskkill", "/f", "/im", name)
        for proc in alive:
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=10)
        self.started = []

    def wait_for(self, what, check, timeout=10.0, interval=0.1):
        deadline = time.monotonic() + timeout
        while True:
            value = check()
            if value:
                return value
            if time.monotonic() >= deadline:
                raise TestFailure(f"timed out after {timeout:.0f}s waiting for {what}")
            time.sleep(interval)

    # ---- the program under test --------------------------------------------------------------

    def start_quorvane(self, extra_env=None):
        """Starts quorvane.exe and waits for its main window."""
        exe = self.program("quorvane")
        self.quorvane = self.start(exe, extra_env=extra_env)
        # Generous: on a loaded machine Wine once took over 20 s to start the program at all.
        found = self.probe("wait", "--class", self.window_class, "--timeout", "40000", timeout=50)
        if not found:
            raise TestFailure("the main window did not appear within 40 s")
        self.main_window = found
        return self.quorvane

    def controls(self):
        """Every control of the main window by its id name (e.g. 'TrimButton'), and the window."""
        answer = self.probe("controls", "--class", self.window_class, "--timeout", "3000")
        if not answer:
            code = self.quorvane.poll() if getattr(self, "quorvane", None) else None
            raise TestFailure(f"the main window is gone (probe exit {self.probe_exit:#x}" +
                              (f", the program ended with code {code:#x})" if code is not None else ")"))
        by_id = {c["id"]: c for c in answer["controls"]}
        named = {name: by_id[num] for name, num in self.ids.items() if num in by_id}
        return named, answer["window"]

    def control(self, name):
        controls, _ = self.controls()
        if name not in controls:
            raise TestFailure(f"the main window has no control {name} (id {self.ids.get(name)})")
        return controls[name]

    def message_boxes(self):
        return self.probe("windows", "--exe", Path(self.program("quorvane")).name,
                          "--class", "#32770") or []

    def message_box_contents(self, box):
        answer = self.probe("controls", "--hwnd", box["hwnd"][2:])
        return answer["controls"] if answer else []

    def wait_exit(self, proc, timeout=10.0):
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure(f"the program did not end within {timeout:.0f}s")

    def system(self):
        return self.probe("system")

    def focus(self):
        """The foreground window and the window with the keyboard focus (uiprobe focus)."""
        return self.probe("focus")

    # ---- subtitle runs -----------------------------------------------------------------------

    def start_player(self, *args, name=PLAYER_NAME):
        """Starts the simulated player under a player's file name; gives its main window."""
        folder = self.work / "players" / self.name
        folder.mkdir(parents=True, exist_ok=True)
        exe = folder / name
        shutil.copy(self.program("simplayer"), exe)
        self.player = self.start(exe, *args)
        found = self.probe("wait", "--class", "QuorvaneSimPlayer", "--exe", name, "--timeout", "20000")
        if not found:
            raise TestFailure(f"the simulated player's window ({name}) did not appear")
        self.player_window = found
        return found

    def player_ctl(self, *command, name=PLAYER_NAME):
        """Commands the simulated player; gives its answer's fields, e.g. position and tick."""
        done = self.wine(self.program("simplayer-ctl"), name, *command, timeout=20)
        answer = done.stdout.decode(errors="replace").strip()
        self.log(f"  -> {answer}")
        if done.returncode != 0 or not answer.startswith("OK"):
            raise TestFailure(f"the simulated player did not take {' '.join(command)!r}: {answer!r}")
        fields = dict(word.split("=", 1) for word in answer.split()[1:] if "=" in word)
        return {key: int(value, 0) for key, value in fields.items()}

    def dialogs(self):
        """Top-level dialog-class windows of the program: message boxes and the file dialog."""
        return self.message_boxes()

    def is_file_dialog(self, box):
        classes = {c["class"].lower() for c in self.message_box_contents(box)}
        return "combobox" in classes or "syslistview32" in classes

    def press_start(self):
        """Clicks "Select and Start" and gives the first dialog-class window that comes up."""
        self.click(self.control("StartButton"))
        return self.wait_for("a dialog after Select and Start", self.dialogs, 15, 0.2)[0]

    def pick_file(self, path):
        """Types a file's full Wine path into the open file dialog and presses Enter."""
        self.type_text(windows_path(path) if isinstance(path, Path) else path)
        self.key("Return")
        self.wait_for("the file dialog to close", lambda: not self.dialogs(), 10, 0.2)

    def select_and_start(self, path):
        """A whole press that should start a run: the dialog must come, not a message."""
        box = self.press_start()
        if not self.is_file_dialog(box):
            texts = [c["text"] for c in self.message_box_contents(box)]
            raise TestFailure(f"Select and Start showed {box['title']!r} {texts!r}, not the file dialog")
        self.pick_file(path)
        return self.wait_for("the overlay", self.overlay, 10)

    def overlay(self):
        """The overlay window and its label ({"window":..., "label":...}), or None."""
        answer = self.probe("controls", "--class", OVERLAY_CLASS, "--hidden")
        if not answer:
            return None
        labels = [c for c in answer["controls"] if c["class"] == LABEL_CLASS]
        return {"window": answer["window"], "label": labels[0] if labels else None}

    def overlays(self):
        return self.probe("windows", "--class", OVERLAY_CLASS, "--hidden") or []

    def watch_overlay(self, for_ms=60000):
        """Follows the overlay and its label's text from now on (see Watch)."""
        proc = self.start(self.program("uiprobe"), "watch", "--class", OVERLAY_CLASS,
                          "--child", LABEL_CLASS, "--for", for_ms)
        watch = Watch(self, proc)
        self.wait_for("the watch to begin", watch.events, 10, 0.05)
        return watch

    # ---- input and screenshots ---------------------------------------------------------------

    def xdotool(self, *args):
        self.log("xdotool " + " ".join(map(str, args)))
        subprocess.run(["xdotool", *map(str, args)], check=True, timeout=15)

    def click(self, control_or_rect):
        rect = control_or_rect["rect"] if isinstance(control_or_rect, dict) else control_or_rect
        x, y = centre(rect)
        self.xdotool("mousemove", x, y, "click", 1)

    def click_at(self, x, y):
        self.xdotool("mousemove", x, y, "click", 1)

    def type_text(self, text):
        self.xdotool("type", "--delay", 40, "--", text)

    def key(self, *keys):
        self.xdotool("key", "--delay", 40, *keys)

    def hotkey(self, keys, hold=0.12):
        """Presses a key combination and holds it as a person does: the program polls the key
        states, and a press shorter than its poll may fall between two polls."""
        self.xdotool("keydown", keys)
        time.sleep(hold)
        self.xdotool("keyup", keys)
        time.sleep(0.05)

    def move_mouse_away(self):
        # The hint balloons follow the mouse; keep them out of screenshots.
        self.xdotool("mousemove", 0, 0)

    def grab(self, name):
        """The whole screen as an Image; kept as NAME.png among the artefacts."""
        raw = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], check=True,
                             capture_output=True, timeout=30).stdout
        image = Image.from_ppm(raw)
        subprocess.run(["convert", "ppm:-", str(self.artifacts / f"{name}.png")], input=raw,
                       check=True, timeout=30)
        self.log(f"screenshot {name}")
        return image

    def screenshot(self, name, rect=None):
        path = self.artifacts / f"{name}.png"
        crop = []
        if rect:
            x, y, w, h = rect
            crop = ["-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        subprocess.run(["import", "-window", "root", *crop, str(path)], check=True, timeout=30)
        return path

    # ---- registry ----------------------------------------------------------------------------

    def delete_key(self, root, key):
        view = ["/reg:32"] if root == "HKLM32" else []
        root = "HKLM" if root == "HKLM32" else root
        self.wine("reg", "delete", f"{root}\\{key}", "/f", *view)
        if self.wine("reg", "query", f"{root}\\{key}", *view).returncode == 0:
            raise TestFailure(f"could not delete {root}\\{key}")

    def clear_settings(self):
        self.delete_key(SETTINGS_ROOT, SETTINGS_KEY)
        # The user's own copy, kept where HKLM refused a write (a read-only key): read over HKLM.
        self.delete_key("HKCU", SETTINGS_KEY)

    def reg_values(self, root, key, *values):
        """{value: (type, data bytes) or None}; every value None when the key is missing."""
        answer = self.probe("regget", root, key, *values) or {}
        return {v: (answer[v]["type"], bytes.fromhex(answer[v]["hex"])) if answer.get(v) else None
                for v in values}

    def reg_get(self, root, key, value):
        """(type, data bytes) of a value, or None when it is missing."""
        return self.reg_values(root, key, value)[value]

    def reg_set(self, root, key, value, type_, data):
        argument = data.hex()
        if len(data) > 1024:
            blob = self.work / "regset.bin"
            blob.write_bytes(data)
            argument = "@" + windows_path(blob)
        done = self.wine(self.program("uiprobe"), "regset", root, key, value, str(type_), argument)
        if done.returncode != 0:
            raise TestFailure(f"could not write {root}\\{key}\\{value}")

    def setting(self, value):
        """A stored setting as text in the program's code page; None when missing."""
        found = self.reg_get(SETTINGS_ROOT, SETTINGS_KEY, value)
        if found is None:
            return None
        type_, data = found
        if type_ != REG_SZ:
            raise TestFailure(f'"{value}" is stored with type {type_}, not as text')
        return data.split(b"\0", 1)[0].decode(self.codec)

    def set_setting(self, value, text=None, type_=REG_SZ, data=None):
        if data is None:
            data = text.encode(self.codec) + b"\0"
        self.reg_set(SETTINGS_ROOT, SETTINGS_KEY, value, type_, data)


class Checks:
    """Collects failed expectations so one run reports all of them."""

    def __init__(self):
        self.failures = []

    def equal(self, what, actual, expected):
        if actual != expected:
            self.failures.append(f"{what}: expected {expected!r}, got {actual!r}")

    def true(self, what, condition):
        if not condition:
            self.failures.append(what)


class Watch:
    """The lines of a running `uiprobe watch`: each a change of the overlay (exists, visible,
    rectangle, label text) with the tick count it was seen at."""

    def __init__(self, session, proc):
        self.session = session
        self.proc = proc

    def events(self):
        lines = self.proc.log_path.read_bytes().decode("utf-8", errors="replace").splitlines()
        events = []
        for line in lines:
            if line.startswith("{") and line.endswith("}"):
                events.append(json.loads(line))
        return events

    def texts(self):
        """The label's texts in the order shown, each with the tick it came at; a run of
        events with one text (a move, a hidden window) counts once."""
        out = []
        for event in self.events():
            text = event.get("text")
            if event.get("hwnd") and text is not None and (not out or out[-1][0] != text):
                out.append((text, event["tick"]))
        return out

    def wait_text(self, text, timeout, after_tick=None):
        """Waits until the label shows `text` (after a tick count, if given); gives that tick."""
        def seen():
            for shown, tick in self.texts():
                if shown == text and (after_tick is None or tick >= after_tick):
                    return tick
            return None
        return self.session.wait_for(f"the label to show {text!r}", seen, timeout, 0.05)

    def last(self):
        events = self.events()
        return events[-1] if events else None


class PlayerTime:
    """The simulated player's true position at any tick count, from one of its answers; valid
    until it is paused, resumed or seeked again."""

    def __init__(self, answer):
        self.position = answer["position"]
        self.tick = answer["tick"]
        self.playing = answer["playing"] == 1

    def at(self, tick):
        return self.position + ((tick - self.tick) if self.playing else 0)


class Image:
    """An RGB screenshot, read from binary PPM."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, data

    @classmethod
    def from_ppm(cls, raw):
        fields, at = [], 0
        while len(fields) < 4:
            while raw[at:at + 1].isspace():
                at += 1
            if raw[at:at + 1] == b"#":
                at = raw.index(b"\n", at)
                continue
            end = at
            while not raw[end:end + 1].isspace():
                end += 1
            fields.append(raw[at:end])
            at = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise TestFailure(f"unexpected screenshot format {fields!r}")
        width, height = int(fields[1]), int(fields[2])
        return cls(width, height, raw[at + 1:at + 1 + width * height * 3])

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def clip(self, rect):
        x, y, w, h = rect
        left, top = max(0, x), max(0, y)
        right, bottom = min(self.width, x + w), min(self.height, y + h)
        return left, top, max(0, right - left), max(0, bottom - top)

    def pixels(self, rect):
        """(x, y, (r, g, b)) for every pixel of a screen rectangle (clipped to the screen)."""
        left, top, w, h = self.clip(rect)
        for y in range(top, top + h):
            row = self.data[(y * self.width + left) * 3:(y * self.width + left + w) * 3]
            for i in range(w):
                yield left + i, y, tuple(row[3 * i:3 * i + 3])

    def count(self, rect, colour):
        left, top, w, h = self.clip(rect)
        wanted = bytes(colour)
        total = 0
        for y in range(top, top + h):
            row = self.data[(y * self.width + left) * 3:(y * self.width + left + w) * 3]
            total += sum(1 for i in range(0, len(row), 3) if row[i:i + 3] == wanted)
        return total

    def bounds(self, rect, colour):
        """The smallest rectangle [x, y, w, h] holding every pixel of `colour`, or None."""
        xs, ys = [], []
        wanted = tuple(colour)
        for x, y, rgb in self.pixels(rect):
            if rgb == wanted:
                xs.append(x)
                ys.append(y)
        if not xs:
            return None
        return [min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1]
