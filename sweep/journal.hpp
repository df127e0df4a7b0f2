// The checkpoint journal of a sweep: every finished trial is appended as it completes, so that
// rerunning the same sweep with the same file resumes where a killed run stopped and gives exactly
// the result of an uninterrupted run.
//
// The file is text. A header names the format, the program's version and every parameter that
// decides the result, and ends with a CRC-32 of itself; then one line per finished trial:
//
//   hfchain checkpoint journal, format 3
//   version 0.1.0
//   interLen 0.6
//   ... (one line per parameter, named as its field of SweepConfig)
//   record point trial bits errors sync_miss seconds ...
//   end 5c1a0f3e
//   0 0 2880 0 0 0.0123456 ... 9ad2c6e1
//
// Format 1 named the parameters as the command line's options; format 2 did not tie its records
// to their header; format 3 stopped points on wrong bits alone. Journals of all three are refused.
//
// A record holds the point (numbered condition-major), the trial index, the outcome's fields in
// the order for_each_outcome_field() lists them, and the CRC-32 of the text before it in hex,
// continued from the header's CRC (so that the records of another journal joined to this one
// fail it). Records are checked on reading: a torn last record (a write cut short by a kill) and
// damaged ones are dropped, never trusted, and their trials simply run again. A record that
// passes its CRC but that no trial of the sweep can have written (a point or a trial index
// beyond what the sweep can need, bits, blocks or a receiver's counts other than what a trial of
// its rate compares by the parameters, more errors than bits, a time that is negative or not
// finite) and a second header are refused, naming their line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sweep/engine.hpp"

namespace hfchain::sweep {

// CRC-32 (IEEE 802.3, reflected polynomial 0xedb88320): crc32("123456789") = 0xcbf43926.
// `crc` continues an earlier one: crc32(b, crc32(a)) = crc32(a + b).
std::uint32_t crc32(std::string_view data, std::uint32_t crc = 0);

// A trial's outcome as text: its fields in order, separated by single spaces; whole numbers in
// decimal, flags as 0 or 1, real numbers with enough digits to read back exactly.
std::string encode_outcome(const TrialOutcome& outcome, Metric metric);

// Reads an outcome written by encode_outcome(); false when `text` is not exactly that (missing,
// extra or malformed fields).
bool decode_outcome(std::string_view text, TrialOutcome& outcome, Metric metric);

// The outcome's field names in order, separated by spaces: "bits errors sync_miss seconds ...".
// Each takes the fields of a sweep of `metric` (for_each_outcome_field).
std::string outcome_field_names(Metric metric);

// The parameters that decide a sweep's result, named as their fields of SweepConfig ("seed",
// "shaping.pulseDelay", ...) and preceded by the program's version, with their values as text.
using SweepParameters = std::vector<std::pair<std::string, std::string>>;
SweepParameters sweep_parameters(const SweepConfig& config, const std::string& version);

// "seed 1 <where>, 2 here": the first parameter whose value differs (or that only one side
// has), named through `names`, or empty when they agree. `where` says where `there` comes from
// ("in the journal").
std::string parameter_difference(const SweepParameters& there, const SweepParameters& here,
                                 const std::string& where, const FieldNames& names = {});

// The parameters as lines "name value", and back.
std::string parameters_text(const SweepParameters& parameters);
SweepParameters parameters_from_text(std::string_view text);

// The header of a journal for `parameters`, "end" line included.
std::string journal_header(const SweepParameters& parameters);

// Why a record read back cannot be a trial of the journal's run, or empty when it can.
using RecordCheck = std::function<std::string(const KnownTrial& record)>;

// Why record `k` cannot be a trial of the sweep `config` of `points` points whose trials at the
// record's rate compare `size` (trial_size), or empty when it can: its point beyond the sweep's,
// (acquisition: counts no acquisition trial gives, a trial beyond minTrials, maxBits and reach),
// its trial beyond what its point can need (at least minTrials, at most enough to reach maxBits,
// and the engine's reach past that), counts that no trial gives (bits, blocks or a receiver's
// counts other than the trial's, more errors than bits), or a time that is not one.
std::string impossible_record(const KnownTrial& k, const SweepConfig& config, std::int64_t points,
                              const ReceiverCounts& size);

// The check of a sweep's records: impossible_record() at the rate of the record's point.
RecordCheck sweep_record_check(const SweepConfig& config);

class Journal {
public:
    // Opens `file`, creating it with its header when it is missing, empty or holds a header cut
    // short, or reading back the trials of an earlier run of the same sweep; a torn last record
    // is cut off. The file is created exclusively and stays locked against other processes until
    // the Journal is destroyed: of two sweeps started together on one new file, one runs and the
    // other is refused. Messages name the file as
    // the field "checkpoint" through `names`. Raises errid::kUnusableFile when the file is not a
    // journal, is of another format, was written for other parameters (the message names the
    // first differing one), holds a record no trial of this sweep can have written, is in use
    // or cannot be opened for writing (permissions, a read-only file system), and
    // errid::kWriteFailed when it cannot be written.
    Journal(const std::string& file, const SweepConfig& config, const std::string& version,
            const FieldNames& names = {});
    // The journal of another run of sweeps (the minimum-performance table's): its header holds
    // `parameters`, and `check` refuses the records it cannot have written.
    Journal(const std::string& file, const SweepParameters& parameters, const RecordCheck& check,
            const FieldNames& names = {});
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;
    ~Journal();

    // The trials read back (handed over once; empty afterwards).
    std::vector<KnownTrial> take_known() { return std::move(known_); }
    std::int64_t known_count() const { return known_count_; }
    int damaged_records() const { return damaged_; }
    bool torn_record() const { return torn_; }

    // Appends one finished trial with a single write: once it returns, the record survives the
    // program's death. Safe to call from several threads. Raises errid::kWriteFailed naming the
    // file.
    void append(const TrialTicket& ticket, const TrialOutcome& outcome);

    // Makes everything appended durable (it survives the machine's crash). Raises
    // errid::kWriteFailed.
    void sync();

    // sync() when the last one is a second old or more; for one thread, while others append.
    void sync_if_due();

private:
    void read_back(const SweepParameters& parameters, const RecordCheck& check,
                   const FieldNames& names);

    std::string file_;
    std::string name_;  // of the file in messages
    int fd_ = -1;
    Metric metric_ = Metric::decoded;  // the fields of its records, by the recorded metric
    std::uint32_t header_crc_ = 0;     // seeds every record's CRC
    std::vector<KnownTrial> known_;
    std::int64_t known_count_ = 0;
    int damaged_ = 0;
    bool torn_ = false;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point last_sync_;
};

}  // namespace hfchain::sweep
