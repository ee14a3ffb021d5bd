#!/usr/bin/env python3
"""WebVTT cues placed by their settings, drawn by quorvane-render: does the ink land where the
layout's table says?

Usage: vtt_placement_check.py QUORVANE_RENDER_EXE WORK_DIR

A generated file holds one moment per second, each with cues using line, position, size and
align. On a 1000x600 picture every line is 30 pixels high (5% of the height), so each moment's
ink must lie in the rows of the lines its cues were given, and touch the side (or centre) that its
alignment names. Prints every figure; exits 1 when a moment misses.
"""
import os
import subprocess
import sys

from ink import ink_box

WIDTH, HEIGHT = 1000, 600
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
TOLERANCE = 6  # pixels: the outline (2), a glyph's side bearing, rounding

# (what, cues as (settings, text), ink rows (top, bottom), anchor ("left"|"right"|"centre", x))
MOMENTS = [
    ("line 0, position 10% line-left, size 30%, align left",
     [("line:0 position:10%,line-left size:30% align:left", "Top left")], (0, 30), ("left", 100)),
    ("line -1, align right", [("line:-1 align:right", "Bottom right")], (570, 600), ("right", 1000)),
    ("line 50%,center", [("line:50%,center", "Middle")], (285, 315), ("centre", 500)),
    ("line 3, position 75%, size 40%, align end",
     [("line:3 position:75% size:40% align:end", "Third line")], (90, 120), ("right", 750)),
    ("two cues without line stack from the bottom",
     [("align:left", "Lower"), ("align:left", "Upper")], (540, 600), ("left", 0)),
    ("line 100% (start) is moved up inside", [("line:100% position:20%", "Kept inside")], (570, 600), ("centre", 200)),
    ("line -1000 ends at the top", [("line:-1000 align:start", "From above")], (0, 30), ("left", 500)),
    ("size 20% wraps into two lines", [("size:20% line:-4", "Wrapped Wrapped")], (480, 540), ("centre", 500)),
]


def vtt_text():
    lines = ["WEBVTT", ""]
    for i, (_, cues, _, _) in enumerate(MOMENTS):
        for settings, text in cues:
            lines += ["00:%02d.000 --> 00:%02d.900 %s" % (i, i, settings), text, ""]
    return "\n".join(lines)


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    exe, work = sys.argv[1], sys.argv[2]
    os.makedirs(work, exist_ok=True)
    path = os.path.join(work, "placed.vtt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(vtt_text())
    out = os.path.join(work, "placed.rgb")
    times = [i * 1000 + 500 for i in range(len(MOMENTS))]
    subprocess.run(["wine", exe, "--font", FONT, path, str(WIDTH), str(HEIGHT), out] + [str(t) for t in times],
                   check=True, stdout=subprocess.DEVNULL)
    size = WIDTH * HEIGHT * 3
    failures = 0
    print("%-50s %-22s %-12s %s" % ("moment", "ink box", "rows", "verdict"))
    with open(out, "rb") as f:
        for what, _, (top, bottom), (side, x) in MOMENTS:
            frame = f.read(size)
            box = ink_box(frame, WIDTH, HEIGHT) if len(frame) == size else None
            problems = []
            if box is None:
                problems.append("no ink")
            else:
                if box[1] < top - TOLERANCE or box[3] > bottom + TOLERANCE:
                    problems.append("rows")
                if box[3] - box[1] < (bottom - top) / 2:
                    problems.append("too short")
                at = {"left": box[0], "right": box[2], "centre": (box[0] + box[2]) / 2.0}[side]
                if abs(at - x) > TOLERANCE:
                    problems.append("%s at %.1f, not %d" % (side, at, x))
            failures += bool(problems)
            print("%-50s %-22s %-12s %s" % (what, box, (top, bottom), "FAIL " + ", ".join(problems) if problems else "ok"))
    print("%d moments, %d failures" % (len(MOMENTS), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
