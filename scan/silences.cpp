#include "scan/silences.h"

#include <cstdlib>

namespace trimora::scan {

namespace {

// -60 dBFS: the digital silence between spots; a quiet room of a programme is louder.
constexpr double kSilentPower = 1e-6;
// The pause at a boundary lasts a tenth of a second or more, of which the sound's coding may
// blur a frame at either edge; one of ten seconds is no boundary but a silent scene, not worth
// decoding pictures for.
constexpr int64_t kShortestSilence = kClock / 20;
constexpr int64_t kLongestSilence = 10 * kClock;
constexpr int64_t kLargestGap = kClock / 10;

}  // namespace

void SilenceFinder::Step(int64_t pts, int64_t duration, double power) {
  if (running_ && std::llabs(pts - expected_) > kLargestGap) Close();
  expected_ = pts + duration;
  if (power >= kSilentPower) {
    Close();
    started_ = true;
    return;
  }
  if (!running_) {
    running_ = SoundSilence{pts, pts};
    opening_ = !started_;
  }
  started_ = true;
  running_->to = pts + duration;
}

void SilenceFinder::Close() {
  if (!running_) return;
  const int64_t length = running_->to - running_->from;
  if (opening_ && length >= kShortestSilence) ends_.start = true;
  opening_ = false;
  if (length >= kShortestSilence && length <= kLongestSilence) found_.push_back(*running_);
  running_.reset();
}

std::vector<SoundSilence> SilenceFinder::Finish() {
  ends_.end = running_ && running_->to - running_->from >= kShortestSilence;
  Close();
  return found_;
}

}  // namespace trimora::scan
