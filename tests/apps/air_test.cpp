// `hfchain transmit` and `hfchain receive` through the files themselves: what transmit writes,
// sox reads and receive decodes to the message's bytes, at every rate and at the sample rates of
// sound cards, also after sox converted it; the recording written outside the project; a file
// that is no audio refused by name with no output left behind; a recording whose sound card's
// clock runs off the sender's, also through fading paths; three transmissions of three modes in one
// recording, decoded without their modes (the guide's example); the SNR receive reads against the
// one the channel tool made; the pictures.
#include "apps/air.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "apps/air_picture.hpp"
#include "audio/airpath.hpp"
#include "audio/audio_file.hpp"
#include "chain/recording.hpp"
#include "params/rateconf.hpp"
#include "runtime/builtin_host.hpp"
#include "tests/support/programs.hpp"

#ifndef HFCHAIN_EXE
#define HFCHAIN_EXE "hfchain"
#endif

namespace hfchain::app {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::run_command;
using testing::ScratchDir;

const std::string kExe = HFCHAIN_EXE;
const fs::path kData = fs::path(HFCHAIN_SHARED_DATA);

bool have_sox() { return std::system("sox --version > /dev/null 2>&1") == 0; }

// A message of `n` bytes that is no repetition of one value.
std::string message(std::size_t n) {
    std::string m;
    for (std::size_t i = 0; i < n; ++i) m.push_back(static_cast<char>((i * 151 + 7) % 256));
    return m;
}

void write_file(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// receive's decoded bytes are the message's, then the last block's zeros.
void expect_message(const std::string& decoded, const std::string& sent) {
    ASSERT_GE(decoded.size(), sent.size());
    EXPECT_EQ(decoded.substr(0, sent.size()), sent);
    EXPECT_EQ(decoded.find_first_not_of('\0', sent.size()), std::string::npos);
}

TEST(OnTheAir, EveryRateRoundTripsThroughAFile) {
    const ScratchDir dir("air-rates");
    const std::string sent = message(40);
    write_file(dir / "m.bin", sent);
    const struct {
        int rate;
        int sampleRate;
        const char* file;
    } cases[] = {{75, 8000, "a.wav"},    {150, 9600, "b.flac"},  {300, 11025, "c.wav"},
                 {600, 16000, "d.wav"},  {1200, 22050, "e.wav"}, {2400, 44100, "f.flac"},
                 {4800, 48000, "g.wav"}, {2400, 8000, "h.raw"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " bit/s at " + std::to_string(c.sampleRate) + " Hz");
        const std::string rate = " --rate " + std::to_string(c.rate);
        const auto tx = run_command(kExe + " transmit" + rate + " --message '" + (dir / "m.bin") +
                                        "' --sample-rate " + std::to_string(c.sampleRate) +
                                        " -o '" + (dir / c.file) + "'",
                                    dir);
        ASSERT_EQ(tx.status, 0) << tx.err;
        EXPECT_NE(tx.out.find("mode " + std::to_string(c.rate) + " bit/s"), std::string::npos);
        const bool raw = std::string(c.file).ends_with(".raw");
        const std::string rawRate = raw ? " --raw-rate " + std::to_string(c.sampleRate) : "";
        const auto rx =
            run_command(kExe + " receive '" + (dir / c.file) + "'" + rate + rawRate + " -o '" +
                            (dir / "out.bin") + "' --json '" + (dir / "r.json") + "'",
                        dir);
        ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
        expect_message(read_file(dir / "out.bin"), sent);
        const std::string json = read_file(dir / "r.json");
        EXPECT_EQ(json.find("\"clockOffset\": null"), std::string::npos) << json;
        EXPECT_EQ(json.find("\"decoded\": false"), std::string::npos) << json;
        EXPECT_NE(rx.out.find("transmission 1: start 0.0000 s"), std::string::npos) << rx.out;
    }
}

TEST(OnTheAir, SoxReadsAndConvertsWhatTransmitWrites) {
    if (!have_sox()) GTEST_SKIP() << "sox is not installed";
    const ScratchDir dir("air-sox");
    const std::string sent = message(100);
    write_file(dir / "m.bin", sent);
    const auto tx = run_command(kExe + " transmit --rate 1200 --message '" + (dir / "m.bin") +
                                    "' --sample-rate 48000 -o '" + (dir / "t.wav") + "'",
                                dir);
    ASSERT_EQ(tx.status, 0) << tx.err;
    const auto info = run_command("sox --i '" + (dir / "t.wav") + "'", dir);
    EXPECT_NE(info.out.find("Sample Rate    : 48000"), std::string::npos) << info.out;
    // To 44.1 kHz FLAC, then back to 8000 Hz WAV.
    ASSERT_EQ(run_command("sox '" + (dir / "t.wav") + "' '" + (dir / "t.flac") +
                              "' rate -v 44100 && sox '" + (dir / "t.flac") + "' -b 16 '" +
                              (dir / "t8.wav") + "' rate -v 8000",
                          dir)
                  .status,
              0);
    for (const char* file : {"t.flac", "t8.wav"}) {
        SCOPED_TRACE(file);
        const auto rx = run_command(
            kExe + " receive --rate 1200 '" + (dir / file) + "' -o '" + (dir / "out.bin") + "'",
            dir);
        ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
        expect_message(read_file(dir / "out.bin"), sent);
    }
}

// The number after `key` in `json` (NaN when it is missing).
double json_number(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\": ");
    return at == std::string::npos ? std::nan("") : std::stod(json.substr(at + key.size() + 4));
}

// What transmit writes, taken by a sound card whose clock runs off the sender's: receive
// measures the offset and decodes every block, the last too when the recording runs slow and
// holds the 30 s transmission in fewer samples.
TEST(OnTheAir, ReceiveFollowsTheSoundCardsClock) {
    const ScratchDir dir("air-clock");
    const std::string sent = message(9000);  // 51 blocks at 2400 bit/s, 0.6 s
    write_file(dir / "m.bin", sent);
    const auto tx = run_command(kExe + " transmit --rate 2400 --message '" + (dir / "m.bin") +
                                    "' -o '" + (dir / "t.wav") + "'",
                                dir);
    ASSERT_EQ(tx.status, 0) << tx.err;
    const audio::AudioData sound = audio::read_audio(dir / "t.wav");
    const audio::WriteOptions write{.encoding = audio::Encoding::float32,
                                    .sampleRate = sound.sampleRate};
    for (const double ppm : {-100.0, 50.0, 100.0}) {
        SCOPED_TRACE(ppm);
        audio::write_audio(dir / "c.wav", write, audio::reclock(sound.samples, ppm));
        const auto rx = run_command(kExe + " receive --rate 2400 '" + (dir / "c.wav") + "' -o '" +
                                        (dir / "out.bin") + "' --json '" + (dir / "r.json") + "'",
                                    dir);
        ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
        expect_message(read_file(dir / "out.bin"), sent);
        const std::string json = read_file(dir / "r.json");
        EXPECT_NEAR(json_number(json, "clockOffset"), ppm, 3) << json;
    }
}

// receive's SNR in 3 kHz against the one the channel tool measured on its output: within half a
// dB on white noise, with and without the SSB filter, and within a dB through fading paths.
TEST(OnTheAir, ReceiveReadsTheSnrTheChannelMade) {
    const ScratchDir dir("air-snr");
    const struct {
        int rate, blocks;
        const char* channel;
        double snr3k, tolerance;
    } cases[] = {{150, 3, "awgn", 0, 0.5},
                 {2400, 5, "awgn", 15, 0.5},
                 {2400, 5, "awgn --ssb-filter", 30, 0.5},
                 {600, 5, "ruim", 5, 1},
                 {2400, 5, "ruim", 20, 1},
                 {2400, 5, "bom", 25, 1},
                 {600, 2, "itu_mid_disturbed --offset 40 --clock-ppm 50", 15, 1}};
    for (const auto& c : cases) {
        const std::string rate = " --rate " + std::to_string(c.rate);
        SCOPED_TRACE(rate + " -c " + c.channel + " --snr3k " + std::to_string(c.snr3k));
        const auto tx = run_command(kExe + " transmit" + rate + " -n " + std::to_string(c.blocks) +
                                        " --sample-rate 8000 -o '" + (dir / "t.wav") + "'",
                                    dir);
        ASSERT_EQ(tx.status, 0) << tx.err;
        // Silence before and after, as a recording has: the paths' delays stay in the file.
        audio::AudioData sound = audio::read_audio(dir / "t.wav");
        sound.samples.insert(sound.samples.begin(), 2400, 0.0);
        sound.samples.insert(sound.samples.end(), 2400, 0.0);
        audio::write_audio(dir / "p.wav", {.sampleRate = sound.sampleRate}, sound.samples);
        const auto ch =
            run_command(kExe + " channel '" + (dir / "p.wav") + "' '" + (dir / "r.wav") + "' -c " +
                            c.channel + " --snr3k " + std::to_string(c.snr3k) + " --seed 3",
                        dir);
        ASSERT_EQ(ch.status, 0) << ch.err;
        const std::size_t at = ch.err.find("SNR(3 kHz) ");
        ASSERT_NE(at, std::string::npos) << ch.err;
        const double made = std::stod(ch.err.substr(at + 11));
        const auto rx = run_command(kExe + " receive" + rate + " '" + (dir / "r.wav") +
                                        "' --json '" + (dir / "r.json") + "'",
                                    dir);
        ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
        EXPECT_NEAR(json_number(read_file(dir / "r.json"), "snr3k"), made, c.tolerance) << rx.out;
    }
}

// receive's sample clock through fading paths, where the symbol-rate line of the received
// power wanders with the paths: the offset set lies within the uncertainty read, which stays
// small enough to tell, and every block decodes. A 3.6 s message through moderado (read +100 ppm
// where none was set, two blocks of five kept) and the guide's 1.2 s message through
// itu_mid_disturbed with 50 ppm (read +21.6 ppm).
TEST(OnTheAir, ReceiveReadsTheClockThroughFadingPaths) {
    const ScratchDir dir("air-clock-paths");
    write_file(dir / "m.txt", "Hello over HF.\n");  // the message of the guide's example
    const struct {
        const char* transmit;
        bool silence;  // 0.3 s of silence before and after
        const char* channel;
        double ppm, widest;
        std::size_t blocks;
    } cases[] = {{"--rate 2400 -n 5 --seed 1", true, "moderado --snr3k 15 --seed 3", 0, 150, 5},
                 {"--rate 600 --message m.txt", false,
                  "itu_mid_disturbed --snr3k 15 --offset 40 --clock-ppm 50 --seed 3", 50, 60, 1}};
    // The commands run in the scratch folder, on its files.
    const std::string in = "cd '" + dir.path().string() + "' && " + kExe;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.transmit) + " -c " + c.channel);
        ASSERT_EQ(run_command(in + " transmit " + c.transmit + " -o t.wav", dir).status, 0);
        audio::AudioData sound = audio::read_audio(dir / "t.wav");
        const std::size_t quiet = c.silence ? 2400 : 0;
        sound.samples.insert(sound.samples.begin(), quiet, 0.0);
        sound.samples.insert(sound.samples.end(), quiet, 0.0);
        audio::write_audio(dir / "p.wav", {.sampleRate = sound.sampleRate}, sound.samples);
        ASSERT_EQ(run_command(in + " channel p.wav r.wav -c " + c.channel, dir).status, 0);
        const auto rx = run_command(in + " receive r.wav --json r.json", dir);
        ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
        const std::string json = read_file(dir / "r.json");
        const double uncertainty = json_number(json, "clockUncertainty");
        EXPECT_LE(uncertainty, c.widest) << json;
        EXPECT_NEAR(json_number(json, "clockOffset"), c.ppm, uncertainty) << json;
        std::size_t decoded = 0;
        for (std::size_t at = 0; (at = json.find("\"decoded\": true", at)) != std::string::npos;
             ++at) {
            ++decoded;
        }
        EXPECT_EQ(decoded, c.blocks) << json;
    }
}

