"""The decoding blocks (softslicer, vitdecode, sisodecode), the HF receiver's blocks (chansound,
turboequal) and geniecombine from Python against the C++ reference program, bit for bit; their
refusals; run_road with the hf and genie receivers."""

import numpy as np
import pytest

import hfchain
from conftest import assert_record, assert_same_bits

VS = hfchain.VarShapping(0.35, 6, 5)
M = hfchain.modeconf(0.6)
M4800 = {**M.to_dict(), "rate": 4800}
M75 = {**M.to_dict(), "rate": 75}
NO_PROBES = {**M.to_dict(), "trein": 0}  # a hand-made 2400 bit/s set without probes

CHANSOUND_FIELDS = ["start", "delays", "basis", "out", "gains", "gainVar", "pathPower",
                    "windowGains", "windowVar", "windowTime", "noiseVar", "doppler", "frames",
                    "profile", "profileStart"]
TURBOEQUAL_FIELDS = ["out", "noiseVar", "gains", "gainVar", "doppler", "passes"]
GENIECOMBINE_FIELDS = ["out", "noiseVar", "gain"]


@pytest.fixture(scope="module")
def road():
    """The first blocks of the reference program's road (moderado at 12 dB), then the sounding."""
    tx = hfchain.sendchain(M, 1, 7)
    faded = hfchain.fadesim(hfchain.pulseshaper(tx.MultiplexOut, VS).out,
                            hfchain.VarWatterson("moderado", 12, 3), VS)
    matched = hfchain.pulsematch(faded.AwgnOut, VS)
    start = hfchain.framelock(matched.out, M, VS)
    return {"tx": tx, "faded": faded, "matched": matched, "start": start,
            "sounding": hfchain.chansound(matched.out, start, M, VS)}


def llr(ref):
    return ref("random.llr")[:, 0]


# (reference prefix, call, fields)
BLOCK_CASES = [
    ("vitdecode", lambda r, ref: hfchain.vitdecode(llr(ref), M, 1), ["DecodOut", "InfoBits"]),
    ("sisodecode", lambda r, ref: hfchain.sisodecode(llr(ref), M, 1),
     ["Extrinsic", "InfoLLR", "InfoBits"]),
    ("random.softslicer", lambda r, ref: hfchain.softslicer(ref("random.x1"), 0.5, M), ["LLR"]),
    ("random.softslicer_each",
     lambda r, ref: hfchain.softslicer(ref("random.x1"), ref("random.nv"), M), ["LLR"]),
    ("random.softslicer_exact",
     lambda r, ref: hfchain.softslicer(ref("random.x1"), ref("random.nv"), M, rule="exact"),
     ["LLR"]),
    ("chansound", lambda r, ref: r["sounding"], CHANSOUND_FIELDS),
    ("turboequal", lambda r, ref: hfchain.turboequal(r["sounding"], M, 1, 1), TURBOEQUAL_FIELDS),
    # The sounding as a dict, as a script that saved it would hand it back.
    ("turboequal", lambda r, ref: hfchain.turboequal(r["sounding"].to_dict(), M, 1, 1),
     TURBOEQUAL_FIELDS),
    ("geniecombine", lambda r, ref: hfchain.geniecombine(
        r["tx"].MultiplexOut, r["faded"].raios, r["faded"].noise, 12, M, VS), GENIECOMBINE_FIELDS),
]


@pytest.mark.parametrize("prefix, call, fields", BLOCK_CASES,
                         ids=[f"{i}:{c[0]}" for i, c in enumerate(BLOCK_CASES)])
def test_blocks_against_the_cpp_library(road, ref, prefix, call, fields):
    result = call(road, ref)
    if len(fields) == 1 and fields[0] == "LLR":
        assert_same_bits(result.LLR, ref(prefix))
    else:
        assert_record(result, ref, prefix, fields)


def test_inputs_are_never_modified(road):
    sounding = road["sounding"]
    before = {f: np.copy(getattr(sounding, f)) for f in CHANSOUND_FIELDS}
    hfchain.turboequal(sounding, M, 1, 1)
    for f in CHANSOUND_FIELDS:
        np.testing.assert_array_equal(getattr(sounding, f), before[f])


