// The timeline as a control of its own: a press or a drag on it moves the nearer end of the range,
// and the parts the list keeps and the breaks found are drawn beneath its lines.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "core/cut_time.h"
#include "window/app_state.h"
#include "window/model.h"

namespace trimora {

// Connects the timeline's press and drag to the range boxes. Whoever owns a window model calls
// this once, after WireRangeEntry.
void WireTimeline(WindowModel& w, AppState& st);

// The second of a recording of `total` seconds that the timeline shows at x, kept within it.
int32_t TimelineSecond(const WindowModel& w, float x, int32_t total);

// Draws the spans (start, end) of the recording the list keeps and the breaks found in it on the
// timeline of a recording of `total` seconds; nothing with no length.
using TimeSpan = std::pair<CutTime, CutTime>;
void MarkTimeline(WindowModel& w, int32_t total, const std::vector<TimeSpan>& kept, const std::vector<TimeSpan>& breaks);

}  // namespace trimora
