#include "transmitter/sendchain.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "runtime/checks.hpp"
#include "runtime/interrupts.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/bin2int.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/codetables.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/convcoder_puncturing.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

// Symbols of the preamble marked by `ind_preambulo`: in each of three 480-symbol segments,
// positions 1..288 and 449..480 are marked, 289..448 are not.
constexpr index_t kPreambleMarks = 1440;
constexpr index_t kSegment = 480;

// Frames of the 75 bit/s mode: one 32-symbol channel pattern per value, no probes.
constexpr index_t kPatternLength = 32;

// Frames between two interrupt polls when building the frame column.
constexpr index_t kFramesPerPoll = 256;

// Position (0-based) in a table of n entries of the 1-based index v + 1; anything but a whole
// v in 0..n-1 raises the index error naming the table.
inline index_t table_position(double v, index_t n, const char* name) {
    if (v >= 0.0 && v < n) {
        const auto i = static_cast<index_t>(v);
        if (i == v) return i;
    }
    return check_index(v + 1.0, n, name);
}

// Block interleaver: the coded column as T rows, one column per interleaver block, each block
// permuted by the gather new(k) = old(interTable(k)).
RealArray interleave(const RealArray& dados_inter_in, const RealArray& interTable,
                     HostServices& host) {
    const index_t T = interTable.numel();
    const index_t n = dados_inter_in.numel();
    if (n % T != 0) {
        raise(errid::kReshapeNumel,
              "To reshape, the number of elements must not change: " + std::to_string(n) +
                  " coded bits are not a whole " + "number of " + std::to_string(T) +
                  "-bit interleaver blocks.");
    }
    IntArray fetch(T);
    for (index_t k = 0; k < T; ++k) fetch[k] = check_index(interTable[k], T, "dados_inter");

    RealArray dados_inter(n);
    for (index_t c = 0; c < n / T; ++c) {
        const double* in = dados_inter_in.data() + static_cast<std::int64_t>(c) * T;
        double* out = dados_inter.data() + static_cast<std::int64_t>(c) * T;
        for (index_t k = 0; k < T; ++k) out[k] = in[fetch[k]];
        host.poll_interrupt();
    }
    return dados_inter;
}

// Frame column of every mode but 75 bit/s: per frame, D data symbols `dados_8pskSc` followed by
// P probe symbols `fr_mp`. Probes are zero except in the last two frames of each interleaver
// block, which carry the two `probe` columns.
RealArray build_frames(const ModeParams& mode, const RealArray& dados_gray, double scale,
                       double nInterleavedBits, HostServices& host) {
    const double T = mode.interTable.numel();
    const double b = mode.bitsToSym;
    const double D = mode.data;
    const double P = mode.trein;

    // Frame counts: F in all, Fb per interleaver block.
    const double F = nInterleavedBits / (b * D);
    const double Fb = T / (b * D);

    // Probe column of one block: (Fb - 2) P zeros, then `probe` column 1, then column 2.
    const index_t nZeroProbes = check_size_argument((Fb - 2.0) * P);
    const RealArray& probe = mode.probe;
    check_index(1.0, probe.cols(), "milstd.probe");
    check_index(2.0, probe.cols(), "milstd.probe");
    const index_t blockProbes =
        checked_size_sum(nZeroProbes, checked_size_product(2, probe.rows()));
    RealArray probeColumn(blockProbes);
    for (index_t r = 0; r < probe.rows(); ++r) {
        probeColumn[nZeroProbes + r] = probe(r, 0);
        probeColumn[nZeroProbes + probe.rows() + r] = probe(r, 1);
    }
    // `fr_mp`: that column once per block.
    const index_t nBlocks = check_size_argument(F / Fb);
    const index_t nProbes = checked_size_product(blockProbes, nBlocks);

    // Data (D x F) above probes (P x F): both need F columns.
    const index_t frames = check_size_argument(F);
    const index_t Drows = check_size_argument(D);
    const index_t Prows = check_size_argument(P);
    if (checked_size_product(Drows, frames) != dados_gray.numel()) {
        raise(errid::kReshapeNumel, "To reshape, the number of elements must not change: " +
                                        std::to_string(dados_gray.numel()) +
                                        " data symbols cannot fill " + std::to_string(frames) +
                                        " frames of " + std::to_string(Drows) + ".");
    }
    check_size_equal(checked_size_product(Prows, frames), nProbes, "fr_mp");

    RealArray column(checked_size_product(checked_size_sum(Drows, Prows), frames));
    double* out = column.data();
    const double* data = dados_gray.data();
    index_t probePos = 0;
    for (index_t f = 0; f < frames; ++f) {
        for (index_t d = 0; d < Drows; ++d) *out++ = *data++ * scale;
        for (index_t p = 0; p < Prows; ++p) {
            *out++ = probeColumn[probePos];
            if (++probePos == blockProbes) probePos = 0;
        }
        if ((f + 1) % kFramesPerPoll == 0) host.poll_interrupt();
    }
    return column;
}