@pytest.mark.parametrize("nFrame, interLen", [(1, 0.6), (0.5, 4.8)])
def test_decoders_give_back_the_information_bits_of_sure_ratios(nFrame, interLen):
    m = hfchain.modeconf(interLen)
    tx = hfchain.sendchain(m, nFrame, 3)
    sure = 8.0 * (1 - 2 * tx.CodOutInterIn)
    K = int(len(m.interTable) * nFrame / 2 - 144)
    v = hfchain.vitdecode(sure, m, nFrame)
    np.testing.assert_array_equal(v.DecodOut, tx.BitInCodIn)
    np.testing.assert_array_equal(v.InfoBits, tx.BitInCodIn[:K])
    np.testing.assert_array_equal(hfchain.sisodecode(sure, m, nFrame).InfoBits, v.InfoBits)


def test_softslicer_signs_are_symslicers_bits():
    x = hfchain.BuiltinHost(5).randn(300) + 1j * hfchain.BuiltinHost(6).randn(300)
    ratios = hfchain.softslicer(x, 0.3, M).LLR
    bits = hfchain.symslicer(x, M).DemapOut
    np.testing.assert_array_equal(ratios < 0, bits == 1)


# Blocks' own refusals: (case in the reference's errors.tsv, the same call from Python given the
# road and the reference).
DECODING_ERRORS = {
    "softslicer_rate75": lambda r, ref: hfchain.softslicer(ref("random.x1"), 1, M75),
    "softslicer_bits": lambda r, ref: hfchain.softslicer(ref("random.x1"), 1,
                                                         {**M.to_dict(), "bitsToSym": 4}),
    "softslicer_noise_size": lambda r, ref: hfchain.softslicer(ref("random.x1"), [1, 2], M),
    "softslicer_noise_zero": lambda r, ref: hfchain.softslicer(ref("random.x1"), 0, M),
    "softslicer_noise_nan": lambda r, ref: hfchain.softslicer(ref("random.x1"), np.nan, M),
    "softslicer_nonfinite": lambda r, ref: hfchain.softslicer(
        np.where(np.arange(1000) == 3, np.nan, ref("random.x1")[:, 0]), 1, M),
    "vitdecode_uncoded": lambda r, ref: hfchain.vitdecode(llr(ref), M4800, 1),
    "vitdecode_length": lambda r, ref: hfchain.vitdecode(np.zeros(100), M, 1),
    "vitdecode_nan": lambda r, ref: hfchain.vitdecode(
        np.where(np.arange(2880) == 5, np.nan, llr(ref)), M, 1),
    "vitdecode_few_frames": lambda r, ref: hfchain.vitdecode(llr(ref), M, 0.01),
    "sisodecode_mode": lambda r, ref: hfchain.sisodecode(llr(ref), M4800, 1),
    "sisodecode_length": lambda r, ref: hfchain.sisodecode(np.zeros(100), M, 1),
    "chansound_short": lambda r, ref: hfchain.chansound(np.zeros(3000), 1, M, VS),
    "chansound_start": lambda r, ref: hfchain.chansound(r["matched"].out, 0.5, M, VS),
    "chansound_oversampling": lambda r, ref: hfchain.chansound(
        r["matched"].out, r["start"], M, hfchain.VarShapping(0.35, 6, 2.5)),
    "chansound_mode": lambda r, ref: hfchain.chansound(r["matched"].out, r["start"], NO_PROBES, VS),
    "turboequal_iterations": lambda r, ref: hfchain.turboequal(r["sounding"], M, 1, 11),
    "turboequal_empty": lambda r, ref: hfchain.turboequal(
        hfchain.ChansoundOut(basis=np.zeros((0, 0))), M, 1, 0),  # ChansoundOut() is 0 x 1
    "turboequal_gains": lambda r, ref: hfchain.turboequal(
        {**r["sounding"].to_dict(), "gains": np.zeros((1, 3), complex)}, M, 1, 0),
    "turboequal_frames": lambda r, ref: hfchain.turboequal(r["sounding"], M, 2, 1),
    "geniecombine_symbols": lambda r, ref: hfchain.geniecombine(
        np.zeros(100), r["faded"].raios, r["faded"].noise, 12, M, VS),
    "geniecombine_raios": lambda r, ref: hfchain.geniecombine(
        r["tx"].MultiplexOut, np.zeros((10, 2)), r["faded"].noise, 12, M, VS),
    "geniecombine_mode": lambda r, ref: hfchain.geniecombine(
        r["tx"].MultiplexOut, r["faded"].raios, r["faded"].noise, 12, NO_PROBES, VS),
    # Non-finite and huge values, named with their element in the host's 1-based count.
    "sisodecode_nan": lambda r, ref: hfchain.sisodecode(
        np.where(np.arange(2880) == 5, np.nan, llr(ref)), M, 1),
    "chansound_nonfinite": lambda r, ref: hfchain.chansound(
        np.where(np.arange(r["matched"].out.size) == 9, complex(0, np.inf), r["matched"].out),
        r["start"], M, VS),
    "chansound_huge": lambda r, ref: hfchain.chansound(r["matched"].out * 1e300, r["start"], M,
                                                       VS),
    "chansound_probe": lambda r, ref: hfchain.chansound(
        r["matched"].out, r["start"], {**M.to_dict(), "probe": with_nan(M.probe, (2, 1))}, VS),
    "turboequal_nonfinite": lambda r, ref: hfchain.turboequal(
        {**r["sounding"].to_dict(), "gainVar": with_nan(r["sounding"].gainVar, 4)}, M, 1, 0),
    "turboequal_huge": lambda r, ref: hfchain.turboequal(
        {**r["sounding"].to_dict(), "out": r["sounding"].out * 1e300}, M, 1, 0),
    "geniecombine_nonfinite": lambda r, ref: hfchain.geniecombine(
        r["tx"].MultiplexOut, with_nan(r["faded"].raios, (40, 1)), r["faded"].noise, 12, M, VS),
    "geniecombine_esno": lambda r, ref: hfchain.geniecombine(
        r["tx"].MultiplexOut, r["faded"].raios, r["faded"].noise, np.nan, M, VS),
}


