// Conversion of the structures that several plug-ins share, in one place and both ways: `mode`
// (written by modeconf, read by sendchain, framelock, unframer, symslicer and unshuffle),
// `varShapping`, `varWatterson` and the soft rule. Every reader checks the same field list with the
// same bounds.
#pragma once

#include <string>

#include "params/modeconf.hpp"
#include "plugins/gateway.hpp"
#include "receiver/softdemod/softdemap.hpp"
#include "shaping/varshapping.hpp"

namespace hfchain::gateway {

// Field bounds of `mode`: interTable any x 1, chSymMapping up to 32 x 8, preamSync 1 x any,
// probe up to 20 x 2, the six others scalars.
inline constexpr Shape kChSymMappingShape{upto(32), upto(8)};
inline constexpr Shape kProbeShape{upto(20), upto(2)};

inline ModeParams read_mode_params(const mxArray* a, const char* name = "milstd") {
    const StructReader s(a, name, kModeParamsFields);
    ModeParams m;
    m.rate = s.scalar("rate");
    m.interl = s.scalar("interl");
    m.interTable = s.real("interTable", kColumn);
    m.chSymMapping = s.real("chSymMapping", kChSymMappingShape);
    m.bitsToSym = s.scalar("bitsToSym");
    m.repFactor = s.scalar("repFactor");
    m.preamSync = s.real("preamSync", kRow);
    m.trein = s.scalar("trein");
    m.data = s.scalar("data");
    m.probe = s.real("probe", kProbeShape);
    return m;
}

inline mxArray* mode_params_to_host(const ModeParams& m) {
    return make_struct(kModeParamsFields,
                       {to_host(m.rate), to_host(m.interl), to_host(m.interTable),
                        to_host(m.chSymMapping), to_host(m.bitsToSym), to_host(m.repFactor),
                        to_host(m.preamSync), to_host(m.trein), to_host(m.data), to_host(m.probe)});
}

inline VarShapping read_varShapping(const mxArray* a) {
    const StructReader s(a, "varShapping", kVarShappingFields);
    VarShapping v;
    v.rolloffFactor = s.scalar("rolloffFactor");
    v.pulseDelay = s.scalar("pulseDelay");
    v.oversamplingFactor = s.scalar("oversamplingFactor");
    return v;
}

// The soft rule by the name the host gives it ("max_log", "exact"), as in Python. A name that is
// neither raises "hfchain:<plugin>:Rule".
inline SoftRule read_soft_rule(const mxArray* a, const std::string& plugin) {
    const std::string text = read_text(a, "rule", 16);
    if (text == "max_log") return SoftRule::max_log;
    if (text == "exact") return SoftRule::exact;
    raise("hfchain:" + plugin + ":Rule",
          "rule must be \"max_log\" or \"exact\"; it is \"" + text + "\".");
}

}  // namespace hfchain::gateway
