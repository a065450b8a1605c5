// The timeline's pointer and bands: positions map to seconds as the range check maps seconds to
// positions, so a press on a marker leaves it where it is.
#include "timerange/timeline.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "timerange/key_pictures.h"
#include "timerange/time_boxes.h"

namespace trimora {

namespace {

double TimelineWidth(const WindowModel& w) {
  return static_cast<double>(w.lnEOF.X1) - static_cast<double>(w.lnZERO.X1);
}

float XOf(const WindowModel& w, CutTime t, int32_t total) {
  const double seconds = t.second + t.millis / 1000.0;
  return static_cast<float>(TimelineWidth(w) * std::clamp(seconds / total, 0.0, 1.0) + w.lnZERO.X1);
}

// The range the boxes hold, or the whole recording when they hold none that fits it.
std::pair<int32_t, int32_t> RangeNow(const WindowModel& w, int32_t total) {
  const std::optional<BoxRange> boxes = RangeInBoxes(w);
  if (!boxes || boxes->start < 0 || boxes->start >= boxes->end || boxes->end > total) return {0, total};
  return {boxes->start, boxes->end};
}

// Which end a drag moves, chosen at its press: the one whose marker lies nearer.
enum class Handle { None, Start, End };

void MoveHandle(WindowModel& w, const AppState& st, Handle handle, float x) {
  const int32_t total = st.iTotalSec;
  const auto [start, end] = RangeNow(w, total);
  int32_t t = TimelineSecond(w, x, total);
  // With the clean cut chosen, START goes where a clean cut can begin: a key picture's second.
  if (handle == Handle::Start && w.cPreviewClean.Value == 1 && w.Preview.Markers)
    t = KeyPictureSecond(*w.Preview.Markers, t, 0, total).value_or(t);
  // An end never crosses the other: the range keeps at least a second.
  if (handle == Handle::Start)
    SecToTextBoxes(std::min(t, end - 1), *w.tStart[0], *w.tStart[1], *w.tStart[2]);
  else if (handle == Handle::End)
    SecToTextBoxes(std::max(t, start + 1), *w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
}

}  // namespace

int32_t TimelineSecond(const WindowModel& w, float x, int32_t total) {
  const double width = TimelineWidth(w);
  if (total <= 0 || width <= 0) return 0;
  const double t = std::round((static_cast<double>(x) - w.lnZERO.X1) / width * total);
  return static_cast<int32_t>(std::clamp(t, 0.0, static_cast<double>(total)));
}

void WireTimeline(WindowModel& w, AppState& st) {
  auto handle = std::make_shared<Handle>(Handle::None);
  w.pTimeline.Press = [&w, &st, handle](float x) {
    *handle = Handle::None;
    if (!w.fOption.Enabled || st.iTotalSec <= 0) return;
    const float to_start = std::abs(x - w.lnStart.X1), to_end = std::abs(x - w.lnEnd.X1);
    // Markers on one spot: the side of the press tells which end is meant.
    *handle = to_start < to_end || (to_start == to_end && x < w.lnStart.X1) ? Handle::Start : Handle::End;
    MoveHandle(w, st, *handle, x);
  };
  w.pTimeline.Drag = [&w, &st, handle](float x) {
    if (!w.fOption.Enabled || st.iTotalSec <= 0) return;
    MoveHandle(w, st, *handle, x);
  };
}

void MarkTimeline(WindowModel& w, int32_t total, const std::vector<TimeSpan>& kept, const std::vector<TimeSpan>& breaks) {
  auto spans = [&](const std::vector<TimeSpan>& times) {
    std::vector<TimelineSpan> out;
    if (total <= 0) return out;
    for (const auto& [from, to] : times) out.push_back({XOf(w, from, total), XOf(w, to, total)});
    return out;
  };
  w.pTimeline.Kept = spans(kept);
  w.pTimeline.Breaks = spans(breaks);
}

}  // namespace trimora
