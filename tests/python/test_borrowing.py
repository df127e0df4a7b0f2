"""Inputs that are already float64 or complex128 and contiguous in column-major order are read in
place: such a call needs no memory for a copy of its input, gives the same results as any layout
that must be converted, and leaves the caller's array (writeable or not) as it was."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import hfchain

M = hfchain.modeconf(0.6)
M75 = hfchain.rateconf(75, 0.6)
VS = hfchain.VarShapping(0.5, 2, 5)
VW = hfchain.VarWatterson("moderado", 12, 3)
ROAD = hfchain.run_road(M, hfchain.RoadConfig(0.2, 1, VS, "moderado", 12, 3, ["hf", "genie"], 1))
RNG = np.random.RandomState(4)
SAMPLES = RNG.standard_normal(600) + 1j * RNG.standard_normal(600)


def converted(a):
    """The same values in a layout that cannot be borrowed: every other element of a buffer
    twice as long (a 2-D array keeps its shape, in C order)."""
    wide = np.zeros((a.shape[0], 2) + a.shape[1:], a.dtype)
    wide[:, 0] = a
    out = wide[:, 0]
    return np.ascontiguousarray(out) if out.ndim == 2 else out


def read_only(a):
    a = np.array(a, order="F")
    a.flags.writeable = False
    return a


# Every block with array arguments: (call taking its array arguments, the arguments as the blocks
# hand them over or as a caller makes them: 1-D, or Fortran-ordered 2-D).
BLOCKS = {
    "pulseshaper": (lambda x: hfchain.pulseshaper(x, VS), [SAMPLES]),
    "fadesim": (lambda x: hfchain.fadesim(x, VW, VS), [SAMPLES]),
    "pulsematch": (lambda x: hfchain.pulsematch(x, VS), [SAMPLES]),
    "framelock": (lambda x: hfchain.framelock(x, M, VS), [ROAD.matched.out]),
    "tickalign": (lambda x: hfchain.tickalign(x, 3, VS), [SAMPLES]),
    "unframer": (lambda x: hfchain.unframer(x, M), [ROAD.symbols.out]),
    "symslicer": (lambda x: hfchain.symslicer(x, M), [ROAD.data.out]),
    "unshuffle": (lambda x: hfchain.unshuffle(x, M), [ROAD.hf.soft.LLR]),
    "softslicer": (lambda x, nv: hfchain.softslicer(x, nv, M, "exact"),
                   [ROAD.hf.symbols, ROAD.hf.noiseVar]),
    "patternslicer": (lambda x, g, nv: hfchain.patternslicer(x, g, nv, M75, "coherent"),
                      [SAMPLES[:576], SAMPLES[:18], np.full(18, 0.5)]),
    "vitdecode": (lambda x: hfchain.vitdecode(x, M, 0.2), [ROAD.hf.deinterleaved.out]),
    "sisodecode": (lambda x: hfchain.sisodecode(x, M, 0.2), [ROAD.hf.deinterleaved.out]),
    "chansound": (lambda x, s: hfchain.chansound(x, s, M, VS), [ROAD.matched.out, ROAD.frameStart]),
    "geniecombine": (lambda tx, rays, n: hfchain.geniecombine(tx, rays, n, 12, M, VS),
                     [ROAD.tx.MultiplexOut, ROAD.faded.raios, ROAD.faded.noise]),
}


def arrays_of(result):
    if isinstance(result, np.ndarray):
        return [result]
    return [a for v in result.to_dict().values()
            for a in (arrays_of(v) if hasattr(v, "to_dict") else
                      [v] if isinstance(v, np.ndarray) else [np.asarray(v)])]


@pytest.mark.parametrize("block", list(BLOCKS))
def test_borrowed_and_converted_layouts_give_the_same_results(block):
    call, args = BLOCKS[block]
    assert all(a.dtype in (np.float64, np.complex128) for a in args)
    assert all(a.flags.f_contiguous for a in args)  # the layouts that are borrowed
    kept = [a.copy() for a in args]
    expected = arrays_of(call(*args))
    for form in [converted, read_only]:
        inputs = [form(a) for a in args]
        result = arrays_of(call(*inputs))
        assert len(result) == len(expected)
        for r, e in zip(result, expected):
            np.testing.assert_array_equal(r, e)
        for a, k in zip(inputs, kept):
            np.testing.assert_array_equal(a, k)
    for a, k in zip(args, kept):
        np.testing.assert_array_equal(a, k)
    assert converted(args[0]).flags.f_contiguous == (args[0].size <= 1)


# A child process measures its peak resident memory (ru_maxrss) over one call of tickalign, whose
# result is a fifth of its input; memory for a copy of the input would show as the input's size.
PEAK_OF_ONE_CALL = textwrap.dedent("""
    import resource, sys
    import numpy as np
    import hfchain
    n = 4_000_000
    buffer = np.ones(n, complex)
    x = buffer if sys.argv[1] == "borrowed" else buffer[::-1]
    vs = hfchain.VarShapping(0.5, 2, 5)
    hfchain.tickalign(x[:1000], 3, vs)  # everything loaded and touched once
    before = int(open("/proc/self/statm").read().split()[1]) * resource.getpagesize()
    peak_before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    hfchain.tickalign(x, 3, vs)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(peak - max(before, peak_before), x.nbytes)
""")


@pytest.mark.skipif(bool(os.environ.get("HFCHAIN_SANITIZED")),
                    reason="the sanitizers' allocator adds its own bookkeeping to resident memory")
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
def test_a_borrowed_input_takes_no_memory_for_a_copy():
    growth = {}
    for layout in ["borrowed", "converted"]:
        out = subprocess.run([sys.executable, "-c", PEAK_OF_ONE_CALL, layout], check=True,
                             capture_output=True, text=True, env=os.environ).stdout.split()
        growth[layout], nbytes = int(out[0]), int(out[1])
    # The result (a fifth of the input) and the block's work space stay below half the input;
    # the converted layout shows the copy, which validates the measurement.
    assert growth["converted"] > 0.9 * nbytes, growth
    assert growth["borrowed"] < 0.5 * nbytes, growth
