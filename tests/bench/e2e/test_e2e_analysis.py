"""Tests of the end-to-end benchmark's analysis on made-up timing records."""

import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "bench", "e2e"))
import e2e_analysis as ea  # noqa: E402

MS = 1000000  # ns


def sent_every(n, period_ms=5, start=1000 * MS):
    return [(c, start + c * period_ms * MS) for c in range(n)]


def received(sent, counters, delay_ms=1, modulus=ea.TAG_MODULUS):
    return [(c % modulus, sent[c][1] + delay_ms * MS) for c in counters]


class ParseTest(unittest.TestCase):
    def test_records_and_malformed_lines(self):
        self.assertEqual(ea.parse_record("S 12 345\n"), ("S", 12, 345))
        self.assertEqual(ea.parse_record("P -1 7"), ("P", -1, 7))
        for bad in ("", "S 1", "X 1 2", "S 1 -2", "S 1 2 3", "S 1.0 2", "s 1 2", "S 1 2\r"):
            self.assertIsNone(ea.parse_record(bad), bad)

    def test_read_log_groups_by_event_and_rejects_garbage(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "log")
            with open(path, "w") as f:
                f.write("D 1 10\nH 1 11\nP 1 12\nD 2 20\n")
            groups = ea.read_log(path)
            self.assertEqual(groups["D"], [(1, 10), (2, 20)])
            self.assertEqual(groups["H"], [(1, 11)])
            self.assertEqual(groups["P"], [(1, 12)])
            with open(path, "a") as f:
                f.write("D 3\n")
            with self.assertRaisesRegex(ea.LogError, ":5: malformed"):
                ea.read_log(path)


class PercentileTest(unittest.TestCase):
    def test_nearest_rank(self):
        values = list(range(1, 101))
        self.assertEqual(ea.percentile(values, 50), 50)
        self.assertEqual(ea.percentile(values, 99), 99)
        self.assertEqual(ea.percentile(values, 100), 100)
        self.assertEqual(ea.percentile([7], 99), 7)
        self.assertEqual(ea.percentile([3, 1, 2], 50), 2)
        self.assertIsNone(ea.percentile([], 50))


class UnwrapTest(unittest.TestCase):
    def test_counters_follow_the_tags_across_the_wrap(self):
        sent = sent_every(1300)
        counters = list(range(20, 1300))
        self.assertEqual(ea.unwrap_tags(received(sent, counters), [ns for _, ns in sent]),
                         counters)

    def test_gaps_and_repeats(self):
        sent = sent_every(900)
        sent_ns = [ns for _, ns in sent]
        # 100..109, then 112 (two lost), a repeated 112 (a request's answer), 113.
        records = received(sent, list(range(100, 110)) + [112, 112, 113])
        self.assertEqual(ea.unwrap_tags(records, sent_ns), list(range(100, 110)) + [112, 112, 113])

    def test_first_record_takes_the_latest_counter_sent_before_it(self):
        sent = sent_every(900)
        sent_ns = [ns for _, ns in sent]
        # Tag 100 arrives just after counter 600 (residue 100) was sent.
        self.assertEqual(ea.unwrap_tags([(100, sent[600][1] + MS)], sent_ns), [600])
        self.assertEqual(ea.unwrap_tags([(100, sent[599][1] + MS)], sent_ns), [100])

    def test_impossible_records_are_errors(self):
        sent = sent_every(10)
        sent_ns = [ns for _, ns in sent]
        with self.assertRaisesRegex(ea.LogError, "never sent"):
            ea.unwrap_tags([(5, sent[0][1])], sent_ns)  # before counter 5 was sent
        with self.assertRaisesRegex(ea.LogError, "outside"):
            ea.unwrap_tags([(600, sent[9][1])], sent_ns)
        with self.assertRaisesRegex(ea.LogError, "only 10 were sent"):
            ea.unwrap_tags([(9, sent[9][1]), (11, sent[9][1] + MS)], sent_ns)
        with self.assertRaisesRegex(ea.LogError, "before it was sent"):
            ea.unwrap_tags([(1, sent[1][1]), (3, sent[2][1])], sent_ns)


