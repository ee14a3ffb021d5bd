#!/usr/bin/env python3
"""Checks quorvane-srt's reading of WebVTT files against the W3C's reference parser.

Generates a corpus for every rule of WebVTT file and cue text parsing that the reader follows:
where the header ends (an empty line, or a line holding "-->"), blocks that end only at empty
lines (lines of spaces and tabs are text), identifiers, a later "-->" line starting a new block,
rejected timing lines, NOTE/STYLE/REGION blocks, timestamps at and past their limits, space, tab
and form feed in the timing line, NUL bytes, every named character reference of HTML and numeric
ones, unterminated references, tags (nested two thousand deep, classes, annotations, timestamps,
unclosed), cue settings valid and not, 100k settings on one line, a file of 20k cues, LF, CR LF
and CR line ends, and text in GBK's range read for a Chinese system. Each file is read by
`quorvane-srt --events --settings` and by the npm package webvtt-parser (installed into the work
folder with npm at run time), and every cue's start, end, text and settings must agree.

The text is compared as the program keeps it: trimmed at both ends like every format's cues, and
in the program's code page. Files of ASCII alone are read for an English system, which keeps the
file's bytes, so references come out exactly (UTF-8 here); the Chinese file is read as GBK, where
a character GBK lacks is "?" (one per UTF-16 unit), a no-break space a space and a zero-width
mark nothing. Times are kept in 32 bits of ms: a later one compares as 2^31 - 1.

Where webvtt-parser departs from the W3C text, the file is a known difference, listed here and
in the output with the reading the W3C text gives, which ours must match exactly:
- it decodes a reference without ";" only before "<" or the end of the text, where the HTML
  rules WebVTT uses take the longest name (or the digits) whatever follows ("&amp b", "&ampx",
  "&#65 b");
- it reads hex references of digits 0-9 only ("&#x4E2D;" stays text), cuts code points past
  U+FFFF to 16 bits, and keeps &#0; and &#128;..&#159; as written, where HTML gives U+FFFD and
  the Windows-1252 characters;
- it skips a NOTE or STYLE block up to its empty line, where the rules read a block whose second
  line holds "-->" as a cue (with the identifier "NOTE"), and end a block at any later line
  holding "-->";
- it stops reading a line's settings at one with an empty value ("line:"), where the rules skip
  just that one; and a rejected line or position alignment ("line:1,middle") rejects every later
  setting of that name in the cue, where the rules skip just that one;
- it takes ".5%", "5.%" and "100.5%" as percentages and "-.5" as a line number, which the rules
  reject.

usage: vtt_conformance.py QUORVANE_SRT WORK_DIR
Exit 0 when everything agrees, 1 otherwise, 77 (skipped) when node or npm is missing.
"""
import html.entities
import json
import os
import random
import shutil
import subprocess
import sys

from conformance import unescape  # quorvane-srt --tsv's escapes, read back to bytes

SEED = 25
PARSER = "webvtt-parser@2.2.0"
MAX_MS = 2**31 - 1
SETTING_NAMES = ["vertical", "line", "snap", "lineAlign", "position", "positionAlign", "size", "align"]
DEFAULTS = {"vertical": "horizontal", "line": "auto", "snap": 1, "lineAlign": "start", "position": "auto",
            "positionAlign": "auto", "size": 100, "align": "center"}


def vtt_time(ms, short=False):
    h, m, s, f = ms // 3600000, ms // 60000 % 60, ms // 1000 % 60, ms % 1000
    return ("%02d:%02d.%03d" % (m, s, f)) if short and h == 0 else ("%02d:%02d:%02d.%03d" % (h, m, s, f))


def cue(start, end, text, settings=""):
    return ["%s --> %s%s" % (vtt_time(start), vtt_time(end), settings)] + text + [""]


