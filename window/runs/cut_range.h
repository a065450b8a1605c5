// Step 3's Save: the range cutter as the window shows it, on the cut panel and the Save button.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cut.h"

#include "window/app_state.h"
#include "window/model.h"

namespace trimora {

// Cuts st.sEditFile from start to end (seconds) into target; reports on the cut panel. Save is
// disabled while it runs and enabled again however it ends.
void CutRange(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end);

// The Save command once a target is chosen: converts the six range boxes again and runs
// CutRange, or shows the range entry's error on the cut panel when they cannot be converted.
void CutWithBoxes(WindowModel& w, AppState& st, const std::string& target);

// The list's Save: the job of `parts` into target, shown on the cut panel as one cut is. Both
// Save buttons are disabled while it runs and enabled again however it ends.
void CutRanges(WindowModel& w, AppState& st, const std::string& target, const std::vector<CutPart>& parts);

}  // namespace trimora
