// Cut times finer than a second: their text and their reading.
#include "core/cut_time.h"

#include <algorithm>
#include <cstdio>

#include "core/time_values.h"

namespace trimora {

std::string CutTimeText(CutTime time) {
  std::string text = SecToTime(time.second);
  if (time.Whole()) return text;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", std::clamp(time.millis, 0, 999));
  return text + fraction;
}

std::string MillisText(int64_t millis) {
  const int64_t seconds = std::clamp<int64_t>(millis / 1000, INT32_MIN, INT32_MAX);
  const auto rest = static_cast<int32_t>(millis % 1000);
  if (rest < 0) {
    // Put in front rather than `"-" + text`, which GCC 12 at -O3 warns of (-Wrestrict) where inlined.
    std::string text = MillisText(-millis);
    text.insert(text.begin(), '-');
    return text;
  }
  return CutTimeText({static_cast<int32_t>(seconds), rest});
}

std::optional<CutTime> TextsToCutTime(const std::string& hours, const std::string& minutes, const std::string& secs) {
  std::string whole = secs;
  int32_t millis = 0;
  if (const std::size_t dot = secs.find('.'); dot != std::string::npos) {
    std::size_t end = secs.size();
    while (end > dot + 1 && (secs[end - 1] == ' ' || secs[end - 1] == '\t')) --end;
    const std::size_t digits = end - dot - 1;
    if (digits < 1 || digits > 3) return std::nullopt;
    for (std::size_t i = dot + 1; i < end; ++i) {
      if (secs[i] < '0' || secs[i] > '9') return std::nullopt;
      millis = millis * 10 + (secs[i] - '0');
    }
    for (std::size_t k = digits; k < 3; ++k) millis *= 10;
    whole = secs.substr(0, dot);
  }
  const std::optional<int32_t> second = TextsToSec(hours, minutes, whole);
  if (!second) return std::nullopt;
  return CutTime{*second, millis};
}

}  // namespace trimora
