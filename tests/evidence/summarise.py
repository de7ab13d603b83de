#!/usr/bin/env python3
"""Summarise a directory of --build exports (rand-wait-evidence writes them):
per comparison its rounds, seconds, how it stopped, the series called and
the intervals' half-widths; overall, per series, how many comparisons called
it slower and faster, its median half-width and, where the exports give it,
the median smallest ratio it could have called slower or faster.

Usage: tests/evidence/summarise.py DIR   (reads DIR/*.json and DIR/runs.tsv)
"""
import csv
import datetime
import glob
import json
import os
import signal
import statistics
import sys

MOST_BYTES = 256 << 20  # the largest export bench_compare writes is about 100 MB


def plain(text):
    """Text from an export, made safe to print: no control characters."""
    return "".join(c if c.isprintable() else "?" for c in str(text))[:80]


def number(v):
    return float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else None


def load(path):
    if os.path.getsize(path) > MOST_BYTES:
        raise ValueError("larger than 256 MB")
    with open(path, encoding="utf-8", errors="replace") as f:
        export = json.load(f)
    if not isinstance(export, dict) or not isinstance(export.get("comparisons"), list):
        raise ValueError("not a --build export (no comparisons)")
    return export


def half_width(verdict):
    """The 95% interval's half-width, as a percentage of the ratio (as --precision has it)."""
    ratio = verdict.get("ratio") if isinstance(verdict.get("ratio"), dict) else {}
    low, high, at = (number(ratio.get(k)) for k in ("low", "high", "estimate"))
    return None if low is None or high is None or not at else 50 * (high - low) / at


def detectable(verdict, side):
    d = verdict.get("detectable")
    return number(d.get(side)) if isinstance(d, dict) else None


def seconds_of(runs, name, export):
    """From runs.tsv, or else from the export's own times (whole seconds)."""
    if name in runs:
        return runs[name]
    try:
        times = [datetime.datetime.strptime(export[k], "%Y-%m-%dT%H:%M:%SZ")
                 for k in ("started_at", "finished_at")]
    except (KeyError, TypeError, ValueError):
        return None
    return (times[1] - times[0]).total_seconds()


def read_runs(folder):
    path = os.path.join(folder, "runs.tsv")
    if not os.path.isfile(path):
        return {}
    with open(path, encoding="utf-8", errors="replace") as f:
        runs = {}
        for row in csv.DictReader(f, delimiter="\t"):
            try:
                runs[row["comparison"]] = float(row["seconds"])
            except (KeyError, TypeError, ValueError):
                pass
        return runs


def series_of(verdict):
    return " ".join(plain(verdict.get(k, "?")) for k in ("entry", "test", "series"))


def one_comparison(name, export, runs, overall):
    verdicts = [v for v in export["comparisons"] if isinstance(v, dict)]
    rounds = len(export.get("rounds") or [])
    seconds = seconds_of(runs, name, export)
    stopped = export.get("stopped")
    called, widths = [], []
    for v in verdicts:
        key = series_of(v)
        entry = overall.setdefault(key, {"slower": 0, "faster": 0, "width": [], "slower_by": [],
                                         "faster_by": []})
        verdict = plain(v.get("verdict"))
        if verdict in ("slower", "faster"):
            entry[verdict] += 1
            ratio = number((v.get("ratio") or {}).get("estimate"))
            called.append(f"{key} {verdict}" + (f" {ratio:.4f}" if ratio else ""))
        w = half_width(v)
        if w is not None:
            entry["width"].append(w)
            widths.append(f"{plain(v.get('test'))[:3]} {plain(v.get('series'))[:3]} ±{w:.2f}%")
        for side in ("slower", "faster"):
            d = detectable(v, side)
            if d is not None:
                entry[side + "_by"].append(d)
    how = "" if stopped is None else " stopped: " + plain(json.dumps(stopped))
    print(f"{name}: {rounds} rounds, " + (f"{seconds:.1f} s" if seconds else "? s") + how)
    print("  called: " + ("; ".join(called) if called else "none"))
    print("  half-widths: " + (", ".join(widths) if widths else "none"))
    return len(verdicts), len(called), rounds, seconds


def median_text(values, form):
    return form.format(statistics.median(values)) if values else "-"


def main():
    if len(sys.argv) != 2 or not os.path.isdir(sys.argv[1]):
        sys.exit("usage: summarise.py DIR (a directory of --build exports)")
    folder = sys.argv[1]
    runs = read_runs(folder)
    overall, totals = {}, []
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        name = os.path.basename(path)[:-len(".json")]
        try:
            export = load(path)
        except (OSError, ValueError) as e:
            print(f"{plain(name)}: left out: {plain(e)}")
            continue
        totals.append(one_comparison(plain(name), export, runs, overall))
    if not totals:
        sys.exit("summarise.py: no export to summarise")
    count = len(totals)
    tested = sum(t[0] for t in totals)
    print(f"\n{count} comparisons: {sum(t[1] for t in totals)} of {tested} series called;"
          f" median {statistics.median(t[2] for t in totals):g} rounds, "
          + median_text([t[3] for t in totals if t[3]], "{:.1f} s"))
    print(f"{'series':28} {'slower':>7} {'faster':>7} {'median ±':>9} "
          f"{'could see slower':>17} {'faster':>7}")
    for key, e in overall.items():
        print(f"{key:28} {e['slower']:>3} of {count:<2} {e['faster']:>2} of {count:<2} "
              f"{median_text(e['width'], '{:.2f}%'):>9} "
              f"{median_text(e['slower_by'], '{:.4f}'):>17} {median_text(e['faster_by'], '{:.4f}'):>7}")


if __name__ == "__main__":
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # a reader that stops early ends it quietly
    main()