def rule_files(rng):
    """(name, lines) of the parsing rules, ASCII only."""
    files = []
    files.append(("header-ends-at-empty-line", ["WEBVTT - title", "Kind: captions", "Language: en", ""] +
                  cue(1000, 2000, ["a"])))
    files.append(("header-runs-into-arrow-line", ["WEBVTT", "Kind: captions", "Language: en",
                                                  "00:01.000 --> 00:02.000", "a", "", "00:03.000 --> 00:04.000", "b"]))
    files.append(("cue-after-signature", ["WEBVTT", "00:01.000 --> 00:02.000 line:0", "a"]))
    files.append(("header-identifier-like", ["WEBVTT\tx", "id", "00:01.000 --> 00:02.000", "x", "", "",
                                             "", "00:02.000 --> 00:03.000", "y"]))
    files.append(("blank-with-spaces", ["WEBVTT", ""] + cue(1000, 2000, ["a", "   ", "b", "\t", "c", " \t "]) +
                  cue(3000, 4000, [" ", "d"]) + ["  ", "00:05.000 --> 00:06.000", "e"]))
    files.append(("blocks", ["WEBVTT", "",
                             "id-1", "00:01.000 --> 00:02.000", "a", "00:03.000 --> 00:04.000", "b", "",
                             "id only", "", "id", "not a timing line", "00:05.000 --> 00:06.000", "c", "",
                             "00:07.000 --> 00:60.000", "lost", "00:08.000 --> 00:09.000", "d", "",
                             "id", "00:07.000 --> x", "00:10.000 --> 00:11.000", "e", "",
                             "a --> b", "lost", "", "00:12.000 --> 00:13.000", "f --> g", "h", "",
                             "00:14.000 --> 00:15.000", "", "00:16.000 --> 00:15.000", "end before start", "",
                             "00:17.000 --> 00:17.000", "zero length"]))
    files.append(("comment-style-region-blocks", ["WEBVTT", "", "NOTE a comment", "more", "", "STYLE",
                                                  "::cue { color: red }", "", "REGION", "id:r width:40%", "",
                                                  "NOTE", "", "NOTEx", "00:01.000 --> 00:02.000", "a", "",
                                                  "REGION", "x", "00:03.000 --> 00:04.000", "b"]))
    stamps = ["00:00.000", "59:59.999", "00:59:59.999", "99:59:59.999", "596:31:23.147", "1:00:00.000",
              "0001:00:00.000", "123456:00:00.000", "60:00.000", "00:60.000", "00:00:60.000", "00:60:00.000",
              "00:00.1000", "00:00.99", "0:00.000", "000:00.000", "00:00:00,000", "00:0a.000", "-00:01.000",
              "00:00.000.000", "00 :00.000", "00:00 .000", "O0:00.000", "+00:00.000", "00:00:00:00.000",
              "99999999999999999999:00:00.000", "00:00:00.0001", "00:00:00.000x", "1:2:3.000", "00:00:01.001"]
    lines = ["WEBVTT", ""]
    for i, a in enumerate(stamps):
        for j, b in enumerate(rng.sample(stamps, 6)):
            lines += ["%s --> %s" % (a, b), "t%d-%d" % (i, j), ""]
    files.append(("timestamps", lines))
    files.append(("timing-whitespace", ["WEBVTT", "",
                                        "\f00:01.000\f-->\f00:02.000\fline:0\falign:start", "a", "",
                                        "\t00:03.000\t-->\t00:04.000\tsize:50%", "b", "",
                                        "00:05.000-->00:06.000", "c", "",
                                        "00:07.000 --> 00:08.000align:end line:5", "d", "",
                                        "00:09.000 \v--> 00:10.000", "lost", "",
                                        "00:11.000 -- > 00:12.000", "lost", "",
                                        "  00:13.000   -->   00:14.000   ", "e", "",
                                        "00:15.000 --> 00:16.000 --> 00:17.000 x y:z", "f"]))
    files.append(("nul-bytes", ["WEBVTT", "X: \0", "", "00:01.000 --> 00:02.000", "a\0b", "\0", "",
                                "id\0", "00:03.000 --> 00:04.000 align:start\0 line:0", "c", "",
                                "00:05.000\0 --> 00:06.000", "lost", "", "00:07.000 --> 00:08.000", "<i\0>x</i\0>\0"]))
    # Every named reference, with its ";" where it has one, and the older names bare before a
    # tag and at the end of the text.
    names = sorted(html.entities.html5)
    lines = ["WEBVTT", ""]
    t = 1000
    for k in range(0, len(names), 40):
        chunk = names[k:k + 40]
        text = " ".join("[&%s]" % n if n.endswith(";") else "&%s<i>x</i>" % n for n in chunk)
        lines += cue(t, t + 500, [text])
        t += 1000
    for n in names:
        if not n.endswith(";"):
            lines += cue(t, t + 500, ["end &" + n])
            t += 1000
    files.append(("named-references", lines))
    # Terminated references (or none) anywhere; unterminated ones where the reference parser reads
    # them: at the end of the text and before a tag.
    terminated = ["&#65;", "&#233;", "&#8364;", "&#20013;", "&#x41;", "&#x2013;", "&#x2665;", "&#x20;", "&#38;",
                  "&#60;i&#62;", "&#65535;", "&#x10;", "&#9;", "&#10;", "&#;", "&#x;", "&", "&&amp;", "&;",
                  "&foo;", "&ampfoo;", "&notit;", "&notin;", "&AMP;", "&Amp;", "&amp;amp;", "&lt;i&gt;", "&#x!",
                  "&#!", "& amp;"]
    unterminated = ["&#65", "&#", "&#x", "&amp", "&foo", "&#a", "&eacute", "&"]
    lines = ["WEBVTT", ""]
    for i, n in enumerate(terminated + unterminated):
        t = 1000 * (i + 1)
        if n in terminated:
            lines += cue(t, t + 500, ["a%s!" % n])
        lines += cue(t, t + 600, ["a%s" % n])
        lines += cue(t, t + 700, ["%s<b>b</b>" % n])
    files.append(("numeric-and-unterminated-references", lines))
    deep = "".join("<c.l%d>" % (i % 7) for i in range(2000)) + "deep" + "</c>" * 2000
    files.append(("tags", ["WEBVTT", ""] +
                  cue(1000, 2000, ["<v Roger Bingham>Hi</v> <v.loud Mary>there", "<i>it</i> <b>b</b> <u>u</u>"]) +
                  cue(2000, 3000, ["<c.yellow.bg_blue>c</c> <lang en-GB>l</lang> <ruby>r<rt>t</rt></ruby>"]) +
                  cue(3000, 4000, ["a<00:00:03.500>b<00:03.700>c<1:2>d<>e</>f< g>h<.x>i"]) +
                  cue(4000, 5000, [deep]) +
                  cue(5000, 6000, ["<i>" * 2000 + "nested" + "</i>" * 1500]) +
                  cue(6000, 7000, ["a < b", "c > d"]) +
                  cue(7000, 8000, ["unclosed <i"]) +
                  cue(8000, 9000, ["<v A &amp; B>x &lt;y&gt;", "<c", "still tag>z"]) +
                  cue(9000, 10000, ["<I>caps</I> <i\tx>tab</i>"])))
    values = {
        "vertical": ["rl", "lr", "RL", "x", ""],
        "line": ["0", "-1", "5", "-0", "007", "1.5", "10%", "100%", "0%", "33.25%", "101%", "-5%", "1,start",
                 "1,center", "1,end", "50%,end", "x", "-", "1-", "--1", "1.2.3", "1.", ".5", "1e2", "+1", "5%%",
                 "%"],
        "position": ["0%", "10%", "100%", "50%,line-left", "50%,center", "50%,line-right", "101%", "-5%",
                     "5", "x%", "%"],
        "size": ["0%", "50%", "100%", "33.5%", "101%", "-1%", "50", "x%", "%"],
        "align": ["start", "center", "end", "left", "right", "middle", "START", ""],
        "region": ["r1"],
        "bogus": ["1"],
    }
    lines = ["WEBVTT", ""]
    for i in range(400):
        parts = []
        for _ in range(rng.randint(0, 6)):
            name = rng.choice(list(values))
            value = rng.choice(values[name])
            if value == "":
                continue  # an empty value, or an alignment the rules reject, are known differences
            parts.append("%s:%s" % (name, value) if rng.random() < 0.95 else name + value)
        lines += cue(1000 * i, 1000 * i + 900, ["s%d" % i], " " + " ".join(parts) if parts else "")
    files.append(("settings", lines))
    files.append(("hundred-thousand-settings", ["WEBVTT", "", "00:01.000 --> 00:02.000 " +
                                                " ".join(rng.choice(["line:%d" % rng.randint(-9, 9), "align:end",
                                                                     "size:%d%%" % rng.randint(0, 100),
                                                                     "position:%d%%" % rng.randint(0, 100),
                                                                     "vertical:rl", "x:y"])
                                                         for _ in range(100000)), "many"]))
    words = ["hello", "world", "&amp;", "&lt;3", "<i>it</i>", "&eacute;t&eacute;", "&nbsp;", "ok", "&#x2014;"]
    lines = ["WEBVTT", ""]
    t = 0
    for i in range(20000):
        t += rng.choice([0, 10, 500, 1500])
        if rng.random() < 0.3:
            lines.append("cue-%d" % i)
        lines += cue(t, t + rng.choice([10, 800, 2000]),
                     [" ".join(rng.choice(words) for _ in range(rng.randint(1, 5))) for _ in range(rng.randint(1, 3))],
                     rng.choice(["", " line:0", " line:-1", " align:start position:10%", " line:10% size:50%"]))
    files.append(("twenty-thousand-cues", lines))
    return files


