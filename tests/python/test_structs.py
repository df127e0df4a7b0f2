"""The structures: dict round trips of every one, construction, field checks, equality,
pickling."""

import pickle

import numpy as np
import pytest

import hfchain

M = hfchain.modeconf(0.6)
VS = hfchain.VarShapping(0.5, 4, 4)
ROAD = hfchain.run_road(M, hfchain.RoadConfig(channel="awgn",
                                              EsNodB=6, channelSeed=2,
                                              receivers=["baseline", "hf", "genie"], iterations=1))

# One filled example of every structure.
EXAMPLES = {
    "ModeParams": M,
    "VarShapping": VS,
    "VarWatterson": hfchain.VarWatterson("muito_ruim", -3.5, 4294967295),
    "SendchainOut": ROAD.tx,
    "PulseshaperOut": ROAD.shaped,
    "FadesimOut": hfchain.fadesim(np.ones(50), {"model": "ruim", "EsNodB": 1, "seed": 2},
                                  hfchain.VarShapping()),
    "HfchannelOut": hfchain.hfchannel(np.ones(50), "paths=0ms/0dB/1Hz+1ms/-3dB/0Hz/2Hz:off=5Hz", 1,
                                      2, hfchain.VarShapping()),
    "PulsematchOut": ROAD.matched,
    "TickalignOut": ROAD.symbols,
    "UnframerOut": ROAD.data,
    "SymslicerOut": ROAD.demod,
    "UnshuffleOut": ROAD.deinterleaved,
    "SoftslicerOut": ROAD.hf.soft,
    "PatternslicerOut": hfchain.patternslicer(np.ones(64) * 1j, [1, 2j], 0.5,
                                              hfchain.rateconf(75, 0.6), "coherent"),
    "VitdecodeOut": ROAD.hf.decoded,
    "SisodecodeOut": hfchain.sisodecode(ROAD.hf.deinterleaved.out, M, 1),
    "FreqlockOut": ROAD.locked,
    "BlocklockOut": hfchain.BlocklockOut(True, 9.5, -12.25, 3, 0.995, 4321),
    "ChansoundOut": ROAD.sounding,
    "TurboequalOut": ROAD.equalised,
    "PatterntrackOut": hfchain.run_road(hfchain.rateconf(75, 0.6), hfchain.RoadConfig(
        nFrame=4, receivers=["hf"])).patterns,
    "GeniecombineOut": ROAD.genieView,
    "Reception": ROAD.genie,
    "RoadConfig": hfchain.RoadConfig(2, 5, VS, "ruim", 9, 1, ["genie", "baseline"], 3, "exact",
                                     [(10, 2 + 1j)]),
    "ImpulseblankOut": hfchain.ImpulseblankOut([3, 7], 2.0, 5.0),
    "RequirementsConfig": hfchain.RequirementsConfig(0.6, 2, VS, ["genie"], "all", 3, 4, 5, 6000,
                                                     7, 1, [2, 3], 0.5, 1, -5, 30),
    "RoadResult": ROAD,
    "SweepConfig": hfchain.SweepConfig(4.8, 0.5, VS, ["awgn", "bom"], [0, 2.5], None, ["genie"],
                                       "coded", "all", 3, 7, 50, 10**7, 1e-6, 9, 2),
}


def test_every_structure_has_an_example():
    classes = {name for name in dir(hfchain) if hasattr(getattr(hfchain, name), "_fields")}
    assert classes == set(EXAMPLES)


def assert_equal_values(a, b):
    """Field by field, arrays by dtype, shape and bits."""
    assert type(a) is type(b)
    for name in a._fields:
        x, y = getattr(a, name), getattr(b, name)
        if hasattr(x, "_fields"):
            assert_equal_values(x, y)
        elif isinstance(x, np.ndarray):
            assert (x.dtype, x.shape) == (y.dtype, y.shape), name
            assert x.tobytes() == y.tobytes(), name
        else:
            assert type(x) is type(y) and x == y, name


