#include "sweep/journal.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/checks.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"
#include "sweep/settings.hpp"
#include "sweep/trial.hpp"

namespace hfchain::sweep {

namespace {

constexpr std::string_view kMagic = "hfchain checkpoint journal, format ";
constexpr int kFormat = 4;

std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xedb88320U ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

void append_value(std::string& s, std::int64_t v) { s += std::to_string(v); }
void append_value(std::string& s, bool v) { s += v ? '1' : '0'; }
void append_value(std::string& s, double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);  // shortest text that reads back
    s.append(buf, r.ptr);
}

bool parse_value(std::string_view t, std::int64_t& v) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}
bool parse_value(std::string_view t, bool& v) {
    if (t != "0" && t != "1") return false;
    v = t == "1";
    return true;
}
bool parse_value(std::string_view t, double& v) {
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// The next space-separated token of `text` from `pos`; empty at the end.
std::string_view next_token(std::string_view text, std::size_t& pos) {
    if (pos >= text.size()) return {};
    const std::size_t space = text.find(' ', pos);
    const std::size_t end = space == std::string_view::npos ? text.size() : space;
    const std::string_view token = text.substr(pos, end - pos);
    pos = space == std::string_view::npos ? text.size() + 1 : space + 1;
    return token;
}

std::string hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

std::string record_line(Metric metric) {
    return "record point trial " + outcome_field_names(metric);
}

// The metric a journal's parameters record (decoded when they name none, as the requirements'
// journals do).
Metric recorded_metric(const SweepParameters& parameters) {
    for (const auto& [name, value] : parameters) {
        if (name == "metric" && value == metric_name(Metric::acquisition))
            return Metric::acquisition;
    }
    return Metric::decoded;
}

// True when the header's record line of `text` (a journal of an earlier format) names the
// fields of the receiver before its rename.
bool names_old_receiver(std::string_view text) {
    const std::size_t record = text.find("\nrecord ");
    if (record == std::string_view::npos) return false;
    const std::size_t eol = text.find('\n', record + 1);
    return text.substr(record, eol == std::string_view::npos ? eol : eol - record).find(" spec_") !=
           std::string_view::npos;
}

}  // namespace

// Trials a point may have finished out of order beyond its last needed one: the engine hands
// them out at most max(kOutOfOrderReach, 8 per worker) ahead, with workers in all processes of
// a job (at most this many assumed).
namespace {
constexpr std::int64_t kMostWorkers = 65536;
constexpr std::int64_t kMostReach = std::max<std::int64_t>(kOutOfOrderReach, 8 * kMostWorkers);
}  // namespace

namespace {

// Why the outcome `o` of trial `trial` cannot be an acquisition trial of `config`, or empty.
std::string impossible_acquisition(const TrialOutcome& o, const SweepConfig& config,
                                   std::int64_t trial) {
    const AcquisitionCounts& a = o.acquisition;
    const std::int64_t classes = a.right + a.wrongMode + a.missed;
    const bool noise = config.noiseSeconds > 0;
    if (o.bits != 1 || o.errors < 0 || o.errors > 1 || a.right < 0 || a.wrongMode < 0 ||
        a.missed < 0 || classes != (noise ? 0 : 1) || a.falseDetections < 0 ||
        (noise ? o.errors != (a.falseDetections > 0 ? 1 : 0) : o.errors != 1 - a.right) ||
        !(a.searched >= 0 && a.searched <= 2 * config.noiseSeconds)) {
        return "counts that no acquisition trial of this sweep gives";
    }
    if (trial < 0 || trial >= std::max(config.minTrials, config.maxBits) + kMostReach) {
        return "trial " + std::to_string(trial) + " is beyond what its point can need";
    }
    if (!(o.seconds >= 0 && o.seconds <= std::numeric_limits<double>::max())) {
        return "a time of " + format_value(o.seconds) + " s";
    }
    return {};
}

// A trial of an entry in the data (sweep/late_decode.hpp): the hf receiver's blocks decoded after
// the entry, from one to every block of `size` (trial_size), each of the same bits; no coded bits.
std::string impossible_late(const TrialOutcome& o, const SweepConfig& config, std::int64_t trial,
                            const ReceiverCounts& size) {
    const ReceiverCounts& c = o.receivers[static_cast<std::size_t>(ReceiverKind::hf)];
    const std::int64_t per = size.infoBits / std::max<std::int64_t>(size.blocks, 1);
    bool others = true;
    for (std::size_t r = 0; r < kReceiverCount; ++r) {
        const ReceiverCounts& other = o.receivers[r];
        others = others && (r == static_cast<std::size_t>(ReceiverKind::hf) ||
                            (other.infoBits == 0 && other.infoErrors == 0 && other.blocks == 0 &&
                             other.blockErrors == 0 && other.codedBits == 0));
    }
    if (!others || c.blocks < 1 || c.blocks > size.blocks || c.infoBits != c.blocks * per ||
        c.codedBits != 0 || c.codedErrors != 0 || o.bits != c.infoBits ||
        o.errors != c.infoErrors || c.infoErrors < 0 || c.infoErrors > c.infoBits ||
        c.blockErrors < 0 || c.blockErrors > c.blocks) {
        return "counts that no trial entering the data of this sweep gives";
    }
    if (trial < 0 ||
        trial >= std::max(config.minTrials, (config.maxBits + per - 1) / per) + kMostReach) {
        return "trial " + std::to_string(trial) + " is beyond what its point can need";
    }
    if (!(o.seconds >= 0 && o.seconds <= std::numeric_limits<double>::max())) {
        return "a time of " + format_value(o.seconds) + " s";
    }
    return {};
}

}  // namespace

