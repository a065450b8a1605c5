// The range cutter: writes the packets of a recording between the start-th and the end-th time
// marker to a new file, byte for byte. Shows nothing; reports to its caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/cut_time.h"
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
//
// A time finer than a second counts its thousandths from its marker by the video's clock
// (core/cut_time.h). Exact: the cut starts (ends) at the first video PES after the marker whose
// PTS is at or after the time; without video, at the marker. Clean: the range starts with the
// first key picture at or after the time and leaves out the leading pictures that show before it,
// ends with the last whole GOP whose pictures all start before END's time, and its sound runs
// from the first picture shown to the end of the last one (cleancut/timed_edges.h). Every range
// of a clean job of two or more ranges is cut so, whole seconds too, from its second range on
// its PCR, PTS and DTS run on from the range before, and every PID's continuity counters run on
// across the packets the job leaves out (cleancut/seamless_join.h); whole-second single cuts keep
// the edges above, and every single cut the recording's headers.
enum class CutMode { kExact, kClean };

struct CutOptions {
  CutMode mode = CutMode::kExact;
  // Where the marker index of this source had already found the start-th marker: the seek goes
  // straight there instead of counting the markers again. Used only for this start and while the
  // source is still the file it was found in, which the cut checks itself.
  std::optional<MarkerIndex::Known> known_start;
  // How many markers the whole source holds, when its index has read all of it: a first START
  // past the last marker is refused before the target is touched. Used while the source is still
  // the file that was counted.
  std::optional<MarkerIndex::Total> known_total;
  // A clean job written with the recording's own clocks and continuity counters: the yardstick
  // the benchmark measures the header work against. No program sets it.
  bool keep_clocks = false;
};

// Cuts `source` from second `start` to second `end` into `target`, with the source in slot
// `file1` and the target in slot `file2`; closes on the way out what it opened. A target that is
// the source, under any spelling, is refused before anything is touched. The range is not
// checked: start >= end copies nothing, a negative start copies from the first packet. `report`
// hears each stage, the progress, and last how the cut ended: a finished cut once its target is
// complete and closed, a failure before the files are closed; the source is closed after either.
// A start beyond the source's last marker writes nothing, and the target it created is removed;
// when `options.known_total` already tells so, the target is not touched at all.
// Both modes go through the same stages and report the same way. The clean one decides all that
// the source alone decides (where START lies, whether a clean start is within reach) while the
// source is being opened, reading the source from its own handle of the same file, so that a
// refused clean cut leaves an old target as it was; the copy then reads the source once, front
// to back, from START on. A clean cut holds only the recording's packets: it ends at the last
// whole one, without the exact cut's zero records.
CutResult CutRecording(const std::string& source, const std::string& target, CutTime start, CutTime end,
                       SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report,
                       const CutOptions& options = {});

// One range of a job: what a cut from `start` to `end` writes, in the job's mode.
struct CutPart {
  CutTime start;
  CutTime end;
};

// A job of several ranges, ascending and not overlapping (an END may be the next START), cut in
// one pass over the source into one target, which holds one after another exactly what a cut of
// each range alone writes: the zero and damaged records are counted in each range, as its own cut
// counts them, and a range that ends at a packet error is followed by the next. The job is one
// cut for everything else: its stages are shown once, the progress runs over the whole job and it
// ends as the worst of its ranges ends; CutResult::part says in which range. The ranges are not
// checked here; whoever builds a job checks them first (ranges/range_list.h).
// `options.known_start` is the first range's, as for one cut; the mode is every range's. In clean
// mode every range is planned before the target is touched: one that cannot be made clean refuses
// the whole job as NotClean, in that range, and nothing is written or deleted. Ranges of a clean
// job that touch (an END that is the next START) are cut as one: a join inside a stretch would
// only lose the pictures around it.
CutResult CutRecording(const std::string& source, const std::string& target, const std::vector<CutPart>& parts,
                       SourceFile& file1, TargetFile& file2, const StopFlag& stop, CutReport& report,
                       const CutOptions& options = {});

}  // namespace trimora
