#include "params/modes.hpp"

#include <string>

#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {

namespace {

std::string rate_list() {
    std::string text;
    for (std::size_t r = kDataRates.size(); r-- > 0;) {
        text += format_value(kDataRates[r]);
        text += r > 1 ? ", " : r == 1 ? " and " : "";
    }
    return text;
}

}  // namespace

const Mode& mode_of(double rate, double interLen) {
    if (find_rate(rate) == nullptr) {
        raise("hfchain:params:UnknownRate",
              "The data rate " + format_value(rate) + " bit/s is not one of " + rate_list() + ".");
    }
    if (interLen != kInterleaverLengths[0] && interLen != kInterleaverLengths[1]) {
        raise("hfchain:params:UnknownInterleaver",
              "The interleaver length " + format_value(interLen) + " s is not one of 0.6 and 4.8.");
    }
    const Mode* mode = find_mode(rate, interLen);
    if (mode == nullptr) {
        raise("hfchain:params:NoLongInterleaver",
              "The " + format_value(rate) +
                  " bit/s mode is sent uncoded and not interleaved: it exists only with the 0.6 s "
                  "setting, not with " +
                  format_value(interLen) + " s.");
    }
    return *mode;
}

}  // namespace hfchain
