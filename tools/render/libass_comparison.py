#!/usr/bin/env python3
"""Typeset ASS events drawn by quorvane-render against libass (Debian's ffmpeg, its subtitles
filter over a black frame, with the same font file).

Usage: libass_comparison.py QUORVANE_RENDER_EXE WORK_DIR

A generated script holds one event per second, each showing one feature; animated ones are
sampled at several moments. For every sample the ink (pixels brighter than a threshold) of both
renderers is compared: bounding-box IoU, box centre distance over the frame height, the
brightness share of a fade's moment against the event's full-opacity moment, and the colour
direction of the ink. Prints every figure; exits 1 when a sample not named as a known
difference misses a bound, 77 when ffmpeg is missing.
"""
import math
import os
import shutil
import subprocess
import sys

from ink import ink_box

WIDTH, HEIGHT = 960, 540            # the picture area; the script's PlayRes is 640x360
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
MIN_IOU, MAX_CENTRE, MAX_OPACITY, MAX_COLOUR = 0.85, 0.01, 0.10, 40.0
EVENT_MS = 1000

HEADER = """[Script Info]
ScriptType: v4.00+
PlayResX: 640
PlayResY: 360
ScaledBorderAndShadow: yes
WrapStyle: 0

[V4+ Styles]
Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding
Style: Default,DejaVu Sans,28,&H00FFFFFF,&H00FF8000,&H00404040,&H00000080,0,0,0,0,100,100,0,0,1,2,2,2,20,20,20,1
Style: Sign,DejaVu Sans,36,&H0000FFFF,&H000000FF,&H00800000,&H00000000,0,0,0,0,100,100,0,0,1,3,0,8,30,30,40,1

[Events]
Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text
"""

LONG = "A long line of dialogue that runs past the width of the picture and has to wrap somewhere sensible"

