// The range cutter: writes the packets of a recording between the start-th and the end-th time
// marker to a new file, byte for byte. Shows nothing; reports to its caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/marker_index.h"
#include "engine/record_file.h"
#include "engine/report.h"

namespace trimora {

// The source path as the overwrite guard compares it: a doubled backslash counts as one.
std::string ComparisonPath(const std::string& source);
// Whether writing `target` would write over `source`: the same path once compared that way, or
// the same file under another name (a link, another spelling, a letter case the file system
// ignores). Whatever writes a file beside a recording refuses such a target.
bool IsTheSource(const std::string& source, const std::string& target);

// Which bytes a cut of one range holds. Exact: every packet after the START-th time marker up to
// and including the END-th. Clean: the same range opened with the program's tables and a picture a
// decoder can start from, each stream from a PES start, and each PES open at the END-th marker
// made whole (cleancut/clean_cut.h); still only the recording's own packets, in their order. A
// range with no such start within reach is refused (CutOutcome::NotClean) and leaves no target.
enum class CutMode { kExact, kClean };

struct CutOptions {
  CutMode mode = CutMode::kExact;
  // Where the marker index of this source had already found the start-th marker: the seek goes
  // straight there instead of counting the markers again. Used only for this start and while the
  // source is still the file it was found in, which the cut checks itself.
  std::optional<MarkerIndex::Known> known_start;
};

// Cuts `source` from second `start` to second `end` into `target`, with the source in slot
// `file1` and the target in slot `file2`; closes on the way out what it opened. A target that is
// the source, under any spelling, is refused before anything is touched. The range is not
// checked: start >= end copies nothing, a negative start copies from the first packet. `report`
// hears each stage, the progress, and last how the cut ended: a finished cut once its target is
// complete and closed, a failure before the files are closed; the source is closed after either.
// A start beyond the source's last marker writes nothing, and the target it created is removed.
// Both modes go through the same stages and report the same way; the clean one reads the source
// once, front to back, too.
CutResult CutRecording(const std::string& source, const std::string& target, int32_t start, int32_t end,
                       SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report,
                       const CutOptions& options = {});

}  // namespace trimora
