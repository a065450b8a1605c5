// The pictures at a cut's start and end: taken from exactly the bytes the cut holds, whole,
// undistorted, and never a crash or a hang on what a recording may hold instead of video.
#include <gtest/gtest.h>

#include <thread>

#include "core/ts_packet.h"
#include "preview/cut_picture.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

namespace trimora::testkit {
namespace {

using preview::CutPoint;
using preview::MakeCutPicture;
using preview::Picture;
using preview::PictureOutcome;
using preview::PictureResult;

uint32_t Pixel(const Picture& p, int x, int y) {
  return p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)] &
         0xFFFFFF;
}

// The second a picture belongs to when it is that second's colour all over, else -1: a picture
// with a concealed part, or with the two fields of an interlaced picture mixed, is not it.
int SecondShown(const Picture& p) {
  if (p.pixels.empty()) return -1;
  const int second = SecondOfColour(Pixel(p, p.width / 2, p.height / 2));
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (SecondOfColour(Pixel(p, x, y)) != second) return -1;
  return second;
}

PictureResult Make(const std::filesystem::path& file, int32_t second, CutPoint point) {
  MarkerIndex index(file.string());
  return MakeCutPicture(index, {second, point});
}

// The second shown, or the outcome (as -100 - outcome) when there is no picture.
int Shown(const std::filesystem::path& file, int32_t second, CutPoint point) {
  const PictureResult r = Make(file, second, point);
  return r.outcome == PictureOutcome::kPicture ? SecondShown(r.picture) : -100 - static_cast<int>(r.outcome);
}
int NoPicture(PictureOutcome outcome) { return -100 - static_cast<int>(outcome); }

class CutPictures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    WriteVideoRecording(*dir_ / "twelve.nts", {.seconds = 12});
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::filesystem::path Twelve() { return *dir_ / "twelve.nts"; }
  static TempDir* dir_;
};
TempDir* CutPictures::dir_ = nullptr;

TEST_F(CutPictures, StartAndEndPicturesAreTheCutsOwn) {
  EXPECT_EQ(Shown(Twelve(), 0, CutPoint::kStart), 0);
  EXPECT_EQ(Shown(Twelve(), 7, CutPoint::kStart), 7);
  // A cut up to 0:00:09 ends with the ninth marker, which opens second 9: its last picture is 8's.
  EXPECT_EQ(Shown(Twelve(), 9, CutPoint::kEnd), 8);
}

TEST_F(CutPictures, RangeAtTheVeryEnd) {
  EXPECT_EQ(Shown(Twelve(), 11, CutPoint::kStart), 11);
  EXPECT_EQ(Shown(Twelve(), 12, CutPoint::kEnd), 11);
  // No byte follows the last marker; a cut that would end beyond it runs to the end of the file.
  EXPECT_EQ(Shown(Twelve(), 12, CutPoint::kStart), NoPicture(PictureOutcome::kBeyondEnd));
  EXPECT_EQ(Shown(Twelve(), 20, CutPoint::kEnd), 11);
}

TEST_F(CutPictures, RecordingWithoutVideoHasNoPicture) {
  TempDir dir;
  Recording(RecordingOptions{.seconds = 5}).WriteTo(dir / "plain.nts");
  EXPECT_EQ(Shown(dir / "plain.nts", 2, CutPoint::kStart), NoPicture(PictureOutcome::kNoVideo));
  EXPECT_EQ(Shown(dir / "plain.nts", 2, CutPoint::kEnd), NoPicture(PictureOutcome::kNoVideo));
  std::filesystem::remove(dir / "plain.nts");
  EXPECT_EQ(Shown(dir / "plain.nts", 2, CutPoint::kStart), NoPicture(PictureOutcome::kCannotRead));
}

// The key frame just after the seventh marker loses a packet in its middle: the pictures that
// depend on it are skipped and the next key frame (still second 7's) is the start picture.
TEST(CutPictureDamage, DamagedFirstPictureIsSkippedForTheNextWholeOne) {
  TempDir dir;
  const auto file = dir / "damaged.nts";
  WriteVideoRecording(file, {.seconds = 9, .width = 256, .height = 192});
  Bytes bytes = ReadAll(file);
  MarkerIndex index(file.string());
  std::size_t at = static_cast<std::size_t>(index.ByteAfterMarker(7).byte);
  uint16_t video = 0;
  for (; video == 0; at += kPacketSize)
    if ((bytes[at + 1] & 0x40) && ts_get_pid(&bytes[at]) >= 0x100) video = ts_get_pid(&bytes[at]);
  while (ts_get_pid(&bytes[at]) != video) at += kPacketSize;
  const Bytes null_packet = Recording::MakePacket(0x1FFF, 0);
  std::copy(null_packet.begin(), null_packet.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  WriteAll(file, bytes);
  EXPECT_EQ(Shown(file, 7, CutPoint::kStart), 7);
}

TEST(CutPictureShape, SampleAspectRatioGivesTheDisplayWidth) {
  TempDir dir;
  WriteVideoRecording(dir / "wide.nts", {.seconds = 2, .width = 144, .height = 108, .sar_num = 4, .sar_den = 3});
  const PictureResult r = Make(dir / "wide.nts", 1, CutPoint::kStart);
  ASSERT_EQ(r.outcome, PictureOutcome::kPicture);
  EXPECT_EQ(r.picture.width, 192);
  EXPECT_EQ(r.picture.height, 108);
}

// Each picture's bottom field is black: a picture made of both fields shows black lines.
TEST(CutPictureShape, InterlacedPictureShowsOneFieldWithoutCombing) {
  TempDir dir;
  WriteVideoRecording(dir / "fields.nts", {.seconds = 3, .interlaced = true});
  EXPECT_EQ(Shown(dir / "fields.nts", 1, CutPoint::kStart), 1);
  EXPECT_EQ(Shown(dir / "fields.nts", 2, CutPoint::kEnd), 1);
}

// A newer range stops the older request: its scan of a long recording without markers ends
// early, before the file's end, and reports that it was cancelled.
TEST(CutPictureStop, StopRequestEndsTheWorkEarly) {
  TempDir dir;
  WriteSparse(dir / "long.nts", int64_t{1} << 31 >> 1);
  MarkerIndex index((dir / "long.nts").string());
  std::stop_source older;
  PictureResult result;
  std::thread worker([&] { result = MakeCutPicture(index, {5, CutPoint::kStart}, older.get_token()); });
  older.request_stop();
  worker.join();
  EXPECT_EQ(result.outcome, PictureOutcome::kCancelled);
  EXPECT_FALSE(index.Complete());
}

}  // namespace
}  // namespace trimora::testkit
