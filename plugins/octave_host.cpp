#include "plugins/octave_host.hpp"

#include <mex.h>
#include <quit.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "plugins/gateway.hpp"

namespace hfchain {

namespace {

using gateway::MxPtr;

class OctaveSettings final : public RngSettings {
public:
    explicit OctaveSettings(MxPtr settings) : settings_(std::move(settings)) {}
    mxArray* get() const { return settings_.get(); }

private:
    MxPtr settings_;
};

// Holds back a pending Ctrl-C while the generator is being switched, so that seeding and
// restoring are never left half done; the interrupt is seen at the block's next poll, or by
// Octave as soon as the plug-in returns.
class DeferInterrupts {
public:
    DeferInterrupts() : pending_(octave_signal_caught) { octave_signal_caught = 0; }
    DeferInterrupts(const DeferInterrupts&) = delete;
    DeferInterrupts& operator=(const DeferInterrupts&) = delete;
    ~DeferInterrupts() {
        if (pending_ != 0 || octave_interrupt_state > 0) octave_signal_caught = 1;
    }

private:
    sig_atomic_t pending_;
};

// A draw must come back as a real double array of the requested size; anything else (a user's
// own rand.m shadowing Octave's, say) is refused rather than read past its end.
RealArray copy_draw(MxPtr draw, index_t rows, index_t cols, const char* function) {
    const mxArray* a = draw.get();
    if (a == nullptr || !mxIsDouble(a) || mxIsComplex(a) || mxIsSparse(a) ||
        mxGetNumberOfDimensions(a) != 2 || mxGetM(a) != static_cast<std::size_t>(rows) ||
        mxGetN(a) != static_cast<std::size_t>(cols)) {
        raise("hfchain:host:BadDraw", std::string("Octave's '") + function +
                                          "' did not return a real double array of size " +
                                          std::to_string(rows) + " x " + std::to_string(cols) +
                                          ".");
    }
    RealArray out = cols == 1 ? RealArray(rows) : RealArray(rows, cols);
    if (!out.empty()) std::memcpy(out.data(), mxGetPr(a), sizeof(double) * out.numel());
    return out;
}

MxPtr call_draw(const char* function, index_t rows, index_t cols) {
    MxPtr args[2] = {MxPtr(mxCreateDoubleScalar(rows)), MxPtr(mxCreateDoubleScalar(cols))};
    mxArray* in[2] = {args[0].get(), args[1].get()};
    mxArray* out[1] = {nullptr};
    mexCallMATLAB(1, out, 2, in, function);
    return MxPtr(out[0]);
}

}  // namespace

std::unique_ptr<RngSettings> OctaveHost::seed_twister(double seed) {
    check_seed(seed);
    MxPtr args[2] = {MxPtr(mxCreateDoubleScalar(seed)), MxPtr(mxCreateString("twister"))};
    mxArray* in[2] = {args[0].get(), args[1].get()};
    mxArray* out[1] = {nullptr};
    {
        DeferInterrupts defer;
        mexCallMATLAB(1, out, 2, in, "rng");
    }
    return std::make_unique<OctaveSettings>(MxPtr(out[0]));
}

void OctaveHost::restore(const RngSettings& settings) {
    const auto* own = dynamic_cast<const OctaveSettings*>(&settings);
    if (own == nullptr || own->get() == nullptr) {
        raise("hfchain:host:ForeignSettings", "These generator settings do not come from Octave.");
    }
    mxArray* in[1] = {own->get()};
    DeferInterrupts defer;
    mexCallMATLAB(0, nullptr, 1, in, "rng");
}

RealArray OctaveHost::rand(index_t n) {
    n = std::max<index_t>(n, 0);
    return copy_draw(call_draw("rand", n, 1), n, 1, "rand");
}

RealArray OctaveHost::randn(index_t rows, index_t cols) {
    rows = std::max<index_t>(rows, 0);
    cols = std::max<index_t>(cols, 0);
    return copy_draw(call_draw("randn", rows, cols), rows, cols, "randn");
}

void OctaveHost::poll_interrupt() { octave_quit(); }

}  // namespace hfchain
