#include "audio/air.hpp"

#include <algorithm>

#include "audio/airpath.hpp"
#include "audio/audio_file.hpp"
#include "runtime/checks.hpp"
#include "shaping/pulseshaper.hpp"
#include "transmitter/bitbudget.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::audio {

namespace {

// The baseband is kept in single precision, 8 bytes a sample at 9600 samples a second (277 MB
// an hour of recording): files beyond this are refused.
constexpr double kLongestRecording = 8 * 3600;  // s

// Audio demodulated at a time.
constexpr std::size_t kChunk = 1 << 16;

// Reads up to n samples into the buffer; returns how many (0 at the end).
using ReadStep = std::function<std::size_t(double*, std::size_t)>;

PassbandConfig checked_passband(double sampleRate, double carrier, const std::string& name) {
    const PassbandConfig config = air_passband(sampleRate, carrier);
    try {
        check_passband(config);
    } catch (const Error& e) {
        raise("hfchain:receive:BadRecording", "'" + name + "': " + e.message());
    }
    return config;
}

// The audio that `read` gives, brought down chunk by chunk; `longest` samples at most.
AirRecording demodulate_steps(const ReadStep& read, const PassbandConfig& config, double longest,
                              const std::string& name) {
    Demodulator demod(config);
    AirRecording r;
    r.sampleRate = config.sampleRate;
    std::vector<double> samples(kChunk);
    std::vector<cdouble> down;
    long long read_total = 0;
    const auto keep = [&] {
        for (const cdouble& v : down) {
            r.baseband.emplace_back(static_cast<float>(v.real()), static_cast<float>(v.imag()));
        }
        down.clear();
    };
    for (std::size_t n; (n = read(samples.data(), kChunk)) > 0;) {
        read_total += static_cast<long long>(n);
        if (static_cast<double>(read_total) > longest) {
            raise(
                "hfchain:receive:TooLong",
                "'" + name + "' is longer than " + format_value(kLongestRecording / 3600) +
                    " hours, the longest recording receive reads (its baseband is kept in "
                    "memory, 277 MB an hour); cut it into parts (sox IN PART trim START LENGTH).");
        }
        demod.push(samples.data(), n, down);
        keep();
    }
    demod.finish(down);
    keep();
    r.seconds = static_cast<double>(read_total) / r.sampleRate;
    return r;
}

}  // namespace

VarShapping air_shaping() {
    return {.rolloffFactor = 0.35, .pulseDelay = 6, .oversamplingFactor = 4};
}

PassbandConfig air_passband(double sampleRate, double carrier) {
    return air_passband(AirSettings{.sampleRate = sampleRate, .carrier = carrier}, air_shaping());
}

AirTransmission transmit_air(const ModeParams& mode, const AirSource& source,
                             const PassbandConfig& passband, const Level& level,
                             HostServices& host) {
    check_passband(passband);
    AirTransmission t;
    SendchainOut tx;
    if (source.message != nullptr) {
        t.nFrame = blocks_for(mode, source.message->numel());
        tx = sendchain_bits(mode, t.nFrame, *source.message, host);
    } else {
        t.nFrame = source.nFrame;
        tx = sendchain(mode, t.nFrame, source.seed, host);
    }
    t.infoBits = bit_budget(mode, t.nFrame).info;
    const ComplexArray shaped = pulseshaper(tx.MultiplexOut, air_shaping()).out;
    t.audio = modulate(shaped, passband, level);
    return t;
}

double blocks_for(const ModeParams& mode, index_t bits) {
    for (double n = 1;; ++n) {
        try {
            if (bit_budget(mode, n).info >= bits) return n;
        } catch (const Error&) {
            // Too few blocks for one information bit (a block holds one at least); past that
            // the mode itself is at fault.
            if (n > kFlushBits) throw;
        }
    }
}

RealArray bits_of_bytes(const std::string& bytes) {
    RealArray bits(static_cast<index_t>(bytes.size()) * 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        for (int b = 0; b < 8; ++b) {
            bits[static_cast<index_t>(i * 8) + b] =
                (static_cast<unsigned char>(bytes[i]) >> (7 - b)) & 1;
        }
    }
    return bits;
}

std::string bytes_of_bits(const RealArray& bits) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>((bits.numel() + 7) / 8));
    for (index_t k = 0; k < bits.numel(); k += 8) {
        unsigned byte = 0;
        for (index_t b = 0; b < 8; ++b) {
            const bool one = k + b < bits.numel() && bits[k + b] == 1;
            byte |= (one ? 1u : 0u) << (7 - b);
        }
        bytes.push_back(static_cast<char>(byte));
    }
    return bytes;
}

AirRecording demodulate_recording(AudioReader& reader, double carrier, const std::string& name,
                                  const AudioTap& heard) {
    const PassbandConfig config = checked_passband(reader.sampleRate(), carrier, name);
    const ReadStep read = [&](double* out, std::size_t n) {
        const std::size_t k = reader.read(out, n);
        if (heard) heard(out, k);
        return k;
    };
    return demodulate_steps(read, config, kLongestRecording * reader.sampleRate(), name);
}

AirRecording demodulate_recording(const double* samples, std::size_t n, double sampleRate,
                                  double carrier, const std::string& name) {
    const PassbandConfig config = checked_passband(sampleRate, carrier, name);
    std::size_t at = 0;
    const ReadStep read = [&](double* out, std::size_t most) {
        const std::size_t k = std::min(most, n - at);
        std::copy_n(samples + at, k, out);
        at += k;
        return k;
    };
    return demodulate_steps(read, config, static_cast<double>(n), name);
}

namespace {

// The recording receiver on the air's shaping, following the sample clock.
RecordingSettings air_recording_settings(bool keepSymbols) {
    RecordingSettings settings;
    settings.keepSymbols = keepSymbols;
    settings.shaping = air_shaping();
    settings.reclock = [](const ComplexArray& x, double ppm) { return reclock(x, ppm); };
    return settings;
}

}  // namespace

std::vector<RecordedTransmission> receive_air(const AirRecording& recording, const ModeParams& mode,
                                              HostServices& host, bool keepSymbols) {
    return receive_recording(recording.baseband, mode, air_recording_settings(keepSymbols), host);
}

std::vector<RecordedTransmission> receive_air(const AirRecording& recording, HostServices& host,
                                              bool keepSymbols) {
    return receive_recording(recording.baseband, air_recording_settings(keepSymbols), host);
}

}  // namespace hfchain::audio
