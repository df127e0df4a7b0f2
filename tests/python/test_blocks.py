"""Every block from Python against the C++ reference program, bit for bit, and the random
streams against NumPy's RandomState."""

import numpy as np
import pytest

import hfchain
from conftest import assert_record, assert_same_bits

VS = hfchain.VarShapping(0.35, 6, 5)
VS2 = hfchain.VarShapping(0.5, 4, 4)

MILSTD_FIELDS = ["rate", "interl", "interTable", "chSymMapping", "bitsToSym", "repFactor",
                 "preamSync", "trein", "data", "probe"]


@pytest.mark.parametrize("interLen, prefix", [(0.6, "modeconf_06"), (4.8, "modeconf_48")])
def test_modeconf(ref, interLen, prefix):
    assert_record(hfchain.modeconf(interLen), ref, prefix, MILSTD_FIELDS)


@pytest.fixture(scope="module")
def road():
    """The road block by block, as the reference program runs it."""
    m = hfchain.modeconf(0.6)
    r = {"milstd": m, "tx": hfchain.sendchain(m, 1, 7)}
    r["shaped"] = hfchain.pulseshaper(r["tx"].MultiplexOut, VS)
    r["faded"] = hfchain.fadesim(r["shaped"].out, hfchain.VarWatterson("moderado", 12, 3), VS)
    r["matched"] = hfchain.pulsematch(r["faded"].AwgnOut, VS)
    r["start"] = hfchain.framelock(r["matched"].out, m, VS)
    r["symbols"] = hfchain.tickalign(r["matched"].out, r["start"], VS)
    r["data"] = hfchain.unframer(r["symbols"].out, m)
    r["demod"] = hfchain.symslicer(r["data"].out, m)
    r["deinterleaved"] = hfchain.unshuffle(r["tx"].InterOutMapIn, m)
    return r


SENDCHAIN_FIELDS = ["BitInCodIn", "CodOutInterIn", "InterOutMapIn", "MapOutMultiplexIn",
                    "ComplexPSKSymbols", "ModConstellation", "ProbeInfo", "MultiplexOut"]

# (result in the road, reference prefix, fields; None for an array result)
ROAD_CASES = [
    ("tx", "sendchain", SENDCHAIN_FIELDS),
    ("shaped", "pulseshaper", ["filter", "out"]),
    ("faded", "fadesim", ["raios", "RER", "ED", "WattersonOutAwgnIn", "noise", "AwgnOut"]),
    ("matched", "pulsematch", ["filter", "filterDelay", "out"]),
    ("start", "framelock", None),
    ("symbols", "tickalign", ["out"]),
    ("data", "unframer", ["out"]),
    ("demod", "symslicer", ["DemodOutDemapIn", "DemapOut"]),
    ("deinterleaved", "unshuffle", ["out"]),
]


@pytest.mark.parametrize("key, prefix, fields", ROAD_CASES, ids=[c[1] for c in ROAD_CASES])
def test_road_block_by_block(road, ref, key, prefix, fields):
    if fields is None:
        assert_same_bits(road[key], ref(prefix))
    else:
        assert_record(road[key], ref, prefix, fields)


def test_deinterleaving_the_interleaved_bits_gives_the_coded_bits(road):
    np.testing.assert_array_equal(road["deinterleaved"].out, road["tx"].CodOutInterIn)


def test_sendchain_fractional_blocks(ref):
    tx = hfchain.sendchain(hfchain.modeconf(4.8), 0.5, 123)
    assert_record(tx, ref, "sendchain_48", SENDCHAIN_FIELDS)


# Blocks on random inputs saved by the reference program: (input, call, reference name).
RANDOM_CASES = [
    ("x1", lambda x, m: hfchain.symslicer(x, m).DemapOut, "symslicer.DemapOut"),
    ("x1", lambda x, m: hfchain.symslicer(x, m).DemodOutDemapIn, "symslicer.DemodOutDemapIn"),
    ("x2", lambda x, m: hfchain.unframer(x, m).out, "unframer"),
    ("x3", lambda x, m: hfchain.pulsematch(x, VS2).out, "pulsematch.out"),
    ("x3", lambda x, m: hfchain.pulsematch(x, VS2).filter, "pulsematch.filter"),
    ("x4", lambda x, m: hfchain.pulseshaper(x, VS2).out, "pulseshaper"),
    ("x5", lambda x, m: hfchain.tickalign(x, 7, VS2).out, "tickalign"),
    ("x6", lambda x, m: hfchain.framelock(x, m, VS), "framelock"),
    ("x7", lambda x, m: hfchain.fadesim(x, {"model": "muito_ruim", "EsNodB": 5, "seed": 99}, VS2)
     .AwgnOut, "fadesim.AwgnOut"),
    ("x7", lambda x, m: hfchain.fadesim(x, {"model": "muito_ruim", "EsNodB": 5, "seed": 99}, VS2)
     .raios, "fadesim.raios"),
    ("x7", lambda x, m: hfchain.fadesim(x, {"model": "bom", "EsNodB": np.inf, "seed": 4}, VS)
     .AwgnOut, "fadesim_inf.AwgnOut"),
    ("x7", lambda x, m: hfchain.fadesim(x, {"model": "bom", "EsNodB": np.inf, "seed": 4}, VS)
     .noise, "fadesim_inf.noise"),
    ("bits", lambda x, m: hfchain.unshuffle(x, m).out, "unshuffle"),
]


