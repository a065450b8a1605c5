#include "scan/silences.h"

#include <cstdlib>

namespace trimora::scan {

namespace {

// -60 dBFS: the digital silence between spots; a quiet room of a programme is louder.
constexpr double kSilentPower = 1e-6;
// The pause at a boundary lasts a tenth of a second or more, of which the sound's coding may
// blur a frame at either edge, and a spot's half of it is half that; one of ten seconds is no
// boundary but a silent scene, not worth decoding pictures for.
constexpr int64_t kShortestSilence = kClock / 40;
constexpr int64_t kLongestSilence = 10 * kClock;
constexpr int64_t kLargestGap = kClock / 10;

}  // namespace

void SilenceFinder::Step(int64_t pts, int64_t duration, double power) {
  if (running_ && std::llabs(pts - expected_) > kLargestGap) Close();
  expected_ = pts + duration;
  const bool first = !started_;
  started_ = true;
  if (power >= kSilentPower) {
    Close();
    return;
  }
  if (!running_) running_ = SoundSilence{pts, pts};
  running_->to = pts + duration;
  if (first) opening_ = running_;
}

void SilenceFinder::Close() {
  if (!running_) return;
  if (opening_ && opening_->from == running_->from) opening_ = running_;
  const int64_t length = running_->to - running_->from;
  if (length >= kShortestSilence && length <= kLongestSilence) found_.push_back(*running_);
  running_.reset();
}

std::vector<SoundSilence> SilenceFinder::Finish() {
  closing_ = running_;
  Close();
  return found_;
}

SilentEnds SilenceFinder::Ends(const PictureSpan& pictures) const {
  return {opening_ && opening_->to >= pictures.first + kShortestSilence,
          closing_ && closing_->from <= pictures.end - kShortestSilence};
}

}  // namespace trimora::scan
