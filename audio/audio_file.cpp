#include "audio/audio_file.hpp"

#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "audio/errors.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"

namespace hfchain::audio {

namespace {

SNDFILE* as_file(void* file) { return static_cast<SNDFILE*>(file); }

std::string shown(const std::string& path) {
    return path == "-" ? std::string("standard input/output") : "'" + path + "'";
}

int encoding_code(Encoding e) {
    switch (e) {
        case Encoding::pcm16:
            return SF_FORMAT_PCM_16;
        case Encoding::pcm24:
            return SF_FORMAT_PCM_24;
        case Encoding::pcm32:
            return SF_FORMAT_PCM_32;
        case Encoding::float32:
            return SF_FORMAT_FLOAT;
    }
    return 0;
}

int format_code(const std::string& path, const WriteOptions& o) {
    if (!(o.sampleRate >= 1 && o.sampleRate <= 2147483647.0) ||
        o.sampleRate != static_cast<int>(o.sampleRate)) {
        std::ostringstream text;
        text << shown(path) << ": the sample rate " << o.sampleRate
             << " Hz is not a whole number of samples a second";
        raise(errid::kBadFormat, text.str());
    }
    switch (o.container) {
        case Container::wav:
            return SF_FORMAT_WAV | encoding_code(o.encoding);
        case Container::flac:
            if (o.encoding != Encoding::pcm16 && o.encoding != Encoding::pcm24) {
                raise(errid::kBadFormat, shown(path) + ": FLAC holds 16- or 24-bit samples only");
            }
            return SF_FORMAT_FLAC | encoding_code(o.encoding);
        case Container::raw:
            if (o.encoding != Encoding::pcm16) {
                raise(errid::kBadFormat, shown(path) + ": raw files hold 16-bit samples only");
            }
            return SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
    }
    return 0;
}

// libsndfile reads a file whose data chunk is shorter than its header says as far as it goes and
// notes "data : PROMISED (should be HELD)" in its log; that file is truncated. Returns the
// promised size, or "" when the data chunk is whole.
std::string data_chunk_shortfall(void* file) {
    char log[8192] = {};
    sf_command(as_file(file), SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("data", 0) == 0 && line.find("(should be") != std::string::npos) {
            const auto colon = line.find(':');
            return colon == std::string::npos ? line
                                              : line.substr(colon + 2, line.find(" (") - colon - 2);
        }
    }
    return "";
}

}  // namespace

Container container_for(const std::string& path) {
    const auto dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot);
    if (ext == ".flac") return Container::flac;
    if (ext == ".raw" || ext == ".pcm" || ext == ".s16") return Container::raw;
    return Container::wav;
}

AudioReader::AudioReader(const std::string& path, const ReadOptions& o) : path_(path) {
    SF_INFO info{};
    if (o.raw) {
        if (!(o.rawRate >= 1 && o.rawRate <= 2147483647.0) ||
            o.rawRate != static_cast<int>(o.rawRate) || o.rawChannels < 1) {
            raise(errid::kBadFormat,
                  shown(path) + ": a raw file needs a whole sample rate and channel count");
        }
        info.format = SF_FORMAT_RAW | SF_FORMAT_PCM_16 | SF_ENDIAN_LITTLE;
        info.samplerate = static_cast<int>(o.rawRate);
        info.channels = o.rawChannels;
    }
    file_ = path == "-" ? sf_open_fd(STDIN_FILENO, SFM_READ, &info, 0)
                        : sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
        raise(errid::kBadFile,
              shown(path) + " is not an audio file that can be read: " + sf_strerror(nullptr));
    }
    rate_ = info.samplerate;
    channels_ = info.channels;
    if (o.channel < 1 || o.channel > channels_) {
        sf_close(as_file(file_));
        raise(errid::kBadFile, shown(path) + " has " + std::to_string(channels_) +
                                   " channel(s), not a channel " + std::to_string(o.channel));
    }
    channel_ = o.channel - 1;
    // Raw samples have no header to promise a length (from a pipe the library reports a huge one).
    expected_ = !o.raw && info.frames > 0 && info.frames != SF_COUNT_MAX ? info.frames : -1;
    if (const std::string promised = data_chunk_shortfall(file_); !promised.empty()) {
        sf_close(as_file(file_));
        raise(errid::kBadFile,
              shown(path) + " is truncated: its header promises " + promised + " bytes of samples");
    }
    // A raw file's length is its size: a partial last sample is refused.
    if (o.raw && path != "-") {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f != nullptr) {
            std::fseek(f, 0, SEEK_END);
            const long size = std::ftell(f);
            std::fclose(f);
            if (size % (2 * channels_) != 0) {
                sf_close(as_file(file_));
                raise(errid::kBadFile, shown(path) + " ends inside a sample (" +
                                           std::to_string(size) +
                                           " bytes are not whole 16-bit frames)");
            }
        }
    }
}

