// The video's clock against the markers: a marker's time is its first picture's, times between
// markers go both ways through it, and a stream that crosses the 33-bit wrap keeps counting on.
#include <gtest/gtest.h>

#include "clock/recording_clock.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

namespace trimora {
namespace {

using clock::kPtsPerSecond;
using clock::RecordingClock;

TEST(RecordingClock, EachMarkerIsTheTimeOfThePictureAfterIt) {
  testkit::TempDir dir;
  testkit::VideoOptions options;
  options.seconds = 6;
  testkit::WriteVideoRecording(dir / "rec.nts", options);
  const clock::ClockRead read = RecordingClock::Read((dir / "rec.nts").string());
  ASSERT_EQ(read.outcome, clock::ClockOutcome::kRead);
  const RecordingClock& c = *read.clock;
  EXPECT_EQ(c.Markers(), 6);
  // A marker opens each second of the stream just before its key picture, whose time (its
  // pictures come in decoding order) lies a few pictures either side of the second.
  for (int n = 1; n <= 6; ++n) {
    EXPECT_GT(c.MarkerPts(n), c.MarkerPts(n - 1)) << n;
    EXPECT_NEAR(c.MarkerPts(n) - c.FirstPts(), n * kPtsPerSecond, kPtsPerSecond / 4) << n;
  }
  EXPECT_GE(c.LastPts(), c.MarkerPts(5));
  EXPECT_EQ(c.ToCutTime(c.ToPts({3, 250})), (CutTime{3, 250}));
  EXPECT_EQ(c.ToCutTime(c.FirstPts() - 1), CutTime(0));
  EXPECT_EQ(RecordingClock::Read((dir / "missing.nts").string()).outcome, clock::ClockOutcome::kCannotRead);
}

TEST(RecordingClock, AStreamCrossingTheWrapCountsOn) {
  const int64_t near_wrap = clock::kPtsWrap - kPtsPerSecond / 2;
  EXPECT_EQ(clock::Unwrap(kPtsPerSecond / 2, near_wrap), clock::kPtsWrap + kPtsPerSecond / 2);
  EXPECT_EQ(clock::Unwrap(near_wrap, clock::kPtsWrap + 10), near_wrap);
  // Markers after the last picture count on by their seconds.
  const RecordingClock c({near_wrap, near_wrap, clock::kPtsWrap + kPtsPerSecond / 2, INT64_MIN}, clock::kPtsWrap);
  EXPECT_EQ(c.MarkerPts(3), clock::kPtsWrap + kPtsPerSecond * 3 / 2);
  EXPECT_EQ(c.ToCutTime(clock::kPtsWrap), (CutTime{1, 500}));
}

}  // namespace
}  // namespace trimora
