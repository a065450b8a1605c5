// Range entry and timeline: the six h/m/s boxes are checked against the recording's length
// whenever one of them changes, and the range is drawn on the timeline.
#pragma once

#include <cstdint>

#include "engine/app_state.h"
#include "window/model.h"

namespace trimora {

// Connects the change and focus events of tStart and tEnd to the range check. Whoever owns a
// window model (the window, the command line, a test) calls this once.
void WireRangeEntry(WindowModel& w, AppState& st);

// Re-reads the six boxes and checks the range.
void tSE_Change(WindowModel& w, AppState& st);

void CheckRange(WindowModel& w, AppState& st, int32_t start, int32_t end);

}  // namespace trimora
