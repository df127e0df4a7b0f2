// What a sweep measures, and the checks of every value it is given.
//
// Field names. Every check names the field it refuses, as its caller's users know it: a check
// takes a FieldNames function that turns a field of SweepConfig ("interLen", "shaping.pulseDelay")
// into that name. The command line passes its options ("--interleaver", "--delay"), Python its
// arguments ("config.interLen"); by default a field is named as itself. A refusal raises
// hfchain::Error with identifier errid::kInvalidConfig and a message "NAME: what is wrong; what is
// accepted".
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "chain/road.hpp"
#include "params/modeconf.hpp"
#include "runtime/output_file.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::sweep {

namespace errid {
// A configuration value (or a combination) that a sweep does not accept; nothing was run.
inline constexpr const char* kInvalidConfig = "hfchain:sweep:InvalidConfig";
// A result or checkpoint file that cannot be used as asked (a missing folder, a journal of
// another sweep, a file in use); nothing was run.
using hfchain::errid::kUnusableFile;
// A result could not be written (a full disk, a folder in the way, a closed pipe).
using hfchain::errid::kWriteFailed;
}  // namespace errid

// The name under which a caller's users know a configuration field; empty: the field itself.
using FieldNames = std::function<std::string(std::string_view field)>;

// names(field), or the field itself when `names` is empty.
std::string field_name(const FieldNames& names, std::string_view field);

// The condition names a sweep accepts: the Watterson conditions of channel/conditions.hpp, then
// white noise alone ("awgn").
std::vector<std::string> condition_names();

// True for a condition a sweep runs: a preset of channel/conditions.hpp, "awgn" or a written
// channel (channel/channel_text.hpp), in any spelling.
bool is_condition(const std::string& name);

// "bom, moderado, ..., itu_high_disturbed, awgn, or a written channel such as 2p:2ms:1Hz": for
// messages.
std::string condition_list();

// The canonical spelling of a condition (channel/channel_text.hpp), so that two spellings of
// one channel are one point with one set of seeds; `name` itself when it is no condition (the
// check then refuses it). Callers that take conditions from users apply it before check_config.
std::string canonical_condition(const std::string& name);

// A condition of a sweep: known (a preset, awgn or a well-written channel) and in its canonical
// spelling; raises errid::kInvalidConfig naming "conditions" and the fault.
void check_condition(const std::string& name, const FieldNames& names = {});

// Whole samples per symbol period of the second ray's delay for one of fadesim's conditions at
// `M` samples per symbol (2400 tau M): 0 for any other condition; not whole when M does not suit
// the condition.
double ray_delay_samples(const std::string& condition, double M);

// The receivers a sweep can run, by name ("baseline", "hf", "genie"), in ReceiverKind's order.
inline constexpr const char* kReceiverNames[] = {"baseline", "hf", "genie"};
inline constexpr std::size_t kReceiverCount = std::size(kReceiverNames);

// The receiver's name, and the receiver of a name (false when unknown).
const char* receiver_name(ReceiverKind kind);
bool receiver_from_name(const std::string& name, ReceiverKind& kind);

// "baseline, hf, genie": for messages.
std::string receiver_list();

// What the stop rule counts: the coded bits' hard decisions or the decoded information bits of
// the first receiver listed; or, for acquisition, no receiver at all: each trial searches its
// signal for a transmission of any mode (sweep/acquisition.hpp), and counts 1 trial ("bit") and
// 1 error when it did not find the transmission with its right mode and start (or, on noise
// alone, when it found one).
enum class Metric { coded, decoded, acquisition };
const char* metric_name(Metric metric);

// Where a trial's receiver starts listening: before the transmission (a stretch of noise ahead
// of it), at a random point of its preamble (acquisition only), or at a random point of its data
// (acquisition, or the hf receiver's decoded bits: sweep/late_decode.hpp).
enum class LateEntry { none, preamble, data };
const char* late_name(LateEntry late);

// Whose error events and errors the stop rule counts: the first receiver's, or each receiver's
// (a point then stops once every receiver has enough).
enum class StopOn { first, all };
const char* stop_on_name(StopOn stopOn);

// SNR(3 kHz) 0, 2, ..., 20 dB as Es/N0: the default points, the waterfalls of every condition.
std::vector<double> default_esno();

