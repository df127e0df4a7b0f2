#include "receiver/layout/layout.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

#include "runtime/checks.hpp"
#include "transmitter/constellation.hpp"
#include "transmitter/scrambler.hpp"

namespace hfchain {

namespace {

constexpr double kLargestCount = 2147483647.0;

// The point of a symbol value, scrambled or not: the transmitter's point for a whole value of at
// least 0 (the transmitter's are sums of a value 0 .. 7 and a scrambling value 0 .. 7), the same
// formula for any other real value.
cdouble known_point(const std::array<cdouble, 8>& points, double value) {
    // Every value the transmitter makes is a small whole number: the table at once, without the
    // library's floor and fmod (the same index for any whole value below kLargestCount).
    if (value >= 0 && value <= kLargestCount &&
        value == static_cast<double>(static_cast<index_t>(value))) {
        return points[static_cast<index_t>(value) % kPskPhases];
    }
    if (value >= 0 && value == std::floor(value) && std::isfinite(value)) {
        return points[static_cast<int>(std::fmod(value, kPskPhases))];
    }
    const double phase = std::numbers::pi * std::fmod(value, 8.0) / 4.0;
    return {std::cos(phase), std::sin(phase)};
}

// A whole number of at least `least` (and at most `most`) read from the parameter set.
index_t frame_extent(double value, double least, double most, const char* name) {
    if (!(value >= least && value <= most) || value != std::floor(value)) {
        raise("hfchain:layout:BadFrame", std::string(name) + " = " + format_value(value) +
                                             " must be a whole number from " + format_value(least) +
                                             " to " + format_value(most) + ".");
    }
    return static_cast<index_t>(value);
}

}  // namespace

int Layout::closingProbe(index_t f) const {
    if (framesPerBlock < 2) return -1;
    const index_t closing = f % framesPerBlock - (framesPerBlock - 2);
    return closing >= 0 ? static_cast<int>(closing) : -1;
}

Layout transmission_layout(const ModeParams& mode, index_t frames) {
    Layout l;
    l.preamble = mode.preamSync.numel();
    l.data = frame_extent(mode.data, 1, kLargestCount, "data");
    l.trein = frame_extent(mode.trein, 0, kLargestCount, "trein");
    const index_t b = frame_extent(mode.bitsToSym, 1, 3, "bitsToSym");
    l.frames = check_nonnegative(frames, "frames");
    l.symbols = checked_size_sum(l.preamble,
                                 checked_size_product(frames, checked_size_sum(l.data, l.trein)));
    // In 64 bits: b data reaches 3 (2^31 - 1).
    l.framesPerBlock = static_cast<index_t>(static_cast<std::int64_t>(mode.interTable.numel()) /
                                            (static_cast<std::int64_t>(b) * l.data));
    return l;
}

ModeParams entered_at_block(const ModeParams& mode) {
    ModeParams entered = mode;
    entered.preamSync = RealArray(1, 0);
    return entered;
}

index_t whole_frames(const ModeParams& mode, index_t symbols) {
    const Layout l = transmission_layout(mode, 0);
    return symbols > l.preamble ? (symbols - l.preamble) / l.frame() : 0;
}

void check_preamble_symbols(const ModeParams& mode) {
    check_each(mode.preamSync, "milstd.preamSync", "hfchain:layout:BadPreamble",
               "preamble symbols are symbol numbers, whole from 0 to 7.",
               [](double v) { return !(v >= 0 && v <= 7 && v == std::floor(v)); });
}

KnownSymbols known_symbols(const ModeParams& mode, const Layout& layout) {
    // A value that is not finite has no point on the circle: refused rather than passed on as
    // NaN to every estimate that uses the known symbols.
    check_finite(mode.preamSync, "milstd.preamSync", "hfchain:layout:NonFinite",
                 "preamble symbol values must be finite.");
    check_preamble_symbols(mode);
    check_finite(mode.probe, "milstd.probe", "hfchain:layout:NonFinite",
                 "probe symbol values must be finite.");
    const std::array<cdouble, 8>& points = psk_points();
    KnownSymbols k;
    k.mean = ComplexArray(layout.symbols);
    k.var = RealArray(layout.symbols);
    k.rotation = ComplexArray(layout.dataSymbols());

    // The preamble, scrambled with the 32-entry sequence.
    for (index_t n = 0; n < layout.preamble; ++n) {
        k.mean[n] = known_point(points, mode.preamSync[n] + kSequencia[n % kSequencia.size()]);
    }

    // Frames: data symbols unknown, probes known.
    const auto& seq = data_sequence_period();
    for (index_t f = 0; f < layout.frames; ++f) {
        const int closing = layout.closingProbe(f);
        for (index_t j = 0; j < layout.frame(); ++j) {
            const index_t m = f * layout.frame() + j;  // position in the frame column
            const int s = seq[m % kDataSequencePeriod];
            const index_t n = layout.preamble + m;
            if (j < layout.data) {
                k.var[n] = 1.0;
                k.rotation[f * layout.data + j] = known_point(points, s);
            } else {
                double value = 0;
                const index_t row = j - layout.data;
                if (closing >= 0 && closing < mode.probe.cols() && row < mode.probe.rows()) {
                    value = mode.probe(row, closing);
                }
                k.mean[n] = known_point(points, value + s);
            }
        }
    }
    return k;
}

}  // namespace hfchain
