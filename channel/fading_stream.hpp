// The paths of the general HF channel (channel/hfchannel.hpp) on a signal that arrives block by
// block: delays, fading gains, Doppler shifts and the frequency offset, without noise.
//
// For the same draws it computes what hfchannel computes: output sample m is
//   y(m) = exp(j 2 pi f_off m / fs) sum_p x(m - D_p) g_p(m - D_p),
// the gains g_p evaluated from the paths' sinusoids at each input sample (exactly at every 256th
// and carried between, as hfchannel does), so that the first L outputs equal hfchannel's faded
// waveform for the same seed. Each input sample gives one output sample: what the late paths
// would add after the input's end is left out. Memory: the paths' products over the largest
// delay, and one block of gains a path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/hfchannel.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

class FadingStream {
public:
    // Checks `channel` as hfchannel does (its errors: InvalidChannel, FractionalDelay at 2400 M
    // samples a second) and draws the fading paths' sinusoids from `host`'s current stream, in
    // hfchannel's order (the caller seeds the stream; hfchannel's own draws for the same seed).
    FadingStream(const HfChannel& channel, double M, HostServices& host);
    ~FadingStream();
    FadingStream(const FadingStream&) = delete;
    FadingStream& operator=(const FadingStream&) = delete;

    // y[0 .. n) for the next n input samples x[0 .. n) (x and y may be the same).
    void push(const cdouble* x, std::size_t n, cdouble* y);

    // The largest path delay, samples.
    index_t maxDelay() const { return ring_ - 1; }

private:
    struct Rays;
    void fill_gains();

    std::vector<HfPath> paths_;
    std::vector<index_t> delays_;
    std::vector<char> fading_;  // per path: 1 when it fades
    std::unique_ptr<Rays> rays_;
    double offset_;  // Hz
    double inv_fs_;
    index_t ring_;                   // products kept per path: the largest delay + 1
    std::vector<cdouble> products_;  // P x ring_: x(n) g_p(n) at n mod ring_
    std::vector<cdouble> gains_;     // P x 256: the gains of the current block of inputs
    cdouble offsetTurn_{1, 0};       // exp(j 2 pi f_off m / fs) at the next output
    cdouble offsetStep_{1, 0};
    std::int64_t n_ = 0;  // samples taken
};

}  // namespace hfchain
