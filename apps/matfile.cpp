#include "apps/matfile.hpp"

#include <matio.h>

#include <memory>
#include <vector>

#include "apps/run_road.hpp"
#include "params/modes.hpp"
#include "runtime/error.hpp"
#include "runtime/output_file.hpp"

namespace hfchain::app {

namespace {

struct VarFree {
    void operator()(matvar_t* v) const { Mat_VarFree(v); }
};
using VarPtr = std::unique_ptr<matvar_t, VarFree>;

// A matio variable holding a copy of `a` (the variable owns its data).
// matio copies the data it is given, but for an empty array it keeps the pointer it was given
// and frees it later: empty arrays are created without data.
VarPtr make_var(const char* name, const RealArray& a) {
    size_t dims[2] = {static_cast<size_t>(a.rows()), static_cast<size_t>(a.cols())};
    if (a.empty())
        return VarPtr(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, 0));
    return VarPtr(
        Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, const_cast<double*>(a.data()), 0));
}

VarPtr make_var(const char* name, const ComplexArray& a) {
    size_t dims[2] = {static_cast<size_t>(a.rows()), static_cast<size_t>(a.cols())};
    if (a.empty()) {
        return VarPtr(
            Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, nullptr, MAT_F_COMPLEX));
    }
    const auto n = static_cast<std::size_t>(a.numel());
    std::vector<double> re(n);
    std::vector<double> im(n);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] = a[static_cast<index_t>(k)].real();
        im[k] = a[static_cast<index_t>(k)].imag();
    }
    mat_complex_split_t split{re.data(), im.data()};
    // Without MAT_F_DONT_COPY_DATA matio copies both parts, so the vectors may go.
    return VarPtr(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &split, MAT_F_COMPLEX));
}

VarPtr make_var(const char* name, double v) {
    size_t dims[2] = {1, 1};
    return VarPtr(Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, &v, 0));
}

VarPtr make_var(const char* name, const std::string& text) {
    size_t dims[2] = {1, text.size()};
    return VarPtr(
        Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT8, 2, dims, const_cast<char*>(text.data()), 0));
}

// Writes the variables into a temporary file beside the target and puts it in place when closed,
// after reading its table of variables back: matio does not report every failed write (a full
// disk), but a file that lost its end cannot list all the variables written.
class MatWriter {
public:
    explicit MatWriter(const std::string& file)
        : file_(file),
          result_("--save", file),
          mat_(Mat_CreateVer(result_.path().c_str(), nullptr, MAT_FT_MAT5)) {
        if (mat_ == nullptr)
            raise(sweep::errid::kWriteFailed, "--save: cannot create the MAT file '" + file + "'");
    }
    MatWriter(const MatWriter&) = delete;
    MatWriter& operator=(const MatWriter&) = delete;
    ~MatWriter() {
        if (mat_ != nullptr) Mat_Close(mat_);
    }

    template <class T>
    void put(const char* name, const T& value) {
        write(make_var(name, value));
    }

    void write(VarPtr var) {
        if (!var || Mat_VarWrite(mat_, var.get(), MAT_COMPRESSION_ZLIB) != 0) {
            raise(sweep::errid::kWriteFailed, "--save: writing '" +
                                                  std::string(var ? var->name : "?") + "' to '" +
                                                  file_ + "' failed");
        }
        ++written_;
    }

    void close() {
        const int status = Mat_Close(mat_);
        mat_ = nullptr;
        if (status != 0)
            raise(sweep::errid::kWriteFailed, "--save: writing '" + file_ + "' failed");
        if (count_variables(result_.path()) != written_) {
            raise(sweep::errid::kWriteFailed,
                  "--save: writing '" + file_ +
                      "' failed: the file is incomplete (is the disk full?)");
        }
        result_.commit();
    }

private:
    static int count_variables(const std::string& path) {
        mat_t* mat = Mat_Open(path.c_str(), MAT_ACC_RDONLY);
        if (mat == nullptr) return -1;
        int n = 0;
        while (matvar_t* v = Mat_VarReadNextInfo(mat)) {
            Mat_VarFree(v);
            ++n;
        }
        Mat_Close(mat);
        return n;
    }

    std::string file_;
    ResultFile result_;
    mat_t* mat_;
    int written_ = 0;
};

// A 1 x 1 structure of named fields; the structure owns the field variables.
class StructVar {
public:
    StructVar(const char* name, std::vector<const char*> fields) : fields_(std::move(fields)) {
        fields_.push_back(nullptr);
        size_t dims[2] = {1, 1};
        var_.reset(Mat_VarCreateStruct2(name, 2, dims, fields_.data()));
    }

