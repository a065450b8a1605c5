// Range entry and timeline: the six h/m/s boxes are checked against the recording's length
// whenever one of them changes, and the range is drawn on the timeline.
#pragma once

#include <cstdint>
#include <string>

#include "core/cut_time.h"

#include "window/app_state.h"
#include "window/model.h"

namespace trimora {

// Connects the change, focus and step events of tStart and tEnd to the range check. Whoever owns
// a window model (the window, the command line, a test) calls this once.
void WireRangeEntry(WindowModel& w, AppState& st);

// Moves the time of one row (tStart or tEnd) by a step, kept within 0:00:00 and iTotalSec, and
// writes it back as hours, minutes and seconds; each box that changes runs the check as typing
// does. A row that cannot be read as a time is left as it is.
void StepTime(TextBox* const row[3], const AppState& st, TimeStep step);

// With the clean cut's box ticked, a step of a second moves START to the second of the key
// picture before or after the one its clean cut starts at, so that the pictures show each start
// the clean cut can have. False, and nothing changed, where that cannot be told (the box is not
// ticked, a step of a minute, the markers there not found yet): the step is then a plain one.
bool StepToKeyPicture(WindowModel& w, const AppState& st, TimeStep step);

// Re-reads the six boxes and checks the range.
void tSE_Change(WindowModel& w, AppState& st);

void CheckRange(WindowModel& w, AppState& st, int32_t start, int32_t end);

// The message of the first check that start..end fails against a recording of `total` seconds,
// or "" when the range passes: what CheckRange shows, for whoever checks a range without a window.
// Times finer than a second (from lists) are checked the same way, thousandths counted.
std::string RangeProblem(CutTime start, CutTime end, int32_t total);

}  // namespace trimora
