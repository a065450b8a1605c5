// The video's clock against the time markers of a recording: the presentation time (PTS) of the
// first picture after each marker. Times finer than a second are counted from a marker by this
// clock, and the lists of other tools count seconds and frames from the recording's first
// picture; this is where the two meet. Read once, front to back, from packet and PES headers only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "core/cut_time.h"
#include "core/pes.h"
#include "platform/os/os.h"

namespace trimora::clock {

inline constexpr int64_t kPtsPerSecond = pes::kTicksPerSecond;
inline constexpr int64_t kPtsWrap = pes::kWrap;

// A 33-bit timestamp as the value on one unbroken line nearest to `near`: a stream's clock wraps
// every 26.5 hours, and a recording may cross the wrap.
int64_t Unwrap(int64_t raw, int64_t near);

enum class ClockOutcome {
  kRead,        // the clock is known
  kNoVideo,     // no picture with a time: the first program of the PAT has no video the PMT names
  kCannotRead,  // the recording cannot be opened or read
  kStopped,     // the stop token was set
};

struct ClockRead;

class RecordingClock {
 public:
  // Reads the whole recording; `percent` hears the share read so far, once per whole percentage.
  static ClockRead Read(const os::File& file, const std::stop_token& stop = {},
                        const std::function<void(int)>& percent = {});
  static ClockRead Read(const std::string& path, const std::stop_token& stop = {},
                        const std::function<void(int)>& percent = {});

  // The PTS of the first picture of the recording (the first video PES with a time), and of its
  // last one (the latest time a picture of the recording is shown at), on the unwrapped line.
  int64_t FirstPts() const { return first_pts_; }
  int64_t LastPts() const { return last_pts_; }
  // The time markers of the recording.
  int32_t Markers() const { return static_cast<int32_t>(marker_pts_.size()) - 1; }
  // The PTS of the first picture after the n-th marker (n = 0: the first picture of the
  // recording). A marker after the last picture counts on from the last one known by the second
  // it stands for; n is clamped to 0..Markers().
  int64_t MarkerPts(int32_t n) const;

  // The point `pts` is at: the last marker whose picture is not later, and the thousandths after
  // it (at most 999); before the first picture, 0:00:00.
  CutTime ToCutTime(int64_t pts) const;
  int64_t ToPts(CutTime time) const { return MarkerPts(time.second) + int64_t{time.millis} * kPtsPerSecond / 1000; }

  // Made from known values, for whoever has counted them already (and for tests): marker_pts[0]
  // is the first picture's PTS, marker_pts[n] the n-th marker's.
  RecordingClock(std::vector<int64_t> marker_pts, int64_t last_pts);

 private:
  int64_t first_pts_ = 0, last_pts_ = 0;
  std::vector<int64_t> marker_pts_;  // ascending
};

struct ClockRead {
  ClockOutcome outcome = ClockOutcome::kCannotRead;
  std::optional<RecordingClock> clock;  // when read
};

}  // namespace trimora::clock
