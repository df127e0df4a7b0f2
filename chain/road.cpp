#include "chain/road.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "chain/hf_receiver.hpp"
#include "params/modes.hpp"
#include "params/waveform.hpp"
#include "receiver/chansound/pathtrack.hpp"
#include "receiver/layout/reception.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "runtime/checks.hpp"
#include "transmitter/bitbudget.hpp"

namespace hfchain {

bool RoadConfig::runs(ReceiverKind kind) const {
    return std::find(receivers.begin(), receivers.end(), kind) != receivers.end();
}

index_t ratio_sign_errors(const RealArray& llr, const RealArray& sent, index_t count) {
    const index_t have = std::min({count, llr.numel(), sent.numel()});
    index_t errors = count - have;
    for (index_t k = 0; k < have; ++k) errors += (llr[k] < 0) != (sent[k] == 1) ? 1 : 0;
    return errors;
}

BlockCount count_block_errors(const RealArray& decoded, const RealArray& sent, index_t K,
                              const ModeParams& mode) {
    const auto T = static_cast<double>(mode.interTable.numel());
    const double per = is_uncoded(mode) ? T / mode.repFactor : T / (2 * mode.repFactor);
    const index_t B = std::max<index_t>(1, static_cast<index_t>(per));
    BlockCount c;
    if (K <= 0) return c;
    c.blocks = (K + B - 1) / B;
    const index_t have = std::min({K, decoded.numel(), sent.numel()});
    for (index_t block = 0; block < c.blocks; ++block) {
        const index_t first = block * B;
        const index_t end = std::min(K, first + B);
        bool wrong = end > have;  // missing bits are wrong
        for (index_t k = first; k < std::min(end, have) && !wrong; ++k) {
            wrong = decoded[k] != sent[k];
        }
        c.errors += wrong ? 1 : 0;
    }
    return c;
}

double spread_around_decisions(const ComplexArray& symbols, const ModeParams& mode) {
    const index_t n = symbols.numel();
    if (n == 0) return 1;
    // The 75 bit/s patterns are made of 2-PSK symbols (symbol numbers 0 and 4), whatever the
    // bits a pattern carries.
    const int b = uses_patterns(mode) ? 1 : std::clamp(static_cast<int>(mode.bitsToSym), 1, 3);
    const double points = std::ldexp(1.0, b);
    const double step = 2 * std::numbers::pi / points;
    double sum = 0;
    for (index_t k = 0; k < n; ++k) {
        const cdouble y = symbols[k];
        const double nearest = std::round(std::arg(y) / step) * step;
        sum += std::norm(y - std::polar(1.0, nearest));
    }
    return std::max(sum / static_cast<double>(n), kMinNoiseVar);
}

namespace {

// Decoded information bits missing at the end (a receiver that got fewer symbols than were sent)
// count as wrong.
void count_info(const ModeParams& mode, const SendchainOut& tx, Reception& r) {
    const index_t have = std::min(r.infoBits, r.decoded.InfoBits.numel());
    index_t info = r.infoBits - have;
    for (index_t k = 0; k < have; ++k) info += r.decoded.InfoBits[k] != tx.BitInCodIn[k];
    r.infoBitErrors = info;
    const BlockCount blocks =
        count_block_errors(r.decoded.InfoBits, tx.BitInCodIn, r.infoBits, mode);
    r.blocks = blocks.blocks;
    r.blockErrors = blocks.errors;
}

// A decoded reception's counts against what was sent: the coded bits by the signs of the
// deinterleaved ratios, then the information bits.
void count_decoded(const ModeParams& mode, const SendchainOut& tx, Reception& r) {
    r.ran = true;
    r.codedBitErrors = ratio_sign_errors(r.deinterleaved.out, tx.CodOutInterIn, r.codedBits);
    count_info(mode, tx, r);
}

// Moves a decoding into the reception `r`.
void adopt(Decoding&& d, Reception& r) {
    r.ran = d.ran;
    r.symbols = std::move(d.symbols);
    r.noiseVar = std::move(d.noiseVar);
    r.soft = std::move(d.soft);
    r.deinterleaved = std::move(d.deinterleaved);
    r.decoded = std::move(d.decoded);
}

// The shared back end of the decoding receivers: soft demapper, deinterleaver, decoder (at 4800
// bit/s the ratios' signs), and the counts against what was sent.
void decode(const ModeParams& mode, const RoadConfig& config, const SendchainOut& tx,
            Reception& r) {
    r.codedBits = tx.CodOutInterIn.numel();
    r.infoBits = bit_budget(mode, config.nFrame).info;
    Decoding d;
    d.symbols = std::move(r.symbols);
    d.noiseVar = std::move(r.noiseVar);
    decode_symbols(mode, config.nFrame, config.softRule, d);
    adopt(std::move(d), r);
    count_decoded(mode, tx, r);
}

// The 75 bit/s back end: the pattern detector's ratios, deinterleaver and decoder.
void decode_patterns(const ModeParams& mode, const RoadConfig& config, const SendchainOut& tx,
                     const RealArray& llr, Reception& r) {
    r.codedBits = tx.CodOutInterIn.numel();
    r.infoBits = bit_budget(mode, config.nFrame).info;
    Decoding d;
    d.symbols = std::move(r.symbols);
    d.noiseVar = std::move(r.noiseVar);
    decode_pattern_ratios(mode, config.nFrame, llr, d);
    adopt(std::move(d), r);
    count_decoded(mode, tx, r);
}

// The genie's pattern ratios: y_i = s_i + n_i / g_i with variance v_i = N0 / g_i^2, so the
// coherent metric of a pattern is 2 Re(sum conj(s_i) y_i / v_i): patternslicer's with gain 1 and
// noise variance v0 (the smallest v_i) on the symbols weighed by v0 / v_i <= 1, which keeps them
// finite however small v0 (an erased symbol, v_i infinite, weighs 0).
RealArray genie_patterns(const ModeParams& mode, const Reception& r, SoftRule rule) {
    double v0 = std::numeric_limits<double>::infinity();
    for (const double v : r.noiseVar) v0 = std::min(v0, v);
    ComplexArray weighed(r.symbols.numel());
    for (index_t k = 0; k < weighed.numel(); ++k) {
        weighed[k] = std::isinf(r.noiseVar[k]) ? cdouble{} : r.symbols[k] * (v0 / r.noiseVar[k]);
    }
    return patternslicer(weighed, ComplexArray{cdouble(1.0, 0.0)}, RealArray{v0}, mode,
                         PatternDetection::coherent, rule)
        .LLR;
}

// The first `count` data symbols that the blanked samples reach through `peaks`.
std::vector<index_t> reached(const RoadResult& r, const RealArray& peaks, const ModeParams& mode,
                             const RoadConfig& config, index_t count) {
    return reached_data_symbols(r.blanking.samples, peaks, config.shaping, mode, count);
}

// A receiver that never reached its decoder: everything is missing.
void missing(const ModeParams& mode, const RoadConfig& config, const SendchainOut& tx,
             Reception& r) {
    r.codedBits = tx.CodOutInterIn.numel();
    r.infoBits = bit_budget(mode, config.nFrame).info;
    r.codedBitErrors = r.codedBits;
    r.infoBitErrors = r.infoBits;
    const BlockCount blocks = count_block_errors(RealArray(), tx.BitInCodIn, r.infoBits, mode);
    r.blocks = blocks.blocks;
    r.blockErrors = blocks.errors;
}

// The baseline receiver's decoding, from the unframer's symbols. It has no equaliser and no
// channel estimate: its noise variance is the symbols' spread around their hard decisions
// (spread_around_decisions), one value for the whole transmission, and it takes the channel's
// gain as 1. Per rate:
//   4800: uncoded, so the information bits are the data bits' hard decisions (symslicer's, in
//         transmission order, which is the encoder's); the soft values are softslicer's.
//   75:   the noncoherent pattern detector (the phase of the channel is unknown), then the
//         deinterleaver and the decoder.
//   else: softslicer, the deinterleaver and the decoder, which adds the ratios of repeated bits.
// Coded bits it did not receive are erasures; the hard-decision coded-bit count stays the one
// run_road makes from symslicer.
void decode_baseline(const ModeParams& mode, const RoadConfig& config, const SendchainOut& tx,
                     const ComplexArray& data, const SymslicerOut& demod,
                     const std::vector<index_t>& erased, Reception& r) {
    r.codedBits = tx.CodOutInterIn.numel();
    r.infoBits = bit_budget(mode, config.nFrame).info;
    r.symbols = data;
    r.noiseVar = RealArray(1);
    r.noiseVar[0] = spread_around_decisions(data, mode);
    erase(erased, r);
    if (uses_patterns(mode)) {
        r.soft.LLR = patternslicer(r.symbols, ComplexArray{cdouble(1.0, 0.0)}, r.noiseVar, mode,
                                   PatternDetection::noncoherent, config.softRule)
                         .LLR;
    } else {
        r.soft = softslicer(r.symbols, r.noiseVar, mode, config.softRule);
    }
    const RealArray llr = first_or_erased(r.soft.LLR, r.codedBits);
    r.ran = true;
    if (is_uncoded(mode)) {
        r.deinterleaved.out = llr;
        const index_t have = std::min(demod.DemapOut.numel(), tx.BitInCodIn.numel());
        r.decoded.DecodOut = RealArray(have);
        std::copy_n(demod.DemapOut.begin(), have, r.decoded.DecodOut.begin());
        r.decoded.InfoBits = RealArray(std::min(have, r.infoBits));
        std::copy_n(demod.DemapOut.begin(), r.decoded.InfoBits.numel(), r.decoded.InfoBits.begin());
    } else {
        r.deinterleaved = unshuffle(llr, mode);
        r.decoded = vitdecode(r.deinterleaved.out, mode, config.nFrame);
    }
    count_info(mode, tx, r);
}

// Replaces the received samples config.impulses name (after the channel, before the receivers),
// the noise taking the difference.
void apply_impulses(const std::vector<ReceivedImpulse>& impulses, HfchannelOut& f) {
    if (impulses.empty()) return;
    ComplexArray& x = f.AwgnOut;
    double power = 0;
    for (const cdouble v : x) power += std::norm(v);
    const double rms = x.numel() > 0 ? std::sqrt(power / static_cast<double>(x.numel())) : 0.0;
    for (const ReceivedImpulse& impulse : impulses) {
        const index_t n = impulse.sample;
        if (n < 0 || n >= x.numel()) {
            raise("hfchain:road:ImpulseOutside",
                  "An impulse at received sample " + std::to_string(n) +
                      " (0-based) lies outside the received signal of " +
                      std::to_string(x.numel()) + " samples.");
        }
        const cdouble value = impulse.size * rms;
        if (n < f.noise.numel()) f.noise[n] += value - x[n];
        x[n] = value;
    }
}

// The HF receiver and the genie handle every rate's parameter set; a hand-made one they do not
// handle is refused before any work.
void check_receivers(const ModeParams& mode, const RoadConfig& config) {
    if (!config.runs(ReceiverKind::hf) && !config.runs(ReceiverKind::genie)) return;
    const std::string refusal = receiver_mode_refusal(mode);
    if (!refusal.empty()) {
        raise("hfchain:road:UnsupportedReceiver",
              "run_road runs the hf and genie receivers in the modes of the waveform's rates; at " +
                  format_value(mode.rate) + " bit/s ask for the baseline receiver alone. (" +
                  refusal + ")");
    }
}

}  // namespace

void check_road_receivers(const ModeParams& mode, const std::vector<ReceiverKind>& receivers) {
    RoadConfig config;
    config.receivers = receivers;
    check_receivers(mode, config);
}

void check_hf_reach(const HfChannel& channel, const std::vector<ReceiverKind>& receivers) {
    if (std::find(receivers.begin(), receivers.end(), ReceiverKind::hf) == receivers.end()) return;
    const char* const kUnsupportedChannel = "hfchain:road:UnsupportedChannel";
    const char* const instead = " Run it with the baseline receiver and the genie.";
    std::vector<double> delays;
    for (const HfPath& p : channel.paths) delays.push_back(p.delay);
    std::sort(delays.begin(), delays.end());
    // In symbols, with a margin for the rounding of a delay written in ms (5 ms is 12 symbols).
    const double spread = delays.empty() ? 0 : (delays.back() - delays.front()) * kSymbolRate;
    if (spread > static_cast<double>(kMaxPathSpread) + 1e-9) {
        raise(kUnsupportedChannel, "The hf receiver's channel sounder finds paths at most " +
                                       std::to_string(kMaxPathSpread) +
                                       " symbols (5 ms) apart; this channel's lie " +
                                       format_value(spread) + " symbols apart." + instead);
    }
    // Paths at one delay are one path to the sounder.
    const auto distinct = std::unique(delays.begin(), delays.end()) - delays.begin();
    if (distinct > kMaxPaths) {
        raise(kUnsupportedChannel, "The hf receiver's channel sounder tracks at most " +
                                       std::to_string(kMaxPaths) +
                                       " paths (distinct delays); this channel has " +
                                       std::to_string(distinct) + "." + instead);
    }
    for (std::size_t p = 0; p < channel.paths.size(); ++p) {
        const double f = channel.offset + channel.paths[p].shift;
        if (!(std::fabs(f) < kFreqlockRange)) {
            raise(kUnsupportedChannel,
                  "The hf receiver's frequency search tells offsets apart below " +
                      format_value(kFreqlockRange) + " Hz either way; path " +
                      std::to_string(p + 1) + " of this channel arrives " + format_value(f) +
                      " Hz off (frequency offset and Doppler shift)." + instead);
        }
    }
}

RoadResult run_road(const ModeParams& mode, const RoadConfig& config, HostServices& host) {
    check_receivers(mode, config);
    if (config.channel.kind == ChannelKind::paths)
        check_hf_reach(config.channel.fading, config.receivers);
    if (!config.impulses.empty() && config.channel.kind == ChannelKind::none) {
        raise("hfchain:road:ImpulseWithoutNoise",
              "Impulses are added to a channel's received signal and noise; this road has no "
              "channel (ChannelKind::none).");
    }
    RoadResult r;
    r.tx = sendchain(mode, config.nFrame, config.txSeed, host);
    r.shaped = pulseshaper(r.tx.MultiplexOut, config.shaping);
    r.faded = config.channelStep
                  ? config.channelStep(config.channel, r.shaped.out, config.shaping, &mode, host)
                  : pass_channel(config.channel, r.shaped.out, config.shaping, host);
    apply_impulses(config.impulses, r.faded);

    const ComplexArray& received = r.received(config.channel.kind);
    r.blanking = impulseblank(received);
    const bool blank = !r.blanking.samples.empty();
    const ComplexArray cleaned = blank ? blanked(received, r.blanking.samples) : ComplexArray();
    r.matched = pulsematch(blank ? cleaned : received, config.shaping);
    r.expectedFrameStart =
        2.0 * config.shaping.pulseDelay * config.shaping.oversamplingFactor + 1.0;
    r.codedBits = r.tx.CodOutInterIn.numel();
    const bool baseline = config.runs(ReceiverKind::baseline);
    const bool hf = config.runs(ReceiverKind::hf);
    if (baseline || hf) {
        r.frameStart = framelock(r.matched.out, mode, config.shaping, host);
        r.frameFound = !r.frameStart.empty();
    }

    // The genie: the channel's own noise and ray gains (no noise and one ray of gain 1 without a
    // channel).
    if (config.runs(ReceiverKind::genie)) {
        const bool noiseless = config.channel.kind == ChannelKind::none;
        const ComplexArray quiet = noiseless ? ComplexArray(r.shaped.out.numel()) : ComplexArray();
        const double inf = std::numeric_limits<double>::infinity();
        const ComplexArray& noise = noiseless ? quiet : r.faded.noise;
        const ComplexArray quieted = blank ? blanked(noise, r.blanking.samples) : ComplexArray();
        r.genieView = geniecombine(r.tx.MultiplexOut, r.faded.raios, blank ? quieted : noise,
                                   noiseless ? inf : config.channel.EsNodB, mode, config.shaping);
        r.genie.symbols = r.genieView.out;
        r.genie.noiseVar = r.genieView.noiseVar;
        erase(reached(r, RealArray{r.expectedFrameStart}, mode, config, r.genie.symbols.numel()),
              r.genie);
        if (uses_patterns(mode)) {
            decode_patterns(mode, config, r.tx, genie_patterns(mode, r.genie, config.softRule),
                            r.genie);
        } else {
            decode(mode, config, r.tx, r.genie);
        }
    }

    // The HF receiver, from freqlock's offset and start (or framelock's, see receive_hf).
    if (hf) {
        const HfSettings settings{.nFrame = config.nFrame,
                                  .shaping = config.shaping,
                                  .iterations = config.iterations,
                                  .turboStop = config.turboStop,
                                  .softRule = config.softRule};
        HfReceived got =
            receive_hf(r.matched.out, r.frameStart, r.blanking.samples, mode, settings, host);
        r.locked = std::move(got.locked);
        r.sounding = std::move(got.sounding);
        r.equalised = std::move(got.equalised);
        r.patterns = std::move(got.patterns);
        if (got.decoding.ran) {
            r.hf.codedBits = r.tx.CodOutInterIn.numel();
            r.hf.infoBits = bit_budget(mode, config.nFrame).info;
            adopt(std::move(got.decoding), r.hf);
            count_decoded(mode, r.tx, r.hf);
        } else {
            missing(mode, config, r.tx, r.hf);
        }
    }

    if (!baseline) return r;
    if (!r.frameFound) {
        r.codedBitErrors = r.codedBits;  // nothing received: every bit is missing
        missing(mode, config, r.tx, r.baseline);
        return r;
    }

    r.symbols = tickalign(r.matched.out, r.frameStart[0], config.shaping);
    r.data = unframer(r.symbols.out, mode);
    r.demod = symslicer(r.data.out, mode);

    // The deinterleaver takes whole interleaver blocks: a late frame start or a channel delay
    // can leave a partial block (or extra symbols) at the end, which the comparison ignores. At
    // 4800 bit/s nothing is interleaved: the bits arrive in the encoder's order.
    const index_t T = mode.interTable.numel();
    index_t usable = std::min(r.demod.DemapOut.numel(), r.codedBits);
    usable = T > 0 ? usable / T * T : 0;
    if (is_uncoded(mode)) {
        r.deinterleaved.out = first_or_erased(r.demod.DemapOut, usable);
    } else if (usable == r.demod.DemapOut.numel()) {
        r.deinterleaved = unshuffle(r.demod.DemapOut, mode);
    } else {
        r.deinterleaved = unshuffle(first_or_erased(r.demod.DemapOut, usable), mode);
    }

    index_t errors = r.codedBits - usable;  // missing bits count as errors
    const RealArray& sent = r.tx.CodOutInterIn;
    const RealArray& got = r.deinterleaved.out;
    for (index_t k = 0; k < usable; ++k) errors += sent[k] != got[k] ? 1 : 0;
    r.codedBitErrors = errors;

    decode_baseline(mode, config, r.tx, r.data.out, r.demod,
                    reached(r, r.frameStart, mode, config, r.data.out.numel()), r.baseline);
    r.baseline.codedBitErrors = r.codedBitErrors;
    return r;
}

}  // namespace hfchain
