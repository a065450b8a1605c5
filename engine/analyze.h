// The analysis of a recording: size, data format, length estimated from the size and, when the
// cTimeB box is ticked, measured by counting time markers. Prepares Step 3 of the window.
#pragma once

#include <string>

#include "engine/app_state.h"
#include "window/model.h"

namespace trimora {

// Every outcome is shown on the window; failures end with one message on the analysis panel.
void AnalyzeFile(WindowModel& w, AppState& st, const std::string& path);

}  // namespace trimora
