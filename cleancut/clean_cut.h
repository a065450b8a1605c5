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
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "cleancut/random_access.h"
#include "platform/os/os.h"

namespace trimora::cleancut {

// Bytes [offset, offset + length) of the source, whole 188-byte packets.
struct ByteRun {
  int64_t offset = 0;
  int64_t length = 0;
  friend bool operator==(const ByteRun&, const ByteRun&) = default;
};

struct CleanCutPlan {
  // In output order: the PAT's packets, the PMT's packets, then the body in source order from
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

// The same cut planned in two parts by a cutter that reads the source once, front to back, and
// learns the end byte only when it gets there. The head is planned from the start byte as soon as
// the START-th marker is read; the range then goes on whole from `resume` to the end byte, and
// the tail follows it.
struct CleanHead {
  // In output order: the PAT's packets, the PMT's packets, then the body's first packets up to `resume`.
  std::vector<ByteRun> runs;
  int64_t resume = 0;
  // The END-th marker is the last packet of `runs`: nothing of the range is left to copy, and
  // `resume` is the end byte.
  bool ends_in_head = false;
  int64_t body_start = 0;
  bool has_video = false;
  double seconds_after_marker = 0;
  std::vector<uint16_t> streams;  // the elementary streams of the tables in force at the start
  std::vector<uint16_t> started;  // those that started in the head
  std::vector<ByteRun> tables;    // the PAT's and the PMT's packets that open `runs`
  ProgramStreams program;         // what those tables name
};

struct CleanHeadResult {
  CleanCutOutcome outcome = CleanCutOutcome::kUnreadable;
  CleanHead head;  // when planned
};

// The head of the clean cut from `start_byte` (as for PlanCleanCut) of a range whose END-th
// marker is the `markers_to_end`-th marker from the start byte on (END - START). Never throws.
CleanHeadResult PlanCleanHead(const os::File& source, int64_t start_byte, int32_t markers_to_end,
                              const std::stop_token& stop = {});
// The tail after `end_byte`, the byte just after the END-th marker: the packets that complete the
// PES each stream had open there. Throws a std::exception when the source cannot be read
// (or on a stop request).
std::vector<ByteRun> PlanCleanTail(const os::File& source, const CleanHead& head, int64_t end_byte,
                                   const std::stop_token& stop = {});

// The streams the tables in force just before `byte` name; nothing when no PAT and PMT of its first
// program lie within reach before it, or the source cannot be read.
std::optional<ProgramStreams> ProgramBefore(const os::File& source, int64_t byte);

// The byte just after the last video packet of a clean cut whose END-th marker ends at `end_byte`:
// where the video of its tail ends (end_byte without video, or when no video PES is open there),
// for the last picture of the cut. -1 when the source cannot be read.
int64_t CleanVideoEnd(const os::File& source, int64_t end_byte);

}  // namespace trimora::cleancut
