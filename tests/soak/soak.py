#!/usr/bin/env python3
"""Soak run: the real quorvane.exe under Wine for a chosen time while a random user pauses,
seeks, resizes with the hotkeys, moves sliders, picks other files and restarts the player, and
while faults are injected (a file locked or deleted under the dialog, the settings key deleted
or made read-only, the player replaced by a namesake without the code signature, garbage in
the player's time record).

Once a second `uiprobe stats` reports, from outside, the program's handles, GDI objects,
windows, memory and how long its main window took to answer; `uiprobe watch` follows the
overlay's text. Each fault comes once in a warm-up at the start and again later. The verdict
fits a straight line to each figure's floor (the lowest value of each 10 s) after the first
minute and the warm-up, takes the longest time the window did not answer, and lists every cue
the overlay showed while the player's true position lay outside it. Writes soak.csv, soak.png and verdict.txt.

    soak.py --minutes 10 --artifacts DIR --work DIR --quorvane EXE ... [--seed N]
"""

import argparse
import csv
import json
import random
import re
import shutil
import subprocess
import sys
import threading
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from e2e_harness import (PLAYER_NAME, SETTINGS_KEY, SETTINGS_ROOT, PlayerTime, Session,  # noqa: E402
                         TestFailure, windows_path)

FILM_CUES = 1500
# A cue counts as shown out of time when the player's true position was this far before its
# start or after its end: the player's clock shows whole seconds, and the program follows it
# within a poll; a loaded machine adds a few hundred milliseconds.
EARLY_MS, LATE_MS = 400, 700
# After a command that changes the player's clock (seek, pause, restart, another file) the
# program needs up to a second to see it; texts in this time are not judged.
SETTLE_MS = 1600
# Wine without a window manager holds the program up to 2 s when a dialog's window closes; what
# the overlay shows then is not judged.
DIALOG_HOLD_MS = 3000
# Garbage in the player's record lasts until its next second and a poll.
GARBAGE_HOLD_MS = 1300
HOTKEYS = ["F8", "alt+F1", "alt+F2", "alt+bracketright", "alt+bracketleft"]
SLIDERS = ["SizeSlider", "WidthSlider", "LeftSlider", "TopSlider"]
CHECKS = ["CentreCheck", "ShadowCheck"]
# Offsets in the player's time record (digits stored as value + 1, then the playing flag).
DIGIT_OFFSETS = [0, 80, 160, 240, 320]
FLAG_OFFSET = 1440
WARM_UP_END = "warm-up done"
FIGURES = ["handles", "gdi", "windows", "private_kib", "mapped_kib", "working_set_kib"]


# The program keeps each cue 500 ms before the times the file gives: the player's clock shows
# whole seconds, and a cue that comes half a second early is on time on average.
LEAD_MS = 500
FILMS = {"film-a.srt": ("Film A", 2000, 4800, 2500), "film-b.srt": ("Film B", 1000, 4700, 3000)}


def film(path, prefix, first_ms, every_ms, length_ms):
    """A two-hour film's subtitles: FILM_CUES cues, each text unique; gives {text: (start, end)}
    as the program holds them."""
    cues, lines = {}, []
    for i in range(FILM_CUES):
        start = first_ms + i * every_ms
        end = start + length_ms
        text = f"{prefix} {i + 1:04d}"
        cues[text] = (start - LEAD_MS, end - LEAD_MS)
        lines += [str(i + 1), f"{stamp(start)} --> {stamp(end)}", text, ""]
    path.write_text("\r\n".join(lines) + "\r\n", encoding="utf-8")
    return cues


def stamp(ms):
    return f"{ms // 3600000:02d}:{ms // 60000 % 60:02d}:{ms // 1000 % 60:02d},{ms % 1000:03d}"


class Timeline:
    """The player's true position over tick counts, from every answer the player gave; None
    where no player with the code signature ran."""

    def __init__(self):
        self.entries = []  # (tick, PlayerTime or None)
        self.changes = []  # ticks at which the clock jumped or the run changed

    def record(self, answer, jump=True):
        player = PlayerTime(answer) if answer else None
        tick = answer["tick"] if answer else None
        return self.add(tick, player, jump)

    def add(self, tick, player, jump=True):
        self.entries.append((tick, player))
        if jump:
            self.changes.append((tick, SETTLE_MS))

    def hold(self, tick, span_ms):
        """The program was held up from `tick` on (see DIALOG_HOLD_MS)."""
        self.changes.append((tick, span_ms))

    def at(self, tick):
        current = None
        for at, player in self.entries:
            if at <= tick:
                current = player
        return current

    def settling(self, tick):
        return any(0 <= tick - change < span for change, span in self.changes)

    def known(self, tick):
        """Whether the player had answered by `tick`: before its first answer nothing is known
        of it, not even that it ran."""
        return bool(self.entries) and self.entries[0][0] is not None and self.entries[0][0] <= tick


