"""Every data rate from Python: rateconf's parameter sets, noiseless round trips through the
transmitter and the baseline receiver, run_road's baseline decoding at every rate, and the
75 bit/s pattern detector against its definition."""

import numpy as np
import pytest

import hfchain

# rate, interLen, nFrame, bitsToSym, repFactor, data, trein
MODES = [(4800, 0.6, 1, 3, 1, 32, 16), (2400, 0.6, 0.5, 3, 1, 32, 16),
         (2400, 4.8, 0.5, 3, 1, 32, 16), (1200, 0.6, 1.5, 2, 1, 20, 20),
         (1200, 4.8, 0.5, 2, 1, 20, 20), (600, 0.6, 1, 1, 1, 20, 20), (600, 4.8, 0.5, 1, 1, 20, 20),
         (300, 0.6, 1, 1, 2, 20, 20), (300, 4.8, 0.5, 1, 2, 20, 20), (150, 0.6, 2, 1, 4, 20, 20),
         (150, 4.8, 0.5, 1, 4, 20, 20), (75, 0.6, 4, 2, 1, 32, 0), (75, 4.8, 0.5, 2, 1, 32, 0)]


@pytest.mark.parametrize("interLen", [0.6, 4.8])
def test_2400_is_modeconf(interLen):
    assert hfchain.rateconf(2400, interLen) == hfchain.modeconf(interLen)


@pytest.mark.parametrize("rate, interLen, nFrame, b, R, D, P", MODES)
def test_round_trip(rate, interLen, nFrame, b, R, D, P):
    m = hfchain.rateconf(rate, interLen)
    assert (m.rate, m.interl, m.bitsToSym, m.repFactor, m.data, m.trein) == (rate, interLen, b, R,
                                                                             D, P)
    assert m.probe.shape == (P, 2)
    # One block holds interLen seconds of coded bits.
    assert len(m.interTable) == round(interLen * rate * (1 if rate == 4800 else 2) * R)
    tx = hfchain.sendchain(m, nFrame, 9)
    bits = hfchain.symslicer(hfchain.unframer(tx.MultiplexOut, m).out, m).DemapOut
    np.testing.assert_array_equal(bits, tx.InterOutMapIn)
    if rate == 4800:
        np.testing.assert_array_equal(bits, tx.BitInCodIn)
    else:
        np.testing.assert_array_equal(hfchain.unshuffle(bits, m).out, tx.CodOutInterIn)


@pytest.mark.parametrize("rate, interLen, identifier, message", [
    (4800, 4.8, "hfchain:params:NoLongInterleaver",
     "The 4800 bit/s mode is sent uncoded and not interleaved: it exists only with the 0.6 s "
     "setting, not with 4.8 s."),
    (1000, 0.6, "hfchain:params:UnknownRate",
     "The data rate 1000 bit/s is not one of 75, 150, 300, 600, 1200, 2400 and 4800."),
    (150, 0.5, "hfchain:params:UnknownInterleaver",
     "The interleaver length 0.5 s is not one of 0.6 and 4.8."),
])
def test_refusals(rate, interLen, identifier, message):
    with pytest.raises(hfchain.Error) as e:
        hfchain.rateconf(rate, interLen)
    assert (e.value.identifier, e.value.message) == (identifier, message)


@pytest.mark.parametrize("rate", [4800, 2400, 1200, 600, 300, 150, 75])
def test_run_road_decodes_every_rate(rate):
    m = hfchain.rateconf(rate, 0.6)
    r = hfchain.run_road(m, hfchain.RoadConfig(nFrame=4, shaping=hfchain.VarShapping(0.35, 6, 2)))
    assert r.baseline.ran
    assert r.baseline.infoBits > 0
    assert r.baseline.infoBitErrors == 0
    np.testing.assert_array_equal(r.baseline.decoded.InfoBits,
                                  r.tx.BitInCodIn[:r.baseline.infoBits])


M75 = hfchain.rateconf(75, 0.6)
POINTS = 1 - M75.chSymMapping / 2  # symbol numbers 0 and 4 as the points 1 and -1


