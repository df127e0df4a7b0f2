"""modelock from Python: a transmission found after silence and its mode read, its result as a
dict, noise alone, and its refusals."""

import numpy as np
import pytest

import hfchain

VS = hfchain.VarShapping(0.35, 6, 5)


def test_finds_and_reads_a_transmission():
    # 150 bit/s with the 0.6 s interleaver after 1000 samples of silence, 30 Hz off, at 6 dB.
    tx = hfchain.sendchain(hfchain.rateconf(150, 0.6), 2, 5)
    shaped = np.concatenate([np.zeros(1000, complex), hfchain.pulseshaper(tx.MultiplexOut, VS).out])
    y = hfchain.hfchannel(shaped, "1p:0ms:0Hz", 6, 6, VS, offset=30.0)
    got = hfchain.modelock(hfchain.pulsematch(y.AwgnOut, VS).out, VS)
    assert got["found"] is True
    assert (got["rate"], got["interLen"], got["segmentsLeft"]) == (150.0, 0.6, 2)
    assert got["start"] == 1061.0 and got["firstData"] == 1061.0 + 3 * 480 * 5
    assert abs(got["offset"] - 30.0) < 0.5 and got["confidence"] > 0.99
    # Searching past the first segment finds the second.
    later = hfchain.modelock(hfchain.pulsematch(y.AwgnOut, VS).out, VS, {"from": 2000})
    assert later["segmentsLeft"] == 1 and later["firstData"] == got["firstData"]
    # Noise alone.
    assert hfchain.modelock(hfchain.pulsematch(y.noise, VS).out, VS)["found"] is False


def test_refusals():
    x = np.zeros(3000, complex)
    for settings, identifier in [({"threshold": 0.0}, "hfchain:modelock:BadThreshold"),
                                 ({"from": 0}, "hfchain:modelock:BadRange"),
                                 ({"start": 1}, "hfchain:python:WrongFields")]:
        with pytest.raises(hfchain.Error) as e:
            hfchain.modelock(x, VS, settings)
        assert e.value.identifier == identifier
