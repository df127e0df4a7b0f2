// Audio files through libsndfile: WAV (16-, 24-, 32-bit integer or 32-bit float samples), FLAC
// (16 or 24 bits) and raw 16-bit little-endian samples at a given rate; "-" is standard input
// or output. Samples are doubles, full scale +-1.
//
// Standard input streams WAV and raw samples from a pipe; FLAC needs a seekable input (a file
// redirected), as libsndfile reads it.
//
// Reading takes one channel of the file (the first of a mono file, any of a stereo one).
// Writing is whole or nothing: the samples go to a temporary file beside the target that
// commit() renames into place; on an error, or without commit(), the target is left as it was.
// Standard output receives the finished file at commit() (a WAV header needs the length); raw
// samples, which have no header, go to it as they are written.
//
// Errors name the file: "hfchain:audio:BadFile" (not audio, truncated, empty, no such channel),
// "hfchain:audio:BadFormat" (a format or rate that cannot be), "hfchain:audio:ReadFailed",
// "hfchain:audio:WriteFailed".
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace hfchain {
class ResultFile;
}

namespace hfchain::audio {

enum class Container { wav, flac, raw };
enum class Encoding { pcm16, pcm24, pcm32, float32 };

// The container a file name suggests: ".flac" FLAC, ".raw", ".pcm" or ".s16" raw, anything
// else (".wav", "-") WAV.
Container container_for(const std::string& path);

struct ReadOptions {
    bool raw = false;     // raw 16-bit little-endian samples, at rawRate
    double rawRate = 0;   // samples a second of a raw file
    int rawChannels = 1;  // interleaved channels of a raw file
    int channel = 1;      // which channel to take, from 1
};

// One channel of an audio file, read block by block.
class AudioReader {
public:
    AudioReader(const std::string& path, const ReadOptions& options = {});
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    double sampleRate() const { return rate_; }
    int channels() const { return channels_; }

    // Reads up to `n` samples of the channel into `out`; returns how many (0 at the end). A file
    // whose header promises more samples than it holds is refused at its end.
    std::size_t read(double* out, std::size_t n);

private:
    std::string path_;
    void* file_ = nullptr;
    double rate_ = 0;
    int channels_ = 0;
    int channel_ = 0;
    long long expected_ = -1;  // frames the header promises (-1: not known)
    long long frames_ = 0;     // frames read
    std::vector<double> frame_buffer_;
};

struct WriteOptions {
    Container container = Container::wav;
    Encoding encoding = Encoding::pcm16;  // raw: pcm16 only; FLAC: pcm16 or pcm24
    double sampleRate = 8000;
};

// A mono audio file written block by block.
class AudioWriter {
public:
    AudioWriter(const std::string& path, const WriteOptions& options);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Samples beyond +-1 are clipped by the integer encodings (the float one keeps them).
    void write(const double* samples, std::size_t n);
    // Completes the file and puts it in place.
    void commit();

private:
    std::string path_;
    std::unique_ptr<ResultFile> result_;
    void* file_ = nullptr;
    void* temp_ = nullptr;  // standard output's temporary file (a FILE*)
};

struct AudioData {
    std::vector<double> samples;
    double sampleRate = 0;
    int channels = 0;  // of the file
};

// The whole of one channel of a file; an empty one is refused.
AudioData read_audio(const std::string& path, const ReadOptions& options = {});

// The whole file at once.
void write_audio(const std::string& path, const WriteOptions& options,
                 const std::vector<double>& samples);

}  // namespace hfchain::audio
