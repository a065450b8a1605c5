// Which boundaries make commercial breaks: spots run 15 s or a multiple of it, so a break is a
// chain of boundaries 15, 30 or 60 seconds apart (within half a second a spot), and the programme
// is what lies between the breaks. Plain arithmetic on the video's 90 kHz clock, no decoding.
#pragma once

#include <cstdint>
#include <vector>

namespace trimora::scan {

inline constexpr int64_t kClock = 90000;  // PTS units a second

// A span of the recording on the 90 kHz line: from its first picture to `to` (see each use).
struct PtsSpan {
  int64_t from = 0;
  int64_t to = 0;
};

// Where the sound fell silent, first and last silent moment.
using SoundSilence = PtsSpan;

// A cut to another picture inside a silence: the first picture after it, and the one before it.
struct Boundary {
  int64_t first_after = 0;
  int64_t last_before = 0;
};

// The recording's pictures: the first, the last, and where the last one ends.
struct PictureSpan {
  int64_t first = 0;
  int64_t last = 0;
  int64_t end = 0;
};

// Whether the sound opens and closes with a silence. A break can reach the recording's start or
// end only then: a spot begins and ends with one, and a programme stretch of a spot's length at
// either end is no break.
struct SilentEnds {
  bool start = false;
  bool end = false;
};

// The silences that could hold a boundary of a break: those 15·n seconds (n = 1, 2, 4) from
// another one or from a silent start or end of the recording, give or take the silences' own lengths. Only
// these are worth decoding pictures for. Silences in order of time.
std::vector<SoundSilence> SilencesThatCouldChain(const std::vector<SoundSilence>& silences, const PictureSpan& pictures,
                                                 SilentEnds ends);

struct Programme {
  std::vector<PtsSpan> kept;    // the programme: first to last picture of each stretch
  std::vector<PtsSpan> breaks;  // the breaks: first picture of each to the first picture after it
};

// The breaks that the boundaries (in order of time) chain into, and the programme around them.
Programme ChooseBreaks(const std::vector<Boundary>& boundaries, const PictureSpan& pictures, SilentEnds ends);

}  // namespace trimora::scan
