// The analysis of a recording: size, data format, length estimated from the size and, on
// request, measured by counting time markers. Shows nothing; reports to its caller.
#pragma once

#include <functional>
#include <string>

#include "engine/record_file.h"
#include "engine/report.h"

namespace trimora {

// Analyses `path` in `file1`, the source slot, which is closed on the way out; a failure closes
// it even when another run holds it. `measure` is asked once the estimate is known, whether the
// length is to be counted as well. The result says how far the run got; `report` hears each step
// as it happens and the result last, a failure before the slot is closed, a success after.
AnalysisResult AnalyzeRecording(const std::string& path, const std::function<bool()>& measure, SourceFile& file1,
                                const StopFlag& stop, AnalysisReport& report);

}  // namespace trimora
