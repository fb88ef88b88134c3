"""Figures of one end-to-end run from the timing logs and the /proc samples.

Pure functions without I/O beyond reading a log file, so the tests can feed them
made-up records.

A timing log line is "<event> <tag> <CLOCK_MONOTONIC ns>" with the events
S (sent, tag = the simulator's running counter), D (decoded), H (handled) and
P (painted, tag = the power tenths the readout shows, -1 for none). Frames carry
the counter modulo TAG_MODULUS in their power field; the receiving side logs that.
"""

import bisect
import re

TAG_MODULUS = 500
NO_TAG = -1
_LINE = re.compile(r"^([SDHP]) (-?[0-9]+) ([0-9]+)$")


class LogError(Exception):
    pass


def parse_record(line):
    """(event, tag, ns) of one line, or None when the line is malformed."""
    m = _LINE.match(line.rstrip("\n"))
    if m is None:
        return None
    return m.group(1), int(m.group(2)), int(m.group(3))


def read_log(path):
    """Records grouped by event: {'S': [(tag, ns), ...], ...} in file order."""
    groups = {"S": [], "D": [], "H": [], "P": []}
    with open(path, encoding="ascii", errors="replace") as f:
        for number, line in enumerate(f, 1):
            record = parse_record(line)
            if record is None:
                raise LogError("%s:%d: malformed record %r" % (path, number, line[:60]))
            event, tag, ns = record
            groups[event].append((tag, ns))
    return groups


def percentile(values, p):
    """Nearest-rank percentile of values (0 < p <= 100); None when empty."""
    if not values:
        return None
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * p // 100))  # ceil
    return ordered[int(rank) - 1]


def unwrap_tags(records, sent_ns, modulus=TAG_MODULUS):
    """Counters of received records (tag, ns), in order.

    The first record takes the latest counter with its residue sent no later than
    it was received; each later one advances by the forward distance of its tag,
    so a gap of k frames shows as a step of k + 1. An unchanged tag is the same
    frame again: a measurement that answers a request (the connect sequence and
    velquor-cli monitor ask for one) carries the tag of the last frame sent.
    Raises LogError when a record cannot be a frame the simulator sent.
    """
    counters = []
    previous = None
    for tag, ns in records:
        if not 0 <= tag < modulus:
            raise LogError("tag %d outside 0..%d: not a tagged frame" % (tag, modulus - 1))
        if previous is None:
            candidates = [c for c in range(tag, len(sent_ns), modulus) if sent_ns[c] <= ns]
            if not candidates:
                raise LogError("first tag %d was never sent before it arrived" % tag)
            counter = candidates[-1]
        else:
            counter = previous[0] + (tag - previous[1]) % modulus
        if counter >= len(sent_ns):
            raise LogError("received frame %d but only %d were sent" % (counter, len(sent_ns)))
        if sent_ns[counter] > ns:
            raise LogError("frame %d received before it was sent" % counter)
        counters.append(counter)
        previous = (counter, tag)
    return counters


def shown_counters(paints, decoded_counters, decoded_ns, modulus=TAG_MODULUS):
    """For each paint (tag, ns): the counter of the frame its readout shows, or None.

    That is the latest frame decoded by the paint's time whose residue is the tag;
    the readout takes the reading the receive hook stored last.
    """
    result = []
    for tag, ns in paints:
        if tag == NO_TAG or not 0 <= tag < modulus:
            result.append(None)
            continue
        i = bisect.bisect_right(decoded_ns, ns) - 1
        found = None
        for j in range(i, max(-1, i - modulus - 1), -1):
            if decoded_counters[j] % modulus == tag:
                found = decoded_counters[j]
                break
        result.append(found)
    return result


