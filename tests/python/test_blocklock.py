"""blocklock from Python: a late entry's next block and mode found, the result as a record, noise
alone, the refusals."""

import numpy as np
import pytest

import hfchain

VS = hfchain.VarShapping(0.35, 6, 5)


def test_finds_the_next_block_and_the_mode():
    # 1200 bit/s, 0.6 s (mode 3), heard from 1000 symbols after the preamble: the next block
    # starts 440 symbols on, after the filters' delay of 60 samples.
    mode = hfchain.rateconf(1200, 0.6)
    tx = hfchain.sendchain(mode, 3, 5)
    y = hfchain.hfchannel(hfchain.pulseshaper(tx.MultiplexOut, VS).out, "1p:0ms:0Hz", 8, 6, VS,
                          offset=45.0)
    heard = hfchain.pulsematch(y.AwgnOut, VS).out[(1440 + 1000) * 5:]
    got = hfchain.blocklock(heard, VS)
    assert got.found and got.mode == 3 and got.confidence > 0.99
    assert abs(got.offset - 45) < 0.2
    assert got.blockStart == 60 + 440 * 5 + 1
    back = hfchain.BlocklockOut.from_dict(got.to_dict())
    assert back.mode == 3 and back.blockStart == got.blockStart


def test_noise_alone_is_no_transmission():
    rng = np.random.default_rng(1)
    got = hfchain.blocklock(rng.normal(size=7200) + 1j * rng.normal(size=7200), VS)
    assert not got.found and got.mode == -1 and got.score < 5


def test_refusals():
    with pytest.raises(hfchain.Error) as e:
        hfchain.blocklock(np.zeros(100, complex), VS)
    assert e.value.identifier == "hfchain:blocklock:TooShort"
    with pytest.raises(hfchain.Error) as e:
        hfchain.blocklock(np.zeros(7200, complex), VS, threshold=-1)
    assert e.value.identifier == "hfchain:blocklock:BadThreshold"
