"""hfchain: a fast, exact, block-by-block simulator of an HF serial-tone modem (2400 symbols/s,
data rates from 75 to 4800 bit/s).

Every block of the chain is a function taking and returning NumPy arrays: rateconf (the parameter
set of every rate), modeconf (that of 2400 bit/s), sendchain,
pulseshaper, fadesim, pulsematch, framelock, tickalign, unframer, symslicer, unshuffle; the
decoding blocks softslicer (soft demapper), patternslicer (soft detector of the 75 bit/s
patterns), vitdecode (Viterbi decoder) and sisodecode (soft-in/soft-out decoder); the HF receiver's freqlock (frequency offset), modelock (acquisition of any mode), blocklock (late entry), chansound (channel sounder), turboequal
(turbo equaliser) and patterntrack (its detector of the 75 bit/s patterns); geniecombine (the matched-filter bound). run_road runs the whole chain with the
receivers asked for and run_sweep measures decoded and coded-bit error rates against Es/N0 or
SNR in 3 kHz, as the `hfchain sweep` command does.

Arrays. A column is a 1-D array (an n x 1 array is accepted too), a matrix a 2-D array. Inputs
may have any layout and any dtype that converts without loss (bool, integers, float16 to
float64; complex64 and complex128 where complex values are taken); they are never modified.
Outputs are float64 or complex128 arrays that own their data. An input array is read in place
while the call runs (the GIL released): freeing or resizing it from another thread during the
call (ndarray.resize with refcheck=False, say) is undefined behaviour, which NumPy cannot guard
against; pass a copy when another thread may do so.

Structures (ModeParams, VarShapping, VarWatterson, RoadConfig, SweepConfig, RequirementsConfig,
the block outputs, Reception) are small classes with the C++ field names; a block also takes a
dict with exactly those fields (RoadConfig, SweepConfig, RequirementsConfig: any of them, the
others keeping their defaults), and to_dict() / from_dict() convert both ways. run_sweep,
crossings and requirements return a Table: columns of one length (pandas.DataFrame(t.columns))
and their metadata apart (t.meta).

Errors raise hfchain.Error (a ValueError) whose .identifier and .message are those of the C++
library; the blocks' own Portuguese messages have an empty identifier.

Random numbers. sendchain and fadesim seed the built-in generator (a Mersenne Twister) with the
seed they are given and give the generator's previous state back afterwards, so their results
depend on that seed alone. For a seed s >= 1 the generator's uniform draws equal NumPy's
RandomState(s).random_sample(), so the information bits of sendchain(milstd, nFrame, s) are
numpy.floor(2 * numpy.random.RandomState(s).random_sample(K)) with K the number of information
bits (the bits before the 144 flush zeros).

Every call releases the GIL while the C++ code runs. Ctrl-C raises KeyboardInterrupt: it abandons
sendchain, fadesim and run_road at their next check (they take the generator, through which the
C++ blocks look for interrupts), chansound and turboequal at their next stage, and stops a sweep
cleanly; the other blocks finish their call first.
"""

import math
import os
from typing import Any, Callable, Mapping, Sequence

import numpy as np
import numpy.typing as npt

RealIn = npt.ArrayLike
ComplexIn = npt.ArrayLike
Float64Array = npt.NDArray[np.float64]
Complex128Array = npt.NDArray[np.complex128]

__version__: str

class Error(ValueError):
    """A failure of a block or of an argument check: .identifier (for example
    "hfchain:runtime:IndexOutOfBounds", empty for a block's own message) and .message."""

    identifier: str
    message: str
    def __init__(self, identifier: str, message: str) -> None: ...

# --- the generator -------------------------------------------------------------------------------

class RngSettings:
    """Saved generator settings (the whole state), from BuiltinHost.seed_twister or settings()."""

class BuiltinHost:
    """The built-in generator: a seeded 32-bit Mersenne Twister.

    Blocks that draw random numbers take one as `host` (a fresh one when None). They seed it for
    the call and give its previous settings back on every exit, so a block's result depends only
    on the seed it is given. For a seed s >= 1, rand() equals NumPy's
    RandomState(s).random_sample() and randn() RandomState(s).standard_normal(); seed 0 stands for
    the generator's own default 5489. A host may be shared between threads: calls on it run one at
    a time."""

    def __init__(self, seed: float | None = None) -> None:
        """A generator seeded with `seed` (a whole number from 0 to 4294967295), or with the
        default seed when None."""
    def seed_twister(self, seed: float) -> RngSettings:
        """Restarts the stream from `seed` (a whole number from 0 to 4294967295) and returns the
        settings in force before."""
    def restore(self, settings: RngSettings) -> None:
        """Puts back settings returned by seed_twister or settings()."""
    def settings(self) -> RngSettings:
        """The current settings."""
    def rand(self, n: float) -> Float64Array:
        """The next n uniform draws on the open interval (0, 1), as a 1-D array."""
    def randn(self, rows: float, cols: float = 1) -> Float64Array:
        """The next rows * cols standard normal draws, filled column by column: a 1-D array when
        cols is 1, else rows x cols."""

# --- structures ----------------------------------------------------------------------------------

class ModeParams:
    """The modem's parameter set `milstd`, as built by rateconf (every rate) or modeconf (2400
    bit/s)."""

    rate: float
    """Data rate in bit/s: 75, 150, 300, 600, 1200, 2400 or 4800 (4800 sends the bits uncoded, 75
    as 32-symbol patterns)."""
    interl: float
    """Interleaver length in seconds (0.6 or 4.8)."""
    interTable: Float64Array
    """Interleaver permutation, a column of T entries: entry k is the 1-based input position of
    the k-th output bit."""
    chSymMapping: Float64Array
    """Channel-symbol patterns, at most 32 x 8: column v+1 is the pattern of the 3-bit value v."""
    bitsToSym: float
    """Bits per channel symbol: 3 (8-PSK), 2 (4-PSK; at 75 bit/s, a pattern's value) or 1 (2-PSK)."""
    repFactor: float
    """Repetition factor of the coded bits (2 at 300 bit/s, 4 at 150 bit/s, else 1)."""
    preamSync: Float64Array
    """The unscrambled preamble, a row (1 x 480 nSeg) of symbol numbers 0 or 4."""
    trein: float
    """Probe symbols per frame (16 at 4800 and 2400 bit/s, 20 from 1200 to 150, 0 at 75)."""
    data: float
    """Data symbols per frame (32 at 4800, 2400 and 75 bit/s, 20 from 1200 to 150)."""
    probe: Float64Array
    """The two probe patterns closing each interleaver block, trein x 2 (at most 20 x 2)."""
    def __init__(self, rate: float = 2400, interl: float = 0.6, interTable: RealIn = ..., chSymMapping: RealIn = ..., bitsToSym: float = 3, repFactor: float = 1, preamSync: RealIn = ..., trein: float = 16, data: float = 32, probe: RealIn = ...) -> None:
        """Fields not given take their defaults (arrays empty); rateconf builds a complete one."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> ModeParams: ...

class VarShapping:
    """The pulse-shaping parameters `varShapping`."""

    rolloffFactor: float
    """Excess-bandwidth factor alpha of the root-raised cosine, in (0, 1]."""
    pulseDelay: float
    """Half-length D of the pulse, in symbol periods."""
    oversamplingFactor: float
    """Samples per symbol M."""
    def __init__(self, rolloffFactor: float = 0.35, pulseDelay: float = 6, oversamplingFactor: float = 5) -> None:
        """Fields not given take their defaults."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> VarShapping: ...

