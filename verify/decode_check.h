// The second half of the check after a save: a clean file decoded where its ranges meet and at
// its two ends. The decoding is FFmpeg's and lives with it (decodecheck/); this is what it is
// asked and what it answers, and the check that runs both halves in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/report.h"
#include "verify/written_check.h"

namespace trimora::verify {

enum class DecodeCheck {
  kDecodes,     // every place decoded without an error, the pictures in order at the frame rate
  kError,       // the decoder or the demuxer reported an error near `at`
  kClock,       // a picture out of order, or a gap in the pictures, near `at`
  kUnreadable,  // the file could not be opened or its streams not found
  kStopped,     // a stop request came first: nothing is known
};

struct DecodeCheckResult {
  DecodeCheck outcome = DecodeCheck::kDecodes;
  int64_t at = -1;      // the target's byte of the packet the fault came with
  int32_t places = 0;   // the joins and ends decoded
  std::string message;  // FFmpeg's own words for an error, for whoever wants the detail
};

// Decodes `target` around each of `joins` (the target's bytes where a range after the first
// begins) and at its start and its end.
using DecodeChecker =
    std::function<DecodeCheckResult(const std::string& target, const std::vector<int64_t>& joins, const StopFlag& stop)>;

// The bytes of the target where each range after the first begins.
std::vector<int64_t> JoinsOf(const WrittenPlan& plan);

struct SavedCheck {
  WrittenCheckResult written;
  std::optional<DecodeCheckResult> decoded;  // only a clean file that matched its plan is decoded
  bool Passed() const;
};

// The saved target re-read against the recording and its plan; then, where it is clean and a
// decoder is at hand, decoded at its joins and ends. An exact cut begins and ends where the
// markers are, inside a GOP: it is not decoded, as no player starts it cleanly there either.
SavedCheck CheckSaved(const std::string& source, const std::string& target, const WrittenPlan& plan, int32_t markers,
                      const DecodeChecker& decode, const StopFlag& stop);

}  // namespace trimora::verify
