"""run_sweep: the same options, defaults and numbers as the command-line program, checkpoints,
progress, exceptions of the callback, Ctrl-C (KeyboardInterrupt) stopping a sweep and a long block
call cleanly."""

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

# A small sweep of the baseline and HF receivers on the short interleaver, and the same options
# for the program.
SMALL = hfchain.SweepConfig(interLen=0.6, conditions=["awgn", "muito_ruim"], esno=[4, 8],
                            receivers=["baseline", "hf"], metric="coded", minTrials=2,
                            minEvents=2, minErrors=150, maxBits=3 * 2880, seed=3, threads=2)
SMALL_OPTIONS = ["-i", "0.6", "-C", "awgn,muito_ruim", "-e", "4,8", "-r", "baseline,hf",
                 "--metric", "coded", "--min-trials", "2", "--min-events", "2", "--min-errors",
                 "150", "--max-bits", str(3 * 2880), "-s", "3"]


def program():
    exe = os.environ.get("HFCHAIN_EXE")
    if not exe:
        pytest.skip("HFCHAIN_EXE is not set (run the tests through ctest)")
    return exe


def program_json(tmp_path, options):
    out = tmp_path / "sweep.json"
    subprocess.run([program(), "sweep", "-q", *options, "--json", str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    return json.loads(out.read_text())


def test_same_points_and_columns_as_the_program(tmp_path):
    cli = program_json(tmp_path, SMALL_OPTIONS + ["-j", "1"])["points"]
    r = hfchain.run_sweep(SMALL)
    assert r["condition"].tolist() == [p["condition"] for p in cli]
    for column in ["esno_db", "snr3k_db", "trials", "bits", "errors", "events", "few_events",
                   "sync_misses", "stop"]:
        assert r[column].tolist() == [p[column] for p in cli], column
    # The per-receiver columns, printed by the program to five digits.
    for receiver in ["baseline", "hf"]:
        for column in ["coded_errors", "info_errors", "block_errors", "error_trials",
                       "few_events"]:
            assert r[f"{receiver}_{column}"].tolist() == [
                p["receivers"][receiver][column] for p in cli], (receiver, column)
        for column in ["ber", "ci95_low", "ci95_high", "coded_ber", "bler"]:
            np.testing.assert_allclose(r[f"{receiver}_{column}"],
                                       [p["receivers"][receiver][column] for p in cli], rtol=1e-4,
                                       err_msg=f"{receiver}_{column}")
    assert r["trials"].dtype == np.int64 and r["hf_ber"].dtype == np.float64
    assert (r["receivers"], r["metric"], r["interrupted"], r["threads"]) == (
        ["baseline", "hf"], "coded", False, 2)


def test_acquisition_is_the_programs(tmp_path):
    options = ["--metric", "acquisition", "--rate", "2400,75", "-i", "0.6", "-C",
               "awgn,2p:5ms:5Hz", "--snr3k", "0,10", "--min-trials", "6", "--max-bits", "6",
               "-j", "2"]
    cli = program_json(tmp_path, options)["points"]
    r = hfchain.run_sweep(hfchain.SweepConfig(
        metric="acquisition", rates=[2400, 75], interLen=0.6,
        conditions=["awgn", "2p:5ms:5Hz"], snr3k=[0, 10], minTrials=6, maxBits=6, threads=2))
    for column in ["rate", "condition", "trials", "right", "wrong_mode", "missed", "stop"]:
        assert r[column].tolist() == [p[column] for p in cli], column
    assert r["metric"] == "acquisition" and "hf_ber" not in r
    with pytest.raises(hfchain.Error):
        hfchain.crossings(r)


def test_late_entry_in_the_data_is_the_programs(tmp_path):
    options = ["--late", "data", "-r", "hf", "--rate", "2400,600", "-i", "0.6", "-C", "ruim",
               "-e", "12", "--min-trials", "3", "--max-bits", "1", "-j", "2"]
    cli = program_json(tmp_path, options)["points"]
    r = hfchain.run_sweep(hfchain.SweepConfig(
        late="data", receivers=["hf"], rates=[2400, 600], interLen=0.6, conditions=["ruim"],
        esno=[12], minTrials=3, maxBits=1, threads=2))
    for column in ["rate", "trials", "bits", "errors", "sync_misses"]:
        assert r[column].tolist() == [p[column] for p in cli], column


def test_crossings_are_the_programs_table(tmp_path):
    table = tmp_path / "crossings.md"
    subprocess.run([program(), "sweep", "-q", *SMALL_OPTIONS, "--axis", "esno", "--targets",
                    "0.02,0.001", "--crossings", str(table)], check=True,
                   stdout=subprocess.DEVNULL)
    rows = [line.split("|")[3:-1] for line in table.read_text().splitlines()
            if line.startswith("| 0.6 s")]
    c = hfchain.crossings(hfchain.run_sweep(SMALL), [0.02, 1e-3], axis="esno").columns
    cells = [text + "*" * few for text, few in zip(c["crossing"], c["few_events"])]
    # Row by row: each target's receivers (no genie here, so no gaps).
    assert [cell.strip() for row in rows for cell in row] == cells
    assert c["condition"].tolist() == ["awgn"] * 4 + ["muito_ruim"] * 4
    assert c["receiver"].tolist() == ["baseline", "hf"] * 4 and np.isnan(c["gap_db"]).all()
    assert set(c["kind"]) <= {"at", "below", "at_or_below", "above"}
    at = c["kind"] == "at"
    np.testing.assert_allclose(c["esno_db"][at], [float(t) for t in c["crossing"][at]], atol=0.05)


def test_through_the_air_as_the_program(tmp_path):
    """audioRate and clockPpm send the trials through the air as --audio and --clock-ppm do."""
    air = {"conditions": ["awgn"], "esno": [4], "receivers": ["baseline"], "minTrials": 2,
           "maxBits": 1, "interLen": 0.6, "threads": 1}
    cli = program_json(tmp_path, ["-i", "0.6", "-C", "awgn", "-e", "4", "-r", "baseline",
                                  "--min-trials", "2", "--max-bits", "1", "-j", "1", "--audio",
                                  "8000", "--clock-ppm", "60"])
    r = hfchain.run_sweep({**air, "audioRate": 8000, "clockPpm": 60})
    assert r["baseline_info_errors"].tolist() == [
        p["receivers"]["baseline"]["info_errors"] for p in cli["points"]]
    assert (cli["parameters"]["audio_rate"], cli["parameters"]["clock_ppm"]) == (8000, 60)
    baseband = hfchain.run_sweep(air)
    assert baseband["baseline_info_errors"].tolist() != r["baseline_info_errors"].tolist()


def test_crashes_through_the_air_as_the_program(tmp_path):
    """impulses adds static crashes to every trial's audio as --impulses does: the same seed gives
    the same table, the crashes change the errors, and the JSON records them."""
    air = {"conditions": ["awgn"], "esno": [8], "receivers": ["baseline"], "minTrials": 2,
           "maxBits": 1, "interLen": 0.6, "threads": 1, "audioRate": 8000}
    cli = program_json(tmp_path, ["-i", "0.6", "-C", "awgn", "-e", "8", "-r", "baseline",
                                  "--min-trials", "2", "--max-bits", "1", "-j", "1", "--audio",
                                  "8000", "--impulses", "20:0"])
    crashes = hfchain.run_sweep({**air, "impulses": (20, 0)})
    errors = crashes["baseline_info_errors"].tolist()
    assert errors == [p["receivers"]["baseline"]["info_errors"] for p in cli["points"]]
    assert (cli["parameters"]["impulse_rate"], cli["parameters"]["impulse_level_dbfs"]) == (20, 0)
    assert hfchain.run_sweep({**air, "impulses": [20, 0]})["baseline_info_errors"].tolist() == errors
    assert hfchain.run_sweep(air)["baseline_info_errors"].tolist() != errors


def test_defaults_are_the_programs(tmp_path):
    # Four options given to both; every other parameter is each one's default.
    given = {"conditions": "awgn", "snr3k": [6], "minTrials": 1, "maxBits": 1}
    cli = program_json(tmp_path, ["-C", "awgn", "--snr3k", "6", "--min-trials", "1", "--max-bits",
                                  "1"])
    parameters = cli["parameters"]
    d = hfchain.SweepConfig(**given)
    # nFrame 0 is each rate's default, one block at 2400 bit/s.
    assert (d.interLen, d.nFrame or 1, d.receivers, d.metric, d.stopOn, d.minEvents, d.minErrors,
            d.seed) == (parameters["interleaver_s"], parameters["nFrame"],
                        parameters["receivers"], parameters["metric"], parameters["stop_on"],
                        parameters["min_events"], parameters["min_errors"], parameters["seed"])
    defaults = hfchain.SweepConfig()
    assert (defaults.minTrials, defaults.maxBits) == (80, 1000000)  # the program's help says so
    # A dict of some fields runs the same sweep as the program.
    r = hfchain.run_sweep(given)
    assert r["receivers"] == ["hf", "genie"] and r["snr3k_db"].tolist() == [6.0]
    for receiver in ["hf", "genie"]:
        assert r[f"{receiver}_info_errors"].tolist() == [
            p["receivers"][receiver]["info_errors"] for p in cli["points"]]


def test_points_as_snr_or_es_n0():
    offset = 10 * np.log10(3000 / 2400)
    base = dict(interLen=0.6, conditions="awgn", receivers="baseline", metric="coded",
                minTrials=1, maxBits=1)
    by_snr = hfchain.run_sweep({**base, "snr3k": [2, 5]})
    np.testing.assert_allclose(by_snr["esno_db"], [2 + offset, 5 + offset], rtol=1e-14)
    by_esno = hfchain.run_sweep({**base, "esno": by_snr["esno_db"]})
    assert by_esno["baseline_coded_errors"].tolist() == by_snr["baseline_coded_errors"].tolist()
    np.testing.assert_allclose(by_esno["snr3k_db"], [2, 5], atol=1e-12)
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep({**base, "snr3k": [2], "esno": [3]})
    assert (e.value.identifier, e.value.message) == (
        "hfchain:python:InvalidSweep",
        "config.snr3k: give the points either as Es/N0 (esno) or as SNR in a 3 kHz bandwidth "
        "(snr3k), not both")


def test_a_point_is_the_sum_of_its_trials_rerun_with_run_road():
    config = hfchain.SweepConfig(interLen=0.6, conditions="awgn", esno=6, receivers="baseline",
                                 metric="coded", minTrials=3, maxBits=1, seed=11, threads=1)
    r = hfchain.run_sweep(config)
    assert r["trials"].tolist() == [3]
    m = hfchain.modeconf(0.6)
    errors = 0
    for k in range(3):
        tx_seed, channel_seed = hfchain.trial_seeds(11, "awgn", 6, k)
        road = hfchain.run_road(m, hfchain.RoadConfig(
            txSeed=tx_seed, channel="awgn", EsNodB=6, channelSeed=channel_seed))
        errors += road.codedBitErrors
    assert r["errors"].tolist() == [errors]


def test_a_checkpoint_is_resumed_and_refused_for_another_sweep(tmp_path):
    journal = tmp_path / "j.txt"
    first = hfchain.run_sweep(SMALL, checkpoint=journal)
    assert first["trials_from_checkpoint"] == 0
    again = hfchain.run_sweep(SMALL, checkpoint=str(journal))
    assert again["trials_from_checkpoint"] == first["trials"].sum()
    for column in ["trials", "errors", "hf_info_errors", "baseline_coded_errors"]:
        assert again[column].tolist() == first[column].tolist(), column
    # The program resumes Python's journal and gives the same points.
    cli = program_json(tmp_path, SMALL_OPTIONS + ["--checkpoint", str(journal)])["points"]
    assert [p["trials"] for p in cli] == first["trials"].tolist()
    other = hfchain.SweepConfig.from_dict({**SMALL.to_dict(), "seed": 4})
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep(other, checkpoint=journal)
    assert e.value.identifier == "hfchain:python:InvalidSweep"
    assert e.value.message == (
        f"checkpoint: '{journal}' holds the trials of another sweep (config.seed 3 in the "
        "journal, 4 here); give the same parameters to resume it, or another file")
    # An empty name is an unset variable, not "no journal", as the program has it.
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep(SMALL, checkpoint="")
    assert e.value.message == (
        "checkpoint: an empty file name is not accepted; give a file, or None for no journal")


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
    return hfchain.SweepConfig(interLen=0.6, conditions=["awgn", "bom"], esno=[30, 40],
                               receivers="baseline", minTrials=10**6, maxBits=10**12, threads=2)


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
     "config.conditions: unknown condition 'fog'; accepted: "
     "bom, moderado, ruim, muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, "
     "itu_mid_quiet, itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
     "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as 2p:2ms:1Hz"),
    ({"conditions": []}, "config.conditions: no condition given; accepted: "
     "bom, moderado, ruim, muito_ruim, itu_low_quiet, itu_low_moderate, itu_low_disturbed, "
     "itu_mid_quiet, itu_mid_moderate, itu_mid_disturbed, itu_mid_disturbed_nvis, itu_high_quiet, "
     "itu_high_moderate, itu_high_disturbed, awgn, or a written channel such as 2p:2ms:1Hz"),
    ({"esno": []}, "config.esno: no Es/N0 value given"),
    ({"esno": [np.inf]},
     "config.esno: Inf dB is not accepted; give finite values from -200 to 200 dB"),
    ({"esno": None, "snr3k": [300]},
     "config.snr3k: 300 dB is not accepted; give finite values from -200 to 200 dB"),
    ({"interLen": 1.2},
     "config.interLen: 1.2 s is not an interleaver length; accepted: 0.6 or 4.8"),
    ({"minTrials": 0}, "config.minTrials: 0 is not accepted; give a whole number of at least 1"),
    ({"minEvents": -3}, "config.minEvents: -3 is not accepted; give a whole number of at least 1"),
    ({"threads": 257}, "config.threads: at most 256 worker threads"),
    ({"receivers": ["hf", "hf"]}, "config.receivers: 'hf' is named twice"),
    ({"rates": [2400, 110]},
     "config.rates: 110 bit/s is not a data rate of the waveform; accepted: 4800, 2400, 1200, "
     "600, 300, 150, 75"),
    ({"clockPpm": 50},
     "config.clockPpm: a sound card's clock offset needs the path through the air; give its "
     "sample rate too (config.audioRate)"),
    ({"impulses": [2, -10]},
     "config.impulses: static crashes on the audio need the path through the air; give its "
     "sample rate too (config.audioRate)"),
    ({"impulses": [2], "audioRate": 8000},
     "config.impulses: give two values, the bursts a second and the level in dBFS"),
    ({"impulses": [2, 70], "audioRate": 8000},
     "config.impulses: The impulses' level 70 is not accepted; give a finite level up to 60 dB."),
    ({"floor": 1e-6, "esno": [8, 4]},
     "config.floor: a curve ends at its first point below the floor, so its points must ascend; "
     "4 dB comes after 8 dB"),
])
def test_refused_sweeps_name_the_field(change, message):
    config = {**SMALL.to_dict(), **change}
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep(config)
    assert (e.value.identifier, e.value.message) == ("hfchain:python:InvalidSweep", message)


