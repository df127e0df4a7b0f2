// Interrupt polls of the blocks' long loops.
//
// Every block whose work grows with its inputs polls its host for a user interrupt
// (HostServices::poll_interrupt) between pieces of that work, so that Ctrl-C abandons a long call
// cleanly. Blocks that draw no random numbers take the host as a last argument that defaults to
// no_host(), which nobody can interrupt: C++ callers that do not care keep calling them as
// before, while the Octave plug-ins pass Octave's own host.
//
// A poll is a virtual call; loops poll once per piece of about kPollWork elementary operations, so
// polling costs nothing measurable and a pending interrupt is seen within a millisecond or so.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

// Host services of a call that no one can interrupt: poll_interrupt() does nothing, and its
// random streams refuse to serve ("hfchain:host:NoStream"): blocks that take it draw nothing.
HostServices& no_host() noexcept;

// Elementary operations (a multiply-add, a copy, a comparison) between two polls.
inline constexpr std::int64_t kPollWork = std::int64_t{1} << 16;

// Iterations per poll for a loop whose iterations each cost about `work_per_item` elementary
// operations: at least 1.
constexpr index_t items_per_poll(std::int64_t work_per_item) noexcept {
    return static_cast<index_t>(
        std::max<std::int64_t>(1, kPollWork / std::max<std::int64_t>(1, work_per_item)));
}

// Calls body(first, last) on consecutive ranges [first, last) that cover [0, n), each at most
// `chunk` long (chunk >= 1), and polls the host before each range. The body's own loop over a
// range stays free of polls, so the compiler can vectorise it.
template <class Body>
void for_each_chunk(index_t n, HostServices& host, Body&& body, index_t chunk = items_per_poll(1)) {
    for (index_t first = 0; first < n;) {
        host.poll_interrupt();
        const index_t last = n - first > chunk ? first + chunk : n;
        body(first, last);
        first = last;
    }
}

}  // namespace hfchain
