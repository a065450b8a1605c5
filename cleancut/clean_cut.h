// The clean cut of a range: the bytes of the exact cut (after the START-th time marker up to and
// including the END-th one), trimmed so that the file opens with the program's tables and a
// picture a decoder can start from, and ends with every stream's last PES whole. Still only the
// recording's own packets, unchanged and in their order: the plan is a list of byte runs of the
// source, and the cut is their concatenation.
//
// Planning reads forward from the start byte only as far as the start picture and the first PES
// of every stream, a little back for the tables, and a little past the end byte: the long middle
// of the range is one run that is never read here, so a copier can move it at full speed.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/os/os.h"

namespace trimora::cleancut {

// Bytes [offset, offset + length) of the source, whole 188-byte packets.
struct ByteRun {
  int64_t offset = 0;
  int64_t length = 0;
  friend bool operator==(const ByteRun&, const ByteRun&) = default;
};

struct CleanCutPlan {
  // In output order: the PAT packet, the PMT packet, then the body in source order from
  // `body_start`. Neighbouring runs are merged (the tables with each other and with the body when
  // they lie just before it); besides the tables and one long run, the few others are short.
  std::vector<ByteRun> runs;
  int64_t size = 0;         // bytes of the clean cut: the sum of the runs' lengths
  int64_t body_start = 0;   // the first packet of the start picture (without video: of the first PES)
  bool has_video = false;   // whether the start is a random-access picture of a video stream
  // How far the body's start lies after the START-th marker, in the program's seconds: whole
  // markers passed, plus the share of the bytes between the two markers around it (the byte
  // rate of a recording when no marker follows).
  double seconds_after_marker = 0;
};

enum class CleanCutOutcome {
  kPlanned,
  kNoRandomAccess,   // no random-access picture (no PES start without video) within 5 markers, or before the end
  kNoProgramTables,  // no PAT or no PMT of its first program before the start
  kUnreadable,       // the source failed to read
  kStopped,          // the stop token was set
};

struct CleanCut {
  CleanCutOutcome outcome = CleanCutOutcome::kUnreadable;
  CleanCutPlan plan;  // when planned
};

// How many markers after the START-th one the start picture may lie: it must come before the
// (START + kMarkersInReach)-th marker.
inline constexpr int kMarkersInReach = 5;

// Plans the clean cut of `source` whose exact cut is [start_byte, end_byte): the byte just after
// the START-th marker (0 for START 0) and the byte just after the END-th marker (the file size
// when the recording ends first), as MarkerIndex::ByteAfterMarker gives them. The source is read
// with ReadAt only, so the file may be shared with other readers. Never throws.
CleanCut PlanCleanCut(const os::File& source, int64_t start_byte, int64_t end_byte, const std::stop_token& stop = {});
CleanCut PlanCleanCut(const std::string& path, int64_t start_byte, int64_t end_byte, const std::stop_token& stop = {});

}  // namespace trimora::cleancut
