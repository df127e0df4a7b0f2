#include "runtime/array.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>
#include <utility>

#include "runtime/checks.hpp"
#include "runtime/numeric.hpp"

namespace hfchain {
namespace {

TEST(ArrayCapacity, GrowsFrom16ByDoublingWithZeroTail) {
    RealArray a;
    a.resize(1);
    EXPECT_EQ(a.capacity(), 16);
    a[0] = 7.0;
    a.resize(40);
    EXPECT_EQ(a.capacity(), 64);
    EXPECT_EQ(a[0], 7.0);  // old elements kept
    for (index_t i = 1; i < 40; ++i) EXPECT_EQ(a[i], 0.0);
    a.resize(10);  // shrinking keeps the capacity
    EXPECT_EQ(a.capacity(), 64);
}

TEST(ArrayCapacity, SizeProductOverflowIsAnError) {
    RealArray a;
    try {
        a.resize(65536, 65536);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.identifier().c_str(), "Coder:MATLAB:pmaxsize");
    }
    EXPECT_THROW(checked_size_product(-1, 3), Error);
    EXPECT_EQ(checked_size_product(46340, 46340), 2147395600);
}

TEST(ArrayLayout, ColumnMajorAndDeepCopies) {
    IntArray m(2, 3);
    for (index_t i = 0; i < 6; ++i) m[i] = i;
    EXPECT_EQ(m(1, 2), 5);
    EXPECT_EQ(m(0, 1), 2);
    IntArray copy = m;
    copy(0, 0) = 99;
    EXPECT_EQ(m(0, 0), 0);
    ComplexArray c(3);
    EXPECT_EQ(c[2], cdouble(0, 0));
    BoolArray b(4);
    EXPECT_FALSE(b[3]);
}

// A host's input lent to a block: read in place, never freed, and every copy of it owns its own
// storage, so a block that keeps or changes a value cannot reach the host's memory.
static_assert(
    std::is_same_v<decltype(*std::declval<const InputArray<double>&>()), const RealArray&>);
static_assert(
    std::is_same_v<decltype(std::declval<InputArray<cdouble>&>()->data()), const cdouble*>);
static_assert(!std::is_copy_constructible_v<InputArray<double>>);
static_assert(!std::is_copy_assignable_v<InputArray<double>>);

TEST(InputArray, BorrowedStorageIsReadInPlaceAndEveryCopyOwnsItsOwn) {
    struct Case {
        index_t rows, cols;
        int ndims;
    };
    // Heap storage that the test frees itself: a borrowed array that freed it too would be a
    // double free under the sanitizers, and an owning copy that aliased it would show below.
    for (const Case& c : {Case{6, 1, 1}, Case{2, 3, 2}, Case{1, 6, 2}}) {
        const std::unique_ptr<cdouble[]> host(new cdouble[6]);
        for (index_t i = 0; i < 6; ++i) host[i] = cdouble(i, -i);
        {
            InputArray<cdouble> in =
                InputArray<cdouble>::borrow(host.get(), c.rows, c.cols, c.ndims);
            EXPECT_TRUE(in.borrowed());
            EXPECT_FALSE(in->owns_storage());
            EXPECT_EQ(in->data(), host.get());
            EXPECT_EQ(in->rows(), c.rows);
            EXPECT_EQ(in->cols(), c.cols);
            EXPECT_EQ(in->ndims(), c.ndims);
            EXPECT_EQ((*in)(c.rows - 1, c.cols - 1), cdouble(5, -5));

            ComplexArray copy = *in;
            ComplexArray assigned(2);
            assigned = in.get();
            for (ComplexArray* a : {&copy, &assigned}) {
                EXPECT_TRUE(a->owns_storage());
                EXPECT_NE(a->data(), host.get());
                EXPECT_EQ(a->rows(), c.rows);
                EXPECT_EQ(a->cols(), c.cols);
                EXPECT_EQ(a->ndims(), c.ndims);
                (*a)[0] = cdouble(99, 0);
                a->resize(40);  // growth reallocates its own storage only
            }
            EXPECT_EQ(host[0], cdouble(0, 0));

            InputArray<cdouble> moved = std::move(in);
            EXPECT_TRUE(moved.borrowed());
            EXPECT_EQ(moved->data(), host.get());
            const ComplexArray owned = std::move(moved).to_owned();
            EXPECT_TRUE(owned.owns_storage());
            EXPECT_NE(owned.data(), host.get());
            EXPECT_EQ(owned[5], cdouble(5, -5));
        }
        for (index_t i = 0; i < 6; ++i) EXPECT_EQ(host[i], cdouble(i, -i));
    }
}

TEST(InputArray, AnOwnedInputIsHandedOnWithoutACopy) {
    RealArray a{1.0, 2.0, 3.0};
    const double* storage = a.data();
    InputArray<double> in(std::move(a));
    EXPECT_FALSE(in.borrowed());
    EXPECT_EQ(in->data(), storage);
    const RealArray owned = std::move(in).to_owned();
    EXPECT_EQ(owned.data(), storage);
    EXPECT_EQ(owned[2], 3.0);
}

struct ModRemCase {
    double x, y, mod, rem;
};

TEST(NumericRules, ModAndRemFollowTheHost) {
    const ModRemCase cases[] = {
        {-17, 72, 55, -17}, {17, 72, 17, 17},       {17, -5, -3, 2}, {-17, -5, -2, -2},
        {5, 0, 5, NAN},     {0, 8, 0, 0},           {-1, 8, 7, -1},  {7.5, 2, 1.5, 1.5},
        {1, 0.1, 0, 0},     {-0.5, 0.2, 0.1, -0.1},
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(mod(c.x, c.y), c.mod, 1e-12) << c.x << " mod " << c.y;
        if (std::isnan(c.rem)) {
            EXPECT_TRUE(std::isnan(rem(c.x, c.y)));
        } else {
            EXPECT_NEAR(rem(c.x, c.y), c.rem, 1e-12) << c.x << " rem " << c.y;
        }
    }
}

TEST(NumericRules, RoundingAndSaturation) {
    EXPECT_EQ(round_half_away(2.5), 3.0);
    EXPECT_EQ(round_half_away(-2.5), -3.0);
    EXPECT_EQ(round_half_away(0.49999999999999994), 0.0);
    EXPECT_EQ(to_int32_saturating(3e10), 2147483647);
    EXPECT_EQ(to_int32_saturating(-3e10), -2147483647 - 1);
    EXPECT_EQ(to_int32_saturating(-1.5), -2);
    EXPECT_EQ(mul_saturating(65536, 65536), 2147483647);
    EXPECT_EQ(mul_saturating(-65536, 65536), -2147483647 - 1);
    EXPECT_EQ(mul_saturating(-3, 7), -21);
}

TEST(NumericRules, FindRepmatReshape) {
    BoolArray mask{false, true, true, false, true};
    const IntArray pos = find(mask);
    ASSERT_EQ(pos.numel(), 3);
    EXPECT_EQ(pos[0], 2);
    EXPECT_EQ(pos[2], 5);
    const RealArray r = repmat(RealArray{1, 2}, 3);
    ASSERT_EQ(r.numel(), 6);
    EXPECT_EQ(r[4], 1);
    EXPECT_EQ(r[5], 2);
    const RealArray m = reshape(RealArray{1, 2, 3, 4, 5, 6}, 2, 3);
    EXPECT_EQ(m(1, 2), 6);
    try {
        reshape(RealArray{1, 2, 3}, 2, 2);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.identifier(), "Coder:MATLAB:getReshapeDims_notSameNumel");
    }
}

