#!/usr/bin/env python3
"""The follow test's and the benchmark's measure of the real mpv: recorded reports of mpv and
lines of quorvane-follow, with what lateness() must make of them."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from real_mpv import lateness  # noqa: E402

CUES = [(0.1, 0.9), (1.1, 1.9), (2.1, 2.9), (3.1, 3.9)]


def playing(start_at, from_pos, to_pos, speed=1.0, step=0.04):
    """mpv's reports while it plays: a time-pos each frame, each as it comes."""
    reports, pos = [], from_pos
    while pos <= to_pos + 1e-9:
        reports.append((start_at + (pos - from_pos) / speed, round(pos, 3), False, speed))
        pos += step
    return reports


class LatenessTest(unittest.TestCase):
    def test_cases(self):
        straight = playing(10.0, 0.0, 3.96)
        # mpv seeks back from 2.5 s to 1.5 s (inside c01) and plays on.
        seek_back = playing(10.0, 0.0, 2.48) + playing(12.5, 1.5, 3.96)
        cases = [
            # name, reports, lines (moment, text), (start lateness ms, end lateness ms, missed, doubled, early)
            ("on time, 30 ms late", straight,
             [(10.0, "player: mpv's pipe"), (10.13, "c00"), (10.5, "film time: mpv's own"), (10.93, "(clear)"),
              (11.13, "c01"), (11.93, "(clear)"),
              (12.13, "c02"), (12.93, "(clear)"), (13.13, "c03"), (13.93, "(clear)")],
             ([30, 30, 30, 30], [30, 30, 30, 30], 0, 0, 0)),
            ("a cue never shown is missed", straight,
             [(10.13, "c00"), (10.93, "(clear)"), (12.13, "c02"), (12.93, "(clear)"),
              (13.13, "c03"), (13.93, "(clear)")],
             ([30, 30, 30], [30, 30, 30], 1, 0, 0)),
            ("shown again without a seek is doubled; shown early counts, cleared early is an early end", straight,
             [(10.08, "c00"), (10.93, "(clear)"), (11.13, "c01"), (11.5, "(clear)"), (11.55, "c01"),
              (11.93, "(clear)"), (12.13, "c02"), (12.93, "(clear)"), (13.13, "c03")],
             ([-20, 30, 450, 30, 30], [30, -400, 30, 30], 0, 1, 1)),
            ("a seek that lands in a cue makes it due again, with no start to be late for", seek_back,
             [(10.13, "c00"), (10.93, "(clear)"), (11.13, "c01"), (11.93, "(clear)"), (12.13, "c02"),
              (12.52, "c01"), (12.93, "(clear)"), (13.13, "c02"), (13.93, "(clear)"), (14.13, "c03")],
             ([30, 30, 30, 30, 30], [30, 30, 30, 30], 0, 0, 0)),
        ]
        for name, reports, lines, expected in cases:
            with self.subTest(name):
                starts, ends, missed, doubled, early = lateness(reports, lines, CUES)
                got = ([round(x * 1000) for x in starts], [round(x * 1000) for x in ends], missed, doubled, early)
                self.assertEqual(got, expected)


if __name__ == "__main__":
    unittest.main()
