// The preview of the range: which picture each end of the range waits for, and what the panel
// says while it waits. The pictures themselves are made by the view, and each box takes only the
// result of its latest request (PreviewBox::Take).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "window/model.h"

namespace trimora {

// An analysis begins: no pictures, no range, nothing kept of the recording shown before.
void ClearPreview(WindowModel& w);

// A recording has been analysed: from now on the pictures come from it, found through its marker
// index, starting with the range its analysis put on the timeline.
void PreviewRecording(WindowModel& w, std::shared_ptr<MarkerIndex> markers);

// The timeline shows start..end: each end whose time changed asks for a new picture, which makes
// any older request of that end obsolete.
void PreviewRange(WindowModel& w, int32_t start, int32_t end);

// A picture's search found that the recording holds only `markers` time markers: an end past
// them is labelled as the recording's end, not as a time the recording does not reach.
void RecordingMarkersKnown(WindowModel& w, int32_t markers);

}  // namespace trimora