// Frame column of the 75 bit/s mode: each value v = 0..3 is sent as its 32-symbol channel pattern
// `chSymMapping`(:, v + 1), except every L-th value, which is sent as the pattern of v + 4.
// Other values leave their 32 symbols at 0.
RealArray build_frames_75(const ModeParams& mode, const RealArray& dados_gray, HostServices& host) {
    const RealArray& chSymMapping = mode.chSymMapping;
    check_index(8.0, chSymMapping.cols(), "chSymMapping");
    check_size_equal(kPatternLength, chSymMapping.rows(), "aux");
    const double L = alternate_pattern_period(mode);

    const index_t nValues = dados_gray.numel();
    RealArray aux(kPatternLength, nValues);
    for (index_t k = 1; k <= nValues; ++k) {
        const double v = dados_gray[k - 1];
        if (v != 0.0 && v != 1.0 && v != 2.0 && v != 3.0) continue;
        const index_t column = static_cast<index_t>(v) + (mod(k, L) != 0.0 ? 0 : 4);
        for (index_t r = 0; r < kPatternLength; ++r) aux(r, k - 1) = chSymMapping(r, column);
        if (k % (kFramesPerPoll * 16) == 0) host.poll_interrupt();
    }
    aux.reshape_in_place(aux.numel(), 1);
    return aux;
}

// `ind_preambulo` and the E marked symbols after it, then per frame D zeros and P ones. The
// markers line up with the transmitted symbols only when the preamble is 1440 + E symbols long,
// as every parameter set built by modeconf is; another length is refused. The 75 bit/s frames
// carry no probes: their markers are all 0.
RealArray build_probe_info(const ModeParams& mode, index_t nPreamble, index_t nMultiplexOut) {
    const double E = (round_half_away(mode.interl / 0.2) - 3.0) * 15.0 * 32.0;
    const index_t nMarked = check_size_argument(E);
    const index_t preamblePart = checked_size_sum(kPreambleMarks, nMarked);
    check_size_equal(preamblePart, nPreamble, "ProbeInfo");
    const double rest = static_cast<double>(nMultiplexOut) - kPreambleMarks - E;

    index_t framePart = 0;
    index_t Drows = 0;
    index_t Prows = 0;
    if (!uses_patterns(mode)) {
        const index_t repeats = check_size_argument(rest / (mode.data + mode.trein));
        Drows = check_size_argument(mode.data);
        Prows = check_size_argument(mode.trein);
        framePart = checked_size_product(checked_size_sum(Drows, Prows), repeats);
    } else {
        framePart = check_size_argument(rest);
    }
    check_size_equal(nMultiplexOut, checked_size_sum(preamblePart, framePart), "ProbeInfo");

    RealArray ProbeInfo(nMultiplexOut);
    for (index_t k = 0; k < kPreambleMarks; ++k) {
        const index_t pos = k % kSegment;
        ProbeInfo[k] = pos < 288 || pos >= 448 ? 1.0 : 0.0;
    }
    for (index_t k = kPreambleMarks; k < preamblePart; ++k) ProbeInfo[k] = 1.0;
    if (Prows > 0) {
        double* frame = ProbeInfo.data() + preamblePart;
        for (index_t f = 0; f < framePart / (Drows + Prows); ++f) {
            frame += Drows;  // data symbols stay 0
            for (index_t p = 0; p < Prows; ++p) *frame++ = 1.0;
        }
    }
    return ProbeInfo;
}

// Maps symbol values 0..7 onto the constellation.
void map_to_constellation(const RealArray& values, cdouble* out, HostServices& host) {
    const std::array<cdouble, 8>& points = psk_points();  // the constellation `const`
    for_each_chunk(values.numel(), host, [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            out[k] = points[table_position(values[k], kPskPhases, "const")];
        }
    });
}

