// The pictures at a cut's start and end: taken from exactly the bytes the cut holds, whole,
// undistorted, and never a crash or a hang on what a recording may hold instead of video.
#include <gtest/gtest.h>

#include <functional>
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
constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);

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

// Replaced on disk after the analysis: the positions of the markers belong to the old file.
TEST_F(CutPictures, FileReplacedAfterTheAnalysisHasNoPicture) {
  TempDir dir;
  WriteVideoRecording(dir / "old.nts", {.seconds = 6});
  MarkerIndex index((dir / "old.nts").string());
  ASSERT_TRUE(index.ByteAfterMarker(3).found);
  std::filesystem::copy_file(Twelve(), dir / "new.nts");
  std::filesystem::rename(dir / "new.nts", dir / "old.nts");
  EXPECT_EQ(MakeCutPicture(index, {2, CutPoint::kStart}).outcome, PictureOutcome::kNoPicture);
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

// Seven packets lost inside the key frame after the fifth marker: the decoder conceals the gap
// and hands out a picture, which the continuity counters show to be damaged.
TEST(CutPictureDamage, PictureThatLostPacketsIsNotTheStartPicture) {
  TempDir dir;
  const auto file = dir / "lost.nts";
  WriteVideoRecording(file, {.seconds = 8, .width = 256, .height = 192});
  Bytes bytes = ReadAll(file);
  MarkerIndex index(file.string());
  std::size_t at = static_cast<std::size_t>(index.ByteAfterMarker(5).byte);
  while (!(ts_get_pid(&bytes[at]) == 0x100 && (bytes[at + 1] & 0x40))) at += kPacketSize;
  at += 2 * kPacketSize;
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 7 * kPacketSize));
  WriteAll(file, bytes);
  EXPECT_EQ(Shown(file, 5, CutPoint::kStart), 5);
}

// Twelve zeroed records in second 7: the cut stops at the tenth, so a cut up to 0:00:10 ends in
// second 7, and so does its last picture.
TEST(CutPictureDamage, EndPictureIsTheLastOfWhatAZeroedStretchLeavesTheCut) {
  TempDir dir;
  const auto file = dir / "zeros.nts";
  WriteVideoRecording(file, {.seconds = 12});
  Bytes bytes = ReadAll(file);
  MarkerIndex index(file.string());
  const int64_t seven = index.ByteAfterMarker(7).byte, eight = index.ByteAfterMarker(8).byte;
  const auto at = static_cast<std::size_t>(seven + (eight - seven) / kPacket * 3 / 4 * kPacket);
  std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), 12 * kPacketSize, uint8_t{0});
  WriteAll(file, bytes);
  EXPECT_EQ(Shown(file, 10, CutPoint::kEnd), 7);
}

// Work, not only input, is bounded: in this stream no picture is ever complete (each loses all
// but its first packet), and every packet is a key frame, so trying each one in turn from the
// end would take time growing with the square of the window.
TEST(CutPictureBounds, StreamWithoutACompletePictureEndsWithoutOne) {
  TempDir dir;
  const auto file = dir / "torn.nts";
  WriteVideoRecording(file, {.seconds = 30, .fps = 60, .gop = 1, .width = 32, .height = 32, .busy_bit_rate = 4'000'000});
  const Bytes bytes = ReadAll(file);
  Bytes torn;
  for (std::size_t at = 0; at < bytes.size(); at += kPacketSize)
    if (ts_get_pid(&bytes[at]) != 0x100 || (bytes[at + 1] & 0x40))
      torn.insert(torn.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + kPacketSize));
  WriteAll(file, torn);
  EXPECT_EQ(Shown(file, 25, CutPoint::kEnd), NoPicture(PictureOutcome::kNoPicture));
  EXPECT_EQ(Shown(file, 5, CutPoint::kStart), NoPicture(PictureOutcome::kNoPicture));
}

