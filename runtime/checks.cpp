#include "runtime/checks.hpp"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace hfchain {

index_t check_whole_count(double value, index_t most, const char* name, const char* identifier) {
    if (!(value >= 0) || value > most || value != std::floor(value)) {
        raise(identifier, std::string(name) + " = " + format_value(value) +
                              " must be a whole number from 0 to " + std::to_string(most) + ".");
    }
    return static_cast<index_t>(value);
}

std::string counted(double count, const std::string& one, const std::string& many) {
    return format_value(count) + ' ' + (count == 1 ? one : many);
}

std::string format_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
    char buffer[32];
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
        if (std::strtod(buffer, nullptr) == value) break;
    }
    return buffer;
}

std::string format_value(cdouble value) {
    return format_value(value.real()) + (std::signbit(value.imag()) ? " - " : " + ") +
           format_value(std::fabs(value.imag())) + "i";
}

void raise_element(const char* identifier, const char* name, index_t k, const std::string& value,
                   const char* rule) {
    raise(identifier,
          std::string(name) + "(" + std::to_string(k + 1) + ") is " + value + ": " + rule);
}

namespace {

bool not_finite(double v) { return !std::isfinite(v); }
bool not_finite(cdouble v) { return !std::isfinite(v.real()) || !std::isfinite(v.imag()); }

// Whether every one of n values lies within +-largest (NaN does not): a scan without branches,
// two values a vector, so that the common case (every value good) costs a fraction of the
// element-by-element check, which then runs only to name the culprit. (The compiler does not
// vectorise the plain loop: a comparison may raise the invalid flag.)
typedef double D2 __attribute__((vector_size(16)));
typedef long long L2 __attribute__((vector_size(16)));

bool all_within(const double* v, std::size_t n, double largest) {
    const D2 limit = {largest, largest};
    const L2 magnitude_bits = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    L2 inside = {-1, -1};
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        D2 pair;
        std::memcpy(&pair, v + i, sizeof pair);
        const D2 magnitude = reinterpret_cast<D2>(reinterpret_cast<L2>(pair) & magnitude_bits);
        inside &= magnitude <= limit;
    }
    bool ok = inside[0] != 0 && inside[1] != 0;
    for (; i < n; ++i) ok = ok && std::fabs(v[i]) <= largest;
    return ok;
}

constexpr double kLargestFinite = std::numeric_limits<double>::max();

}  // namespace

bool all_within(const RealArray& values, double largest) {
    return all_within(values.data(), static_cast<std::size_t>(values.numel()), largest);
}
// The parts of a complex value lie in memory as two doubles, real first.
bool all_within(const ComplexArray& values, double largest) {
    return all_within(reinterpret_cast<const double*>(values.data()),
                      2 * static_cast<std::size_t>(values.numel()), largest);
}

void check_finite(const RealArray& values, const char* name, const char* identifier,
                  const char* rule) {
    if (all_within(values, kLargestFinite)) return;
    check_each(values, name, identifier, rule, [](double v) { return not_finite(v); });
}

void check_finite(const ComplexArray& values, const char* name, const char* identifier,
                  const char* rule) {
    if (all_within(values, kLargestFinite)) return;
    check_each(values, name, identifier, rule, [](cdouble v) { return not_finite(v); });
}

void check_finite(double value, const char* name, const char* identifier, const char* rule) {
    if (not_finite(value)) {
        raise(identifier, std::string(name) + " is " + format_value(value) + ": " + rule);
    }
}

void check_not_nan(const RealArray& values, const char* name, const char* identifier,
                   const char* rule) {
    check_each(values, name, identifier, rule, [](double v) { return std::isnan(v); });
}

void check_magnitude(const RealArray& values, double largest, const char* name,
                     const char* identifier, const char* rule) {
    if (all_within(values, largest)) return;
    check_each(values, name, identifier, rule,
               [largest](double v) { return std::fabs(v) > largest; });
}

void check_magnitude(const ComplexArray& values, double largest, const char* name,
                     const char* identifier, const char* rule) {
    if (all_within(values, largest)) return;
    check_each(values, name, identifier, rule, [largest](cdouble v) {
        return std::fabs(v.real()) > largest || std::fabs(v.imag()) > largest;
    });
}

