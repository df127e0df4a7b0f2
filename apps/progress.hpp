// The sweep's progress report on stderr: a bar with the time left when stderr is a terminal,
// one plain line per finished point otherwise.
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

private:
    std::FILE* out_;
    bool terminal_;
    bool drawn_ = false;
    double last_draw_ = -1;  // elapsed seconds at the last redraw
};

// "1:05" or "1:02:03".
void format_duration(double seconds, char* buf, std::size_t size);

}  // namespace hfchain::app
