// The sweep's progress report on stderr: a bar with the time left when stderr is a terminal,
// one plain line per finished point otherwise.
//
// The engine's fraction done is an estimate that is revised as points show their error rates (a
// point that stops early at its error count, or one that needs the bit limit where it was expected
// to stop early): taken as it comes, the bar would leap forward and fall back. The report keeps
// instead an estimate of the whole sweep's time, moved towards each new one (elapsed / fraction)
// by a share that grows with the time since the last, so that a revision is spread over a tenth of
// the time elapsed; the bar shows the time elapsed over that estimate, never going back.
#pragma once

#include <cstdio>

#include "sweep/engine.hpp"

namespace hfchain::app {

class ProgressReport {
public:
    // `terminal`: draw the bar (redrawn in place); otherwise print lines. `out` is normally
    // stderr.
    ProgressReport(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

    void update(const sweep::SweepProgress& p);

    // Ends the bar's line.
    void finish();

    // The fraction the bar shows after the last update, 0..1.
    double shown() const { return shown_; }

private:
    // Moves the estimate of the whole time towards the one `p` gives; updates shown_.
    void follow(const sweep::SweepProgress& p);

    std::FILE* out_;
    bool terminal_;
    bool drawn_ = false;
    double last_draw_ = -1;  // elapsed seconds at the last redraw
    double total_ = 0;       // estimated seconds of the whole sweep (0: none yet)
    double seen_ = 0;        // elapsed seconds at the last update
    double shown_ = 0;       // the fraction the bar shows
};

// "1:05" or "1:02:03".
void format_duration(double seconds, char* buf, std::size_t size);

}  // namespace hfchain::app
