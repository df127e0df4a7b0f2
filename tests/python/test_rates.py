"""Every data rate from Python: rateconf's parameter sets and noiseless round trips through the
transmitter and the baseline receiver."""

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
