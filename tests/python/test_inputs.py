"""Arguments: every layout and dtype that converts without loss gives the same result; anything
else raises hfchain.Error with the exact message; the blocks' own refusals arrive unchanged."""

import numpy as np
import pytest

import hfchain

VS = hfchain.VarShapping(0.35, 6, 5)
M = hfchain.modeconf(0.6)
X = (np.arange(200) % 7 - 3) + 1j * (np.arange(200) % 5 - 2)  # small whole numbers: exact anywhere
BITS = np.arange(2880) % 2


def big_endian(a):
    return a.astype(a.dtype.newbyteorder(">"))


# Forms of the same complex column X: all must give pulseshaper's result for X itself.
COMPLEX_FORMS = {
    "complex64": lambda: X.astype(np.complex64),
    "column n x 1": lambda: X.reshape(-1, 1),
    "Fortran n x 1": lambda: np.asfortranarray(X.reshape(-1, 1)),
    "strided": lambda: np.repeat(X, 3)[::3],
    "reversed": lambda: X[::-1].copy()[::-1],
    "big-endian": lambda: big_endian(X),
    "list": lambda: list(X),
}

# Forms of the same real column BITS for unshuffle.
REAL_FORMS = {
    "float64": lambda: BITS.astype(np.float64),
    "bool": lambda: BITS.astype(bool),
    "int8": lambda: BITS.astype(np.int8),
    "uint16": lambda: BITS.astype(np.uint16),
    "int32": lambda: BITS.astype(np.int32),
    "int64": lambda: BITS.astype(np.int64),
    "uint64": lambda: BITS.astype(np.uint64),
    "float16": lambda: BITS.astype(np.float16),
    "float32": lambda: BITS.astype(np.float32),
    "big-endian int64": lambda: big_endian(BITS.astype(np.int64)),
    "n x 1 C order": lambda: BITS.reshape(-1, 1).astype(float),
    "strided": lambda: np.stack([BITS, 1 - BITS], axis=1)[:, 0],
    "list": lambda: BITS.tolist(),
    "tuple": lambda: tuple(BITS.tolist()),
    "unaligned float64": lambda: np.frombuffer(b"\0" + BITS.astype(float).tobytes(), float,
                                               offset=1),
}


@pytest.mark.parametrize("form", list(COMPLEX_FORMS))
def test_complex_input_forms(form):
    expected = hfchain.pulseshaper(X, VS).out
    np.testing.assert_array_equal(hfchain.pulseshaper(COMPLEX_FORMS[form](), VS).out, expected)


def test_real_array_where_complex_is_taken():
    real = np.arange(100, dtype=np.float32)
    np.testing.assert_array_equal(hfchain.pulseshaper(real, VS).out,
                                  hfchain.pulseshaper(real.astype(complex), VS).out)


@pytest.mark.parametrize("form", list(REAL_FORMS))
def test_real_input_forms(form):
    expected = hfchain.unshuffle(BITS.astype(float), M).out
    np.testing.assert_array_equal(hfchain.unshuffle(REAL_FORMS[form](), M).out, expected)


def test_matrix_fields_in_any_order_and_layout():
    m = hfchain.modeconf(0.6)
    base = hfchain.symslicer(X, m).DemapOut
    d = m.to_dict()
    d["chSymMapping"] = np.ascontiguousarray(d["chSymMapping"])  # C order
    d["probe"] = d["probe"].astype(np.int16)
    d["preamSync"] = d["preamSync"].ravel()  # a 1-D array is taken as the row
    d = dict(reversed(list(d.items())))
    np.testing.assert_array_equal(hfchain.symslicer(X, d).DemapOut, base)


@pytest.mark.parametrize("value", [6, 6.0, np.int64(6), np.float32(6), np.array(6.0),
                                   np.array([6]), np.array([[6]]), True * 6])
def test_scalar_forms(value):
    vs = hfchain.VarShapping(0.35, value, 5)
    np.testing.assert_array_equal(hfchain.pulseshaper(X, vs).filter,
                                  hfchain.pulseshaper(X, VS).filter)


def test_inputs_are_never_modified():
    x = np.asfortranarray(np.tile(X, (1, 1)).T)  # n x 1, Fortran
    flags = x.flags.writeable
    before = x.copy()
    hfchain.pulsematch(x, VS)
    hfchain.fadesim(x, {"model": "bom", "EsNodB": 3, "seed": 1}, VS)
    np.testing.assert_array_equal(x, before)
    assert x.flags.writeable == flags