// When a point has run enough trials: the stop rule of a sweep's points and of the requirements'
// search alike.
struct StopRule {
    Metric metric = Metric::decoded;  // what the stop rule counts, of the first receiver ...
    StopOn stopOn = StopOn::first;    // ... or of every receiver
    std::int64_t minTrials = 80;      // a point runs at least this many trials (fading
                                      // realisations), and then stops once ...
    std::int64_t minEvents = 500;     // ... this many trials had a wrong bit (of the metric) ...
    std::int64_t minErrors = 1;       // ... with at least this many wrong bits in all ...
    std::int64_t maxBits = 1000000;   // ... or its bits (of the metric) reach this
};

// The defaults are the main job's, the command line's and Python's alike: every condition, the
// default points, the HF receiver and the genie counting decoded information bits, the long
// interleaver where fading curves are judged, and budgets sized to take about three minutes on
// two cores (docs/program.md). The stop rule's fields are the configuration's own
// (config.minTrials), named as such in every message and file.
struct SweepConfig : StopRule {
    std::vector<double> rates{2400};  // data rates in bit/s (kDataRates), each its own curves
    double interLen = 4.8;            // interleaver length in seconds (0.6 or 4.8)
    double nFrame = 0;    // interleaver blocks per trial at every rate; 0: at each rate the fewest
                          // whole blocks that carry information bits (default_nframe: 1 at 2400)
    VarShapping shaping;  // roll-off, pulse delay D, samples per symbol M
    std::vector<std::string> conditions = condition_names();  // canonical_condition spellings
    std::vector<double> esno = default_esno();                // Es/N0 points in dB
    bool snr3kAxis = true;  // the points were given as SNR in 3 kHz
    std::vector<ReceiverKind> receivers{ReceiverKind::hf, ReceiverKind::genie};  // each counted
                                                                                 // (StopRule)
    double floor = 0;        // a condition's curve ends after its first point at which every
                             // receiver's rate (of the metric) is below this; 0: no floor
    std::uint32_t seed = 1;  // base seed of every trial seed
    int threads = 0;         // worker threads; 0 = one per core
    double audioRate = 0;    // sound cards' sample rate: every trial goes through the air
                             // (audio/airpath.hpp) at this rate; 0: in baseband
    double clockPpm = 0;     // through the air: how much faster the receiver's sound card's clock
                             // runs than the sender's, in parts per million
    std::vector<double> impulses;  // through the air: static crashes (channel/impulses.hpp) on
                                   // the received audio, {bursts a second, level in dBFS};
                                   // empty: none
    // Acquisition (Metric::acquisition) only:
    double offsetHz = 75;              // each trial's frequency offset is drawn uniformly within
                                       // +-offsetHz
    LateEntry late = LateEntry::none;  // where the receiver starts listening (also with
                                       // Metric::decoded: LateEntry::data)
    double noiseSeconds = 0;           // above 0: trials of this many seconds of noise without a
                                       // transmission, counting false detections
};

// The stop rule of an acquisition sweep when the caller gives none: at least 100 trials, then
// stop at 100 trials that failed or at 2000 trials.
StopRule acquisition_stop_rule();

// The data rates a sweep accepts, "4800, 2400, 1200, 600, 300, 150, 75": for messages.
std::string rate_list();

// The interleaver a sweep runs `rate` with: `interLen`, but at 4800 bit/s, which is uncoded and
// has only the 0.6 s frame, always 0.6 s (a sweep of several rates with the 4.8 s interleaver runs
// 4800 bit/s with its own frame, as the requirements' rows do).
double rate_interleaver(double rate, double interLen);

// " (4800 bit/s: 0.6 s, its only frame)" when `config` runs 4800 bit/s with another interleaver
// than its own, else empty: for the tables' headers.
std::string interleaver_note(const SweepConfig& config);

// The blocks at the end of a transmission of `mode` that the encoder's 144 flush bits reach (1,
// 2 at 150 bit/s and 4 at 75 bit/s with 0.6 s): zeros, which a receiver entering late reads
// as one value and not as a mode's frames.
double flush_blocks(const ModeParams& mode);

// The fewest blocks a trial with LateEntry::data sends at `rate` and `interLen` (both accepted):
// the block of the entry and the next whole block, both of information bits, then the
// flush_blocks() (so 3, 4 at 150 bit/s and 6 at 75 bit/s with 0.6 s).
double late_data_blocks(double rate, double interLen);