AudioReader::~AudioReader() {
    if (file_ != nullptr) sf_close(as_file(file_));
}

std::size_t AudioReader::read(double* out, std::size_t n) {
    if (n == 0) return 0;
    frame_buffer_.resize(n * static_cast<std::size_t>(channels_));
    const sf_count_t got =
        sf_readf_double(as_file(file_), frame_buffer_.data(), static_cast<sf_count_t>(n));
    if (sf_error(as_file(file_)) != SF_ERR_NO_ERROR) {
        raise(errid::kReadFailed,
              shown(path_) + ": reading failed: " + sf_strerror(as_file(file_)));
    }
    for (sf_count_t k = 0; k < got; ++k) out[k] = frame_buffer_[k * channels_ + channel_];
    frames_ += got;
    if (got == 0 && expected_ >= 0 && frames_ < expected_) {
        raise(errid::kBadFile, shown(path_) + " is truncated: its header promises " +
                                   std::to_string(expected_) + " samples, it holds " +
                                   std::to_string(frames_));
    }
    return static_cast<std::size_t>(got);
}

AudioWriter::AudioWriter(const std::string& path, const WriteOptions& o) : path_(path) {
    SF_INFO info{};
    info.format = format_code(path, o);
    info.samplerate = static_cast<int>(o.sampleRate);
    info.channels = 1;
    if (!sf_format_check(&info)) {
        raise(errid::kBadFormat,
              shown(path) + ": this format cannot hold these samples at this rate");
    }
    if (path == "-" && o.container == Container::raw) {
        file_ = sf_open_fd(STDOUT_FILENO, SFM_WRITE, &info, 0);  // no header: it streams
    } else if (path == "-") {
        std::FILE* temp = std::tmpfile();  // removed when closed
        if (temp == nullptr)
            raise(errid::kWriteFailed, shown(path) + ": cannot make a temporary file");
        file_ = sf_open_fd(fileno(temp), SFM_WRITE, &info, 0);
        temp_ = temp;
    } else {
        result_ = std::make_unique<ResultFile>("audio output", path);
        file_ = sf_open(result_->path().c_str(), SFM_WRITE, &info);
    }
    if (file_ == nullptr) {
        if (temp_ != nullptr) std::fclose(static_cast<std::FILE*>(temp_));
        raise(errid::kWriteFailed, shown(path) + ": cannot write audio: " + sf_strerror(nullptr));
    }
    sf_command(as_file(file_), SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (file_ != nullptr) sf_close(as_file(file_));
    if (temp_ != nullptr) std::fclose(static_cast<std::FILE*>(temp_));
}

void AudioWriter::write(const double* samples, std::size_t n) {
    if (file_ == nullptr) raise(errid::kWriteFailed, shown(path_) + ": already closed");
    const sf_count_t put = sf_writef_double(as_file(file_), samples, static_cast<sf_count_t>(n));
    if (put != static_cast<sf_count_t>(n)) {
        raise(errid::kWriteFailed,
              shown(path_) + ": writing failed: " + sf_strerror(as_file(file_)));
    }
}

void AudioWriter::commit() {
    if (file_ == nullptr) raise(errid::kWriteFailed, shown(path_) + ": already closed");
    sf_write_sync(as_file(file_));
    const int status = sf_close(as_file(file_));
    file_ = nullptr;
    if (status != 0)
        raise(errid::kWriteFailed,
              shown(path_) + ": finishing the file failed: " + sf_error_number(status));
    if (result_) {
        result_->commit();
        return;
    }
    if (temp_ == nullptr) return;  // raw samples went straight to standard output
    // Standard output: the finished file, copied.
    std::FILE* temp = static_cast<std::FILE*>(temp_);
    std::rewind(temp);
    std::vector<char> block(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), temp);
        if (got == 0) break;
        write_all(STDOUT_FILENO, std::string_view(block.data(), got),
                  "writing audio to standard output");
    }
    if (std::ferror(temp))
        raise(errid::kWriteFailed, shown(path_) + ": reading back the temporary file failed");
}

AudioData read_audio(const std::string& path, const ReadOptions& options) {
    AudioReader reader(path, options);
    AudioData data;
    data.sampleRate = reader.sampleRate();
    data.channels = reader.channels();
    constexpr std::size_t kBlock = 1 << 16;
    for (;;) {
        const std::size_t at = data.samples.size();
        data.samples.resize(at + kBlock);
        const std::size_t got = reader.read(data.samples.data() + at, kBlock);
        data.samples.resize(at + got);
        if (got == 0) break;
    }
    if (data.samples.empty()) raise(errid::kBadFile, shown(path) + " holds no samples");
    return data;
}

void write_audio(const std::string& path, const WriteOptions& options,
                 const std::vector<double>& samples) {
    AudioWriter writer(path, options);
    writer.write(samples.data(), samples.size());
    writer.commit();
}

}  // namespace hfchain::audio
