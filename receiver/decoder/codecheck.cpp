#include "receiver/decoder/codecheck.hpp"

#include "receiver/decoder/trellis.hpp"

namespace hfchain {

bool is_codeword(index_t N, const std::uint8_t* coded, index_t K) {
    const trellis::Tables& t = trellis::kTables;
    int state = 0;
    for (index_t n = 0; n < N; ++n) {
        const int c0 = coded[2 * n] != 0 ? 1 : 0;
        const int c1 = coded[2 * n + 1] != 0 ? 1 : 0;
        // Generator 133 taps the current input: the two inputs give the two values of its bit.
        const int u = (t.output[state][0] >> 1) == c0 ? 0 : 1;
        if ((u != 0 && n >= K) || (t.output[state][u] & 1) != c1) return false;
        state = t.next[state][u];
    }
    return true;
}

}  // namespace hfchain
