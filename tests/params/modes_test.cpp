#include "params/modes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "params/rateconf.hpp"
#include "runtime/checks.hpp"

namespace hfchain {
namespace {

// Each row of the table against the parameter set rateconf builds for it: what the frames and
// blocks hold, and the lookups and predicates.
TEST(Modes, EveryRowDescribesTheSetRateconfBuilds) {
    for (const Mode& row : kModes) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.name,
                  format_value(row.rate) + " bit/s, " + format_value(row.interLen) + " s");
        const ModeParams m = rateconf(row.rate, row.interLen);
        EXPECT_EQ(m.bitsToSym, row.bitsToSym);
        EXPECT_EQ(m.repFactor, row.repFactor);
        EXPECT_EQ(m.data, row.data);
        EXPECT_EQ(m.trein, row.trein);
        EXPECT_EQ(m.interTable.numel(), row.block_bits());
        // A block holds interLen seconds of the bits the mode sends.
        const double sent = row.interLen * row.rate * (row.coded ? 2 : 1) * row.repFactor;
        EXPECT_EQ(row.block_bits(), std::round(sent));
        EXPECT_EQ(row.patterns, row.trein == 0);

        EXPECT_EQ(find_mode(m), &row);
        EXPECT_EQ(&mode_of(row.rate, row.interLen), &row);
        EXPECT_EQ(is_uncoded(m), !row.coded);
        EXPECT_EQ(uses_patterns(m), row.patterns);
    }
}

// Seven rates with two interleavers each, but uncoded 4800 bit/s only with 0.6 s; a setting
// outside the table has no mode and is asked about as a coded rate with probes.
TEST(Modes, EveryRateAndInterleaverOnceAndNothingElse) {
    std::set<std::pair<double, double>> settings;
    for (const Mode& row : kModes) settings.insert({row.rate, row.interLen});
    EXPECT_EQ(settings.size(), std::size(kModes));
    for (const double rate : kDataRates) {
        for (const double interLen : kInterleaverLengths) {
            const bool exists = !(is_uncoded(rate) && interLen == 4.8);
            EXPECT_EQ(settings.count({rate, interLen}), exists ? 1U : 0U)
                << rate << ", " << interLen;
        }
    }
    EXPECT_EQ(find_mode(2400, 1.2), nullptr);
    EXPECT_EQ(find_mode(4800, 4.8), nullptr);
    for (const double rate : {1000.0, 0.0, std::nan("")}) {
        EXPECT_FALSE(is_uncoded(rate)) << rate;
        EXPECT_FALSE(uses_patterns(rate)) << rate;
    }
}

}  // namespace
}  // namespace hfchain