void check_bounded(const ComplexArray& values, double largest, const char* name,
                   const char* finite_id, const char* finite_rule, const char* large_id,
                   const char* large_rule) {
    if (all_within(values, largest)) return;
    check_finite(values, name, finite_id, finite_rule);
    check_magnitude(values, largest, name, large_id, large_rule);
}

index_t checked_size_product(index_t a, index_t b) {
    if (a < 0 || b < 0) {
        raise(errid::kNegative, "Array size " + std::to_string(a) + " x " + std::to_string(b) +
                                    " has a negative extent.");
    }
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    if (product > std::numeric_limits<index_t>::max()) {
        raise(errid::kMaxSize, "Array size " + std::to_string(a) + " x " + std::to_string(b) +
                                   " exceeds the largest element count, 2147483647.");
    }
    return static_cast<index_t>(product);
}

index_t checked_size_sum(index_t a, index_t b) {
    const std::int64_t sum = static_cast<std::int64_t>(a) + b;
    if (sum > std::numeric_limits<index_t>::max()) {
        raise(errid::kMaxSize, "Array size " + std::to_string(sum) +
                                   " exceeds the largest element count, 2147483647.");
    }
    return static_cast<index_t>(sum);
}

index_t check_integer(double value, const char* name) {
    if (!std::isfinite(value) || value != std::floor(value) || value < -2147483648.0 ||
        value > 2147483647.0) {
        raise(errid::kNonInteger, std::string("Value ") + format_value(value) + " of '" + name +
                                      "' must be a finite whole number within 32 bits.");
    }
    return static_cast<index_t>(value);
}

index_t check_index(index_t index, index_t n, const char* name) {
    if (index < 1 || index > n) {
        raise(errid::kIndexOutOfBounds, std::string("Index ") + std::to_string(index) +
                                            " is out of bounds for '" + name +
                                            "' (valid range 1.." + std::to_string(n) + ").");
    }
    return index - 1;
}

index_t detail::check_index_refuse(double index, index_t n, const char* name) {
    if (!std::isfinite(index) || index != std::floor(index)) {
        raise(errid::kNonInteger, std::string("Index ") + format_value(index) + " into '" + name +
                                      "' is not a finite whole number.");
    }
    if (index < 1 || index > n) {
        raise(errid::kIndexOutOfBounds, std::string("Index ") + format_value(index) +
                                            " is out of bounds for '" + name +
                                            "' (valid range 1.." + std::to_string(n) + ").");
    }
    return static_cast<index_t>(index) - 1;
}

index_t check_nonnegative(index_t value, const char* name) {
    if (value < 0) {
        raise(errid::kNegative, std::string("Count ") + std::to_string(value) + " of '" + name +
                                    "' must not be negative.");
    }
    return value;
}

void check_positive(double value, const char* name) {
    if (!(value > 0.0)) {
        raise(errid::kNotPositive,
              std::string("Value ") + format_value(value) + " of '" + name + "' must be positive.");
    }
}

index_t check_size_argument(double value) {
    if (!std::isfinite(value) || value != std::floor(value)) {
        raise(errid::kNonIntegerSize,
              "Size argument " + format_value(value) + " must be a finite whole number.");
    }
    if (value > 2147483647.0) {
        raise(errid::kMaxSize,
              "Size argument " + format_value(value) + " exceeds the largest size, 2147483647.");
    }
    return value < 0 ? 0 : static_cast<index_t>(value);
}

void check_size_equal(index_t expected, index_t actual, const char* name) {
    if (expected != actual) {
        raise(errid::kSizeMismatch, std::string("Size mismatch in '") + name +
                                        "': " + std::to_string(actual) + " elements where " +
                                        std::to_string(expected) + " are needed.");
    }
}

void check_loop_bound(index_t upper) {
    if (upper == std::numeric_limits<index_t>::max()) {
        raise(errid::kForLoopOverflow,
              "The loop bound reaches the largest value of its class (int32): the loop would "
              "never end.");
    }
}

}  // namespace hfchain
