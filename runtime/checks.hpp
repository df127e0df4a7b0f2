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

namespace detail {
// check_index's refusal (and its full check).
index_t check_index_refuse(double index, index_t n, const char* name);
}  // namespace detail

// A 1-based index given as a double: must be a finite whole number within 1..n.
// Returns the 0-based position. The good case is inline: the interleavers check every index.
inline index_t check_index(double index, index_t n, const char* name) {
    // Within 1..n (NaN is not) the conversion is exact for a whole number and defined for any.
    if (index >= 1 && index <= n && static_cast<double>(static_cast<index_t>(index)) == index) {
        return static_cast<index_t>(index) - 1;
    }
    return detail::check_index_refuse(index, n, name);
}

// A 1-based index given as an integer: must lie within 1..n. Returns the 0-based position.
index_t check_index(index_t index, index_t n, const char* name);

// A count of passes or iterations given as a double: a whole number from 0 to `most`; anything
// else raises `identifier` with "<name> = <value> must be a whole number from 0 to <most>.".
index_t check_whole_count(double value, index_t most, const char* name, const char* identifier);

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

// Text of a complex value for error messages: "1 - 2i", "NaN + 0i".
std::string format_value(cdouble value);

// A count and its noun in the number the count asks for: "1 pass", "3 passes", "0.5 blocks".
std::string counted(double count, const std::string& one, const std::string& many);

// Element checks. Every block refuses a bad element of an input array the same way: the first
// offending element k (0-based, column-major, the host's order) raises `identifier` with the
// message "<name>(<k + 1>) is <value>: <rule>", so that the caller learns which variable, which
// element and which rule. `rule` is a full sentence ("received symbols must be finite.").
[[noreturn]] void raise_element(const char* identifier, const char* name, index_t k,
                                const std::string& value, const char* rule);

// The first element of `values` for which bad(value) holds is refused as above.
template <class T, class Bad>
void check_each(const Array<T>& values, const char* name, const char* identifier, const char* rule,
                Bad bad) {
    for (index_t k = 0; k < values.numel(); ++k) {
        if (bad(values[k])) raise_element(identifier, name, k, format_value(values[k]), rule);
    }
}

// No NaN and no infinity (in either part of a complex value): the one rule by which every
// block refuses non-finite inputs.
void check_finite(const RealArray& values, const char* name, const char* identifier,
                  const char* rule);
void check_finite(const ComplexArray& values, const char* name, const char* identifier,
                  const char* rule);
// The same for a scalar: "<name> is <value>: <rule>".
void check_finite(double value, const char* name, const char* identifier, const char* rule);

// No NaN; infinities pass (an infinite log-likelihood ratio is a sure bit).
void check_not_nan(const RealArray& values, const char* name, const char* identifier,
                   const char* rule);

// No magnitude beyond `largest` (either part of a complex value); NaN passes, so check it first.
// For blocks that square and sum their inputs and would otherwise overflow into Inf and NaN.
void check_magnitude(const RealArray& values, double largest, const char* name,
                     const char* identifier, const char* rule);
void check_magnitude(const ComplexArray& values, double largest, const char* name,
                     const char* identifier, const char* rule);

// Finite and within +-largest (either part of a complex value): check_finite with `finite_id`
// and `finite_rule`, then check_magnitude with `large_id` and `large_rule`, in one scan when every
// value passes. For the signals a block squares and sums.
void check_bounded(const ComplexArray& values, double largest, const char* name,
                   const char* finite_id, const char* finite_rule, const char* large_id,
                   const char* large_rule);

// Whether every value (both parts of a complex one) lies within +-largest, NaN not: one
// vectorised scan, so that a block that checks finiteness and magnitude of the same array can
// skip both checks when it holds (and run them, for their errors, when it does not).
bool all_within(const RealArray& values, double largest);
bool all_within(const ComplexArray& values, double largest);

}  // namespace hfchain
