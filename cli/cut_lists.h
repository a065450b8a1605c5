// What `trimora-cli cut` needs of the cut lists: the text of --ranges LIST, the recording's clock
// that the lists of other tools and --chapters count by, and the chapters file written after a
// job.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_common.h"
#include "clock/recording_clock.h"
#include "ranges/range_list.h"

namespace trimora::cli {

// The text of --ranges LIST: the file, or stdin for "-". A UsageError when it cannot be read.
std::string ReadListText(const std::string& list);

// The recording's clock, read with its progress on the terminal; nothing when there is none, the
// reason then printed (or a stop received).
std::optional<clock::RecordingClock> ReadClock(Session& s, const std::string& path);

// Writes the chapters of the saved job to `path` and prints the count, or why they could not be
// written. False on a failure.
bool SaveChapters(const std::string& path, const std::vector<KeptRange>& ranges, const clock::RecordingClock& clock);

}  // namespace trimora::cli
