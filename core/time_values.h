// Whole seconds as the program shows them (H:MM:SS), their 32-bit arithmetic, and the number
// formats of the labels and printed lines. Shared by every layer; knows nothing of the window.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace trimora {

// Raised when a time computation leaves the signed 32-bit range; nothing ever wraps around.
struct TimeOverflow : std::overflow_error {
  using std::overflow_error::overflow_error;
};

// H:MM:SS with as many hour digits as needed; negative parts carry their own "-" (-1 -> 0:00:-01).
std::string SecToTime(int32_t seconds);

// Hours, minutes and seconds of a time; each part carries the sign of the whole.
struct TimeParts {
  int32_t hours, minutes, seconds;
};
TimeParts SplitSeconds(int32_t seconds);

// The "00" pattern: at least two digits, a "-" in front of a negative value's digits.
std::string TwoDigits(int32_t value);

// hours*3600 + minutes*60 + seconds, each step checked; throws TimeOverflow.
int32_t TimeToSec(int32_t hours, int32_t minutes, int32_t seconds);

// The seconds that three h/m/s texts hold, as a range box reads them: each text through
// TextToInt32, the total through TimeToSec. Nothing when a text is not a 32-bit integer or the
// total leaves the 32-bit range.
std::optional<int32_t> TextsToSec(const std::string& hours, const std::string& minutes, const std::string& secs);

// A box's text as a signed 32-bit integer: optional blanks, an optional sign, decimal digits,
// optional blanks. Empty, non-numeric or out-of-range texts give nothing.
std::optional<int32_t> TextToInt32(const std::string& text);

// Nearest integer, halves to the even neighbour (estimates, percentages, bar values).
double RoundHalfEven(double value);

// The "#,##0" pattern: nearest integer with halves away from zero, digits grouped by three with commas.
std::string FormatGrouped(double value);

}  // namespace trimora
