#include "apps/air_picture.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <sstream>

#include "apps/air.hpp"
#include "apps/run_picture.hpp"
#include "chain/hf_receiver.hpp"
#include "chain/theory.hpp"
#include "params/modes.hpp"
#include "params/rateconf.hpp"
#include "params/waveform.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "runtime/builtin_host.hpp"
#include "runtime/checks.hpp"
#include "runtime/output_file.hpp"
#include "sweep/picture.hpp"
#include "sweep/report.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::app {

namespace {

constexpr int kWidth = 1020;
constexpr int kSpectrumHeight = 330;
constexpr int kPanel = 340;
constexpr int kTitleHeight = 30;
constexpr double kHighest = 6000;       // Hz: the spectrum is drawn up to here (or fs / 2)
constexpr double kRangeDb = 100;        // the spectrum is drawn down to this far below its highest
constexpr index_t kMostSymbols = 300;   // a constellation panel's (the pictures stay small)
constexpr double kSegmentTime = 0.125;  // s: the spectrum's segments last at least this

// In-place radix-2 transform of x (a power of two long).
void fft(std::vector<std::complex<double>>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> turn = std::polar(1.0, -2 * std::numbers::pi / len);
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1;
            for (std::size_t k = 0; k < len / 2; ++k, w *= turn) {
                const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
}

// The spectrum panel at the top of a figure `height` high (shares), one curve for `rows`.
void write_spectrum(std::ostream& s, const std::string& title, const std::string& rows,
                    double bottom, double height) {
    s << sweep::data_block("$spectrum", rows) << "set origin 0," << bottom
      << "\nset size noratio 1," << height
      << "\nset autoscale\nset autoscale xfix\nunset key\nset title " << sweep::gnuplot_quote(title)
      << " noenhanced\nset xlabel 'frequency (Hz)'\nset ylabel 'power (dB of full scale a "
         "hertz)'\n";
    if (rows.empty()) {
        s << "set xrange [0:1]\nset yrange [0:1]\nset label 1 'shorter than one segment' at "
             "graph 0.5,0.5 center\nplot 2 notitle\nunset label 1\n";
        return;
    }
    s << "plot $spectrum using 1:2 with lines linewidth 1.2 linecolor rgb '#3070b0'\n";
}

// Draws into `file`, replaced whole or not at all, the script `script(output)` makes for the
// path it is written to.
template <class Script>
void draw(const std::string& file, Script&& script) {
    ResultFile picture("--plot", file);
    sweep::run_gnuplot(script(picture.path()), "--plot " + file);
    sweep::check_picture(picture.path(), "--plot " + file);
    picture.commit();
}

// The figure's head: terminal, size and title.
void begin_figure(std::ostream& s, const std::string& file, int height, const std::string& output,
                  const std::string& title) {
    s << sweep::picture_terminal(file, kWidth, height, output) << "set multiplot title "
      << sweep::gnuplot_quote(title) << " noenhanced\nset grid\n";
}

// The first transmission found, through the HF receiver again: its samples from its start,
// resampled to the transmitter's clock when its offset was measured, the matched filter, the
// frame start and the receiver, as receive_recording takes a transmission (without blanking).
HfReceived first_transmission(const Baseband& baseband, const RecordedTransmission& t,
                              const ModeParams& mode, const RecordingSettings& settings,
                              HostServices& host) {
    const VarShapping& shaping = settings.shaping;
    const auto M = static_cast<index_t>(shaping.oversamplingFactor);
    const auto D = static_cast<index_t>(shaping.pulseDelay);
    const auto blocks = static_cast<double>(t.blocks.size());
    const index_t n = (sendchain(mode, blocks, 0, host).MultiplexOut.numel() + 2 * D) * M;
    const double ratio = t.clockMeasured ? 1 + t.clockOffset * 1e-6 : 1;
    const std::int64_t begin = std::llround(t.start * kSymbolRate * static_cast<double>(M));
    ComplexArray taken(static_cast<index_t>(std::ceil(static_cast<double>(n) * ratio)) + M);
    for (index_t k = 0; k < taken.numel(); ++k) {
        const std::int64_t i = begin + k;
        if (i >= 0 && i < static_cast<std::int64_t>(baseband.size())) {
            const std::complex<float> v = baseband[static_cast<std::size_t>(i)];
            taken[k] = cdouble(v.real(), v.imag());
        }
    }
    if (t.clockMeasured && settings.reclock) taken = settings.reclock(taken, (1 / ratio - 1) * 1e6);
    ComplexArray received(n);
    std::copy_n(taken.begin(), std::min(n, taken.numel()), received.begin());
    const PulsematchOut matched = pulsematch(received, shaping, host);
    const RealArray frameStart = framelock(matched.out, mode, shaping, host);
    const HfSettings hf{.nFrame = blocks,
                        .shaping = shaping,
                        .iterations = settings.iterations,
                        .turboStop = settings.turboStop,
                        .softRule = settings.softRule};
    return receive_hf(matched.out, frameStart, {}, mode, hf, host);
}

}  // namespace

AudioSpectrum::AudioSpectrum(double sampleRate) : rate_(sampleRate) {
    length_ = 1;
    while (static_cast<double>(length_) < kSegmentTime * sampleRate) length_ <<= 1;
    window_.resize(length_);
    for (std::size_t k = 0; k < length_; ++k) {
        window_[k] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(k) /
                                          static_cast<double>(length_));
    }
    power_.assign(length_ / 2 + 1, 0.0);
    pending_.reserve(length_);
}