TEST(Checks, ReportIdentifierAndFacts) {
    struct Case {
        void (*call)();
        const char* identifier;
        const char* fragment;
    };
    const Case cases[] = {
        {[] { check_index(11.0, 10, "dados_gray"); }, "hfchain:runtime:IndexOutOfBounds",
         "Index 11 is out of bounds for 'dados_gray' (valid range 1..10)"},
        {[] { check_index(0, 10, "interTable"); }, "hfchain:runtime:IndexOutOfBounds",
         "'interTable'"},
        {[] { check_index(1.5, 10, "const"); }, "hfchain:runtime:NonInteger", "1.5"},
        {[] { check_index(NAN, 10, "const"); }, "hfchain:runtime:NonInteger", "NaN"},
        {[] { check_integer(INFINITY, "K"); }, "hfchain:runtime:NonInteger", "'K'"},
        {[] { check_nonnegative(-3, "N"); }, "hfchain:runtime:Negative", "-3"},
        {[] { check_size_argument(2.5); }, "Coder:MATLAB:NonIntegerInput", "2.5"},
        {[] { check_size_argument(3e9); }, "Coder:MATLAB:pmaxsize", "3000000000"},
        {[] { check_size_equal(4, 5, "fr_mp"); }, "hfchain:runtime:SizeMismatch", "'fr_mp'"},
        {[] { check_loop_bound(2147483647); }, "Coder:toolbox:int_forloop_overflow", "int32"},
        {[] { check_positive(0.0, "oversamplingFactor"); }, "hfchain:runtime:NotPositive",
         "Value 0 of 'oversamplingFactor' must be positive."},
        {[] { check_positive(-2.5, "M"); }, "hfchain:runtime:NotPositive", "-2.5"},
        {[] { check_positive(NAN, "M"); }, "hfchain:runtime:NotPositive", "NaN"},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << "no error for " << c.identifier;
        } catch (const Error& e) {
            EXPECT_EQ(e.identifier(), c.identifier);
            EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(check_index(10.0, 10, "x"), 9);
    EXPECT_EQ(check_size_argument(-4), 0);
    EXPECT_NO_THROW(check_positive(5e-324, "M"));
}

}  // namespace
}  // namespace hfchain
