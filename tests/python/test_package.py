"""The package as pandas users take it: run_sweep's Table (columns apart from the metadata,
integer counts, still the dict it was), the minimum-performance table beside the program's,
partial RoadConfig dicts, and the impulses and their blanking through run_road."""

import csv
import os
import pickle
import subprocess

import numpy as np
import pandas as pd
import pytest

import hfchain

M = hfchain.modeconf(0.6)
VS = hfchain.VarShapping(0.35, 6, 2)
QUICK = dict(interLen=0.6, conditions=["awgn", "bom"], esno=[3, 6], receivers=["baseline", "hf"],
             metric="coded", minTrials=1, maxBits=1, seed=2, threads=1)
COUNTS = ["trials", "coded_bits", "info_bits", "blocks", "sync_misses", "events", "bits",
          "errors", "few_events", "hf_coded_errors", "hf_info_errors", "hf_error_trials",
          "hf_few_events", "hf_block_errors", "baseline_info_errors"]


def test_a_sweep_is_a_pandas_frame_with_its_metadata_apart():
    r = hfchain.run_sweep(QUICK)
    frame = pd.DataFrame(r.columns)
    assert len(frame) == 4 and frame["condition"].tolist() == ["awgn", "awgn", "bom", "bom"]
    for column in COUNTS:
        assert frame[column].dtype == np.int64, column
    for column in ["esno_db", "snr3k_db", "ber", "ci95_low", "hf_ber", "seconds"]:
        assert frame[column].dtype == np.float64, column
    assert r.meta == {"receivers": ["baseline", "hf"], "metric": "coded", "interrupted": False,
                      "threads": 1, "trials_from_checkpoint": 0,
                      "wall_seconds": r.meta["wall_seconds"]}
    # Still the one dict of both that earlier versions returned.
    assert set(r) == set(r.columns) | set(r.meta) and not set(r.columns) & set(r.meta)
    assert r["interrupted"] is False and r["trials"] is r.columns["trials"]
    pd.testing.assert_frame_equal(r.to_frame(), frame)
    # A pickled table keeps columns and metadata (not the points crossings() reads).
    back = pickle.loads(pickle.dumps(r))
    assert type(back) is hfchain.Table and back.meta == r.meta
    pd.testing.assert_frame_equal(back.to_frame(), frame)
    with pytest.raises(hfchain.Error, match="does not carry a sweep's points"):
        hfchain.crossings(back)


def program():
    exe = os.environ.get("HFCHAIN_EXE")
    if not exe:
        pytest.skip("HFCHAIN_EXE is not set (run the tests through ctest)")
    return exe


def test_requirements_are_the_programs(tmp_path):
    # Row 2 (2400 bit/s, one fixed path) with budgets that make a search of a few points.
    settings = dict(interLen=0.6, receivers=["genie", "baseline"], minTrials=1, minEvents=1,
                    maxBits=3000, rows=[2], resolution=1, step=4, seed=5)
    out = tmp_path / "req.csv"
    subprocess.run([program(), "requirements", "-q", "-i", "0.6", "-r", "genie,baseline",
                    "--min-trials", "1", "--min-events", "1", "--max-bits", "3000", "--rows", "2",
                    "--resolution", "1", "--step", "4", "-s", "5", "--csv", str(out)], check=True,
                   stdout=subprocess.DEVNULL)
    with open(out, newline="") as f:
        cli = list(csv.DictReader(f))
    seen = []
    r = hfchain.requirements(settings, progress=lambda p: seen.append(p["snr3k_db"]))
    frame = r.to_frame()
    assert len(frame) == len(cli) == 2 and r.meta["interrupted"] is False
    assert frame["points"].dtype == np.int64 and seen and len(seen) == frame["points"][0]
    for column in cli[0]:
        mine = frame[column].tolist()
        if frame[column].dtype == np.float64:
            assert mine == [float(row[column]) for row in cli], column
        else:
            assert [str(v) for v in mine] == [row[column] for row in cli], column
    assert hfchain.requirement_rows().columns["required_snr3k_db"][2] == 10


