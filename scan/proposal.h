// The breaks found, as the cut and other tools take them: the programme's stretches as cut times
// (the --ranges form), and what to drop as seconds from the recording's first picture (the EDL
// form of Kodi and comskip). Both describe the same points, so that either list cuts the same.
#pragma once

#include <vector>

#include "clock/recording_clock.h"
#include "core/cut_time.h"
#include "scan/break_chains.h"

namespace trimora::scan {

struct CutSpan {
  CutTime start;
  CutTime end;
};

struct SecondsSpan {
  double from = 0;
  double to = 0;
};

struct Proposal {
  // From the first picture after a break to the last picture before the next one; a stretch
  // that runs to the recording's end ends at its last time marker, as a cut to the end does.
  // Stretches shorter than a second are left to the breaks around them.
  std::vector<CutSpan> programme;
  std::vector<SecondsSpan> dropped;  // what lies between: the breaks
};

// `found` and `pictures` on the clock's own line.
Proposal Propose(const Programme& found, const PictureSpan& pictures, const clock::RecordingClock& clock);

}  // namespace trimora::scan
