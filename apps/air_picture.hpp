// The pictures of `transmit` and `receive` (--plot): the audio's power spectrum and, for
// receive, the first transmission's symbols before and after the HF receiver.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "apps/options.hpp"
#include "chain/recording.hpp"
#include "runtime/array.hpp"

namespace hfchain::app {

// The power spectrum of audio given block by block, in memory that does not grow with it:
// Welch's average over Hann-windowed segments of a power of two samples (at least an eighth of
// a second: a few hertz apart), each half over the one before. In dB of full scale squared a
// hertz.
class AudioSpectrum {
public:
    explicit AudioSpectrum(double sampleRate);
    void push(const double* samples, std::size_t n);
    // "frequency dB" rows from 0 to `highest` Hz (at most half the sample rate); empty when the
    // audio is shorter than one segment.
    std::string rows(double highest) const;
    double sampleRate() const { return rate_; }

private:
    void add_segment();
    double rate_;
    std::size_t length_;
    std::vector<double> window_, pending_, power_;
    std::size_t segments_ = 0;
};

// transmit --plot: the spectrum of the audio written.
void plot_transmit(const std::string& file, const TransmitOptions& options,
                   const std::vector<double>& samples);

// receive --plot: the recording's spectrum and, when a transmission was found, the first one's
// symbols at the matched filter (every symbol as sent, at the instants the HF receiver found)
// and after the HF receiver (RecordedTransmission::sounded and equalised: the transmissions are
// received with RecordingSettings::keepSymbols).
void plot_receive(const std::string& file, const AudioSpectrum& spectrum,
                  const std::vector<RecordedTransmission>& found);

}  // namespace hfchain::app
