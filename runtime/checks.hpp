// Run-time checks that guard every index, count and size a block computes.
//
// A failed check abandons the whole block call with an hfchain::Error. Checks with an identifier
// fixed by the host's conventions use it (for example "Coder:MATLAB:NonIntegerInput" for a size
// argument that is not a whole number); index, integer, sign and size-agreement failures carry
// the project's own identifiers and a message with the facts: the variable's name, the offending
// value and the bound.
#pragma once

#include <string>

#include "runtime/array.hpp"

namespace hfchain {

// A 1-based index given as a double: must be a finite whole number within 1..n.
// Returns the 0-based position.
index_t check_index(double index, index_t n, const char* name);

// A 1-based index given as an integer: must lie within 1..n. Returns the 0-based position.
index_t check_index(index_t index, index_t n, const char* name);

// A double used as an index or count must be a finite whole number that fits 32 bits.
index_t check_integer(double value, const char* name);

// A count must not be negative.
index_t check_nonnegative(index_t value, const char* name);

// A parameter that must be above zero (a sampling factor, say); NaN fails too.
void check_positive(double value, const char* name);

// A size argument (of zeros, reshape ...): finite and whole ("Coder:MATLAB:NonIntegerInput"),
// at most 2147483647 ("Coder:MATLAB:pmaxsize"); a negative size means an empty dimension, as on
// the host.
index_t check_size_argument(double value);

// Two extents that must agree (element-wise operations, concatenation, sub-assignment).
void check_size_equal(index_t expected, index_t actual, const char* name);

// A counted loop whose upper bound is the largest 32-bit integer would never terminate.
void check_loop_bound(index_t upper);

// Text of a double for error messages (shortest exact round-trip form).
std::string format_value(double value);

}  // namespace hfchain
