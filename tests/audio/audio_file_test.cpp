#include "audio/audio_file.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/errors.hpp"
#include "runtime/error.hpp"

namespace hfchain::audio {
namespace {

namespace fs = std::filesystem;

class AudioFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("hfchain-audio-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string at(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(at(name), std::ios::binary) << bytes;
    }
    fs::path dir_;
};

std::vector<double> ramp(std::size_t n) {
    std::vector<double> x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = 0.9 * std::sin(0.05 * k * k / n + 0.3 * k);
    return x;
}

// Each format gives back its samples within half a step of its quantiser.
TEST_F(AudioFile, EachFormatGivesBackItsSamples) {
    const struct {
        const char* name;
        WriteOptions options;
        double step;
    } cases[] = {
        {"a.wav", {Container::wav, Encoding::pcm16, 8000}, 1.0 / 32768},
        {"b.wav", {Container::wav, Encoding::pcm24, 48000}, 1.0 / 8388608},
        {"c.wav", {Container::wav, Encoding::pcm32, 44100}, 1e-9},
        {"d.wav", {Container::wav, Encoding::float32, 9600}, 1e-7},
        {"e.flac", {Container::flac, Encoding::pcm16, 11025}, 1.0 / 32768},
        {"f.flac", {Container::flac, Encoding::pcm24, 96000}, 1.0 / 8388608},
        {"g.raw", {Container::raw, Encoding::pcm16, 16000}, 1.0 / 32768},
    };
    const std::vector<double> x = ramp(3001);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_audio(at(c.name), c.options, x);
        ReadOptions read;
        if (c.options.container == Container::raw) read = {.raw = true, .rawRate = 16000};
        const AudioData back = read_audio(at(c.name), read);
        EXPECT_EQ(back.sampleRate, c.options.sampleRate);
        EXPECT_EQ(back.channels, 1);
        ASSERT_EQ(back.samples.size(), x.size());
        for (std::size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(back.samples[k], x[k], c.step) << k;
    }
    EXPECT_EQ(container_for("x.flac"), Container::flac);
    EXPECT_EQ(container_for("x.s16"), Container::raw);
    EXPECT_EQ(container_for("-"), Container::wav);
}

// One channel of a stereo file, WAV or raw (interleaved), block by block.
TEST_F(AudioFile, OneChannelOfAStereoFileIsPicked) {
    // Left 1000 + k, right -k (as 16-bit integers).
    std::string wav = "RIFF" + std::string(4, '\0') + "WAVEfmt ";
    auto u32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    auto u16 = [](std::uint16_t v) { return std::string{char(v), char(v >> 8)}; };
    std::string data;
    for (int k = 0; k < 500; ++k)
        data += u16(static_cast<std::uint16_t>(1000 + k)) + u16(static_cast<std::uint16_t>(-k));
    wav += u32(16) + u16(1) + u16(2) + u32(8000) + u32(32000) + u16(4) + u16(16) + "data" +
           u32(data.size()) + data;
    wav.replace(4, 4, u32(static_cast<std::uint32_t>(wav.size() - 8)));
    put("s.wav", wav);
    put("s.raw", data);
    for (const auto& [name, options] :
         {std::pair{"s.wav", ReadOptions{}},
          std::pair{"s.raw", ReadOptions{.raw = true, .rawRate = 8000, .rawChannels = 2}}}) {
        for (const int channel : {1, 2}) {
            SCOPED_TRACE(std::string(name) + " channel " + std::to_string(channel));
            ReadOptions o = options;
            o.channel = channel;
            AudioReader reader(at(name), o);
            EXPECT_EQ(reader.channels(), 2);
            std::vector<double> got;
            double block[37];
            while (const std::size_t n = reader.read(block, 37))
                got.insert(got.end(), block, block + n);
            ASSERT_EQ(got.size(), 500u);
            for (int k = 0; k < 500; ++k) {
                ASSERT_EQ(got[k] * 32768, channel == 1 ? 1000 + k : -k) << k;
            }
        }
        ReadOptions third = options;
        third.channel = 3;
        EXPECT_THROW(AudioReader(at(name), third), Error);
    }
}

// A bad file is refused with its name; nothing is written in place of an output on an error.
TEST_F(AudioFile, BadFilesAreRefusedNamingTheFile) {
    write_audio(at("good.wav"), {}, ramp(1000));
    std::ifstream in(at("good.wav"), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    put("truncated.wav", good.substr(0, good.size() / 2));
    put("header.wav", good.substr(0, 20));
    put("text.wav", "this is a text file, not audio\n");
    put("empty.wav", "");
    put("one-byte.raw", "x");
    write_audio(at("no-samples.wav"), {}, {});
    const struct {
        const char* name;
        ReadOptions options;
    } cases[] = {
        {"truncated.wav", {}},  {"header.wav", {}},
        {"text.wav", {}},       {"empty.wav", {}},
        {"no-samples.wav", {}}, {"one-byte.raw", {.raw = true, .rawRate = 8000}},
        {"missing.wav", {}},    {"good.wav", {.raw = true, .rawRate = 0}},
    };
    for (const auto& c : cases) {
        try {
            read_audio(at(c.name), c.options);
            ADD_FAILURE() << c.name << " was read";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(at(c.name)), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.identifier()).rfind("hfchain:audio:", 0), 0u) << e.identifier();
        }
    }

