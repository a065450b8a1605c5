// Where a clean range begins and ends by the pictures' and the sound's own times, at a point
// finer than a second (a marker and thousandths after it by the video's clock): the key picture
// it starts with and the leading pictures to leave out, the GOP its video ends before, and where
// each sound stream starts and stops so that it covers the pictures kept and no more. Found from
// packet and PES headers only; what to copy from them is the planner's.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <vector>

#include "cleancut/clean_cut.h"
#include "cleancut/picture_order.h"
#include "cleancut/random_access.h"
#include "platform/os/os.h"

namespace trimora::cleancut {

// Where one stream's packets begin (or stop): at the first packet of one of its PES.
struct StreamEdge {
  uint16_t pid = 0;
  int64_t at = -1;
  friend bool operator==(const StreamEdge&, const StreamEdge&) = default;
};

// The key picture a range of a clean job starts with, as the range before it has to end before
// it in the order its pictures are shown in: H.264 whose pictures send their count.
struct JoinKey {
  OrderSyntax syntax;
  uint32_t low = 0;  // the count's low bits the key picture sends
};

struct TimedStart {
  int64_t key = -1;      // the first packet of the key picture the range starts with
  int64_t key_pts = 0;   // its PTS: the first picture the range shows
  int64_t key_after = 0; // how far it shows after the marker's first picture, in 90 kHz ticks
  // The leading pictures: after the key picture in the file, shown before it, and decoded from
  // pictures before it. The video's packets in [leading_from, leading_to) are left out; the two
  // are equal when there are none.
  int64_t leading_from = -1, leading_to = -1;
  int64_t next_dts = -1;  // the DTS (or PTS) of the first picture kept after the key picture; -1: none read
  int64_t picture = 0;    // one picture's length in 90 kHz ticks
  // Each sound stream's first PES whose PTS is at or after key_pts (-1: none within reach).
  std::vector<StreamEdge> sound;
  std::optional<JoinKey> order;  // the key picture's count, when the video sends one
};

struct TimedEnd {
  // The first packet of the key picture whose GOP is not kept: no packet of the video from here
  // on. At the scan's start when not even the first GOP is whole before the time.
  int64_t video_end = -1;
  // Where the GOPs kept end when the video ends earlier in its last one, before the next range's
  // key picture (FindTimedEnd): the packets of no stream, the time markers among them, run on to
  // here. -1 otherwise.
  int64_t gop_end = -1;
  int64_t stop_pts = 0;  // when the last picture kept stops showing
  int64_t last_dts = -1; // the DTS (or PTS) of the last picture before video_end in the file; -1: none read
  // Each sound stream stops just before its first PES whose PTS is at or after stop_pts: the PES
  // that covers the last picture's end is kept. Such a PES often lies after video_end, since a
  // muxer writes sound later than pictures of the same time. The reach's end when none is found.
  std::vector<StreamEdge> sound;
};

enum class EdgeOutcome {
  kFound,
  kNoKey,       // no key picture within kMarkersInReach markers (start), or no picture at all (end)
  kUnreadable,  // the source failed to read
  kStopped,     // the stop token was set
};

struct TimedStartResult {
  EdgeOutcome outcome = EdgeOutcome::kUnreadable;
  TimedStart start;
};

struct TimedEndResult {
  EdgeOutcome outcome = EdgeOutcome::kUnreadable;
  TimedEnd end;
};

// The start `millis` thousandths after the marker that ends just before `marker_byte` (0: the
// recording's start), counted from the PTS of the first video PES that starts after that byte:
// the first key picture whose PTS is at or after that time. Never throws.
TimedStartResult FindTimedStart(const os::File& source, int64_t marker_byte, int32_t millis,
                                const ProgramStreams& streams, const std::stop_token& stop = {});

// The end `millis` thousandths after the marker that ends just before `marker_byte`, counted the
// same way: the video keeps every GOP, from the one that begins at `from` (a key picture at or
// before `marker_byte`), whose pictures all start before that time (to within its thousandth).
// With `next`, the key picture of the range that follows in a clean job: a decoder that goes on
// from the range into it counts it from the range's last reference picture, so the video ends
// earlier in its last GOP, where no picture kept shows after a picture left out, when that
// count would put the key picture before a picture kept. Never throws.
TimedEndResult FindTimedEnd(const os::File& source, int64_t from, int64_t marker_byte, int32_t millis,
                            const ProgramStreams& streams, const std::stop_token& stop = {},
                            const JoinKey* next = nullptr);

// Where an exact cut at a time finer than a second starts or stops: the first video PES, after
// the marker that ends just before `marker_byte`, whose PTS is at or after the time (counted as
// above). The first byte of that PES's first packet; -1 when none lies within kMarkersInReach
// markers, -2 when the source cannot be read or a stop is requested.
int64_t FirstPictureAt(const os::File& source, int64_t marker_byte, int32_t millis, uint16_t video_pid,
                       const std::stop_token& stop = {});

// Where an exact cut at `millis` after the marker that ends just before `marker_byte` starts or
// stops: FirstPictureAt on the video the tables in force there name (from the recording's start,
// the first tables after it); the marker byte itself without video or without such a picture
// within reach. -1 when the source cannot be read or a stop is requested. Never throws.
int64_t ExactCutPoint(const os::File& source, int64_t marker_byte, int32_t millis, const std::stop_token& stop = {});

// The packets of the source a range with these edges keeps, as runs in source order (the tables
// that open it are the planner's): the video from the key picture up to video_end without its
// leading pictures, each sound stream from its start up to its stop, and every other packet
// between the first and the last of those. The long middle is one run that is not read here.
// Throws a std::exception when the source cannot be read or a stop is requested.
std::vector<ByteRun> TimedRuns(const os::File& source, const ProgramStreams& streams, const TimedStart& start,
                               const TimedEnd& end, const std::stop_token& stop = {});

// A clean range cut by the times of its pictures and sound: the tables in force at its start,
// then what TimedRuns keeps from the first key picture at or after `start_millis` after the marker
// that ends at `start_byte` up to the last whole GOP before `end_millis` after the one that ends
// at `end_byte` (-1: the recording ends before that marker; the range runs to its last whole
// packet), its end before `next` as FindTimedEnd has it. Without video, the clean cut of the
// markers (PlanCleanCut). Refused as kNoRandomAccess when no whole GOP lies between the two
// times. Never throws.
struct TimedCut {
  CleanCutOutcome outcome = CleanCutOutcome::kUnreadable;
  std::vector<ByteRun> runs;  // in output order, the tables first
  int64_t size = 0;           // the sum of the runs' lengths
  bool has_video = false;
  uint16_t video_pid = 0;
  TimedStart start;           // with video
  TimedEnd end;
};
TimedCut PlanTimedCut(const os::File& source, int64_t start_byte, int32_t start_millis, int64_t end_byte,
                      int32_t end_millis, const std::stop_token& stop = {}, const JoinKey* next = nullptr);

// The start of such a range, planned on its own: a job plans the next range's start before the
// end of the range before it, which must end before that range's key picture, and then goes on
// from it. Never throws.
struct TimedHead {
  int64_t start_byte = 0;
  CleanHeadResult tables;   // the tables in force there and what they name
  TimedStartResult start;   // with video: the key picture it starts with
  // The JoinKey of that key picture; nothing when its video is no H.264 that sends the count.
  std::optional<JoinKey> Key() const;
};
TimedHead PlanTimedHead(const os::File& source, int64_t start_byte, int32_t start_millis, const std::stop_token& stop = {});
TimedCut PlanTimedCut(const os::File& source, const TimedHead& head, int64_t end_byte, int32_t end_millis,
                      const std::stop_token& stop = {}, const JoinKey* next = nullptr);

}  // namespace trimora::cleancut
