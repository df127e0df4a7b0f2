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

// Complex products two lanes at a time (real, imaginary), which the compiler does not do with
// cdouble. b x = (br xr - bi xi, br xi + bi xr) is lanes(b) xr + turned(b) xi, with
// turned(b) = (-bi, br) = i b: the same products and sums as cmul (negation is exact, and a sum
// of two terms does not depend on their order), so the result keeps every bit. Likewise
// conj(a) b = lanes(b) ar + conj_turned(b) ai, conj_turned(b) = (bi, -br), is cmulc.
typedef double cpair __attribute__((vector_size(16)));

inline cpair lanes(cdouble a) { return cpair{a.real(), a.imag()}; }
inline cpair turned(cdouble a) { return cpair{-a.imag(), a.real()}; }
inline cpair conj_turned(cdouble a) { return cpair{a.imag(), -a.real()}; }
inline cdouble from_lanes(cpair a) { return {a[0], a[1]}; }

// b x from lanes(b) and turned(b) (cmul(b, x)); conj(a) b from lanes(b) and conj_turned(b)
// (cmulc(a, b)).
inline cpair cmul_lanes(cpair b, cpair b_turned, cdouble x) {
    return b * x.real() + b_turned * x.imag();
}
inline cpair cmulc_lanes(cdouble a, cpair b, cpair b_conj_turned) {
    return b * a.real() + b_conj_turned * a.imag();
}

}  // namespace hfchain
