// The preview panel's rules: every new time of an end is a new request, so a slow picture of a
// range the user has already left is never taken for the range now shown.
#include "timerange/range_preview.h"

#include "core/time_values.h"
#include "engine/marker_index.h"

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
  box.Request = 0;
  box.HasPicture = false;
  box.Message.clear();
}

void Ask(WindowModel& w, PreviewBox& box, int32_t second, int32_t from) {
  if (box.Request != 0 && box.Second == second && box.From == from) return;
  box.Second = second;
  box.From = from;
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
}

void PreviewRecording(WindowModel& w, std::shared_ptr<MarkerIndex> markers) {
  // A measured analysis has counted them all.
  w.Preview.RecordingMarkers = markers && markers->Complete() ? markers->KnownMarkers() : -1;
  w.Preview.Markers = std::move(markers);
  ResetBox(w.pPreviewStart);
  ResetBox(w.pPreviewEnd);
  if (w.Preview.Start >= 0) PreviewRange(w, w.Preview.Start, w.Preview.End);
}

void PreviewRange(WindowModel& w, int32_t start, int32_t end) {
  w.Preview.Start = start;
  w.Preview.End = end;
  w.lPreviewStart.Caption = kStartCaption + SecToTime(start);
  w.lPreviewEnd.Caption = EndCaption(w, end);
  if (!w.Preview.Markers) return;
  Ask(w, w.pPreviewStart, start, 0);
  // Zeroed or damaged records end a cut early counted from its first byte: the end picture is
  // the last of what the cut holds, so a new start asks for it again.
  Ask(w, w.pPreviewEnd, end, start);
}

}  // namespace trimora

namespace trimora {

void RecordingMarkersKnown(WindowModel& w, int32_t markers) {
  w.Preview.RecordingMarkers = markers;
  if (w.Preview.End >= 0) w.lPreviewEnd.Caption = EndCaption(w, w.Preview.End);
}

}  // namespace trimora
