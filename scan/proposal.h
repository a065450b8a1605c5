// The breaks found as the cut takes them: the programme's stretches as cut times (the --ranges
// form; ranges/list_forms.h writes the same points as an EDL of what to drop, for other tools).
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

struct Proposal {
  // From the first picture after a break to the last picture before the next one; a stretch
  // that runs to the recording's end ends at its last time marker, as a cut to the end does.
  // Stretches shorter than a second are left to the breaks around them.
  std::vector<CutSpan> programme;
};

// `found` and `pictures` on the clock's own line.
Proposal Propose(const Programme& found, const PictureSpan& pictures, const clock::RecordingClock& clock);

}  // namespace trimora::scan
