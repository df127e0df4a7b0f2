#include "receiver/demux/unframer.hpp"

#include <array>
#include <cmath>

#include "params/modes.hpp"
#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

// The rotation u + j v = exp(-j pi s / 4) that undoes a scrambling value s of 0..7.
struct Rotation {
    double u;
    double v;
};

// conj(x_s), x_s the transmitter's point of s: the rotation is exact, point by point.
std::array<Rotation, 8> make_rotations() {
    std::array<Rotation, 8> table{};
    for (int s = 0; s < kPskPhases; ++s)
        table[s] = {psk_points()[s].real(), -psk_points()[s].imag()};
    return table;
}

const std::array<Rotation, 8>& rotations() {
    static const std::array<Rotation, 8> table = make_rotations();
    return table;
}

// y = x (u + j v), the product written out so that every caller rounds alike.
inline cdouble rotate(cdouble x, Rotation r) {
    return {x.real() * r.u - x.imag() * r.v, x.real() * r.v + r.u * x.imag()};
}

}  // namespace

ComplexArray descrambler(const ComplexArray& x) {
    const auto& saida_shift = data_sequence_period();
    const auto& rot = rotations();
    const index_t M = x.numel();
    ComplexArray y(M);
    for (index_t k = 0; k < M; ++k) y[k] = rotate(x[k], rot[saida_shift[k % kDataSequencePeriod]]);
    return y;
}

UnframerOut unframer(const ComplexArray& DemultiplexIn, const ModeParams& mode,
                     HostServices& host) {
    const index_t N = DemultiplexIn.numel();
    const index_t Lp = mode.preamSync.cols();
    const double data = mode.data;
    const double trein = mode.trein;

    // 1. Preamble removal: dados_symbol_extr is DemultiplexIn(Lp + 1 .. N), viewed in place.
    const cdouble* dados_symbol_extr = DemultiplexIn.data() + (N > Lp ? Lp : N);
    const index_t M = N > Lp ? N - Lp : 0;

    // 3. Truncation to whole frames of F = data + trein symbols (mod(M, 0) = M keeps nothing).
    // Decided before descrambling so that only the symbols that are kept get rotated.
    const double F = data + trein;
    const double keep_value = static_cast<double>(M) - mod(static_cast<double>(M), F);
    index_t keep = 0;
    if (keep_value >= 1.0 || std::isnan(keep_value)) {
        keep = check_integer(keep_value, "dados_symbol_extr");
        if (keep > M) check_index(keep, M, "dados_symbol_extr");
    }

    // 2. Descrambling: the data sequence restarts on the first symbol after the preamble, as in
    // the transmitter, so symbol k of dados_symbol_extr is rotated back by saida_shift(k).
    const auto& saida_shift = data_sequence_period();
    const auto& rot = rotations();
    auto descrambled = [&](index_t k) {
        return rotate(dados_symbol_extr[k], rot[saida_shift[k % kDataSequencePeriod]]);
    };

    UnframerOut result;
    if (uses_patterns(mode)) {
        // The 75 bit/s frames carry no probes: the truncated column passes whole.
        result.out = ComplexArray(keep);
        for_each_chunk(keep, host, [&](index_t first, index_t last) {
            for (index_t k = first; k < last; ++k) result.out[k] = descrambled(k);
        });
        return result;
    }

    // 4. Probe removal: frame f holds `data` data symbols, then `trein` probes; keep the data.
    // Frames of no symbols at all (data + trein = 0) leave nothing to keep.
    if (F == 0.0) {
        result.out = ComplexArray(0);
        return result;
    }
    if (F != std::floor(F) || F < 0.0) {
        raise(errid::kReshapeNumel,
              "To reshape, the number of elements must not change: " + std::to_string(keep) +
                  " symbols cannot form frames of " + format_value(F) + " symbols.");
    }
    const index_t frame = static_cast<index_t>(F);
    const index_t n_frames = keep / frame;
    index_t n_data = 0;
    if (data >= 1.0 || std::isnan(data)) {
        n_data = check_integer(data, "data");
        if (n_data > frame) check_index(n_data, frame, "dados_symbol_extr");
    }
    result.out = ComplexArray(checked_size_product(n_data, n_frames));
    const auto frames = [&](index_t f_first, index_t f_last) {
        for (index_t f = f_first; f < f_last; ++f) {
            for (index_t i = 0; i < n_data; ++i) {
                result.out[f * n_data + i] = descrambled(f * frame + i);
            }
        }
    };
    for_each_chunk(n_frames, host, frames, items_per_poll(n_data));
    return result;
}

}  // namespace hfchain