@pytest.mark.parametrize("field, value, identifier, message", [
    ("seed", -1, "hfchain:python:WrongValue",
     "Input 'config.seed' must be a whole number from 0 to 4294967295; it is -1."),
    ("minTrials", 2.5, "hfchain:python:WrongValue",
     "Input 'config.minTrials' must be a whole number from -9007199254740992 to "
     "9007199254740992; it is 2.5."),
    ("conditions", 5, "hfchain:python:WrongType",
     "Input 'config.conditions' must be a list of str; it is of type int."),
    ("metric", "blocks", "hfchain:python:WrongValue",
     "Input 'config.metric' must be one of decoded, coded, acquisition; it is 'blocks'."),
    ("stopOn", "both", "hfchain:python:WrongValue",
     "Input 'config.stopOn' must be one of first, all; it is 'both'."),
])
def test_refused_sweep_fields(field, value, identifier, message):
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep({**SMALL.to_dict(), field: value})
    assert (e.value.identifier, e.value.message) == (identifier, message)


def test_a_memory_limit_too_small_is_refused_naming_the_argument():
    with pytest.raises(hfchain.Error) as e:
        hfchain.run_sweep(SMALL, max_memory=1000)
    assert e.value.identifier == "hfchain:python:InvalidSweep"
    assert e.value.message.startswith("config.threads: trials of 1 interleaver block of")
    assert "limit (max_memory)" in e.value.message


