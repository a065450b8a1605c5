// The pictures at a cut's start and end: taken from exactly the bytes the cut holds, whole,
// undistorted, and never a crash or a hang on what a recording may hold instead of video.
#include <gtest/gtest.h>

#include <thread>

#include "preview/cut_picture.h"
#include "tests/recording_builder.h"
#include "tests/preview/video_recording.h"

namespace trimora::testing {
namespace {

using preview::CutPoint;
using preview::MakeCutPicture;
using preview::Picture;
using preview::PictureOutcome;
using preview::PictureResult;

uint32_t Pixel(const Picture& p, int x, int y) {
  return p.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)] & 0xFFFFFF;
}

// The second a picture belongs to when it is that second's colour all over, else -1: a picture
// with a concealed or mixed part is not a complete picture.
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

int Shown(const std::filesystem::path& file, int32_t second, CutPoint point) {
  const PictureResult r = Make(file, second, point);
  return r.outcome == PictureOutcome::kPicture ? SecondShown(r.picture) : -100 - static_cast<int>(r.outcome);
}

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

}  // namespace
}  // namespace trimora::testing
