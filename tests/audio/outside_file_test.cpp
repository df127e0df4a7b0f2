// A transmission written as audio by a modulator outside the project, read, brought to baseband
// and decoded by the receivers to exactly the bits it carries: the carrier's sign, the level, the
// resampler's delay and the band all have to agree with the outside world's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audio/audio_file.hpp"
#include "audio/passband.hpp"
#include "params/rateconf.hpp"
#include "receiver/decoder/vitdecode.hpp"
#include "receiver/deinterleave/unshuffle.hpp"
#include "receiver/demux/unframer.hpp"
#include "receiver/framesync/framelock.hpp"
#include "receiver/matchedfilter/pulsematch.hpp"
#include "receiver/softdemod/softslicer.hpp"
#include "receiver/timing/tickalign.hpp"
#include "runtime/builtin_host.hpp"
#include "transmitter/sendchain.hpp"

namespace hfchain::audio {
namespace {

namespace fs = std::filesystem;

// The shared test data beside the repository (absent on a machine without it).
const fs::path kData = fs::path(HFCHAIN_SHARED_DATA);

std::vector<double> packed_bits(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<double> bits;
    for (char byte; in.get(byte);) {
        for (int b = 7; b >= 0; --b) bits.push_back((static_cast<unsigned char>(byte) >> b) & 1);
    }
    return bits;
}

// The frame search looks for the preamble among the first 288 symbols: the file's half second of
// silence ahead is cut to 20 ms ahead of the first sample above -60 dBFS.
std::vector<double> from_the_signal_on(const AudioData& audio) {
    std::size_t first = 0;
    while (first < audio.samples.size() && std::abs(audio.samples[first]) < 1e-3) ++first;
    const std::size_t margin = static_cast<std::size_t>(0.02 * audio.sampleRate);
    return {
        audio.samples.begin() + static_cast<std::ptrdiff_t>(first > margin ? first - margin : 0),
        audio.samples.end()};
}

// `audio` at 2400 bit/s, 0.6 s interleaver, one block: the information bits decoded.
std::vector<double> decode_2400(const AudioData& audio) {
    const PassbandConfig config{.sampleRate = audio.sampleRate, .samplesPerSymbol = 4};
    const ComplexArray baseband = demodulate(from_the_signal_on(audio), config);
    const ModeParams mode = rateconf(2400, 0.6);
    const VarShapping shaping{.rolloffFactor = 0.35, .pulseDelay = 8, .oversamplingFactor = 4};
    const PulsematchOut matched = pulsematch(baseband, shaping);
    const RealArray start = framelock(matched.out, mode, shaping);
    if (start.empty()) return {};
    // The symbols of one transmission from its start (the file's silence after it is no frame).
    ComplexArray symbols = tickalign(matched.out, start[0], shaping).out;
    BuiltinHost host;
    const index_t sent = sendchain(mode, 1, 21, host).MultiplexOut.numel();
    if (symbols.numel() < sent) return {};
    symbols.resize(sent);
    const UnframerOut data = unframer(symbols, mode);
    // The symbols' level is the audio's: the noise variance only sets the ratios' scale, which
    // the decoder's decisions do not depend on in a clean signal.
    double power = 0;
    for (const cdouble& s : data.out) power += std::norm(s);
    const RealArray noiseVar{1e-3 * power / data.out.numel()};
    const SoftslicerOut soft = softslicer(data.out, noiseVar, mode);
    const VitdecodeOut decoded = vitdecode(unshuffle(soft.LLR, mode).out, mode, 1);
    return {decoded.InfoBits.begin(), decoded.InfoBits.end()};
}

bool have_sox() { return std::system("sox --version > /dev/null 2>&1") == 0; }

// The file as it is, and resampled by sox (when it is installed) to 8000 and 44100 Hz.
TEST(OutsideAudio, DecodesToTheBitsItCarries) {
    const fs::path wav = kData / "outside-2400-0.6s-9600Hz.wav";
    if (!fs::exists(wav)) GTEST_SKIP() << "no shared test data at " << kData;
    const std::vector<double> expected = packed_bits(kData / "outside-2400-0.6s-9600Hz.bits");
    ASSERT_EQ(expected.size(), 1296u);
    const AudioData audio = read_audio(wav.string());
    ASSERT_EQ(audio.sampleRate, 9600);
    EXPECT_EQ(decode_2400(audio), expected);

    if (!have_sox()) GTEST_SKIP() << "sox is not installed: the resampled copies are not tried";
    const fs::path dir =
        fs::temp_directory_path() / ("hfchain-outside-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const int rate : {8000, 44100}) {
        SCOPED_TRACE(rate);
        const fs::path copy = dir / (std::to_string(rate) + ".wav");
        const std::string command = "sox '" + wav.string() + "' -b 16 '" + copy.string() +
                                    "' rate -v " + std::to_string(rate);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const AudioData resampled = read_audio(copy.string());
        EXPECT_EQ(resampled.sampleRate, rate);
        EXPECT_EQ(decode_2400(resampled), expected);
    }
    fs::remove_all(dir);
}

// What the project writes, sox reads as written: rate, channels, sample size, length.
TEST(OutsideAudio, SoxReadsTheFilesWritten) {
    if (!have_sox()) GTEST_SKIP() << "sox is not installed";
    const fs::path dir = fs::temp_directory_path() / ("hfchain-sox-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const struct {
        const char* name;
        WriteOptions options;
        const char* precision;
    } cases[] = {
        {"a.wav", {Container::wav, Encoding::pcm16, 8000}, "16-bit"},
        {"b.wav", {Container::wav, Encoding::pcm24, 48000}, "24-bit"},
        {"c.wav", {Container::wav, Encoding::float32, 44100}, "25-bit"},
        {"d.flac", {Container::flac, Encoding::pcm16, 11025}, "16-bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        write_audio(file.string(), c.options, std::vector<double>(1234, 0.25));
        const fs::path info = dir / "info.txt";
        ASSERT_EQ(
            std::system(("sox --i '" + file.string() + "' > '" + info.string() + "'").c_str()), 0);
        std::ifstream in(info);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(text.find("Channels       : 1"), std::string::npos) << text;
        EXPECT_NE(
            text.find("Sample Rate    : " + std::to_string(static_cast<int>(c.options.sampleRate))),
            std::string::npos)
            << text;
        EXPECT_NE(text.find("Precision      : " + std::string(c.precision)), std::string::npos)
            << text;
        EXPECT_NE(text.find("= 1234 samples"), std::string::npos) << text;
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace hfchain::audio
