#!/usr/bin/env python3
"""Where two sweeps' decoded curves cross a bit error rate, compared trial by trial.

Usage: bench/paired_crossings.py BASE.journal OTHER.journal TARGET LIMIT [RECEIVER]

Reads the checkpoint journals of two runs of `hfchain sweep --checkpoint FILE` over the same
points (one rate, one condition, the same seed) that differ only in their path (baseband or the
air, a clock offset or none). Trial k of a point draws the same bits, fading and noise stream in
both runs, so the two runs' trials pair up, and the difference of their crossings is read with
the pairs kept together: each of 2000 bootstrap replicates draws, at every point, the trials
with replacement and takes the same trials of both runs. The crossing of TARGET is read as the
sweep reads it, by interpolation of log10(rate) between the points around it; a point without
any wrong bit counts half a wrong bit there (else its logarithm is undefined). The difference
OTHER - BASE is given with the 2.5 and 97.5 percentiles of its replicates (those where a curve
crosses outside the points are left out and counted; above a tenth of them the curves are "not
comparable"), and the verdict is
"met" when it lies within LIMIT dB, "MISSED" when not, with "(not resolved)" unless the interval
lies wholly within LIMIT or wholly beyond it.
"""
import math
import os
import random
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from crossing_compare import describe  # noqa: E402

REPLICATES = 2000


def read_journal(path, receiver):
    """The journal's Es/N0 points and, for each, {trial: (bits, errors)} of `receiver`."""
    params, records, fields = {}, {}, None
    with open(path) as f:
        lines = f.read().splitlines()
    end = next(i for i, line in enumerate(lines) if line.startswith("end "))
    for line in lines[1:end]:
        name, _, value = line.partition(" ")
        params[name] = value
    fields = params["record"].split()
    bits = fields.index(f"{receiver}_info_bits")
    errors = fields.index(f"{receiver}_info_errors")
    if "," in params["rates"] or "," in params["conditions"]:
        sys.exit(f"{path}: one rate and one condition a journal")
    esno = [float(v) for v in params["esno"].split(",")]
    for line in lines[end + 1:]:
        v = line.split()
        if len(v) != len(fields) + 1:
            continue  # a torn last record
        point, trial = int(v[0]), int(v[1])
        records.setdefault(point, {})[trial] = (int(v[bits]), int(v[errors]))
    return esno, params, records


def crossing(esno, rates, target):
    """The Es/N0 where the rates first fall to `target`: None when the first point is below it,
    +inf when none is."""
    if rates[0] <= target:
        return None
    for x0, x1, y0, y1 in zip(esno, esno[1:], rates, rates[1:]):
        if y1 <= target:
            l0, l1, lt = math.log10(y0), math.log10(y1), math.log10(target)
            return x0 + (x1 - x0) * (l0 - lt) / (l0 - l1)
    return math.inf


def rates_of(records, esno, draws):
    """The decoded rate at every point from the trials `draws[p]` of point p."""
    out = []
    for p in range(len(esno)):
        bits = errors = 0
        for t in draws[p]:
            b, e = records[p][t]
            bits, errors = bits + b, errors + e
        out.append(max(errors, 0.5) / bits)
    return out


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit(__doc__)
    target, limit = float(sys.argv[3]), float(sys.argv[4])
    receiver = sys.argv[5] if len(sys.argv) == 6 else "hf"
    esno, pa, base = read_journal(sys.argv[1], receiver)
    esno_o, po, other = read_journal(sys.argv[2], receiver)
    for key in ("rates", "conditions", "esno", "seed", "interLen", "nFrame"):
        if pa[key] != po[key]:
            sys.exit(f"the journals differ in {key}: {pa[key]} and {po[key]}")
    trials = [sorted(set(base.get(p, {})) & set(other.get(p, {}))) for p in range(len(esno))]
    if any(not t for t in trials):
        sys.exit("a point without trials in both journals")
    b0 = crossing(esno, rates_of(base, esno, trials), target)
    o0 = crossing(esno, rates_of(other, esno, trials), target)
    text = f"{describe(o0)} dB vs {describe(b0)} dB baseline"
    if b0 in (None, math.inf) or o0 in (None, math.inf):
        print(f"{text}: not comparable (a crossing outside the points)")
        return
    rng = random.Random(1)
    diffs, outside = [], 0
    for _ in range(REPLICATES):
        draws = [[rng.choice(t) for _ in t] for t in trials]
        b = crossing(esno, rates_of(base, esno, draws), target)
        o = crossing(esno, rates_of(other, esno, draws), target)
        if b in (None, math.inf) or o in (None, math.inf):
            outside += 1
            continue
        diffs.append(o - b)
    if outside > REPLICATES // 10:
        print(f"{text}: not comparable ({outside} of {REPLICATES} replicates cross outside the points)")
        return
    diffs.sort()
    low, high = diffs[int(0.025 * len(diffs))], diffs[int(0.975 * len(diffs)) - 1]
    d = o0 - b0
    verdict = "met" if abs(d) <= limit else "MISSED"
    if not (-limit <= low and high <= limit) and not (low > limit or high < -limit):
        verdict += " (not resolved)"
    n = min(len(t) for t in trials)
    left = f"; {outside} of {REPLICATES} replicates crossing outside the points left out" if outside else ""
    print(f"{text}, difference {d:+.2f} dB [{low:+.2f}, {high:+.2f}] (paired, {n} trials a point{left}): {verdict}")


if __name__ == "__main__":
    main()