TEST(CutPictureBounds, PictureWiderThan8KIsRefused) {
  TempDir dir;
  WriteVideoRecording(dir / "wide.nts", {.seconds = 2, .width = 7696, .height = 16});
  EXPECT_EQ(Shown(dir / "wide.nts", 0, CutPoint::kStart), NoPicture(PictureOutcome::kNoPicture));
}

// Two recordings side by side, second by second: A's video on PID 0x100, B's on 0x200 with
// colours from second 8 on, B's packets first in every second; A's markers, and a PAT and PMT
// at the start of every second that `tables(second)` writes.
void WriteTwoVideos(const std::filesystem::path& file, const std::function<Bytes(int second)>& tables) {
  TempDir dir;
  WriteVideoRecording(dir / "a.nts", {.seconds = 10});
  WriteVideoRecording(dir / "b.nts", {.seconds = 10, .video_pid = 0x200, .first_colour = 8});
  const auto seconds = [](const Bytes& bytes, bool keep_markers) {
    std::vector<Bytes> chunks(1);
    for (std::size_t at = 0; at + kPacketSize <= bytes.size(); at += kPacketSize) {
      const uint16_t pid = ts_get_pid(&bytes[at]);
      if (pid == 0 || pid == 0x1000 || pid == 0x11) continue;  // the muxer's own tables
      if (pid == kTimeMarkerPid || pid == 0x100 || pid == 0x200) {
        if (pid != kTimeMarkerPid || keep_markers)
          chunks.back().insert(chunks.back().end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                               bytes.begin() + static_cast<std::ptrdiff_t>(at + kPacketSize));
        if (pid == kTimeMarkerPid) chunks.emplace_back();
      }
    }
    return chunks;
  };
  const std::vector<Bytes> a = seconds(ReadAll(dir / "a.nts"), true), b = seconds(ReadAll(dir / "b.nts"), false);
  Bytes out;
  for (std::size_t s = 0; s < a.size(); ++s) {
    const Bytes t = tables(static_cast<int>(s));
    out.insert(out.end(), t.begin(), t.end());
    if (s < b.size()) out.insert(out.end(), b[s].begin(), b[s].end());
    out.insert(out.end(), a[s].begin(), a[s].end());
  }
  WriteAll(file, out);
}

Bytes Join(std::initializer_list<std::vector<uint8_t>> packets) {
  Bytes out;
  for (const auto& p : packets) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(CutPictureStream, PmtThatMovesTheVideoToAnotherPidIsFollowed) {
  TempDir dir;
  WriteTwoVideos(dir / "moved.nts", [](int s) {
    const auto cc = static_cast<uint8_t>(s);
    return Join({PatPacket({{1, 0x1000}}, 0, cc), PmtPacket(0x1000, 1, s < 4 ? 0x100 : 0x200, s < 4 ? 0 : 1, cc)});
  });
  EXPECT_EQ(Shown(dir / "moved.nts", 2, CutPoint::kStart), 2);
  EXPECT_EQ(Shown(dir / "moved.nts", 3, CutPoint::kEnd), 2);
  EXPECT_EQ(Shown(dir / "moved.nts", 7, CutPoint::kEnd), 6 + 8);
}

TEST(CutPictureStream, WithTwoProgramsThePicturesAreTheFirstOnes) {
  TempDir dir;
  WriteTwoVideos(dir / "two.nts", [](int s) {
    const auto cc = static_cast<uint8_t>(s);
    return Join({PatPacket({{1, 0x1000}, {2, 0x1001}}, 0, cc), PmtPacket(0x1000, 1, 0x100, 0, cc),
                 PmtPacket(0x1001, 2, 0x200, 0, cc)});
  });
  for (int second : {3, 6}) EXPECT_EQ(Shown(dir / "two.nts", second, CutPoint::kStart), second);
  for (int second : {5, 8}) EXPECT_EQ(Shown(dir / "two.nts", second, CutPoint::kEnd), second - 1);
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
