#!/usr/bin/env python3
"""hfchain from Python: a coded-bit error rate curve and a received constellation.

Runs a sweep on white noise and one Watterson condition (the same engine as `hfchain sweep`),
draws the error rates with their 95 % intervals beside the exact 8-PSK curve, then sends one
transmission through each channel with run_road and draws the received data symbols, and those
of the fading channel once more as the HF receiver equalises them.

    PYTHONPATH=build/release/python python3 examples/ber_curve.py [--quick] [--out DIR]

Writes DIR/ber_curve.png and DIR/constellation.png (DIR defaults to the current folder).
Ctrl-C stops the sweep and still draws the points finished so far.
"""

import argparse
import os
import sys

import matplotlib

if not os.environ.get("DISPLAY"):
    matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import hfchain  # noqa: E402


def progress(p):
    if p["finished"] is not None:
        f = p["finished"]
        print(f"  {f['condition']:>10} {f['esno_db']:5.1f} dB: {f['errors']} errors in "
              f"{f['bits']} bits, ber {f['ber']:.3e}", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    parser.add_argument("--quick", action="store_true", help="a short sweep (for tests)")
    parser.add_argument("--out", default=".", help="folder of the pictures")
    parser.add_argument("--condition", default="moderado", help="the Watterson condition")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    config = hfchain.SweepConfig(
        conditions=["awgn", args.condition],
        esno=[0, 4, 8] if args.quick else np.arange(0, 14, 2),
        minTrials=2 if args.quick else 20,
        minErrors=50 if args.quick else 300,
        maxBits=20_000 if args.quick else 2_000_000)
    print(f"sweep: {config.conditions} at Es/N0 {config.esno.tolist()} dB", file=sys.stderr)
    try:
        result = hfchain.run_sweep(config, progress)
    except KeyboardInterrupt as e:
        result = e.sweep_result
        print("interrupted: drawing the finished points", file=sys.stderr)

    # The error rates, their 95 % intervals and the exact curve of Gray-coded 8-PSK.
    fig, ax = plt.subplots(figsize=(7, 5))
    for condition in config.conditions:
        mine = result["condition"] == condition
        esno, ber = result["esno_db"][mine], result["ber"][mine]
        err = [ber - result["ci95_low"][mine], result["ci95_high"][mine] - ber]
        ax.errorbar(esno, np.maximum(ber, 1e-7), yerr=err, marker="o", capsize=3,
                    label=condition)
    grid = np.linspace(0, max(config.esno), 200)
    ax.semilogy(grid, [hfchain.ber_8psk_gray(e) for e in grid], "k--", label="8-PSK theory")
    ax.set(xlabel="Es/N0 (dB)", ylabel="coded-bit error rate", ylim=(1e-6, 1),
           title="hfchain: coded-bit error rate against Es/N0")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.savefig(os.path.join(args.out, "ber_curve.png"), dpi=100)

    # One transmission through each channel: the received data symbols, and on the fading
    # channel also what the HF receiver (channel sounder and turbo equaliser) makes of them.
    milstd = hfchain.modeconf(0.6)
    fig, axes = plt.subplots(1, 3, figsize=(15, 5))
    panels = [("awgn", "bom", "baseline"), ("watterson", args.condition, "baseline"),
              ("watterson", args.condition, "hf")]
    for ax, (channel, model, receiver) in zip(axes, panels):
        road = hfchain.run_road(milstd, hfchain.RoadConfig(
            txSeed=7, channel=channel, watterson=hfchain.VarWatterson(model, 14, 3),
            receivers=[receiver]))
        if receiver == "baseline":
            symbols = road.data.out
            errors = f"{road.codedBitErrors} of {road.codedBits} coded bits wrong"
        else:
            symbols = road.hf.symbols
            errors = (f"equalised: {road.hf.codedBitErrors} coded, {road.hf.infoBitErrors} of "
                      f"{road.hf.infoBits} decoded bits wrong")
        ax.plot(symbols.real, symbols.imag, ".", markersize=2, alpha=0.5)
        points = road.tx.ModConstellation
        ax.plot(points.real, points.imag, "r+", markersize=12)
        name = "white noise" if channel == "awgn" else model
        ax.set(title=f"{name}, 14 dB\n{errors}", xlabel="in phase", ylabel="quadrature",
               aspect="equal")
        ax.grid(True, alpha=0.3)
    fig.savefig(os.path.join(args.out, "constellation.png"), dpi=100)
    print(f"wrote {args.out}/ber_curve.png and {args.out}/constellation.png", file=sys.stderr)


if __name__ == "__main__":
    main()
