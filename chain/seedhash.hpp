// The hashes that turn (base seed, condition, point, trial) into the seeds of a trial, shared by
// the sweep and the HF receiver's measurement so that both derive their streams alike.
#pragma once

#include <cstdint>
#include <string>

namespace hfchain {

// The SplitMix64 finaliser.
inline std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    x ^= x >> 31;
    return x;
}

// The 64-bit FNV-1a hash of a name.
inline std::uint64_t fnv1a64(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

}  // namespace hfchain
