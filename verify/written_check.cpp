#include "verify/written_check.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "cleancut/seamless_join.h"
#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace trimora::verify {

namespace {

constexpr std::size_t kChunk = kPacketSize * 4096;

// Reads the run's bytes from the source as the cut wrote them: its join's fields moved, the
// counters renumbered, and past the source's end the zero records an exact cut writes there.
void Planned(const os::File& source, int64_t at, std::size_t want, cleancut::ClockShift* shift,
             cleancut::ContinuityCounters* counters, uint8_t* out) {
  const std::size_t got = source.ReadAt(out, want, at);
  std::memset(out + got, 0, want - got);
  cleancut::RewriteHeaders(out, want / kPacketSize, at, shift, counters);
}

class Checker {
 public:
  Checker(const std::string& source, const std::string& target, const WrittenPlan& plan, const StopFlag& stop)
      : source_(os::File::OpenForReading(source)), target_(os::File::OpenForReading(target)), plan_(plan),
        stop_(stop), want_(kChunk), got_(kChunk) {
    if (plan.counters_run_on) counters_.emplace();
  }

  WrittenCheckResult Run(int32_t markers) {
    std::optional<cleancut::ClockShift> shift;
    int32_t join = -1;
    for (const WrittenRun& run : plan_.runs) {
      if (run.join != join && run.join >= 0) {
        const auto k = static_cast<std::size_t>(run.join);
        shift.emplace(plan_.ticks.at(k), plan_.key_dts.at(k).video_pid, plan_.key_dts.at(k).dts);
      }
      join = run.join;
      if (!CheckRun(run, run.join >= 0 ? &*shift : nullptr)) return r_;
    }
    uint8_t extra = 0;
    if (target_.ReadAt(&extra, 1, written_) != 0)
      Fail(WrittenCheck::kLength);
    else if (r_.markers != markers)
      Fail(WrittenCheck::kMarkers);
    return r_;
  }

 private:
  bool CheckRun(const WrittenRun& run, cleancut::ClockShift* shift) {
    for (int64_t at = run.offset; at < run.offset + run.length;) {
      if (stop_ != 0) return Fail(WrittenCheck::kStopped);
      const auto want = static_cast<std::size_t>(std::min<int64_t>(run.offset + run.length - at, int64_t(kChunk)));
      Planned(source_, at, want, shift, counters_ ? &*counters_ : nullptr, want_.data());
      if (target_.ReadAt(got_.data(), want, written_) != want) return Fail(WrittenCheck::kLength);
      if (std::memcmp(want_.data(), got_.data(), want) != 0) {
        const auto differs = std::mismatch(want_.begin(), want_.begin() + static_cast<std::ptrdiff_t>(want), got_.begin());
        r_.at = written_ + (differs.first - want_.begin());
        return Fail(WrittenCheck::kDiffers);
      }
      for (std::size_t i = 0; i + kPacketSize <= want; i += kPacketSize)
        if (TimeMarkerPacket(&got_[i])) ++r_.markers;
      written_ += static_cast<int64_t>(want);
      at += static_cast<int64_t>(want);
    }
    return true;
  }

  bool Fail(WrittenCheck outcome) {
    r_.outcome = outcome;
    return false;
  }

  os::File source_, target_;
  const WrittenPlan& plan_;
  const StopFlag& stop_;
  std::vector<uint8_t> want_, got_;
  std::optional<cleancut::ContinuityCounters> counters_;
  int64_t written_ = 0;
  WrittenCheckResult r_;
};

}  // namespace

WrittenCheckResult CheckWritten(const std::string& source, const std::string& target, const WrittenPlan& plan,
                                int32_t markers, const StopFlag& stop) {
  try {
    return Checker(source, target, plan, stop).Run(markers);
  } catch (const std::exception&) {
    return {WrittenCheck::kUnreadable, -1, 0};
  }
}

}  // namespace trimora::verify
