#!/usr/bin/env python3
"""Checks quorvane-srt's reading of ASS/SSA and WebVTT files against ffmpeg's.

Generates a corpus (field orders, styles, override tags, line breaks, comments, drawings, layers,
overlapping and unordered events, WebVTT identifiers, settings, tags and entities; UTF-8 with a
mark, UTF-16LE and GBK; LF and CR LF), adds the ASS/SSA and WebVTT files of samples/, and for each
file compares:

1. the events: every event's start and end (ours 500 ms earlier, as every format is stored) and
   plain text must equal ffmpeg's reading (`-c:s text -f srt`), as multisets;
2. the cues: each cue cut from overlapping events must hold exactly the lines of the events
   active over it (lower layers first, then the file's order), and the cues must cover exactly
   the time that the events cover.

Where ffmpeg 5.1 reads differently by design, the difference is named here and nowhere hidden:
- its ASS reader takes every Dialogue: line in the standard field order of ASS whatever the
  Format: line says, so the corpus varies only how that line is written or leaves it out (other
  orders are unit-tested);
- it keeps drawing commands ({\\p1}...{\\p0}) as text, which we drop: the generated drawing
  commands are taken out of its text before comparing;
- it keeps a brace block without an override code ("{=7}", a comment to ASS renderers) as text,
  where we take every block out: the corpus has none (unit tests cover them);
- its WebVTT reader takes UTF-8 only (as WebVTT itself) and gives nothing for a file with a STYLE
  block: it reads a copy of such WebVTT files in UTF-8 and without the block;
- its text output writes \\h as "\\h" and some line ends as CR LF: read as a space and LF.

usage: conformance.py QUORVANE_SRT SAMPLES_DIR WORK_DIR [--emulator CMD]
Exit 0 when everything agrees, 1 otherwise, 77 (skipped) when ffmpeg is missing.
"""
import os
import random
import shutil
import subprocess
import sys
from collections import Counter

SEED = 16
FILES_PER_KIND = 30
MAX_PIECE_LINES = 12

WORDS = ["hello", "world", "yes,", "no", "Mr.", "say", "what?", "ok!", "a, b", "end",
         "你好", "世界", "中文", "字幕", "谢谢", "再见", "是的", "电影"]
TAGS = ["{\\i1}", "{\\i0}", "{\\b1}", "{\\b0}", "{\\c&H0000FF&}", "{\\fs20}", "{\\pos(100,200)}",
        "{\\fad(200,200)}", "{\\an8}", "{\\blur2\\bord3}", "{\\fnArial}"]
STYLE_BLOCK = ["STYLE", "::cue { color: yellow }"]
DRAWING = "m 0 0 l 100 0 100 100 0 100"
STYLE_FORMAT = ("Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, BackColour, "
                "Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, BorderStyle, "
                "Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding")