// A carrier whose band the input's sample rate cannot hold is a refused option (status 2),
// with the noise set either way, and nothing is written.
TEST(OnTheAir, ChannelRefusesACarrierTheInputCannotHold) {
    const ScratchDir dir("air-carrier");
    ASSERT_EQ(run_command(kExe + " transmit -o '" + (dir / "t.wav") + "'", dir).status, 0);
    for (const char* noise : {"--snr3k 10", "--noise-dbfs -30"}) {
        SCOPED_TRACE(noise);
        const auto r = run_command(kExe + " channel '" + (dir / "t.wav") + "' '" + (dir / "o.wav") +
                                       "' -c awgn --carrier 3000 " + noise,
                                   dir);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("--carrier: the carrier 3000 Hz puts the band outside 0 .. 4000 Hz"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(dir / "o.wav"));
    }
}

// The pictures' spectrum: white noise of variance v at fs has the one-sided density 2 v / fs at
// every frequency, whatever the blocks it comes in.
TEST(OnTheAir, SpectrumReadsTheNoisesDensity) {
    for (const double fs : {8000.0, 48000.0}) {
        SCOPED_TRACE(fs);
        std::mt19937 gen(3);
        std::normal_distribution<double> noise(0, 0.1);
        std::vector<double> x(static_cast<std::size_t>(20 * fs));
        for (double& v : x) v = noise(gen);
        AudioSpectrum spectrum(fs);
        spectrum.push(x.data(), 1000);
        spectrum.push(x.data() + 1000, x.size() - 1000);
        std::istringstream rows(spectrum.rows(3000));
        double f = 0, db = 0, sum = 0, count = 0, last = 0;
        while (rows >> f >> db) {
            if (f > 100) sum += db, ++count;
            last = f;
        }
        EXPECT_NEAR(sum / count, 10 * std::log10(2 * 0.01 / fs), 0.1);
        EXPECT_NEAR(last, 3000, fs / 4096);
    }
}

