"""hfchannel and read_channel from Python: fadesim's outputs on fadesim's conditions, one channel
given as text or as a matrix, the canonical spellings, and the refusals."""

import numpy as np
import pytest

import hfchain

VS = hfchain.VarShapping(0.35, 6, 5)
X = np.exp(2j * np.pi * np.arange(400) / 8)


@pytest.mark.parametrize("name", ["bom", "moderado", "ruim", "muito_ruim"])
@pytest.mark.parametrize("seed", [0, 9])
def test_equals_fadesim(name, seed):
    f = hfchain.fadesim(X, {"model": name, "EsNodB": 6, "seed": seed}, VS)
    h = hfchain.hfchannel(X, name, 6, seed, VS)
    for field in ["raios", "WattersonOutAwgnIn", "noise", "AwgnOut"]:
        assert np.array_equal(getattr(f, field), getattr(h, field)), field


def test_text_and_matrix_are_one_channel():
    canonical, paths, offset = hfchain.read_channel("paths=2ms/0dB/1Hz/0.5Hz+0ms/3dB/2Hz:off=-40Hz")
    assert canonical == "paths=0ms/0dB/2Hz+2ms/-3dB/1Hz/0.5Hz:off=-40Hz"
    assert paths.shape == (2, 4)
    np.testing.assert_allclose((10 ** (paths[:, 1] / 10)).sum(), 1, rtol=1e-15)
    assert offset == -40
    a = hfchain.hfchannel(X, canonical, 10, 3, VS)
    b = hfchain.hfchannel(X, paths, 10, 3, VS, offset=offset)
    assert np.array_equal(a.AwgnOut, b.AwgnOut)
    assert a.raios.shape == (400, 2)
    assert list(a.delays) == [0, 24]
    assert a.offset == -40


@pytest.mark.parametrize("text, canonical", [
    ("ruim", "ruim"),
    ("itu_mid_disturbed_nvis", "itu_mid_disturbed_nvis"),
    ("paths=0ms/0dB/1Hz+2ms/0dB/1Hz", "2p:2ms:1Hz"),
    ("2p:2000us:1Hz:off=0Hz", "2p:2ms:1Hz"),
])
def test_canonical(text, canonical):
    assert hfchain.read_channel(text)[0] == canonical


@pytest.mark.parametrize("call, identifier", [
    (lambda: hfchain.read_channel("2p:2ms"), "hfchain:channel:InvalidChannelText"),
    (lambda: hfchain.hfchannel(X, "fog", 10, 1, VS), "hfchain:channel:InvalidChannelText"),
    (lambda: hfchain.hfchannel(X, np.zeros((2, 3)), 10, 1, VS), "hfchain:python:WrongSize"),
    (lambda: hfchain.hfchannel(X, np.array([[0, 0, -1.0, 0]]), 10, 1, VS),
     "hfchain:hfchannel:InvalidChannel"),
    (lambda: hfchain.hfchannel(X, "2p:2ms:1Hz", 10, 1, hfchain.VarShapping(0.35, 6, 4)),
     "hfchain:hfchannel:FractionalDelay"),
])
def test_refusals(call, identifier):
    with pytest.raises(hfchain.Error) as e:
        call()
    assert e.value.identifier == identifier


def test_run_road_through_hfchannel():
    """run_road reads the channel from its name: fadesim's condition gives fadesim's received
    signal, a written channel with an offset turns it."""
    m = hfchain.modeconf(0.6)
    base = {"nFrame": 0.25, "shaping": VS, "receivers": ["genie"]}
    road = hfchain.run_road(m, hfchain.RoadConfig(**base, channel="ruim", EsNodB=12,
                                                  channelSeed=4))
    faded = hfchain.fadesim(road.shaped.out, hfchain.VarWatterson("ruim", 12, 4), VS)
    for field in ["raios", "WattersonOutAwgnIn", "noise", "AwgnOut"]:
        assert np.array_equal(getattr(road.faded, field), getattr(faded, field)), field
    still = hfchain.run_road(m, hfchain.RoadConfig(
        **base, channel="1p:0ms:0Hz", EsNodB=300, channelSeed=4))
    turned = hfchain.run_road(m, hfchain.RoadConfig(
        **base, channel="1p:0ms:0Hz:off=10Hz", EsNodB=300, channelSeed=4))
    n = np.arange(still.faded.AwgnOut.size)
    np.testing.assert_allclose(turned.faded.AwgnOut,
                               still.faded.AwgnOut * np.exp(2j * np.pi * 10 * n / (2400 * 5)),
                               atol=1e-9)
    assert turned.genie.infoBitErrors == 0
    with pytest.raises(hfchain.Error):
        hfchain.run_road(m, hfchain.RoadConfig(
            **base, channel="3p:xms", EsNodB=10, channelSeed=4))


@pytest.mark.parametrize("bits,esno,expected", [
    (1, 0, 0.0786496035251426),   # Q(sqrt(2))
    (2, 0, 0.15865525393145707),  # Q(1)
    (3, 10, None),
])
def test_ber_psk_gray(bits, esno, expected):
    value = hfchain.ber_psk_gray(bits, esno)
    assert value == pytest.approx(expected if expected else hfchain.ber_8psk_gray(esno), rel=1e-12)
    with pytest.raises(hfchain.Error):
        hfchain.ber_psk_gray(4, 0)
