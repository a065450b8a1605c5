// The preview of the range: which picture each end of the range waits for, and what the panel
// says while it waits or when there is none. The pictures themselves are made by the view.
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

// A made picture, or with `has_picture` false the reason there is none, for a request. Taken only
// by the box that still waits for that request; false when it is obsolete and is to be dropped.
bool TakePreview(WindowModel& w, uint64_t request, bool has_picture, const std::string& reason);

}  // namespace trimora