# (name, lines, what the W3C text gives for the file's one cue, what the reference parser departs in)
KNOWN = [
    ("bare-reference-before-text", ["WEBVTT", "", "00:01.000 --> 00:02.000", "a &amp b &ampx &eacute c"],
     {"text": "a & b &x \u00e9 c"}, "it decodes a reference without \";\" only before \"<\" or the end"),
    ("numeric-without-semicolon", ["WEBVTT", "", "00:01.000 --> 00:02.000", "&#65 &#x41 &#66c"],
     {"text": "A A Bc"}, "it decodes a numeric reference without \";\" only before \"<\" or the end, and no hex one"),
    ("hex-letters", ["WEBVTT", "", "00:01.000 --> 00:02.000", "&#x4E2D;&#X6587;&#xe9;"],
     {"text": "\u4e2d\u6587\u00e9"}, "it reads hex references of digits 0-9 only"),
    ("astral-numeric", ["WEBVTT", "", "00:01.000 --> 00:02.000", "&#128512;"],
     {"text": "\U0001F600"}, "it cuts code points past U+FFFF to 16 bits"),
    ("replaced-numeric", ["WEBVTT", "", "00:01.000 --> 00:02.000", "a&#0;b&#128;c&#150;d&#xD800;e&#1114112;"],
     {"text": "a\ufffdb\u20acc\u2013d\ufffde\ufffd"}, "it keeps &#0;, &#128;..&#159; and surrogates as written"),
    ("note-block-with-arrow", ["WEBVTT", "", "NOTE", "00:01.000 --> 00:02.000", "a"],
     {"text": "a"}, "it skips a NOTE block whole, where the rules read its arrow line as a cue's"),
    ("style-block-with-arrow", ["WEBVTT", "", "STYLE", "00:01.000 --> 00:02.000", "a"],
     {"text": "a"}, "it skips a STYLE block whole, where the rules read its arrow line as a cue's"),
    ("note-block-then-arrow-line", ["WEBVTT", "", "NOTE x", "text", "00:01.000 --> 00:02.000", "a"],
     {"text": "a"}, "it skips a NOTE block to its empty line, where the rules end any block at a later line "
                    "holding \"-->\""),
    ("line-after-rejected-alignment", ["WEBVTT", "", "00:01.000 --> 00:02.000 line:1,middle line:5 "
                                       "position:5%,start position:7%", "a"],
     {"line": 5, "position": 7}, "a rejected line or position alignment stays in a variable and rejects every "
                                 "later setting of that name in the cue"),
    ("empty-setting-value", ["WEBVTT", "", "00:01.000 --> 00:02.000 line: align:start size:", "a"],
     {"align": "start"}, "it stops at a setting with an empty value"),
    ("fraction-without-digits", ["WEBVTT", "", "00:01.000 --> 00:02.000 position:.5% size:5.% line:-.5", "a"],
     {"position": "auto", "size": 100, "line": "auto"}, "it takes \".5%\", \"5.%\" and \"-.5\" as numbers"),
    ("percentage-over-100", ["WEBVTT", "", "00:01.000 --> 00:02.000 line:100.5% position:100.5%", "a"],
     {"line": "auto", "position": "auto"}, "it checks only the whole part of a percentage against 100"),
]