@pytest.mark.parametrize("name, call, expected", RANDOM_CASES, ids=[c[2] for c in RANDOM_CASES])
def test_blocks_on_random_inputs(ref, name, call, expected):
    x = ref(f"random.{name}")[:, 0]
    before = x.copy()
    assert_same_bits(call(x, hfchain.modeconf(0.6)), ref(f"random.{expected}"))
    np.testing.assert_array_equal(x, before)  # inputs are never modified


def test_run_road_through_white_noise(ref):
    config = hfchain.RoadConfig(txSeed=9, channel="awgn",
                                EsNodB=8, channelSeed=5)
    r = hfchain.run_road(hfchain.modeconf(0.6), config)
    assert r.codedBitErrors == ref("road.codedBitErrors")[0, 0]
    assert r.codedBits == ref("road.codedBits")[0, 0]
    assert_same_bits(r.deinterleaved.out, ref("road.deinterleaved"))
    assert_same_bits(r.faded.AwgnOut, ref("road.AwgnOut"))
    assert r.frameFound and r.frameStart[0] == r.expectedFrameStart


@pytest.mark.parametrize("seed, nFrame, interLen", [(1, 1, 0.6), (7, 1, 0.6), (123, 0.5, 4.8),
                                                    (4294967295, 2, 0.6)])
def test_information_bits_are_numpy_randomstate_draws(seed, nFrame, interLen):
    tx = hfchain.sendchain(hfchain.modeconf(interLen), nFrame, seed)
    T = len(hfchain.modeconf(interLen).interTable)
    K = int(T * nFrame / 2 - 144)
    expected = np.floor(2 * np.random.RandomState(seed).random_sample(K))
    np.testing.assert_array_equal(tx.BitInCodIn[:K], expected)
    assert not tx.BitInCodIn[K:].any()  # flush and padding zeros


@pytest.mark.parametrize("seed", [1, 2, 99, 4294967295])
def test_builtin_host_streams_equal_numpy(seed):
    h = hfchain.BuiltinHost(seed)
    np.testing.assert_array_equal(h.rand(1000), np.random.RandomState(seed).random_sample(1000))
    h = hfchain.BuiltinHost(seed)
    z = h.randn(7, 3)
    assert z.shape == (7, 3)
    np.testing.assert_array_equal(z, np.random.RandomState(seed).standard_normal(21).reshape(
        (7, 3), order="F"))


def test_builtin_host_settings_and_seed_zero():
    h = hfchain.BuiltinHost(0)
    # Seed 0 stands for the generator's default seed 5489.
    np.testing.assert_array_equal(h.rand(3), hfchain.BuiltinHost(5489).rand(3))
    saved = h.settings()
    a = h.rand(5)
    h.restore(saved)
    np.testing.assert_array_equal(h.rand(5), a)
    previous = h.seed_twister(3)
    np.testing.assert_array_equal(h.rand(2), np.random.RandomState(3).random_sample(2))
    h.restore(previous)
    # The stream goes on where `a` ended.
    np.testing.assert_array_equal(h.rand(4), _uniforms_after(0, 8, 4))


@pytest.mark.parametrize("block", ["sendchain", "fadesim", "run_road"])
def test_random_blocks_give_the_callers_generator_back(block):
    m = hfchain.modeconf(0.6)
    calls = {
        "sendchain": lambda h: hfchain.sendchain(m, 1, 5, h),
        "fadesim": lambda h: hfchain.fadesim(np.ones(400), hfchain.VarWatterson("ruim", 3, 8), VS,
                                             h),
        "run_road": lambda h: hfchain.run_road(m, hfchain.RoadConfig(channel="bom"), h),
    }
    h = hfchain.BuiltinHost(42)
    h.rand(3)
    first = calls[block](h)
    np.testing.assert_array_equal(h.rand(4), _uniforms_after(42, 3, 4))
    # The result depends on the block's own seed only.
    again = calls[block](hfchain.BuiltinHost(1))
    assert first == again


def _uniforms_after(seed, skip, n):
    h = hfchain.BuiltinHost(seed)
    h.rand(skip)
    return h.rand(n)