def analyse(sent, decoded, handled, painted, window, modulus=TAG_MODULUS):
    """Figures for the frames sent within window = (start_ns, end_ns).

    sent: [(counter, ns)] from the simulator; decoded, handled, painted: the
    receiver's records. painted may be None (velquor-cli has no repaint; its
    handled records stand for the moment a frame is shown).
    """
    sent_ns = []
    for expected, (counter, ns) in enumerate(sent):
        if counter != expected:
            raise LogError("send log counter %d where %d was expected" % (counter, expected))
        sent_ns.append(ns)
    start, end = window
    in_window = [c for c, ns in enumerate(sent_ns) if start <= ns <= end]

    dec_counters = unwrap_tags(decoded, sent_ns, modulus)
    dec_ns_by_counter = {}
    for c, (_, ns) in zip(dec_counters, decoded):
        dec_ns_by_counter.setdefault(c, ns)
    handled_set = set(unwrap_tags(handled, sent_ns, modulus)) if handled else set()

    lost = [c for c in in_window if c not in dec_ns_by_counter]
    decode_latency = [(dec_ns_by_counter[c] - sent_ns[c]) / 1e6
                      for c in in_window if c in dec_ns_by_counter]

    # The moment each frame is first shown: the first paint whose readout shows it
    # or a later frame (a coalesced repaint shows only the newest).
    if painted is not None:
        dec_sorted_ns = [ns for _, ns in decoded]
        shown = shown_counters(painted, dec_counters, dec_sorted_ns, modulus)
        moments = [(ns, c) for (_, ns), c in zip(painted, shown) if c is not None]
        repaints = sum(1 for _, ns in painted if start <= ns <= end)
    else:
        handled_counters = unwrap_tags(handled, sent_ns, modulus)
        moments = [(ns, c) for (_, ns), c in zip(handled, handled_counters)]
        repaints = None
    moments.sort()
    running_max = []
    best = -1
    for _, c in moments:
        best = max(best, c)
        running_max.append(best)
    shown_latency = []
    unshown = 0
    for c in in_window:
        if c not in dec_ns_by_counter:
            continue
        k = bisect.bisect_left(running_max, c)
        if k == len(running_max):
            unshown += 1
            continue
        shown_latency.append((moments[k][0] - sent_ns[c]) / 1e6)

    seconds = (end - start) / 1e9
    return {
        "window_s": seconds,
        "frames_sent": len(in_window),
        "frames_decoded": len(in_window) - len(lost),
        "frames_handled": sum(1 for c in in_window if c in handled_set),
        "frames_lost": len(lost),
        "first_lost": lost[:10],
        "repaints": repaints,
        "repaints_per_s": repaints / seconds if repaints is not None and seconds > 0 else None,
        "frames_not_shown": unshown,
        "decode_latency_ms": {"median": percentile(decode_latency, 50),
                              "p99": percentile(decode_latency, 99),
                              "max": max(decode_latency) if decode_latency else None},
        "shown_latency_ms": {"median": percentile(shown_latency, 50),
                             "p99": percentile(shown_latency, 99),
                             "max": max(shown_latency) if shown_latency else None},
    }


def cpu_per_wall(samples, window, ticks_per_s):
    """CPU seconds per wall second between the samples nearest the window's ends.

    samples: [(ns, cpu_ticks, rss_kb, hwm_kb)] in time order.
    """
    if len(samples) < 2:
        return None
    start, end = window
    first = min(samples, key=lambda s: abs(s[0] - start))
    last = min(samples, key=lambda s: abs(s[0] - end))
    if last[0] <= first[0]:
        return None
    return (last[1] - first[1]) / ticks_per_s / ((last[0] - first[0]) / 1e9)


def memory_figures(samples, window, span_s=10.0):
    """Peak resident set (MB) and the growth of the mean resident set between the
    first and the last span_s seconds of the window (MB)."""
    start, end = window
    if not samples:
        return {"peak_rss_mb": None, "rss_growth_mb": None}
    span = int(span_s * 1e9)
    head = [s[2] for s in samples if start <= s[0] <= start + span]
    tail = [s[2] for s in samples if end - span <= s[0] <= end]
    growth = None
    if head and tail:
        growth = (sum(tail) / len(tail) - sum(head) / len(head)) / 1024.0
    return {"peak_rss_mb": max(s[3] for s in samples) / 1024.0, "rss_growth_mb": growth}


def startup_seconds(spawn_ns, groups):
    """Seconds from spawning the GUI to the first paint after its first handled
    measurement (the first painted readout); None when it never painted one."""
    if not groups["H"]:
        return None
    first_handled = groups["H"][0][1]
    for _, ns in groups["P"]:
        if ns >= first_handled:
            return (ns - spawn_ns) / 1e9
    return None
