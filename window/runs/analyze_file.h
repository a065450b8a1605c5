// Step 2 of the window: the analysis of a recording, shown on the analysis panel and its labels,
// and the window prepared for cutting it.
#pragma once

#include <string>

#include "window/app_state.h"
#include "window/model.h"

namespace trimora {

// Every outcome is shown on the window; failures end with one message on the analysis panel.
// Measures the length when cTimeB is ticked; sets iTotalSec, and after a success fills the range
// boxes, sets sEditFile and the marker index, and enables Step 3.
void AnalyzeFile(WindowModel& w, AppState& st, const std::string& path);

}  // namespace trimora
