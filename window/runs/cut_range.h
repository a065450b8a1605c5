// Step 3's Save: the range cutter as the window shows it, on the cut panel and the Save button.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cut.h"
#include "verify/decode_check.h"

#include "window/app_state.h"
#include "window/model.h"

namespace trimora {

// Cuts st.sEditFile from start to end (seconds) into target; reports on the cut panel. Save is
// disabled while it runs and enabled again however it ends. With 保存後に確かめる ticked the
// save is re-read, and a clean one decoded by `decode` where the program has a decoder.
void CutRange(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end,
              const verify::DecodeChecker& decode = {});

// The Save command once a target is chosen: converts the six range boxes again and runs
// CutRange, or shows the range entry's error on the cut panel when they cannot be converted.
void CutWithBoxes(WindowModel& w, AppState& st, const std::string& target, const verify::DecodeChecker& decode = {});

// The list's Save: the job of `parts` into target, shown on the cut panel as one cut is. Both
// Save buttons are disabled while it runs and enabled again however it ends.
void CutRanges(WindowModel& w, AppState& st, const std::string& target, const std::vector<CutPart>& parts,
               const verify::DecodeChecker& decode = {});

}  // namespace trimora
