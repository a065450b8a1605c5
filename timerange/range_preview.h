// The preview of the range: which picture each end of the range waits for, and what the panel
// says while it waits. The pictures themselves are made by the view, and each box takes only the
// result of its latest request (PreviewBox::Take).
#pragma once

#include <cstdint>
#include <memory>
#include <stop_token>
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

// The clean cut's box was ticked or cleared: the pictures and the size of the range are asked
// for again, of the cut Save now writes.
void PreviewCleanChanged(WindowModel& w);

// The window was resized and the pictures' places with it: both pictures are made again, at the
// size their places now have.
void PreviewResized(WindowModel& w);

// The exact size of a cut of start..end (clean or not), made off the window's thread from the
// marker index: the caption for lPreviewSize, in the pattern of the estimated size.
struct CutSizeJob {
  uint64_t request = 0;
  std::shared_ptr<MarkerIndex> markers;
  int32_t start = 0, end = 0;
  bool clean = false;
};
struct CutSize {
  bool known = false;  // `bytes` is the size (else `text` says why there is none)
  int64_t bytes = 0;
  double seconds_after_marker = 0;  // clean: where its video starts after the start marker
  std::string text;                 // the caption; empty when stopped
};
CutSize MeasureCutSize(MarkerIndex& markers, int32_t start, int32_t end, bool clean, const std::stop_token& stop = {});
// The job the label waits for now, if one is to be made (request 0 otherwise).
CutSizeJob PendingCutSize(const WindowModel& w);
// A made size, taken only while the label still waits for that request.
bool TakeCutSize(WindowModel& w, uint64_t request, const std::string& text);

}  // namespace trimora
