#include "receiver/softdemod/softslicer.hpp"

#include <cmath>
#include <string>

#include "params/modes.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

namespace {

// Input checks, in the order the header gives them; returns b.
int check_inputs(const ComplexArray& DemodulatorIn, const RealArray& noiseVar,
                 const ModeParams& mode) {
    if (uses_patterns(mode)) {
        raise("hfchain:softslicer:Rate75",
              "The 75 bit/s mode sends each value as a 32-symbol channel pattern, not as one "
              "Gray-mapped point: softslicer has no soft decisions for it.");
    }
    const double b = mode.bitsToSym;
    if (b != 1.0 && b != 2.0 && b != 3.0) {
        raise("hfchain:softslicer:BitsToSym",
              "softslicer demaps 1, 2 or 3 bits a symbol; milstd.bitsToSym is " + format_value(b) +
                  ".");
    }
    const index_t N = DemodulatorIn.numel();
    if (noiseVar.numel() != 1 && noiseVar.numel() != N) {
        raise("hfchain:softslicer:NoiseVarSize",
              "noiseVar must hold one value for all symbols or one per symbol (" +
                  std::to_string(N) + "); it holds " + std::to_string(noiseVar.numel()) + ".");
    }
    check_each(noiseVar, "noiseVar", "hfchain:softslicer:NoiseVar",
               "a noise variance must be positive (+Inf marks an erased symbol).",
               [](double v) { return !(v > 0.0); });
    check_finite(DemodulatorIn, "DemodulatorIn", "hfchain:softslicer:NonFinite",
                 "received symbols must be finite.");
    return static_cast<int>(b);
}

}  // namespace

SoftslicerOut softslicer(const ComplexArray& DemodulatorIn, const RealArray& noiseVar,
                         const ModeParams& mode, SoftRule rule) {
    const int b = check_inputs(DemodulatorIn, noiseVar, mode);
    const index_t N = DemodulatorIn.numel();
    SoftslicerOut out;
    out.LLR = RealArray(checked_size_product(b, N));
    soft_demap(constellation(b), rule, N, DemodulatorIn.data(), noiseVar.data(),
               noiseVar.numel() == 1 ? 0 : 1, nullptr, out.LLR.data());
    return out;
}

}  // namespace hfchain