def test_trial_seeds_are_the_runners():
    # Golden values of the documented derivation (sweep/trial.hpp), computed apart from it: a
    # change of the derivation would silently change every sweep and every journal.
    cases = [
        ((1, "awgn", 0, 0), (787812115.0, 1700639271.0)),
        ((1, "awgn", 0, 1), (964616905.0, 3691416981.0)),
        ((7, "muito_ruim", -2.5, 12345), (1243915712.0, 3962877854.0)),
        ((4294967295, "bom", 30, 0), (511861974.0, 1666799511.0)),
    ]
    for args, seeds in cases:
        assert hfchain.trial_seeds(*args) == seeds, args
        assert hfchain.trial_seeds(*args, rate=2400) == seeds, args
    # Any other rate mixes the rate in after the base seed.
    other = [
        ((1, "awgn", 0, 0, 75), (782009575.0, 3722000785.0)),
        ((1, "awgn", 0, 1, 600), (1788541738.0, 3114488461.0)),
        ((7, "muito_ruim", -2.5, 12345, 4800), (470141505.0, 1731737452.0)),
    ]
    for args, seeds in other:
        assert hfchain.trial_seeds(*args) == seeds, args


def test_a_sweep_at_low_rates_counts_each_rates_information_bits():
    # 75 bit/s takes four 0.6 s blocks a trial (36 information bits), 600 bit/s one (216).
    config = hfchain.SweepConfig(rates=[75, 600], interLen=0.6, conditions="awgn", esno=[-3, 3],
                                 receivers="baseline", minTrials=2, maxBits=1, seed=5, threads=2)
    r = hfchain.run_sweep(config)
    assert r["rate"].tolist() == [75, 75, 600, 600]
    assert r["esno_db"].tolist() == [-3, 3, -3, 3]
    assert r["info_bits"].tolist() == [72, 72, 432, 432]
    assert r["blocks"].tolist() == [2, 2, 2, 2]
    # Trial k of a point is run_road at that rate with the trial's seeds.
    for i, (rate, nframe) in enumerate([(75, 4), (75, 4), (600, 1), (600, 1)]):
        errors = 0
        for k in range(2):
            tx_seed, channel_seed = hfchain.trial_seeds(5, "awgn", r["esno_db"][i], k, rate=rate)
            road = hfchain.run_road(hfchain.rateconf(rate, 0.6), hfchain.RoadConfig(
                nFrame=nframe, txSeed=tx_seed, channel="awgn",
                EsNodB=r["esno_db"][i], channelSeed=channel_seed))
            errors += road.baseline.infoBitErrors
        assert r["baseline_info_errors"][i] == errors, i


def test_theory_curve():
    assert hfchain.ber_8psk_gray(-200) == pytest.approx(0.5, abs=1e-3)
    values = [hfchain.ber_8psk_gray(e) for e in range(0, 21, 2)]
    assert all(a > b for a, b in zip(values, values[1:]))


@pytest.mark.parametrize("value, expected", [
    (np.inf, 0.0), (1e4, 0.0), (-np.inf, 0.5), (-200, 0.5)])
def test_theory_curve_at_the_ends(value, expected):
    assert hfchain.ber_8psk_gray(value) == pytest.approx(expected, abs=1e-9)  # Simpson sums