def to_program_text(text, gbk):
    """A reference parser's text as the program keeps it (see the module's notes)."""
    text = text.replace("\r\n", "\n").replace("\r", "\n")
    if gbk:
        out = []
        for c in text:
            try:
                c.encode("gbk")
                out.append(c)
            except UnicodeEncodeError:
                if c == "\u00a0":
                    out.append(" ")
                elif "\u200b" <= c <= "\u200f":
                    pass
                else:
                    out.append("?" * (2 if ord(c) > 0xFFFF else 1))
        text = "".join(out)
    return text.strip(" \t\n")


def number(value):
    return value if value == "auto" else float(value)


def ours(tool, path, lang):
    out = subprocess.run([tool, "--lang", lang, "--events", "--settings", path], stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, check=True)
    if b"WebVTT" not in out.stderr:
        raise SystemExit("%s: not read as WebVTT: %s" % (path, out.stderr.decode(errors="replace")))
    cues = []
    for row in out.stdout.decode("ascii").splitlines():
        start, end, _, text, settings = row.split("\t")
        raw = unescape(text)
        cue = {"start": int(start) + 500, "end": int(end) + 500,
               "text": (raw.decode("gbk") if lang == "zh-CN" else raw.decode("utf-8")).replace("\r\n", "\n")}
        for word in settings.split(" "):
            name, value = word.split("=")
            cue[name] = int(value) if name == "snap" else number(value) if name in ("line", "position", "size") else value
        cues.append(cue)
    return in_order(cues)