@pytest.mark.parametrize("name", list(EXAMPLES))
def test_dict_round_trip(name):
    record = EXAMPLES[name]
    cls = type(record)
    d = record.to_dict()
    assert list(d) == list(cls._fields)
    for key, value in d.items():
        assert not hasattr(value, "_fields"), "nested structures become dicts"
    back = cls.from_dict(d)
    assert_equal_values(back, record)
    assert back == record
    # The dict goes straight into a structure argument, and the constructor takes the fields.
    assert_equal_values(cls(**{k: getattr(record, k) for k in cls._fields}), record)


@pytest.mark.parametrize("name", list(EXAMPLES))
def test_pickle_round_trip(name):
    record = EXAMPLES[name]
    assert_equal_values(pickle.loads(pickle.dumps(record)), record)


@pytest.mark.parametrize("name", list(EXAMPLES))
def test_from_dict_refuses_missing_and_unknown_fields(name):
    cls = type(EXAMPLES[name])
    d = EXAMPLES[name].to_dict()
    first = cls._fields[0]
    del d[first]
    if cls in (hfchain.SweepConfig, hfchain.RoadConfig, hfchain.RequirementsConfig):
        # These fields are all optional: the one left out keeps its default.
        assert getattr(cls.from_dict(d), first) == getattr(cls(), first)
    else:
        with pytest.raises(hfchain.Error, match=f"lacks the field '{first}'") as e:
            cls.from_dict(d)
        assert e.value.identifier == "hfchain:python:WrongFields"
    d = EXAMPLES[name].to_dict()
    d["extra"] = 1
    with pytest.raises(hfchain.Error) as e:
        cls.from_dict(d)
    assert e.value.message.endswith(
        "has the field 'extra', which is not one of " + ", ".join(cls._fields) + ".")


OLD_ROAD = {"nFrame": 2.0, "txSeed": 5.0, "shaping": VS.to_dict(), "receivers": ["genie"],
            "iterations": 1.0, "softRule": "exact"}


# Earlier versions' RoadConfig: the kind in `channel`, the name, Es/N0 and seed in `watterson`.
@pytest.mark.parametrize("old,channel,esno,seed", [
    ({"channel": "watterson", "watterson": {"model": "ruim", "EsNodB": 9.0, "seed": 4.0}},
     "ruim", 9.0, 4.0),
    ({"channel": "hfchannel", "watterson": hfchain.VarWatterson("2p:2ms:1Hz:off=30Hz", 7, 3)},
     "2p:2ms:1Hz:off=30Hz", 7.0, 3.0),
    ({"channel": "awgn", "watterson": hfchain.VarWatterson("bom", 6, 2)}, "awgn", 6.0, 2.0),
    ({"channel": "none", "watterson": hfchain.VarWatterson("ruim", 6, 2)}, "none", 6.0, 2.0),
    ({"channel": "watterson"}, "bom", 20.0, 0.0),
])
def test_earlier_road_fields_are_read_into_todays(old, channel, esno, seed):
    today = {**OLD_ROAD, "channel": channel, "EsNodB": esno, "channelSeed": seed,
             "impulses": []}
    given = {**OLD_ROAD, **old}
    assert hfchain.RoadConfig(**given).to_dict() == today
    if "watterson" in old:  # a dict gives every field
        kept = dict(given)
        assert hfchain.RoadConfig.from_dict(given).to_dict() == today
        assert given == kept  # the caller's dict stays as it is


