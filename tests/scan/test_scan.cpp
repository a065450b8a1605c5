// The search for commercial breaks on recordings with breaks made for it: the programme's
// stretches it proposes, against the layout, within half a second; and how it ends without sound,
// without a recording, or stopped.
#include <gtest/gtest.h>

#include <algorithm>
#include <stop_token>
#include <string>
#include <vector>

#include "clock/recording_clock.h"
#include "core/cut_time.h"
#include "scan/scan.h"
#include "scan/silences.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
#include "tests/scan/break_recording.h"

namespace trimora::testkit {
namespace {

constexpr double kSlack = 0.5;

std::string Seconds(const std::vector<Span>& spans) {
  std::string text;
  for (const Span& s : spans) text += std::to_string(s.from) + "-" + std::to_string(s.to) + " ";
  return text;
}

void ExpectProgramme(const BreakLayout& layout, const scan::ScanResult& got) {
  ASSERT_EQ(got.outcome, scan::ScanOutcome::kScanned);
  std::vector<Span> found;
  for (const scan::PtsSpan& s : got.found.kept)
    found.push_back({static_cast<double>(s.from - got.pictures.first) / scan::kClock,
                     static_cast<double>(s.to - got.pictures.first) / scan::kClock});
  const std::vector<Span> made = ProgrammeSpans(layout);
  ASSERT_EQ(found.size(), made.size()) << "found " << Seconds(found) << " made " << Seconds(made);
  for (std::size_t i = 0; i < made.size(); ++i) {
    EXPECT_NEAR(found[i].from, made[i].from, kSlack) << i << ": found " << Seconds(found) << " made " << Seconds(made);
    EXPECT_NEAR(found[i].to, made[i].to, kSlack) << i << ": found " << Seconds(found) << " made " << Seconds(made);
  }
}

TEST(ScanBreaks, MpegTwoWithLayerTwo) {
  TempDir dir;
  BreakLayout layout;
  layout.stretches = {{true, 15}, {false, 40}, {true, 15}, {true, 30}, {true, 15}, {true, 15}, {false, 35}};
  // Programme silences 15 s apart and one near a spot's length from a boundary: none with a cut.
  layout.programme_silences = {{20, 0.4}, {35, 0.6}, {72 + 15 * 4 + 20, 1.0}};
  WriteBreakRecording(dir / "rec.nts", layout);
  ExpectProgramme(layout, scan::ScanRecording((dir / "rec.nts").string()));
}

}  // namespace
}  // namespace trimora::testkit

