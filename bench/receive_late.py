#!/usr/bin/env python3
"""How often `hfchain receive`, told no mode, decodes a transmission whose recording begins late.

Usage: bench/receive_late.py HFCHAIN RATE INTERLEAVER CHANNEL SNR3K TRIALS [preamble|data|full] [BLOCKS]

Each trial writes one transmission of the mode (`hfchain transmit`, random bits of seed k, BLOCKS
interleaver blocks, default 2), with 0.5 s of silence before and after it, passes it through
CHANNEL at SNR3K with seed k (`hfchain channel`), and cuts the recording's front at a point drawn
uniformly over the preamble (or over the data of the blocks before the last), so that the
recording begins inside the transmission (`full`: the whole recording, for the reference). `hfchain receive --json` then reads the recording. A
trial counts as

  first  the mode read and decoded from the first block the recording holds whole (entered in the
         preamble: the first data block; in the data: the block after the cut);
  later  the mode read and decoded, but only from a later block on;
  none   nothing of the mode decoded (nothing found, another mode, or no block decoded);

and the blocks decoded are added up against the whole blocks the recording holds. Prints one line:
the counts, their shares and the blocks.
"""
import json
import os
import random
import subprocess
import sys
import tempfile


def run(*args, codes=(0,)):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode not in codes:
        sys.exit(f"{' '.join(args)}: {done.stderr.strip()}")
    return done.stdout


def main():
    if len(sys.argv) < 7:
        sys.exit(__doc__)
    exe, rate, il, channel, snr, trials = sys.argv[1:7]
    where = sys.argv[7] if len(sys.argv) > 7 else "preamble"
    blocks = int(sys.argv[8]) if len(sys.argv) > 8 else 2
    rate, il, trials = float(rate), float(il), int(trials)
    preamble = 4.8 if il == 4.8 else 0.6  # s
    mode = f"{rate:g} bit/s, {il:g} s"
    counts = {"first": 0, "later": 0, "none": 0}
    decoded = held = 0
    with tempfile.TemporaryDirectory() as d:
        tx, pad, rx, cut, js = (os.path.join(d, n)
                                for n in ("tx.wav", "pad.wav", "rx.wav", "cut.wav", "r.json"))
        for k in range(1, trials + 1):
            run(exe, "transmit", "--rate", f"{rate:g}", "-i", f"{il:g}", "--nframe", str(blocks),
                "--seed", str(k), "-o", tx)
            run("sox", tx, pad, "pad", "0.5", "0.5")
            run(exe, "channel", pad, rx, "-c", channel, "--snr3k", snr, "--seed", str(k))
            draw = random.Random(k).random()
            if where == "full":
                at, whole = 0, blocks
            elif where == "preamble":
                at = 0.5 + draw * preamble
                whole = blocks
            else:
                entry = draw * (blocks - 1) * il
                at = 0.5 + preamble + entry
                whole = blocks - 1 - int(entry // il)
            run("sox", rx, cut, "trim", f"{at:.6f}")
            run(exe, "receive", cut, "--json", js, codes=(0, 1))  # 1: nothing decoded
            with open(js) as f:
                found = json.load(f)["transmissions"]
            ours = [t for t in found if t["mode"] == mode and t["modeRead"]]
            got = sum(b["decoded"] for t in ours for b in t["blocks"])
            decoded += min(got, whole)
            held += whole
            if not ours or got == 0:
                outcome = "none"
            elif got >= whole and any(t["blocks"] and t["blocks"][0]["decoded"] for t in ours):
                outcome = "first"
            else:
                outcome = "later"
            counts[outcome] += 1
            if os.environ.get("TRIALS"):  # each trial, and what receive reported
                print(k, f"{at:.3f}", outcome, json.dumps(found))
    shares = " ".join(f"{n} {c} ({100 * c / trials:.1f} %)" for n, c in counts.items())
    heard = "whole" if where == "full" else "entered in the " + where
    print(f"{mode} {channel} {snr} dB, {heard}, {trials} trials: {shares}; "
          f"blocks decoded {decoded} of {held}")


if __name__ == "__main__":
    main()
