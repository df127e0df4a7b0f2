#!/usr/bin/env python3
"""Where two sweeps' decoded curves cross a bit error rate, and how surely they differ.

Usage: bench/crossing_compare.py BASE.csv OTHER.csv TARGET LIMIT [RECEIVER]

Reads two tables written by `hfchain sweep -o FILE.csv` over the same Es/N0 points (one condition
each) and prints, for the receiver (default hf), the Es/N0 where each curve crosses TARGET, the
difference OTHER - BASE and a verdict against LIMIT dB. Each crossing is read, by interpolation
of log10(rate) between the points around it, on the measured rate and on the two ends of its
95 % interval: the interval's upper end crosses later and the lower end earlier, which bounds
the crossing. The difference's bounds are the far ends of the two crossings' bounds (no
pairing assumed). Where a curve falls from above TARGET to a point without any error, its crossing
is taken midway between its bounds. The verdict is "met" when the difference is within LIMIT, "MISSED" when
not; "(not resolved)" follows unless the bounds lie wholly within LIMIT or wholly beyond it:
more trials are needed to decide.
"""
import math
import sys


def read_table(path, receiver):
    header, rows = None, []
    with open(path) as f:
        for line in f:
            if line.startswith("#") and "esno_db" in line.split():
                header = line[1:].split()
            elif not line.startswith("#") and line.strip():
                rows.append(line.split())
    if header is None:
        sys.exit(f"{path}: no column header line")
    want = ["esno_db", f"{receiver}_ber", f"{receiver}_ci95_low", f"{receiver}_ci95_high"]
    idx = [header.index(c) for c in want]
    return [tuple(float(r[i]) for i in idx) for r in rows]


def crossing(points, column, target):
    """The Es/N0 where column `column` of the points (sorted by Es/N0) first falls to `target`:
    None when it starts below it, +inf when it never falls that low."""
    pts = sorted(points)
    if pts[0][column] <= target:
        return None
    for (x0, *a), (x1, *b) in zip(pts, pts[1:]):
        y0, y1 = a[column - 1], b[column - 1]
        if y1 <= target:
            if y1 <= 0:  # no error at x1: the crossing lies anywhere between the points
                return {1: None, 2: x0, 3: x1}[column]
            l0, l1, lt = math.log10(y0), math.log10(y1), math.log10(target)
            return x0 + (x1 - x0) * (l0 - lt) / (l0 - l1)
    return math.inf


def describe(c):
    if c is None:
        return "below the first point"
    if c == math.inf:
        return "beyond the last point"
    return f"{c:.2f}"


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    base_csv, other_csv, target, limit = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    receiver = sys.argv[5] if len(sys.argv) == 6 else "hf"
    base, other = read_table(base_csv, receiver), read_table(other_csv, receiver)
    # Columns: 1 the rate, 2 its interval's lower end (crosses first), 3 its upper end.
    b = [crossing(base, k, target) for k in (1, 2, 3)]
    o = [crossing(other, k, target) for k in (1, 2, 3)]
    for c in (b, o):
        if c[0] is None and c[1] is not None and c[2] not in (None, math.inf):
            c[0] = (c[1] + c[2]) / 2  # the rate falls from above TARGET to no error at all
    text = f"{describe(o[0])} dB [{describe(o[1])}, {describe(o[2])}] vs {describe(b[0])} dB [{describe(b[1])}, {describe(b[2])}] baseline"
    finite = all(c is not None and c != math.inf for c in b + o)
    if not finite:
        print(f"{text}: not comparable (a crossing outside the points)")
        return
    d, low, high = o[0] - b[0], o[1] - b[2], o[2] - b[1]
    verdict = "met" if abs(d) <= limit else "MISSED"
    if not (-limit <= low and high <= limit) and not (low > limit or high < -limit):
        verdict += " (not resolved)"
    print(f"{text}: {d:+.2f} dB [{low:+.2f}, {high:+.2f}]: {verdict}")


if __name__ == "__main__":
    main()
