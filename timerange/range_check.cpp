// Range entry and timeline: converts the six h/m/s boxes, checks the range against the
// recording's length, draws it on the timeline and switches the Save button.
#include "timerange/range_check.h"

#include <algorithm>
#include <exception>
#include <optional>

#include "core/time_values.h"
#include "core/ts_packet.h"
#include "timerange/key_pictures.h"
#include "timerange/range_preview.h"
#include "timerange/range_texts.h"
#include "timerange/time_boxes.h"

namespace trimora {

namespace {

using namespace range_texts;

// Second t on the timeline: computed in double, stored in single precision like the lines.
float TimelineX(const WindowModel& w, int32_t t, int32_t total) {
  double width = static_cast<double>(w.lnEOF.X1) - static_cast<double>(w.lnZERO.X1);
  return static_cast<float>(width * (static_cast<double>(t) / static_cast<double>(total)) +
                            static_cast<double>(w.lnZERO.X1));
}

// A time label and its marker line, the label kept centred on the marker.
void PlaceMarker(const WindowModel& w, Label& label, Line& marker, int32_t t, int32_t total) {
  label.Caption = SecToTime(t);
  marker.X1 = TimelineX(w, t, total);
  marker.X2 = marker.X1;
  label.Left = static_cast<float>(static_cast<double>(marker.X1) - static_cast<double>(label.Width) / 2);
}

void ShowEntryError(WindowModel& w) {
  ShowFinal([&] { w.lCMessage_Show(kEntryError, kCutWarningIcon); });
}

int32_t StepSeconds(TimeStep step) {
  switch (step) {
    case TimeStep::SecondUp:
      return 1;
    case TimeStep::SecondDown:
      return -1;
    case TimeStep::MinuteUp:
      return 60;
    case TimeStep::MinuteDown:
      return -60;
  }
  return 0;
}

}  // namespace

std::string RangeProblem(CutTime start, CutTime end, int32_t total) {
  if (start < CutTime(0)) return kStartBelowZero;
  if (start >= end) return kEndBeforeStart;
  if (end > CutTime(total)) return kEndPastLengthHead + SecToTime(total) + kEndPastLengthTail;
  return {};
}

void WireRangeEntry(WindowModel& w, AppState& st) {
  for (TextBox* const* boxes : {w.tStart, w.tEnd}) {
    for (int i = 0; i < 3; ++i) {
      TextBox* box = boxes[i];
      box->Change = [&w, &st] { tSE_Change(w, st); };
      // Typing then replaces the whole entry of at most two characters.
      box->OnGotFocus = [box] {
        box->SelStart = 0;
        box->SelLength = 2;
      };
      // After a step the box's new entry is selected as well, so that typing still replaces it.
      box->OnStep = [&w, boxes, box, &st](TimeStep step) {
        if (boxes != w.tStart || !StepToKeyPicture(w, st, step)) StepTime(boxes, st, step);
        box->SelStart = 0;
        box->SelLength = 2;
      };
    }
  }
  w.cPreviewClean.Click = [&w] { PreviewCleanChanged(w); };
}

bool StepToKeyPicture(WindowModel& w, const AppState& st, TimeStep step) {
  if (w.cPreviewClean.Value != 1 || !w.Preview.Markers) return false;
  if (step != TimeStep::SecondUp && step != TimeStep::SecondDown) return false;
  const std::optional<int32_t> now = TextBoxesToSec(*w.tStart[0], *w.tStart[1], *w.tStart[2]);
  if (!now) return false;
  const std::optional<int32_t> key =
      KeyPictureSecond(*w.Preview.Markers, *now, step == TimeStep::SecondUp ? 1 : -1, st.iTotalSec);
  if (!key) return false;
  SecToTextBoxes(*key, *w.tStart[0], *w.tStart[1], *w.tStart[2]);
  return true;
}

void StepTime(TextBox* const row[3], const AppState& st, TimeStep step) {
  const std::optional<int32_t> now = TextBoxesToSec(*row[0], *row[1], *row[2]);
  if (!now) return;
  const int64_t next = std::clamp<int64_t>(int64_t{*now} + StepSeconds(step), 0, std::max<int32_t>(st.iTotalSec, 0));
  SecToTextBoxes(static_cast<int32_t>(next), *row[0], *row[1], *row[2]);
}

void tSE_Change(WindowModel& w, AppState& st) {
  const uint32_t generation = ++st.range_checks;
  try {
    const std::optional<BoxRange> range = RangeInBoxes(w);
    if (!range) {
      ShowEntryError(w);
      return;
    }
    CheckRange(w, st, range->start, range->end);
  } catch (const std::exception&) {
    // A newer check ran while this one let the window process its events; it has the last word.
    if (st.range_checks == generation) ShowEntryError(w);
  }
}

void CheckRange(WindowModel& w, AppState& st, int32_t start, int32_t end) {
  const uint32_t generation = st.range_checks;
  w.bCut.Enabled = false;
  const int32_t total = st.iTotalSec;
  if (std::string problem = RangeProblem(start, end, total); !problem.empty()) {
    w.lCMessage_Show(problem, kCutWarningIcon);
    return;
  }
  PlaceMarker(w, w.lStart, w.lnStart, start, total);
  PlaceMarker(w, w.lEnd, w.lnEnd, end, total);
  w.lnRange.X1 = w.lnStart.X1;
  w.lnRange.X2 = w.lnEnd.X1;
  w.lRange.Caption = SecToTime(end - start);
  w.lExSize.Caption = FormatGrouped(static_cast<double>(end - start) * kBytesPerSecond / 1024) + " KB";
  PreviewRange(w, start, end);
  w.lCMessage_Show("", kNoIcon);
  // A box changed while the message was cleared ran a check of its own on the newer contents;
  // enabling Save now would offer a range the boxes no longer hold.
  if (st.range_checks != generation) return;
  w.bCut.Enabled = true;
}

}  // namespace trimora
