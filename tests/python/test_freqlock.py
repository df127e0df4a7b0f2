"""freqlock from Python: the offset of a written channel acquired, its result as a record and in
run_road's result, its refusals."""

import numpy as np
import pytest

import hfchain

VS = hfchain.VarShapping(0.35, 6, 5)
M = hfchain.modeconf(0.6)


@pytest.mark.parametrize("offset", [-75.0, 0.0, 37.0, 75.0])
def test_acquires_the_offset_of_the_channel(offset):
    # One fixed path at 10 dB: the estimate's deviation is about 0.01 Hz (freqlock.hpp).
    tx = hfchain.sendchain(M, 1, 5)
    y = hfchain.hfchannel(hfchain.pulseshaper(tx.MultiplexOut, VS).out, "1p:0ms:0Hz", 10, 6, VS,
                          offset=offset)
    matched = hfchain.pulsematch(y.AwgnOut, VS).out
    got = hfchain.freqlock(matched, M, VS)
    assert abs(got.offset - offset) < 0.1
    assert list(got.start) == [61.0]
    assert got.out.shape == matched.shape
    back = hfchain.FreqlockOut.from_dict(got.to_dict())
    assert back.offset == got.offset and np.array_equal(back.out, got.out)


def test_run_road_keeps_what_the_hf_receiver_used():
    config = hfchain.RoadConfig(channel="awgn", receivers=["hf"])
    r = hfchain.run_road(M, config)
    assert r.hf.ran
    assert abs(r.locked.offset) < 0.1
    assert r.locked.start.size == 1
    assert r.locked.out.shape == r.matched.out.shape


def test_refusals():
    with pytest.raises(hfchain.Error) as e:
        hfchain.freqlock(np.zeros(100, complex), M, VS)
    assert e.value.identifier == "hfchain:freqlock:TooShort"
    x = np.zeros(3000, complex)
    x[9] = np.nan
    with pytest.raises(hfchain.Error) as e:
        hfchain.freqlock(x, M, VS)
    assert e.value.identifier == "hfchain:freqlock:NonFinite"