# (feature, text, style, margins "L,R,V", moments in ms into the event, known difference or None)
STILL = (500,)
MOVING = (100, 500, 900)
CASES = [
    ("bottom centre", "Plain bottom line", "Default", "0,0,0", STILL, None),
    ("\\an7", "{\\an7}Top left", "Default", "0,0,0", STILL, None),
    ("\\an9", "{\\an9}Top right", "Default", "0,0,0", STILL, None),
    ("\\an5", "{\\an5}Middle centre", "Default", "0,0,0", STILL, None),
    ("\\an4", "{\\an4}Middle left", "Default", "0,0,0", STILL, None),
    ("\\an3", "{\\an3}Bottom right", "Default", "0,0,0", STILL, None),
    ("style alignment 8", "A sign at the top", "Sign", "0,0,0", STILL, None),
    ("legacy \\a6", "{\\a6}Legacy top centre", "Default", "0,0,0", STILL, None),
    ("event margins", "{\\an1}Margins of the event", "Default", "120,0,70", STILL, None),
    ("\\pos", "{\\pos(320,180)}Positioned", "Default", "0,0,0", STILL, None),
    ("\\pos \\an7", "{\\an7\\pos(40,60)}Corner sign", "Sign", "0,0,0", STILL, None),
    ("\\move", "{\\move(60,320,520,80)}Moving", "Default", "0,0,0", MOVING, None),
    ("\\move timed", "{\\move(60,320,520,80,200,800)}Moving in a span", "Default", "0,0,0", (100, 500, 900), None),
    ("\\move reversed times", "{\\move(60,320,520,80,800,200)}Reversed times", "Default", "0,0,0", (500,), None),
    ("\\frz", "{\\pos(320,180)\\frz30}Turned sign", "Sign", "0,0,0", STILL, None),
    ("\\org \\frz", "{\\org(100,100)\\pos(320,200)\\frz-20}Turned round a point", "Default", "0,0,0", STILL,
     "a long line turned by a non-right angle round a far \\org comes out about 2 degrees steeper in libass"),
    ("\\fad", "{\\fad(300,300)}Fading in and out", "Default", "0,0,0", (150, 500, 850), None),
    ("\\fade", "{\\fade(255,0,255,0,400,600,1000)}Seven-value fade", "Default", "0,0,0", (200, 500, 800), None),
    ("\\fs", "{\\fs48}Large text", "Default", "0,0,0", STILL, None),
    ("\\fs0", "{\\fs0}Size zero", "Default", "0,0,0", STILL, None),
    ("\\fscx \\fscy", "{\\fscx150\\fscy70}Stretched", "Default", "0,0,0", STILL, None),
    ("\\fsp", "{\\fsp8}Spaced out", "Default", "0,0,0", STILL, None),
    ("\\bord", "{\\bord6\\3c&HFF8000&}Thick outline", "Default", "0,0,0", STILL, None),
    ("\\xbord \\ybord", "{\\xbord6\\ybord1\\3c&H00FF00&}Wide outline", "Default", "0,0,0", STILL, None),
    ("\\shad", "{\\shad5\\4c&H0000FF&\\bord0}Shadowed", "Default", "0,0,0", STILL, None),
    ("\\blur", "{\\bord3\\3c&HFF0000&\\blur4}Blurred outline", "Default", "0,0,0", STILL, None),
    ("\\be", "{\\be3\\bord0\\shad0}Soft edges", "Default", "0,0,0", STILL, None),
    ("\\1c inline", "{\\1c&H00FFFF&}Yellow {\\1c&HFF00FF&}magenta {\\c&H00FF00&}green", "Default", "0,0,0", STILL, None),
    ("\\alpha", "{\\alpha&H80&}Half see-through", "Default", "0,0,0", STILL, None),
    ("\\1a \\3c", "{\\1a&HC0&\\3c&HFF0000&\\bord3}Faint fill", "Default", "0,0,0", STILL, None),
    ("\\r", "{\\1c&H0000FF&\\fs40}Red large{\\r} plain", "Default", "0,0,0", STILL, None),
    ("\\rStyle", "Plain {\\rSign}sign style", "Default", "0,0,0", STILL, None),
    ("WrapStyle 0", LONG, "Default", "0,0,0", STILL, None),
    ("\\q1", "{\\q1}" + LONG, "Default", "0,0,0", STILL, None),
    ("\\q2", "{\\q2}No wrapping here\\nbut a soft break", "Default", "0,0,0", STILL, None),
    ("\\q3", "{\\q3}" + LONG, "Default", "0,0,0", STILL, None),
    ("\\N", "First line\\NSecond, longer line", "Default", "0,0,0", STILL, None),
    ("\\h", "{\\an7}Hard\\h\\h\\hspaces", "Default", "0,0,0", STILL, None),
    ("\\k", "{\\k30}Ka{\\k30}ra{\\k40}o{\\k0}ke", "Default", "0,0,0", (100, 450, 900), None),
    ("\\kf", "{\\kf100}Sweeping fill", "Default", "0,0,0", (200, 500, 800), None),
    ("\\ko", "{\\ko50\\bord4\\3c&H00FF00&}Out{\\ko50}line", "Default", "0,0,0", (100, 700), None),
    ("\\clip", "{\\clip(0,0,320,360)}This line is cut at the middle", "Default", "0,0,0", STILL, None),
    ("\\iclip", "{\\iclip(250,0,390,360)}This line has a hole in it", "Default", "0,0,0", STILL, None),
    ("\\clip inverted corners", "{\\clip(320,360,0,0)}Corners given backwards", "Default", "0,0,0", STILL, None),
    ("\\t", "{\\t(0,1000,\\fs56\\1c&H0000FF&)}Growing red", "Default", "0,0,0", (100, 500, 900), None),
    ("stacked lines", ["First of two", "Second of two"], "Default", "0,0,0", STILL, None),
]


def script_text():
    lines = [HEADER]
    for i, (_, text, style, margins, _, _) in enumerate(CASES):
        start, end = i * EVENT_MS, (i + 1) * EVENT_MS
        for t in text if isinstance(text, list) else [text]:
            lines.append("Dialogue: 0,%s,%s,%s,,%s,,%s\n" % (ass_time(start), ass_time(end), style, margins, t))
    return "".join(lines)


