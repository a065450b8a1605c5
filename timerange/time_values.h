// Whole seconds as the window shows them (H:MM:SS and three h/m/s boxes), and the number
// formats of the window's labels.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace trimora {

struct TextBox;

// Raised when a time computation leaves the signed 32-bit range; nothing ever wraps around.
struct TimeOverflow : std::overflow_error {
  using std::overflow_error::overflow_error;
};

// H:MM:SS with as many hour digits as needed; negative parts carry their own "-" (-1 -> 0:00:-01).
std::string SecToTime(int32_t seconds);

// Writes hours, minutes and seconds (no leading zeros) into the three boxes in that order; each
// write raises the box's change event before the next box is written.
void SecToTextBoxes(int32_t seconds, TextBox& hours, TextBox& minutes, TextBox& secs);

// hours*3600 + minutes*60 + seconds, each step checked; throws TimeOverflow.
int32_t TimeToSec(int32_t hours, int32_t minutes, int32_t seconds);

// The seconds that three h/m/s boxes hold, as the range entry and the Save command read them:
// each text through TextToInt32, the total through TimeToSec. Nothing when a text is not a 32-bit
// integer or the total leaves the 32-bit range.
std::optional<int32_t> TextBoxesToSec(const TextBox& hours, const TextBox& minutes, const TextBox& secs);

// A box's text as a signed 32-bit integer: optional blanks, an optional sign, decimal digits,
// optional blanks. Empty, non-numeric or out-of-range texts give nothing.
std::optional<int32_t> TextToInt32(const std::string& text);

// Nearest integer, halves to the even neighbour (estimates, percentages, bar values).
double RoundHalfEven(double value);

// The "#,##0" pattern: nearest integer with halves away from zero, digits grouped by three with commas.
std::string FormatGrouped(double value);

}  // namespace trimora