def in_order(cues):
    """The reference lists cues by start, then longest first; times past 32 bits compare here as
    the program keeps them, so both sides are put in one order, by text where times tie."""
    return sorted(cues, key=lambda c: (c["start"], -c["end"], c["text"]))


def theirs_as_program(cue, gbk):
    out = dict(cue)
    out["text"] = to_program_text(cue["text"], gbk)
    out["start"] = min(cue["start"], MAX_MS)
    out["end"] = min(cue["end"], MAX_MS)
    return out


def same(a, b):
    if isinstance(a, float) or isinstance(b, float):
        if a == "auto" or b == "auto":
            return a == b
        return abs(float(a) - float(b)) <= 1e-5 * max(1.0, abs(float(b)))
    return a == b


def shorten(value):
    text = repr(value)
    return text if len(text) <= 120 else text[:117] + "..."


def compare(name, mine, reference, problems):
    if len(mine) != len(reference):
        problems.append("%s: %d cues, the reference %d" % (name, len(mine), len(reference)))
    for i, (a, b) in enumerate(zip(mine, reference)):
        for field in ["start", "end", "text"] + SETTING_NAMES:
            if not same(a[field], b[field]):
                problems.append("%s: cue %d (%s): %s ours %s, the reference %s" %
                                (name, i + 1, shorten(b["text"][:30]), field, shorten(a[field]), shorten(b[field])))


