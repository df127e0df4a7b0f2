"""transmit and receive from Python: a message through the audio channel and back, the report,
the refusals of this layer."""

import numpy as np
import pytest

import hfchain

MESSAGE = b"From Python through the air: " + bytes(range(256))[::7]


@pytest.mark.parametrize(
    "rate, sample_rate, carrier, channel",
    [(600, 8000, 1800, {"offset": 20, "clock_ppm": 60}), (2400, 48000, 2000, {"clock_ppm": -90})],
)
def test_message_round_trip(rate, sample_rate, carrier, channel):
    audio, report = hfchain.transmit(
        rate=rate, message=MESSAGE, sample_rate=sample_rate, carrier=carrier, rms=-15
    )
    assert audio.dtype == np.float64 and audio.ndim == 1
    assert report["duration"] == audio.size / sample_rate
    assert report["infoBits"] >= 8 * len(MESSAGE)
    assert abs(report["rmsDbfs"] + 15) < 1e-9
    assert abs(report["peakDbfs"] - report["rmsDbfs"] - report["peakToAverage"]) < 1e-9
    heard, _ = hfchain.audio_channel(
        audio, sample_rate, "awgn", snr3k=12, seed=4, carrier=carrier, **channel
    )
    (found,) = hfchain.receive(heard, sample_rate, rate=rate, carrier=carrier)
    assert found["bytes"][: len(MESSAGE)] == MESSAGE
    assert not any(found["bytes"][len(MESSAGE) :])
    assert found["bits"].dtype == np.uint8 and found["bits"].size == report["infoBits"]
    assert np.packbits(found["bits"]).tobytes() == found["bytes"]
    assert len(found["blocks"]) == report["blocks"]
    assert all(b["decoded"] for b in found["blocks"])
    assert abs(found["clockOffset"] - channel["clock_ppm"]) < 5
    assert abs(found["frequencyOffset"] - channel.get("offset", 0)) < 1
    assert abs(found["snr3k"] - 12) < 1.5
    # Told nothing, the receiver reads the mode from the preamble and decodes the same bytes.
    (read,) = hfchain.receive(heard, sample_rate, carrier=carrier)
    assert (read["rate"], read["interleaver"], read["modeRead"]) == (rate, 0.6, True)
    assert read["bytes"] == found["bytes"] and read["end"] > read["start"]


def test_random_bits_follow_the_seed():
    a, report = hfchain.transmit(rate=1200, seed=9, nframe=2)
    b, _ = hfchain.transmit(rate=1200, seed=9, nframe=2)
    c, _ = hfchain.transmit(rate=1200, seed=10, nframe=2)
    assert report["blocks"] == 2 and report["peakDbfs"] == pytest.approx(-3)
    assert np.array_equal(a, b) and not np.array_equal(a, c)
    assert hfchain.receive(np.zeros(16000), 8000, rate=1200) == []


@pytest.mark.parametrize(
    "call, match",
    [
        (lambda: hfchain.transmit(peak=-6, rms=-12), "not both"),
        (lambda: hfchain.transmit(message="text"), "Input 'message' must be bytes"),
        (lambda: hfchain.transmit(message=b"x", nframe=2), "give nframe without it"),
        (lambda: hfchain.transmit(peak=1), "full scale"),
        (lambda: hfchain.receive(np.zeros(800), 8000, carrier=3000), "'audio': the carrier"),
    ],
)
def test_refusals(call, match):
    with pytest.raises(hfchain.Error, match=match):
        call()