def test_defaults_are_those_of_the_cpp_structures():
    assert hfchain.VarShapping().to_dict() == {"rolloffFactor": 0.35, "pulseDelay": 6.0,
                                               "oversamplingFactor": 5.0}
    assert hfchain.VarWatterson().to_dict() == {"model": "bom", "EsNodB": 20.0, "seed": 0.0}
    c = hfchain.RoadConfig()
    assert (c.nFrame, c.txSeed, c.channel, c.shaping, c.EsNodB, c.channelSeed) == (
        1.0, 1.0, "none", hfchain.VarShapping(), 20.0, 0.0)
    assert (c.receivers, c.iterations, c.softRule) == (["baseline"], 2.0, "max_log")
    assert not hfchain.RoadResult().hf.ran
    # The sweep's are the command's (the main job's): see test_sweep.py.
    s = hfchain.SweepConfig()
    # nFrame 0: each rate's fewest whole blocks that carry information bits (one at 2400 bit/s).
    assert (s.rates, s.interLen, s.nFrame, s.conditions, s.esno, s.snr3k, s.receivers, s.metric,
            s.stopOn) == ([2400.0], 4.8, 0.0, ["bom", "moderado", "ruim", "muito_ruim", "awgn"],
                          None, None, ["hf", "genie"], "decoded", "first")
    assert (s.minTrials, s.minEvents, s.minErrors, s.maxBits, s.floor, s.seed, s.threads) == (
        80, 500, 1, 1000000, 0.0, 1, 0)
    assert hfchain.SendchainOut().BitInCodIn.shape == (0,)


def test_fields_are_converted_when_set():
    vs = hfchain.VarShapping()
    vs.pulseDelay = np.int32(4)
    assert type(vs.pulseDelay) is float and vs.pulseDelay == 4.0
    m = hfchain.ModeParams()
    m.interTable = [3, 1, 2]
    assert m.interTable.dtype == np.float64 and m.interTable.shape == (3,)
    m.preamSync = [0, 4, 4]
    assert m.preamSync.shape == (1, 3)
    s = hfchain.SweepConfig(conditions="awgn", esno=7)
    assert s.conditions == ["awgn"] and s.esno.tolist() == [7.0]
    c = hfchain.RoadConfig(shaping={"rolloffFactor": 1, "pulseDelay": 2, "oversamplingFactor": 3})
    assert c.shaping == hfchain.VarShapping(1, 2, 3)
    c.receivers = ("hf", "genie")
    assert c.receivers == ["hf", "genie"]
    c.receivers = "genie"  # one name alone
    assert c.receivers == ["genie"]


def test_a_refused_field_keeps_the_old_value():
    vs = hfchain.VarShapping()
    with pytest.raises(hfchain.Error):
        vs.rolloffFactor = "wide"
    assert vs.rolloffFactor == 0.35


def test_constructor_argument_errors_are_type_errors():
    with pytest.raises(TypeError, match="unexpected keyword argument 'rolloff'"):
        hfchain.VarShapping(rolloff=1)
    with pytest.raises(TypeError, match="at most 3 positional"):
        hfchain.VarShapping(1, 2, 3, 4)
    with pytest.raises(TypeError, match="multiple values for argument 'pulseDelay'"):
        hfchain.VarShapping(1, 2, pulseDelay=3)


def test_equality_and_hash():
    assert hfchain.VarShapping() == hfchain.VarShapping()
    assert hfchain.VarShapping() != hfchain.VarShapping(pulseDelay=5)
    assert hfchain.modeconf(0.6) == hfchain.modeconf(0.6)
    assert hfchain.modeconf(0.6) != hfchain.modeconf(4.8)
    assert hfchain.VarShapping() != {"rolloffFactor": 0.35, "pulseDelay": 6, "oversamplingFactor": 5}
    with pytest.raises(TypeError):
        hash(hfchain.VarShapping())


def test_repr_names_fields_and_summarises_arrays():
    assert repr(hfchain.VarShapping()) == \
        "VarShapping(rolloffFactor=0.35, pulseDelay=6.0, oversamplingFactor=5.0)"
    assert "interTable=array(float64, shape (2880,))" in repr(M)


def test_results_own_their_data_and_can_be_changed():
    tx = hfchain.sendchain(M, 1, 3)
    a = tx.MultiplexOut
    assert a.flags.writeable and a.flags.f_contiguous
    a[0] = 0
    assert tx.MultiplexOut[0] == 0  # the record's own array
    tx.MultiplexOut = np.ones(3)
    del tx
    assert a[0] == 0 and a.sum() != 0  # still alive after the record is gone


def test_the_old_class_name_is_a_deprecated_alias():
    with pytest.warns(DeprecationWarning, match="ModeParams"):
        assert hfchain.Milstd is hfchain.ModeParams