// The blocks per trial when none are given: the fewest whole interleaver blocks of `interLen`
// seconds that carry at least one information bit besides the encoder's flush bits at `rate`
// (1 from 300 to 4800 bit/s; with 0.6 s, 2 at 150 and 4 at 75 bit/s). Both must be accepted
// (rate_interleaver applied).
double default_nframe(double rate, double interLen);

// The blocks per trial at `rate`: config.nFrame, or default_nframe() when it is 0 (with
// LateEntry::data at least late_data_blocks()).
double trial_nframe(const SweepConfig& config, double rate);

// "1", or one value per rate of config.rates joined by commas ("4,2,1") when they differ: the
// blocks per trial as the table, the journal and the memory messages record them.
std::string nframe_text(const SweepConfig& config);

// True when the sweep's results carry a rate column: any rate but 2400 bit/s alone (a sweep of
// 2400 bit/s alone keeps the layout of the program before its other rates).
bool shows_rate(const SweepConfig& config);

// Checks every field of `config` and their combinations: the rates (known, each once, each with
// its interleaver (rate_interleaver), each with every receiver), the interleaver, the blocks per
// trial at each rate, the shaping, the conditions (known, each once, each suited to M), the points
// (each once), the receivers (at least one, each once), the counts, the floor (from 0 to 1; with a
// floor the points must ascend), the threads, and the path through the air (a sample rate of 0 or
// one whose band holds the pulse's, audio/passband.hpp; a clock offset within +-1000 ppm, and only
// through the air), and acquisition's own fields (an offset from 0 to 150 Hz, a late entry or
// noise trials only for acquisition and not both, noise trials from 1 s to 1 hour; no floor and
// no stop on every receiver, which acquisition does not run), and an entry in the data (with
// acquisition, or with the decoded metric of the hf receiver alone from 150 bit/s up; a whole
// number of at least late_data_blocks() at every rate). Raises errid::kInvalidConfig naming
// the first field refused.
void check_config(const SweepConfig& config, const FieldNames& names = {});

// The checks of single values, also used by the command line's `run` and when it converts its
// text into a configuration. Each raises errid::kInvalidConfig naming `field` through `names`.

// interLen: 0.6 or 4.8 s.
void check_interleaver(double interLen, const FieldNames& names = {});

// rate: one of kDataRates (params/modes.hpp) with the interleaver `interLen` (which must be
// accepted; 4800 bit/s has only 0.6 s); names the field "rates".
void check_rate(double rate, double interLen, const FieldNames& names = {});

// nFrame: above 0, at most 10000, and giving the transmitter a whole number of information bits
// (at least 1) besides the encoder's flush bits at `rate` and the interleaver `interLen` (both
// must be accepted). The transmitter counts them in double precision (transmitter/bitbudget.hpp),
// so a fraction without an exact binary form (1.1) can miss a whole count by a rounding error:
// it is refused naming nFrame, with the nearest values that are exact.
void check_nframe(double nFrame, double rate, double interLen, const FieldNames& names = {});

// The receivers `receivers` must all run at `rate` with the interleaver `interLen` (the road's
// rule, chain/road.hpp); names the field "receivers".
void check_receivers_at_rate(const std::vector<ReceiverKind>& receivers, double rate,
                             double interLen, const FieldNames& names = {});

// shaping: roll-off in (0, 1] and large enough that the shaping blocks' pulse has finite taps
// (their own design decides), pulse delay and samples per symbol whole from 1 to 64.
void check_shaping(const VarShapping& shaping, const FieldNames& names = {});

// The second ray of `condition` (every path of another channel) must lie a whole number of
// samples behind the start at `M` samples per symbol (names shaping.oversamplingFactor): exactly
// for fadesim's conditions, by hfchannel's rule (whole_samples) for the channels it runs.
void check_ray_delay(const std::string& condition, double M, const FieldNames& names = {});

// An Es/N0 or SNR point of `field` in dB: finite, from -200 to 200.
void check_point(double db, std::string_view field, const FieldNames& names = {});

// A seed of `field`: a whole number from 0 to 4294967295.
void check_seed(double seed, std::string_view field, const FieldNames& names = {});

// A count of `field`: a whole number from `minimum` up to 2^53; returned as a whole number.
std::int64_t check_count(double value, double minimum, std::string_view field,
                         const FieldNames& names = {});

// receivers: at least one, each named once.
void check_receivers(const std::vector<ReceiverKind>& receivers, const FieldNames& names = {});

}  // namespace hfchain::sweep
