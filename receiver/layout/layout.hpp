// Where the symbols of a transmission sit, and which of them a receiver knows in advance.
//
// A transmission is the preamble, then frames of `data` data symbols followed by `trein` probe
// symbols (trein may be 0: frames without probes). The data scrambling sequence starts on the
// first frame symbol and runs on across frames and interleaver blocks. Probes are scrambled
// zeros, except in the last two frames of each interleaver block, whose probes carry the two
// `probe` columns: these closing probes tell a receiver where a block ends. An interleaver
// block of T coded bits fills T / (b data) frames at b bits a symbol.
//
// Everything here follows from the parameter set alone; the channel sounder, the equaliser and
// the genie read the same layout and the same known symbols.
#pragma once

#include "params/modeconf.hpp"
#include "runtime/array.hpp"

namespace hfchain {

struct Layout {
    index_t preamble = 0;        // preamble symbols (columns of preamSync)
    index_t data = 0;            // data symbols a frame
    index_t trein = 0;           // probe symbols a frame, after the data (0: no probes)
    index_t frames = 0;          // frames after the preamble
    index_t symbols = 0;         // preamble + frames (data + trein)
    index_t framesPerBlock = 0;  // frames an interleaver block fills (0: less than one)

    index_t frame() const { return data + trein; }
    index_t dataSymbols() const { return frames * data; }
    // Transmission index (0-based) of data symbol k (0-based, frames in order).
    index_t dataIndex(index_t k) const { return preamble + (k / data) * frame() + k % data; }
    // Transmission index of the first symbol of frame f.
    index_t frameStart(index_t f) const { return preamble + f * frame(); }
    // The `probe` column (0 or 1) that the probes of frame f carry: the last two frames of each
    // interleaver block close it; -1 for every other frame (scrambled zeros), and for every frame
    // when a block fills fewer than two.
    int closingProbe(index_t f) const;
};

// Layout of `frames` frames after the preamble of `mode`.
//   mode: reads preamSync, data, trein, bitsToSym and interTable.
//   frames: at least 0.
// Errors: data not a whole number of at least 1, trein not a whole number of at least 0 (both at
// most 2147483647), or bitsToSym other than 1, 2 or 3, "hfchain:layout:BadFrame"; frames negative,
// "hfchain:runtime:Negative"; a transmission beyond the largest element count,
// "Coder:MATLAB:pmaxsize".
Layout transmission_layout(const ModeParams& mode, index_t frames);

// The transmission as a receiver that enters at the first symbol of an interleaver block sees it:
// `mode` without its preamble. Every block starts on the data scrambler's first symbol and on a
// frame, so from there the frames, the scrambling and the closing probes lie exactly as they do
// from the first data symbol; the layout and known symbols of this parameter set describe the
// blocks from the entry on.
ModeParams entered_at_block(const ModeParams& mode);

// Whole frames after the preamble in a transmission of `symbols` symbols (0 when the preamble
// does not fit). Errors: those of transmission_layout for the frame.
index_t whole_frames(const ModeParams& mode, index_t symbols);

// The preamble's symbol numbers, which framelock, freqlock and the channel sounder correlate
// with: each a whole number from 0 to 7, else "hfchain:layout:BadPreamble" naming the element
// ("milstd.preamSync(3) is 9: ..."); NaN and infinities too, for callers that do not check them
// first.
void check_preamble_symbols(const ModeParams& mode);

// Point of every symbol a receiver knows in advance and the scrambling of every data symbol.
//   mean: symbols x 1, the scrambled preamble and probe points; 0 at data symbols.
//   var: symbols x 1, 0 at known symbols, 1 at data symbols.
//   rotation: dataSymbols x 1, exp(j pi s / 4) for the scrambling value s added to each data
//     symbol; the transmitted point is rotation times the Gray-mapped point.
// Preamble and probe values are symbol values; a probe value that is not a whole number of at
// least 0 is taken modulo 8 onto the circle (a hand-made parameter set the transmitter would
// refuse), so any finite value, however large, has a point.
// Errors: a preamSync or probe value that is NaN or infinite, "hfchain:layout:NonFinite", naming
// the element ("milstd.probe(3) is NaN: ..."); then a preamSync value outside the symbol numbers
// (check_preamble_symbols).
struct KnownSymbols {
    ComplexArray mean;
    RealArray var;
    ComplexArray rotation;
};
KnownSymbols known_symbols(const ModeParams& mode, const Layout& layout);

}  // namespace hfchain
