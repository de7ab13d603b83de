#!/usr/bin/env python3
"""Does leaving out the rounds that other work disturbed sharpen --build's
intervals? From --build exports, each series' sign-test interval on mirrored
blocks (the mean log ratio B/A of rounds 1-2, 3-4, ... of a session, as
bench_compare makes them) is recomputed with every block, and then without
the blocks in which any run of either round was disturbed. Whether a run was
disturbed is decided from its usage alone, before any time is looked at, by
each of two rules:
  runqueue: it waited for a CPU more than FRACTION of its wall time
            (runqueue_wait_s / wall_s; a run whose kernel does not tell is
            kept);
  switches: the scheduler took the CPU from it more than COUNT times
            (involuntary_switches).
Per rule and series: the median half-width (percent of the ratio) over the
exports with and without, the blocks left out, and how many intervals
exclude 1 (unadjusted). An evidence tool, not part of bench_compare.

Usage: tests/evidence/disturbed-rounds.py [--runqueue FRACTION] [--switches COUNT] EXPORT|DIR...
  (defaults: 0.05 and 50; a DIR stands for its *.json. On the quiet
  development machine bench_fixed's runs of 20 ms already waited 0.7 to 1.9%
  of their wall time for a CPU and were switched out 8 to 36 times.)
"""
import argparse
import glob
import json
import math
import os
import signal
import statistics

MOST_BYTES = 256 << 20
PROGRAMS = ("random", "fixed")
SERIES = ("random", "fixed", "difference")


def plain(text):
    return "".join(c if c.isprintable() else "?" for c in str(text))[:60]


def sign_test_k(n):
    """The order statistic of the 95% sign-test interval; 0 below 6 units."""
    if n < 6:
        return 0
    cdf, k = 0.0, 0
    while k < n:
        step = math.comb(n, k) / 2.0**n
        if cdf + step > 0.025:
            break
        cdf += step
        k += 1
    return k


def half_width(blocks):
    """Half the width of the sign-test interval of exp(median), in percent of it."""
    k = sign_test_k(len(blocks))
    if k == 0:
        return None, False
    d = sorted(blocks)
    low, high = math.exp(d[k - 1]), math.exp(d[len(d) - k])
    return 50 * (high - low) / math.exp(statistics.median(d)), low > 1 or high < 1


def disturbed(usage, rule, limit):
    """Whether one run's usage says other work took its processor."""
    if not isinstance(usage, dict):
        return False
    if rule == "runqueue":
        wait, wall = usage.get("runqueue_wait_s"), usage.get("wall_s")
        ok = all(isinstance(v, (int, float)) for v in (wait, wall)) and wall > 0
        return ok and wait / wall > limit
    switches = usage.get("involuntary_switches")
    return isinstance(switches, (int, float)) and switches > limit


def value(times, which, test):
    r, f = times["random"][test], times["fixed"][test]
    return {"random": r, "fixed": f, "difference": r - f}[which]


def rounds_by_session(export, labels):
    """Per session, the rounds in order that every build completed."""
    sessions = {}
    for r in sorted(export.get("rounds") or [], key=lambda r: (r.get("session", 1), r.get("index", 0))):
        builds = r.get("builds") if isinstance(r, dict) else None
        if not isinstance(builds, dict) or not all(
                isinstance(builds.get(b), dict) and all(
                    isinstance(builds[b].get(p), list) and len(builds[b][p]) == 3
                    and all(isinstance(t, (int, float)) for t in builds[b][p]) for p in PROGRAMS)
                for b in labels):
            continue
        sessions.setdefault(r.get("session", 1), []).append(builds)
    return list(sessions.values())


def blocks_of(export, rule, limit):
    """{(build, test, series): [(log ratio of the block, disturbed)]} of one export."""
    labels = [b.get("label") for b in export.get("builds") or [] if isinstance(b, dict)]
    reference = export.get("reference", labels[0] if labels else None)
    tests = [t.get("name", str(i)) for i, t in enumerate(export["builds"][0].get("tests") or [])]
    found = {}
    for session in rounds_by_session(export, labels):
        for i in range(0, len(session) - 1, 2):
            pair = session[i:i + 2]
            hit = any(disturbed((r[b].get("usage") or {}).get(p), rule, limit)
                      for r in pair for b in labels for p in PROGRAMS)
            for b in labels:
                if b == reference:
                    continue
                for t, name in enumerate(tests):
                    for s in SERIES:
                        v = [(value(r[b], s, t), value(r[reference], s, t)) for r in pair]
                        if all(now > 0 and ref > 0 for now, ref in v):
                            logs = sum(math.log(now / ref) for now, ref in v) / 2
                            key = (plain(b), plain(name), s)
                            found.setdefault(key, []).append((logs, hit))
    return found


def read(paths):
    files = []
    for p in paths:
        files += sorted(glob.glob(os.path.join(p, "*.json"))) if os.path.isdir(p) else [p]
    exports = []
    for f in files:
        try:
            if os.path.getsize(f) > MOST_BYTES:
                raise ValueError("larger than 256 MB")
            with open(f, encoding="utf-8", errors="replace") as h:
                export = json.load(h)
            if not isinstance(export, dict) or len(export.get("builds") or []) < 2:
                raise ValueError("not a --build export")
            exports.append(export)
        except (OSError, ValueError) as e:
            print(f"{plain(f)}: left out: {plain(e)}")
    return exports


def report(exports, rule, limit, text):
    widths, left, total = {}, 0, 0
    for export in exports:
        counted = False
        for key, blocks in blocks_of(export, rule, limit).items():
            kept = [b for b, hit in blocks if not hit]
            if not counted:  # every series of an export has the same blocks
                left, total, counted = left + len(blocks) - len(kept), total + len(blocks), True
            widths.setdefault(key, []).append((half_width([b for b, _ in blocks]),
                                               half_width(kept)))
    share = f" ({100 * left / total:.0f}%)" if total else ""
    print(f"\n{text}: {left} of {total} blocks left out{share}, {len(exports)} exports")
    print(f"{'series':26} {'median ± all':>13} {'kept':>8} {'excludes 1: all':>16} {'kept':>5}")
    for key, pairs in widths.items():
        cells = []
        for side in (0, 1):
            w = [p[side][0] for p in pairs if p[side][0] is not None]
            cells.append(f"{statistics.median(w):.2f}%" if w else "-")
            cells.append(sum(1 for p in pairs if p[side][1]))
        print(f"{' '.join(key):26} {cells[0]:>13} {cells[2]:>8} {cells[1]:>12} of {len(pairs):<2}"
              f" {cells[3]:>2} of {len(pairs)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runqueue", type=float, default=0.05, metavar="FRACTION",
                        help="a run waiting for a CPU over this share of its wall time is disturbed")
    parser.add_argument("--switches", type=int, default=50, metavar="COUNT",
                        help="a run switched out involuntarily over this many times is disturbed")
    parser.add_argument("exports", nargs="+", metavar="EXPORT|DIR")
    args = parser.parse_args()
    exports = read(args.exports)
    if not exports:
        parser.exit(1, "disturbed-rounds.py: no --build export to read\n")
    report(exports, "runqueue", args.runqueue,
           f"a run waited for a CPU over {100 * args.runqueue:g}% of its wall time")
    report(exports, "switches", args.switches,
           f"a run was switched out involuntarily over {args.switches} times")


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # a reader that stops early ends it quietly
    main()
