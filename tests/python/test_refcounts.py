"""10,000 calls of every block leak no references and no memory (the whole road, which runs
every block, a few hundred times)."""

import gc
import os
import sys

import numpy as np
import pytest

import hfchain

SANITIZED = bool(os.environ.get("HFCHAIN_SANITIZED"))
CALLS = 2000 if SANITIZED else 10000
ROAD_CALLS = 50 if SANITIZED else 300

M = hfchain.modeconf(0.6)
VS = hfchain.VarShapping(0.5, 2, 2)
VW = hfchain.VarWatterson("muito_ruim", 10, 3)
X = np.exp(1j * np.arange(300))
X600 = np.exp(1j * np.arange(600))
BITS = np.arange(2880) % 2
ROAD_CONFIG = hfchain.RoadConfig(0.2, 1, VS, "awgn", VW)
HOST = hfchain.BuiltinHost(1)
BAD_VS = {"rolloffFactor": 2, "pulseDelay": 2, "oversamplingFactor": 2}

# (call, its argument objects whose references are counted)
CALLS_TABLE = {
    "modeconf": (lambda: hfchain.modeconf(0.6), []),
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
    "to_dict/from_dict": (lambda: hfchain.Milstd.from_dict(M.to_dict()), [M]),
    "failing call": (lambda: pytest.raises(hfchain.Error, hfchain.pulseshaper, X, BAD_VS), [X]),
    "refused argument": (lambda: pytest.raises(hfchain.Error, hfchain.unshuffle, X, M), [X, M]),
}


def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@pytest.mark.parametrize("name", list(CALLS_TABLE))
def test_no_reference_or_memory_leak(name):
    call, args = CALLS_TABLE[name]
    for _ in range(100):  # warm up caches and lazily created objects
        call()
    gc.collect()
    refs = [sys.getrefcount(a) for a in args]
    objects = len(gc.get_objects())
    rss = rss_bytes()
    for _ in range(ROAD_CALLS if name == "run_road" else CALLS):
        call()
    gc.collect()
    assert [sys.getrefcount(a) for a in args] == refs
    assert len(gc.get_objects()) - objects < 50
    # A leaked result of even the smallest call (a few kB) would add tens of MB. (The sanitizer
    # keeps freed memory in quarantine, so its build cannot tell.)
    if not SANITIZED:
        assert rss_bytes() - rss < 8 << 20
