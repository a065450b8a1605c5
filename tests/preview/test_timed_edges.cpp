// Starts and ends finer than a second: on recordings with open GOPs and AAC, the packets the edges
// keep (after the recording's own tables) decode without an error, show exactly the source's
// pictures from the first key picture at or after the start time to the last whole GOP before the
// end time, and carry sound from the first picture shown to the end of the last one, no more.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cleancut/timed_edges.h"
#include "clock/recording_clock.h"
#include "core/ts_packet.h"
#include "engine/marker_index.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace trimora::testkit {
namespace {

using namespace cleancut;

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

// The recordings made here: PAT and PMT first, video on 0x100, sound on 0x101.
const ProgramStreams kStreams{0x100, VideoKind::kNone, {0x101}};

// Cuts `file` from `start` to `end` by the edges and checks what a player sees of it.
void CheckTimedCut(const std::filesystem::path& file, VideoKind kind, CutTime start, CutTime end,
                   const std::filesystem::path& out) {
  SCOPED_TRACE(file.filename().string() + " " + CutTimeText(start) + ".." + CutTimeText(end));
  ProgramStreams streams = kStreams;
  streams.video = kind;
  MarkerIndex index(file.string());
  const os::File source = os::File::OpenForReading(file.string());
  const TimedStartResult s = FindTimedStart(source, index.ByteAfterMarker(start.second).byte, start.millis, streams);
  ASSERT_EQ(s.outcome, EdgeOutcome::kFound);
  const TimedEndResult e = FindTimedEnd(source, s.start.key, index.ByteAfterMarker(end.second).byte, end.millis, streams);
  ASSERT_EQ(e.outcome, EdgeOutcome::kFound);

  const Bytes bytes = ReadAll(file);
  Bytes cut(bytes.begin(), bytes.begin() + 2 * kPacketSize);  // the recording's PAT and PMT
  for (const ByteRun& run : TimedRuns(source, streams, s.start, e.end))
    cut.insert(cut.end(), bytes.begin() + run.offset, bytes.begin() + run.offset + run.length);
  WriteAll(out, cut);

  const clock::RecordingClock clock = *clock::RecordingClock::Read(file.string()).clock;
  const int64_t from = clock.ToPts(start), to = clock.ToPts(end);
  const Timeline source_line = Read(file, false), cut_line = Read(out, false);
  EXPECT_EQ(Read(out, true).pictures, cut_line.pictures) << "every picture kept decodes";
  for (const std::string& error : errors) ADD_FAILURE() << "FFmpeg: " << error;
  ASSERT_FALSE(cut_line.pictures.empty());
  const int64_t first = cut_line.pictures.front(), last = cut_line.pictures.back();
  const int64_t gop = 6 * 9000;  // key pictures 0.6 s apart
  EXPECT_GE(first, from);
  EXPECT_LT(first, from + gop);
  EXPECT_LT(last, to + 90);
  EXPECT_GE(last, to - 2 * gop);
  std::vector<int64_t> expected;
  for (const int64_t pts : source_line.pictures)
    if (pts >= first && pts <= last) expected.push_back(pts);
  EXPECT_EQ(cut_line.pictures, expected) << "every picture between the first and the last, each once";
  EXPECT_EQ(e.end.stop_pts, last + 9000);
  ASSERT_FALSE(cut_line.sound.empty());
  EXPECT_GE(cut_line.sound.front().first, first);
  EXPECT_LT(cut_line.sound.front().first, first + 2 * cut_line.sound.front().second) << "sound from the first picture on";
  const auto [pts, length] = cut_line.sound.back();
  EXPECT_LT(pts, e.end.stop_pts);
  EXPECT_GE(pts + 2 * length, e.end.stop_pts) << "sound up to the last picture's end";
}

class TimedEdges : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(TimedEdges, Mpeg2OpenGopsWithAac) {
  const auto file = dir_ / "mpeg2.nts";
  WriteVideoRecording(file, {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  CheckTimedCut(file, VideoKind::kMpeg2, {2, 350}, {5, 250}, dir_ / "cut.ts");
  CheckTimedCut(file, VideoKind::kMpeg2, {1, 0}, {6, 0}, dir_ / "whole.ts");
}

TEST_F(TimedEdges, H264RecoveryPointsWithAac) {
  const auto file = dir_ / "h264.nts";
  WriteVideoRecording(file, {.seconds = 8, .gop = 6, .height = 64, .h264 = true, .open_gop = true, .audio = true, .marker_shift = 2});
  CheckTimedCut(file, VideoKind::kH264, {2, 350}, {5, 250}, dir_ / "cut.ts");
}

}  // namespace
}  // namespace trimora::testkit