    // An output that fails leaves the target as it was, and no temporary file beside it.
    put("kept.wav", "previous");
    EXPECT_THROW(write_audio(at("kept.wav"), {Container::flac, Encoding::float32, 8000}, ramp(10)),
                 Error);
    {
        AudioWriter writer(at("kept.wav"), {});
        writer.write(ramp(100).data(), 100);
    }  // never committed
    std::ifstream kept(at("kept.wav"));
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(kept)), {}), "previous");
    EXPECT_THROW(write_audio(at("new.raw"), {Container::raw, Encoding::pcm24, 8000}, ramp(10)),
                 Error);
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir_))
        files += entry.path().filename().string()[0] == '.';
    EXPECT_EQ(files, 0u);
    EXPECT_FALSE(fs::exists(at("new.raw")));
}

// "-" writes the finished file to standard output and reads standard input: WAV from a pipe,
// FLAC (which libsndfile reads only from a seekable input) from a file.
TEST_F(AudioFile, StandardInputAndOutput) {
    const std::vector<double> x = ramp(2000);
    // Raw samples stream both ways through pipes (no header, no length known).
    for (const WriteOptions& options : {WriteOptions{Container::wav, Encoding::pcm16, 8000},
                                        WriteOptions{Container::flac, Encoding::pcm24, 48000},
                                        WriteOptions{Container::raw, Encoding::pcm16, 8000}}) {
        const std::string out = at("stdout");
        std::fflush(stdout);
        const int saved_out = ::dup(STDOUT_FILENO);
        const int file = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(file, STDOUT_FILENO);
        ::close(file);
        std::string error;
        try {
            write_audio("-", options, x);
        } catch (const Error& e) {
            error = e.what();
        }
        std::fflush(stdout);
        ::dup2(saved_out, STDOUT_FILENO);
        ::close(saved_out);
        ASSERT_EQ(error, "");

        std::ifstream in(out, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        const bool piped = options.container != Container::flac;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        if (!piped) {
            ::close(fds[0]);
            fds[0] = ::open(out.c_str(), O_RDONLY);
        }
        std::thread feeder([&] {
            for (std::size_t at = 0; piped && at < bytes.size();) {
                const ssize_t put = ::write(fds[1], bytes.data() + at, bytes.size() - at);
                if (put <= 0) break;
                at += static_cast<std::size_t>(put);
            }
            ::close(fds[1]);
        });
        const int saved_in = ::dup(STDIN_FILENO);
        ::dup2(fds[0], STDIN_FILENO);
        ::close(fds[0]);
        AudioData back;
        ReadOptions read;
        read.raw = options.container == Container::raw;
        read.rawRate = options.sampleRate;
        EXPECT_NO_THROW(back = read_audio("-", read));
        ::dup2(saved_in, STDIN_FILENO);
        ::close(saved_in);
        feeder.join();
        EXPECT_EQ(back.sampleRate, options.sampleRate);
        ASSERT_EQ(back.samples.size(), x.size());
        for (std::size_t k = 0; k < x.size(); ++k)
            ASSERT_NEAR(back.samples[k], x[k], 1.0 / 32768) << k;
    }
}

}  // namespace
}  // namespace hfchain::audio