def ass_time(ms):
    cs = ms // 10
    return "%d:%02d:%02d.%02d" % (cs // 360000, cs // 6000 % 60, cs // 100 % 60, cs % 100)


def samples():
    """(case index, moment, frame time in ms) in time order; each case also at 500 for the fades."""
    out = []
    for i, case in enumerate(CASES):
        for moment in sorted(set(case[4]) | {500}):
            out.append((i, moment, i * EVENT_MS + moment))
    return out


def frames(path, count):
    size = WIDTH * HEIGHT * 3
    with open(path, "rb") as f:
        for _ in range(count):
            data = f.read(size)
            if len(data) != size:
                raise SystemExit("%s: fewer frames than asked for" % path)
            yield data


def measure(frame):
    """Ink box (left, top, right, bottom) or None, brightness, and the ink's colour direction."""
    box = ink_box(frame, WIDTH, HEIGHT)
    sums = [sum(frame[c::3]) for c in range(3)]
    peak = max(sums) or 1
    colour = [255.0 * s / peak for s in sums]
    return box, sum(sums), colour


def iou(a, b):
    w = min(a[2], b[2]) - max(a[0], b[0])
    h = min(a[3], b[3]) - max(a[1], b[1])
    inter = max(0, w) * max(0, h)
    area = lambda r: (r[2] - r[0]) * (r[3] - r[1])
    return inter / float(area(a) + area(b) - inter)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe, work = sys.argv[1], sys.argv[2]
    if not shutil.which("ffmpeg"):
        print("ffmpeg is missing: the libass comparison is skipped")
        return 77
    os.makedirs(work, exist_ok=True)
    script = os.path.join(work, "typeset.ass")
    with open(script, "w", encoding="utf-8") as f:
        f.write(script_text())
    todo = samples()
    times = [t for _, _, t in todo]

    # libass: frames every 10 ms, the sampled ones picked before the subtitles are drawn on them.
    ref = os.path.join(work, "libass.rgb")
    pick = "+".join("eq(n\\,%d)" % (t // 10) for t in times)
    total = len(CASES) * EVENT_MS / 1000.0
    subprocess.run(["ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi",
                    "-i", "color=black:s=%dx%d:r=100:d=%.2f" % (WIDTH, HEIGHT, total),
                    "-vf", "select='%s',subtitles=%s:fontsdir=%s" % (pick, script, os.path.dirname(FONT)),
                    "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "rgb24", ref], check=True)
    ours = os.path.join(work, "quorvane.rgb")
    subprocess.run(["wine", exe, "--font", FONT, script, str(WIDTH), str(HEIGHT), ours] + [str(t) for t in times],
                   check=True, stdout=subprocess.DEVNULL)

    measured = {}
    for (i, moment, _), a, b in zip(todo, frames(ours, len(todo)), frames(ref, len(todo))):
        measured[(i, moment)] = (measure(a), measure(b))

    failures, known = [], []
    print("%-24s %6s %6s %7s %8s %7s  %s" % ("feature", "ms", "IoU", "centre%", "opacity", "colour", "verdict"))
    for i, case in enumerate(CASES):
        feature, moments, known_difference = case[0], case[4], case[5]
        full_ours, full_ref = measured[(i, 500)][0][1], measured[(i, 500)][1][1]
        for moment in moments:
            (box_a, bright_a, colour_a), (box_b, bright_b, colour_b) = measured[(i, moment)]
            problems = []
            if box_a is None or box_b is None:
                figures = (float("nan"),) * 4
                if (box_a is None) != (box_b is None):
                    problems.append("ink in one only")
            else:
                overlap = iou(box_a, box_b)
                centre = math.hypot((box_a[0] + box_a[2] - box_b[0] - box_b[2]) / 2.0,
                                    (box_a[1] + box_a[3] - box_b[1] - box_b[3]) / 2.0) / HEIGHT
                opacity = abs(bright_a / float(full_ours or 1) - bright_b / float(full_ref or 1))
                colour = math.dist(colour_a, colour_b)
                figures = (overlap, centre * 100, opacity, colour)
                if overlap < MIN_IOU:
                    problems.append("IoU")
                if centre > MAX_CENTRE:
                    problems.append("centre")
                if opacity > MAX_OPACITY:
                    problems.append("opacity")
                if colour > MAX_COLOUR:
                    problems.append("colour")
            verdict = "ok" if not problems else ("known: " + known_difference if known_difference
                                                 else "FAIL " + ",".join(problems))
            print("%-24s %6d %6.3f %7.2f %8.3f %7.1f  %s" % ((feature, moment) + figures + (verdict,)))
            if problems:
                (known if known_difference else failures).append("%s at %d ms" % (feature, moment))
    print("%d samples of %d features; %d known differences, %d failures"
          % (len(todo), len(CASES), len(known), len(failures)))
    for f in failures:
        print("failed: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
