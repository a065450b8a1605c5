// The preview panel's rules: every new time of an end is a new request, so a slow picture of a
// range the user has already left is never taken for the range now shown.
#include "timerange/range_preview.h"

#include "core/time_values.h"

namespace trimora {

namespace {

constexpr const char* kStartCaption = "開始位置：";
constexpr const char* kEndCaption = "終了位置：";
constexpr const char* kWorking = "画像を作成しています…";

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
  w.lPreviewStart.Caption = kStartCaption;
  w.lPreviewEnd.Caption = kEndCaption;
  ResetBox(w.pPreviewStart);
  ResetBox(w.pPreviewEnd);
}

void PreviewRecording(WindowModel& w, std::shared_ptr<MarkerIndex> markers) {
  w.Preview.Markers = std::move(markers);
  ResetBox(w.pPreviewStart);
  ResetBox(w.pPreviewEnd);
  if (w.Preview.Start >= 0) PreviewRange(w, w.Preview.Start, w.Preview.End);
}

void PreviewRange(WindowModel& w, int32_t start, int32_t end) {
  w.Preview.Start = start;
  w.Preview.End = end;
  w.lPreviewStart.Caption = kStartCaption + SecToTime(start);
  w.lPreviewEnd.Caption = kEndCaption + SecToTime(end);
  if (!w.Preview.Markers) return;
  Ask(w, w.pPreviewStart, start, 0);
  // Zeroed or damaged records end a cut early counted from its first byte: the end picture is
  // the last of what the cut holds, so a new start asks for it again.
  Ask(w, w.pPreviewEnd, end, start);
}

}  // namespace trimora