def with_nan(a, index):
    """A copy of a with NaN at index: a tuple, or a position in column-major order (the host's)."""
    a = np.array(a, dtype=np.result_type(a, float), copy=True)
    if not isinstance(index, tuple):
        index = np.unravel_index(index, a.shape, order="F")
    a[index] = np.nan
    return a


@pytest.mark.parametrize("case", list(DECODING_ERRORS))
def test_block_errors_match_the_cpp_library(road, ref, case):
    identifier, message = ref.errors[case]
    assert identifier != "(no error)"
    with pytest.raises(hfchain.Error) as e:
        DECODING_ERRORS[case](road, ref)
    assert (e.value.identifier, e.value.message) == (identifier, message)


def test_zero_ray_gains_are_erasures(road):
    """A symbol seen through no gain comes out as 0 with an infinite variance, which the soft
    demapper turns into ratios of 0: erasures, not NaN."""
    g = hfchain.geniecombine(road["tx"].MultiplexOut, np.zeros_like(road["faded"].raios),
                             road["faded"].noise, 12, M, VS)
    assert np.all(g.out == 0) and np.all(g.noiseVar == np.inf) and np.all(g.gain == 0)
    assert np.all(hfchain.softslicer(g.out, g.noiseVar, M).LLR == 0)


# --- the whole road with the decoding receivers ------------------------------------------------

@pytest.fixture(scope="module")
def hf_road():
    """The reference program's road with both decoding receivers on a fading channel."""
    config = hfchain.RoadConfig(txSeed=4, channel="moderado",
                                EsNodB=9, channelSeed=6,
                                receivers=["hf", "genie"], iterations=1, softRule="exact")
    return hfchain.run_road(M, config)


