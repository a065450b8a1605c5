// The preview panel's rules: every new time of an end is a new request, so a slow picture of a
// range the user has already left is never taken for the range now shown.
#include "timerange/range_preview.h"

#include <cmath>
#include <cstdio>

#include "cleancut/clean_cut.h"
#include "core/time_values.h"
#include "engine/marker_index.h"
#include "timerange/range_texts.h"

namespace trimora {

namespace {

constexpr const char* kStartCaption = "開始位置：";
constexpr const char* kEndCaption = "終了位置：";
constexpr const char* kWorking = "画像を作成しています…";
// An end beyond the last time marker: the cut, and its picture, end with the recording.
constexpr const char* kEndOfRecording = "録画の末尾";

std::string EndCaption(const WindowModel& w, int32_t end) {
  const int32_t markers = w.Preview.RecordingMarkers;
  return kEndCaption + (markers >= 0 && end > markers ? std::string(kEndOfRecording) : SecToTime(end));
}

void ResetBox(PreviewBox& box) {
  box.Second = -1;
  box.From = 0;
  box.Clean = false;
  box.Request = 0;
  box.HasPicture = false;
  box.Message.clear();
}

void Ask(WindowModel& w, PreviewBox& box, int32_t second, int32_t from, bool clean) {
  if (box.Request != 0 && box.Second == second && box.From == from && box.Clean == clean) return;
  box.Second = second;
  box.From = from;
  box.Clean = clean;
  box.Request = ++w.Preview.Requests;
  box.HasPicture = false;
  box.Message = kWorking;
}

}  // namespace

// The range stays: an analysis that fills the boxes with what they already hold runs no range
// check, and the range is then the one the pictures of the new recording are for.
void ClearPreview(WindowModel& w) {
  w.Preview.Markers.reset();
  w.Preview.RecordingMarkers = -1;
  w.lPreviewStart.Caption = kStartCaption;
  w.lPreviewEnd.Caption = kEndCaption;
  ResetBox(w.pPreviewStart);
  ResetBox(w.pPreviewEnd);
  w.Preview.SizeRequest = 0;
  w.lPreviewSize.Caption.clear();
}

void PreviewRecording(WindowModel& w, std::shared_ptr<MarkerIndex> markers) {
  // A measured analysis has counted them all.
  w.Preview.RecordingMarkers = markers && markers->Complete() ? markers->KnownMarkers() : -1;
  w.Preview.Markers = std::move(markers);
  ResetBox(w.pPreviewStart);
  ResetBox(w.pPreviewEnd);
  w.Preview.SizeRequest = 0;
  if (w.Preview.Start >= 0) PreviewRange(w, w.Preview.Start, w.Preview.End);
}

void PreviewRange(WindowModel& w, int32_t start, int32_t end) {
  w.Preview.Start = start;
  w.Preview.End = end;
  w.lPreviewStart.Caption = kStartCaption + SecToTime(start);
  w.lPreviewEnd.Caption = EndCaption(w, end);
  if (!w.Preview.Markers) return;
  const bool clean = w.cPreviewClean.Value == 1;
  Ask(w, w.pPreviewStart, start, 0, clean);
  // Zeroed or damaged records end a cut early counted from its first byte: the end picture is
  // the last of what the cut holds, so a new start asks for it again.
  Ask(w, w.pPreviewEnd, end, start, clean);
  if (w.Preview.SizeRequest == 0 || w.Preview.SizeStart != start || w.Preview.SizeEnd != end ||
      w.Preview.SizeClean != clean) {
    w.Preview.SizeRequest = ++w.Preview.Requests;
    w.Preview.SizeStart = start;
    w.Preview.SizeEnd = end;
    w.Preview.SizeClean = clean;
    w.lPreviewSize.Caption = range_texts::kCutSizeWorking;
  }
}

void PreviewCleanChanged(WindowModel& w) {
  if (w.Preview.Start >= 0) PreviewRange(w, w.Preview.Start, w.Preview.End);
}

void PreviewResized(WindowModel& w) {
  if (w.Preview.Start < 0 || !w.Preview.Markers) return;
  w.pPreviewStart.Request = w.pPreviewEnd.Request = 0;  // what they wait for is of the old size
  PreviewRange(w, w.Preview.Start, w.Preview.End);
}

CutSize MeasureCutSize(MarkerIndex& markers, int32_t start, int32_t end, bool clean, const std::stop_token& stop) {
  using namespace range_texts;
  CutSize size;
  const MarkerIndex::Lookup from = markers.ByteAfterMarker(std::max(start, 0), stop);
  const MarkerIndex::Lookup to = from.found ? markers.ByteAfterMarker(end, stop) : MarkerIndex::Lookup{};
  const int64_t file_size = markers.FileSize();
  if (stop.stop_requested()) return size;
  if (file_size < 0) {
    size.text = kCutSizeUnreadable;
  } else if (!from.found || from.byte >= file_size) {
    size.text = kStartPastMarkers;
  } else if (!to.found) {
    size.text = kEndPastMarkers;
  } else {
    // Where the cut really stops: zeroed or damaged records end it early.
    const int64_t stop_byte = markers.CutStop(from.byte, to.byte, stop);
    if (stop.stop_requested()) return size;
    if (stop_byte < 0) {
      size.text = kCutSizeUnreadable;
    } else if (!clean) {
      size.known = true;
      size.bytes = stop_byte - from.byte;
    } else {
      const cleancut::CleanCut plan = cleancut::PlanCleanCut(markers.Path(), from.byte, stop_byte, stop);
      if (plan.outcome == cleancut::CleanCutOutcome::kStopped) return size;
      if (plan.outcome == cleancut::CleanCutOutcome::kPlanned) {
        size.known = true;
        size.bytes = plan.plan.size;
        size.seconds_after_marker = plan.plan.seconds_after_marker;
      } else {
        size.text = plan.outcome == cleancut::CleanCutOutcome::kUnreadable ? kCutSizeUnreadable : kNotClean;
      }
    }
  }
  if (size.known) {
    size.text = kCutSizeCaption + FormatGrouped(static_cast<double>(size.bytes) / 1024) + " KB";
    if (clean) {
      char shift[32];
      std::snprintf(shift, sizeof shift, "%.2f", size.seconds_after_marker);
      size.text += std::string(kVideoStartHead) + shift + kVideoStartTail;
    }
  }
  return size;
}

CutSizeJob PendingCutSize(const WindowModel& w) {
  if (w.Preview.SizeRequest == 0 || !w.Preview.Markers) return {};
  return {w.Preview.SizeRequest, w.Preview.Markers, w.Preview.SizeStart, w.Preview.SizeEnd, w.Preview.SizeClean};
}

bool TakeCutSize(WindowModel& w, uint64_t request, const std::string& text) {
  if (request == 0 || request != w.Preview.SizeRequest || text.empty()) return false;
  w.lPreviewSize.Caption = text;
  return true;
}

}  // namespace trimora

namespace trimora {

void RecordingMarkersKnown(WindowModel& w, int32_t markers) {
  w.Preview.RecordingMarkers = markers;
  if (w.Preview.End >= 0) w.lPreviewEnd.Caption = EndCaption(w, w.Preview.End);
}

}  // namespace trimora