void AudioSpectrum::push(const double* samples, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        pending_.push_back(samples[k]);
        if (pending_.size() == length_) {
            add_segment();
            // The next segment begins half way through this one.
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(length_ / 2));
        }
    }
}

void AudioSpectrum::add_segment() {
    std::vector<std::complex<double>> x(length_);
    for (std::size_t k = 0; k < length_; ++k) x[k] = pending_[k] * window_[k];
    fft(x);
    for (std::size_t k = 0; k < power_.size(); ++k) power_[k] += std::norm(x[k]);
    ++segments_;
}

std::string AudioSpectrum::rows(double highest) const {
    if (segments_ == 0) return {};
    double energy = 0;
    for (const double w : window_) energy += w * w;
    // One-sided density: a bin's power over the window's energy and the rate, twice but at 0
    // and at half the rate.
    const double scale = 1 / (static_cast<double>(segments_) * energy * rate_);
    const double step = rate_ / static_cast<double>(length_);
    std::vector<double> db;
    for (std::size_t k = 0; k < power_.size() && static_cast<double>(k) * step <= highest; ++k) {
        const double twice = k == 0 || k + 1 == power_.size() ? 1 : 2;
        db.push_back(10 * std::log10(twice * power_[k] * scale));
    }
    const double floor = *std::max_element(db.begin(), db.end()) - kRangeDb;
    std::ostringstream out;
    for (std::size_t k = 0; k < db.size(); ++k) {
        out << static_cast<double>(k) * step << ' ' << std::max(floor, db[k]) << '\n';
    }
    return out.str();
}

}  // namespace hfchain::app

namespace hfchain::app {

void plot_transmit(const std::string& file, const TransmitOptions& o,
                   const std::vector<double>& samples) {
    AudioSpectrum spectrum(o.sampleRate);
    spectrum.push(samples.data(), samples.size());
    const std::string rows = spectrum.rows(std::min(o.sampleRate / 2, kHighest));
    const std::string title = "transmit: " + format_value(o.rate) + " bit/s, " +
                              format_value(o.interLen) + " s interleaver, audio at " +
                              format_value(o.sampleRate) + " Hz, carrier " +
                              format_value(o.carrier) + " Hz";
    draw(file, [&](const std::string& output) {
        std::ostringstream s;
        const int height = kTitleHeight + kSpectrumHeight;
        begin_figure(s, file, height, output, title);
        write_spectrum(s, "spectrum of the audio sent", rows, 0,
                       static_cast<double>(kSpectrumHeight) / height);
        s << "unset multiplot\nset output\n";
        return s.str();
    });
}

void plot_receive(const std::string& file, const ReceiveOptions& o, const AudioSpectrum& spectrum,
                  const Baseband& baseband, const std::vector<RecordedTransmission>& found,
                  const RecordingSettings& settings) {
    const ModeParams mode = rateconf(o.rate, o.interLen);
    BuiltinHost host;
    HfReceived got;
    const bool any = !found.empty() && !found.front().blocks.empty();
    if (any) got = first_transmission(baseband, found.front(), mode, settings, host);
    const int bits = theory_bits(mode);
    std::vector<ConstellationPanel> panels = {
        {"first transmission at the matched filter, every symbol", &got.sounding.out, 8,
         kMostSymbols},
        {uses_patterns(mode) ? "after the HF receiver: symbols on the pattern track"
                             : "after the HF receiver: equalised data symbols",
         &got.decoding.symbols, bits > 0 ? 1 << bits : 2, kMostSymbols}};
    for (ConstellationPanel& p : panels) {
        if (!got.decoding.ran) p.title += any ? " (not reached)" : " (none found)";
    }
    const std::string rows = spectrum.rows(std::min(spectrum.sampleRate() / 2, kHighest));
    const std::string title = "receive: " + o.input + ", " + format_value(o.rate) + " bit/s, " +
                              format_value(o.interLen) + " s interleaver";
    draw(file, [&](const std::string& output) {
        std::ostringstream s;
        const int height = kTitleHeight + kSpectrumHeight + kPanel;
        begin_figure(s, file, height, output, title);
        const double below = static_cast<double>(kPanel) / height;
        write_spectrum(s, "spectrum of the recording", rows, below,
                       static_cast<double>(kSpectrumHeight) / height);
        const double share = static_cast<double>(kPanel) / kWidth;
        for (std::size_t k = 0; k < panels.size(); ++k) {
            write_constellation(s, panels[k], k, 0.5 - share + share * static_cast<double>(k),
                                share, 0, below);
        }
        s << "unset multiplot\nset output\n";
        return s.str();
    });
}

}  // namespace hfchain::app
