"""run_sweep: the same numbers as the command-line runner, progress, exceptions of the callback,
Ctrl-C (KeyboardInterrupt) stopping a sweep and a long block call cleanly."""

import json
import os
import signal
import subprocess
import threading
import time

import numpy as np
import pytest

import hfchain

# Trials of the sanitizer build run several times slower.
SLOW = 6 if os.environ.get("HFCHAIN_SANITIZED") else 1

SMALL = hfchain.SweepConfig(conditions=["awgn", "muito_ruim"], esno=[4, 8], minTrials=2,
                            minErrors=150, maxBits=3 * 2880, seed=3, threads=2)


def test_same_points_as_the_command_line_runner(tmp_path):
    exe = os.environ.get("HFCHAIN_EXE")
    if not exe:
        pytest.skip("HFCHAIN_EXE is not set (run the tests through ctest)")
    out = tmp_path / "sweep.json"
    subprocess.run([exe, "sweep", "-q", "-C", "awgn,muito_ruim", "-e", "4,8", "--min-trials", "2",
                    "--min-errors", "150", "--max-bits", str(3 * 2880), "-s", "3", "-j", "1",
                    "-i", "0.6", "-r", "baseline", "--metric", "coded", "--json", str(out)], check=True, stdout=subprocess.DEVNULL)
    cli = json.loads(out.read_text())["points"]
    r = hfchain.run_sweep(SMALL)
    assert r["condition"].tolist() == [p["condition"] for p in cli]
    for column in ["esno_db", "trials", "bits", "errors", "sync_misses", "stop"]:
        assert r[column].tolist() == [p[column] for p in cli], column
    np.testing.assert_allclose(r["ber"], [p["ber"] for p in cli], rtol=1e-4)
    assert r["trials"].dtype == np.int64 and r["ber"].dtype == np.float64
    assert (r["interrupted"], r["threads"]) == (False, 2)


def test_a_point_is_the_sum_of_its_trials_rerun_with_run_road():
    config = hfchain.SweepConfig(conditions="awgn", esno=6, minTrials=3, minErrors=1, maxBits=1,
                                 seed=11, threads=1)
    r = hfchain.run_sweep(config)
    assert r["trials"].tolist() == [3]
    m = hfchain.modeconf(0.6)
    errors = 0
    for k in range(3):
        tx_seed, channel_seed = hfchain.trial_seeds(11, "awgn", 6, k)
        road = hfchain.run_road(m, hfchain.RoadConfig(
            txSeed=tx_seed, channel="awgn", watterson=hfchain.VarWatterson("bom", 6, channel_seed)))
        errors += road.codedBitErrors
    assert r["errors"].tolist() == [errors]


def test_progress_reports_every_finished_point():
    calls = []
    r = hfchain.run_sweep(SMALL, progress=calls.append)
    finished = [c["finished"] for c in calls if c["finished"] is not None]
    assert sorted((p["condition"], p["esno_db"]) for p in finished) == sorted(
        zip(r["condition"].tolist(), r["esno_db"].tolist()))
    for p in finished:
        i = [k for k in range(4) if (r["condition"][k], r["esno_db"][k]) == (p["condition"],
                                                                               p["esno_db"])][0]
        assert (p["trials"], p["errors"], p["bits"], p["stop"]) == (
            r["trials"][i], r["errors"][i], r["bits"][i], r["stop"][i])
    last = calls[-1]
    assert (last["pointsDone"], last["pointsTotal"], last["fraction"]) == (4, 4, 1.0)
    assert all(0 <= c["fraction"] <= 1 and c["elapsed"] >= 0 for c in calls)


def long_sweep():
    return hfchain.SweepConfig(conditions=["awgn", "bom"], esno=[30, 40], minTrials=10**6,
                               minErrors=10**9, maxBits=10**12, threads=2)


def test_an_exception_of_the_callback_stops_the_sweep():
    class Stop(Exception):
        pass

    def progress(p):
        if p["elapsed"] > 0.5:
            raise Stop("enough")

    start = time.monotonic()
    with pytest.raises(Stop) as e:
        hfchain.run_sweep(long_sweep(), progress)
    assert time.monotonic() - start < 60 * SLOW
    r = e.value.sweep_result
    assert r["interrupted"]
    assert set(r["stop"].tolist()) <= {"interrupted"}