def test_read_only_inputs_are_accepted():
    x = X.copy()
    x.flags.writeable = False
    hfchain.pulsematch(x, VS)


P = "hfchain:python:"

# (call, identifier, message): refusals of the module's own argument checks.
REFUSALS = [
    (lambda: hfchain.unshuffle(BITS + 0j, M), P + "ComplexInput",
     "Input 'DeinterleaverIn' must be real; it is complex."),
    (lambda: hfchain.unshuffle(BITS.astype(np.longdouble), M), P + "WrongDtype",
     "Input 'DeinterleaverIn' must hold real numbers that convert to float64 without loss; "
     "it is an array of dtype float128."),
    (lambda: hfchain.pulsematch(X.astype(np.clongdouble), VS), P + "WrongDtype",
     "Input 'MatchedFilterIn' must hold numbers that convert to complex128 without loss; "
     "it is an array of dtype complex256."),
    (lambda: hfchain.pulsematch(np.array(["a", "b"]), VS), P + "WrongDtype",
     "Input 'MatchedFilterIn' must hold numbers that convert to complex128 without loss; "
     "it is an array of dtype <U1."),
    (lambda: hfchain.pulsematch(X.astype(object), VS), P + "WrongType",
     "Input 'MatchedFilterIn' must be an array of numbers; it is an array of dtype object."),
    (lambda: hfchain.pulsematch(None, VS), P + "WrongType",
     "Input 'MatchedFilterIn' must be an array of numbers; it is of type NoneType."),
    (lambda: hfchain.pulsematch([[1, 2], [3]], VS), P + "WrongType",
     "Input 'MatchedFilterIn' must be an array of numbers; it is of type list."),
    (lambda: hfchain.unshuffle(np.array([2**53 + 1] * 2880, dtype=np.int64), M),
     P + "InexactValue",
     "Input 'DeinterleaverIn' holds 9007199254740993, which float64 cannot represent exactly."),
    (lambda: hfchain.unshuffle(np.array([2**64 - 1] * 2880, dtype=np.uint64), M),
     P + "InexactValue",
     "Input 'DeinterleaverIn' holds 18446744073709551615, which float64 cannot represent "
     "exactly."),
    (lambda: hfchain.sendchain(M, 1, 2**53 + 1), P + "InexactValue",
     "Input 'seed' holds 9007199254740993, which float64 cannot represent exactly."),
    (lambda: hfchain.sendchain(M, 1, 1j), P + "ComplexInput", "Input 'seed' must be real; it is complex."),
    (lambda: hfchain.pulseshaper(np.zeros((3, 4)), VS), P + "WrongSize",
     "Input 'ShappingIn' must be a column (a 1-D array, or n x 1); it has shape (3, 4)."),
    (lambda: hfchain.pulseshaper(np.zeros((1, 4)), VS), P + "WrongSize",
     "Input 'ShappingIn' must be a column (a 1-D array, or n x 1); it has shape (1, 4)."),
    (lambda: hfchain.pulseshaper(np.zeros((2, 2, 2)), VS), P + "WrongSize",
     "Input 'ShappingIn' must be a column (a 1-D array, or n x 1); it has shape (2, 2, 2)."),
    (lambda: hfchain.tickalign(X, np.array([1, 2]), VS), P + "WrongSize",
     "Input 'FrameStartSample' must be a scalar (1 x 1); it has shape (2,)."),
    (lambda: hfchain.tickalign(X, np.array([]), VS), P + "WrongSize",
     "Input 'FrameStartSample' must be a scalar (1 x 1); it has shape (0,)."),
    (lambda: hfchain.symslicer(X, {**M.to_dict(), "probe": np.zeros((21, 2))}), P + "WrongSize",
     "Input 'milstd.probe' must be an array of size :20 x :2; it has shape (21, 2)."),
    (lambda: hfchain.symslicer(X, {**M.to_dict(), "preamSync": np.zeros((2, 3))}),
     P + "WrongSize", "Input 'milstd.preamSync' must be a row (a 1-D array, or 1 x n); it has "
     "shape (2, 3)."),
    (lambda: hfchain.symslicer(X, {**M.to_dict(), "interTable": np.zeros((2, 3))}),
     P + "WrongSize", "Input 'milstd.interTable' must be a column (a 1-D array, or n x 1); it has "
     "shape (2, 3)."),
    (lambda: hfchain.fadesim(X, {"model": "x" * 51, "EsNodB": 1, "seed": 1}, VS), P + "WrongSize",
     "Input 'varWatterson.model' must be a str of at most 50 characters; it has 51."),
    (lambda: hfchain.fadesim(X, {"model": 3, "EsNodB": 1, "seed": 1}, VS), P + "WrongType",
     "Input 'varWatterson.model' must be a str; it is of type int."),
    (lambda: hfchain.fadesim(X, {"model": "bom", "seed": 1}, VS), P + "WrongFields",
     "Input 'varWatterson' lacks the field 'EsNodB'."),
    (lambda: hfchain.fadesim(X, {"model": "bom", "EsNodB": 1, "seed": 1, "x": 0}, VS),
     P + "WrongFields", "Input 'varWatterson' has the field 'x', which is not one of model, EsNodB, "
     "seed."),
    (lambda: hfchain.pulseshaper(X, [0.35, 6, 5]), P + "WrongType",
     "Input 'varShapping' must be a VarShapping or a dict; it is of type list."),
    (lambda: hfchain.pulseshaper(X, hfchain.VarWatterson()), P + "WrongType",
     "Input 'varShapping' must be a VarShapping or a dict; it is of type VarWatterson."),
    (lambda: hfchain.sendchain(M, 1, 1, host=3), P + "WrongType",
     "Input 'host' must be a BuiltinHost or None; it is of type int."),
    (lambda: hfchain.run_road(M, {**hfchain.RoadConfig().to_dict(), "watterson": {}}),
     P + "WrongFields", "Input 'config' has both the field 'watterson' and the field 'EsNodB', "
     "which replaces it; give only the latter."),
    (lambda: hfchain.run_road(M, {**hfchain.RoadConfig().to_dict(), "shaping": {}}),
     P + "WrongFields", "Input 'config.shaping' lacks the field 'rolloffFactor'."),
    (lambda: hfchain.VarShapping(pulseDelay=1j), P + "ComplexInput",
     "Input 'varShapping.pulseDelay' must be real; it is complex."),
    (lambda: setattr(hfchain.modeconf(0.6), "probe", np.zeros((3, 3))), P + "WrongSize",
     "Input 'milstd.probe' must be an array of size :20 x :2; it has shape (3, 3)."),
    (lambda: hfchain.RoadResult(codedBits=1.5), P + "WrongValue",
     "Input 'RoadResult.codedBits' must be a whole number from 0 to 2147483647; it is 1.5."),
    (lambda: hfchain.RoadResult(frameFound=2), P + "WrongValue",
     "Input 'RoadResult.frameFound' must be a whole number from 0 to 1; it is 2."),
    (lambda: hfchain.softslicer(X, 1, M, rule="maxlog"), P + "WrongValue",
     "Input 'rule' must be one of max_log, exact; it is 'maxlog'."),
    (lambda: hfchain.softslicer(X, np.ones((2, 2)), M), P + "WrongSize",
     "Input 'noiseVar' must be a column (a 1-D array, or n x 1); it has shape (2, 2)."),
    (lambda: hfchain.vitdecode(BITS + 0j, M, 1), P + "ComplexInput",
     "Input 'DecoderIn' must be real; it is complex."),
    (lambda: hfchain.geniecombine(X, np.zeros((3, 3)), X, 1, M, VS), P + "WrongSize",
     "Input 'raios' must be an array of size :Inf x :2; it has shape (3, 3)."),
    (lambda: hfchain.turboequal({"basis": np.ones(3)}, M, 1, 0), P + "WrongFields",
     "Input 'sounding' lacks the field 'start'."),
    (lambda: hfchain.turboequal(hfchain.TurboequalOut(), M, 1, 0), P + "WrongType",
     "Input 'sounding' must be a ChansoundOut or a dict; it is of type TurboequalOut."),
    (lambda: hfchain.RoadConfig(receivers=3), P + "WrongType",
     "Input 'config.receivers' must be a list of str; it is of type int."),
    (lambda: hfchain.RoadConfig(receivers=["hf", "turbo"]), P + "WrongValue",
     "Input 'config.receivers' must be one of baseline, hf, genie; it is 'turbo'."),
    (lambda: hfchain.RoadConfig(softRule="max-log"), P + "WrongValue",
     "Input 'config.softRule' must be one of max_log, exact; it is 'max-log'."),
    (lambda: hfchain.BuiltinHost().rand(1.5), "hfchain:runtime:NonInteger",
     "Value 1.5 of 'n' must be a finite whole number within 32 bits."),
]


