#!/usr/bin/env python3
"""hfchain from Python: the main job's decoded error-rate curves and a received constellation.

Runs a sweep on white noise and one Watterson condition with the defaults of `hfchain sweep` (the
same engine): the decoded information-bit error rate of the HF receiver and of the genie bound
against SNR in 3 kHz, drawn with their 95 % intervals over trials. Then it sends one transmission
through each channel with run_road and draws the received data symbols, and those of the fading
channel once more as the HF receiver equalises them.

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
        print(f"  {f['condition']:>10} at SNR {f['snr3k_db']:5.1f} dB: hf {f['hf_ber']:.2e}, "
              f"genie {f['genie_ber']:.2e} over {f['trials']} trials", file=sys.stderr)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    parser.add_argument("--quick", action="store_true", help="a short sweep (for tests)")
    parser.add_argument("--out", default=".", help="folder of the pictures")
    parser.add_argument("--condition", default="moderado", help="the Watterson condition")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    # The main job's receivers, metric and budgets (SweepConfig's defaults), on fewer points; the
    # quick version on the short interleaver with a few trials a point.
    config = hfchain.SweepConfig(conditions=["awgn", args.condition],
                                 snr3k=[2, 6, 10] if args.quick else np.arange(0, 16, 2))
    if args.quick:
        config.interLen, config.minTrials, config.maxBits = 0.6, 2, 6000
    print(f"sweep: {config.conditions} at SNR(3 kHz) {config.snr3k.tolist()} dB, "
          f"{config.interLen} s interleaver", file=sys.stderr)
    try:
        result = hfchain.run_sweep(config, progress)
    except KeyboardInterrupt as e:
        result = e.sweep_result
        print("interrupted: drawing the finished points", file=sys.stderr)

    # Each receiver's decoded error rate with its 95 % interval: one colour per condition, the
    # HF receiver solid, the genie dashed. A point without errors shows its upper bound only.
    fig, ax = plt.subplots(figsize=(8, 5.5))
    for colour, condition in zip(["tab:blue", "tab:red"], config.conditions):
        mine = result["condition"] == condition
        snr = result["snr3k_db"][mine]
        for receiver, style in [("hf", "-o"), ("genie", "--s")]:
            ber = result[f"{receiver}_ber"][mine]
            low, high = result[f"{receiver}_ci95_low"][mine], result[f"{receiver}_ci95_high"][mine]
            shown = np.where(ber > 0, ber, np.nan)
            ax.errorbar(snr, shown, yerr=[np.where(ber > 0, ber - low, 0), high - np.nan_to_num(
                shown)], fmt=style, color=colour, capsize=3, label=f"{condition}, {receiver}")
    ax.set_yscale("log")
    ax.set(xlabel="SNR in 3 kHz (dB)", ylabel="decoded information-bit error rate",
           ylim=(1e-6, 1), title=f"hfchain: {config.interLen} s interleaver, HF receiver (solid) "
                                 "and genie (dashed)")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()
    fig.savefig(os.path.join(args.out, "ber_curve.png"), dpi=100)

    # One transmission through each channel: the received data symbols, and on the fading
    # channel also what the HF receiver (channel sounder and turbo equaliser) makes of them.
    mode = hfchain.modeconf(0.6)
    fig, axes = plt.subplots(1, 3, figsize=(15, 5))
    panels = [("awgn", "baseline"), (args.condition, "baseline"), (args.condition, "hf")]
    for ax, (channel, receiver) in zip(axes, panels):
        road = hfchain.run_road(mode, hfchain.RoadConfig(
            txSeed=7, channel=channel, EsNodB=14, channelSeed=3, receivers=[receiver]))
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
        name = "white noise" if channel == "awgn" else channel
        ax.set(title=f"{name}, 14 dB\n{errors}", xlabel="in phase", ylabel="quadrature",
               aspect="equal")
        ax.grid(True, alpha=0.3)
    fig.savefig(os.path.join(args.out, "constellation.png"), dpi=100)
    print(f"wrote {args.out}/ber_curve.png and {args.out}/constellation.png", file=sys.stderr)


if __name__ == "__main__":
    main()
