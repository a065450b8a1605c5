// Reading the video's clock: packet heads for the markers, the PAT and PMT for the video's PID,
// and the PES headers of that PID for the times of its pictures.
#include "clock/recording_clock.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <memory>

#include "core/pes.h"
#include "core/psi.h"
#include "core/ts_packet.h"

namespace trimora::clock {

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr int64_t kUnknown = INT64_MIN;

class Reader {
 public:
  void Look(const uint8_t* p) {
    if (TimeMarkerPacket(p)) {
      marker_pts_.push_back(kUnknown);
      return;
    }
    if (p[0] != kSyncByte) return;
    const uint16_t pid = ts_get_pid(p);
    if (pid == 0) {
      for (const std::vector<uint8_t>& s : pat_.Take(p)) OnPat(s);
    } else if (pid == pmt_pid_) {
      for (const std::vector<uint8_t>& s : pmt_.Take(p)) OnPmt(s);
    } else if (pid == video_pid_ && (p[1] & 0xC0) == 0x40) {
      if (const std::optional<int64_t> raw = pes::Pts(p)) OnPicture(*raw);
    }
  }

  ClockRead Result() {
    if (!seen_) return {ClockOutcome::kNoVideo, std::nullopt};
    return {ClockOutcome::kRead, RecordingClock(std::move(marker_pts_), last_pts_)};
  }

 private:
  void OnPat(const std::vector<uint8_t>& s) {
    if (!psi::SoundSection(s.data(), s.size(), psi::kPatTableId)) return;
    const std::optional<psi::Program> first = psi::FirstProgram(s.data(), s.size());
    if (!first || (first->number == program_ && first->pmt_pid == pmt_pid_)) return;
    program_ = first->number;
    pmt_pid_ = first->pmt_pid;
    pmt_.Reset();
  }

  void OnPmt(const std::vector<uint8_t>& s) {
    if (!psi::SoundSection(s.data(), s.size(), psi::kPmtTableId) || psi::PmtProgram(s.data()) != program_) return;
    for (const psi::Stream& stream : psi::PmtStreams(s.data(), s.size()))
      if (psi::IsVideoStream(stream.type)) {
        video_pid_ = stream.pid;
        return;
      }
  }

  // The markers read since the last picture with a time are those of this one.
  void OnPicture(int64_t raw) {
    const int64_t pts = seen_ ? Unwrap(raw, last_seen_) : raw;
    last_seen_ = pts;
    last_pts_ = seen_ ? std::max(last_pts_, pts) : pts;
    seen_ = true;
    for (; next_ < marker_pts_.size(); ++next_) marker_pts_[next_] = pts;
  }

  psi::SectionAssembler pat_, pmt_;
  uint16_t program_ = 0;
  int pmt_pid_ = -1, video_pid_ = -1;
  std::vector<int64_t> marker_pts_{kUnknown};  // [0]: the first picture
  std::size_t next_ = 0;                       // the first entry still without a picture
  bool seen_ = false;
  int64_t last_seen_ = 0, last_pts_ = 0;
};

}  // namespace

int64_t Unwrap(int64_t raw, int64_t near) {
  const int64_t base = near - (near % kPtsWrap + kPtsWrap) % kPtsWrap;  // the wrap `near` lies in
  int64_t best = base + raw;
  for (const int64_t candidate : {best - kPtsWrap, best + kPtsWrap})
    if (std::abs(candidate - near) < std::abs(best - near)) best = candidate;
  return best;
}

RecordingClock::RecordingClock(std::vector<int64_t> marker_pts, int64_t last_pts)
    : last_pts_(last_pts), marker_pts_(std::move(marker_pts)) {
  if (marker_pts_.empty() || marker_pts_[0] == kUnknown) marker_pts_.insert(marker_pts_.begin(), last_pts);
  first_pts_ = marker_pts_[0];
  // Markers after the last picture count on by their seconds; a picture shown a little earlier
  // than the one before it (pictures come in decoding order) never moves a marker back.
  for (std::size_t n = 1; n < marker_pts_.size(); ++n) {
    if (marker_pts_[n] == kUnknown) marker_pts_[n] = marker_pts_[n - 1] + kPtsPerSecond;
    marker_pts_[n] = std::max(marker_pts_[n], marker_pts_[n - 1]);
  }
}

int64_t RecordingClock::MarkerPts(int32_t n) const {
  return marker_pts_[static_cast<std::size_t>(std::clamp(n, 0, Markers()))];
}

CutTime RecordingClock::ToCutTime(int64_t pts) const {
  if (pts <= first_pts_) return {};
  const auto after = std::upper_bound(marker_pts_.begin(), marker_pts_.end(), pts);
  const auto n = static_cast<int32_t>(after - marker_pts_.begin()) - 1;
  const int64_t millis = (pts - marker_pts_[static_cast<std::size_t>(n)]) * 1000 / kPtsPerSecond;
  return {n, static_cast<int32_t>(std::min<int64_t>(millis, 999))};
}

ClockRead RecordingClock::Read(const os::File& file, const std::stop_token& stop,
                                                const std::function<void(int)>& percent) {
  try {
    const int64_t size = file.Size();
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
    Reader reader;
    int shown = 0;
    for (int64_t at = 0; at + static_cast<int64_t>(kPacketSize) <= size;) {
      if (stop.stop_requested()) return {ClockOutcome::kStopped, std::nullopt};
      const std::size_t got = file.ReadAt(buffer.get(), kChunk, at);
      const std::size_t whole = got / kPacketSize * kPacketSize;
      if (whole == 0) break;  // the file shrank
      for (std::size_t p = 0; p < whole; p += kPacketSize) reader.Look(buffer.get() + p);
      at += static_cast<int64_t>(whole);
      const int now = static_cast<int>(at * 100 / size);
      if (percent && now > shown) percent(shown = now);
    }
    return reader.Result();
  } catch (const std::exception&) {
    return {ClockOutcome::kCannotRead, std::nullopt};
  }
}

ClockRead RecordingClock::Read(const std::string& path, const std::stop_token& stop,
                                                const std::function<void(int)>& percent) {
  try {
    const os::File file = os::File::OpenForReading(path);
    return Read(file, stop, percent);
  } catch (const std::exception&) {
    return {ClockOutcome::kCannotRead, std::nullopt};
  }
}

}  // namespace trimora::clock