std::string impossible_record(const KnownTrial& k, const SweepConfig& config, std::int64_t points,
                              const ReceiverCounts& size) {
    const TrialOutcome& o = k.outcome;
    if (k.ticket.point < 0 || k.ticket.point >= points) {
        return "point " + std::to_string(k.ticket.point) + " is not one of the sweep's " +
               std::to_string(points);
    }
    if (config.metric == Metric::acquisition) {
        return impossible_acquisition(o, config, k.ticket.trial);
    }
    if (config.late == LateEntry::data) return impossible_late(o, config, k.ticket.trial, size);
    const std::int64_t trial_bits = config.metric == Metric::coded ? size.codedBits : size.infoBits;
    if (o.bits != trial_bits) {
        return std::to_string(o.bits) + " bits, where every trial of its rate compares " +
               std::to_string(trial_bits);
    }
    const std::int64_t needed =
        std::max(config.minTrials, (config.maxBits + trial_bits - 1) / trial_bits);
    if (k.ticket.trial < 0 || k.ticket.trial >= needed + kMostReach) {
        return "trial " + std::to_string(k.ticket.trial) + " is beyond what its point can need";
    }
    bool counts = o.errors >= 0 && o.errors <= o.bits;
    for (std::size_t r = 0; r < kReceiverCount; ++r) {
        const ReceiverCounts& c = o.receivers[r];
        const bool runs = std::find(config.receivers.begin(), config.receivers.end(),
                                    static_cast<ReceiverKind>(r)) != config.receivers.end();
        const ReceiverCounts expected = runs ? size : ReceiverCounts{};
        if (c.codedBits != expected.codedBits || c.infoBits != expected.infoBits ||
            c.blocks != expected.blocks) {
            return std::string(receiver_name(static_cast<ReceiverKind>(r))) + "'s " +
                   std::to_string(c.codedBits) + " coded bits, " + std::to_string(c.infoBits) +
                   " information bits and " + std::to_string(c.blocks) +
                   " blocks, where every trial of its rate has " +
                   std::to_string(expected.codedBits) + ", " + std::to_string(expected.infoBits) +
                   " and " + std::to_string(expected.blocks);
        }
        counts = counts && c.codedErrors >= 0 && c.codedErrors <= c.codedBits &&
                 c.infoErrors >= 0 && c.infoErrors <= c.infoBits && c.blockErrors >= 0 &&
                 c.blockErrors <= c.blocks;
    }
    if (!counts) return "more errors than bits, or a negative count";
    if (!(o.seconds >= 0 && o.seconds <= std::numeric_limits<double>::max())) {
        return "a time of " + format_value(o.seconds) + " s";
    }
    return {};
}

