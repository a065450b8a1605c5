// A point of a recording to cut at, finer than a second: the `second`-th time marker, then
// `millis` thousandths of a second more by the video's own clock (the presentation times of the
// pictures after that marker). A whole second (no thousandths) is the marker itself, exactly as a
// cut has always counted; lists, the command line and the search for breaks may name finer points.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

namespace trimora {

struct CutTime {
  int32_t second = 0;
  int32_t millis = 0;  // 0 to 999

  constexpr CutTime() = default;
  // A whole second is a cut time: the boxes and every whole-second caller pass one as it is.
  constexpr CutTime(int32_t whole) : second(whole) {}  // NOLINT(google-explicit-constructor)
  constexpr CutTime(int32_t whole, int32_t thousandths) : second(whole), millis(thousandths) {}

  constexpr bool Whole() const { return millis == 0; }
  friend constexpr auto operator<=>(const CutTime&, const CutTime&) = default;
};

// "H:MM:SS" as SecToTime writes it, and ".mmm" after it when there are thousandths.
std::string CutTimeText(CutTime time);

// A length in thousandths of a second in the same form: "0:01:15", "0:01:15.250".
std::string MillisText(int64_t millis);

// Thousandths of a second from `from` to `to`, counting a marker as a second.
constexpr int64_t MillisBetween(CutTime from, CutTime to) {
  return (int64_t{to.second} - from.second) * 1000 + (to.millis - from.millis);
}

// The time three h/m/s texts hold, as a range box reads each field, the seconds with an optional
// fraction of one to three decimals ("34", "34.5", "34.567"). Nothing when a field is not a
// number, the fraction is not one to three digits, or the total leaves the 32-bit range.
std::optional<CutTime> TextsToCutTime(const std::string& hours, const std::string& minutes, const std::string& secs);

}  // namespace trimora