@pytest.mark.parametrize("call, identifier, message", REFUSALS,
                         ids=[f"{i}:{r[1].split(':')[-1]}" for i, r in enumerate(REFUSALS)])
def test_refused_arguments(call, identifier, message):
    with pytest.raises(hfchain.Error) as e:
        call()
    assert (e.value.identifier, e.value.message, str(e.value)) == (identifier, message, message)
    assert isinstance(e.value, ValueError)


X5 = np.zeros(600, complex)
BITS_5760 = (np.arange(5760) * 7 + np.arange(5760) // 3) % 2
M4800 = {**M.to_dict(), "rate": 4800}

# The blocks' own refusals: (case in the reference's errors.tsv, the same call from Python).
BLOCK_ERRORS = {
    "modeconf_length": lambda: hfchain.modeconf(1.0),
    "modeconf_nan": lambda: hfchain.modeconf(np.nan),
    "sendchain_seed": lambda: hfchain.sendchain(M, 1, 1.5),
    "sendchain_negative_seed": lambda: hfchain.sendchain(M, 1, -1),
    "sendchain_few_frames": lambda: hfchain.sendchain(M, 0.01, 1),
    "sendchain_nan_frames": lambda: hfchain.sendchain(M, np.nan, 1),
    "pulseshaper_rolloff": lambda: hfchain.pulseshaper(X, hfchain.VarShapping(2, 6, 5)),
    "pulseshaper_nan_rolloff": lambda: hfchain.pulseshaper(X, hfchain.VarShapping(np.nan, 6, 5)),
    "pulseshaper_few_symbols": lambda: hfchain.pulseshaper(np.zeros(12), VS),
    "pulsematch_rolloff": lambda: hfchain.pulsematch(X, hfchain.VarShapping(0, 6, 5)),
    "fadesim_model": lambda: hfchain.fadesim(X, hfchain.VarWatterson("Bom", 10, 1), VS),
    "fadesim_oversampling": lambda: hfchain.fadesim(X, hfchain.VarWatterson("bom", 10, 1),
                                                    hfchain.VarShapping(0.35, 6, 3)),
    "fadesim_seed": lambda: hfchain.fadesim(X, hfchain.VarWatterson("bom", 10, np.nan), VS),
    "tickalign_start": lambda: hfchain.tickalign(X5, 0.5, hfchain.VarShapping(0.5, 4, 4)),
    "tickalign_nan_start": lambda: hfchain.tickalign(X5, np.nan, hfchain.VarShapping(0.5, 4, 4)),
    "tickalign_short": lambda: hfchain.tickalign(np.zeros(100), 1, VS),
    "framelock_short": lambda: hfchain.framelock(np.zeros(100), M, VS),
    "unshuffle_4800": lambda: hfchain.unshuffle(BITS_5760, M4800),
    "unshuffle_length": lambda: hfchain.unshuffle(np.zeros(100), M),
    "symslicer_bits": lambda: hfchain.symslicer(X, {**M.to_dict(), "bitsToSym": np.nan}),
}


@pytest.mark.parametrize("case", list(BLOCK_ERRORS))
def test_block_errors_match_the_cpp_library(ref, case):
    identifier, message = ref.errors[case]
    assert identifier != "(no error)"
    with pytest.raises(hfchain.Error) as e:
        BLOCK_ERRORS[case]()
    assert (e.value.identifier, e.value.message) == (identifier, message)


def test_every_error_case_of_the_reference_is_tried(ref):
    from test_decoding import DECODING_ERRORS
    assert set(ref.errors) == set(BLOCK_ERRORS) | set(DECODING_ERRORS)


def test_error_pickles_and_constructs():
    import pickle
    e = pickle.loads(pickle.dumps(hfchain.Error("a:b", "text")))
    assert (type(e), e.identifier, e.message, str(e)) == (hfchain.Error, "a:b", "text", "text")