std::uint32_t crc32(std::string_view data, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> table = make_crc_table();
    std::uint32_t c = crc ^ 0xffffffffU;
    for (const char ch : data) c = table[(c ^ static_cast<unsigned char>(ch)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffU;
}

std::string encode_outcome(const TrialOutcome& outcome, Metric metric) {
    std::string s;
    for_each_outcome_field(outcome, metric, [&s](const char*, const auto& field) {
        if (!s.empty()) s += ' ';
        append_value(s, field);
    });
    return s;
}

bool decode_outcome(std::string_view text, TrialOutcome& outcome, Metric metric) {
    TrialOutcome o;
    std::size_t pos = 0;
    bool ok = true;
    for_each_outcome_field(o, metric, [&](const char*, auto& field) {
        ok = ok && pos <= text.size() && parse_value(next_token(text, pos), field);
    });
    if (!ok || pos <= text.size()) return false;  // a field missing or one too many
    outcome = o;
    return true;
}

std::string outcome_field_names(Metric metric) {
    std::string s;
    const TrialOutcome o;
    for_each_outcome_field(o, metric, [&s](const char* name, const auto&) {
        if (!s.empty()) s += ' ';
        s += name;
    });
    return s;
}

SweepParameters sweep_parameters(const SweepConfig& c, const std::string& version) {
    SweepParameters parameters{{"version", version}};
    for (const Setting& s : sweep_settings()) {
        std::string text = s.journal != nullptr ? s.journal(c) : std::string();
        if (!text.empty()) parameters.emplace_back(s.field, std::move(text));
    }
    return parameters;
}

std::string parameter_difference(const SweepParameters& there, const SweepParameters& here,
                                 const std::string& where, const FieldNames& names) {
    auto find = [](const SweepParameters& list, const std::string& name) -> const std::string* {
        for (const auto& [n, v] : list) {
            if (n == name) return &v;
        }
        return nullptr;
    };
    for (const auto& [name, value] : here) {
        const std::string* other = find(there, name);
        const std::string shown = field_name(names, name);
        if (other == nullptr) return shown + " missing " + where + ", " + value + " here";
        if (*other != value) return shown + " " + *other + " " + where + ", " + value + " here";
    }
    for (const auto& [name, value] : there) {
        if (find(here, name) == nullptr) {
            return field_name(names, name) + " " + value + " " + where + ", not known here";
        }
    }
    return {};
}

std::string parameters_text(const SweepParameters& parameters) {
    std::string text;
    for (const auto& [name, value] : parameters) text += name + ' ' + value + '\n';
    return text;
}

SweepParameters parameters_from_text(std::string_view text) {
    SweepParameters parameters;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        const std::size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            parameters.emplace_back(line.substr(0, space), line.substr(space + 1));
        }
        pos = eol + 1;
    }
    return parameters;
}

std::string journal_header(const SweepParameters& parameters) {
    std::string h = std::string(kMagic) + std::to_string(kFormat) + '\n';
    h += parameters_text(parameters);
    h += record_line(recorded_metric(parameters)) + '\n';
    return h + "end " + hex8(crc32(h)) + '\n';
}

RecordCheck sweep_record_check(const SweepConfig& config) {
    const std::int64_t points = point_count(config);
    // Every trial of one rate compares the same bits, known from the parameters.
    const std::int64_t per_rate = points / static_cast<std::int64_t>(config.rates.size());
    std::vector<ReceiverCounts> sizes;
    for (const double rate : config.rates) sizes.push_back(trial_size(config, rate));
    return [config, points, per_rate, sizes](const KnownTrial& k) {
        const std::int64_t rate =
            std::clamp<std::int64_t>(k.ticket.point / std::max<std::int64_t>(per_rate, 1), 0,
                                     static_cast<std::int64_t>(sizes.size()) - 1);
        return impossible_record(k, config, points, sizes[static_cast<std::size_t>(rate)]);
    };
}

Journal::Journal(const std::string& file, const SweepConfig& config, const std::string& version,
                 const FieldNames& names)
    : Journal(file, sweep_parameters(config, version), sweep_record_check(config), names) {}

