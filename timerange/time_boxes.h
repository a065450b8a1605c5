// The h/m/s text boxes of the range entry: written from seconds, and read back as the range they
// hold. Every reader of the six boxes (the range check, Save, the name Save proposes) reads them here.
#pragma once

#include <cstdint>
#include <optional>

#include "window/model.h"

namespace trimora {

// Writes hours, minutes and seconds (no leading zeros) into the three boxes in that order; each
// write raises the box's change event before the next box is written.
void SecToTextBoxes(int32_t seconds, TextBox& hours, TextBox& minutes, TextBox& secs);

// The seconds that three h/m/s boxes hold (TextsToSec); nothing when they hold no time.
std::optional<int32_t> TextBoxesToSec(const TextBox& hours, const TextBox& minutes, const TextBox& secs);

// The range the six boxes hold, start from tStart and end from tEnd; nothing when either row
// holds no time. Not checked against the recording: that is CheckRange's.
struct BoxRange {
  int32_t start, end;
};
std::optional<BoxRange> RangeInBoxes(const WindowModel& w);

}  // namespace trimora
