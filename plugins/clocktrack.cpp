// clocktrack(received, varShapping, varClocktrack) -> {ppm, residual, centre, timing, weight}
//
// varClocktrack: first (0-based sample where the transmission starts), count (samples from there;
// 0: to the end), window (symbols a timing window).
#include "receiver/clocktrack/clocktrack.hpp"

#include "plugins/octave_host.hpp"
#include "plugins/structs.hpp"

namespace {

inline constexpr const char* kVarClocktrackFields[] = {"first", "count", "window"};
inline constexpr const char* kClocktrackFields[] = {"ppm", "residual", "centre", "timing",
                                                    "weight"};

hfchain::VarClocktrack read_varClocktrack(const mxArray* a) {
    const hfchain::gateway::StructReader s(a, "varClocktrack", kVarClocktrackFields);
    return {.first = s.scalar("first"), .count = s.scalar("count"), .window = s.scalar("window")};
}

struct Clocktrack {
    static constexpr const char* kName = "clocktrack";
    static constexpr const char* kInputs[] = {"received", "varShapping", "varClocktrack"};

    static mxArray* call(const mxArray* const in[]) {
        using namespace hfchain::gateway;
        const hfchain::ComplexArray received = read_complex(in[0], "received", kColumn);
        const hfchain::VarShapping varShapping = read_varShapping(in[1]);
        const hfchain::VarClocktrack varClocktrack = read_varClocktrack(in[2]);
        hfchain::OctaveHost host;  // for Ctrl-C polls only: clocktrack draws no numbers
        const hfchain::ClocktrackOut r =
            hfchain::clocktrack(received, varShapping, varClocktrack, host);
        return make_struct(kClocktrackFields,
                           {to_host(r.ppm), to_host(r.residual), to_host(r.centre),
                            to_host(r.timing), to_host(r.weight)});
    }
};

}  // namespace

HFCHAIN_MEX_PLUGIN(clocktrack, Clocktrack)