namespace trimora::testkit {
namespace {

// Here only the spots fall silent at their ends: the cuts lie at the silences' edges.
TEST(ScanBreaks, HTwoSixtyFourWithAac) {
  TempDir dir;
  BreakLayout layout;
  layout.h264 = true;
  layout.silent_programme_edges = false;
  layout.stretches = {{false, 33}, {true, 60}, {true, 15}, {false, 47}, {true, 30}};
  layout.programme_silences = {{5, 0.3}, {20, 0.3}, {93 + 12, 2.0}};
  WriteBreakRecording(dir / "rec.nts", layout);
  ExpectProgramme(layout, scan::ScanRecording((dir / "rec.nts").string()));
}

// A programme stretch as long as a spot at either end of the recording is kept: only a sound that
// opens or closes silent, as a spot does, lets a break reach the start or end. (Programme of 60.2 s
// at the end was once dropped as a spot.)
TEST(ScanBreaks, ReachTheRecordingsEndsOnlyFromASilence) {
  const int64_t s = scan::kClock;
  const scan::PictureSpan pictures{0, 120 * s - s / 10, 120 * s};
  const std::vector<scan::Boundary> boundaries{{60 * s, 60 * s - s / 10}};
  const scan::Programme loud = scan::ChooseBreaks(boundaries, pictures, {});
  ASSERT_EQ(loud.kept.size(), 1u);
  EXPECT_EQ(loud.kept[0].from, 0);
  EXPECT_EQ(loud.kept[0].to, pictures.last);
  const scan::Programme silent = scan::ChooseBreaks(boundaries, pictures, {.start = true, .end = true});
  ASSERT_EQ(silent.breaks.size(), 1u);  // two spots of 60 s, one break
  EXPECT_EQ(silent.breaks[0].to, pictures.end);
  EXPECT_TRUE(silent.kept.empty());
  EXPECT_EQ(scan::SilencesThatCouldChain({{60 * s - s / 5, 60 * s + s / 5}}, pictures, {}).size(), 0u);
}

// An AAC decoder's priming before the first picture and its padding after the last one are no
// silent start or end, or a programme stretch of a spot's length at either end would be a break.
TEST(ScanBreaks, TheCodersOwnQuietAtTheEndsIsNoSilence) {
  const int64_t step = scan::kClock / 100;
  const scan::PictureSpan pictures{0, 60 * scan::kClock - 3000, 60 * scan::kClock};
  const auto ends = [&](int64_t silent_until, int64_t silent_from) {
    scan::SilenceFinder finder;
    for (int64_t at = -3 * step; at < pictures.end + 4 * step; at += step)
      finder.Step(at, step, at < silent_until || at >= silent_from ? 0.0 : 0.01);
    finder.Finish();
    return finder.Ends(pictures);
  };
  const scan::SilentEnds coder = ends(0, pictures.end);
  EXPECT_FALSE(coder.start);
  EXPECT_FALSE(coder.end);
  const scan::SilentEnds spots = ends(5 * step, pictures.end - 5 * step);
  EXPECT_TRUE(spots.start);
  EXPECT_TRUE(spots.end);
}

// The cut times keep each stretch's pictures inside them: a start at or before its first picture,
// an end rounded up to its last one, the last stretch to the last marker; a sliver of programme
// between breaks is none; the EDL drops exactly what lies between.
TEST(ScanBreaks, ProposesCutTimesThatHoldTheStretchesPictures) {
  const int64_t s = scan::kClock, first = 1000;
  std::vector<int64_t> markers;
  for (int n = 0; n <= 100; ++n) markers.push_back(first + n * s);
  const clock::RecordingClock clock(markers, first + 100 * s - 3000);
  const scan::PictureSpan pictures{first, first + 100 * s - 3000, first + 100 * s};
  scan::Programme found;
  found.kept = {{first, first + 30 * s - 3000}, {first + 45 * s, first + 45 * s + s / 2}, {first + 60 * s, pictures.last}};
  const scan::Proposal p = scan::Propose(found, pictures, clock);
  ASSERT_EQ(p.programme.size(), 2u);
  EXPECT_EQ(p.programme[0].start, CutTime{0});
  EXPECT_EQ(p.programme[0].end, (CutTime{29, 967}));
  EXPECT_GE(clock.ToPts(p.programme[0].end), found.kept[0].to);
  EXPECT_EQ(p.programme[1].start, CutTime{60});
  EXPECT_EQ(p.programme[1].end, CutTime{100});
}

TEST(ScanBreaks, EndsWithTheReasonWhenNothingCanBeFound) {
  TempDir dir;
  WriteVideoRecording(dir / "mute.nts", {.seconds = 3});
  EXPECT_EQ(scan::ScanRecording((dir / "mute.nts").string()).outcome, scan::ScanOutcome::kNoSound);
  WriteVideoRecording(dir / "sound.nts", {.seconds = 3, .video = false});
  EXPECT_EQ(scan::ScanRecording((dir / "sound.nts").string()).outcome, scan::ScanOutcome::kNoVideo);
  Recording(RecordingOptions{.seconds = 3}).WriteTo(dir / "markers.nts");
  EXPECT_NE(scan::ScanRecording((dir / "markers.nts").string()).outcome, scan::ScanOutcome::kScanned);
  EXPECT_EQ(scan::ScanRecording((dir / "none.nts").string()).outcome, scan::ScanOutcome::kCannotRead);
  for (const scan::ScanOutcome o : {scan::ScanOutcome::kNoVideo, scan::ScanOutcome::kNoSound, scan::ScanOutcome::kCannotRead})
    EXPECT_STRNE(scan::ScanOutcomeText(o), "");
}

// A stop ends the scan early, between packets, and says so; the progress climbs to 100 otherwise.
TEST(ScanBreaks, StopsWhenAskedAndShowsItsProgress) {
  TempDir dir;
  BreakLayout layout;
  layout.stretches = {{false, 20}, {true, 15}, {false, 20}};
  WriteBreakRecording(dir / "rec.nts", layout);
  std::vector<int> shown;
  const scan::ScanResult whole = scan::ScanRecording((dir / "rec.nts").string(), {}, [&](int p) { shown.push_back(p); });
  EXPECT_EQ(whole.outcome, scan::ScanOutcome::kScanned);
  ASSERT_FALSE(shown.empty());
  EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
  EXPECT_EQ(shown.back(), 100);

  std::stop_source stop;
  const scan::ScanResult stopped = scan::ScanRecording((dir / "rec.nts").string(), stop.get_token(), [&](int p) {
    if (p >= 30) stop.request_stop();
  });
  EXPECT_EQ(stopped.outcome, scan::ScanOutcome::kCancelled);
  EXPECT_TRUE(stopped.found.kept.empty());
}

}  // namespace
}  // namespace trimora::testkit
