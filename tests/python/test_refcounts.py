"""Thousands of calls of every block leak no references and no memory: 10,000 of the quick ones;
of the slower ones (the whole road, the decoders and the HF receiver, which take a whole 0.6 s
block, and the blocks whose fixed cost in the debug build is a millisecond or more) as many as
make a leaked input or result add over 10 MB."""

import gc
import os
import sys

import numpy as np
import pytest

import hfchain

SANITIZED = bool(os.environ.get("HFCHAIN_SANITIZED"))
CALLS = 2000 if SANITIZED else 10000

M = hfchain.modeconf(0.6)
VS = hfchain.VarShapping(0.5, 2, 2)
VW = hfchain.VarWatterson("muito_ruim", 10, 3)
X = np.exp(1j * np.arange(300))
X600 = np.exp(1j * np.arange(600))
BITS = np.arange(2880) % 2
ROAD_CONFIG = hfchain.RoadConfig(0.2, 1, VS, "awgn", 10, 3)
HOST = hfchain.BuiltinHost(1)
M75 = hfchain.rateconf(75, 0.6)
GAIN = np.exp(1j * np.arange(18))
BAD_VS = {"rolloffFactor": 2, "pulseDelay": 2, "oversamplingFactor": 2}
HF_CONFIG = hfchain.RoadConfig(0.2, 1, VS, "awgn", 10, 3, ["hf", "genie"], 1)
HF = hfchain.run_road(M, HF_CONFIG)
SOUNDING, SYMBOLS, LLR = HF.sounding, HF.hf.symbols, HF.hf.deinterleaved.out
NOISE_VAR, START, TX, FADED = HF.hf.noiseVar, HF.frameStart, HF.tx.MultiplexOut, HF.faded
SOUNDING75 = hfchain.run_road(M75, hfchain.RoadConfig(4, 1, VS, "awgn", 10, 3, ["hf"])).sounding

# (call, its argument objects whose references are counted)
CALLS_TABLE = {
    "modeconf": (lambda: hfchain.modeconf(0.6), []),
    "rateconf": (lambda: hfchain.rateconf(75, 4.8), []),
    "sendchain": (lambda: hfchain.sendchain(M, 0.2, 1, HOST), [M, HOST]),
    "pulseshaper": (lambda: hfchain.pulseshaper(X, VS), [X, VS]),
    "fadesim": (lambda: hfchain.fadesim(X, VW, VS), [X, VW, VS]),
    "pulsematch": (lambda: hfchain.pulsematch(X, VS), [X, VS]),
    "framelock": (lambda: hfchain.framelock(X600, M, {"rolloffFactor": 0.5, "pulseDelay": 2,
                                                      "oversamplingFactor": 1}), [X600, M]),
    "tickalign": (lambda: hfchain.tickalign(X, 3, VS), [X, VS]),
    "unframer": (lambda: hfchain.unframer(X, M), [X, M]),
    "symslicer": (lambda: hfchain.symslicer(X, M), [X, M]),
    "unshuffle": (lambda: hfchain.unshuffle(BITS, M), [BITS, M]),
    "run_road": (lambda: hfchain.run_road(M, ROAD_CONFIG), [M, ROAD_CONFIG]),
    "softslicer": (lambda: hfchain.softslicer(SYMBOLS, NOISE_VAR, M), [SYMBOLS, NOISE_VAR, M]),
    "patternslicer": (lambda: hfchain.patternslicer(X600[:576], GAIN, 0.5, M75, "noncoherent",
                                                    "exact"), [X600, GAIN, M75]),
    "vitdecode": (lambda: hfchain.vitdecode(LLR, M, 0.2), [LLR, M]),
    "sisodecode": (lambda: hfchain.sisodecode(LLR, M, 0.2), [LLR, M]),
    "chansound": (lambda: hfchain.chansound(HF.matched.out, START, M, VS), [START, M, VS]),
    "turboequal": (lambda: hfchain.turboequal(SOUNDING, M, 0.2, 0), [SOUNDING, M]),
    "patterntrack": (lambda: hfchain.patterntrack(SOUNDING75, M75, 1), [SOUNDING75, M75]),
    "geniecombine": (lambda: hfchain.geniecombine(TX, FADED.raios, FADED.noise, 10, M, VS),
                     [TX, FADED, M, VS]),
    "run_road hf, genie": (lambda: hfchain.run_road(M, HF_CONFIG), [M, HF_CONFIG]),
    "to_dict/from_dict": (lambda: hfchain.ModeParams.from_dict(M.to_dict()), [M]),
    "failing call": (lambda: pytest.raises(hfchain.Error, hfchain.pulseshaper, X, BAD_VS), [X]),
    "refused argument": (lambda: pytest.raises(hfchain.Error, hfchain.unshuffle, X, M), [X, M]),
}


# Calls of the slower blocks: a leaked result or input copy (tens to hundreds of kB; modeconf's
# milstd, which framelock and sendchain also copy in, 40 kB) then adds over 10 MB.
FEWER_CALLS = {"modeconf": 2000, "rateconf": 2000, "sendchain": 2000, "framelock": 1000,
               "run_road": 300, "softslicer": 1000, "vitdecode": 1000, "sisodecode": 300,
               "chansound": 60, "turboequal": 150, "patterntrack": 150, "geniecombine": 500, "run_road hf, genie": 30}


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("name", list(CALLS_TABLE))
def test_no_reference_or_memory_leak(name):
    call, args = CALLS_TABLE[name]
    calls = FEWER_CALLS.get(name, CALLS)
    if SANITIZED and name in FEWER_CALLS:
        calls = max(calls // 6, 20)
    for _ in range(min(100, calls // 3 + 1)):  # warm up caches and lazily created objects
        call()
    gc.collect()
    refs = [sys.getrefcount(a) for a in args]
    objects = len(gc.get_objects())
    rss = rss_bytes()
    for _ in range(calls):
        call()
    gc.collect()
    assert [sys.getrefcount(a) for a in args] == refs
    assert len(gc.get_objects()) - objects < 50
    # A leaked result of even the smallest call (a few kB) would add tens of MB. (The sanitizer
    # keeps freed memory in quarantine, so its build cannot tell.)
    if not SANITIZED:
        assert rss_bytes() - rss < 8 << 20