def reference_parser(work):
    modules = os.path.join(work, "npm", "node_modules")
    if not os.path.isfile(os.path.join(modules, "webvtt-parser", "parser.js")):
        done = subprocess.run(["npm", "install", "--prefix", os.path.join(work, "npm"), "--no-audit", "--no-fund",
                               "--loglevel=error", PARSER])
        if done.returncode != 0:
            raise SystemExit("vtt conformance: npm could not install %s (exit %d)" % (PARSER, done.returncode))
    return modules


def main():
    tool, work = (os.path.abspath(a) for a in sys.argv[1:])
    for program in ("node", "npm"):
        if shutil.which(program) is None:
            print("SKIPPED: %s is not installed (Debian packages nodejs and npm; scripts/install-deps.sh "
                  "installs them)" % program)
            return 77
    os.makedirs(work, exist_ok=True)
    modules = reference_parser(work)
    rng = random.Random(SEED)
    files = []  # (path, lang, expected W3C reading for known differences, departure)
    eols = ["\n", "\r\n", "\r"]
    for n, (name, lines) in enumerate(rule_files(rng)):
        path = os.path.join(work, "%s.vtt" % name)
        with open(path, "wb") as f:
            f.write((eols[n % 3].join(lines) + eols[n % 3]).encode("ascii"))
        files.append((path, "en", None, None))
    chinese = ["WEBVTT", "", "00:01.000 --> 00:02.000", "\u4f60\u597d &amp; \u4e16\u754c&nbsp;&lrm;&#x2665;&hearts;",
               "", "00:03.000 --> 00:04.000 line:0", "\u5b57\u5e55&#20013;&#26080; &eacute; &#9731;&#x2013; \u00e9\u00e8"]
    path = os.path.join(work, "chinese-utf8-bom.vtt")
    with open(path, "wb") as f:
        f.write(b"\xef\xbb\xbf" + "\n".join(chinese).encode("utf-8"))
    files.append((path, "zh-CN", None, None))
    for name, lines, expected, departure in KNOWN:
        path = os.path.join(work, "known-%s.vtt" % name)
        with open(path, "wb") as f:
            f.write("\n".join(lines).encode("utf-8"))
        files.append((path, "en", expected, departure))

    # The reference parser walks a cue's tags recursively: two thousand levels need a larger stack.
    out = subprocess.run(["node", "--stack-size=4000", os.path.join(os.path.dirname(os.path.abspath(__file__)), "webvtt_reference.js"),
                          modules] + [p for p, _, _, _ in files], stdout=subprocess.PIPE, check=True)
    references = json.loads(out.stdout.decode("utf-8"))

    problems, known, cues = [], [], 0
    for path, lang, expected, departure in files:
        name = os.path.basename(path)
        mine = ours(tool, path, lang)
        reference = in_order(theirs_as_program(c, lang == "zh-CN") for c in references[path])
        cues += len(mine)
        if expected is None:
            compare(name, mine, reference, problems)
            continue
        # A known difference: ours must give what the W3C text gives.
        if len(mine) != 1:
            problems.append("%s: %d cues, the W3C rules give 1" % (name, len(mine)))
            continue
        for field, value in expected.items():
            if not same(mine[0][field], value):
                problems.append("%s: %s ours %s, the W3C rules %s" % (name, field, shorten(mine[0][field]), shorten(value)))
        theirs = (["%s %s" % (f, shorten(reference[0][f])) for f in expected] if len(reference) == 1
                  else ["no cue"] if not reference else ["%d cues" % len(reference)])
        differs = len(reference) != 1 or any(not same(reference[0][f], v) for f, v in expected.items())
        known.append("%s: %s; the reference gives %s (%s)" % (name, departure, ", ".join(theirs),
                                                              "differs" if differs else "no longer differs"))
    for line in known:
        print("known difference: " + line)
    for p in problems[:60]:
        print(p)
    if len(problems) > 60:
        print("... %d more" % (len(problems) - 60))
    print("vtt conformance: %d files, %d cues read alike by quorvane-srt and %s; %d known differences of "
          "the reference parser; %d differences" % (len(files), cues, PARSER, len(known), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
