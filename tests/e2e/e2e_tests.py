#!/usr/bin/env python3
"""End-to-end tests of quorvane.exe: one test per run, named on the command line.

    e2e_tests.py NAME --artifacts DIR --work DIR --quorvane EXE --uiprobe EXE ...

Each test starts the real program under Wine with a clean settings key, drives it with xdotool
as a user would, checks windows, controls and the registry, keeps screenshots under
DIR/NAME/, and ends everything it started.
"""

import argparse
import shutil
import sys
import time
import traceback
from pathlib import Path

from e2e_harness import (CUSTOMIZE_KEY, SETTINGS_KEY, REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_SZ, Checks,
                         Session, TestFailure, windows_path)

# Captions by control, per language (the link credit after row 19's fixed text is free).
CAPTIONS = {
    "zh_CN.UTF-8": {
        "title": "Quorvanev1.5 (仅支持PD15)", "PlayerGroup": "播放器选择",
        "ModeLabel": "仅PowerDVD15 BD/DVD模式", "ProcessLabel": "进程名：", "TrimButton": "精简UI",
        "StartButton": "选择字幕并执行", "HelpButton": "用法", "FontLabel": "字体 = ",
        "DelayLabel": "延时 = ", "CentreCheck": "居中显示", "ShadowCheck": "阴影效果",
        "SizeLabel": "字体大小 = 36", "WidthLabel": "字幕宽度 = 1440", "LeftLabel": "水平位置 = 240",
        "TopLabel": "垂直位置 = {top}", "ToolLink": "时间轴快速调节工具",
        "ForumLink": "Veltmoor第一游戏论坛", "UpdateLink": "检查更新*", "FontBox": "黑体",
    },
    "zh_TW.UTF-8": {
        "title": "Quorvanev1.5 (僅支持PD15)", "PlayerGroup": "播放器選擇",
        "ModeLabel": "僅PowerDVD15 BD/DVD模式", "ProcessLabel": "進程名：", "TrimButton": "精簡UI",
        "StartButton": "選擇字幕並執行", "HelpButton": "用法", "FontLabel": "字體 = ",
        "DelayLabel": "延時 = ", "CentreCheck": "居中顯示", "ShadowCheck": "陰影效果",
        "SizeLabel": "字體大小 = 36", "WidthLabel": "字幕寬度 = 1440", "LeftLabel": "水平位置 = 240",
        "TopLabel": "垂直位置 = {top}", "ToolLink": "時間軸快速調節工具",
        "ForumLink": "Veltmoor第一遊戲論壇", "UpdateLink": "檢查更新*", "FontBox": "黑體",
    },
    "en_US.UTF-8": {
        "title": "Quorvane (Only For PD15)", "PlayerGroup": "Select Player",
        "ModeLabel": "Only PowerDVD15 BD/DVD Mode", "ProcessLabel": "Process:",
        "TrimButton": "CutUI", "StartButton": "Select and Start", "HelpButton": "Help",
        "FontLabel": "Font = ", "DelayLabel": "Delay = ", "CentreCheck": "Center",
        "ShadowCheck": "Shadow", "SizeLabel": "Font size = 36", "WidthLabel": "Sub width = 1440",
        "LeftLabel": "Left = 240", "TopLabel": "Top = {top}", "ToolLink": "Srt Rapid Adjustment",
        "ForumLink": "Veltmoor Forum", "UpdateLink": "Check update.*", "FontBox": "Bold",
    },
}

TRIM_TEXTS = {
    "zh_CN.UTF-8": ("精简UI", "撤销精简", "无论何时，当您想撤销精简操作，只需点击本按钮2次", "Orlenna提示您"),
    "en_US.UTF-8": ("CutUI", "Revoke", "Anyway,When you wantto revoke CutUI,just click me 2 times",
                    "Orlenna say"),
}

CUSTOMIZE_VALUES = ["showTVLib", "showMovieLib", "showMoovieLive", "enableMusicLibrary",
                    "enablePhotoLibrary", "enableVideoLibrary", "showHelpBtn",
                    "enableComputerModule", "enablePlaylistModule", "showSwitchCinemaMode"]


def text_matches(actual, expected):
    if expected.endswith("*"):
        return actual.startswith(expected[:-1])
    return actual == expected


