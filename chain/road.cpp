#include "chain/road.hpp"

#include <algorithm>

namespace hfchain {

ComplexArray add_white_noise(const ComplexArray& x, double EsNodB, double seed, HostServices& host,
                             ComplexArray* noise_out) {
    SeededStream stream(host, seed);
    ComplexArray noise, noisy;
    add_channel_noise(x, EsNodB, host, noise, noisy);
    stream.restore();
    if (noise_out != nullptr) *noise_out = std::move(noise);
    return noisy;
}

RoadResult run_road(const Milstd& milstd, const RoadConfig& config, HostServices& host) {
    RoadResult r;
    r.tx = sendchain(milstd, config.nFrame, config.txSeed, host);
    r.shaped = pulseshaper(r.tx.MultiplexOut, config.shaping);

    switch (config.channel) {
        case ChannelKind::none:
            break;
        case ChannelKind::watterson:
            r.faded = fadesim(r.shaped.out, config.watterson, config.shaping, host);
            break;
        case ChannelKind::awgn:
            r.faded.AwgnOut = add_white_noise(r.shaped.out, config.watterson.EsNodB,
                                              config.watterson.seed, host, &r.faded.noise);
            break;
    }

    r.matched = pulsematch(r.received(config.channel), config.shaping);
    r.expectedFrameStart =
        2.0 * config.shaping.pulseDelay * config.shaping.oversamplingFactor + 1.0;
    r.frameStart = framelock(r.matched.out, milstd, config.shaping, host);
    r.codedBits = r.tx.CodOutInterIn.numel();
    r.frameFound = !r.frameStart.empty();
    if (!r.frameFound) {
        r.codedBitErrors = r.codedBits;  // nothing received: every bit is missing
        return r;
    }

    r.symbols = tickalign(r.matched.out, r.frameStart[0], config.shaping);
    r.data = unframer(r.symbols.out, milstd);
    r.demod = symslicer(r.data.out, milstd);

    // The deinterleaver takes whole interleaver blocks: a late frame start or a channel delay
    // can leave a partial block (or extra symbols) at the end, which the comparison ignores.
    const index_t T = milstd.interTable.numel();
    index_t usable = std::min(r.demod.DemapOut.numel(), r.codedBits);
    usable = T > 0 ? usable / T * T : 0;
    if (usable == r.demod.DemapOut.numel()) {
        r.deinterleaved = unshuffle(r.demod.DemapOut, milstd);
    } else {
        RealArray head(usable);
        std::copy(r.demod.DemapOut.begin(), r.demod.DemapOut.begin() + usable, head.begin());
        r.deinterleaved = unshuffle(head, milstd);
    }

    index_t errors = r.codedBits - usable;  // missing bits count as errors
    const RealArray& sent = r.tx.CodOutInterIn;
    const RealArray& got = r.deinterleaved.out;
    for (index_t k = 0; k < usable; ++k) errors += sent[k] != got[k] ? 1 : 0;
    r.codedBitErrors = errors;
    return r;
}

}  // namespace hfchain