    template <class T>
    StructVar& set(const char* field, const T& value) {
        VarPtr v = make_var(field, value);
        if (var_ && v) {
            // The structure takes the field over; the return value is the field it held before
            // (none here).
            matvar_t* old = Mat_VarSetStructFieldByName(var_.get(), field, 0, v.release());
            if (old != nullptr) Mat_VarFree(old);
        }
        return *this;
    }

    VarPtr take() { return std::move(var_); }

private:
    std::vector<const char*> fields_;
    VarPtr var_;
};

// The inputs, so that the file alone says how it was made.
void save_inputs(MatWriter& mat, const RunOptions& options, const ModeParams& mode) {
    mat.write(StructVar("milstd", {"rate", "interl", "interTable", "chSymMapping", "bitsToSym",
                                   "repFactor", "preamSync", "trein", "data", "probe"})
                  .set("rate", mode.rate)
                  .set("interl", mode.interl)
                  .set("interTable", mode.interTable)
                  .set("chSymMapping", mode.chSymMapping)
                  .set("bitsToSym", mode.bitsToSym)
                  .set("repFactor", mode.repFactor)
                  .set("preamSync", mode.preamSync)
                  .set("trein", mode.trein)
                  .set("data", mode.data)
                  .set("probe", mode.probe)
                  .take());
    mat.write(StructVar("varShapping", {"rolloffFactor", "pulseDelay", "oversamplingFactor"})
                  .set("rolloffFactor", options.shaping.rolloffFactor)
                  .set("pulseDelay", options.shaping.pulseDelay)
                  .set("oversamplingFactor", options.shaping.oversamplingFactor)
                  .take());
    mat.write(StructVar("varWatterson", {"model", "EsNodB", "seed"})
                  .set("model", options.channel)
                  .set("EsNodB", options.esno)
                  .set("seed", options.channelSeed)
                  .take());
    mat.put("channel", options.channel);
    mat.put("nFrame", options.nFrame);
    mat.put("txSeed", options.txSeed);
}

// The signals of the chain, from the transmitter to the baseline receiver's coded bits.
void save_signals(MatWriter& mat, const RunOptions& options, const RoadResult& road) {
    // sendchain
    const SendchainOut& tx = road.tx;
    mat.put("BitInCodIn", tx.BitInCodIn);
    mat.put("CodOutInterIn", tx.CodOutInterIn);
    mat.put("InterOutMapIn", tx.InterOutMapIn);
    mat.put("MapOutMultiplexIn", tx.MapOutMultiplexIn);
    mat.put("ComplexPSKSymbols", tx.ComplexPSKSymbols);
    mat.put("ModConstellation", tx.ModConstellation);
    mat.put("ProbeInfo", tx.ProbeInfo);
    mat.put("MultiplexOut", tx.MultiplexOut);

    // pulseshaper
    mat.put("pulseshaper_filter", road.shaped.filter);
    mat.put("pulseshaper_out", road.shaped.out);

    // the channel of paths (fadesim's fields), or the white noise alone
    if (options.channel != "none") {
        if (options.channel != "awgn") {
            const PathExtent extent = path_extent(road_config(options).channel.fading);
            mat.put("raios", road.faded.raios);
            mat.put("RER", extent.delay);
            mat.put("ED", extent.spread);
            mat.put("WattersonOutAwgnIn", road.faded.WattersonOutAwgnIn);
        }
        mat.put("noise", road.faded.noise);
        mat.put("AwgnOut", road.faded.AwgnOut);
    }

    // the receiver
    mat.put("pulsematch_filter", road.matched.filter);
    mat.put("pulsematch_filterDelay", road.matched.filterDelay);
    mat.put("pulsematch_out", road.matched.out);
    mat.put("framelock_out", road.frameStart);
    mat.put("expectedFrameStart", road.expectedFrameStart);
    mat.put("tickalign_out", road.symbols.out);
    mat.put("unframer_out", road.data.out);
    mat.put("DemodOutDemapIn", road.demod.DemodOutDemapIn);
    mat.put("DemapOut", road.demod.DemapOut);
    mat.put("unshuffle_out", road.deinterleaved.out);
    mat.put("codedBits", static_cast<double>(road.codedBits));
    mat.put("codedBitErrors", static_cast<double>(road.codedBitErrors));
}

