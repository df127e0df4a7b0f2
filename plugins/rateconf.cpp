// rateconf(rate, interLen) -> mode
#include "params/rateconf.hpp"

#include "plugins/structs.hpp"

namespace {

struct Rateconf {
    static constexpr const char* kName = "rateconf";
    static constexpr const char* kInputs[] = {"rate", "interLen"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const double rate = read_scalar(in[0], "rate");
        const double interLen = read_scalar(in[1], "interLen");
        return mode_params_to_host(hfchain::rateconf(rate, interLen));
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(rateconf, Rateconf)
