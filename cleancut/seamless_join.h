// Joins that play on: from the second range of a clean job on, every PCR, PTS and DTS is moved by
// one offset per join, so that the range's first picture follows the last picture of the range
// before at the frame rate and the clock runs on. Only header fields change; every payload byte
// of picture and sound stays the recording's own.
#pragma once

#include <cstdint>
#include <vector>

namespace trimora::cleancut {

// The offset that puts a range whose first picture shows at `key_pts` right after a range before
// whose last picture stops showing at `stop_pts` (both as the output has them), on the 33-bit clock.
int64_t JoinOffset(int64_t stop_pts, int64_t key_pts);

// A value of the 33-bit clock moved by `ticks`, wrapped.
int64_t MoveTime(int64_t time, int64_t ticks);

// Moves the times of the packets of one range as they pass. The first packet of each PID that
// carries an adaptation field gets the discontinuity_indicator: a packet without one is not
// given one (that would move its payload) and no packet is added (the output stays the
// recording's packets); the PCR's PID, whose packets at a key picture carry one, is the one a
// decoder's clock follows.
class ClockShift {
 public:
  explicit ClockShift(int64_t ticks) : ticks_(ticks) {}
  void Apply(uint8_t* packet);

 private:
  int64_t ticks_;
  std::vector<uint16_t> marked_;
};

}  // namespace trimora::cleancut
