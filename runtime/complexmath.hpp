// Complex products written out. The library's operator* guards against infinities with a slow
// call on every NaN result; the receiver's inner loops only ever see finite values.
#pragma once

#include "runtime/array.hpp"

namespace hfchain {

// a b
inline cdouble cmul(cdouble a, cdouble b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// conj(a) b
inline cdouble cmulc(cdouble a, cdouble b) {
    return {a.real() * b.real() + a.imag() * b.imag(), a.real() * b.imag() - a.imag() * b.real()};
}

// |a|^2
inline double norm2(cdouble a) { return a.real() * a.real() + a.imag() * a.imag(); }

}  // namespace hfchain
