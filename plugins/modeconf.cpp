// modeconf(interLen) -> mode
#include "params/modeconf.hpp"

#include "plugins/structs.hpp"

namespace {

struct Modeconf {
    static constexpr const char* kName = "modeconf";
    static constexpr const char* kInputs[] = {"interLen"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const double interLen = read_scalar(in[0], "interLen");
        return mode_params_to_host(hfchain::modeconf(interLen));
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(modeconf, Modeconf)