class Soak:
    def __init__(self, s, minutes, seed, out):
        self.s = s
        self.seconds = minutes * 60
        self.rng = random.Random(seed)
        self.out = out
        self.timeline = Timeline()
        self.actions = []  # (monotonic seconds since start, name)
        self.problems = []
        self.files = {}
        self.current_cues = {}
        self.cue_of_file = []  # (tick from which, cues)
        self.fakes = 0

    # ---- helpers -------------------------------------------------------------------------

    def ctl(self, *command, jump=True):
        answer = self.s.player_ctl(*command)
        if "position" in answer:
            self.timeline.record(answer, jump)
        return answer

    def act(self, name):
        self.actions.append((time.monotonic() - self.began, name))
        self.s.log(f"ACTION {name}")

    def close_dialogs(self):
        for _ in range(6):
            if not self.s.dialogs():
                return
            self.s.key("Escape")
            time.sleep(0.5)
        if self.s.dialogs():
            raise TestFailure("a dialog would not close")

    def focus_player(self):
        x, y, w, _ = self.s.player_window["client_screen"]
        self.s.click_at(x + w // 2, y + 20)

    def start_film(self, key):
        """Select and Start with one of the films; the overlay follows it from then on."""
        path, cues = self.files[key]
        self.s.select_and_start(path)
        answer = self.ctl("position")
        self.cue_of_file.append((answer["tick"], cues))

    def restart_player(self, *extra, signature=True):
        self.s.wine("taskkill", "/f", "/im", PLAYER_NAME)
        self.s.wait_for("the player to end", lambda: not self.s.probe("procs", "--exe", PLAYER_NAME), 10, 0.2)
        self.timeline.add(self.wine_tick(), None)
        start = self.rng.randrange(0, 7000)
        self.s.start_player(f"--start={start * 1000}", *extra)
        if signature:
            self.ctl("position")

    def wine_tick(self):
        # The program's clock: GetTickCount as a Wine program sees it (the player answers it).
        answer = self.s.player_ctl("position") if self.s.probe("procs", "--exe", PLAYER_NAME) else None
        return answer["tick"] if answer else (self.timeline.entries[-1][0] or 0) + 1

    # ---- the random user -----------------------------------------------------------------

    def random_action(self):
        kinds = ["pause", "resume", "seek", "seek_by", "hotkey", "hotkey", "slider", "check",
                 "garbage", "garbage", "other_file", "restart_player"]
        weights = [6, 6, 8, 8, 6, 6, 6, 4, 5, 3, 2, 2]
        kind = self.rng.choices(kinds, weights)[0]
        self.act(kind)
        if kind == "pause":
            self.ctl("pause")
        elif kind == "resume":
            self.ctl("resume")
        elif kind == "seek":
            self.ctl("seek", str(self.rng.randrange(0, 7200) * 1000))
        elif kind == "seek_by":
            position = self.ctl("position", jump=False)["position"]
            self.ctl("seek", str(max(0, position + self.rng.choice([-30000, -10000, 10000, 60000]))))
        elif kind == "hotkey":
            self.focus_player()
            self.s.hotkey(self.rng.choice(HOTKEYS), hold=0.08)
        elif kind == "slider":
            slider = self.s.control(self.rng.choice(SLIDERS))
            self.s.click(slider)
            self.s.key(*[self.rng.choice(["Left", "Right"])] * self.rng.randrange(1, 4))
        elif kind == "check":
            self.s.click(self.s.control(self.rng.choice(CHECKS)))
        elif kind == "garbage":
            if self.rng.random() < 0.7:
                self.ctl("poke", str(self.rng.choice(DIGIT_OFFSETS)),
                         str(self.rng.choice([0, 11, 12, 99, 255])), jump=False)
            else:
                self.ctl("poke", str(FLAG_OFFSET), "-1", "4", jump=False)
        elif kind == "other_file":
            self.start_film(self.rng.choice(["A", "B"]))
        elif kind == "restart_player":
            self.restart_player()
            self.start_film(self.rng.choice(["A", "B"]))

    # ---- faults --------------------------------------------------------------------------

    def fault_locked_file(self):
        path = self.s.work / "soak-locked.srt"
        shutil.copy(self.files["A"][0], path)
        holder = self.s.start(self.s.program("uiprobe"), "hold", windows_path(path), "--for", "8000")
        self.s.wait_for("the file to be held", lambda: b"held" in holder.log_path.read_bytes(), 10)
        box = self.s.press_start()
        if not self.s.is_file_dialog(box):
            raise TestFailure("Select and Start did not open the file dialog")
        self.s.pick_file(path)
        # A file that cannot be read yields no lines: it is refused with a message that names it,
        # and the run that was going on keeps its own file.
        refusal = self.s.wait_for("the refusal", lambda: [box for box in self.s.dialogs()
                                                          if not self.s.is_file_dialog(box)], 10, 0.2)[0]
        texts = " ".join(c["text"] for c in self.s.message_box_contents(refusal))
        if path.name not in texts:
            self.problems.append(f"picking a held file showed {texts!r}, not its refusal")
        self.close_dialogs()
        self.start_film("A")

    def fault_deleted_file(self):
        path = self.s.work / "soak-deleted.srt"
        shutil.copy(self.files["B"][0], path)
        box = self.s.press_start()
        if not self.s.is_file_dialog(box):
            raise TestFailure("Select and Start did not open the file dialog")
        self.s.type_text(windows_path(path))
        path.unlink()
        self.s.key("Return")
        time.sleep(1.0)
        self.close_dialogs()

    def fault_key_deleted(self):
        self.s.delete_key(SETTINGS_ROOT, SETTINGS_KEY)

    def fault_key_readonly(self):
        # A change first, so that the key exists (it may have been deleted just before).
        self.s.click(self.s.control("TopSlider"))
        self.s.key("Left")
        time.sleep(0.5)
        if self.s.wine(self.s.program("uiprobe"), "regmode", SETTINGS_ROOT, SETTINGS_KEY, "readonly").returncode:
            self.problems.append("could not make the settings key read-only")
            return
        for _ in range(4):
            self.act("slider (key read-only)")
            self.s.click(self.s.control(self.rng.choice(SLIDERS)))
            self.s.key("Right")
            time.sleep(0.5)
        self.s.hotkey("alt+F1", hold=0.08)
        time.sleep(1.0)
        self.s.wine(self.s.program("uiprobe"), "regmode", SETTINGS_ROOT, SETTINGS_KEY, "writable")

    def fault_fake_player(self):
        self.restart_player("--no-signature", signature=False)
        # A namesake without the signature: the run must show nothing and the window go on.
        self.fakes += 1
        time.sleep(4.0)
        box = self.s.press_start()
        self.s.key("Return")
        self.s.wait_for("the message to close", lambda: not self.s.dialogs(), 5)
        del box
        self.restart_player()
        self.start_film("B")

    # ---- the run -------------------------------------------------------------------------

    def run(self):
        s = self.s
        self.files["A"] = (s.work / "film-a.srt", film(s.work / "film-a.srt", "Film A", 2000, 4800, 2500))
        self.files["B"] = (s.work / "film-b.srt", film(s.work / "film-b.srt", "Film B", 1000, 4700, 3000))
        s.clear_settings()
        s.start_player("--start=0:00:05")
        s.start_quorvane()
        budget_ms = int(self.seconds * 1000) + 600000
        self.stats = s.start(s.program("uiprobe"), "stats", "--exe", "quorvane.exe", "--class",
                             s.window_class, "--every", "1000", "--for", budget_ms)
        self.watch = s.watch_overlay(budget_ms)
        self.began = time.monotonic()
        self.sampler = Sampler(self, self.out / "soak.csv")
        self.sampler.start()
        self.start_film("A")

        faults = [(0.15, "locked file", self.fault_locked_file),
                  (0.30, "deleted file", self.fault_deleted_file),
                  (0.45, "settings key deleted", self.fault_key_deleted),
                  (0.60, "settings key read-only", self.fault_key_readonly),
                  (0.75, "player replaced by a namesake", self.fault_fake_player)]
        # Warm-up: each fault once at the start, so that what Wine or the program creates on
        # first use (the file dialog's message box, the caches of a first font) falls before the
        # fit begins; the faults come again later in the run, where growth would show.
        for _, name, inject in faults:
            self.act(f"FAULT {name} (warm-up)")
            inject()
            time.sleep(1.0)
        self.act(WARM_UP_END)
        while time.monotonic() - self.began < self.seconds:
            if s.quorvane.poll() is not None:
                self.problems.append(f"quorvane.exe ended with code {s.quorvane.returncode:#x}")
                break
            elapsed = (time.monotonic() - self.began) / self.seconds
            if faults and elapsed >= faults[0][0]:
                _, name, inject = faults.pop(0)
                self.act(f"FAULT {name}")
                inject()
            else:
                try:
                    self.random_action()
                except json.JSONDecodeError:
                    # A probe that printed nothing (Wine seldom loses a program's output): the
                    # driver's hiccup, not the program's; the next action goes on.
                    self.s.log("probe gave no answer; action skipped")
            time.sleep(self.rng.uniform(1.0, 4.0))
        self.close_dialogs()
        self.ctl("resume")
        time.sleep(2.0)
        self.sampler.stop()
        self.kept_settings()

    def kept_settings(self):
        """What the user set survives: the program, closed and started again, shows it."""
        s = self.s
        if s.quorvane.poll() is not None:
            return
        before = settings_shown(s)
        s.click(s.control("FontLabel"))  # the main window in front, no control that takes keys
        s.key("Escape")
        try:
            s.wait_exit(s.quorvane, 15)
        except TestFailure:
            self.problems.append("the main window did not close at the end")
            return
        s.start_quorvane()
        after = settings_shown(s)
        for name, value in before.items():
            if after.get(name) != value:
                self.problems.append(f"setting {name} was {value!r} at the end, {after.get(name)!r} after a restart")


def settings_shown(s):
    controls, _ = s.controls()
    out = {name: controls[name].get("pos") for name in SLIDERS}
    out.update({name: controls[name].get("checked") for name in CHECKS})
    return out


class Sampler(threading.Thread):
    """Once a second: the latest `uiprobe stats` line and, for memory, the Linux process's own
    pages (Wine answers private bytes with 0)."""

    def __init__(self, soak, path):
        super().__init__(daemon=True)
        self.soak = soak
        self.path = path
        self.rows = []
        self.done = threading.Event()

    def unix_pid(self):
        prefix = f"WINEPREFIX={self.soak.s.env()['WINEPREFIX']}".encode() if "WINEPREFIX" in self.soak.s.env() else b""
        for proc in Path("/proc").iterdir():
            if not proc.name.isdigit():
                continue
            try:
                argv0 = (proc / "cmdline").read_bytes().split(b"\0")[0]
                if not argv0.lower().endswith(b"quorvane.exe"):
                    continue
                if prefix and prefix not in (proc / "environ").read_bytes():
                    continue
                return int(proc.name)
            except OSError:
                continue
        return None

    def memory_kib(self, pid):
        """(private, mapped): what Windows counts as private bytes is the process's anonymous
        memory (heaps, stacks, VirtualAlloc, Wine's own allocations, written pages of its
        DLLs) and its swap; the pages of mapped files (fonts, DLL code) and of the X server's
        shared images that only this process holds come apart, as "mapped": they are bounded
        by the files' and images' sizes and are not private bytes."""
        try:
            text = Path(f"/proc/{pid}/smaps_rollup").read_text()
        except OSError:
            return None, None
        fields = {k: int(v) for k, v in re.findall(r"^(\w+):\s+(\d+) kB", text, re.M)}
        private = fields.get("Anonymous", 0) + fields.get("Swap", 0)
        alone = fields.get("Private_Clean", 0) + fields.get("Private_Dirty", 0) + fields.get("Swap", 0)
        return private, max(0, alone - private)

    def latest(self):
        lines = self.soak.stats.log_path.read_bytes().decode(errors="replace").splitlines()
        for line in reversed(lines):
            if line.startswith("{") and line.endswith("}"):
                return json.loads(line)
        return None

    def run(self):
        with open(self.path, "w", newline="") as f:
            out = csv.writer(f)
            out.writerow(["t_s", "tick", "pid", "handles", "gdi", "windows", "private_kib",
                          "working_set_kib", "stall_ms", "unanswered_ms", "latency_ms",
                          "handles_api", "gdi_api", "user_api", "private_api", "mapped_kib"])
            pid, seen_tick = None, None
            next_at = time.monotonic()
            while not self.done.is_set():
                line = self.latest()
                if line and line.get("pid") and line["tick"] != seen_tick:
                    seen_tick = line["tick"]
                    if pid is None or not Path(f"/proc/{pid}").exists():
                        pid = self.unix_pid()
                    private, mapped = self.memory_kib(pid) if pid else (None, None)
                    row = [round(time.monotonic() - self.soak.s.started_at, 1), line["tick"], line["pid"],
                           line["handles"], line["gdi"], line["windows"], private,
                           line["working_set"] // 1024, line["stall_ms"], line["unanswered_ms"],
                           line["latency_ms"], line["handles_api"], line["gdi_api"], line["user_api"],
                           line["private"], mapped]
                    self.rows.append(row)
                    out.writerow(row)
                    f.flush()
                next_at += 1.0
                self.done.wait(max(0.0, next_at - time.monotonic()))

    def stop(self):
        self.done.set()
        self.join(10)


# ---- the verdict -------------------------------------------------------------------------------

def slope_per_hour(points):
    """Least-squares slope of (seconds, value) points, per hour."""
    if len(points) < 3:
        return 0.0
    n = len(points)
    mx = sum(x for x, _ in points) / n
    my = sum(y for _, y in points) / n
    sxx = sum((x - mx) ** 2 for x, _ in points)
    if sxx == 0:
        return 0.0
    return sum((x - mx) * (y - my) for x, y in points) / sxx * 3600


def floor_points(points, width_s=10.0):
    """The lowest value in each `width_s` window of (seconds, value) points, at the window's
    first point: an open dialog or a window surface lifts a few seconds' samples, not the floor,
    and a leak raises the floor."""
    floors = {}
    for x, y in points:
        window = int((x - points[0][0]) // width_s)
        at, low = floors.setdefault(window, (x, y))
        floors[window] = (at, min(low, y))
    return list(floors.values())


def read_driver_log(folder, work):
    """The player's true position over the run, which file the overlay followed when, and the
    user's actions, all read back from driver.log: a run is judged from its artefacts alone.

    Every answer of the player gives its position at a tick count. A pause, resume or seek and
    the first answer after a Select and Start or a restart mark a jump; a poke does not move the
    clock. From a forced end of the player to its next answer no player with the signature runs."""
    timeline = Timeline()
    files = []  # (tick from which, {text: (start, end)})
    actions = []
    films = {name: film_cues(*shape) for name, shape in FILMS.items()}
    anchor = None  # (log seconds, tick) of the latest answer
    action, command, picked, killed = "", "", None, None
    garbage_since = None  # tick of a poke into a paused player's record
    for line in (folder / "driver.log").read_text(errors="replace").splitlines():
        at_text, _, rest = line.strip().partition(" ")
        rest = rest.strip()
        try:
            at = float(at_text)
        except ValueError:
            continue
        if rest.startswith("ACTION "):
            action = rest[7:]
            actions.append((at, action))
        elif rest.startswith("wine simplayer-ctl.exe "):
            command = rest.split()[3]
        elif rest.startswith("wine taskkill /f /im " + PLAYER_NAME):
            killed = at
            if anchor:
                timeline.add(anchor[1] + int((at - anchor[0]) * 1000), None)
        elif rest.startswith("xdotool type") and rest.endswith(".srt"):
            picked = Path(rest.split("\\")[-1]).name
            if picked.startswith("soak-deleted"):
                picked = None  # gone before the load: the dialog refuses it, the run goes on
        elif rest.startswith("xdotool key") and (rest.endswith("Return") or rest.endswith("Escape")):
            if anchor:
                timeline.hold(anchor[1] + int((at - anchor[0]) * 1000) - 500, DIALOG_HOLD_MS)
            if rest.endswith("Return") and isinstance(picked, str):
                picked = (picked, at)
        elif rest.startswith("-> OK position="):
            fields = dict(w.split("=", 1) for w in rest[3:].split()[1:])
            answer = {k: int(v) for k, v in fields.items()}
            jump = command in ("pause", "resume", "seek") or (
                command == "position" and not action.startswith("seek_by"))
            if command == "poke":
                # The program takes impossible digits by the clock's formula and a flag of -1 as
                # playing, as described, until the player writes its record again: at its next
                # second while it plays, at the next command while it is paused. What shows
                # meanwhile is not judged.
                if answer["playing"]:
                    timeline.hold(answer["tick"], GARBAGE_HOLD_MS)
                elif garbage_since is None:
                    garbage_since = answer["tick"]
            elif jump and garbage_since is not None:
                timeline.hold(garbage_since, answer["tick"] - garbage_since + SETTLE_MS)
                garbage_since = None
            if isinstance(picked, tuple):
                name, _ = picked
                files.append((answer["tick"], films.get(name, {})))
                picked, jump = None, True
            timeline.record(answer, jump)
            anchor = (at, answer["tick"])
            killed = None
    del killed
    return timeline, files, actions


def film_cues(prefix, first_ms, every_ms, length_ms):
    cues = {}
    for i in range(FILM_CUES):
        start = first_ms + i * every_ms
        cues[f"{prefix} {i + 1:04d}"] = (start - LEAD_MS, start + length_ms - LEAD_MS)
    return cues


def watch_texts(folder):
    """What the overlay showed, in order with its ticks, from the `uiprobe watch` log: the
    label's text while the overlay was visible, "" while it was hidden (F8) or gone; and the
    ticks at which a hidden overlay was shown again."""
    for log in sorted(folder.glob("uiprobe-*.log")):
        events = [json.loads(l) for l in log.read_text(errors="replace").splitlines()
                  if l.startswith("{") and l.endswith("}")]
        if events and "child" in events[0] or any("text" in e for e in events[:3]):
            out, shown_again, visible = [], [], None
            for e in events:
                if not e.get("hwnd") or e.get("text") is None:
                    continue
                if visible is False and e.get("visible"):
                    shown_again.append(e["tick"])
                visible = bool(e.get("visible"))
                text = e["text"] if visible else ""
                if not out or out[-1][0] != text:
                    out.append((text, e["tick"]))
            return out, shown_again
    return [], []


def misplaced_cues(folder):
    """Every text the overlay showed while the player's true position was outside its cue."""
    timeline, files, _ = read_driver_log(folder, None)
    out = []
    texts, shown_again = watch_texts(folder)
    # Shown again after F8, the program picks the player's time up as after a jump.
    for tick in shown_again:
        timeline.hold(tick, SETTLE_MS)
    for index, (text, tick) in enumerate(texts):
        if not text:
            continue
        until = texts[index + 1][1] if index + 1 < len(texts) else tick
        cues = {}
        for since, file_cues in files:
            if since <= tick:
                cues = file_cues
        # Judge the moments the text came and went, each once the clock had settled.
        for moment, edge in ((tick, "shown"), (until, "still shown")):
            if (timeline.settling(moment) or not timeline.known(moment)
                    or (edge == "still shown" and moment == tick)):
                continue
            player = timeline.at(moment)
            if player is None:
                out.append(f"{text!r} {edge} at tick {moment} with no player running")
                continue
            if text not in cues:
                out.append(f"{text!r} {edge} at tick {moment}: not a cue of the current file")
                continue
            start, end = cues[text]
            at = player.at(moment)
            late = edge == "still shown"
            if (not late and not start - EARLY_MS <= at <= end) or (late and at > end + LATE_MS):
                out.append(f"{text!r} {edge} at player time {at} ms (tick {moment}); cue {start}-{end} ms")
    return out


def dialog_closes(folder):
    """Log times at which the program's dialog was closed by a key (Return or Escape)."""
    out = []
    for line in (folder / "driver.log").read_text(errors="replace").splitlines():
        at, _, rest = line.strip().partition(" ")
        rest = rest.strip()
        if rest.startswith("xdotool key") and (rest.endswith("Return") or rest.endswith("Escape")):
            out.append(float(at))
    return out


def files_opened(folder):
    """Log times at which the file dialog took a file (Return after a typed subtitle path that
    still existed). Wine's file dialog keeps one registry key open for every such pick (its
    most-recently-used list is written and the key never closed), so the program's handle count
    grows by one per pick without any fault of its own."""
    out, typed = [], None
    for line in (folder / "driver.log").read_text(errors="replace").splitlines():
        at, _, rest = line.strip().partition(" ")
        rest = rest.strip()
        if rest.startswith("xdotool type") and rest.endswith(".srt"):
            typed = None if "soak-deleted" in rest else rest
        elif rest.startswith("xdotool key") and rest.endswith("Return") and typed:
            out.append(float(at))
            typed = None
    return out


def verdict(folder, minutes, offset_s=0.0):
    """The verdict from a run's artefacts (soak.csv, driver.log, the watch log, problems.txt).
    `offset_s` is where the CSV's seconds start on the driver log's clock."""
    with open(folder / "soak.csv") as f:
        reader = csv.reader(f)
        header = next(reader)
        rows = [[float(v) if v not in ("", "None") else None for v in row] for row in reader]
    col = {name: header.index(name) for name in header}
    problems_file = folder / "problems.txt"
    problems = problems_file.read_text().splitlines() if problems_file.exists() else []
    _, _, actions = read_driver_log(folder, None)
    # Handles less the keys Wine's file dialog left open (see files_opened).
    opened = files_opened(folder)
    col["handles_less_dialog_keys"] = len(header)
    for r in rows:
        r.append(None if r[col["handles"]] is None else
                 r[col["handles"]] - sum(1 for at in opened if at <= r[0] + offset_s))
    # The fit begins after the first minute and after the warm-up.
    warm_up_end = max((at for at, name in actions if name == WARM_UP_END), default=0.0)
    fitted = [r for r in rows if r[0] - rows[0][0] >= 60 and r[0] + offset_s >= warm_up_end]
    hours = (fitted[-1][0] - fitted[0][0]) / 3600 if len(fitted) > 1 else 0.0
    lines, failures = [], list(problems)
    drawn = {"rows": rows, "col": col, "offset_s": offset_s, "judged": [], "fits": {}}
    lines.append(f"soak: {minutes:g} min planned, {rows[-1][0] - rows[0][0] if rows else 0:.0f} s sampled, "
                 f"{len(rows)} samples, {len(actions)} actions; fit from {fitted[0][0] if fitted else 0:.0f} s")
    # Counts may drift by a few objects in a short run (a cache filled once); a run of an hour
    # or more is held to the goals: one object and 1 MiB an hour.
    if minutes >= 60:
        count_limit, memory_limit_kib = 1.0, 1024.0
    else:
        count_limit = max(1.0, 6.0 / hours) if hours else float("inf")
        memory_limit_kib = max(1024.0, 3072.0 / hours) if hours else float("inf")
    for name in ["handles_less_dialog_keys"] + [f for f in FIGURES if f in col]:
        points = [(r[0], r[col[name]]) for r in fitted if r[col[name]] is not None]
        floors = floor_points(points)
        slope = slope_per_hour(floors)
        first = points[0][1] if points else 0
        last = points[-1][1] if points else 0
        unit = " KiB" if name.endswith("kib") else ""
        limit = memory_limit_kib if name.endswith("kib") else count_limit
        # The working set follows Wine's paging and the mapped pages the files read, not leaks;
        # the raw handle count includes the keys Wine's file dialog leaves open.
        judged = name not in ("working_set_kib", "mapped_kib", "handles")
        ok = not judged or slope < limit
        if judged:
            drawn["judged"].append(name)
            drawn["fits"][name] = (floors, slope)
        lines.append(f"{name:24s} first {first:.0f}{unit}  last {last:.0f}{unit}  growth {slope:+.2f}{unit}/h"
                     f"  (limit {limit:.1f}{unit}/h){'' if judged else ' (shown, not judged)'}"
                     f"  {'ok' if ok else 'FAIL'}")
        if not ok:
            failures.append(f"{name} grows by {slope:+.2f}{unit} an hour")

    # Wine without a window manager holds a program up to 2 s when a dialog's window closes
    # (it waits for the window to be withdrawn): such stalls are shown apart, not judged.
    closes = dialog_closes(folder)

    def stall(r):
        return max(r[col["stall_ms"]] or 0, r[col["unanswered_ms"]] or 0)

    def after_dialog(r):
        t = r[0] + offset_s
        return any(t - 6 <= c <= t + 1 for c in closes)

    judged_rows = [r for r in rows if not after_dialog(r)]
    dialog_rows = [r for r in rows if after_dialog(r)]
    worst = max(judged_rows, key=stall, default=None)
    worst_dialog = max(dialog_rows, key=stall, default=None)
    longest = stall(worst) if worst else 0.0
    stall_limit = 250 if minutes >= 30 else 1000
    lines.append(f"longest time the window did not answer: {longest:.0f} ms"
                 + (f" (at {worst[0]:.0f} s, after {last_action(actions, worst[0] + offset_s)})" if worst else "")
                 + f"  (limit {stall_limit} ms)  {'ok' if longest <= stall_limit else 'FAIL'}")
    if worst_dialog:
        lines.append(f"  within 6 s of a dialog closing (Wine without a window manager): "
                     f"{stall(worst_dialog):.0f} ms at {worst_dialog[0]:.0f} s; "
                     f"{sum(1 for r in dialog_rows if stall(r) > 250)} such seconds over 250 ms (not judged)")
    drawn.update(after_dialog=after_dialog, stall=stall, stall_limit=stall_limit)
    if longest > stall_limit:
        failures.append(f"the window did not answer for {longest:.0f} ms")
    wrong = misplaced_cues(folder)
    lines.append(f"cues shown while the player's true position was outside them: {len(wrong)}")
    lines += [f"  {w}" for w in wrong]
    failures += wrong
    crashed = any("ended with code" in p for p in problems)
    lines.append(f"crash: {'yes' if crashed else 'no'}")
    lines.append(f"files opened through the dialog: {len(opened)} (Wine's dialog leaves one "
                 "registry key open for each: handles_less_dialog_keys is judged)")
    lines.append("real under Wine: handles (each handle value duplicated in turn), gdi (the process's GDI handle "
                 "table), windows (its windows and controls, for USER objects), private_kib (the "
                 "Linux process's anonymous pages and swap), mapped_kib (pages of files and shared "
                 "images that only it holds), working_set_kib; GetProcessHandleCount, "
                 "GetGuiResources and PrivateUsage answer 0 (in the CSV as *_api)")
    for f in problems:
        lines.append(f"problem: {f}")
    lines.append("VERDICT: " + ("PASS" if not failures else "FAIL"))
    return lines, failures, drawn


def last_action(actions, t):
    before = [name for at, name in actions if at <= t]
    return before[-1] if before else "the start"


# What the chart calls each figure of the CSV.
LABELS = {"handles_less_dialog_keys": "handles less the file dialog's keys", "handles": "handles",
          "gdi": "GDI objects", "windows": "windows", "private_kib": "private (anonymous)",
          "mapped_kib": "mapped, this process alone", "working_set_kib": "working set"}
COLOURS = {"handles_less_dialog_keys": "#1f77b4", "gdi": "#ff7f0e", "windows": "#2ca02c",
           "private_kib": "#d62728"}


def chart(drawn, folder, png_path):
    """Draws what the verdict judged, as it judged it: each judged figure with the floors its
    growth was fitted to (dots) and that fit (dashed), the figures only shown in grey, and the
    window's answer time apart for the seconds after a dialog closed, when Wine holds the window
    (shown, not judged). Writes chart.csv and chart-floors.csv beside the PNG for gnuplot."""
    rows, col = drawn["rows"], drawn["col"]
    if not rows:
        return False
    names = ["handles_less_dialog_keys"] + [f for f in FIGURES if f in col]
    with open(folder / "chart.csv", "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["t_s", *names, "answer_ms", "answer_after_dialog_ms"])
        for r in rows:
            held = drawn["after_dialog"](r)
            out.writerow([r[0], *("" if r[col[n]] is None else r[col[n]] for n in names),
                          "" if held else drawn["stall"](r), drawn["stall"](r) if held else ""])
    # gnuplot's data blocks, one a figure: the floors, then the fitted line's two ends.
    blocks, index = [], {}
    for name, (floors, slope) in drawn["fits"].items():
        if len(floors) < 2:
            continue
        index[name] = len(blocks)
        blocks.append("\n".join(f"{x},{y}" for x, y in floors))
        mx = sum(x for x, _ in floors) / len(floors)
        my = sum(y for _, y in floors) / len(floors)
        ends = (floors[0][0], floors[-1][0])
        blocks.append("\n".join(f"{x},{my + slope / 3600 * (x - mx)}" for x in ends))
    (folder / "chart-floors.csv").write_text("\n\n\n".join(blocks) + "\n")

    data, floors_file = folder / "chart.csv", folder / "chart-floors.csv"

    def curves(figures):
        out = []
        for name in figures:
            if name not in col:
                continue
            column = names.index(name) + 2
            if name in drawn["judged"]:
                out.append(f"'{data}' using 1:{column} with lines lw 1.5 "
                           f"lc rgb '{COLOURS.get(name, 'blue')}' title \"{LABELS[name]}\"")
                if name in index:
                    out.append(f"'{floors_file}' index {index[name]} using 1:2 with points pt 7 ps 0.5 "
                               f"lc rgb 'black' notitle")
                    out.append(f"'{floors_file}' index {index[name] + 1} using 1:2 with lines dt 2 "
                               f"lc rgb 'black' notitle")
            else:
                out.append(f"'{data}' using 1:{column} with lines lc rgb '#b0b0b0' "
                           f"title \"{LABELS[name]} (not judged)\"")
        return ", ".join(out)

    judged = ", ".join(LABELS[n] for n in drawn["judged"])
    answer, after = len(names) + 2, len(names) + 3
    script = f"""
set terminal pngcairo size 1100,800 noenhanced
set output '{png_path}'
set datafile separator ','
set key inside left top horizontal font ',9'
set offsets 0, 0, graph 0.3, 0
set lmargin 10
set rmargin 3
set multiplot layout 3,1 title "quorvane.exe soak. Judged: the growth per hour of {judged},\\nfitted to their 10 s floors (dots, dashed line), and the window's answer time outside the seconds\\nafter a dialog closes, when Wine holds the window. Grey: shown, not judged." font ',10'
set ylabel 'objects'
plot {curves(["handles", "handles_less_dialog_keys", "gdi", "windows"])}
set ylabel 'KiB'
plot {curves(["mapped_kib", "working_set_kib", "private_kib"])}
set ylabel 'ms'
set xlabel 'seconds'
set logscale y
set yrange [1:100000]
set offsets 0, 0, 0, 0
plot '{data}' using 1:{answer} with impulses lw 1.5 title 'window answer time (judged)', \
     '' using 1:{after} with impulses lc rgb '#b0b0b0' title 'within 6 s after a dialog closed: Wine holds the window (not judged)', \
     {drawn["stall_limit"]} with lines dt 2 lc rgb 'red' title 'limit'
unset multiplot
"""
    done = subprocess.run(["gnuplot"], input=script, text=True, capture_output=True)
    if done.returncode != 0:
        # Without cairo, the plain PNG terminal.
        done = subprocess.run(["gnuplot"], input=script.replace("pngcairo", "png"), text=True,
                              capture_output=True)
    return done.returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--name", default="soak", help="the artefacts' folder under --artifacts")
    parser.add_argument("--judge", help="only judge the artefacts in this folder again")
    parser.add_argument("--offset", type=float, default=0.0, help=argparse.SUPPRESS)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--work", required=True)
    programs = ("quorvane", "simplayer", "simplayer-ctl", "uiprobe")
    for program in programs:
        parser.add_argument(f"--{program}")
    args = parser.parse_args()
    args.programs = {p: getattr(args, p.replace("-", "_")) for p in programs}
    if args.judge:
        return report(Path(args.judge), args.minutes, None, args.offset)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)

    s = Session(args.name, args)
    out = s.artifacts
    soak = Soak(s, args.minutes, seed, out)
    s.log(f"seed {seed}")
    try:
        soak.run()
    except TestFailure as failure:
        soak.problems.append(str(failure))
    except Exception:
        soak.problems.append(traceback.format_exc())
    finally:
        if soak.problems:
            try:
                s.screenshot("screen-at-failure")
            except Exception:
                pass
        if getattr(soak, "sampler", None):
            soak.sampler.stop()
        s.stop_all()
        # Never leave the settings key locked for the tests that share this prefix.
        s.wine(s.program("uiprobe"), "regmode", SETTINGS_ROOT, SETTINGS_KEY, "writable")
    (out / "problems.txt").write_text("".join(p.replace("\n", " | ") + "\n" for p in soak.problems))
    (out / "actions.txt").write_text("".join(f"{at:8.1f} {name}\n" for at, name in soak.actions))
    if not getattr(soak, "sampler", None) or not soak.sampler.rows:
        print("FAIL soak: " + "; ".join(soak.problems))
        return 1
    return report(out, args.minutes, seed)


def report(out, minutes, seed, offset_s=0.0):
    lines, failures, drawn = verdict(out, minutes, offset_s)
    if seed is not None:
        lines.insert(1, f"seed {seed}")
    if chart(drawn, out, out / "soak.png"):
        lines.append(f"chart: {out / 'soak.png'}")
    else:
        lines.append("chart: gnuplot failed")
    (out / "verdict.txt").write_text("\n".join(lines) + "\n")
    print("\n".join(lines))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
