// The range boxes as times.
#include "timerange/time_boxes.h"

#include <string>

#include "core/time_values.h"

namespace trimora {

void SecToTextBoxes(int32_t seconds, TextBox& hours, TextBox& minutes, TextBox& secs) {
  const TimeParts p = SplitSeconds(seconds);
  hours.SetText(std::to_string(p.hours));
  minutes.SetText(std::to_string(p.minutes));
  secs.SetText(std::to_string(p.seconds));
}

std::optional<int32_t> TextBoxesToSec(const TextBox& hours, const TextBox& minutes, const TextBox& secs) {
  return TextsToSec(hours.Text(), minutes.Text(), secs.Text());
}

std::optional<BoxRange> RangeInBoxes(const WindowModel& w) {
  const std::optional<int32_t> start = TextBoxesToSec(*w.tStart[0], *w.tStart[1], *w.tStart[2]);
  if (!start) return std::nullopt;
  const std::optional<int32_t> end = TextBoxesToSec(*w.tEnd[0], *w.tEnd[1], *w.tEnd[2]);
  if (!end) return std::nullopt;
  return BoxRange{*start, *end};
}

}  // namespace trimora