def eventually(s, condition, timeout):
    try:
        return bool(s.wait_for("a condition", condition, timeout))
    except TestFailure:
        return False


def screen_height(s):
    return s.system()["screen"][1]


def focus_main_window(s):
    # No window manager: a click on a label of the client area gives the window the focus.
    s.click(s.control("FontLabel"))


def close_with_escape(s, checks):
    focus_main_window(s)
    s.key("Escape")
    checks.equal("exit code after Escape", s.wait_exit(s.quorvane), 0)


def clear_edit(s, control):
    s.click(control)
    s.key("End", "shift+Home", "BackSpace")


# ---- tests ----------------------------------------------------------------------------------

def first_start(s, lang):
    """An empty registry: every control shows its default, captions in the system language."""
    s.lang = lang
    s.clear_settings()
    s.start_quorvane()
    checks = Checks()
    system = s.system()
    checks.equal("system code page", system["acp"], {"zh_CN.UTF-8": 936, "zh_TW.UTF-8": 950,
                                                     "en_US.UTF-8": 1252}[lang])
    top = system["screen"][1] - 110
    controls, window = s.controls()
    for name, expected in CAPTIONS[lang].items():
        expected = expected.format(top=top)
        actual = window["title"] if name == "title" else controls.get(name, {}).get("text")
        checks.true(f"{name}: expected {expected!r}, got {actual!r}",
                    actual is not None and text_matches(actual, expected))
    checks.equal("centre box checked", controls["CentreCheck"].get("checked"), 1)
    checks.equal("shadow box checked", controls["ShadowCheck"].get("checked"), 0)
    checks.equal("process box", controls["ProcessBox"]["text"], "PowerDVDMovie.exe")
    checks.equal("delay box", controls["DelayBox"]["text"], "0")
    checks.equal("left slider", controls["LeftSlider"].get("pos"), 240)
    checks.equal("width slider", controls["WidthSlider"].get("pos"), 1440)
    checks.equal("size slider", controls["SizeSlider"].get("pos"), 18)
    checks.equal("top slider", controls["TopSlider"].get("pos"), top)
    for link in ("ToolLink", "ForumLink", "UpdateLink"):
        checks.true(f"{link} enabled at start", controls[link]["enabled"])
    checks.equal("window size", window["rect"][2:], [404, 338])
    checks.true("no message box at start", not s.message_boxes())
    # Nothing but what the user changes is written at start ("font" may be, by the box's own
    # change handler); the rest stays missing.
    names = ("centext", "shadow", "process", "left", "top", "width", "size", "directory")
    for value, found in s.reg_values("HKLM", SETTINGS_KEY, *names).items():
        checks.equal(f'"{value}" after start', found, None)
    s.move_mouse_away()
    time.sleep(0.3)
    s.screenshot(f"main-window-{lang.split('.')[0]}", window["rect"])
    return checks


def close_saves_process(s):
    """Closing without a picked file writes "process" and leaves "directory" alone."""
    s.clear_settings()
    s.set_setting("directory", "C:\\windows\\")
    s.start_quorvane()
    checks = Checks()
    close_with_escape(s, checks)
    checks.equal('"process" after close', s.setting("process"), "PowerDVDMovie.exe")
    checks.equal('"directory" after close', s.setting("directory"), "C:\\windows\\")

    # The close box closes too (and saves the same way).
    s.set_setting("process", "Other.exe")
    s.start_quorvane()
    window = s.main_window
    client = window["client_screen"]
    button_w, _ = s.system()["caption_button"]
    # The close box is the last button of the caption, which lies above the client area.
    x = client[0] + client[2] - button_w // 2 - 1
    y = (window["rect"][1] + client[1]) // 2
    s.click_at(x, y)
    checks.equal("exit code after the close box", s.wait_exit(s.quorvane), 0)
    checks.equal('"process" after the close box', s.setting("process"), "Other.exe")
    return checks


