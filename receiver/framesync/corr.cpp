#include "receiver/framesync/corr_column.hpp"
#include "receiver/framesync/framelock.hpp"
#include "runtime/checks.hpp"

namespace hfchain {

ComplexArray corr(const ComplexArray& X, const RealArray& y) { return corrPearson(X, y); }

ComplexArray corrPearson(const ComplexArray& X, const RealArray& y) {
    const index_t m = X.rows();
    const index_t n = X.cols();
    check_size_equal(m, y.numel(), "y");
    const detail::CentredReference ref = detail::centre_reference(y.data(), m);
    ComplexArray coef(n);
    for (index_t j = 0; j < n; ++j) {
        coef[j] =
            detail::column_coefficient(X.data() + static_cast<std::ptrdiff_t>(j) * m, 1, ref, m);
    }
    return coef;
}

}  // namespace hfchain
