// The silences of the sound, from its level in steps of ten milliseconds: a run of quiet steps
// long enough to be a pause between spots, and short enough to be one.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "scan/break_chains.h"

namespace trimora::scan {

class SilenceFinder {
 public:
  // One step of sound from `pts` for `duration`, and its mean power (mean square of the samples,
  // full scale 1). Steps come in order of time; a gap in the times ends a silence.
  void Step(int64_t pts, int64_t duration, double power);
  // The silences so far, and the one still running at the end of the sound.
  std::vector<SoundSilence> Finish();
  // Whether the sound opens and closes with a silence among the pictures, as a spot at the very
  // start or end does. The decoder's own quiet before the first picture (an AAC encoder's
  // priming) and after the last one (its padding of the last frame) is none.
  SilentEnds Ends(const PictureSpan& pictures) const;

 private:
  void Close();
  std::vector<SoundSilence> found_;
  std::optional<SoundSilence> running_;
  int64_t expected_ = 0;
  bool started_ = false;
  std::optional<SoundSilence> opening_, closing_;  // the silences the sound begins and ends with
};

}  // namespace trimora::scan