def interrupt_after(seconds):
    """Sends this process SIGINT (Ctrl-C) after `seconds`, from another thread."""
    timer = threading.Timer(seconds, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    return timer


def test_ctrl_c_stops_a_sweep_cleanly():
    start = time.monotonic()
    timer = interrupt_after(1.0)
    with pytest.raises(KeyboardInterrupt) as e:
        hfchain.run_sweep(long_sweep())
    timer.join()
    assert time.monotonic() - start < 60 * SLOW
    r = e.value.sweep_result
    assert r["interrupted"] and r["trials"].sum() > 0
    # The module goes on working after the interruption.
    assert hfchain.run_sweep(SMALL)["trials"].sum() > 0


def test_ctrl_c_abandons_a_long_block_call_and_gives_the_generator_back():
    # How soon the call ends depends on where the block polls; that it ends in the exception,
    # not with a result, shows it was abandoned.
    host = hfchain.BuiltinHost(5)
    m = hfchain.modeconf(0.6)
    timer = interrupt_after(0.1)
    with pytest.raises(KeyboardInterrupt):
        hfchain.sendchain(m, 4000, 1, host)  # 11.5 million bits: half a second at the least
    timer.join()
    np.testing.assert_array_equal(host.rand(3), np.random.RandomState(5).random_sample(3))


@pytest.mark.parametrize("change, message", [
    ({"conditions": ["awgn", "fog"]},
     "config.conditions: unknown condition 'fog'; accepted: bom, moderado, ruim, muito_ruim, "
     "awgn"),
    ({"conditions": []}, "config.conditions: no condition given; accepted: bom, moderado, ruim, "
                         "muito_ruim, awgn"),
    ({"esno": []}, "config.esno: no Es/N0 value given"),
    ({"esno": [np.inf]},
     "config.esno: Inf dB is not accepted; give finite values from -200 to 200 dB"),
    ({"interLen": 1.2},
     "config.interLen: 1.2 s is not an interleaver length; accepted: 0.6 or 4.8"),
])
def test_refused_sweeps(change, message):
    config = {**SMALL.to_dict(), **change}
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep(config)
    assert (e.value.identifier, e.value.message) == ("hfchain:python:InvalidSweep", message)


@pytest.mark.parametrize("field, value, message", [
    ("minTrials", 0, "Input 'config.minTrials' must be a whole number from 1 to 9007199254740992; "
                     "it is 0."),
    ("threads", 257, "Input 'config.threads' must be a whole number from 0 to 256; it is 257."),
    ("seed", -1, "Input 'config.seed' must be a whole number from 0 to 4294967295; it is -1."),
    ("conditions", 5, "Input 'config.conditions' must be a list of str; it is of type int."),
])
def test_refused_sweep_fields(field, value, message):
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep({**SMALL.to_dict(), field: value})
    assert (e.value.identifier, e.value.message) == ("hfchain:python:WrongValue"
                                                     if "whole" in message else
                                                     "hfchain:python:WrongType", message)


def test_trial_seeds_are_the_runners():
    # Fixed values: a change of the derivation would silently change every sweep.
    a = hfchain.trial_seeds(1, "awgn", 10, 0)
    assert a == hfchain.trial_seeds(1, "awgn", 10.0, 0)
    assert a != hfchain.trial_seeds(1, "awgn", 10, 1)
    assert all(0 <= s <= 4294967295 and s == int(s) for s in a)


def test_theory_curve():
    assert hfchain.ber_8psk_gray(-200) == pytest.approx(0.5, abs=1e-3)
    values = [hfchain.ber_8psk_gray(e) for e in range(0, 21, 2)]
    assert all(a > b for a, b in zip(values, values[1:]))


@pytest.mark.parametrize("value, expected", [
    (np.inf, 0.0), (1e4, 0.0), (-np.inf, 0.5), (-200, 0.5)])
def test_theory_curve_at_the_ends(value, expected):
    assert hfchain.ber_8psk_gray(value) == pytest.approx(expected, abs=1e-9)  # Simpson sums