RECEPTION_FIELDS = ["ran", "symbols", "noiseVar", "codedBits", "codedBitErrors", "infoBits",
                    "infoBitErrors", "blocks", "blockErrors"]

# (the result's field, reference prefix, fields)
HF_ROAD_CASES = [
    ("sounding", "hfroad.sounding", CHANSOUND_FIELDS),
    ("equalised", "hfroad.equalised", TURBOEQUAL_FIELDS),
    ("genieView", "hfroad.genieView", GENIECOMBINE_FIELDS),
    ("hf", "hfroad.hf", RECEPTION_FIELDS),
    ("genie", "hfroad.genie", RECEPTION_FIELDS),
    ("hf.soft", "hfroad.hf.soft", ["LLR"]),
    ("hf.deinterleaved", "hfroad.hf.deinterleaved", ["out"]),
    ("hf.decoded", "hfroad.hf.decoded", ["DecodOut", "InfoBits"]),
    ("genie.decoded", "hfroad.genie.decoded", ["DecodOut", "InfoBits"]),
]


@pytest.mark.parametrize("path, prefix, fields", HF_ROAD_CASES, ids=[c[0] for c in HF_ROAD_CASES])
def test_run_road_with_the_hf_and_genie_receivers(hf_road, ref, path, prefix, fields):
    record = hf_road
    for part in path.split("."):
        record = getattr(record, part)
    assert_record(record, ref, prefix, fields)


def test_the_receivers_asked_for_run_alone(hf_road):
    assert hf_road.hf.ran and hf_road.genie.ran and hf_road.frameFound
    assert hf_road.deinterleaved.out.size == 0  # "baseline" was not asked for
    assert hf_road.hf.infoBits == hf_road.genie.infoBits == 1296


def test_the_road_decodes_as_the_blocks_do(hf_road):
    """softslicer, unshuffle and vitdecode called one by one on the equalised symbols give the
    road's decoding."""
    eq = hf_road.equalised
    soft = hfchain.softslicer(eq.out, eq.noiseVar, M, "exact")
    deinterleaved = hfchain.unshuffle(soft.LLR, M)
    decoded = hfchain.vitdecode(deinterleaved.out, M, 1)
    assert soft == hf_road.hf.soft
    assert decoded == hf_road.hf.decoded
    assert np.count_nonzero(decoded.InfoBits != hf_road.tx.BitInCodIn[:decoded.InfoBits.size]) \
        == hf_road.hf.infoBitErrors


# Roads whose receivers lose some, not all, of three interleaver blocks with these seeds (the last
# block partial on ruim): (config, receivers).
BLOCK_COUNT_ROADS = [
    (hfchain.RoadConfig(nFrame=3, txSeed=2, channel="awgn",
                        EsNodB=6, channelSeed=3), ["baseline"]),
    (hfchain.RoadConfig(nFrame=2.5, txSeed=3, channel="ruim",
                        EsNodB=7, channelSeed=2,
                        receivers=["baseline", "hf", "genie"], iterations=1), ["hf", "genie"]),
]


@pytest.mark.parametrize("config, receivers", BLOCK_COUNT_ROADS, ids=["awgn", "ruim"])
def test_reception_counts_blocks_with_a_wrong_information_bit(config, receivers):
    r = hfchain.run_road(M, config)
    per_block = M.interTable.size // 2  # information bits per 0.6 s block at 2400 bit/s
    for name in receivers:
        reception = getattr(r, name)
        k = reception.infoBits
        sent = r.tx.BitInCodIn[:k]
        decoded = np.full(k, -1.0)  # missing bits count as wrong
        n = min(k, reception.decoded.InfoBits.size)
        decoded[:n] = reception.decoded.InfoBits[:n]
        wrong = decoded != sent
        blocks = -(-k // per_block)
        errors = sum(bool(wrong[b * per_block:(b + 1) * per_block].any()) for b in range(blocks))
        assert (reception.blocks, reception.blockErrors) == (blocks, errors), name
        assert reception.to_dict()["blockErrors"] == errors