def test_patternslicer_is_its_definition():
    """Correlations with the block's own set (the alternate one on block 45), each value's bits
    (00, 01, 11, 10 for values 0..3), the Bessel metric of the noncoherent exact rule."""
    rng = np.random.RandomState(3)
    y = rng.standard_normal(46 * 32) + 1j * rng.standard_normal(46 * 32)
    h = 0.7 * np.exp(0.3j)
    bits = np.array([[0, 0], [0, 1], [1, 1], [1, 0]])
    blocks = y.reshape(46, 32)
    c = np.array([blocks[k] @ POINTS[:, (4 if (k + 1) % 45 == 0 else 0):][:, :4]
                  for k in range(46)])
    for detection, metric in [("coherent", lambda c: 2 * np.real(np.conj(h) * c) / 1.5),
                              ("noncoherent", lambda c: 2 * abs(h) * abs(c) / 1.5)]:
        for rule in ["max_log", "exact"]:
            r = hfchain.patternslicer(y, h, 1.5, M75, detection, rule)
            np.testing.assert_allclose(r.Correlations, c.T, atol=1e-12)
            m = metric(c)
            if rule == "exact":
                m = np.log(np.i0(m)) if detection == "noncoherent" else m
                combine = lambda x: np.log(np.exp(x).sum(axis=1))
            else:
                combine = lambda x: x.max(axis=1)
            want = np.stack([combine(m[:, bits[:, i] == 0]) - combine(m[:, bits[:, i] == 1])
                             for i in range(2)], axis=1).ravel()
            np.testing.assert_allclose(r.LLR, want, rtol=1e-10, atol=1e-10)


def test_patternslicer_signs_are_the_sent_bits():
    tx = hfchain.sendchain(M75, 4, 5)
    data = hfchain.unframer(tx.MultiplexOut * np.exp(1j), M75).out
    llr = hfchain.patternslicer(data, 1, 0.2, M75, "noncoherent").LLR
    np.testing.assert_array_equal(llr < 0, tx.InterOutMapIn == 1)


@pytest.mark.parametrize("call, identifier", [
    (lambda: hfchain.patternslicer(np.ones(32), 1, 1, hfchain.modeconf(0.6), "coherent"),
     "hfchain:patternslicer:Rate"),
    (lambda: hfchain.patternslicer(np.ones(40), 1, 1, M75, "coherent"),
     "hfchain:patternslicer:PartialBlock"),
    (lambda: hfchain.patternslicer(np.ones(64), [1, 1, 1], 1, M75, "coherent"),
     "hfchain:patternslicer:GainSize"),
    (lambda: hfchain.patternslicer(np.ones(64), 1, 0, M75, "coherent"),
     "hfchain:patternslicer:NoiseVar"),
    (lambda: hfchain.patternslicer(np.ones(64), 1, 1, M75, "blind"), "hfchain:python:WrongValue"),
])
def test_patternslicer_refusals(call, identifier):
    with pytest.raises(hfchain.Error) as e:
        call()
    assert e.value.identifier == identifier


def test_patterntrack_is_the_roads_75_bit_s_detector():
    """The block called from Python gives the HF receiver's ratios of run_road, and on a quiet
    channel their signs are the sent coded bits; the noncoherent pass alone (passes = 0) too."""
    config = hfchain.RoadConfig(nFrame=4, shaping=hfchain.VarShapping(0.35, 6, 2), channel="awgn",
                                EsNodB=6, channelSeed=2, receivers=["hf"])
    r = hfchain.run_road(M75, config)
    assert r.hf.ran and r.hf.infoBitErrors == 0
    p = hfchain.patterntrack(r.sounding, M75, r.patterns.passes)
    np.testing.assert_array_equal(p.LLR, r.patterns.LLR)
    for llr in (p.LLR, hfchain.patterntrack(r.sounding.to_dict(), M75, 0).LLR):
        coded = hfchain.unshuffle(llr, M75).out
        np.testing.assert_array_equal(coded < 0, r.tx.CodOutInterIn[:coded.size] == 1)
    with pytest.raises(hfchain.Error) as e:
        hfchain.patterntrack(r.sounding, hfchain.rateconf(150, 0.6), 1)
    assert e.value.identifier == "hfchain:patternslicer:Rate"
