"""Shared fixtures: the C++ reference results and bit-exact comparison.

The reference program (tests/python/reference.cpp, path in HFCHAIN_REFERENCE) computes every
block's results with the C++ API alone and writes them as rows x cols arrays; the Python results
must hold the same bits in the module's shapes (an n x 1 column as a 1-D array).
"""

import os
import subprocess

import numpy as np
import pytest


@pytest.fixture(scope="session")
def ref(tmp_path_factory):
    exe = os.environ.get("HFCHAIN_REFERENCE")
    if not exe:
        pytest.skip("HFCHAIN_REFERENCE is not set (run the tests through ctest)")
    folder = tmp_path_factory.mktemp("reference")
    subprocess.run([exe, str(folder)], check=True)

    def load(name):
        return np.load(folder / f"{name}.npy")

    load.errors = {}
    with open(folder / "errors.tsv", encoding="utf-8") as f:
        for line in f:
            case, identifier, message = line.rstrip("\n").split("\t")
            load.errors[case] = (identifier, message)
    return load


def module_shape(expected):
    """The shape the module gives a rows x cols result: 1-D for a column."""
    rows, cols = expected.shape
    return (rows,) if cols == 1 else (rows, cols)


def assert_same_bits(result, expected):
    """`result` holds exactly the elements of the rows x cols `expected`, in the module's shape."""
    result = np.asarray(result)
    assert result.dtype == expected.dtype
    assert result.shape == module_shape(expected)
    assert result.reshape(expected.shape, order="F").tobytes(order="F") == expected.tobytes(order="F")


def assert_record(record, ref, prefix, fields):
    """Each field of `record` holds exactly the reference `prefix.field` (a float: a 1 x 1)."""
    for name in fields:
        value = getattr(record, name)
        expected = ref(f"{prefix}.{name}")
        if isinstance(value, (float, bool, int)):
            assert expected.shape == (1, 1), name
            assert np.float64(value).tobytes() == expected.tobytes(), name
        else:
            assert_same_bits(value, expected)
