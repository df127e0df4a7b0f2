#include "params/modeconf.hpp"

#include "params/rateconf.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

ModeParams modeconf(double interLen) {
    // Interleaver index: exact comparison with the two accepted lengths; no match leaves it empty
    // and the first table lookup fails.
    if (interLen != 0.6 && interLen != 4.8) {
        raise(errid::kIndexOutOfBounds,
              "Index into 'numRow' is out of bounds: the interleaver length " +
                  format_value(interLen) + " s is not one of 0.6 and 4.8.");
    }
    return rateconf(2400, interLen);
}

}  // namespace hfchain
