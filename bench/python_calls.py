#!/usr/bin/env python3
"""What calling hfchain from Python costs over the C++ call, and the sweep against the runner.

For each block and size: the C++ entry function alone on arguments converted once
(hfchain._hfchain._time_cpp, same process, same moment), the same call from Python, and the
allowance of the target: 10 us plus one copy of each output (NumPy's copy of the result arrays).
Then a large input that is read in place against the same values in a layout that is converted.
Then the same sweep from Python and from `hfchain sweep`, wall time and throughput. The blocks
are timed twice: with glibc's default allocator settings, under which large results handed back
to the system cost fresh pages on the next call, and after hfchain.keep_trial_memory().

    PYTHONPATH=build/release/python python3 bench/python_calls.py [--hfchain build/release/apps/hfchain]

Timings are the fastest of several rounds (the least disturbed by other work on the machine).
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

import hfchain
from hfchain._hfchain import _time_cpp


def per_call(f, repeat, rounds=7):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        for _ in range(repeat):
            f()
        times.append((time.perf_counter() - start) / repeat)
    return min(times)


def cpp_per_call(block, args, repeat, rounds=7):
    return min(_time_cpp(block, repeat, *args) for _ in range(rounds))


def output_arrays(result):
    if isinstance(result, np.ndarray):
        return [result]
    if hasattr(result, "_fields"):
        return [a for f in result._fields for a in output_arrays(getattr(result, f))]
    return []


def copy_cost(result, repeat):
    arrays = output_arrays(result)
    return per_call(lambda: [a.copy() for a in arrays], repeat)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--hfchain", help="the runner program, to compare a sweep with")
    args = parser.parse_args()

    m = hfchain.modeconf(0.6)
    vs = hfchain.VarShapping()
    rng = np.random.RandomState(1)
    cases = []
    for n, repeat in [(100, 2000), (1_000_000, 3)]:
        x = rng.standard_normal(n) + 1j * rng.standard_normal(n)
        cases.append((f"pulsematch {n:>9,} samples", "pulsematch", (x, vs), repeat))
        bits = (rng.random_sample(2880 * max(1, n // 2880)) > 0.5).astype(float)
        cases.append((f"unshuffle  {bits.size:>9,} bits", "unshuffle", (bits, m), repeat))
    cases.append(("modeconf   (structure out)", "modeconf", (0.6,), 2000))
    cases.append(("sendchain  1 block", "sendchain", (m, 1, 7), 200))

    # The decoding blocks and the HF receiver: one 0.6 s block (small) and about 1e6 values.
    for n, repeat in [(100, 2000), (1_000_000, 3)]:
        y = rng.standard_normal(n) + 1j * rng.standard_normal(n)
        cases.append((f"softslicer {n:>9,} symbols", "softslicer", (y, 0.5, m), repeat))
    for blocks, repeat in [(1, 200), (347, 2)]:
        llr = 4 * rng.standard_normal(2880 * blocks)
        for block in ["vitdecode", "sisodecode"]:
            cases.append((f"{block:<10} {llr.size:>9,} LLRs", block, (llr, m, blocks), repeat))
    for blocks, repeat in [(1, 20), (138, 1)]:
        road = hfchain.run_road(m, hfchain.RoadConfig(
            nFrame=blocks, channel="moderado", EsNodB=12, channelSeed=3,
            receivers=["hf", "genie"], iterations=1))
        mf = road.matched.out
        cases.append((f"chansound  {mf.size:>9,} samples", "chansound",
                      (mf, road.frameStart, m, vs), repeat))
        cases.append((f"turboequal {road.equalised.out.size:>9,} symbols", "turboequal",
                      (road.sounding, m, blocks, 1), repeat))
        cases.append((f"geniecombine {road.genieView.out.size:>7,} symbols", "geniecombine",
                      (road.tx.MultiplexOut, road.faded.raios, road.faded.noise, 12, m, vs),
                      repeat))

    for title in ["glibc's default allocator settings", "after hfchain.keep_trial_memory()"]:
        if title.startswith("after"):
            hfchain.keep_trial_memory()
        print(f"\n{title}:")
        print(f"{'call':<30} {'C++ (us)':>11} {'Python (us)':>12} {'overhead':>10} "
              f"{'allowance':>10}  met")
        for label, block, call_args, repeat in cases:
            f = getattr(hfchain, block)
            result = f(*call_args)
            py = per_call(lambda: f(*call_args), repeat)
            cpp = cpp_per_call(block, call_args, repeat)
            allowance = 10e-6 + copy_cost(result, repeat)
            over = py - cpp
            print(f"{label:<30} {cpp * 1e6:11.1f} {py * 1e6:12.1f} {over * 1e6:10.1f} "
                  f"{allowance * 1e6:10.1f}  {'yes' if over <= allowance else 'NO'}")

    # A large input read in place (complex128, contiguous) against the same values in a layout
    # that must be converted (a reversed view): the difference is what a copy of the input costs.
    n = 1_000_000
    x = rng.standard_normal(n) + 1j * rng.standard_normal(n)
    converted = x[::-1].copy()[::-1]
    vw = hfchain.VarWatterson("moderado", 10, 3)
    print(f"\n{n:,} samples, Python call (ms):  contiguous   reversed view")
    for label, f in [("pulsematch", lambda a: hfchain.pulsematch(a, vs)),
                     ("fadesim", lambda a: hfchain.fadesim(a, vw, vs))]:
        contiguous = per_call(lambda: f(x), 3)
        reversed_view = per_call(lambda: f(converted), 3)
        print(f"  {label:<31} {contiguous * 1e3:10.1f} {reversed_view * 1e3:14.1f}")

    if args.hfchain:
        # The baseline receiver's coded bits on the short interleaver, 8 trials a point.
        config = hfchain.SweepConfig(interLen=0.6, conditions=["awgn", "moderado"],
                                     esno=[0, 4, 8, 12], receivers="baseline", metric="coded",
                                     minTrials=8, maxBits=8 * 2880, seed=5, threads=2)
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "sweep.json")
            start = time.perf_counter()
            subprocess.run([args.hfchain, "sweep", "-q", "-i", "0.6", "-C", "awgn,moderado", "-e",
                            "0,4,8,12", "-r", "baseline", "--metric", "coded", "--min-trials",
                            "8", "--max-bits", str(8 * 2880), "-s", "5", "-j", "2", "--json", out],
                           check=True, stdout=subprocess.DEVNULL)
            runner_wall = time.perf_counter() - start
            with open(out) as f:
                runner = json.load(f)
        r = hfchain.run_sweep(config)
        bits = int(r["bits"].sum())
        assert [p["errors"] for p in runner["points"]] == r["errors"].tolist()
        print(f"\nsweep of {len(r['bits'])} points, {int(r['trials'].sum())} trials, {bits:,} bits, "
              f"2 threads:")
        print(f"  runner  {runner['wall_seconds']:7.2f} s in the engine ({runner_wall:.2f} s with "
              f"start-up), {bits / runner['wall_seconds'] / 1e3:8.1f} kbit/s")
        print(f"  Python  {r['wall_seconds']:7.2f} s in the engine, "
              f"{bits / r['wall_seconds'] / 1e3:8.1f} kbit/s  (ratio "
              f"{r['wall_seconds'] / runner['wall_seconds']:.2f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
