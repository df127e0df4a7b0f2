"""audio_channel from Python: NumPy in and out, the noise set either way, the refusals."""

import numpy as np
import pytest

import hfchain

X = np.random.default_rng(1).normal(0, 0.1, 24000)


@pytest.mark.parametrize("noise", [{"snr3k": 8}, {"noise_dbfs": -40}])
def test_noise_settings_and_seeds(noise):
    y, stats = hfchain.audio_channel(X, 8000, "ruim", seed=3, impulses=(5, -20), **noise)
    assert y.shape == X.shape and y.dtype == np.float64
    if "snr3k" in noise:
        assert abs(stats["snr3k"] - 8) < 0.2
    else:
        assert abs(10 * np.log10(stats["noise_density"] * 3000) + 40) < 0.2
    assert stats["bursts"] > 0
    again, _ = hfchain.audio_channel(X, 8000, "ruim", seed=3, impulses=(5, -20), **noise)
    assert np.array_equal(y, again)


def test_refusals():
    with pytest.raises(hfchain.Error, match="not both"):
        hfchain.audio_channel(X, 8000, "ruim", snr3k=1, noise_dbfs=-3)
    with pytest.raises(hfchain.Error, match="silent"):
        hfchain.audio_channel(np.zeros(8000), 8000, "awgn", snr3k=1)
    with pytest.raises(hfchain.Error, match="impulses"):
        hfchain.audio_channel(X, 8000, "awgn", impulses=3)