class AnalyseTest(unittest.TestCase):
    def test_every_frame_decoded_and_painted(self):
        sent = sent_every(1000)
        counters = list(range(1000))
        decoded = received(sent, counters, 1)
        handled = received(sent, counters, 2)
        # One paint per two frames, 3 ms after the second one was sent.
        painted = [(c % ea.TAG_MODULUS, sent[c][1] + 3 * MS) for c in range(1, 1000, 2)]
        window = (sent[100][1], sent[899][1])
        f = ea.analyse(sent, decoded, handled, painted, window)
        self.assertEqual(f["frames_sent"], 800)
        self.assertEqual(f["frames_decoded"], 800)
        self.assertEqual(f["frames_handled"], 800)
        self.assertEqual(f["frames_lost"], 0)
        self.assertEqual(f["repaints"], 399)  # the paint after frame 899 falls outside
        self.assertAlmostEqual(f["decode_latency_ms"]["median"], 1.0)
        self.assertAlmostEqual(f["decode_latency_ms"]["p99"], 1.0)
        # Odd frames are shown 3 ms after they are sent, even ones by the next paint: 8 ms.
        self.assertAlmostEqual(f["shown_latency_ms"]["median"], 3.0)
        self.assertAlmostEqual(f["shown_latency_ms"]["max"], 8.0)
        self.assertEqual(f["frames_not_shown"], 0)

    def test_lost_frames_are_counted_and_named(self):
        sent = sent_every(300)
        counters = [c for c in range(300) if c not in (150, 151, 200)]
        decoded = received(sent, counters)
        f = ea.analyse(sent, decoded, decoded, None, (sent[0][1], sent[299][1]))
        self.assertEqual(f["frames_sent"], 300)
        self.assertEqual(f["frames_decoded"], 297)
        self.assertEqual(f["frames_lost"], 3)
        self.assertEqual(f["first_lost"], [150, 151, 200])
        self.assertIsNone(f["repaints"])

    def test_a_paint_shows_the_newest_frame_decoded_by_then(self):
        sent = sent_every(10)
        decoded = received(sent, range(10))
        # A paint 1.5 ms after frame 4 was sent shows frame 4 (tag 4), one without a
        # reading shows nothing, and one at the end shows frame 9.
        painted = [(4, sent[4][1] + 3 * MS // 2), (ea.NO_TAG, sent[6][1]), (9, sent[9][1] + 2 * MS)]
        f = ea.analyse(sent, decoded, decoded, painted, (sent[0][1], sent[9][1]))
        self.assertEqual(f["repaints"], 2)  # the last paint falls after the window
        # Frame 5, sent at 25 ms, waits for the last paint at 47 ms.
        self.assertAlmostEqual(f["shown_latency_ms"]["max"], 22.0)
        self.assertEqual(f["frames_not_shown"], 0)

    def test_frames_never_shown_are_reported(self):
        sent = sent_every(10)
        decoded = received(sent, range(10))
        painted = [(3, sent[3][1] + 2 * MS)]
        f = ea.analyse(sent, decoded, decoded, painted, (sent[0][1], sent[9][1]))
        self.assertEqual(f["frames_not_shown"], 6)

    def test_a_send_log_with_a_gap_is_an_error(self):
        sent = [(0, 1), (2, 2)]
        with self.assertRaisesRegex(ea.LogError, "counter 2 where 1"):
            ea.analyse(sent, [], [], None, (0, 3))


class ProcessFiguresTest(unittest.TestCase):
    def test_cpu_per_wall_second_between_the_samples_nearest_the_window(self):
        samples = [(s * 1000 * MS, s * 10, 1000, 1000) for s in range(0, 11)]
        # 10 ticks per second at 100 ticks/s: 0.1 s of CPU each second.
        self.assertAlmostEqual(ea.cpu_per_wall(samples, (2000 * MS, 8000 * MS), 100), 0.1)
        self.assertIsNone(ea.cpu_per_wall(samples[:1], (0, 1), 100))

    def test_memory_peak_and_growth(self):
        # 40 MB for the first 10 s, then 2 MB more; the high-water mark peaks at 45 MB.
        samples = [(s * 1000 * MS, 0, 40 * 1024 + (2048 if s >= 20 else 0), 45 * 1024)
                   for s in range(0, 31)]
        m = ea.memory_figures(samples, (0, 30000 * MS))
        self.assertAlmostEqual(m["peak_rss_mb"], 45.0)
        self.assertAlmostEqual(m["rss_growth_mb"], 2.0)

    def test_startup_is_the_first_paint_after_the_first_handled_frame(self):
        groups = {"S": [], "D": [(1, 100 * MS)], "H": [(1, 120 * MS)],
                  "P": [(ea.NO_TAG, 110 * MS), (1, 130 * MS)]}
        self.assertAlmostEqual(ea.startup_seconds(0, groups), 0.13)
        self.assertIsNone(ea.startup_seconds(0, {"S": [], "D": [], "H": [], "P": []}))


if __name__ == "__main__":
    unittest.main()