class VarWatterson:
    """The channel parameters `varWatterson`."""

    model: str
    """Condition: "bom", "moderado", "ruim" or "muito_ruim" (at most 50 characters)."""
    EsNodB: float
    """Es/N0 in dB (+inf: no noise)."""
    seed: float
    """Seed of the channel's random draws, a whole number from 0 to 4294967295."""
    def __init__(self, model: str = "bom", EsNodB: float = 20, seed: float = 0) -> None:
        """Fields not given take their defaults."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> VarWatterson: ...

class SendchainOut:
    """Every intermediate signal of the transmitter (sendchain)."""

    BitInCodIn: Float64Array
    """Information bits, then 144 flush zeros and the padding zeros (column)."""
    CodOutInterIn: Float64Array
    """Coded bits, the interleaver's input (column)."""
    InterOutMapIn: Float64Array
    """Interleaved bits (column)."""
    MapOutMultiplexIn: Float64Array
    """Gray-mapped symbol values 0..7 (column)."""
    ComplexPSKSymbols: Complex128Array
    """Unscrambled data symbols on the 8-PSK constellation (column)."""
    ModConstellation: Complex128Array
    """The constellation, 8 points (column)."""
    ProbeInfo: Float64Array
    """1 at probe and marked preamble symbols, else 0 (column)."""
    MultiplexOut: Complex128Array
    """Transmitted symbols at 2400 symbols/s: scrambled preamble, then scrambled frames (column)."""
    def __init__(self, BitInCodIn: RealIn = ..., CodOutInterIn: RealIn = ..., InterOutMapIn: RealIn = ..., MapOutMultiplexIn: RealIn = ..., ComplexPSKSymbols: ComplexIn = ..., ModConstellation: ComplexIn = ..., ProbeInfo: RealIn = ..., MultiplexOut: ComplexIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> SendchainOut: ...

class PulseshaperOut:
    """Result of pulseshaper."""

    filter: Float64Array
    """The unit-energy transmit filter, 1 x N with N = 2 D M + 1 taps."""
    out: Complex128Array
    """The shaped waveform, M (L + 2 D) samples at M samples per symbol (column)."""
    def __init__(self, filter: RealIn = ..., out: ComplexIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> PulseshaperOut: ...

class FadesimOut:
    """Every intermediate signal of the channel (fadesim)."""

    raios: Complex128Array
    """Ray gains, L x 2 (one row per input sample)."""
    RER: float
    """Differential delay tau of the second ray, in seconds."""
    ED: float
    """Doppler spread fd, in Hz."""
    WattersonOutAwgnIn: Complex128Array
    """The faded waveform, L + Dd samples (column)."""
    noise: Complex128Array
    """The added noise, L + Dd samples (column)."""
    AwgnOut: Complex128Array
    """The received waveform, faded plus noise, L + Dd samples (column)."""
    def __init__(self, raios: ComplexIn = ..., RER: float = 0, ED: float = 0, WattersonOutAwgnIn: ComplexIn = ..., noise: ComplexIn = ..., AwgnOut: ComplexIn = ...) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> FadesimOut: ...

class HfchannelOut:
    """Every intermediate signal of the general channel (hfchannel)."""

    raios: Complex128Array
    """Path gains, L x P (one row per input sample, Doppler shift included)."""
    delays: Float64Array
    """Path delays in samples, P (column)."""
    offset: float
    """The frequency offset of the whole signal, in Hz."""
    WattersonOutAwgnIn: Complex128Array
    """The faded (and offset) waveform, L + Dmax samples (column)."""
    noise: Complex128Array
    """The added noise, L + Dmax samples (column)."""
    AwgnOut: Complex128Array
    """The received waveform, L + Dmax samples (column)."""
    def __init__(self, raios: ComplexIn = ..., delays: RealIn = ..., offset: float = 0, WattersonOutAwgnIn: ComplexIn = ..., noise: ComplexIn = ..., AwgnOut: ComplexIn = ...) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> HfchannelOut: ...

class PulsematchOut:
    """Result of pulsematch."""

    filter: Float64Array
    """The matched filter's taps, 1 x N."""
    filterDelay: float
    """Delay of one filter, in symbol periods (= pulseDelay)."""
    out: Complex128Array
    """The filtered waveform, L + N - 1 samples (column)."""
    def __init__(self, filter: RealIn = ..., filterDelay: float = 0, out: ComplexIn = ...) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> PulsematchOut: ...

class TickalignOut:
    """Result of tickalign."""

    out: Complex128Array
    """One sample per symbol (column)."""
    def __init__(self, out: ComplexIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> TickalignOut: ...

class UnframerOut:
    """Result of unframer."""

    out: Complex128Array
    """The received data symbols (column)."""
    def __init__(self, out: ComplexIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> UnframerOut: ...

class SymslicerOut:
    """Result of symslicer."""

    DemodOutDemapIn: Float64Array
    """Hard decisions: symbol numbers (column)."""
    DemapOut: Float64Array
    """Gray-demapped bits, bitsToSym per decision, most significant first (column)."""
    def __init__(self, DemodOutDemapIn: RealIn = ..., DemapOut: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> SymslicerOut: ...

class UnshuffleOut:
    """Result of unshuffle."""

    out: Float64Array
    """Bits in encoder order (column)."""
    def __init__(self, out: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> UnshuffleOut: ...

class SoftslicerOut:
    """Result of softslicer."""

    LLR: Float64Array
    """Log-likelihood ratios ln P(bit = 0 | y) / P(bit = 1 | y) (nats; positive favours 0),
    bitsToSym per symbol, most significant first: symslicer's bit order (column)."""
    def __init__(self, LLR: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> SoftslicerOut: ...

class PatternslicerOut:
    """Result of patternslicer."""

    LLR: Float64Array
    """Log-likelihood ratios ln P(bit = 0 | y) / P(bit = 1 | y) (nats; positive favours 0) of the
    two coded bits of each 32-symbol block, first bit first: symslicer's bit order (column)."""
    Correlations: Complex128Array
    """4 x B: each block's correlations sum y conj(s) with the patterns of values 0..3 of its own
    set (rows), the alternate set on every 45th (0.6 s) or 360th (4.8 s) block."""
    def __init__(self, LLR: RealIn = ..., Correlations: ComplexIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> PatternslicerOut: ...

class VitdecodeOut:
    """Result of vitdecode."""

    DecodOut: Float64Array
    """Decoded encoder-input bits (0/1), as many as sendchain's BitInCodIn: information, flush
    and padding bits (column)."""
    InfoBits: Float64Array
    """The first K of them: the decoded information bits (column)."""
    def __init__(self, DecodOut: RealIn = ..., InfoBits: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> VitdecodeOut: ...

class SisodecodeOut:
    """Result of sisodecode."""

    Extrinsic: Float64Array
    """Extrinsic LLRs of the 2 N coded bits (nats, positive favours 0), encoder order: what the
    code says about each bit beyond its own input ratio (column)."""
    InfoLLR: Float64Array
    """A-posteriori LLRs of the N encoder-input bits, BitInCodIn's order (column)."""
    InfoBits: Float64Array
    """The K decided information bits, 0 or 1 (column)."""
    def __init__(self, Extrinsic: RealIn = ..., InfoLLR: RealIn = ..., InfoBits: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> SisodecodeOut: ...

class ChansoundOut:
    """Result of chansound: where the transmission starts, the propagation paths it arrived on,
    and their gains over time; turboequal takes it back as its `sounding`. r paths, L taps, Ny
    symbol-rate samples, E frame-long estimation windows."""

    start: float
    """1-based matched-filter sample read as out[0]."""
    delays: Float64Array
    """1-based matched-filter sample at which each path's pulse of the first transmitted symbol
    peaks, r values (column)."""
    basis: Complex128Array
    """Each path's composite pulse at the L symbol-spaced taps, L x r (a 1-D array of L values
    when there is one path)."""
    out: Complex128Array
    """Matched-filter samples, one a symbol from `start`: Ny = symbols + L - 1 (column)."""
    gains: Complex128Array
    """Smoothed complex gain of each path at each sample, r x Ny."""
    gainVar: Float64Array
    """Error variance of those gains, r x Ny."""
    pathPower: Float64Array
    """Mean power of each path, r values (column)."""
    windowGains: Complex128Array
    """Gains estimated in each frame-long window, r x E."""
    windowVar: Float64Array
    """Their error variances, r x E (inf: no estimate)."""
    windowTime: Float64Array
    """Sample (0-based, in `out`) each window estimate belongs to, E values (column)."""
    noiseVar: float
    """Noise variance of `out` (the same unit as |out|^2)."""
    doppler: float
    """Doppler spread assumed by the smoother, in Hz."""
    frames: float
    """Frames after the preamble."""
    profile: Float64Array
    """Estimated power of the response at each sample delay of the search span, Q values
    (column)."""
    profileStart: float
    """1-based matched-filter sample at which the first symbol would peak for profile[0]."""
    def __init__(self, start: float = 0, delays: RealIn = ..., basis: ComplexIn = ..., out: ComplexIn = ..., gains: ComplexIn = ..., gainVar: RealIn = ..., pathPower: RealIn = ..., windowGains: ComplexIn = ..., windowVar: RealIn = ..., windowTime: RealIn = ..., noiseVar: float = 0, doppler: float = 0, frames: float = 0, profile: RealIn = ..., profileStart: float = 0) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> ChansoundOut: ...

class TurboequalOut:
    """Result of turboequal."""

    out: Complex128Array
    """Equalised data symbols of the last pass, N = frames x data: descrambled and unbiased, the
    Gray-mapped unit-energy 8-PSK point plus an error (column)."""
    noiseVar: Float64Array
    """Error variance of each, N values (column): softslicer's noiseVar."""
    gains: Complex128Array
    """Path gains the last pass used, r x Ny."""
    gainVar: Float64Array
    """Their error variances, r x Ny."""
    doppler: float
    """Doppler spread of the last channel estimate, in Hz."""
    passes: float
    """Equaliser passes run: iterations + 1, fewer when the loop stops early (its decisions
    settled)."""
    def __init__(self, out: ComplexIn = ..., noiseVar: RealIn = ..., gains: ComplexIn = ..., gainVar: RealIn = ..., doppler: float = 0, passes: float = 0) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> TurboequalOut: ...

class PatterntrackOut:
    """Result of patterntrack."""

    LLR: Float64Array
    """Coded-bit ratios of the last pass, 2 B values for B 32-symbol blocks, block by block
    (positive favours 0) (column)."""
    noncoherentLLR: Float64Array
    """Those of the noncoherent pass, which combines the paths without their phases (column)."""
    out: Complex128Array
    """Channel-matched-filter output of each data symbol of the last pass, descrambled, unit
    gain, N = 32 B values (column)."""
    noiseVar: Float64Array
    """Its error variance (noise and the other blocks), N values (column)."""
    gains: Complex128Array
    """Path gains of the last track, r x Ny."""
    gainVar: Float64Array
    """Their error variances, r x Ny."""
    doppler: float
    """Doppler spread of the last track, in Hz."""
    passes: float
    """Coherent passes run."""
    def __init__(self, LLR: RealIn = ..., noncoherentLLR: RealIn = ..., out: ComplexIn = ..., noiseVar: RealIn = ..., gains: ComplexIn = ..., gainVar: RealIn = ..., doppler: float = 0, passes: float = 0) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> PatterntrackOut: ...

class GeniecombineOut:
    """Result of geniecombine."""

    out: Complex128Array
    """Data symbols as the genie sees them, N = frames x data: descrambled, unit gain (column)."""
    noiseVar: Float64Array
    """Error variance of each, N0 / g^2 (at least the smallest normal double), N values
    (column)."""
    gain: Float64Array
    """Combined gain g = sqrt(|h1|^2 + |h2|^2) of the two rays at each data symbol (column)."""
    def __init__(self, out: ComplexIn = ..., noiseVar: RealIn = ..., gain: RealIn = ...) -> None:
        """Fields not given are empty."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> GeniecombineOut: ...

class FreqlockOut:
    """Result of freqlock: the frequency offset of the received signal, the matched-filter output
    turned back by it, and framelock's start there."""

    start: Float64Array
    """framelock's 1-based start in out (1 element), or empty when nothing correlates (column)."""
    offset: float
    """The estimated frequency offset, Hz, by which out is turned back."""
    coarseOffset: float
    """The coarse search's estimate, Hz."""
    coarseStart: float
    """The coarse search's window, 1-based sample of the input."""
    out: Complex128Array
    """The matched-filter output turned back: x(n) exp(-j 2 pi offset n / (2400 M)) (column)."""
    def __init__(self, start: RealIn = ..., offset: float = 0, coarseOffset: float = 0, coarseStart: float = 0, out: ComplexIn = ...) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> FreqlockOut: ...

class BlocklockOut:
    """Result of blocklock: what a receiver entering after the preamble finds of the
    transmission."""

    found: bool
    """Frames reached the threshold and a block boundary was read."""
    score: float
    """The frames' detection score (noise alone stays near 3)."""
    offset: float
    """The frequency offset, Hz."""
    mode: int
    """The mode read, an index into the program's mode list (0: 4800 bit/s .. 12: 75 bit/s with
    4.8 s), -1 when none was read."""
    confidence: float
    """0..1: how surely the closing frames name that mode rather than the next likeliest."""
    blockStart: float
    """1-based sample of the first symbol of the first block that starts within the input (its
    strongest path), 0 when none was read."""
    def __init__(self, found: bool = False, score: float = 0, offset: float = 0, mode: int = -1, confidence: float = 0, blockStart: float = 0) -> None:
        """Fields not given are 0 (mode -1)."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> BlocklockOut: ...

class ImpulseblankOut:
    """The impulse blanker's finding on the received signal (RoadResult.blanking): samples far
    above the signal's robust level are set to 0 before the matched filter."""

    samples: npt.NDArray[np.int64]
    """0-based positions of the blanked samples, ascending (int64)."""
    level: float
    """L, the top of the power-of-two range holding the median of |x|^2 over every third sample
    (0: none); a sample is blanked when |x|^2 exceeds 900 L."""
    peak: float
    """The largest |x|^2 over L (0 without a level)."""
    def __init__(self, samples: npt.ArrayLike = ..., level: float = 0, peak: float = 0) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> ImpulseblankOut: ...

class Reception:
    """What a decoding receiver of run_road ("baseline", "hf" or "genie") makes of the
    transmission."""

    ran: bool
    """The receiver was asked for and reached the decoder."""
    symbols: Complex128Array
    """Data symbols, descrambled: equalised, unit gain ("hf", "genie"); unframer's as they are
    ("baseline") (column)."""
    noiseVar: Float64Array
    """Their error variances ("baseline": one value, the symbols' spread around their decisions)
    (column)."""
    soft: SoftslicerOut
    """Coded-bit LLRs in transmission order."""
    deinterleaved: UnshuffleOut
    """The LLRs in encoder order."""
    decoded: VitdecodeOut
    """Decoded encoder-input bits and information bits."""
    codedBits: int
    """Coded bits compared."""
    codedBitErrors: int
    """LLR signs that differ from tx.CodOutInterIn (missing ones counted as errors)."""
    infoBits: int
    """Information bits compared."""
    infoBitErrors: int
    """Decoded information bits that differ from the sent ones (missing ones counted as
    errors)."""
    blocks: int
    """Interleaver blocks holding information bits (a partial last block counts as one)."""
    blockErrors: int
    """Of those, the blocks with at least one wrong (or missing) information bit."""
    def __init__(self, ran: bool = False, symbols: ComplexIn = ..., noiseVar: RealIn = ..., soft: SoftslicerOut | Mapping[str, Any] = ..., deinterleaved: UnshuffleOut | Mapping[str, Any] = ..., decoded: VitdecodeOut | Mapping[str, Any] = ..., codedBits: int = 0, codedBitErrors: int = 0, infoBits: int = 0, infoBitErrors: int = 0, blocks: int = 0, blockErrors: int = 0) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> Reception: ...

class RoadConfig:
    """What run_road simulates."""

    nFrame: float
    """Interleaver blocks of data."""
    txSeed: float
    """Seed of the information bits, a whole number from 0 to 4294967295."""
    shaping: VarShapping
    """Pulse shaping of the transmitter and the matched filter."""
    channel: str
    """The channel's name: "none" (the shaped waveform reaches the receiver unchanged), "awgn"
    (white noise only), or any preset or written channel read_channel reads, for example "ruim",
    "itu_mid_disturbed" or "2p:2ms:1Hz:off=30Hz", run through the general channel (hfchannel;
    fadesim's four conditions give fadesim's signals bit for bit). Read when run_road runs.
    Earlier versions' fields are still read from a dict, from_dict and keyword arguments:
    channel="watterson" or "hfchannel" with watterson=VarWatterson(model, EsNodB, seed) is
    channel=model, EsNodB=EsNodB, channelSeed=seed (without watterson, the channel "bom")."""
    EsNodB: float
    """Es/N0 of the channel's noise in dB (+inf: no noise; not read for "none")."""
    channelSeed: float
    """Seed of the channel's draws (fading, then noise), a whole number from 0 to 4294967295."""
    receivers: list[str]
    """Receivers that run on the same received signal: "baseline" (hard decisions without an
    equaliser: tickalign, unframer, symslicer, unshuffle; and decoding at every rate), "hf"
    (chansound, turboequal, softslicer, unshuffle, vitdecode) and "genie" (geniecombine,
    softslicer, unshuffle, vitdecode), all three at every rate; a single str names one."""
    iterations: float
    """Decoder passes of the HF receiver's turbo loop, a whole number from 0 to 10."""
    softRule: str
    """The soft demappers' rule for every receiver: "max_log" or "exact" (see softslicer and,
    at 75 bit/s, patternslicer)."""
    impulses: list[tuple[int, complex]]
    """Received samples replaced after the channel (a static crash, an impulse), as (sample,
    size) pairs: sample `sample` (0-based) of the received signal becomes `size` (a complex
    number) times the received signal's RMS, the channel's noise taking the difference so that
    the genie sees it too. Default: none. Needs a channel (not "none"); a sample outside the
    received signal raises "hfchain:road:ImpulseOutside"."""
    def __init__(self, nFrame: float = 1, txSeed: float = 1, shaping: VarShapping | Mapping[str, Any] = ..., channel: str = "none", EsNodB: float = 20, channelSeed: float = 0, receivers: Sequence[str] | str = ..., iterations: float = 2, softRule: str = "max_log", impulses: Sequence[tuple[int, complex]] = ...) -> None:
        """Fields not given take their defaults; a dict may give any of the fields too."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> RoadConfig: ...

class RoadResult:
    """Every intermediate signal of one transmission through the whole chain (run_road)."""

    tx: SendchainOut
    """The transmitter's signals."""
    shaped: PulseshaperOut
    """The shaped waveform."""
    faded: HfchannelOut
    """The channel's signals, those of hfchannel (channel "awgn": noise and AwgnOut only; "none":
    empty)."""
    matched: PulsematchOut
    """The matched filter's output."""
    frameStart: Float64Array
    """framelock's result: the start sample (1 element), or empty when nothing correlates."""
    expectedFrameStart: float
    """2 D M + 1, where the first symbol peaks without channel delay."""
    symbols: TickalignOut
    """The symbol-rate samples."""
    data: UnframerOut
    """The received data symbols."""
    demod: SymslicerOut
    """Decisions and bits."""
    deinterleaved: UnshuffleOut
    """The received coded bits in encoder order."""
    frameFound: bool
    """framelock returned a start."""
    codedBits: int
    """Coded bits compared (the length of tx.CodOutInterIn)."""
    codedBitErrors: int
    """Received coded bits that differ from the sent ones, missing ones counted as errors."""
    locked: FreqlockOut
    """"hf": the frequency offset (Hz), the matched-filter output turned back by it, the start."""
    sounding: ChansoundOut
    """"hf": synchronisation, paths and their gains."""
    equalised: TurboequalOut
    """"hf": equalised data symbols and the final channel estimate."""
    patterns: PatterntrackOut
    """"hf" at 75 bit/s: the pattern detector's ratios and track."""
    genieView: GeniecombineOut
    """"genie": the data symbols through the combined ray gain."""
    baseline: Reception
    """The baseline receiver's decoding, from data (ran is False when not asked for or without
    a frame start); at 4800 bit/s its decoded bits are the hard decisions."""
    hf: Reception
    """The HF receiver's decoding (ran is False when not asked for)."""
    genie: Reception
    """The genie's decoding (ran is False when not asked for)."""
    blanking: ImpulseblankOut
    """The received samples set to 0 before the matched filter (and in the genie's noise); the
    data symbols they reach are erasures for every receiver."""
    def __init__(self, tx: SendchainOut | Mapping[str, Any] = ..., shaped: PulseshaperOut | Mapping[str, Any] = ..., faded: FadesimOut | Mapping[str, Any] = ..., matched: PulsematchOut | Mapping[str, Any] = ..., frameStart: RealIn = ..., expectedFrameStart: float = 0, symbols: TickalignOut | Mapping[str, Any] = ..., data: UnframerOut | Mapping[str, Any] = ..., demod: SymslicerOut | Mapping[str, Any] = ..., deinterleaved: UnshuffleOut | Mapping[str, Any] = ..., frameFound: bool = False, codedBits: int = 0, codedBitErrors: int = 0, locked: FreqlockOut | Mapping[str, Any] = ..., sounding: ChansoundOut | Mapping[str, Any] = ..., equalised: TurboequalOut | Mapping[str, Any] = ..., patterns: PatterntrackOut | Mapping[str, Any] = ..., genieView: GeniecombineOut | Mapping[str, Any] = ..., baseline: Reception | Mapping[str, Any] = ..., hf: Reception | Mapping[str, Any] = ..., genie: Reception | Mapping[str, Any] = ..., blanking: ImpulseblankOut | Mapping[str, Any] = ...) -> None:
        """Fields not given are empty or 0."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> RoadResult: ...

class SweepConfig:
    """What run_sweep measures: error rates against Es/N0 or SNR in 3 kHz for channel conditions
    and receivers, every point from its own trials. The fields and their defaults are those of the
    `hfchain sweep` command (the main job); a dict may give any of them."""

    interLen: float
    """Interleaver length in seconds (0.6 or 4.8; default 4.8, where fading curves are judged)."""
    nFrame: float
    """Interleaver blocks per trial at every rate (above 0, at most 10000, giving a whole number of
    information bits at each rate); 0, the default: at each rate the fewest whole blocks that carry
    information bits (1 from 300 to 4800 bit/s; with 0.6 s, 2 at 150 and 4 at 75 bit/s)."""
    shaping: VarShapping
    """Pulse shaping (pulseDelay and oversamplingFactor whole numbers from 1 to 64)."""
    conditions: list[str]
    """Conditions: "bom", "moderado", "ruim", "muito_ruim" (Watterson) and "awgn" (white noise
    only), each once; a single str names one. Default: all five."""
    esno: Float64Array | None
    """The points as Es/N0 in dB (finite, from -200 to 200), or None."""
    snr3k: Float64Array | None
    """Instead of esno: the points as SNR in a 3 kHz bandwidth in dB (Es/N0 = SNR + 0.97 dB at
    2400 symbols/s). With neither given, SNR 0, 2, ..., 20 dB; giving both is refused."""
    receivers: list[str]
    """Receivers, each counted on the same transmissions: "baseline" (hard decisions, no
    equaliser), "hf" (channel sounding, turbo equalisation) and "genie" (told the ray gains: the
    bound); a single str names one. Default: ["hf", "genie"]."""
    metric: str
    """What the stop rule counts: "decoded" (information bits, the default) or "coded" (coded
    bits' hard decisions); or "acquisition": no receiver runs, each trial searches its signal for
    a transmission of any mode, and the result's columns are the shares found right, with the
    wrong mode or missed, and the false detections per hour (docs/acquisition-measured.md). Its
    stop rule counts trials: minTrials, minEvents and maxBits left at their defaults become 100,
    100 failed trials and 2000 trials."""
    stopOn: str
    """Whose errors the stop rule counts: "first" (the first receiver's, the default) or "all"
    (each receiver's: a point stops once every one has enough)."""
    minTrials: int
    """Trials a point runs at least (fading realisations; default 80), before it stops once ..."""
    minEvents: int
    """... this many trials had a wrong bit of the metric (error events; default 500, which makes
    a point's interval about +-20 % on fading) ..."""
    minErrors: int
    """... and this many bits were wrong (default 1), or ..."""
    maxBits: int
    """... its bits of the metric reach this (default 1000000)."""
    floor: float
    """A condition's curve ends after its first point at which every receiver's rate is below
    this (the points must then ascend); 0, the default: no floor."""
    seed: int
    """Base seed of every trial's seeds (0 to 4294967295); see trial_seeds."""
    threads: int
    """Worker threads (0 to 256); 0 = one per core, fewer when memory would not hold them.
    Results do not depend on it."""
    rates: list[float]
    """Data rates in bit/s, each with its own curves: 4800, 2400, 1200, 600, 300, 150, 75, each
    once (default [2400]). Every receiver runs at every rate; 4800 bit/s has only the 0.6 s
    interleaver. Any rate but 2400 alone adds a `rate` column to the result."""
    audioRate: float
    """Send every trial through the air at this sound card's sample rate (8000 to 192000):
    audio around 1800 Hz, real noise at the point's SNR in its band, the receiver's clock tracked
    and taken out; the same trials as in baseband. 0, the default: in baseband."""
    clockPpm: float
    """With audioRate: the receiver's sound card's clock runs this many parts per million faster
    than the sender's (-1000 to 1000; default 0)."""
    impulses: list[float]
    """With audioRate: static crashes on the received audio, [bursts a second, level in dBFS (RMS
    at the onset)], added after the noise as hfchain.audio_channel's impulses; the genie counts
    them as noise. Empty, the default: none."""
    offsetHz: float
    """With metric "acquisition": each trial's frequency offset is drawn within +-offsetHz (0 to
    150; default 75)."""
    late: str
    """Where the receiver starts listening: "none" (the default: before the transmission),
    "preamble" (metric "acquisition": at a random sample of the preamble) or "data" (at a random
    sample of the data of a block that, like the next, holds information bits; nFrame 0 (3 blocks,
    4 at 150 and 6 at 75 bit/s with 0.6 s) or a whole number of at least that: with metric
    "acquisition" finding a block start and the mode, with metric "decoded" and receivers
    ["hf"] decoding the next whole block, 150 bit/s and up)."""
    noiseSeconds: float
    """With metric "acquisition": above 0, trials of this many seconds (1 to 3600) of noise
    without a transmission, counting false detections per hour; 0, the default: transmissions."""
    def __init__(self, interLen: float = 4.8, nFrame: float = 0, shaping: VarShapping | Mapping[str, Any] = ..., conditions: Sequence[str] | str = ..., esno: RealIn | None = None, snr3k: RealIn | None = None, receivers: Sequence[str] | str = ..., metric: str = "decoded", stopOn: str = "first", minTrials: int = 80, minEvents: int = 500, minErrors: int = 1, maxBits: int = 1000000, floor: float = 0, seed: int = 1, threads: int = 0, rates: Sequence[float] = ..., audioRate: float = 0, clockPpm: float = 0, impulses: Sequence[float] = ..., offsetHz: float = 75, late: str = "none", noiseSeconds: float = 0) -> None:
        """Fields not given take the defaults of the `hfchain sweep` command."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> SweepConfig: ...

class RequirementsConfig:
    """What requirements searches: the rows of the minimum-performance table and each point's
    budget. The fields and their defaults are those of the `hfchain requirements` command; a dict
    may give any of them."""

    interLen: float
    """Interleaver length in seconds (0.6 or 4.8; default 4.8; 4800 bit/s runs 0.6 s, its only
    one)."""
    nFrame: float
    """Interleaver blocks per trial at every rate; 0, the default: at each rate the fewest whole
    blocks that carry information bits."""
    shaping: VarShapping
    """Pulse shaping."""
    receivers: list[str]
    """Receivers whose crossings are searched: "hf", "genie", "baseline" (the first one's errors
    drive the stop rule); default ["hf", "genie"]."""
    stopOn: str
    """Whose errors each point's stop rule counts: "first" (default) or "all"."""
    minTrials: int
    """Trials a point runs at least (default 20), before it stops once ..."""
    minEvents: int
    """... this many trials had a wrong decoded bit (default 100) ..."""
    minErrors: int
    """... and this many bits were wrong (default 1), or ..."""
    maxBits: int
    """... its information bits reach this (default 400000)."""
    seed: int
    """Base seed of every trial's seeds (0 to 4294967295): a point equals run_sweep's point at the
    same Es/N0, seed and stop rule."""
    threads: int
    """Worker threads (0: one per core, fewer when memory would not hold them)."""
    rows: npt.NDArray[np.int64]
    """Rows to run, by number (see requirement_rows); empty, the default: all."""
    resolution: float
    """The bisection stops at a bracket this wide, in dB (default 0.3)."""
    step: float
    """The steps from the required SNR that look for a bracket, in dB (default 2)."""
    lowest: float
    """Lowest SNR in 3 kHz searched, in dB (default -10)."""
    highest: float
    """Highest SNR in 3 kHz searched, in dB (default 40)."""
    def __init__(self, interLen: float = 4.8, nFrame: float = 0, shaping: VarShapping | Mapping[str, Any] = ..., receivers: Sequence[str] | str = ..., stopOn: str = "first", minTrials: int = 20, minEvents: int = 100, minErrors: int = 1, maxBits: int = 400000, seed: int = 1, threads: int = 0, rows: Sequence[int] = ..., resolution: float = 0.3, step: float = 2, lowest: float = -10, highest: float = 40) -> None:
        """Fields not given take the defaults of the `hfchain requirements` command."""
    def to_dict(self) -> dict[str, Any]: ...
    @staticmethod
    def from_dict(d: Mapping[str, Any]) -> RequirementsConfig: ...

class Table(dict[str, Any]):
    """What run_sweep, crossings, requirements and requirement_rows return: columns of one
    length each (NumPy arrays, one element per row; counts int64, rates and levels float64,
    names str) and the metadata about them, apart. pandas.DataFrame(table.columns), or
    table.to_frame(), is the table; table.meta holds the rest. The table is also a dict of both,
    the form run_sweep returned before (table["ber"], table["interrupted"]). A run_sweep result
    also carries the sweep's points for crossings(); a pickled or copied one keeps the columns
    and the metadata only."""

    columns: dict[str, npt.NDArray[Any]]
    meta: dict[str, Any]
    def __init__(self, columns: Mapping[str, Any], meta: Mapping[str, Any], points: Any = None) -> None: ...
    def to_frame(self) -> Any:
        """The columns as a pandas.DataFrame."""
    def copy(self) -> Table: ...

# --- the blocks ----------------------------------------------------------------------------------

def modeconf(interLen: float) -> ModeParams:
    """The parameter set `milstd` of the 2400 bit/s mode with an interleaver of interLen seconds.

    interLen: 0.6 or 4.8 (compared exactly); any other value raises the index error naming
    `numRow`. The same set as rateconf(2400, interLen)."""

def rateconf(rate: float, interLen: float) -> ModeParams:
    """The parameter set `milstd` of any data rate with an interleaver of interLen seconds.

    rate: 75, 150, 300, 600, 1200, 2400 or 4800 bit/s (compared exactly). 4800: 8-PSK, uncoded,
        frames of 32 data + 16 probe symbols; 2400: 8-PSK, rate-1/2 code, 32 + 16; 1200: 4-PSK,
        20 + 20; 600: 2-PSK, 20 + 20; 300 and 150: 2-PSK with each coded bit sent 2 and 4 times,
        20 + 20; 75: each pair of coded bits sent as one of four 32-symbol patterns, no probes.
    interLen: 0.6 or 4.8 seconds (compared exactly); 4800 bit/s has only 0.6. An interleaver
        block holds interLen seconds of coded bits (interLen x rate x 2 x repFactor; interLen x
        rate at 4800 bit/s).
    rateconf(2400, interLen) equals modeconf(interLen).
    Errors: "hfchain:params:UnknownRate", "hfchain:params:UnknownInterleaver",
    "hfchain:params:NoLongInterleaver" (4800 bit/s with 4.8 s)."""

def sendchain(milstd: ModeParams | Mapping[str, Any], nFrame: float, seed: float, host: BuiltinHost | None = None) -> SendchainOut:
    """One complete transmission of the serial-tone waveform, every intermediate signal kept.

    milstd: the parameter set (rateconf, modeconf); rate 4800 sends the bits uncoded and not
        interleaved, 75 sends each value as a 32-symbol pattern without probes.
    nFrame: interleaver blocks of data; need not be whole (the last block is padded with zeros).
    seed: seed of the information bits, a whole number from 0 to 4294967295. The
        K = T nFrame / (2 repFactor) - 144 information bits (T bits per interleaver block;
        K = T nFrame / repFactor - 144 at 4800 bit/s) are floor(2 u) of K uniform draws u;
        for seed >= 1 these equal numpy.random.RandomState(seed).random_sample(K).
    host: the generator (BuiltinHost); seeded for the call and given back as it was.
    Returns a SendchainOut; MultiplexOut is the transmitted symbol column at 2400 symbols/s.
    Errors: "hfchain:host:InvalidSeed"; the message "Erro: Total de frames insuficientes para
    transmissao" (no information bit); size, reshape and index checks naming the variable."""

def pulseshaper(ShappingIn: ComplexIn, varShapping: VarShapping | Mapping[str, Any]) -> PulseshaperOut:
    """Zero-stuffs the symbols to M samples per symbol and filters them with the unit-energy
    root-raised cosine (full convolution).

    ShappingIn: L symbols, one per symbol period (complex column).
    varShapping: rolloffFactor alpha in (0, 1], pulseDelay D (symbol periods),
        oversamplingFactor M (samples per symbol); the filter has 2 D M + 1 taps.
    Returns filter (1 x N) and out (M (L + 2 D) samples); symbol k (1-based) peaks at sample
    1 + (k - 1) M + D M.
    Errors: "ERRO! Fator de rolloff invalido." for alpha outside (0, 1] or NaN; integer, sign and
    size checks; "Coder:toolbox:conv_dynamicVectorOrientation" for too few symbols."""

def fadesim(WattersonIn: ComplexIn, varWatterson: VarWatterson | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any], host: BuiltinHost | None = None) -> FadesimOut:
    """The two-ray Watterson HF channel of a named condition plus complex white Gaussian noise.

    WattersonIn: L samples at M = varShapping.oversamplingFactor samples per symbol, 2400 symbols
        per second (complex column).
    varWatterson: model ("bom" 0.5 ms / 0.1 Hz, "moderado" 1 ms / 0.5 Hz, "ruim" 2 ms / 1 Hz,
        "muito_ruim" 5 ms / 5 Hz: differential delay / Doppler spread), EsNodB (dB; noise of
        variance 10^(-EsNodB/10) per sample, none for +inf) and seed (0 to 4294967295).
    varShapping: oversamplingFactor M (samples per symbol).
    host: the generator (BuiltinHost); seeded with varWatterson.seed for the call and given back
        as it was.
    Returns raios (L x 2 ray gains), RER (s), ED (Hz), and the faded waveform, noise and received
    waveform, each L + Dd samples with Dd = 2400 M tau.
    Errors: "ERRO! Tipo de canal Watterson invalido." for an unknown model (exact, case-sensitive);
    "ERRO! Superamostragem incompativel com o atraso entre raios Watterson desejado." when
    2400 M tau is not whole; "hfchain:host:InvalidSeed"."""

def hfchannel(x: ComplexIn, channel: str | RealIn, EsNodB: float, seed: float, varShapping: VarShapping | Mapping[str, Any], offset: float = 0, host: BuiltinHost | None = None) -> HfchannelOut:
    """The general Watterson HF channel: any number of paths, a frequency offset, white noise.

    x: L samples at M = varShapping.oversamplingFactor samples per symbol, 2400 symbols per second
        (complex column).
    channel: a preset's name or a written channel (as read_channel reads it), or a P x 4 matrix,
        one row per path: delay (s, a whole number of samples, 0 to 1 s), mean power (dB, absolute:
        E|g|^2 = 10^(power/10)), two-sided Doppler spread (Hz, fadesim's convention; 0 for a fixed
        path) and Doppler shift (Hz).
    EsNodB: Es/N0 in dB (noise of variance 10^(-EsNodB/10) per sample, none for +inf); SNR in 3 kHz
        is Es/N0 - 0.97 dB.
    seed: seed of the channel's draws (0 to 4294967295): each fading path draws three 1 x 20 rows
        in order, then the noise its real and imaginary columns.
    offset: frequency offset of the whole signal in Hz, -1000 to 1000 as the text's off=, added to
        a written channel's off=.
    host: the generator (BuiltinHost); seeded with `seed` for the call and given back as it was.
    Returns raios (L x P path gains), delays (samples), offset, and the faded waveform, noise and
    received waveform, each L + Dmax samples. With one of fadesim's conditions (by name, or its
    two -3 dB paths), no shift and no offset, it equals fadesim's outputs bit for bit.
    Errors, before any work: a call whose outputs need more memory than the machine has (a long
    input through many paths, or a delay of many samples), "hfchain:runtime:OutOfMemory"; those
    of the block.
    """

def read_channel(text: str) -> tuple[str, Float64Array, float]:
    """Reads a condition: a preset (bom, moderado, ruim, muito_ruim, itu_low_quiet, ...,
    itu_high_disturbed, awgn) or a written channel, Np:DELAY:SPREAD[:shift=F][:off=F] (N equal
    paths at delays 0, DELAY, 2 DELAY, ...) or paths=DELAY/POWER/SPREAD[/SHIFT]+...[:off=F]
    (powers in dB relative to each other); delays in ms, us or s, frequencies in Hz.

    Returns the canonical spelling (the one sweeps record and derive seeds from), the paths as
    hfchannel's P x 4 matrix (written channels share a total power of 1; presets have -3 dB per
    path) and the offset in Hz. Raises hfchain:channel:InvalidChannelText naming what is wrong.
    """

def audio_channel(audio: RealIn, sample_rate: float, channel: str, *, snr3k: float | None = None, noise_dbfs: float | None = None, offset: float = 0, clock_ppm: float = 0, impulses: tuple[float, float] | None = None, ssb_filter: bool | None = None, clip: float | None = None, seed: float = 0, carrier: float = 1800) -> tuple[Float64Array, dict[str, float]]:
    """Any audio through an HF channel, as `hfchain channel` does (docs/audio-channel.md).

    audio: the samples (full scale +-1) at sample_rate (8000 to 192000 Hz).
    channel: a preset, a written channel (as read_channel reads it) or awgn.
    snr3k: the SNR in 3 kHz in dB, against the signal part's power over the input's active part
        (its first to last sample above 2^-15), measured in a first run without noise; or
    noise_dbfs: the noise's power in 3 kHz in dBFS. Neither: no noise.
    offset: frequency offset in Hz (added to the channel's off=); clock_ppm: the receiving clock's
        offset from the sender's in ppm (a tone comes out at f / (1 + ppm 1e-6)).
    impulses: static crashes, (bursts a second, dBFS RMS at the onset).
    ssb_filter: the receiver's 300-3000 Hz filter; None: on for every channel but awgn.
    clip: clip the output at this peak level in dBFS. seed: 0 to 4294967295.
    carrier: the middle of the band carried (carrier +- 1500 Hz).
    Returns the output samples and what was measured on them: snr3k, signal_power, noise_density,
    active_first, active_last, bursts, clipped.
    """

def transmit(rate: float = 2400, interleaver: float = 0.6, *, message: bytes | bytearray | None = None, seed: int = 1, nframe: float | None = None, sample_rate: float = 8000, carrier: float = 1800, peak: float | None = None, rms: float | None = None) -> tuple[Float64Array, dict[str, float]]:
    """A whole transmission (preamble and data) as audio on a carrier, as `hfchain transmit`
    writes it (docs/on-the-air.md).

    rate: data rate in bit/s; interleaver: its length in seconds (0.6 or 4.8).
    message: bytes sent as the information bits (first bit the most significant of the first
        byte) over the fewest whole interleaver blocks that hold them, the last completed with
        zeros; or None: random bits from seed (0 to 4294967295) over nframe blocks (None: the
        rate's fewest whole blocks).
    sample_rate: audio samples a second (8000 to 192000); carrier: Hz (the band, carrier +-1620
        Hz, within 0 .. sample_rate / 2).
    peak or rms: the level in dBFS (full scale +-1); neither: peak -3 dBFS. A level that puts the
        peak above full scale is refused (hfchain:audio:Clipping).
    Returns the samples and what `hfchain transmit` prints: rate, interleaver, blocks, infoBits,
    duration (s), sampleRate, carrier, peakDbfs, rmsDbfs, peakToAverage (dB).
    """

def receive(audio: RealIn, sample_rate: float, *, rate: float | None = None, interleaver: float | None = None, carrier: float = 1800) -> list[dict[str, Any]]:
    """Finds and decodes the transmissions in a recording, as `hfchain receive` does
    (docs/on-the-air.md).

    audio: the samples (full scale +-1) at sample_rate (8000 to 192000 Hz), around carrier (Hz).
    rate, interleaver: the transmissions' data rate (bit/s) and interleaver length (s); neither
        given: transmissions of every mode are found, each mode read from its preamble (one given:
        the other is 2400 bit/s or 0.6 s).
    Returns one dict per transmission, in order: start and end (s from the first sample), rate and
    interleaver (the mode decoded or read; None when none was read), confidence (how surely the
    mode was read, 0 to 1; 1 when given), modeRead (False: read too unsurely to decode, no bits),
    enteredLate (True: the recording began after its preamble, decoded from its first whole block),
    frequencyOffset (Hz), clockOffset (ppm the recording's clock runs fast of the sender's; None
    when the transmission is too short to measure it), snr3k (dB), blocks (a list of dicts:
    decoded, disagreement), bits (the decoded information bits, uint8, every block's, padding
    included) and bytes (those bits as bytes, first bit the most significant).
    """

def pulsematch(MatchedFilterIn: ComplexIn, varShapping: VarShapping | Mapping[str, Any]) -> PulsematchOut:
    """The receive matched filter: the transmit filter's unit-energy root-raised-cosine taps, full
    convolution, no decimation.

    MatchedFilterIn: L samples at oversamplingFactor samples per symbol (complex column).
    varShapping: rolloffFactor alpha in (0, 1], pulseDelay D (symbol periods),
        oversamplingFactor M (samples per symbol).
    Returns filter (1 x N, N = 2 D M + 1), filterDelay (symbol periods) and out (L + N - 1
    samples). Without channel delay, symbol i peaks at output sample 2 D M + 1 + (i - 1) M.
    Errors: "ERRO! Fator de rolloff invalido."; integer and sign checks;
    "Coder:toolbox:conv_dynamicVectorOrientation" for an input shorter than the filter."""

def framelock(SincroFrameIn: ComplexIn, milstd: ModeParams | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any]) -> Float64Array:
    """Frame synchronisation: finds the start of the transmission by the Pearson correlation of
    candidate windows with the first 288 scrambled preamble symbols.

    SincroFrameIn: L >= 575 M samples of the matched filter's output (complex column).
    milstd: preamSync (at least 1440 symbols).
    varShapping: oversamplingFactor M (samples per symbol).
    Returns the 1-based start sample as a 1-element array, or an empty array when every
    correlation is NaN (an all-zero input, say).
    Errors: index checks on `milstd.preamSync` and `dados_sincro_in`; sign and integer checks;
    "Coder:toolbox:eml_min_or_max_varDimZero" for M = 0."""

def tickalign(SyncSymbolIn: ComplexIn, FrameStartSample: float, varShapping: VarShapping | Mapping[str, Any]) -> TickalignOut:
    """Symbol-rate sampling of the matched filter's output from a start sample.

    SyncSymbolIn: L samples at M samples per symbol (complex column).
    FrameStartSample: 1-based sample of the first symbol's sampling instant, a whole number (a
        1-element array, such as framelock's result, is accepted).
    varShapping: pulseDelay D (symbol periods) and oversamplingFactor M.
    Returns out: K = floor((L - 4 D M - 1) / M) + 1 samples, out[k] = SyncSymbolIn[F - 1 + k M]
    (zeros past the end).
    Errors: index check on `dados_sincro_pos` when K = 0; integer and index checks on
    `dados_sincro_in` for a bad start."""

def unframer(DemultiplexIn: ComplexIn, milstd: ModeParams | Mapping[str, Any]) -> UnframerOut:
    """Demultiplexer: strips the preamble, descrambles, drops an incomplete last frame and the
    probe symbols of each frame (except at 75 bit/s).

    DemultiplexIn: symbols, one sample per symbol, preamble first (complex column).
    milstd: rate, preamSync (its length), data and trein (symbols per frame).
    Returns out, the received data symbols (empty for a short input).
    Errors: integer, reshape and index checks on the frame geometry."""

def symslicer(DemodulatorIn: ComplexIn, milstd: ModeParams | Mapping[str, Any]) -> SymslicerOut:
    """Hard nearest-point decisions and Gray demapping to bits.

    DemodulatorIn: N data symbols (complex column).
    milstd: rate, bitsToSym b; at 75 bit/s also chSymMapping and interl (seconds).
    Returns DemodOutDemapIn, the decided symbol numbers (at 75 bit/s the chosen pattern per
    block, 0..3), and DemapOut, b bits per decision, most significant first.
    Errors: index check on `bina2gray`; the capacity message of int2bin;
    "Coder:toolbox:eml_min_or_max_varDimZero", "Coder:toolbox:autoDimIncompatibility",
    "Coder:MATLAB:NonIntegerInput" and others for inconsistent parameters."""

def unshuffle(DeinterleaverIn: RealIn, milstd: ModeParams | Mapping[str, Any]) -> UnshuffleOut:
    """Deinterleaver: within each block of T = len(interTable) bits, bit k goes back to position
    interTable[k].

    DeinterleaverIn: N bits in transmission order, N a multiple of T (real column).
    milstd: rate and interTable (a permutation of 1..T).
    Returns out, N bits in encoder order.
    Errors: "ERRO! Para a taxa 4800bps, nao ha deinterleaver." at 4800 bit/s;
    "Coder:MATLAB:NonIntegerInput" when N is not a multiple of T; integer and index checks on
    the table."""

def softslicer(DemodulatorIn: ComplexIn, noiseVar: RealIn, milstd: ModeParams | Mapping[str, Any], rule: str = "max_log") -> SoftslicerOut:
    """Soft demapper: the log-likelihood ratio of every coded bit carried by each received data
    symbol, for the points and Gray labels of the transmitter.

    DemodulatorIn: N received data symbols on the unit-energy constellation, as unframer,
        turboequal or geniecombine give them (complex column); every value finite.
    noiseVar: the total complex noise variance N0 of each symbol, the unit of |y|^2
        (N0 = 10^(-EsNodB / 10) for unit Es): one value for every symbol, or N values (real
        column). Positive; inf marks an erased symbol, whose ratios are 0.
    milstd: rate and bitsToSym b (3: all eight phases, 2: the even ones, 1: phases 0 and 4).
    rule: "max_log" (the nearest point of each bit value: LLR = (min |y - x1|^2 - min
        |y - x0|^2) / N0, whose sign is symslicer's bit) or "exact" (sums over all points).
    Returns LLR: b N ratios ln P(bit = 0 | y) / P(bit = 1 | y) in nats (positive favours 0), in
    symslicer's bit order (most significant first); unshuffle puts them in encoder order for
    vitdecode or sisodecode.
    Errors: "hfchain:softslicer:Rate75" (75 bit/s sends patterns, not Gray points),
    "hfchain:softslicer:BitsToSym", "hfchain:softslicer:NoiseVarSize" (noiseVar neither one
    value nor N), "hfchain:softslicer:NoiseVar" (zero, negative or NaN),
    "hfchain:softslicer:NonFinite" (a symbol that is not finite)."""

def patternslicer(DemodulatorIn: ComplexIn, gain: ComplexIn, noiseVar: RealIn, milstd: ModeParams | Mapping[str, Any], detection: str, rule: str = "max_log") -> PatternslicerOut:
    """Soft detector of the 75 bit/s channel patterns: the log-likelihood ratios of the two coded
    bits each block of 32 data symbols carries, from the block's correlations c_v with the four
    patterns of its set. A block is y = h s + n, s the pattern's points (1 and -1), n complex
    white noise of variance N0.

    DemodulatorIn: N = 32 B received data symbols, descrambled (unframer's out; complex column);
        every value finite. Block k uses the alternate set when k is a multiple of 45 (0.6 s)
        or 360 (4.8 s), as the transmitter counts.
    gain: the channel gain h of every block (one value) or of each (B values), complex; 1 for the
        matched filter on white noise. Finite; 0 gives ratios of 0.
    noiseVar: N0 of every block or of each (real); positive, inf erases a block.
    milstd: rate (75), interl and chSymMapping (the eight patterns, symbol numbers 0..7).
    detection: "coherent" (h known: metric 2 Re(conj(h) c_v) / N0) or "noncoherent" (only |h|
        known, the phase unknown: metric ln I0(2 |h| |c_v| / N0), I0 the modified Bessel
        function).
    rule: "max_log" (the largest metric of each bit value; noncoherent, also ln I0(x) taken as
        x: the ratio is 2 |h| (max |c_v| - max |c_v|) / N0) or "exact" (ln of the sums of
        exp(metric) over the values of each bit value).
    Returns LLR (2 B ratios, positive favours 0, in symslicer's bit order: unshuffle puts them in
    encoder order for vitdecode) and Correlations (4 x B).
    Errors: "hfchain:patternslicer:Rate" (not 75 bit/s), "hfchain:patternslicer:Patterns",
    "hfchain:patternslicer:PartialBlock" (N not a multiple of 32),
    "hfchain:patternslicer:GainSize", "hfchain:patternslicer:NoiseVarSize" (neither one value nor
    B), "hfchain:patternslicer:Gain" (not finite), "hfchain:patternslicer:NoiseVar" (zero,
    negative or NaN), "hfchain:patternslicer:NonFinite" (a symbol)."""

def vitdecode(DecoderIn: RealIn, milstd: ModeParams | Mapping[str, Any], nFrame: float) -> VitdecodeOut:
    """Viterbi decoder of the transmitter's rate-1/2, constraint-length-7 code (generators 133 and
    171 octal): the maximum-likelihood encoder input for the given soft values, from state 0 to
    state 0 (the 144 flush zeros bring the encoder back).

    DecoderIn: LLRs ln P(bit = 0) / P(bit = 1) of the coded bits in encoder order (sendchain's
        CodOutInterIn order: unshuffle of softslicer's LLR), positive favours 0, 0 an erasure, inf
        a sure bit; exactly as long as CodOutInterIn, 2 repFactor N values with N =
        len(BitInCodIn) (real column). Ratios of repeated copies are added.
    milstd: rate, repFactor and interTable (its length T, the bits of a block).
    nFrame: the interleaver blocks given to sendchain (need not be whole); with milstd it fixes
        the K information bits, the flush and the padding bits, as sendchain counts them.
    Returns DecodOut (N decoded encoder-input bits, 0 or 1) and InfoBits (its first K).
    Errors: "hfchain:vitdecode:Uncoded" (rate 4800), "hfchain:vitdecode:RepFactor", the bit
    budget's (no information bit: "Erro: Total de frames insuficientes para transmissao"; counts
    not whole: "Coder:MATLAB:NonIntegerInput"), "hfchain:vitdecode:WrongLength",
    "hfchain:vitdecode:NaN"."""

def sisodecode(DecoderIn: RealIn, milstd: ModeParams | Mapping[str, Any], nFrame: float) -> SisodecodeOut:
    """Soft-in/soft-out decoder of the same code: max-log-MAP (BCJR) over the whole coded stream,
    what an iterative receiver needs.

    DecoderIn: 2 N LLRs of the coded bits in encoder order (at each of the N steps the bit of
        generator 133 first, then that of 171), positive favours 0; inf is certain, 0 no
        information (an erased bit); NaN is refused (real column).
    milstd: interTable (T bits a block); rate other than 4800 and repFactor 1.
    nFrame: the interleaver blocks given to sendchain (need not be whole); every encoder-input
        bit after the K information bits is taken as a known zero.
    Returns Extrinsic (2 N extrinsic coded-bit LLRs, encoder order), InfoLLR (N a-posteriori
    input-bit LLRs) and InfoBits (the K decided information bits).
    Errors: "hfchain:sisodecode:UnsupportedMode" (rate 4800 or repFactor other than 1), the bit
    budget's, "hfchain:runtime:SizeMismatch" (DecoderIn not 2 N long), "hfchain:sisodecode:NaN"
    (naming the NaN ratio, as vitdecode does)."""

def freqlock(MatchedFilterIn: ComplexIn, milstd: ModeParams | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any]) -> FreqlockOut:
    """The HF receiver's carrier frequency acquisition: over framelock's candidate windows, the
    differential sum of the correlations of 8-symbol segments with the preamble (timing and a
    coarse offset, unambiguous within +-150 Hz), then the same with 48-symbol segments over the
    whole preamble and the paths' taps (the fine offset, the paths' power-weighted mean frequency);
    the output turned back by it, and framelock's start on that.

    MatchedFilterIn: matched-filter output at M samples a symbol, at least 575 M samples.
    milstd: preamSync of at least 1440 symbols. varShapping: oversamplingFactor M.
    A signal without any trace of the preamble gives offset 0 and framelock's result on it.
    Errors: "hfchain:freqlock:BadOversampling", the index check on milstd.preamSync (under 1440
    symbols), "hfchain:layout:NonFinite" (a preamSync value), "hfchain:freqlock:TooShort",
    "hfchain:freqlock:NonFinite" (a NaN or infinite sample, named), "hfchain:freqlock:TooLarge"
    (a sample beyond 1e30 in magnitude, named)."""

def modelock(MatchedFilterIn: ComplexIn, varShapping: VarShapping | Mapping[str, Any], settings: Mapping[str, float] | None = None) -> dict[str, Any]:
    """Acquisition without a mode: the first preamble segment of any mode in the matched-filter
    output (the 288 symbols every segment shares, searched with the differential sums of freqlock,
    the frequency offset unknown within +-150 Hz; each 8-symbol correlation normalised by its
    energy), read: its mode from d1 and d2, the segments still to come from its count (with the
    segments after it in the input), and from them where the preamble began and where its data
    begin.

    MatchedFilterIn: matched-filter output at M samples a symbol. varShapping: oversamplingFactor M.
    settings: any of "threshold" (the detection statistic a segment must reach, in (0, 1]; the
    default 0.12 gives at most about one false detection in 10 hours of noise), "from" and "to"
    (1-based samples within which the first window that reaches the threshold is sought; to = 0:
    as far as a whole segment fits; the segment found, the best window of a segment's length from
    there, may start after to).
    Returns a dict: found (bool), score (the statistic, 1 for a clean segment), start (1-based
    sample of the segment's first symbol), offset (Hz), rate (bit/s) and interLen (s) of the mode
    read (0 when nothing is found), confidence (0 to 1, against the next most likely mode),
    segmentsLeft (int), preambleStart and firstData (1-based samples; preambleStart below 1 when
    the input starts late in the preamble).
    Errors: "hfchain:modelock:BadOversampling", "hfchain:modelock:BadThreshold",
    "hfchain:modelock:BadRange" (from or to not whole, from below 1, to below from),
    "hfchain:modelock:NonFinite" and "hfchain:modelock:TooLarge" (a sample, named)."""

def blocklock(MatchedFilterIn: ComplexIn, varShapping: VarShapping | Mapping[str, Any], threshold: float = 5.0) -> BlocklockOut:
    """Late entry: on a matched-filter output that holds no preamble, the symbol timing and the
    frequency offset (+-75 Hz and more) from the probes of every frame (at 75 bit/s from its
    patterns), then the next interleaver block's first symbol and the mode from the probes of
    each block's last two frames (at 75 bit/s from the pattern that closes each block), with a
    confidence.

    MatchedFilterIn: matched-filter output at M samples a symbol, at least 1440 M samples.
    varShapping: oversamplingFactor M. threshold: the score the frames must reach (5: fewer than
    one false finding in a million searches of noise).
    Errors: "hfchain:blocklock:BadOversampling", "hfchain:blocklock:TooShort",
    "hfchain:blocklock:NonFinite" (a NaN or infinite sample, named), "hfchain:blocklock:TooLarge"
    (a sample beyond 1e30 in magnitude, named), "hfchain:blocklock:BadThreshold" (NaN or
    negative)."""

def decode_late(MatchedFilterIn: ComplexIn, blockStart: float, offset: float, milstd: ModeParams | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any], nFrame: float = math.inf, iterations: float = 2.0) -> dict[str, Any]:
    """Decoding after a late entry: the whole interleaver blocks of a matched-filter output from
    the one whose first symbol peaks at blockStart, as blocklock reads it (with its offset, Hz),
    to the end of the input, at most nFrame of them. The channel is sounded on the blocks'
    probes; the turbo equaliser (iterations decoder passes) and the Viterbi decoder take the
    encoder's state at the blocks' ends as unknown. At 75 bit/s, without probes, the patterns
    are first decided without a channel estimate and the channel sounded on them, then the
    pattern detector and the Viterbi decoder run as after a preamble (iterations not read).

    milstd: the mode's parameter set (rateconf of blocklock's mode); varShapping: the filters.
    Returns a dict: blocks (whole blocks decoded, 0 when none fits), DecodOut (the encoder input
    bits of those blocks, 0/1), out and noiseVar (the equalised data symbols and their variances).
    Errors: "hfchain:late:BadOffset" (NaN or infinite), the index check for a blockStart that
    is not a whole sample of the input, and those of chansound and turboequal (patterntrack at
    75 bit/s)."""

def chansound(MatchedFilterIn: ComplexIn, FrameStartSample: float, milstd: ModeParams | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any]) -> ChansoundOut:
    """Channel sounder of the HF receiver: synchronisation, the propagation paths and their gains
    over time, from the known symbols (the preamble and the 16 probes of every frame).

    MatchedFilterIn: Lmf matched-filter output samples (pulsematch's out) at M samples a symbol
        (complex column).
    FrameStartSample: 1-based sample where framelock found the preamble (either path's), a whole
        number within 1..Lmf (framelock's 1-element result is accepted).
    milstd: the coded 8-PSK parameter set (preamSync, data, trein, probe, interTable).
    varShapping: rolloffFactor, pulseDelay D (symbol periods) and oversamplingFactor M of both
        filters.
    The frames follow from the length as tickalign and unframer count them:
    floor((floor((Lmf - 4 D M - 1) / M) + 1 - preamble) / (data + trein)).
    Returns a ChansoundOut; pass it to turboequal.
    Errors: "hfchain:chansound:UnsupportedMode", "hfchain:chansound:TooShort" (less than a frame
    after the preamble), the index check for a bad FrameStartSample,
    "hfchain:chansound:NonFinite" (a NaN or infinite sample, named),
    "hfchain:chansound:TooLarge" (a sample beyond 1e30 in magnitude, named),
    "hfchain:chansound:BadOversampling", the pulse design's message for a roll-off outside (0, 1]
    or so small that the taps overflow, "hfchain:layout:NonFinite" (a NaN or infinite preamSync or
    probe value), "hfchain:chansound:NoSignal" (no trace of the preamble)."""

def turboequal(sounding: ChansoundOut | Mapping[str, Any], milstd: ModeParams | Mapping[str, Any], nFrame: float, iterations: float) -> TurboequalOut:
    """Turbo equaliser: block MMSE equalisation with soft interference cancellation driven by the
    sounder's estimate, iterated with the soft-in/soft-out decoder, which refines both the symbols
    cancelled and the channel estimate.

    sounding: chansound's result (out, basis, gains, gainVar, noiseVar and frames are used).
    milstd: the parameter set the transmission was sent with.
    nFrame: interleaver blocks the transmitter filled (as given to sendchain); read only when
        iterations > 0, when the frames must carry exactly the coded bits of that budget.
    iterations: decoder passes between equaliser passes, a whole number from 0 to 10; 0 is the
        plain block MMSE equaliser driven by the probes and the preamble. The loop ends early
        once its decisions settle: when an equaliser pass's hard decisions form a codeword, or a
        decoder pass holds every coded-bit decision by an a-posteriori ratio of 10 or more, or
        repeats the previous pass's decisions (passes tells how many ran).
    Returns out (equalised data symbols, descrambled, unit gain) and noiseVar (their error
    variances) for softslicer, and the last channel estimate.
    Errors: "hfchain:turboequal:UnsupportedMode", "hfchain:turboequal:BadSounding" (a basis of
    more than 25 taps or 4 paths, or none; a negative variance), "hfchain:runtime:SizeMismatch"
    (fields of sounding whose sizes disagree), "hfchain:turboequal:NonFinite" (NaN or Inf in any
    field, windowVar's +Inf excepted, named), "hfchain:turboequal:TooLarge" (samples, gains or
    basis values beyond 1e30, variances beyond 1e60), "hfchain:turboequal:BadIterations", the bit
    budget's, "hfchain:turboequal:FrameMismatch", "hfchain:layout:NonFinite"."""

def patterntrack(sounding: ChansoundOut | Mapping[str, Any], milstd: ModeParams | Mapping[str, Any], passes: float, rule: str = "max_log") -> PatterntrackOut:
    """The HF receiver's detector of the 75 bit/s patterns, which carry no probes: a noncoherent
    pass combining each path at its strongest tap, then passes that track the path gains from
    the decided patterns and test each block's four patterns through the tracked channel.

    sounding: chansound's result for a 75 bit/s transmission.
    milstd: the 75 bit/s parameter set (rateconf(75, interLen)).
    passes: coherent passes after the noncoherent one, a whole number from 0 to 10 (0: the
        noncoherent ratios are the result).
    rule: "max_log" or "exact", how each bit's ratio is taken over the four patterns.
    Returns the coded-bit ratios (LLR, for unshuffle and vitdecode), those of the noncoherent
    pass, the channel-matched symbols and the last track.
    Errors: "hfchain:patternslicer:Rate" (not 75 bit/s), "hfchain:patternslicer:Patterns",
    "hfchain:patterntrack:BadPasses", the sounding's as turboequal's, under its own name
    ("hfchain:patterntrack:BadSounding", "hfchain:runtime:SizeMismatch",
    "hfchain:patterntrack:NonFinite", "hfchain:patterntrack:TooLarge"), "hfchain:layout:BadFrame",
    "hfchain:layout:NonFinite"."""

def geniecombine(MultiplexOut: ComplexIn, raios: ComplexIn, noise: ComplexIn, EsNodB: float, milstd: ModeParams | Mapping[str, Any], varShapping: VarShapping | Mapping[str, Any]) -> GeniecombineOut:
    """The genie receiver, the matched-filter bound: each data symbol seen through both rays
    combined, g = sqrt(|h1|^2 + |h2|^2) at the symbol's instant, without intersymbol interference,
    with the channel's own noise matched-filtered: z = y / g with error variance N0 / g^2.

    MultiplexOut: S transmitted symbols (sendchain's), the preamble and whole frames (complex
        column).
    raios: ray gains per sample of the shaped waveform, M (S + 2 D) x 2 (fadesim's), or empty
        for a channel without fading (one ray of gain 1).
    noise: the channel's noise per sample (fadesim's noise), at least M (S + 2 D) samples (complex
        column).
    EsNodB: Es/N0 of the channel in dB; N0 = 10^(-EsNodB / 10).
    milstd, varShapping: the parameter sets of the transmission.
    Returns out, noiseVar and gain for the N = frames x data symbols, in unframer's order. A symbol
    seen through a gain of 0 (or one so small that N0 / g^2 overflows) is erased: out 0, noiseVar
    inf, which softslicer turns into ratios of 0.
    Errors: "hfchain:geniecombine:UnsupportedMode", "hfchain:runtime:SizeMismatch" (MultiplexOut
    not the preamble plus whole frames, raios of another size, noise too short),
    "hfchain:geniecombine:BadOversampling", the pulse design's errors (4.9e-324 included),
    "hfchain:geniecombine:NonFinite" (NaN or Inf in MultiplexOut, raios or noise, named),
    "hfchain:channel:InvalidEsNodB" (as fadesim), "hfchain:geniecombine:Overflow" (a gain or
    symbol beyond the largest double), "hfchain:layout:NonFinite"."""

# --- the whole chain and the sweep ---------------------------------------------------------------

def run_road(milstd: ModeParams | Mapping[str, Any], config: RoadConfig | Mapping[str, Any], host: BuiltinHost | None = None) -> RoadResult:
    """One transmission through the whole chain, every intermediate signal kept: sendchain,
    pulseshaper, the channel (hfchannel, white noise or none), pulsematch, framelock, then the
    receivers of config.receivers on the same received signal: "baseline" (tickalign, unframer,
    symslicer, unshuffle, and the count of coded-bit errors; then softslicer, unshuffle and
    vitdecode: result.baseline; at 75 bit/s patternslicer without a channel estimate instead of
    softslicer; at 4800 bit/s, uncoded, the decisions are the information bits), "hf"
    (chansound, turboequal, softslicer, unshuffle, vitdecode: result.sounding, result.equalised,
    result.hf) and "genie" (geniecombine, softslicer, unshuffle, vitdecode: result.genieView,
    result.genie).

    milstd: the parameter set (rateconf or modeconf); every receiver runs at every rate.
    config: a RoadConfig (nFrame, txSeed, shaping, channel, EsNodB, channelSeed, receivers,
        iterations, softRule and impulses), or a dict of some of its fields.
    host: the generator (BuiltinHost); each random block seeds it and gives it back.
    Errors, before any work: "hfchain:channel:InvalidChannelText" (a channel that is not "none",
    "awgn", a preset or a written channel); "hfchain:road:UnsupportedReceiver" ("hf" or "genie"
    with a hand-made parameter set they cannot carry); "hfchain:road:UnsupportedChannel" ("hf"
    with a channel beyond its reach: paths more than 5 ms apart, more than 4 paths at distinct
    delays, or a path arriving 150 Hz off or more); "hfchain:runtime:OutOfMemory" (a transmission
    whose signals need more memory than the machine has, as the program's run refuses it);
    "hfchain:road:ImpulseWithoutNoise" (impulses with the channel "none");
    "hfchain:road:ImpulseOutside" (an impulse beyond the received signal); those of the
    blocks."""

def run_sweep(config: SweepConfig | Mapping[str, Any] | None = None, progress: Callable[[dict[str, Any]], Any] | None = None, checkpoint: str | os.PathLike[str] | None = None, max_memory: float | None = None) -> Table:
    """Error rates against Es/N0 or SNR in 3 kHz: independent trials of the whole chain in worker
    threads (the GIL released), each point stopping by the rule of config; the same engine, the
    same defaults and the same numbers as the `hfchain sweep` command.

    config: a SweepConfig, or a dict of some of its fields; None: the defaults (the main job).
    progress: called from the calling thread about every 250 ms and when a point finishes, with a
        dict: pointsDone, pointsTotal, fraction (estimated share of the work done, 0..1), elapsed
        (s), finished (None, or the finished point as a dict of the result's columns).
    checkpoint: a journal file of finished trials (the command's --checkpoint): created when
        missing, and resumed when it holds trials of the same sweep, which are not run again;
        None for no journal (an empty name is refused).
    max_memory: bytes the worker threads may use together (default: the machine's memory); with
        threads 0 fewer run when one per core would not fit.
    Returns a Table: its columns one element per point (condition-major, in the order of the
    points), named as the command's CSV columns, counts as int64: rate (bit/s, when the sweep has any rate but 2400 alone),
    condition, esno_db, snr3k_db, trials, coded_bits,
    info_bits, blocks, sync_misses, events (the stop rule's error events), bits and errors (the
    stop rule's), ber, ci95_low, ci95_high (of the stop rule's rate), few_events (1 when that
    interval rests on fewer than 30 error events, too few to be trusted), then for each receiver R of
    config.receivers: R_coded_errors, R_coded_ber, R_info_errors, R_ber (decoded information
    bits), R_ci95_low, R_ci95_high (its 95 % interval over the trials: the ratio estimator with
    the between-trial variance, on log scale, never narrower than the Wilson interval of the
    bits), R_error_trials, R_few_events (1 when R's interval rests on fewer than 30 error events),
    R_block_errors, R_bler; then seconds and stop ("events", "bits" or
    "interrupted"); its meta: receivers, metric, interrupted, threads, trials_from_checkpoint,
    wall_seconds. pandas.DataFrame(result.columns) is the command's CSV; the table is also the
    dict of both that earlier versions returned. It keeps the sweep's points for crossings().
    Like the program, run_sweep keeps freed memory in the process for the next trial (see
    keep_trial_memory).
    Ctrl-C (or an exception raised by `progress`) stops the sweep cleanly: running trials are
    abandoned, then the exception is raised again, carrying the points finished so far as
    its attribute `sweep_result`.
    Errors: "hfchain:python:InvalidSweep" with a message naming the argument (config.conditions,
    checkpoint, ...) for a refused setting or checkpoint; "hfchain:sweep:WriteFailed" when the
    checkpoint cannot be written; a trial's failure."""

def crossings(result: Table, targets: RealIn | None = None, axis: str | None = None) -> Table:
    """Where each receiver's error rate (of the sweep's metric) falls to each target, for every
    rate and condition of a run_sweep result: the crossing table of the `hfchain sweep` command
    (--targets, --crossings), from the same library, one row per rate, condition, target and
    receiver.

    result: the Table run_sweep returned (it carries the sweep's points).
    targets: error rates between 0 and 1 (default [1e-3, 1e-5]).
    axis: "snr3k" (SNR in 3 kHz) or "esno" (Es/N0); None: the sweep's own axis.
    The crossing is a straight line in log10(rate) between the first two measured points that
    bracket the target; without such a pair it is a bound.
    Columns: rate, condition, receiver, target, kind ("at"; "below": below the target from the
    first point on; "at_or_below": fell to no error by that point; "above": not reached by the
    last point; "none": no points), snr3k_db or esno_db (the crossing, or the point of the bound),
    crossing (as the command's table writes it: "7.7", "< 6.0", "<= 12.0", "> 16.0"), few_events
    (1 when it rests on a point whose interval rests on fewer than 30 error events: the table's
    "*"), gap_db (beside the genie: the crossing minus the genie's where both are "at", else NaN)
    and gap_few_events. Meta: axis, metric, legend (the table's header line).
    Errors: "hfchain:python:InvalidSweep" (a result without points, a target outside (0, 1), an
    unknown axis)."""

def requirements(config: RequirementsConfig | Mapping[str, Any] | None = None, progress: Callable[[dict[str, Any]], Any] | None = None, checkpoint: str | os.PathLike[str] | None = None, max_memory: float | None = None) -> Table:
    """The minimum-performance table, as the `hfchain requirements` command makes it: for each row
    (a data rate, a channel, a required SNR in 3 kHz and the decoded bit error rate to reach
    there) and each receiver, the SNR at which the receiver's decoded error rate crosses the
    row's target, searched along the SNR axis (from the required SNR in steps of config.step
    until the target is bracketed, then bisection to config.resolution), with its 95 %
    interval, the margin to the requirement and a verdict. Every point is a sweep point (its
    trial seeds from seed, rate, channel, Es/N0 and trial), so the table does not depend on the
    threads.

    config: a RequirementsConfig, or a dict of some of its fields; None: the command's defaults.
    progress: called from the calling thread after every point, with a dict: row, rate, channel,
        snr3k_db and point (the point's columns, as run_sweep's progress gives them).
    checkpoint: a journal of finished trials, as the command's --checkpoint; a rerun resumes it
        and gives the table of an uninterrupted run.
    max_memory: bytes the worker threads may use together (default: the machine's memory).
    Returns a Table with the columns of the command's CSV, one row per table row and receiver:
    row, rate, channel, interleaver, receiver, target_ber, required_snr3k_db, measured_snr3k_db,
    ci95_low_snr3k_db, ci95_high_snr3k_db, margin_db (these four as text: a crossing may be a
    bound, "> 30.0"), verdict ("pass", "pass (within interval)", "fail (within interval)",
    "fail", "undecided"; "incomplete" for a row whose search was interrupted), points and
    few_events; meta: receivers, interrupted, threads, wall_seconds.
    Ctrl-C (or an exception raised by `progress`) stops the search cleanly, then the exception is
    raised again carrying the rows finished (and the interrupted row's points) as its attribute
    `requirements_result`.
    Errors: "hfchain:python:InvalidSweep" naming the field (config.rows, config.step, ...) for a
    refused setting; "hfchain:sweep:WriteFailed" when the checkpoint cannot be written."""

def requirement_rows() -> Table:
    """The rows of the minimum-performance table: row, rate (bit/s), channel (one fixed path is
    "1p:0ms:0Hz", two equal Watterson paths D ms apart with a Doppler spread of S Hz
    "2p:Dms:SHz"), required_snr3k_db and target_ber."""

def keep_trial_memory() -> None:
    """Keeps freed memory in the process for the next call instead of handing it back to the
    system (glibc's mmap threshold raised to 256 MiB, its trim threshold to 1 GiB), as the
    `hfchain` program does at start-up. A script that calls blocks on large signals over and over
    (or runs many sweeps) then no longer pays for fresh pages on every call; the process keeps the
    memory it has used until it exits. Affects the whole process; there is no undoing it."""

def trial_seeds(seed: int, condition: str, esno: float, trial: int, rate: float = 2400) -> tuple[float, float]:
    """The two seeds (txSeed, channel seed) of trial `trial` (0-based) of the point (rate bit/s,
    condition, esno dB) of a sweep with base seed `seed`: a RoadConfig with these seeds reruns that
    trial with run_road (with rateconf(rate, interLen) and the sweep's nFrame at that rate)."""

def ber_8psk_gray(EsNodB: float) -> float:
    """The exact bit error rate of Gray-coded 8-PSK with nearest-point decisions on white
    Gaussian noise at Es/N0 = EsNodB dB: the chain's coded-bit error rate on white noise. 0 for
    inf (no noise), 0.5 for -inf."""

def ber_psk_gray(bits: float, EsNodB: float) -> float:
    """Exact bit error rate of 2^bits-PSK on white noise with nearest-point decisions: bits 1
    (2-PSK, Q(sqrt(2 Es/N0))), 2 (Gray 4-PSK, Q(sqrt(Es/N0))) or 3 (ber_8psk_gray): the coded-bit
    rate of the rates whose data symbols are those points (8-PSK: 4800 and 2400 bit/s; 4-PSK:
    1200; 2-PSK: 600, 300 and 150, every copy of a coded bit counted).
    Errors: "hfchain:theory:Constellation" (bits not 1, 2 or 3)."""