// transmit --plot draws the spectrum sent; receive --plot the recording's and the first
// transmission's symbols before and after the HF receiver.
TEST(OnTheAir, PicturesOfTransmitAndReceive) {
    if (std::system("gnuplot --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no gnuplot";
    const ScratchDir dir("air-plot");
    const auto tx = run_command(
        kExe + " transmit --rate 600 -o '" + (dir / "t.wav") + "' --plot '" + (dir / "t.svg") + "'",
        dir);
    ASSERT_EQ(tx.status, 0) << tx.err;
    EXPECT_NE(read_file(dir / "t.svg").find("spectrum of the audio sent"), std::string::npos);
    const auto rx = run_command(
        kExe + " receive --rate 600 '" + (dir / "t.wav") + "' --plot '" + (dir / "r.svg") + "'",
        dir);
    ASSERT_EQ(rx.status, 0) << rx.err;
    const std::string svg = read_file(dir / "r.svg");
    for (const char* title : {"spectrum of the recording", "at the matched filter, every symbol",
                              "after the HF receiver: equalised data symbols"}) {
        EXPECT_NE(svg.find(title), std::string::npos) << title;
    }
    EXPECT_EQ(svg.find("not reached"), std::string::npos);
}

// The recording written outside the project, as it is and resampled by sox.
TEST(OnTheAir, DecodesTheOutsideRecording) {
    const fs::path wav = kData / "outside-2400-0.6s-9600Hz.wav";
    if (!fs::exists(wav)) GTEST_SKIP() << "no shared test data at " << kData;
    const std::string expected = read_file(kData / "outside-2400-0.6s-9600Hz.bits");
    const ScratchDir dir("air-outside");
    std::vector<std::string> files{wav.string()};
    if (have_sox()) {
        for (const char* rate : {"8000", "44100"}) {
            const std::string copy = dir / (std::string(rate) + ".wav");
            ASSERT_EQ(
                run_command("sox '" + wav.string() + "' -b 16 '" + copy + "' rate -v " + rate, dir)
                    .status,
                0);
            files.push_back(copy);
        }
    }
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const auto rx = run_command(kExe + " receive '" + file + "' -o -", dir);
        ASSERT_EQ(rx.status, 0) << rx.err;
        EXPECT_EQ(rx.out, expected);
        EXPECT_NE(rx.err.find("start 0.50"), std::string::npos) << rx.err;
    }
    if (!have_sox()) GTEST_SKIP() << "sox is not installed: the resampled copies are not tried";
}

// The guide's example (docs/on-the-air.md): three messages at three modes joined by sox with
// gaps, through an HF channel, received without a mode: each transmission's mode, then the
// messages in order, each followed by its last block's zeros.
TEST(OnTheAir, ThreeModesInOneRecordingDecodeWithoutTheirModes) {
    if (!have_sox()) GTEST_SKIP() << "sox is not installed";
    const ScratchDir dir("air-three");
    const struct {
        const char* rate;
        const char* interleaver;
        const char* text;
        const char* mode;
    } sent[] = {{"600", "0.6", "Hello over HF.\n", "600 bit/s, 0.6 s"},
                {"300", "4.8", "A second message, slower.\n", "300 bit/s, 4.8 s"},
                {"1200", "0.6", "Third.\n", "1200 bit/s, 0.6 s"}};
    const std::string in = "cd '" + (dir / ".") + "' && ";
    std::string joined = "sox gap.wav";
    for (std::size_t i = 0; i < std::size(sent); ++i) {
        const std::string n = std::to_string(i + 1);
        write_file(dir / ("m" + n + ".txt"), sent[i].text);
        const auto tx =
            run_command(in + kExe + " transmit --rate " + sent[i].rate + " -i " +
                            sent[i].interleaver + " --message m" + n + ".txt -o tx" + n + ".wav",
                        dir);
        ASSERT_EQ(tx.status, 0) << tx.err;
        joined += " tx" + n + ".wav gap.wav";
    }
    ASSERT_EQ(
        run_command(in + "sox -n -r 8000 -b 16 gap.wav trim 0 1.5 && " + joined + " tx.wav", dir)
            .status,
        0);
    const auto ch = run_command(in + kExe +
                                    " channel tx.wav rx.wav -c itu_mid_disturbed --snr3k 15 "
                                    "--offset 40 --clock-ppm 50 --seed 3",
                                dir);
    ASSERT_EQ(ch.status, 0) << ch.err;
    const auto rx = run_command(in + kExe + " receive rx.wav -o received.txt --json r.json", dir);
    ASSERT_EQ(rx.status, 0) << rx.out << rx.err;
    const std::string json = read_file(dir / "r.json");
    std::size_t at = 0;
    std::string expected;
    for (const auto& s : sent) {
        const std::string mode = "\"mode\": \"" + std::string(s.mode) + "\", \"confidence\": ";
        at = json.find(mode, at);
        ASSERT_NE(at, std::string::npos) << s.mode << " in " << json;
        at += mode.size();
        EXPECT_GT(std::stod(json.substr(at, 16)), 0.9999) << s.mode << " in " << json;
        expected += s.text;
    }
    EXPECT_EQ(json.find("\"decoded\": false"), std::string::npos) << json;
    std::string decoded = read_file(dir / "received.txt");
    std::erase(decoded, '\0');
    EXPECT_EQ(decoded, expected);
    // Told one mode, receive passes over the others' transmissions (their preambles differ from
    // its own in the mode symbols only): the second message alone, and nothing at 2400 bit/s.
    const auto second = run_command(in + kExe + " receive rx.wav --rate 300 -i 4.8 -o -", dir);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out.substr(0, std::strlen(sent[1].text)), sent[1].text);
    EXPECT_EQ(second.err.find("transmission 2"), std::string::npos) << second.err;
    const auto none = run_command(in + kExe + " receive rx.wav --rate 2400 -o -", dir);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out.size(), 0u) << "bytes written";
}

TEST(OnTheAir, WhatCannotBeDecodedFails) {
    const ScratchDir dir("air-bad");
    write_file(dir / "bad.wav", "this is not a sound file");
    const auto rx = run_command(
        kExe + " receive '" + (dir / "bad.wav") + "' -o '" + (dir / "out.bin") + "'", dir);
    EXPECT_EQ(rx.status, 1);
    EXPECT_NE(rx.err.find("bad.wav"), std::string::npos) << rx.err;
    EXPECT_FALSE(fs::exists(dir / "out.bin"));
    // A recording without a transmission of the mode asked for: reported, exit status 1.
    const auto tx =
        run_command(kExe + " transmit --rate 2400 -o '" + (dir / "other.wav") + "'", dir);
    ASSERT_EQ(tx.status, 0) << tx.err;
    const auto none = run_command(kExe + " receive --rate 600 '" + (dir / "other.wav") + "'", dir);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.out.find("no transmission found"), std::string::npos) << none.out;
}

}  // namespace
}  // namespace hfchain::app
