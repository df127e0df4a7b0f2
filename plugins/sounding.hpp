// chansound's result both ways, for the two plug-ins that meet it: chansound writes it and
// turboequal takes it back as its `sounding`.
#pragma once

#include "plugins/structs.hpp"
#include "receiver/chansound/chansound.hpp"

namespace hfchain::gateway {

inline mxArray* chansound_to_host(const ChansoundOut& r) {
    return make_struct(
        kChansoundFields,
        {to_host(r.start), to_host(r.delays), to_host(r.basis), to_host(r.out), to_host(r.gains),
         to_host(r.gainVar), to_host(r.pathPower), to_host(r.windowGains), to_host(r.windowVar),
         to_host(r.windowTime), to_host(r.noiseVar), to_host(r.doppler), to_host(r.frames),
         to_host(r.profile), to_host(r.profileStart)});
}

inline ChansoundOut read_sounding(const mxArray* a) {
    const StructReader s(a, "sounding", kChansoundFields);
    auto complex_field = [&](const char* f, Shape shape) {
        return read_complex(s.field(f), s.path(f), shape);
    };
    ChansoundOut c;
    c.start = s.scalar("start");
    c.delays = s.real("delays", kColumn);
    c.basis = complex_field("basis", kMatrix);
    c.out = complex_field("out", kColumn);
    c.gains = complex_field("gains", kMatrix);
    c.gainVar = s.real("gainVar", kMatrix);
    c.pathPower = s.real("pathPower", kColumn);
    c.windowGains = complex_field("windowGains", kMatrix);
    c.windowVar = s.real("windowVar", kMatrix);
    c.windowTime = s.real("windowTime", kColumn);
    c.noiseVar = s.scalar("noiseVar");
    c.doppler = s.scalar("doppler");
    c.frames = s.scalar("frames");
    c.profile = s.real("profile", kColumn);
    c.profileStart = s.scalar("profileStart");
    return c;
}

}  // namespace hfchain::gateway