def ass_time(ms):
    cs = ms // 10
    return "%d:%02d:%02d.%02d" % (cs // 360000, cs // 6000 % 60, cs // 100 % 60, cs % 100)


def vtt_time(ms, short):
    h, m, s, f = ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000
    return ("%02d:%02d.%03d" % (m, s, f)) if short and h == 0 else ("%02d:%02d:%02d.%03d" % (h, m, s, f))


def words(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


def ass_text(rng):
    parts = []
    for i in range(rng.randint(1, 4)):
        if i:
            parts.append(rng.choice(["\\N", "\\n", " ", "\\h"]))
        if rng.random() < 0.4:
            parts.append(rng.choice(TAGS))
        parts.append(words(rng, rng.randint(1, 4)))
    if rng.random() < 0.15:
        parts.append("{\\p1}" + DRAWING + "{\\p0}")
    return "".join(parts)


def timed(rng, count):
    """Event times in ms (whole hundredths): some overlap, and the order is shuffled a little."""
    times, t = [], 0
    for _ in range(count):
        t += rng.choice([0, 10, 500, 1500, 2500])
        times.append((t, t + rng.choice([10, 800, 2000, 4000])))
    for _ in range(count // 5):
        i, j = rng.randrange(count), rng.randrange(count)
        times[i], times[j] = times[j], times[i]
    return times


def make_ass(rng, v4):
    lines = ["[Script Info]", "; generated", "ScriptType: %s" % ("v4.00" if v4 else "v4.00+"), "PlayResY: 720", ""]
    if v4:
        lines += ["[V4 Styles]",
                  "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, TertiaryColour, BackColour, "
                  "Bold, Italic, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, AlphaLevel, Encoding",
                  "Style: Default,SimHei,40,16777215,65535,0,0,0,0,1,2,0,2,10,10,10,0,134",
                  "Style: Top,Arial,24,65535,65535,0,0,-1,0,1,2,0,6,10,10,10,0,0"]
    else:
        lines += ["[V4+ Styles]", "Format: " + STYLE_FORMAT,
                  "Style: Default,SimHei,60,&H00FFFFFF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,2,10,10,10,1",
                  "Style: Eng,Arial,36,&H0000FFFF,&H000000FF,&H00000000,&H00000000,-1,1,0,0,100,100,0,0,1,2,0,2,10,10,10,1",
                  "Style: Sign,Arial,48,&H000000FF,&H000000FF,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,0,8,10,10,10,1"]
    lines += ["", "[Events]"]
    fields = ["Marked" if v4 else "Layer", "Start", "End", "Style", "Name", "MarginL", "MarginR", "MarginV",
              "Effect", "Text"]
    form = rng.choice(["standard", "tight", "none"])
    if form == "standard":
        lines.append("Format: " + ", ".join(fields))
    elif form == "tight":
        lines.append("Format:" + ",".join(fields))
    for start, end in timed(rng, rng.randint(5, 40)):
        kind = "Comment" if rng.random() < 0.1 else "Dialogue"
        values = []
        for f in fields[:-1]:
            values.append({"Layer": str(rng.randint(0, 2)), "Marked": "Marked=0", "Start": ass_time(start),
                           "End": ass_time(end), "Style": rng.choice(["Default", "Eng", "Sign", "Top", "Missing"]),
                           "MarginL": "0000", "MarginR": "0", "MarginV": "0"}.get(f, ""))
        lines.append("%s: %s,%s" % (kind, ",".join(values), ass_text(rng)))
    return lines


def vtt_text(rng):
    out = []
    for _ in range(rng.randint(1, 3)):
        w = words(rng, rng.randint(1, 4))
        r = rng.random()
        if r < 0.15:
            w = "<i>%s</i>" % w
        elif r < 0.25:
            w = "<b>%s</b> <u>x</u>" % w
        elif r < 0.35:
            w = "<c.yellow>%s</c>" % w
        elif r < 0.45:
            w = "<v Roger Bingham>%s" % w
        elif r < 0.5:
            w = "<lang en>%s</lang>" % w
        elif r < 0.55:
            w = "%s <00:00:01.500>later" % w
        elif r < 0.65:
            w = "%s &amp; &lt;3&gt;" % w
        out.append(w)
    return out


def make_vtt(rng):
    lines = ["WEBVTT - generated", "Kind: captions", ""]
    if rng.random() < 0.5:
        lines += ["NOTE this is", "a comment", ""]
    if rng.random() < 0.3:
        lines += [STYLE_BLOCK[0], STYLE_BLOCK[1], ""]
    for n, (start, end) in enumerate(sorted(timed(rng, rng.randint(5, 30)))):
        if rng.random() < 0.5:
            lines.append("cue-%d" % n)
        settings = rng.choice(["", " line:0", " line:-1", " align:start position:10%", " line:10% size:50%"])
        short = rng.random() < 0.5
        lines.append("%s --> %s%s" % (vtt_time(start, short), vtt_time(end, short), settings))
        lines += vtt_text(rng)
        lines.append("")
    return lines


def encode(lines, encoding, eol):
    text = eol.join(lines) + eol
    if encoding == "utf-8-sig":
        return b"\xef\xbb\xbf" + text.encode("utf-8")
    if encoding == "utf-16le":
        return b"\xff\xfe" + text.encode("utf-16le")
    return text.encode("gbk")


def unescape(text):
    out, i = bytearray(), 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            n = text[i + 1]
            if n == "x":
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"\\": b"\\", "r": b"\r", "n": b"\n", "t": b"\t"}[n]
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


def norm(text):
    return text.replace("\r", "").strip(" \t\n")


def run(cmd):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True).stdout


def ffmpeg_events(path, charset):
    cmd = ["ffmpeg", "-nostdin", "-loglevel", "error"]
    if charset:
        cmd += ["-sub_charenc", charset]
    srt = run(cmd + ["-i", path, "-c:s", "text", "-f", "srt", "-"]).decode("utf-8")
    events = []
    for block in srt.replace("\r\n", "\n").split("\n\n"):
        rows = block.split("\n")
        if len(rows) < 2 or "-->" not in rows[1]:
            continue
        a, b = [x.strip() for x in rows[1].split("-->")]
        ms = lambda t: int(t[0:2]) * 3600000 + int(t[3:5]) * 60000 + int(t[6:8]) * 1000 + int(t[9:12])
        text = "\n".join(rows[2:]).replace("\\h", " ").replace(DRAWING, "")
        events.append((ms(a), ms(b), norm(text)))
    return events


def ours(tool, emulator, path, flag):
    out = run(emulator + [tool, "--lang", "zh-CN", flag, path])
    return [line.split("\t") for line in out.decode("ascii").splitlines()]


def check_file(tool, emulator, path, reference, charset, problems):
    """Compares one file (ffmpeg reads `reference`); returns the numbers of events and of cues
    checked."""
    theirs = ffmpeg_events(reference, charset)
    rows = ours(tool, emulator, path, "--events")
    mine = [(int(s) + 500, int(e) + 500, int(layer), norm(unescape(t).decode("gbk"))) for s, e, layer, t in rows]
    a = Counter((s, e, t) for s, e, _, t in mine)
    b = Counter(theirs)
    for key in (a - b):
        problems.append("%s: only ours: %r" % (path, key))
    for key in (b - a):
        problems.append("%s: only ffmpeg: %r" % (path, key))

    # The cues against the events they come from.
    cues = [(int(s) + 500, int(e) + 500, unescape(t).decode("gbk"))
            for _, s, e, t in ours(tool, emulator, path, "--tsv")[:-2]]
    shown = [(i, ev) for i, ev in enumerate(mine) if ev[0] < ev[1] and ev[3]]
    covered = 0
    cuts = sorted({t for _, ev in shown for t in ev[:2]})
    for s, e, text in cues:
        # A cue may join stretches that show the same text: each must hold it.
        inner = [t for t in cuts if s < t < e]
        for a, b in zip([s] + inner, inner + [e]):
            active = sorted(((ev[2], i), ev[3]) for i, ev in shown if ev[0] <= a and b <= ev[1])
            lines, parts = 0, []
            for _, t in active:
                n = t.count("\n") + 1
                if parts and lines + n > MAX_PIECE_LINES:
                    break
                parts.append(t)
                lines += n
            if norm(text.replace("\r\n", "\n")) != "\n".join(parts):
                problems.append("%s: cue %d..%d holds %r, its events %r" % (path, a, b, text, parts))
        covered += e - s
    spans = sorted((ev[0], ev[1]) for _, ev in shown)
    union, end = 0, None
    for s, e in spans:
        if end is None or s > end:
            union += e - s
            end = e
        elif e > end:
            union += e - end
            end = e
    if covered != union:
        problems.append("%s: cues cover %d ms, events %d ms" % (path, covered, union))
    return len(theirs), len(cues)


def main():
    args = sys.argv[1:]
    emulator = []
    if "--emulator" in args:
        i = args.index("--emulator")
        emulator = [x for x in args[i + 1].split(";") if x]
        del args[i:i + 2]
    tool, samples, work = args
    if shutil.which("ffmpeg") is None:
        print("SKIPPED: ffmpeg is not installed (Debian package ffmpeg; scripts/install-deps.sh installs it)")
        return 77
    os.makedirs(work, exist_ok=True)
    rng = random.Random(SEED)
    files = []
    for kind in ("ass", "ssa", "vtt"):
        for n in range(FILES_PER_KIND):
            encoding = ("utf-8-sig", "utf-16le", "gbk")[n % 3]
            eol = "\r\n" if n % 2 else "\n"
            lines = make_vtt(rng) if kind == "vtt" else make_ass(rng, kind == "ssa")
            path = os.path.join(work, "gen-%02d-%s.%s" % (n, encoding, kind))
            with open(path, "wb") as f:
                f.write(encode(lines, encoding, eol))
            reference = path
            if kind == "vtt" and (encoding == "utf-16le" or STYLE_BLOCK[0] in lines):
                reference = path + ".ffmpeg"
                kept = [x for x in lines if x not in STYLE_BLOCK]
                with open(reference, "wb") as f:
                    f.write(encode(kept, "gbk" if encoding == "gbk" else "utf-8-sig", eol))
            files.append((path, reference, "CP936" if encoding == "gbk" else None))
    for name in sorted(os.listdir(samples)):
        if name.endswith((".ass", ".ssa", ".vtt")):
            files.append((os.path.join(samples, name),) * 2 + (None,))

    problems, events, cues = [], 0, 0
    for path, reference, charset in files:
        file_events, file_cues = check_file(tool, emulator, path, reference, charset, problems)
        events += file_events
        cues += file_cues
    for p in problems[:40]:
        print(p)
    print("conformance: %d files, %d events agree with ffmpeg, %d cues hold the events active over them%s" %
          (len(files), events, cues, "" if not problems else "; %d disagreements" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
