// The check after a save: the target re-read against its source and the plan the cut wrote it
// by. Every packet must be the recording's own, in the plan's order, or the same packet with only
// the header fields its join moves and the continuity counter its job runs on; and the time
// markers it holds must be those of the ranges.
// Plain file reading: the decoding of the joins is not this check's.
#pragma once

#include <cstdint>
#include <string>

#include "engine/report.h"

namespace trimora::verify {

enum class WrittenCheck {
  kMatches,     // every byte as planned, the markers as many as the ranges hold
  kDiffers,     // a byte that is not the plan's: `at` in the target
  kLength,      // the target is longer or shorter than the plan
  kMarkers,     // the time markers counted are not the ranges'
  kUnreadable,  // the source or the target could not be read
  kStopped,     // a stop request came first: nothing is known
};

struct WrittenCheckResult {
  WrittenCheck outcome = WrittenCheck::kMatches;
  int64_t at = -1;       // kDiffers: the target's byte
  int32_t markers = 0;   // the time markers found in the target
};

// `markers`: how many time markers the ranges hold, as the cut counted them.
WrittenCheckResult CheckWritten(const std::string& source, const std::string& target, const WrittenPlan& plan,
                                int32_t markers, const StopFlag& stop);

}  // namespace trimora::verify