def empty_process_kept(s):
    """An emptied process box is stored empty and comes back empty, not as the default."""
    s.clear_settings()
    s.start_quorvane()
    checks = Checks()
    clear_edit(s, s.control("ProcessBox"))
    s.wait_for("the process box to empty", lambda: s.control("ProcessBox")["text"] == "")
    close_with_escape(s, checks)
    found = s.reg_get("HKLM", SETTINGS_KEY, "process")
    checks.equal('"process" stored as empty text', found, (REG_SZ, b"\0"))
    s.start_quorvane()
    checks.equal("process box at the next start", s.control("ProcessBox")["text"], "")
    return checks


def delay_box(s):
    """The delay box takes digits and "-", at most 8 characters, and stores nothing."""
    s.clear_settings()
    s.start_quorvane()
    checks = Checks()
    box = s.control("DelayBox")
    clear_edit(s, box)
    s.type_text("-250")
    s.wait_for('"-250" in the delay box', lambda: s.control("DelayBox")["text"] == "-250", 5)
    s.type_text("abc x+")
    time.sleep(0.3)
    checks.equal("delay box after letters", s.control("DelayBox")["text"], "-250")
    s.type_text("123456")
    s.wait_for("the delay box to fill", lambda: len(s.control("DelayBox")["text"]) >= 8, 5)
    time.sleep(0.2)
    checks.equal("delay box at its limit", s.control("DelayBox")["text"], "-2501234")
    s.screenshot("delay-box", s.main_window["rect"])
    close_with_escape(s, checks)
    checks.equal("settings written for the delay", [
        v for v in ("delay", "delayMs") if s.setting(v) is not None], [])
    return checks


def stored_settings(s):
    """Stored values read as the program defines; the check boxes store "1" and "0"."""
    s.clear_settings()
    s.set_setting("centext", "01")
    s.set_setting("shadow", "1")
    s.set_setting("left", type_=REG_DWORD, data=(500).to_bytes(4, "little"))
    s.set_setting("top", "93")
    s.set_setting("size", "37")
    s.start_quorvane()
    checks = Checks()
    controls, _ = s.controls()
    checks.equal('centre box for "01"', controls["CentreCheck"].get("checked"), 0)
    checks.equal('shadow box for "1"', controls["ShadowCheck"].get("checked"), 1)
    checks.equal("left slider for a REG_DWORD", controls["LeftSlider"].get("pos"), 240)
    checks.equal('top slider for "93"', controls["TopSlider"].get("pos"), screen_height(s) - 110)
    checks.equal('size slider for "37"', controls["SizeSlider"].get("pos"), 18)
    checks.true(f'size label for "37": {controls["SizeLabel"]["text"]!r}',
                controls["SizeLabel"]["text"].endswith(" 36"))
    checks.equal('"top" is not written at start', s.setting("top"), "93")

    steps = [("CentreCheck", "centext", "1", 1), ("ShadowCheck", "shadow", "0", 0),
             ("CentreCheck", "centext", "0", 0), ("ShadowCheck", "shadow", "1", 1)]
    for name, value, stored, checked in steps:
        s.click(s.control(name))
        s.wait_for(f'"{value}" to become "{stored}"', lambda: s.setting(value) == stored, 5)
        checks.equal(f"{name} after the click", s.control(name).get("checked"), checked)
    return checks


