#include "scan/proposal.h"

#include <algorithm>

namespace trimora::scan {

namespace {

// A time that ends a stretch is rounded up to the thousandth, so that its last picture lies
// within it; one that starts a stretch is rounded down by ToCutTime.
constexpr int64_t kUpToTheMillisecond = clock::kPtsPerSecond / 1000 - 1;
// A sliver of programme between two breaks, or between a break and the recording's end, is no
// stretch worth a range: a clean cut could not even find a key picture in it.
constexpr int64_t kShortestStretchMillis = 1000;


}  // namespace

Proposal Propose(const Programme& found, const PictureSpan& pictures, const clock::RecordingClock& clock) {
  Proposal p;
  const CutTime last_marker{clock.Markers()};
  for (const PtsSpan& kept : found.kept) {
    const CutTime start = std::min(clock.ToCutTime(kept.from), last_marker);
    const CutTime end = kept.to >= pictures.last ? last_marker : clock.ToCutTime(kept.to + kUpToTheMillisecond);
    if (MillisBetween(start, std::min(end, last_marker)) >= kShortestStretchMillis)
      p.programme.push_back({start, std::min(end, last_marker)});
  }
  return p;
}

}  // namespace trimora::scan
