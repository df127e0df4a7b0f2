// The element checks every block refuses bad inputs with: the first offending element, named in
// the host's 1-based column-major count, with its value and the caller's rule.
#include "runtime/checks.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "tests/receiver/expect_error.hpp"

namespace hfchain {
namespace {

using testing::expect_error;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(ElementChecks, NameTheFirstOffendingElementItsValueAndTheRule) {
    struct Case {
        const char* name;
        std::function<void()> call;
        const char* message;  // the whole message, or "" for no error
    };
    RealArray real(2, 3);
    real(1, 1) = -kInf;  // element 4
    real(0, 2) = kNaN;   // element 5
    ComplexArray complex(3);
    complex[1] = {2, kNaN};
    complex[2] = {1e300, -1e300};
    const RealArray sure{1, kInf, -kInf, 0};
    const RealArray tail{1, 2, 3, 4, kNaN};
    const RealArray tail3{1, 2, 3, 4, 5, 6, -kInf};
    ComplexArray deep(2001);
    deep[1000] = {0, -2e30};
    const Case cases[] = {
        {"real", [&] { check_finite(real, "x", "id:x", "x must be finite."); },
         "x(4) is -Inf: x must be finite."},
        {"complex", [&] { check_finite(complex, "z", "id:z", "z must be finite."); },
         "z(2) is 2 + NaNi: z must be finite."},
        {"scalar", [&] { check_finite(kInf, "s.v", "id:s", "s.v must be finite."); },
         "s.v is Inf: s.v must be finite."},
        {"NaN only", [&] { check_not_nan(real, "x", "id:x", "no NaN."); }, "x(5) is NaN: no NaN."},
        {"infinities pass", [&] { check_not_nan(sure, "x", "id:x", "no NaN."); }, ""},
        {"magnitude", [&] { check_magnitude(complex, 1e30, "z", "id:z", "small."); },
         "z(3) is 1e+300 - 1e+300i: small."},
        {"magnitude of reals", [&] { check_magnitude(sure, 1e30, "x", "id:x", "small."); },
         "x(2) is Inf: small."},
        {"at the bound",
         [&] {
             check_magnitude(RealArray{-1e30, 1e30}, 1e30, "x", "id", ".");
         },
         ""},
        {"empty", [&] { check_finite(RealArray(0), "x", "id", "."); }, ""},
        // The checks scan two values at a time before they look for the culprit: a bad value
        // in the odd last element, deep in a long array, or a NaN that only the finiteness
        // check refuses.
        {"odd last", [&] { check_finite(tail, "x", "id:x", "."); }, "x(5) is NaN: ."},
        {"last of three", [&] { check_finite(tail3, "x", "id:x", "."); }, "x(7) is -Inf: ."},
        {"deep", [&] { check_magnitude(deep, 1e30, "z", "id:z", "."); },
         "z(1001) is 0 - 2e+30i: ."},
        {"deep finite", [&] { check_finite(deep, "z", "id:z", "."); }, ""},
        {"NaN within magnitude", [&] { check_magnitude(complex, 1e301, "z", "id:z", "."); }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.message).empty()) {
            EXPECT_NO_THROW(c.call());
            continue;
        }
        try {
            c.call();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.message()), c.message);
            EXPECT_EQ(e.identifier().substr(0, 3), "id:");
        }
    }
}

}  // namespace
}  // namespace hfchain
