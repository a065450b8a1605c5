// Starts and ends finer than a second. A clean cut by the pictures' and sound's times, on
// recordings with open GOPs, decodes without an error, shows exactly the source's pictures from
// the first key picture at or after the start time to the last whole GOP before the end time, and
// carries sound from the first picture shown to the end of the last one, no more. An exact cut
// runs from the first picture at or after the start time to the first one at or after the end
// time. `frame` shows the pictures these cuts begin and end with.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "clock/recording_clock.h"
#include "core/pes.h"
#include "core/ts_packet.h"
#include "engine/marker_index.h"
#include "preview/cut_picture.h"
#include "ranges/range_list.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace trimora::testkit {
namespace {

std::vector<std::string> errors;
void CollectErrors(void*, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  char line[1024];
  vsnprintf(line, sizeof line, format, args);
  errors.emplace_back(line);
}

struct Timeline {
  std::vector<int64_t> pictures;                     // PTS of each picture decoded (or demuxed)
  std::vector<std::pair<int64_t, int64_t>> sound;    // PTS and length of each sound frame
};

// Every picture and sound frame of `file`; with `decode`, the pictures as the decoder gives them.
Timeline Read(const std::filesystem::path& file, bool decode) {
  errors.clear();
  av_log_set_callback(CollectErrors);
  Timeline t;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0) return t;
  avformat_find_stream_info(in, nullptr);
  AVCodecContext* dec = nullptr;
  const int video = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (decode) {
    const AVCodec* codec = avcodec_find_decoder(in->streams[video]->codecpar->codec_id);
    dec = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(dec, in->streams[video]->codecpar);
    avcodec_open2(dec, codec, nullptr);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto receive = [&] {
    while (avcodec_receive_frame(dec, frame) == 0) t.pictures.push_back(frame->best_effort_timestamp);
  };
  while (av_read_frame(in, packet) >= 0) {
    if (packet->stream_index != video) {
      t.sound.emplace_back(packet->pts, packet->duration);
    } else if (dec) {
      avcodec_send_packet(dec, packet);
      receive();
    } else {
      t.pictures.push_back(packet->pts);
    }
    av_packet_unref(packet);
  }
  if (dec) {
    avcodec_send_packet(dec, nullptr);
    receive();
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  avformat_close_input(&in);
  av_log_set_callback(av_log_default_callback);
  std::sort(t.pictures.begin(), t.pictures.end());
  return t;
}

constexpr int64_t kPicture = 9000;  // 10 pictures a second
constexpr int64_t kGop = 6 * kPicture;

// Cuts `name` in `dir` cleanly from `start` to `end` and checks what a player sees of it.
void CheckTimedCut(const std::filesystem::path& dir, const std::string& name, CutTime start, CutTime end) {
  SCOPED_TRACE(name + " " + CutTimeText(start) + ".." + CutTimeText(end));
  const CliResult got = RunCli(dir, {"cut", "--measure", "--clean", name, CutTimeText(start), CutTimeText(end), "cut.ts"});
  ASSERT_EQ(got.exit_code, 0) << got.out << got.err;
  const clock::RecordingClock clock = *clock::RecordingClock::Read((dir / name).string()).clock;
  const int64_t from = clock.ToPts(start), to = clock.ToPts(end);
  const Timeline source = Read(dir / name, false), cut = Read(dir / "cut.ts", false);
  EXPECT_EQ(Read(dir / "cut.ts", true).pictures, cut.pictures) << "every picture kept decodes";
  for (const std::string& error : errors) ADD_FAILURE() << "FFmpeg: " << error;
  ASSERT_FALSE(cut.pictures.empty());
  const int64_t first = cut.pictures.front(), last = cut.pictures.back();
  EXPECT_GE(first, from);
  EXPECT_LT(first, from + kGop);
  EXPECT_LT(last, to + 90);
  EXPECT_GE(last, to - 2 * kGop);
  std::vector<int64_t> expected;
  for (const int64_t pts : source.pictures)
    if (pts >= first && pts <= last) expected.push_back(pts);
  EXPECT_EQ(cut.pictures, expected) << "every picture between the first and the last, each once";
  ASSERT_FALSE(cut.sound.empty());
  EXPECT_GE(cut.sound.front().first, first);
  EXPECT_LT(cut.sound.front().first, first + 2 * cut.sound.front().second) << "sound from the first picture on";
  const auto [pts, length] = cut.sound.back();
  EXPECT_LT(pts, last + kPicture);
  EXPECT_GE(pts + 2 * length, last + kPicture) << "sound up to the last picture's end";
}

class TimedEdges : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(TimedEdges, CleanCutOfMpeg2OpenGopsWithAacOrMp2) {
  WriteVideoRecording(dir_ / "aac.nts", {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  CheckTimedCut(dir_.path(), "aac.nts", {2, 350}, {5, 250});
  WriteVideoRecording(dir_ / "mp2.nts", {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .mp2 = true, .marker_shift = 2});
  CheckTimedCut(dir_.path(), "mp2.nts", {1, 900}, {6, 50});
}

TEST_F(TimedEdges, CleanCutOfH264RecoveryPointsWithAac) {
  WriteVideoRecording(dir_ / "h264.nts", {.seconds = 8, .gop = 6, .height = 64, .h264 = true, .open_gop = true, .audio = true, .marker_shift = 2});
  CheckTimedCut(dir_.path(), "h264.nts", {2, 350}, {5, 250});
}

// A clean job's ranges play as one programme: the pictures' times run on across each join at the
// frame rate (the ranges' own clocks jump between them), the sound's with them without a gap, and
// FFmpeg decodes it without an error.
TEST_F(TimedEdges, CleanJobRunsTheClockOnAcrossItsJoins) {
  WriteVideoRecording(dir_ / "rec.nts", {.seconds = 12, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  const CliResult got = RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:01.300", "0:00:03.500",
                                             "0:00:05", "0:00:07.200", "0:00:08.100", "0:00:11", "job.ts"});
  ASSERT_EQ(got.exit_code, 0) << got.out << got.err;
  MarkerIndex index((dir_ / "rec.nts").string());
  int64_t sizes = 0;
  for (const KeptRange r : {KeptRange{{1, 300}, {3, 500}}, KeptRange{{5, 0}, {7, 200}}, KeptRange{{8, 100}, {11, 0}}})
    sizes += ExactSize(index, r, false, {}, true, true).value_or(0);
  EXPECT_EQ(sizes, int64_t(ReadAll(dir_ / "job.ts").size())) << "the list's sizes are the job's";
  const Timeline job = Read(dir_ / "job.ts", true);
  for (const std::string& error : errors) ADD_FAILURE() << "FFmpeg: " << error;
  ASSERT_GT(job.pictures.size(), 30u);
  for (std::size_t i = 1; i < job.pictures.size(); ++i) EXPECT_EQ(job.pictures[i] - job.pictures[i - 1], kPicture) << "picture " << i;
  ASSERT_FALSE(job.sound.empty());
  EXPECT_GE(job.sound.front().first, job.pictures.front());
  for (std::size_t i = 1; i < job.sound.size(); ++i) {
    const int64_t step = job.sound[i].first - job.sound[i - 1].first;
    EXPECT_TRUE(step > 0 && step <= 2 * job.sound[i - 1].second) << "sound frame " << i << " after a step of " << step;
  }
  EXPECT_LT(job.sound.back().first, job.pictures.back() + kPicture);
}

// A clean job of three ranges of open GOPs with sound, as the command line writes it.
Bytes CleanJob(const TempDir& dir) {
  WriteVideoRecording(dir / "rec.nts", {.seconds = 12, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  const CliResult got = RunCli(dir.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:01.300", "0:00:03.500",
                                            "0:00:05", "0:00:07.200", "0:00:08.100", "0:00:11", "job.ts"});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  return ReadAll(dir / "job.ts");
}

// Every PID's continuity counter runs on across what a clean job leaves out (the leading
// pictures, the sound before the first picture shown, the stretches between the ranges): FFmpeg
// once took the next packet of each such PID for a corrupt one.
TEST_F(TimedEdges, CleanJobCountersRunOnAcrossWhatItLeavesOut) {
  const Bytes job = CleanJob(dir_);
  std::map<uint16_t, int> last;
  int checked = 0, breaks = 0;
  std::string first;
  for (std::size_t at = 0; at + kPacketSize <= job.size(); at += kPacketSize) {
    const uint8_t* p = &job[at];
    const uint16_t pid = ts_get_pid(p);
    const int cc = p[3] & 0x0F;
    if (const auto before = last.find(pid); before != last.end() && pid != kNullPid) {
      ++checked;
      if (cc != ((p[3] & 0x10) ? (before->second + 1) & 0x0F : before->second) && breaks++ == 0)
        first = "PID " + std::to_string(pid) + " at byte " + std::to_string(at);
    }
    last[pid] = cc;
  }
  EXPECT_GT(checked, 300);
  EXPECT_EQ(breaks, 0) << "the first: " << first;
}

// The video's decoding times rise across a clean job's joins: the key picture a range starts with
// once kept the DTS its left-out leading pictures needed, before the last one of the range before.
TEST_F(TimedEdges, CleanJobDecodesEachPictureAfterTheOneBefore) {
  const Bytes job = CleanJob(dir_);
  std::vector<int64_t> dts;
  for (std::size_t at = 0; at + kPacketSize <= job.size(); at += kPacketSize)
    if (const uint8_t* p = &job[at]; ts_get_pid(p) == 0x100 && pes::Pts(p)) {
      EXPECT_LE(*pes::Dts(p), *pes::Pts(p)) << "at byte " << at;
      dts.push_back(*pes::Dts(p));
    }
  ASSERT_GT(dts.size(), 30u);
  for (std::size_t i = 1; i < dts.size(); ++i) EXPECT_GT(dts[i], dts[i - 1]) << "picture " << i << " in the file";
}

// A whole-second END of a clean job's range ends its pictures where the single clean cut of that
// range ends them, not at a GOP: the job shows what its single cuts show, joined (it once ended
// each range by the GOP its END fell in).
TEST_F(TimedEdges, CleanJobKeepsThePicturesOfWholeSecondEnds) {
  WriteVideoRecording(dir_ / "rec.nts", {.seconds = 12, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  std::size_t singles = 0;
  for (const auto& [from, to] : {std::pair{"0:00:01", "0:00:04"}, std::pair{"0:00:06", "0:00:09"}}) {
    ASSERT_EQ(RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", from, to, "one.ts"}).exit_code, 0);
    singles += Read(dir_ / "one.ts", true).pictures.size();
  }
  ASSERT_EQ(RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:01", "0:00:04", "0:00:06", "0:00:09", "job.ts"}).exit_code, 0);
  EXPECT_NEAR(double(Read(dir_ / "job.ts", true).pictures.size()), double(singles), 1.0);
}

// The byte after the n-th marker, and the PTS of each video PES that starts from there on.
std::vector<std::pair<int64_t, int64_t>> PicturesAfter(const Bytes& source, int64_t marker_byte) {
  std::vector<std::pair<int64_t, int64_t>> pictures;
  for (int64_t at = marker_byte; at + int64_t{kPacketSize} <= int64_t(source.size()); at += int64_t{kPacketSize}) {
    const uint8_t* p = &source[static_cast<std::size_t>(at)];
    if (ts_get_pid(p) == 0x100)
      if (const std::optional<int64_t> pts = pes::Pts(p)) pictures.emplace_back(at, *pts);
  }
  return pictures;
}

// Where an exact cut at the time starts or stops: the first video PES after the marker whose
// PTS is at or after the time, counted from the PTS of the first one after the marker.
int64_t FirstPictureAt(const Bytes& source, MarkerIndex& index, CutTime time) {
  const std::vector<std::pair<int64_t, int64_t>> pictures = PicturesAfter(source, index.ByteAfterMarker(time.second).byte);
  for (const auto& [at, pts] : pictures)
    if (pts >= pictures.front().second + time.millis * 90) return at;
  return -1;
}

// The exact cut between two finer times is the source's bytes between those two pictures, and
// `frame` shows the first and last pictures of both cuts: the seconds their colours tell. (The
// preview reads the clean file's video as damaged where its leading pictures were left out, and
// shows the picture after its key picture: the same second.)
TEST_F(TimedEdges, ExactCutAndFramesAtFinerTimes) {
  WriteVideoRecording(dir_ / "rec.nts", {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  const Bytes source = ReadAll(dir_ / "rec.nts");
  MarkerIndex index((dir_ / "rec.nts").string());
  const CliResult got = RunCli(dir_.path(), {"cut", "--measure", "rec.nts", "0:00:02.350", "0:00:05.250", "exact.ts"});
  ASSERT_EQ(got.exit_code, 0) << got.out << got.err;
  const int64_t from = FirstPictureAt(source, index, {2, 350}), to = FirstPictureAt(source, index, {5, 250});
  ASSERT_GT(to, from);
  EXPECT_TRUE(ReadAll(dir_ / "exact.ts") == Bytes(source.begin() + from, source.begin() + to));
  EXPECT_EQ(ExactSize(index, {{2, 350}, {5, 250}}, false), to - from);

  ASSERT_EQ(RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:02.350", "0:00:05.250", "clean.ts"}).exit_code, 0);
  for (const bool clean : {false, true}) {
    SCOPED_TRACE(clean ? "clean" : "exact");
    MarkerIndex cut((dir_ / (clean ? "clean.ts" : "exact.ts")).string());
    const auto picture = [](MarkerIndex& markers, preview::PictureRequest request) {
      const preview::PictureResult r = preview::MakeCutPicture(markers, request);
      EXPECT_EQ(r.outcome, preview::PictureOutcome::kPicture);
      return r.picture.pixels.empty() ? -2 : SecondOfColour(r.picture.pixels[r.picture.pixels.size() / 2] & 0xFFFFFF);
    };
    EXPECT_EQ(picture(index, {.second = 2, .clean = clean, .millis = 350}), picture(cut, {.second = 0}));
    EXPECT_EQ(picture(index, {.second = 5, .point = preview::CutPoint::kEnd, .from = 2, .clean = clean, .millis = 250}),
              picture(cut, {.second = 99, .point = preview::CutPoint::kEnd}));
  }
}

}  // namespace
}  // namespace trimora::testkit
