// The range cutter: writes the packets of the analysed recording between the start-th and the
// end-th time marker to a new file, byte for byte.
#pragma once

#include <cstdint>
#include <string>

#include "engine/app_state.h"
#include "window/model.h"

namespace trimora {

// The source path as the overwrite guard compares it: a doubled backslash counts as one.
std::string ComparisonPath(const std::string& source);
// Whether writing `target` would write over `source`: the same path once compared that way, or
// the same file under another name (a link, another spelling, a letter case the file system
// ignores). Whatever writes a file beside a recording refuses such a target.
bool IsTheSource(const std::string& source, const std::string& target);

// Cuts st.sEditFile from start to end (seconds) into target; reports on the cut panel.
void CutRange(WindowModel& w, AppState& st, const std::string& target, int32_t start, int32_t end);

// The Save command once a target is chosen: converts the six range boxes again and runs
// CutRange, or shows the range entry's error on the cut panel when they cannot be converted.
void CutWithBoxes(WindowModel& w, AppState& st, const std::string& target);

}  // namespace trimora