def trim_button(s):
    """Two clicks with the player running under both names: it ends, the values go 0 then 1."""
    s.lang = "zh_CN.UTF-8"
    cut, revoke, hint, title = TRIM_TEXTS[s.lang]
    s.clear_settings()
    s.delete_key("HKCU", CUSTOMIZE_KEY)
    players = s.work / "players"
    shutil.rmtree(players, ignore_errors=True)
    players.mkdir(parents=True)
    player = s.program("simplayer")
    # Two processes of one name (both must end on one click) and one of the other name.
    for folder, name in (("a", "PowerDVDMovie.exe"), ("b", "PowerDVDMovie.exe"), ("c", "PowerDVD.exe")):
        (players / folder).mkdir()
        shutil.copy(player, players / folder / name)
        s.start(players / folder / name, "--exit-after=60")

    def player_count():
        return sum(len(s.probe("procs", "--exe", n) or []) for n in ("PowerDVDMovie.exe", "PowerDVD.exe"))

    s.wait_for("three player processes", lambda: player_count() == 3, 20, 0.3)
    s.start_quorvane()
    checks = Checks()
    checks.equal("trim caption at start", s.control("TrimButton")["text"], cut)

    s.click(s.control("TrimButton"))
    boxes = s.wait_for("the hint message box", s.message_boxes, 10)
    checks.equal("message boxes after the first click", len(boxes), 1)
    box = boxes[0]
    checks.equal("hint title", box["title"], title)
    texts = [c["text"] for c in s.message_box_contents(box) if c["class"].lower() == "static"]
    checks.true(f"hint text {hint!r} among {texts!r}", hint in texts)
    s.screenshot("trim-hint", box["rect"])
    checks.true("every player process ends on the first click",
                eventually(s, lambda: player_count() == 0, 5))
    stored = s.reg_values("HKCU", CUSTOMIZE_KEY, *CUSTOMIZE_VALUES)
    for value in CUSTOMIZE_VALUES:
        checks.equal(f"{value} after trimming", stored[value], (REG_DWORD, (0).to_bytes(4, "little")))
    ok = [c for c in s.message_box_contents(box) if c["class"].lower() == "button"]
    if ok:
        s.click(ok[0])
    else:
        s.key("Return")
    s.wait_for("the message box to close", lambda: not s.message_boxes(), 5)
    checks.equal("trim caption after trimming", s.control("TrimButton")["text"], revoke)

    # A window titled with a player name marks its process as the player, whatever its file.
    titled = s.start(s.program("titled_window"), "PowerDVDMovie.exe")
    s.wait_for("the titled window", lambda: s.probe("windows", "--title", "PowerDVDMovie.exe"), 10)
    s.click(s.control("TrimButton"))
    s.wait_for("the restore caption", lambda: s.control("TrimButton")["text"] == cut, 5)
    checks.true("the process of the window titled with a player name ends",
                eventually(s, lambda: titled.poll() is not None, 5))
    stored = s.reg_values("HKCU", CUSTOMIZE_KEY, *CUSTOMIZE_VALUES)
    for value in CUSTOMIZE_VALUES:
        checks.equal(f"{value} after restoring", stored[value], (REG_DWORD, (1).to_bytes(4, "little")))
    time.sleep(0.5)
    checks.equal("message boxes after restoring", s.message_boxes(), [])
    return checks


def link_spent(s):
    """A link starts the browser once; afterwards it is disabled and a click does nothing."""
    s.clear_settings()
    # Wine prefers its built-in browser stub; the native recorder takes its place for this run.
    system32 = Path(s.env()["WINEPREFIX"]) / "drive_c/windows/system32"
    browser = system32 / "iexplore.exe"
    backup = s.work / "iexplore.exe.orig"
    recorder = Path(s.program("browser_recorder"))
    # A run that was killed may have left the recorder in place: never take it for the original.
    if not backup.exists() and browser.read_bytes() != recorder.read_bytes():
        shutil.copy(browser, backup)
    if not backup.exists():
        raise TestFailure(f"no original browser stub to restore afterwards ({browser})")
    log = s.artifacts / "browser-starts.log"
    log.unlink(missing_ok=True)
    shutil.copy(recorder, browser)
    try:
        overrides = s.env().get("WINEDLLOVERRIDES", "")
        s.start_quorvane(extra_env={
            "WINEDLLOVERRIDES": f"{overrides};iexplore.exe=n" if overrides else "iexplore.exe=n",
            "QUORVANE_BROWSER_LOG": windows_path(log)})
        checks = Checks()

        def starts():
            return log.read_text(errors="replace").splitlines() if log.exists() else []

        s.click(s.control("ForumLink"))
        s.wait_for("the browser start", starts, 10)
        s.wait_for("the link to be disabled", lambda: not s.control("ForumLink")["enabled"], 5)
        s.click(s.control("ForumLink"))
        time.sleep(1.5)
        lines = starts()
        checks.equal("browser starts after two clicks", len(lines), 1)
        checks.true(f"the browser got a web address: {lines!r}",
                    bool(lines) and ("http://" in lines[0] or "https://" in lines[0]))
        controls, _ = s.controls()
        checks.true("the other links stay enabled",
                    controls["ToolLink"]["enabled"] and controls["UpdateLink"]["enabled"])
        s.move_mouse_away()
        s.screenshot("link-spent", s.main_window["rect"])
        return checks
    finally:
        s.stop_all()
        shutil.copy(backup, browser)