// The HF receiver's frequency offset and start, its channel estimates and equalised symbols,
// the genie's view.
void save_receiver_states(MatWriter& mat, const ModeParams& mode, const RoadResult& road) {
    if (!road.locked.out.empty()) {
        const FreqlockOut& f = road.locked;
        mat.write(StructVar("freqlock", {std::begin(kFreqlockFields), std::end(kFreqlockFields)})
                      .set("start", f.start)
                      .set("offset", f.offset)
                      .set("coarseOffset", f.coarseOffset)
                      .set("coarseStart", f.coarseStart)
                      .set("out", f.out)
                      .take());
    }
    if (road.hf.ran) {
        const ChansoundOut& c = road.sounding;
        mat.write(StructVar("chansound", {std::begin(kChansoundFields), std::end(kChansoundFields)})
                      .set("start", c.start)
                      .set("delays", c.delays)
                      .set("basis", c.basis)
                      .set("out", c.out)
                      .set("gains", c.gains)
                      .set("gainVar", c.gainVar)
                      .set("pathPower", c.pathPower)
                      .set("windowGains", c.windowGains)
                      .set("windowVar", c.windowVar)
                      .set("windowTime", c.windowTime)
                      .set("noiseVar", c.noiseVar)
                      .set("doppler", c.doppler)
                      .set("frames", c.frames)
                      .set("profile", c.profile)
                      .set("profileStart", c.profileStart)
                      .take());
        if (uses_patterns(mode)) {
            // No probes to equalise with: the pattern detector's ratios and track instead.
            const PatterntrackOut& p = road.patterns;
            mat.write(StructVar("patterntrack",
                                {std::begin(kPatterntrackFields), std::end(kPatterntrackFields)})
                          .set("LLR", p.LLR)
                          .set("noncoherentLLR", p.noncoherentLLR)
                          .set("out", p.out)
                          .set("noiseVar", p.noiseVar)
                          .set("gains", p.gains)
                          .set("gainVar", p.gainVar)
                          .set("doppler", p.doppler)
                          .set("passes", p.passes)
                          .take());
        } else {
            const TurboequalOut& t = road.equalised;
            mat.write(StructVar("turboequal",
                                {std::begin(kTurboequalFields), std::end(kTurboequalFields)})
                          .set("out", t.out)
                          .set("noiseVar", t.noiseVar)
                          .set("gains", t.gains)
                          .set("gainVar", t.gainVar)
                          .set("doppler", t.doppler)
                          .set("passes", t.passes)
                          .take());
        }
    }
    if (road.genie.ran) {
        const GeniecombineOut& g = road.genieView;
        mat.write(StructVar("geniecombine",
                            {std::begin(kGeniecombineFields), std::end(kGeniecombineFields)})
                      .set("out", g.out)
                      .set("noiseVar", g.noiseVar)
                      .set("gain", g.gain)
                      .take());
    }
}

// Each decoding receiver's soft values, decoded bits and counts, under its name.
void save_receptions(MatWriter& mat, const RunOptions& options, const RoadResult& road) {
    for (const ReceiverKind kind : road_config(options).receivers) {
        const Reception& r = road.reception(kind);
        const std::string p = std::string(sweep::receiver_name(kind)) + "_";
        auto name = [&p](const char* field) { return p + field; };
        if (r.ran) {
            mat.put(name("symbols").c_str(), r.symbols);
            mat.put(name("noiseVar").c_str(), r.noiseVar);
            mat.put(name("LLR").c_str(), r.soft.LLR);
            mat.put(name("unshuffle_LLR").c_str(), r.deinterleaved.out);
            mat.put(name("DecodOut").c_str(), r.decoded.DecodOut);
            mat.put(name("InfoBits").c_str(), r.decoded.InfoBits);
        }
        mat.put(name("codedBitErrors").c_str(), static_cast<double>(r.codedBitErrors));
        mat.put(name("infoBits").c_str(), static_cast<double>(r.infoBits));
        mat.put(name("infoBitErrors").c_str(), static_cast<double>(r.infoBitErrors));
        mat.put(name("blocks").c_str(), static_cast<double>(r.blocks));
        mat.put(name("blockErrors").c_str(), static_cast<double>(r.blockErrors));
    }
}

}  // namespace

void save_road_mat(const std::string& file, const RunOptions& options, const ModeParams& mode,
                   const RoadResult& road) {
    MatWriter mat(file);
    save_inputs(mat, options, mode);
    save_signals(mat, options, road);
    save_receiver_states(mat, mode, road);
    save_receptions(mat, options, road);
    mat.close();
}

}  // namespace hfchain::app