Journal::Journal(const std::string& file, const SweepParameters& parameters,
                 const RecordCheck& check, const FieldNames& names)
    : file_(file),
      name_(field_name(names, "checkpoint")),
      metric_(recorded_metric(parameters)),
      last_sync_(std::chrono::steady_clock::now()) {
    check_output_file(name_, file);
    const std::string in_file = name_ + ": '" + file + "'";
    for (int attempt = 0; fd_ < 0; ++attempt) {
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            raise(errid::kUnusableFile, in_file + " is not a regular file");
        }
        // Created exclusively: of two sweeps starting together on a new journal, one creates the
        // file and the other opens that same file, so that the lock decides between them. (A
        // header written under another name and renamed into place could replace the file the
        // first one had already locked.) The header is written under the lock, below.
        int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            // Found before any work, as an unwritable folder would be.
            raise(error == EACCES || error == EROFS || error == EPERM ? errid::kUnusableFile
                                                                      : errid::kWriteFailed,
                  in_file + " cannot be opened for writing: " + std::strerror(error));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                raise(errid::kUnusableFile, in_file + " is in use by another running sweep");
            }
            raise(errid::kWriteFailed, in_file + " cannot be locked: " + std::strerror(error));
        }
        // Another process may have replaced the file between the creation and the lock.
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(file.c_str(), &named) == 0 &&
            opened.st_ino == named.st_ino && opened.st_dev == named.st_dev) {
            fd_ = fd;
        } else {
            ::close(fd);
            if (attempt >= 3) raise(errid::kWriteFailed, in_file + " keeps being replaced");
        }
    }
    try {
        read_back(parameters, check, names);
        if (::fcntl(fd_, F_SETFL, O_APPEND) != 0 || ::lseek(fd_, 0, SEEK_END) < 0) {
            raise(errid::kWriteFailed, in_file + " cannot be appended to: " + std::strerror(errno));
        }
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

Journal::~Journal() {
    ::fdatasync(fd_);
    ::close(fd_);
}

void Journal::read_back(const SweepParameters& parameters, const RecordCheck& check,
                        const FieldNames& names) {
    const std::string in_file = name_ + ": '" + file_ + "'";
    std::string content;
    {
        char buf[1 << 16];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd_, buf, sizeof buf, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0)
                raise(errid::kWriteFailed, in_file + " cannot be read: " + std::strerror(errno));
            if (n == 0) break;
            content.append(buf, static_cast<std::size_t>(n));
            at += n;
        }
    }
    if (const std::string header = journal_header(parameters); header.starts_with(content)) {
        // New, or its creator was killed while writing the header: the header is (re)written
        // whole, under the lock, and made durable before any record follows it.
        if (::ftruncate(fd_, 0) != 0 ||
            ::pwrite(fd_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()) ||
            ::fdatasync(fd_) != 0) {
            raise(errid::kWriteFailed, in_file + " cannot be written: " + std::strerror(errno));
        }
        content = header;
    }
    const std::string_view text = content;
    const std::string not_journal = in_file + " is not a checkpoint journal of hfchain";
    if (!text.starts_with(kMagic)) raise(errid::kUnusableFile, not_journal);

    // The header: format, parameters, record layout, "end CRC".
    std::size_t pos = 0;
    SweepParameters recorded;
    std::string fields;
    std::size_t body = std::string_view::npos;
    for (int line_number = 0; pos < text.size(); ++line_number) {
        const std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) break;
        const std::string_view line = text.substr(pos, eol - pos);
        if (line_number == 0) {
            int format = 0;
            const std::string_view number = line.substr(kMagic.size());
            const auto r = std::from_chars(number.data(), number.data() + number.size(), format);
            if (r.ec != std::errc() || r.ptr != number.data() + number.size()) {
                raise(errid::kUnusableFile, not_journal);
            }
            if (format != kFormat && names_old_receiver(text)) {
                raise(
                    errid::kUnusableFile,
                    in_file +
                        " was written before the receiver without equaliser took its present name "
                        "'baseline' (its fields and receiver name); it cannot be resumed: give "
                        "another file");
            }
            if (format != kFormat) {
                raise(errid::kUnusableFile,
                      in_file + " is a journal of format " + std::to_string(format) +
                          ", written by another hfchain (this one reads format " +
                          std::to_string(kFormat) +
                          ", whose points stop on error events); it cannot be resumed: give "
                          "another file");
            }
        } else if (line.starts_with("end ")) {
            header_crc_ = crc32(text.substr(0, pos));
            if (line.substr(4) != hex8(header_crc_)) break;
            body = eol + 1;
            break;
        } else if (line.starts_with("record ")) {
            fields = line;
        } else {
            const std::size_t space = line.find(' ');
            if (space == std::string_view::npos) break;
            recorded.emplace_back(line.substr(0, space), line.substr(space + 1));
        }
        pos = eol + 1;
    }
    // Journals written before the other rates have no rates line: they hold 2400 bit/s trials,
    // numbered and seeded as a sweep of 2400 bit/s alone still numbers and seeds them.
    const auto has_rates = [](const SweepParameters& list) {
        return std::any_of(list.begin(), list.end(),
                           [](const auto& p) { return p.first == "rates"; });
    };
    if (has_rates(parameters) && !has_rates(recorded)) {
        recorded.insert(recorded.begin() + (recorded.empty() ? 0 : 1), {"rates", "2400"});
    }
    if (body == std::string_view::npos) {
        raise(errid::kUnusableFile, in_file + " has a damaged header; give another file");
    }
    if (fields != record_line(metric_)) {
        raise(errid::kUnusableFile, in_file + " holds records of other fields ('" + fields +
                                        "'; this hfchain writes '" + record_line(metric_) +
                                        "'); give another file");
    }
    if (const std::string diff =
            parameter_difference(recorded, parameters, "in the journal", names);
        !diff.empty()) {
        raise(errid::kUnusableFile,
              in_file + " holds the trials of another sweep (" + diff +
                  "); give the same parameters to resume it, or another file");
    }

    // The records; the last one may be torn (no newline): it is cut off before appending. A
    // record's CRC is seeded with the header's, so that records of another journal (files joined
    // by mistake) fail it; a record that passes it but holds what no trial of this sweep can
    // (written by something else) stops the reading, naming its line.
    int line_number =
        1 + static_cast<int>(
                std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(body), '\n'));
    for (pos = body; pos < text.size(); ++line_number) {
        const std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) {
            torn_ = true;
            break;
        }
        const std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        const std::string at_line = in_file + ", line " + std::to_string(line_number) + ": ";
        const std::string refused = "; it was not written by this sweep: give another file";
        if (line.starts_with(kMagic)) {
            raise(errid::kUnusableFile,
                  at_line + "a second journal header (two journals joined into one?)" + refused);
        }
        const std::size_t last = line.rfind(' ');
        KnownTrial k;
        std::size_t at = 0;
        if (last == std::string_view::npos ||
            line.substr(last + 1) != hex8(crc32(line.substr(0, last), header_crc_)) ||
            !parse_value(next_token(line, at), k.ticket.point) ||
            !parse_value(next_token(line, at), k.ticket.trial) || at > last ||
            !decode_outcome(line.substr(at, last - at), k.outcome, metric_)) {
            ++damaged_;
            continue;
        }
        if (const std::string wrong = check(k); !wrong.empty()) {
            raise(errid::kUnusableFile, at_line + wrong + refused);
        }
        known_.push_back(k);
    }
    known_count_ = static_cast<std::int64_t>(known_.size());
    if (torn_ && ::ftruncate(fd_, static_cast<off_t>(pos)) != 0) {
        raise(errid::kWriteFailed,
              in_file + " cannot be cut after its last whole record: " + std::strerror(errno));
    }
}

void Journal::append(const TrialTicket& ticket, const TrialOutcome& outcome) {
    std::string line = std::to_string(ticket.point) + ' ' + std::to_string(ticket.trial) + ' ' +
                       encode_outcome(outcome, metric_);
    line += ' ' + hex8(crc32(line, header_crc_)) + '\n';
    std::lock_guard lock(mutex_);
    write_all(fd_, line, name_ + ": writing '" + file_ + "'");
}

void Journal::sync_if_due() {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_sync_ < std::chrono::seconds(1)) return;
    last_sync_ = now;
    sync();
}

void Journal::sync() {
    // Not under the lock: the workers go on appending while the disk catches up.
    if (::fdatasync(fd_) != 0) {
        raise(errid::kWriteFailed,
              name_ + ": writing '" + file_ + "' failed: " + std::strerror(errno));
    }
}

}  // namespace hfchain::sweep