// The transmission of the encoder input `bits` (information bits, flush and padding zeros).
SendchainOut transmission(const ModeParams& mode, RealArray bits, HostServices& host) {
    const bool coded = !is_uncoded(mode);
    SendchainOut out;
    out.BitInCodIn = std::move(bits);

    // Coding (the 4800 bit/s mode sends the bits uncoded): the two generators repeated R times,
    // every coded bit kept.
    if (coded) {
        const index_t rows = checked_size_product(2, check_size_argument(mode.repFactor));
        RealArray genPolinomials(rows, 7);
        for (index_t r = 0; r < rows; ++r) {
            for (index_t j = 0; j < 7; ++j) genPolinomials(r, j) = kGenerators[r % 2][j];
        }
        RealArray puncturingMask(rows);
        puncturingMask.fill(1.0);
        out.CodOutInterIn =
            convcoder_puncturing(out.BitInCodIn, genPolinomials, puncturingMask, host);
    } else {
        out.CodOutInterIn = out.BitInCodIn;
    }

    // Interleaving, block by block (uncoded bits are not interleaved).
    out.InterOutMapIn =
        coded ? interleave(out.CodOutInterIn, mode.interTable, host) : out.BitInCodIn;

    // Preamble symbols, scrambled.
    const RealArray S = scrambler_preamble(mode.preamSync);

    // Symbol values, Gray-mapped.
    out.MapOutMultiplexIn = bin2int(out.InterOutMapIn, mode.bitsToSym, host);
    RealArray& dados_gray = out.MapOutMultiplexIn;
    for_each_chunk(dados_gray.numel(), host, [&](index_t first, index_t last) {
        for (index_t k = first; k < last; ++k) {
            dados_gray[k] = kGray2bina[table_position(dados_gray[k], 8, "gray2bina")];
        }
    });

    // Frames: data and probes, or the 75 bit/s channel patterns.
    RealArray frames;
    if (!uses_patterns(mode)) {
        // 3 bits use all eight phases, 2 bits the even phases, 1 bit the phases 0 and 4.
        const double scale = std::pow(2.0, 3.0 - mode.bitsToSym);
        out.ComplexPSKSymbols = ComplexArray(dados_gray.numel());
        const std::array<cdouble, 8>& points = psk_points();
        for_each_chunk(dados_gray.numel(), host, [&](index_t first, index_t last) {
            for (index_t k = first; k < last; ++k) {
                out.ComplexPSKSymbols[k] =
                    points[table_position(dados_gray[k] * scale, kPskPhases, "const")];
            }
        });
        frames = build_frames(mode, dados_gray, scale, out.InterOutMapIn.numel(), host);
    } else {
        frames = build_frames_75(mode, dados_gray, host);
        out.ComplexPSKSymbols = ComplexArray(frames.numel());
        map_to_constellation(frames, out.ComplexPSKSymbols.data(), host);
    }

    // Scrambling of the whole frame column: the 160-symbol sequence runs on across frames and
    // blocks.
    const RealArray scrambled = scrambler_data(frames);

    // Transmitted symbols: scrambled preamble, then scrambled frames.
    out.MultiplexOut = ComplexArray(checked_size_sum(S.numel(), scrambled.numel()));
    map_to_constellation(S, out.MultiplexOut.data(), host);
    map_to_constellation(scrambled, out.MultiplexOut.data() + S.numel(), host);

    out.ModConstellation = ComplexArray(8);
    for (index_t s = 0; s < kPskPhases; ++s) out.ModConstellation[s] = psk_points()[s];

    out.ProbeInfo = build_probe_info(mode, S.numel(), out.MultiplexOut.numel());
    return out;
}

}  // namespace

SendchainOut sendchain(const ModeParams& mode, double nFrame, double seed, HostServices& host) {
    // Seed the host stream; the caller's generator comes back on every exit, failure included.
    SeededStream stream(host, seed);

    // Bit budget: K information bits, then the flush bits and the Z padding bits that complete
    // the last interleaver block. Information bits, one uniform draw each, then the flush and
    // padding zeros.
    const BitBudget budget = bit_budget(mode, nFrame);
    RealArray bits(budget.total);
    {
        const RealArray u = host.rand(budget.info);
        for (index_t k = 0; k < budget.info; ++k) bits[k] = std::floor(2.0 * u[k]);
    }
    SendchainOut out = transmission(mode, std::move(bits), host);
    stream.restore();
    return out;
}

SendchainOut sendchain_bits(const ModeParams& mode, double nFrame, const RealArray& info,
                            HostServices& host) {
    const BitBudget budget = bit_budget(mode, nFrame);
    if (info.numel() > budget.info) {
        raise("hfchain:sendchain:TooManyBits",
              std::to_string(info.numel()) + " information bits do not fit in " +
                  format_value(nFrame) + " interleaver blocks, which carry " +
                  std::to_string(budget.info) + ".");
    }
    RealArray bits(budget.total);
    for (index_t k = 0; k < info.numel(); ++k) {
        if (info[k] != 0 && info[k] != 1) {
            raise("hfchain:sendchain:NonBinaryBit", "Information bit " + std::to_string(k + 1) +
                                                        " is " + format_value(info[k]) +
                                                        ", not 0 or 1.");
        }
        bits[k] = info[k];
    }
    return transmission(mode, std::move(bits), host);
}

}  // namespace hfchain
