// Time conversions and label number formats.
#include "core/time_values.h"

#include <cmath>
#include <cstdio>

namespace trimora {

namespace {
int32_t Checked(int64_t v) {
  if (v < INT32_MIN || v > INT32_MAX) throw TimeOverflow("time value out of 32-bit range");
  return static_cast<int32_t>(v);
}
}  // namespace

// Truncating division and a remainder with the dividend's sign: C++'s own / and %.
TimeParts SplitSeconds(int32_t total) { return {total / 3600, (total / 60) % 60, total % 60}; }

std::string TwoDigits(int32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, v < 0 ? "-%02d" : "%02d", v < 0 ? -v : v);
  return buf;
}

std::string SecToTime(int32_t seconds) {
  TimeParts p = SplitSeconds(seconds);
  return std::to_string(p.hours) + ":" + TwoDigits(p.minutes) + ":" + TwoDigits(p.seconds);
}

int32_t TimeToSec(int32_t hours, int32_t minutes, int32_t seconds) {
  int32_t a = Checked(int64_t{hours} * 3600);
  int32_t b = Checked(int64_t{minutes} * 60);
  int32_t c = Checked(int64_t{a} + b);
  return Checked(int64_t{c} + seconds);
}

std::optional<int32_t> TextsToSec(const std::string& hours, const std::string& minutes, const std::string& secs) {
  std::optional<int32_t> h = TextToInt32(hours);
  std::optional<int32_t> m = TextToInt32(minutes);
  std::optional<int32_t> s = TextToInt32(secs);
  if (!h || !m || !s) return std::nullopt;
  try {
    return TimeToSec(*h, *m, *s);
  } catch (const TimeOverflow&) {
    return std::nullopt;
  }
}

std::optional<int32_t> TextToInt32(const std::string& text) {
  std::size_t i = 0, n = text.size();
  auto blank = [&](std::size_t k) { return text[k] == ' ' || text[k] == '\t'; };
  while (i < n && blank(i)) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::size_t digits = i;
  int64_t value = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i++] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (i == digits) return std::nullopt;
  while (i < n && blank(i)) ++i;
  if (i != n) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

double RoundHalfEven(double value) {
  // nearbyint follows the current rounding mode, which is round-to-nearest-even by default.
  return std::nearbyint(value);
}

std::string FormatGrouped(double value) {
  double rounded = std::round(value);  // halves away from zero
  bool negative = rounded < 0;
  std::string digits = std::to_string(static_cast<long long>(std::fabs(rounded)));
  std::string out;
  for (std::size_t k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return negative ? "-" + out : out;
}

}  // namespace trimora
