// The field tables of every structure that crosses into Python: the parameter structures, the
// block outputs, the road (with its receivers' Reception) and the sweep configuration. A new
// block's output is one table here and one bind_record line in module.cpp.
//
// Field shapes follow the Octave plug-ins where they read the structure: in `mode`,
// interTable is a column, chSymMapping at most 32 x 8, preamSync a row, probe at most 20 x 2;
// varWatterson.model at most 50 characters.
#pragma once

#include <limits>
#include <optional>
#include <tuple>
#include <utility>

#include "chain/road.hpp"
#include "channel/fadesim.hpp"
#include "params/modes.hpp"
#include "python/docs.hpp"
#include "python/records.hpp"
#include "receiver/blocklock/blocklock.hpp"
#include "receiver/decoder/sisodecode.hpp"
#include "sweep/config.hpp"
#include "sweep/requirements.hpp"

namespace hfchain::python {

#define HFCHAIN_RECORD(Type, name)                 \
    static constexpr const char* kClass = #Type;   \
    static constexpr const char* kName = name;     \
    static const char* doc() { return doc::Type; } \
    static const char* doc_init() { return doc::Type##___init__; }

template <>
struct RecordTraits<ModeParams> {
    HFCHAIN_RECORD(ModeParams, "milstd")
    static auto fields() {
        using S = ModeParams;
        return std::make_tuple(
            field("rate", &S::rate, doc::ModeParams_rate),
            field("interl", &S::interl, doc::ModeParams_interl),
            field("interTable", &S::interTable, doc::ModeParams_interTable, kColumn),
            field("chSymMapping", &S::chSymMapping, doc::ModeParams_chSymMapping,
                  Shape{upto(32), upto(8)}),
            field("bitsToSym", &S::bitsToSym, doc::ModeParams_bitsToSym),
            field("repFactor", &S::repFactor, doc::ModeParams_repFactor),
            field("preamSync", &S::preamSync, doc::ModeParams_preamSync, kRow),
            field("trein", &S::trein, doc::ModeParams_trein),
            field("data", &S::data, doc::ModeParams_data),
            field("probe", &S::probe, doc::ModeParams_probe, Shape{upto(20), upto(2)}));
    }
};

template <>
struct RecordTraits<VarShapping> {
    HFCHAIN_RECORD(VarShapping, "varShapping")
    static auto fields() {
        using S = VarShapping;
        return std::make_tuple(
            field("rolloffFactor", &S::rolloffFactor, doc::VarShapping_rolloffFactor),
            field("pulseDelay", &S::pulseDelay, doc::VarShapping_pulseDelay),
            field("oversamplingFactor", &S::oversamplingFactor,
                  doc::VarShapping_oversamplingFactor));
    }
};

template <>
struct RecordTraits<VarWatterson> {
    HFCHAIN_RECORD(VarWatterson, "varWatterson")
    static auto fields() {
        using S = VarWatterson;
        return std::make_tuple(text_field("model", &S::model, doc::VarWatterson_model, 50),
                               field("EsNodB", &S::EsNodB, doc::VarWatterson_EsNodB),
                               field("seed", &S::seed, doc::VarWatterson_seed));
    }
};

template <>
struct RecordTraits<SendchainOut> {
    HFCHAIN_RECORD(SendchainOut, "SendchainOut")
    static auto fields() {
        using S = SendchainOut;
        return std::make_tuple(
            field("BitInCodIn", &S::BitInCodIn, doc::SendchainOut_BitInCodIn, kColumn),
            field("CodOutInterIn", &S::CodOutInterIn, doc::SendchainOut_CodOutInterIn, kColumn),
            field("InterOutMapIn", &S::InterOutMapIn, doc::SendchainOut_InterOutMapIn, kColumn),
            field("MapOutMultiplexIn", &S::MapOutMultiplexIn, doc::SendchainOut_MapOutMultiplexIn,
                  kColumn),
            field("ComplexPSKSymbols", &S::ComplexPSKSymbols, doc::SendchainOut_ComplexPSKSymbols,
                  kColumn),
            field("ModConstellation", &S::ModConstellation, doc::SendchainOut_ModConstellation,
                  kColumn),
            field("ProbeInfo", &S::ProbeInfo, doc::SendchainOut_ProbeInfo, kColumn),
            field("MultiplexOut", &S::MultiplexOut, doc::SendchainOut_MultiplexOut, kColumn));
    }
};

template <>
struct RecordTraits<PulseshaperOut> {
    HFCHAIN_RECORD(PulseshaperOut, "PulseshaperOut")
    static auto fields() {
        using S = PulseshaperOut;
        return std::make_tuple(field("filter", &S::filter, doc::PulseshaperOut_filter, kRow),
                               field("out", &S::out, doc::PulseshaperOut_out, kColumn));
    }
};

template <>
struct RecordTraits<FadesimOut> {
    HFCHAIN_RECORD(FadesimOut, "FadesimOut")
    static auto fields() {
        using S = FadesimOut;
        return std::make_tuple(
            field("raios", &S::raios, doc::FadesimOut_raios, Shape{upto(kUnbounded), upto(2)}),
            field("RER", &S::RER, doc::FadesimOut_RER), field("ED", &S::ED, doc::FadesimOut_ED),
            field("WattersonOutAwgnIn", &S::WattersonOutAwgnIn, doc::FadesimOut_WattersonOutAwgnIn,
                  kColumn),
            field("noise", &S::noise, doc::FadesimOut_noise, kColumn),
            field("AwgnOut", &S::AwgnOut, doc::FadesimOut_AwgnOut, kColumn));
    }
};

template <>
struct RecordTraits<HfchannelOut> {
    HFCHAIN_RECORD(HfchannelOut, "HfchannelOut")
    static auto fields() {
        using S = HfchannelOut;
        return std::make_tuple(field("raios", &S::raios, doc::HfchannelOut_raios,
                                     Shape{upto(kUnbounded), upto(kUnbounded)}),
                               field("delays", &S::delays, doc::HfchannelOut_delays, kColumn),
                               field("offset", &S::offset, doc::HfchannelOut_offset),
                               field("WattersonOutAwgnIn", &S::WattersonOutAwgnIn,
                                     doc::HfchannelOut_WattersonOutAwgnIn, kColumn),
                               field("noise", &S::noise, doc::HfchannelOut_noise, kColumn),
                               field("AwgnOut", &S::AwgnOut, doc::HfchannelOut_AwgnOut, kColumn));
    }
};

template <>
struct RecordTraits<PulsematchOut> {
    HFCHAIN_RECORD(PulsematchOut, "PulsematchOut")
    static auto fields() {
        using S = PulsematchOut;
        return std::make_tuple(
            field("filter", &S::filter, doc::PulsematchOut_filter, kRow),
            field("filterDelay", &S::filterDelay, doc::PulsematchOut_filterDelay),
            field("out", &S::out, doc::PulsematchOut_out, kColumn));
    }
};

template <>
struct RecordTraits<TickalignOut> {
    HFCHAIN_RECORD(TickalignOut, "TickalignOut")
    static auto fields() {
        return std::make_tuple(field("out", &TickalignOut::out, doc::TickalignOut_out, kColumn));
    }
};

template <>
struct RecordTraits<UnframerOut> {
    HFCHAIN_RECORD(UnframerOut, "UnframerOut")
    static auto fields() {
        return std::make_tuple(field("out", &UnframerOut::out, doc::UnframerOut_out, kColumn));
    }
};

template <>
struct RecordTraits<SymslicerOut> {
    HFCHAIN_RECORD(SymslicerOut, "SymslicerOut")
    static auto fields() {
        using S = SymslicerOut;
        return std::make_tuple(
            field("DemodOutDemapIn", &S::DemodOutDemapIn, doc::SymslicerOut_DemodOutDemapIn,
                  kColumn),
            field("DemapOut", &S::DemapOut, doc::SymslicerOut_DemapOut, kColumn));
    }
};

template <>
struct RecordTraits<UnshuffleOut> {
    HFCHAIN_RECORD(UnshuffleOut, "UnshuffleOut")
    static auto fields() {
        return std::make_tuple(field("out", &UnshuffleOut::out, doc::UnshuffleOut_out, kColumn));
    }
};

template <>
struct RecordTraits<SoftslicerOut> {
    HFCHAIN_RECORD(SoftslicerOut, "SoftslicerOut")
    static auto fields() {
        return std::make_tuple(field("LLR", &SoftslicerOut::LLR, doc::SoftslicerOut_LLR, kColumn));
    }
};

template <>
struct RecordTraits<PatternslicerOut> {
    HFCHAIN_RECORD(PatternslicerOut, "PatternslicerOut")
    static auto fields() {
        using S = PatternslicerOut;
        return std::make_tuple(
            field("LLR", &S::LLR, doc::PatternslicerOut_LLR, kColumn),
            field("Correlations", &S::Correlations, doc::PatternslicerOut_Correlations,
                  Shape{upto(4), upto(kUnbounded)}));
    }
};

template <>
struct RecordTraits<VitdecodeOut> {
    HFCHAIN_RECORD(VitdecodeOut, "VitdecodeOut")
    static auto fields() {
        using S = VitdecodeOut;
        return std::make_tuple(
            field("DecodOut", &S::DecodOut, doc::VitdecodeOut_DecodOut, kColumn),
            field("InfoBits", &S::InfoBits, doc::VitdecodeOut_InfoBits, kColumn));
    }
};

template <>
struct RecordTraits<SisodecodeOut> {
    HFCHAIN_RECORD(SisodecodeOut, "SisodecodeOut")
    static auto fields() {
        using S = SisodecodeOut;
        return std::make_tuple(
            field("Extrinsic", &S::Extrinsic, doc::SisodecodeOut_Extrinsic, kColumn),
            field("InfoLLR", &S::InfoLLR, doc::SisodecodeOut_InfoLLR, kColumn),
            field("InfoBits", &S::InfoBits, doc::SisodecodeOut_InfoBits, kColumn));
    }
};

// The shapes turboequal's plug-in reads a `sounding` with.
template <>
struct RecordTraits<ChansoundOut> {
    HFCHAIN_RECORD(ChansoundOut, "ChansoundOut")
    static auto fields() {
        using S = ChansoundOut;
        return std::make_tuple(
            field("start", &S::start, doc::ChansoundOut_start),
            field("delays", &S::delays, doc::ChansoundOut_delays, kColumn),
            field("basis", &S::basis, doc::ChansoundOut_basis),
            field("out", &S::out, doc::ChansoundOut_out, kColumn),
            field("gains", &S::gains, doc::ChansoundOut_gains),
            field("gainVar", &S::gainVar, doc::ChansoundOut_gainVar),
            field("pathPower", &S::pathPower, doc::ChansoundOut_pathPower, kColumn),
            field("windowGains", &S::windowGains, doc::ChansoundOut_windowGains),
            field("windowVar", &S::windowVar, doc::ChansoundOut_windowVar),
            field("windowTime", &S::windowTime, doc::ChansoundOut_windowTime, kColumn),
            field("noiseVar", &S::noiseVar, doc::ChansoundOut_noiseVar),
            field("doppler", &S::doppler, doc::ChansoundOut_doppler),
            field("frames", &S::frames, doc::ChansoundOut_frames),
            field("profile", &S::profile, doc::ChansoundOut_profile, kColumn),
            field("profileStart", &S::profileStart, doc::ChansoundOut_profileStart));
    }
};

template <>
struct RecordTraits<FreqlockOut> {
    HFCHAIN_RECORD(FreqlockOut, "FreqlockOut")
    static auto fields() {
        using S = FreqlockOut;
        return std::make_tuple(
            field("start", &S::start, doc::FreqlockOut_start, kColumn),
            field("offset", &S::offset, doc::FreqlockOut_offset),
            field("coarseOffset", &S::coarseOffset, doc::FreqlockOut_coarseOffset),
            field("coarseStart", &S::coarseStart, doc::FreqlockOut_coarseStart),
            field("out", &S::out, doc::FreqlockOut_out, kColumn));
    }
};

template <>
struct RecordTraits<BlocklockOut> {
    HFCHAIN_RECORD(BlocklockOut, "BlocklockOut")
    static auto fields() {
        using S = BlocklockOut;
        return std::make_tuple(field("found", &S::found, doc::BlocklockOut_found),
                               field("score", &S::score, doc::BlocklockOut_score),
                               field("offset", &S::offset, doc::BlocklockOut_offset),
                               whole_field("mode", &S::mode, doc::BlocklockOut_mode, -1,
                                           static_cast<std::int64_t>(std::size(kModes)) - 1),
                               field("confidence", &S::confidence, doc::BlocklockOut_confidence),
                               field("blockStart", &S::blockStart, doc::BlocklockOut_blockStart));
    }
};

template <>
struct RecordTraits<TurboequalOut> {
    HFCHAIN_RECORD(TurboequalOut, "TurboequalOut")
    static auto fields() {
        using S = TurboequalOut;
        return std::make_tuple(
            field("out", &S::out, doc::TurboequalOut_out, kColumn),
            field("noiseVar", &S::noiseVar, doc::TurboequalOut_noiseVar, kColumn),
            field("gains", &S::gains, doc::TurboequalOut_gains),
            field("gainVar", &S::gainVar, doc::TurboequalOut_gainVar),
            field("doppler", &S::doppler, doc::TurboequalOut_doppler),
            field("passes", &S::passes, doc::TurboequalOut_passes));
    }
};

template <>
struct RecordTraits<PatterntrackOut> {
    HFCHAIN_RECORD(PatterntrackOut, "PatterntrackOut")
    static auto fields() {
        using S = PatterntrackOut;
        return std::make_tuple(
            field("LLR", &S::LLR, doc::PatterntrackOut_LLR, kColumn),
            field("noncoherentLLR", &S::noncoherentLLR, doc::PatterntrackOut_noncoherentLLR,
                  kColumn),
            field("out", &S::out, doc::PatterntrackOut_out, kColumn),
            field("noiseVar", &S::noiseVar, doc::PatterntrackOut_noiseVar, kColumn),
            field("gains", &S::gains, doc::PatterntrackOut_gains),
            field("gainVar", &S::gainVar, doc::PatterntrackOut_gainVar),
            field("doppler", &S::doppler, doc::PatterntrackOut_doppler),
            field("passes", &S::passes, doc::PatterntrackOut_passes));
    }
};

template <>
struct RecordTraits<GeniecombineOut> {
    HFCHAIN_RECORD(GeniecombineOut, "GeniecombineOut")
    static auto fields() {
        using S = GeniecombineOut;
        return std::make_tuple(
            field("out", &S::out, doc::GeniecombineOut_out, kColumn),
            field("noiseVar", &S::noiseVar, doc::GeniecombineOut_noiseVar, kColumn),
            field("gain", &S::gain, doc::GeniecombineOut_gain, kColumn));
    }
};

template <>
struct RecordTraits<ImpulseblankOut> {
    HFCHAIN_RECORD(ImpulseblankOut, "ImpulseblankOut")
    static auto fields() {
        using S = ImpulseblankOut;
        return std::make_tuple(field("samples", &S::samples, doc::ImpulseblankOut_samples),
                               field("level", &S::level, doc::ImpulseblankOut_level),
                               field("peak", &S::peak, doc::ImpulseblankOut_peak));
    }
};

template <>
struct RecordTraits<Reception> {
    HFCHAIN_RECORD(Reception, "Reception")
    static auto fields() {
        using S = Reception;
        constexpr std::int64_t kMaxCount = std::numeric_limits<index_t>::max();
        return std::make_tuple(
            field("ran", &S::ran, doc::Reception_ran),
            field("symbols", &S::symbols, doc::Reception_symbols, kColumn),
            field("noiseVar", &S::noiseVar, doc::Reception_noiseVar, kColumn),
            field("soft", &S::soft, doc::Reception_soft),
            field("deinterleaved", &S::deinterleaved, doc::Reception_deinterleaved),
            field("decoded", &S::decoded, doc::Reception_decoded),
            whole_field("codedBits", &S::codedBits, doc::Reception_codedBits, 0, kMaxCount),
            whole_field("codedBitErrors", &S::codedBitErrors, doc::Reception_codedBitErrors, 0,
                        kMaxCount),
            whole_field("infoBits", &S::infoBits, doc::Reception_infoBits, 0, kMaxCount),
            whole_field("infoBitErrors", &S::infoBitErrors, doc::Reception_infoBitErrors, 0,
                        kMaxCount),
            whole_field("blocks", &S::blocks, doc::Reception_blocks, 0, kMaxCount),
            whole_field("blockErrors", &S::blockErrors, doc::Reception_blockErrors, 0, kMaxCount));
    }
};

template <>
struct EnumTraits<ReceiverKind> {
    static constexpr std::pair<ReceiverKind, const char*> kValues[] = {
        {ReceiverKind::baseline, "baseline"},
        {ReceiverKind::hf, "hf"},
        {ReceiverKind::genie, "genie"}};
};

template <>
struct EnumTraits<PatternDetection> {
    static constexpr std::pair<PatternDetection, const char*> kValues[] = {
        {PatternDetection::coherent, "coherent"}, {PatternDetection::noncoherent, "noncoherent"}};
};

template <>
struct EnumTraits<SoftRule> {
    static constexpr std::pair<SoftRule, const char*> kValues[] = {{SoftRule::max_log, "max_log"},
                                                                   {SoftRule::exact, "exact"}};
};

// A written channel is at most this long (16 paths fit in 600 characters).
constexpr index_t kMostChannelText = 2000;

// Python's RoadConfig: the road's settings with the channel given by its name, read by
// road_channel when run_road runs (road_config), and the channel's Es/N0 and seed.
struct RoadSettings {
    static const RoadConfig& defaults() {
        static const RoadConfig d;
        return d;
    }
    double nFrame = defaults().nFrame;
    double txSeed = defaults().txSeed;
    VarShapping shaping = defaults().shaping;
    std::string channel = "none";
    double EsNodB = defaults().channel.EsNodB;
    double channelSeed = defaults().channel.seed;
    std::vector<ReceiverKind> receivers = defaults().receivers;
    double iterations = defaults().iterations;
    SoftRule softRule = defaults().softRule;
    std::vector<ReceivedImpulse> impulses = defaults().impulses;
};

// The road's configuration of Python's: the channel read from its name.
RoadConfig road_config(const RoadSettings& s);

template <>
struct RecordTraits<RoadSettings> {
    HFCHAIN_RECORD(RoadConfig, "config")
    static constexpr bool kFieldsOptional = true;
    static auto fields() {
        using S = RoadSettings;
        return std::make_tuple(
            field("nFrame", &S::nFrame, doc::RoadConfig_nFrame),
            field("txSeed", &S::txSeed, doc::RoadConfig_txSeed),
            field("shaping", &S::shaping, doc::RoadConfig_shaping),
            text_field("channel", &S::channel, doc::RoadConfig_channel, kMostChannelText),
            field("EsNodB", &S::EsNodB, doc::RoadConfig_EsNodB),
            field("channelSeed", &S::channelSeed, doc::RoadConfig_channelSeed),
            field("receivers", &S::receivers, doc::RoadConfig_receivers),
            field("iterations", &S::iterations, doc::RoadConfig_iterations),
            field("softRule", &S::softRule, doc::RoadConfig_softRule),
            field("impulses", &S::impulses, doc::RoadConfig_impulses));
    }
    // The fields of earlier versions: `channel` the kind ("none", "awgn", "watterson" or
    // "hfchannel") and `watterson` a VarWatterson (model, EsNodB, seed). "watterson" and
    // "hfchannel" become the channel watterson.model names ("bom" when no watterson is given),
    // watterson's EsNodB and seed the fields EsNodB and channelSeed.
    static py::dict renamed(py::handle mapping);
};

template <>
struct RecordTraits<RoadResult> {
    HFCHAIN_RECORD(RoadResult, "RoadResult")
    static auto fields() {
        using S = RoadResult;
        constexpr std::int64_t kMaxCount = std::numeric_limits<index_t>::max();
        return std::make_tuple(
            field("tx", &S::tx, doc::RoadResult_tx),
            field("shaped", &S::shaped, doc::RoadResult_shaped),
            field("faded", &S::faded, doc::RoadResult_faded),
            field("matched", &S::matched, doc::RoadResult_matched),
            field("frameStart", &S::frameStart, doc::RoadResult_frameStart, kColumn),
            field("expectedFrameStart", &S::expectedFrameStart, doc::RoadResult_expectedFrameStart),
            field("symbols", &S::symbols, doc::RoadResult_symbols),
            field("data", &S::data, doc::RoadResult_data),
            field("demod", &S::demod, doc::RoadResult_demod),
            field("deinterleaved", &S::deinterleaved, doc::RoadResult_deinterleaved),
            field("frameFound", &S::frameFound, doc::RoadResult_frameFound),
            whole_field("codedBits", &S::codedBits, doc::RoadResult_codedBits, 0, kMaxCount),
            whole_field("codedBitErrors", &S::codedBitErrors, doc::RoadResult_codedBitErrors, 0,
                        kMaxCount),
            field("locked", &S::locked, doc::RoadResult_locked),
            field("sounding", &S::sounding, doc::RoadResult_sounding),
            field("equalised", &S::equalised, doc::RoadResult_equalised),
            field("patterns", &S::patterns, doc::RoadResult_patterns),
            field("genieView", &S::genieView, doc::RoadResult_genieView),
            field("baseline", &S::baseline, doc::RoadResult_baseline),
            field("hf", &S::hf, doc::RoadResult_hf),
            field("genie", &S::genie, doc::RoadResult_genie),
            field("blanking", &S::blanking, doc::RoadResult_blanking));
    }
};

template <>
struct EnumTraits<sweep::Metric> {
    static constexpr std::pair<sweep::Metric, const char*> kValues[] = {
        {sweep::Metric::decoded, "decoded"},
        {sweep::Metric::coded, "coded"},
        {sweep::Metric::acquisition, "acquisition"}};
};

template <>
struct EnumTraits<sweep::LateEntry> {
    static constexpr std::pair<sweep::LateEntry, const char*> kValues[] = {
        {sweep::LateEntry::none, "none"},
        {sweep::LateEntry::preamble, "preamble"},
        {sweep::LateEntry::data, "data"}};
};

template <>
struct EnumTraits<sweep::StopOn> {
    static constexpr std::pair<sweep::StopOn, const char*> kValues[] = {
        {sweep::StopOn::first, "first"}, {sweep::StopOn::all, "all"}};
};

// The sweep's configuration as Python gives it: sweep::SweepConfig with its defaults, but the
// points given either as Es/N0 (esno) or as SNR in 3 kHz (snr3k), None for the
// default points. Whole numbers are read in their type's range; the sweep's own checks say which
// values it accepts, naming the fields as Python does.
struct SweepSettings : sweep::SweepConfig {
    // The points as given; both None: the configuration's default points (SNR in 3 kHz).
    std::optional<std::vector<double>> esnoGiven;
    std::optional<std::vector<double>> snr3kGiven;
};

template <>
struct RecordTraits<SweepSettings> {
    HFCHAIN_RECORD(SweepConfig, "config")
    static constexpr bool kFieldsOptional = true;
    static auto fields() {
        using S = SweepSettings;
        // Counts are whole numbers that a double holds exactly.
        constexpr std::int64_t kMaxCount = 9007199254740992;
        return std::make_tuple(
            field("interLen", &S::interLen, doc::SweepConfig_interLen),
            field("nFrame", &S::nFrame, doc::SweepConfig_nFrame),
            field("shaping", &S::shaping, doc::SweepConfig_shaping),
            field("conditions", &S::conditions, doc::SweepConfig_conditions),
            field("esno", &S::esnoGiven, doc::SweepConfig_esno),
            field("snr3k", &S::snr3kGiven, doc::SweepConfig_snr3k),
            field("receivers", &S::receivers, doc::SweepConfig_receivers),
            field("metric", &S::metric, doc::SweepConfig_metric),
            field("stopOn", &S::stopOn, doc::SweepConfig_stopOn),
            whole_field("minTrials", &S::minTrials, doc::SweepConfig_minTrials, -kMaxCount,
                        kMaxCount),
            whole_field("minEvents", &S::minEvents, doc::SweepConfig_minEvents, -kMaxCount,
                        kMaxCount),
            whole_field("minErrors", &S::minErrors, doc::SweepConfig_minErrors, -kMaxCount,
                        kMaxCount),
            whole_field("maxBits", &S::maxBits, doc::SweepConfig_maxBits, -kMaxCount, kMaxCount),
            field("floor", &S::floor, doc::SweepConfig_floor),
            whole_field("seed", &S::seed, doc::SweepConfig_seed, 0, 4294967295),
            whole_field("threads", &S::threads, doc::SweepConfig_threads, -2147483648, 2147483647),
            field("rates", &S::rates, doc::SweepConfig_rates),
            field("audioRate", &S::audioRate, doc::SweepConfig_audioRate),
            field("clockPpm", &S::clockPpm, doc::SweepConfig_clockPpm),
            field("impulses", &S::impulses, doc::SweepConfig_impulses),
            field("offsetHz", &S::offsetHz, doc::SweepConfig_offsetHz),
            field("late", &S::late, doc::SweepConfig_late),
            field("noiseSeconds", &S::noiseSeconds, doc::SweepConfig_noiseSeconds));
    }
};

// The minimum-performance table's settings as Python gives them: sweep::RequirementsConfig with
// its stop rule's fields beside the others, and the defaults of the `hfchain requirements`
// command.
struct RequirementsSettings {
    static const sweep::RequirementsConfig& defaults() {
        static const sweep::RequirementsConfig d = sweep::requirements_defaults();
        return d;
    }
    double interLen = defaults().interLen;
    double nFrame = defaults().nFrame;
    VarShapping shaping = defaults().shaping;
    std::vector<ReceiverKind> receivers = defaults().receivers;
    sweep::StopOn stopOn = defaults().stop.stopOn;
    std::int64_t minTrials = defaults().stop.minTrials;
    std::int64_t minEvents = defaults().stop.minEvents;
    std::int64_t minErrors = defaults().stop.minErrors;
    std::int64_t maxBits = defaults().stop.maxBits;
    std::uint32_t seed = defaults().seed;
    int threads = defaults().threads;
    std::vector<index_t> rows;  // empty: every row
    double resolution = defaults().resolution;
    double step = defaults().step;
    double lowest = defaults().lowest;
    double highest = defaults().highest;
};

sweep::RequirementsConfig requirements_config(const RequirementsSettings& s);

template <>
struct RecordTraits<RequirementsSettings> {
    HFCHAIN_RECORD(RequirementsConfig, "config")
    static constexpr bool kFieldsOptional = true;
    static auto fields() {
        using S = RequirementsSettings;
        constexpr std::int64_t kMaxCount = 9007199254740992;
        return std::make_tuple(
            field("interLen", &S::interLen, doc::RequirementsConfig_interLen),
            field("nFrame", &S::nFrame, doc::RequirementsConfig_nFrame),
            field("shaping", &S::shaping, doc::RequirementsConfig_shaping),
            field("receivers", &S::receivers, doc::RequirementsConfig_receivers),
            field("stopOn", &S::stopOn, doc::RequirementsConfig_stopOn),
            whole_field("minTrials", &S::minTrials, doc::RequirementsConfig_minTrials, -kMaxCount,
                        kMaxCount),
            whole_field("minEvents", &S::minEvents, doc::RequirementsConfig_minEvents, -kMaxCount,
                        kMaxCount),
            whole_field("minErrors", &S::minErrors, doc::RequirementsConfig_minErrors, -kMaxCount,
                        kMaxCount),
            whole_field("maxBits", &S::maxBits, doc::RequirementsConfig_maxBits, -kMaxCount,
                        kMaxCount),
            whole_field("seed", &S::seed, doc::RequirementsConfig_seed, 0, 4294967295),
            whole_field("threads", &S::threads, doc::RequirementsConfig_threads, -2147483648,
                        2147483647),
            field("rows", &S::rows, doc::RequirementsConfig_rows),
            field("resolution", &S::resolution, doc::RequirementsConfig_resolution),
            field("step", &S::step, doc::RequirementsConfig_step),
            field("lowest", &S::lowest, doc::RequirementsConfig_lowest),
            field("highest", &S::highest, doc::RequirementsConfig_highest));
    }
};

#undef HFCHAIN_RECORD

}  // namespace hfchain::python