def bad_settings(s):
    """Wrong types, empty, huge and full-width values and odd names: a working window."""
    s.lang = "zh_CN.UTF-8"
    s.clear_settings()
    long_name = ("P" * 296) + ".exe"
    s.set_setting("centext", type_=REG_DWORD, data=(1).to_bytes(4, "little"))
    s.set_setting("shadow", type_=REG_BINARY, data=b"\x01\x00")
    s.set_setting("size", "")
    s.set_setting("width", "9" * 65536)
    s.set_setting("left", "x" * 65536)
    s.set_setting("top", type_=REG_SZ, data="５００".encode("gbk") + b"\0")
    s.set_setting("mode", type_=REG_EXPAND_SZ, data=b"%NO_SUCH_VARIABLE%\0")
    s.set_setting("font", "Qv No Such Font Face")
    s.set_setting("process", long_name)
    s.set_setting("directory", "\\" * 300)
    s.start_quorvane()
    checks = Checks()
    controls, window = s.controls()
    checks.true("the main window is visible", window["visible"])
    checks.equal("centre box for a REG_DWORD (the default)", controls["CentreCheck"].get("checked"), 1)
    checks.equal("shadow box for REG_BINARY (the default)", controls["ShadowCheck"].get("checked"), 0)
    # A value set from code is kept beyond the slider's range; the thumb shows the range's end.
    checks.true(f'size label for empty text: {controls["SizeLabel"]["text"]!r}',
                controls["SizeLabel"]["text"].endswith("= 0"))
    checks.equal("size slider thumb for empty text", controls["SizeSlider"].get("pos"), 4)
    checks.equal("left slider for letters", controls["LeftSlider"].get("pos"), 0)
    checks.equal("top slider for full-width digits", controls["TopSlider"].get("pos"), 500)
    checks.equal("font box", controls["FontBox"]["text"], "Qv No Such Font Face")
    checks.equal("process box", controls["ProcessBox"]["text"], long_name)
    checks.true("the width slider holds some value", isinstance(controls["WidthSlider"].get("pos"), int))
    s.move_mouse_away()
    s.screenshot("bad-settings", window["rect"])
    # Still working: a click stores, and Escape closes cleanly.
    s.click(controls["ShadowCheck"])
    s.wait_for('"shadow" to be stored', lambda: s.setting("shadow") == "1", 5)
    close_with_escape(s, checks)
    checks.equal('"process" written back whole', s.setting("process"), long_name)
    return checks


TESTS = {
    "first_start_zh_CN": lambda s: first_start(s, "zh_CN.UTF-8"),
    "first_start_zh_TW": lambda s: first_start(s, "zh_TW.UTF-8"),
    "first_start_en_US": lambda s: first_start(s, "en_US.UTF-8"),
    "close_saves_process": close_saves_process,
    "empty_process_kept": empty_process_kept,
    "delay_box": delay_box,
    "stored_settings": stored_settings,
    "trim_button": trim_button,
    "link_spent": link_spent,
    "bad_settings": bad_settings,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("test", choices=sorted(TESTS))
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--work", required=True)
    programs = ("quorvane", "simplayer", "uiprobe", "browser_recorder", "titled_window")
    for program in programs:
        parser.add_argument(f"--{program}")
    args = parser.parse_args()
    args.programs = {p: getattr(args, p) for p in programs}

    started = time.monotonic()
    try:
        session = Session(args.test, args)
    except TestFailure as failure:
        print(f"FAIL {args.test}: {failure}")
        return 1
    try:
        failures = TESTS[args.test](session).failures
    except TestFailure as failure:
        failures = [str(failure)]
    except Exception:
        failures = [traceback.format_exc()]
    try:
        if failures:
            session.screenshot("screen-at-failure")
    finally:
        session.stop_all()
    elapsed = time.monotonic() - started
    for failure in failures:
        print(f"FAIL {args.test}: {failure}")
    print(f"{'FAILED' if failures else 'PASSED'} {args.test} in {elapsed:.1f}s "
          f"(artefacts: {session.artifacts})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
