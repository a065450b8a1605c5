#include "scan/break_chains.h"

#include <algorithm>
#include <optional>

namespace trimora::scan {

namespace {

constexpr int64_t kSpotSeconds = 15;
constexpr int kSpotMultiples[] = {1, 2, 4};  // spots of 15, 30 and 60 seconds
constexpr int64_t kSpotSlack = kClock / 2;  // how far a spot may miss its length
constexpr int64_t kLongestSpot = 4 * kSpotSeconds * kClock + kSpotSlack;

// Whether some spot length lies within [low, high] widened by the slack.
bool SpotLengthWithin(int64_t low, int64_t high) {
  for (const int n : kSpotMultiples) {
    const int64_t length = n * kSpotSeconds * kClock;
    if (length >= low - kSpotSlack && length <= high + kSpotSlack) return true;
  }
  return false;
}

// One point a break may start or end at: a boundary, or the recording's start or end, which
// a break at the very start or end reaches.
struct Point {
  int64_t first_after;
  int64_t last_before;
  bool start = false, end = false;  // the recording's start or end
};

std::vector<Point> PointsOf(const std::vector<Boundary>& boundaries, const PictureSpan& pictures, SilentEnds ends) {
  std::vector<Point> points;
  if (ends.start) points.push_back({pictures.first, pictures.first, true, false});
  for (const Boundary& b : boundaries)
    if (b.first_after > pictures.first && b.first_after < pictures.end) points.push_back({b.first_after, b.last_before});
  if (ends.end) points.push_back({pictures.end, pictures.last, false, true});
  return points;
}

// The spans between points that are spot lengths apart, joined where they touch or overlap:
// each is a break, as indices of its first and last point.
std::vector<std::pair<std::size_t, std::size_t>> Chains(const std::vector<Point>& points) {
  std::vector<std::pair<std::size_t, std::size_t>> chains;
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t j = i + 1; j < points.size(); ++j) {
      const int64_t length = points[j].first_after - points[i].first_after;
      if (length > kLongestSpot) break;
      if (!SpotLengthWithin(length, length)) continue;
      if (!chains.empty() && i <= chains.back().second) chains.back().second = std::max(chains.back().second, j);
      else chains.emplace_back(i, j);
    }
  }
  return chains;
}

}  // namespace

std::vector<SoundSilence> SilencesThatCouldChain(const std::vector<SoundSilence>& silences, const PictureSpan& pictures,
                                                 SilentEnds ends) {
  // The recording's ends stand in as silences of no length, or far out of reach.
  constexpr int64_t kOutOfReach = 2 * kLongestSpot;
  std::vector<SoundSilence> spans{{pictures.first - (ends.start ? 0 : kOutOfReach), pictures.first - (ends.start ? 0 : kOutOfReach)}};
  spans.insert(spans.end(), silences.begin(), silences.end());
  spans.push_back({pictures.end + (ends.end ? 0 : kOutOfReach), pictures.end + (ends.end ? 0 : kOutOfReach)});
  std::vector<bool> chains(spans.size(), false);
  for (std::size_t i = 0; i < spans.size(); ++i) {
    for (std::size_t j = i + 1; j < spans.size(); ++j) {
      if (spans[j].from - spans[i].to > kLongestSpot) break;
      if (SpotLengthWithin(spans[j].from - spans[i].to, spans[j].to - spans[i].from)) chains[i] = chains[j] = true;
    }
  }
  std::vector<SoundSilence> kept;
  for (std::size_t i = 1; i + 1 < spans.size(); ++i)
    if (chains[i]) kept.push_back(spans[i]);
  return kept;
}

Programme ChooseBreaks(const std::vector<Boundary>& boundaries, const PictureSpan& pictures, SilentEnds ends) {
  const std::vector<Point> points = PointsOf(boundaries, pictures, ends);
  Programme p;
  int64_t from = pictures.first;  // where the stretch of programme running now began
  bool running = true;            // whether one runs: a break at the end leaves none
  for (const auto& [first, last] : Chains(points)) {
    if (running && !points[first].start && points[first].last_before >= from) p.kept.push_back({from, points[first].last_before});
    p.breaks.push_back({points[first].first_after, points[last].first_after});
    running = !points[last].end;
    from = points[last].first_after;
  }
  if (running && pictures.last >= from) p.kept.push_back({from, pictures.last});
  return p;
}

}  // namespace trimora::scan
