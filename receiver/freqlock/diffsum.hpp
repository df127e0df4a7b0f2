// The differential sums with which freqlock and modelock find a preamble whose frequency offset
// is unknown (freqlock.hpp describes the method), and the offset they give.
#pragma once

#include <vector>

#include "params/modeconf.hpp"
#include "runtime/array.hpp"
#include "runtime/host.hpp"

namespace hfchain {

// Segment lengths in symbols: the coarse search's S (offsets within +-kFreqlockRange tell apart)
// and the fine estimate's F (a residual within 1 / (2 F T) = 25 Hz of the coarse value).
inline constexpr index_t kCoarseSegment = 8;
inline constexpr index_t kFineSegment = 48;

// The taps of the fine estimate: those whose coarse |D| reaches this share of the largest.
inline constexpr double kPathShare = 0.25;

// The scrambled preamble points p_k of `mode`, conjugated once for all windows.
std::vector<cdouble> conjugated_preamble(const ModeParams& mode);

// The differential sums D(w) = sum over j of c_{j+1} conj(c_j), c_j = sum over the j-th segment of
// `seg` symbols of x(w + k M) p_k, over `count` whole segments against the reference p, for the
// windows w = 0 .. W - 1 of x at once (x holds W + (count seg - 1) M samples), written to D[0 ..
// W - 1]; host, when not null, is polled once a segment.
void differential_sums(const cdouble* x, index_t W, index_t M, const std::vector<cdouble>& p,
                       index_t seg, index_t count, HostServices* host, cdouble* D);

// The differential sum of the one window at x.
cdouble differential_sum(const cdouble* x, index_t M, const std::vector<cdouble>& p, index_t seg,
                         index_t count);

// The frequency offset, Hz, of a differential sum over segments of `seg` symbols: arg D / (2 pi
// seg T).
double offset_of(cdouble D, index_t seg);

// The fine estimate: `coarse` (Hz) plus the residual of the differential sums of kFineSegment
// symbols against p turned by the coarse offset, added over the windows `taps` of x (Lmf
// samples), each over as much of p as x holds after it; `coarse` itself when that sum is 0.
double fine_offset(const cdouble* x, index_t Lmf, index_t M, const std::vector<cdouble>& p,
                   double coarse, const std::vector<index_t>& taps);

}  // namespace hfchain
