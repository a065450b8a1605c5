// Joins that play on: from the second range of a clean job on, every PCR, PTS and DTS is moved by
// one offset per join, so that the range's first picture follows the last picture of the range
// before at the frame rate and the clock runs on; and every PID's continuity counter runs on
// across the packets the job leaves out. Only header fields change; every payload byte of picture
// and sound stays the recording's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trimora::cleancut {

// The offset that puts a range whose first picture shows at `key_pts` right after a range before
// whose last picture stops showing at `stop_pts` (both as the output has them), on the 33-bit clock.
int64_t JoinOffset(int64_t stop_pts, int64_t key_pts);

// A value of the 33-bit clock moved by `ticks`, wrapped.
int64_t MoveTime(int64_t time, int64_t ticks);

// The DTS a join gives the key picture its range starts with, all times as the output has them:
// one picture before it shows, but after `last_dts` (the last picture decoded before the join),
// at most `key_pts`, and before `next_dts` (the next picture kept; -1: none). The key picture of
// an open GOP decodes before its leading pictures, which show before it: with those left out, its
// own DTS would lie before the last pictures of the range before. -1 when no time fits.
int64_t KeyDts(int64_t last_dts, int64_t key_pts, int64_t next_dts, int64_t picture);

// The later of two times on the wrapping clock.
int64_t LaterTime(int64_t a, int64_t b);

// Moves the times of the packets of one range as they pass. The first packet of each PID that
// carries an adaptation field gets the discontinuity_indicator: a packet without one is not
// given one (that would move its payload) and no packet is added (the output stays the
// recording's packets); the PCR's PID, whose packets at a key picture carry one, is the one a
// decoder's clock follows. A DTS of `video_pid` that would lie before `key_dts` (KeyDts; -1:
// none) is written as `key_dts`: in a range as planned the key picture's is the only one.
class ClockShift {
 public:
  explicit ClockShift(int64_t ticks, uint16_t video_pid = 0, int64_t key_dts = -1)
      : ticks_(ticks), video_pid_(video_pid), key_dts_(key_dts) {}
  void Apply(uint8_t* packet);

 private:
  int64_t ticks_;
  uint16_t video_pid_;
  int64_t key_dts_;
  std::vector<uint16_t> marked_;
};

// Continuity counters that run on across every gap in a job's output. Within a stretch of packets
// that lie one after another in the source each PID's counters move by one offset, so a repeated
// packet still repeats and one without payload still holds its counter. After a gap (the first
// packet of a stretch that does not follow the last one) each PID's first packet with payload
// gets the counter after the last one written of that PID, and the PID's offset is taken from
// there; packets without payload before it hold that last counter. A PID's first packet keeps its
// own counter. Damaged packets and null packets pass as they are.
class ContinuityCounters {
 public:
  // `count` packets read one after another from the source at `offset`, renumbered in place.
  void Apply(uint8_t* packets, std::size_t count, int64_t offset);

 private:
  struct Pid {
    uint32_t stretch = 0;  // the stretch the offset was taken in; 0: never seen
    uint8_t offset = 0;
    uint8_t last = 0;      // the last counter written
  };
  std::vector<Pid> pids_ = std::vector<Pid>(8192);
  uint32_t stretch_ = 0;
  int64_t next_ = -1;  // the source's byte right after the last packet renumbered
};

// The header work of a clean job on `count` packets read one after another from the source at
// `offset`, as the cut writes them and the check after a save rebuilds them: the join's times
// moved (`shift`, none outside a join), then the counters run on (`counters`, none outside a job).
void RewriteHeaders(uint8_t* packets, std::size_t count, int64_t offset, ClockShift* shift,
                    ContinuityCounters* counters);

}  // namespace trimora::cleancut