def test_requirements_stop_cleanly_on_an_exception_of_progress():
    def stop(point):
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough") as e:
        hfchain.requirements({"interLen": 0.6, "receivers": "genie", "minTrials": 1,
                              "minEvents": 1, "maxBits": 3000, "rows": [2, 3]}, progress=stop)
    t = e.value.requirements_result
    assert t.meta["interrupted"] is True and t.columns["row"].tolist() in ([], [2])
    with pytest.raises(hfchain.Error, match="config.rows") as e:
        hfchain.requirements({"rows": [2, 99]})
    assert e.value.identifier == "hfchain:python:InvalidSweep"


def road(**fields):
    return hfchain.run_road(M, {"shaping": VS, "channel": "awgn", "EsNodB": 8, **fields})


def test_a_road_dict_may_leave_fields_out():
    partial = road(txSeed=4, channelSeed=2)
    full = hfchain.run_road(M, hfchain.RoadConfig(txSeed=4, shaping=VS, channel="awgn",
                                                  EsNodB=8, channelSeed=2))
    assert partial.codedBitErrors == full.codedBitErrors
    np.testing.assert_array_equal(partial.faded.AwgnOut, full.faded.AwgnOut)
    assert hfchain.RoadConfig.from_dict({"nFrame": 2}) == hfchain.RoadConfig(nFrame=2)


def test_impulses_reach_the_blanker_and_round_trip():
    impulses = [(2000, 1e6), (2500, -3e5j)]
    config = hfchain.RoadConfig(shaping=VS, channel="awgn", EsNodB=8, impulses=impulses)
    assert config.impulses == [(2000, 1e6 + 0j), (2500, -3e5j)]
    assert hfchain.RoadConfig.from_dict(config.to_dict()) == config
    assert pickle.loads(pickle.dumps(config)) == config
    r = hfchain.run_road(M, config)
    clean = road()
    assert clean.blanking.samples.tolist() == []
    # The received RMS before the impulses sizes them; the noise takes the difference.
    rms = np.sqrt(np.mean(np.abs(clean.faded.AwgnOut) ** 2))
    np.testing.assert_allclose(r.faded.AwgnOut[[2000, 2500]], [1e6 * rms, -3e5j * rms])
    np.testing.assert_allclose(r.faded.noise - clean.faded.noise,
                               r.faded.AwgnOut - clean.faded.AwgnOut, atol=1e-9 * rms)
    assert r.blanking.samples.dtype == np.int64
    assert r.blanking.samples.tolist() == [2000, 2500]
    assert r.blanking.level > 0 and r.blanking.peak > 900
    assert hfchain.RoadResult.from_dict(r.to_dict()).blanking == r.blanking


@pytest.mark.parametrize("make, identifier, text", [
    (lambda: hfchain.RoadConfig(impulses=3), "hfchain:python:WrongType",
     "Input 'config.impulses' must be a list of (sample, size) pairs; it is of type int."),
    (lambda: hfchain.RoadConfig(impulses=[(1, 2, 3)]), "hfchain:python:WrongType",
     "Input 'config.impulses' must be a list of (sample, size) pairs; it holds (1, 2, 3)."),
    (lambda: hfchain.RoadConfig(impulses=[(-1, 2)]), "hfchain:python:WrongValue", None),
    (lambda: hfchain.ImpulseblankOut(samples=[1.5]), "hfchain:python:WrongValue",
     "Input 'ImpulseblankOut.samples' must hold whole numbers from 0 to 2147483647; it holds "
     "1.5."),
    (lambda: road(impulses=[(10 ** 7, 1)]), "hfchain:road:ImpulseOutside", None),
    (lambda: road(channel="none", impulses=[(1, 1)]), "hfchain:road:ImpulseWithoutNoise", None),
])
def test_impulses_refused(make, identifier, text):
    with pytest.raises(hfchain.Error) as e:
        make()
    assert e.value.identifier == identifier
    if text is not None:
        assert e.value.message == text
