// The clean cut: on real recordings, the planned runs put together open with the PAT, the PMT and
// a picture a decoder can start from, hold only the source's packets in its order up to the
// END-th marker and the rest of each open PES, and FFmpeg decodes them without a single error.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cleancut/clean_cut.h"
#include "cleancut/clean_cut_texts.h"
#include "core/psi.h"
#include "core/ts_packet.h"
#include "engine/cut.h"
#include "engine/marker_index.h"
#include "preview/cut_picture.h"
#include "tests/cli_runner.h"
#include "tests/preview/video_recording.h"
#include "tests/recording_builder.h"
#include "timerange/key_pictures.h"
#include "timerange/range_check.h"
#include "timerange/range_preview.h"
#include "window/app_state.h"
#include "window/model.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace trimora::testkit {
namespace {

using cleancut::ByteRun;
using cleancut::CleanCut;
using cleancut::CleanCutOutcome;
using cleancut::PlanCleanCut;

// FFmpeg's error messages, from every library, while a check decodes.
std::mutex log_mutex;
std::vector<std::string> errors;
void CollectErrors(void* avcl, int level, const char* format, va_list args) {
  if (level > AV_LOG_ERROR) return;
  std::string line(1024, '\0');
  int prefix = 1;
  av_log_format_line(avcl, level, format, args, line.data(), static_cast<int>(line.size()), &prefix);
  line.resize(line.find('\0'));
  std::lock_guard lock(log_mutex);
  errors.push_back(std::move(line));
}

struct Decoded {
  std::vector<std::string> errors;
  int64_t first_video_pos = -1, first_audio_pos = -1;
  bool first_video_key = false;
  int pictures = 0;
  std::vector<int64_t> shown = {};  // each picture's time, in the order the decoder gives them
};

// Demuxes and decodes every stream of `file` to its end.
Decoded Decode(const std::filesystem::path& file) {
  errors.clear();
  av_log_set_callback(CollectErrors);
  Decoded d;
  AVFormatContext* in = nullptr;
  if (avformat_open_input(&in, file.c_str(), nullptr, nullptr) < 0) return {{"cannot open"}};
  avformat_find_stream_info(in, nullptr);
  std::vector<AVCodecContext*> decoders(in->nb_streams, nullptr);
  for (unsigned i = 0; i < in->nb_streams; ++i) {
    const AVCodec* codec = avcodec_find_decoder(in->streams[i]->codecpar->codec_id);
    if (!codec) continue;
    decoders[i] = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoders[i], in->streams[i]->codecpar);
    if (avcodec_open2(decoders[i], codec, nullptr) < 0) avcodec_free_context(&decoders[i]);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto receive = [&](AVCodecContext* dec) {
    while (avcodec_receive_frame(dec, frame) == 0)
      if (dec->codec_type == AVMEDIA_TYPE_VIDEO) {
        ++d.pictures;
        d.shown.push_back(frame->best_effort_timestamp);
      }
  };
  while (av_read_frame(in, packet) >= 0) {
    AVCodecContext* dec = decoders[static_cast<std::size_t>(packet->stream_index)];
    if (dec) {
      const bool video = dec->codec_type == AVMEDIA_TYPE_VIDEO;
      int64_t& first = video ? d.first_video_pos : d.first_audio_pos;
      if (first < 0) {
        first = packet->pos;
        if (video) d.first_video_key = packet->flags & AV_PKT_FLAG_KEY;
      }
      avcodec_send_packet(dec, packet);
      receive(dec);
    }
    av_packet_unref(packet);
  }
  for (AVCodecContext* dec : decoders)
    if (dec) {
      avcodec_send_packet(dec, nullptr);
      receive(dec);
    }
  av_frame_free(&frame);
  av_packet_free(&packet);
  for (AVCodecContext*& dec : decoders) avcodec_free_context(&dec);
  avformat_close_input(&in);
  av_log_set_callback(av_log_default_callback);
  d.errors = errors;
  return d;
}

bool UnitStart(const uint8_t* p) { return p[1] & 0x40; }
// The elementary streams of the recordings made here: PIDs from 0x100 below the PMT's 0x1000.
bool Elementary(uint16_t pid) { return pid >= 0x100 && pid < 0x1000; }

// Plans the clean cut of markers start..end of `file`, checks the plan against the source, writes
// its runs to `out` and decodes it. Returns the plan.
CleanCut CheckCleanCut(const std::filesystem::path& file, int start, int end, const std::filesystem::path& out) {
  SCOPED_TRACE("clean cut " + std::to_string(start) + ".." + std::to_string(end) + " of " + file.filename().string());
  MarkerIndex index(file.string());
  const int64_t start_byte = index.ByteAfterMarker(start).byte;
  const MarkerIndex::Lookup end_lookup = index.ByteAfterMarker(end);
  const int64_t end_byte = end_lookup.found ? end_lookup.byte : index.FileSize();
  const CleanCut cut = PlanCleanCut(file.string(), start_byte, end_byte);
  EXPECT_EQ(cut.outcome, CleanCutOutcome::kPlanned);
  if (cut.outcome != CleanCutOutcome::kPlanned) return cut;
  const Bytes source = ReadAll(file);
  const auto packet = [&](int64_t at) { return &source[static_cast<std::size_t>(at)]; };

  // The source packets the cut holds, in its order.
  std::vector<int64_t> held;
  for (const ByteRun& run : cut.plan.runs) {
    EXPECT_EQ(run.length % int64_t{kPacketSize}, 0);
    for (int64_t at = run.offset; at < run.offset + run.length; at += int64_t{kPacketSize}) held.push_back(at);
  }
  EXPECT_EQ(int64_t(held.size() * kPacketSize), cut.plan.size);
  EXPECT_GE(held.size(), 3u);
  if (held.size() < 3) return cut;
  // The tables first, from before the body, then the body in source order.
  EXPECT_EQ(ts_get_pid(packet(held[0])), 0);
  EXPECT_EQ(ts_get_pid(packet(held[1])), 0x1000);
  EXPECT_EQ(packet(held[1])[5], 0x02) << "a PMT section";
  EXPECT_LT(held[0], cut.plan.body_start);
  EXPECT_LT(held[1], cut.plan.body_start);
  EXPECT_EQ(held[2], cut.plan.body_start);
  EXPECT_GE(cut.plan.body_start, start_byte);
  bool holds_end_marker = false;
  std::vector<uint16_t> seen;
  for (std::size_t i = 2; i < held.size(); ++i) {
    const int64_t at = held[i];
    if (i > 2) {
      EXPECT_GT(at, held[i - 1]);
    }
    const uint8_t* p = packet(at);
    const uint16_t pid = ts_get_pid(p);
    if (at + int64_t{kPacketSize} == end_byte && TimeMarkerPacket(p)) holds_end_marker = true;
    // Each stream from a PES start; after the end byte only the rest of a PES.
    if (Elementary(pid) && std::find(seen.begin(), seen.end(), pid) == seen.end()) {
      EXPECT_TRUE(UnitStart(p)) << "stream " << pid << " starts mid-PES at " << at;
      seen.push_back(pid);
    }
    if (at >= end_byte) {
      EXPECT_TRUE(Elementary(pid) && !UnitStart(p)) << "PID " << pid << " after the end, at " << at;
    }
  }
  EXPECT_TRUE(holds_end_marker || end_byte == index.FileSize());
  // The last PES of each stream is whole: its next packet in the source starts a new one.
  for (uint16_t pid : seen) {
    int64_t last = -1;
    for (int64_t at : held)
      if (ts_get_pid(packet(at)) == pid) last = at;
    for (int64_t at = last + int64_t{kPacketSize}; at + int64_t{kPacketSize} <= int64_t(source.size()); at += int64_t{kPacketSize})
      if (ts_get_pid(packet(at)) == pid) {
        EXPECT_TRUE(UnitStart(packet(at))) << "stream " << pid << " ends mid-PES at " << last;
        break;
      }
  }
  Bytes output;
  for (int64_t at : held) output.insert(output.end(), packet(at), packet(at) + kPacketSize);

  WriteAll(out, output);
  const Decoded d = Decode(out);
  for (const std::string& e : d.errors) ADD_FAILURE() << "FFmpeg: " << e;
  const int64_t first = cut.plan.has_video ? d.first_video_pos : d.first_audio_pos;
  EXPECT_EQ(first, 2 * int64_t{kPacketSize}) << "the body starts right after the tables";
  if (cut.plan.has_video) {
    EXPECT_TRUE(d.first_video_key);
    EXPECT_GT(d.pictures, 0);
  }
  return cut;
}

// FFmpeg's muxer writes each PES whole, so the markers it is given lie between PESs. A broadcast
// carries them anywhere: move each one back to just before the nearest packet that continues a PES.
void MoveMarkersIntoPes(const std::filesystem::path& file) {
  Bytes bytes = ReadAll(file);
  const auto packet = [&](std::size_t i) { return bytes.begin() + std::ptrdiff_t(i * kPacketSize); };
  for (std::size_t i = 0; i < bytes.size() / kPacketSize; ++i) {
    if (!TimeMarkerPacket(&*packet(i))) continue;
    for (std::size_t j = i; j-- > 0 && i - j < 40;) {
      const uint16_t pid = ts_get_pid(&*packet(j));
      if (TimeMarkerPacket(&*packet(j))) break;
      if (pid >= 0x100 && pid < 0x1000 && !(packet(j)[1] & 0x40)) {
        std::rotate(packet(j), packet(i), packet(i + 1));
        break;
      }
    }
  }
  WriteAll(file, bytes);
}

// Bytes of the plan after the end byte of markers ..end: the rest of the PESs open there.
int64_t TailBytes(const std::filesystem::path& file, int end, const CleanCut& cut) {
  MarkerIndex index(file.string());
  const int64_t end_byte = index.ByteAfterMarker(end).byte;
  int64_t tail = 0;
  for (const ByteRun& run : cut.plan.runs) tail += std::max<int64_t>(0, run.offset + run.length - std::max(run.offset, end_byte));
  return tail;
}

class CleanCuts : public ::testing::Test {
 protected:
  TempDir dir_;
};

// With the clean cut chosen, START once stepped by whole seconds into pictures the cut never
// starts with; it steps from key picture to key picture, here one every 3 seconds.
TEST_F(CleanCuts, StartStepsFromKeyPictureToKeyPicture) {
  const auto file = dir_ / "gop.nts";
  WriteVideoRecording(file, {.seconds = 16, .fps = 10, .gop = 30});
  auto index = std::make_shared<MarkerIndex>(file.string());
  ASSERT_TRUE(index->ByteAfterMarker(15).found);
  EXPECT_EQ(KeyPictureSecond(*index, 4, 0, 16), 6) << "a clean cut from 4 starts at the key picture of 6";
  EXPECT_EQ(KeyPictureSecond(*index, 6, -1, 16), 3);
  EXPECT_EQ(KeyPictureSecond(*index, 3, -1, 16), 0);

  WindowModel w;
  AppState st;
  st.iTotalSec = 16;
  WireRangeEntry(w, st);
  w.tEnd[2]->SetText("16");
  w.cPreviewClean.Value = 1;
  PreviewRecording(w, index);
  w.tStart[2]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tStart[2]->Text(), "3");
  w.tStart[2]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tStart[2]->Text(), "6");
  w.cPreviewClean.Value = 0;
  w.tStart[2]->Step(TimeStep::SecondUp);
  EXPECT_EQ(w.tStart[2]->Text(), "7") << "without the clean cut, a second";
}

// Broadcast-shaped MPEG-2: interlaced, open GOPs (two B pictures ahead of each I picture that
// lean on the GOP before), AAC, and markers that fall inside GOPs.
TEST_F(CleanCuts, InterlacedMpeg2WithOpenGopsAndAac) {
  const auto file = dir_ / "mpeg2.nts";
  WriteVideoRecording(file, {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  MoveMarkersIntoPes(file);
  const CleanCut middle = CheckCleanCut(file, 2, 5, dir_ / "middle.ts");
  EXPECT_TRUE(middle.plan.has_video);
  EXPECT_GT(TailBytes(file, 5, middle), 0);
  // The markers open each second two pictures late; the next key picture is 4 to 6 pictures on.
  EXPECT_GT(middle.plan.seconds_after_marker, 0.05);
  EXPECT_LT(middle.plan.seconds_after_marker, 0.7);
  CheckCleanCut(file, 0, 3, dir_ / "from_zero.ts");
  CheckCleanCut(file, 6, 8, dir_ / "at_the_end.ts");
}

TEST_F(CleanCuts, InterlacedH264) {
  const auto file = dir_ / "h264.nts";
  WriteVideoRecording(file, {.seconds = 6, .gop = 6, .height = 64, .interlaced = true, .h264 = true, .audio = true, .marker_shift = 2});
  MoveMarkersIntoPes(file);
  const CleanCut cut = CheckCleanCut(file, 2, 4, dir_ / "idr.ts");
  EXPECT_TRUE(cut.plan.has_video);
  EXPECT_GT(TailBytes(file, 4, cut), 0);
}

// Key pictures that are I pictures with a recovery point instead of IDR pictures. (With pyramid
// B pictures FFmpeg reports "mmco: unref short failure" once at such a start: the stream itself
// releases pictures from before the recovery point, which no choice of whole packets avoids.)
TEST_F(CleanCuts, H264RecoveryPoints) {
  const auto file = dir_ / "open.nts";
  WriteVideoRecording(file, {.seconds = 6, .gop = 6, .height = 64, .h264 = true, .open_gop = true, .audio = true, .marker_shift = 2});
  EXPECT_TRUE(CheckCleanCut(file, 2, 4, dir_ / "recovery.ts").plan.has_video);
}

// The program changes at second 4: new PIDs, a new PMT version. A cut after it takes the PMT in
// force there, not the first one of the recording.
TEST_F(CleanCuts, PmtThatChangesMidRecording) {
  const auto before = dir_ / "before.nts", after = dir_ / "after.nts";
  WriteVideoRecording(before, {.seconds = 4, .audio = true, .marker_shift = 2});
  WriteVideoRecording(after, {.seconds = 4, .audio = true, .marker_shift = 2, .first_pid = 0x200, .tables_version = 1});
  Bytes joined = ReadAll(before);
  const Bytes second = ReadAll(after);
  joined.insert(joined.end(), second.begin(), second.end());
  const auto file = dir_ / "joined.nts";
  WriteAll(file, joined);
  const CleanCut cut = CheckCleanCut(file, 5, 7, dir_ / "changed.ts");
  ASSERT_EQ(cut.outcome, CleanCutOutcome::kPlanned);
  const Bytes out = ReadAll(dir_ / "changed.ts");
  EXPECT_EQ((out[kPacketSize + 10] >> 1) & 0x1F, 1) << "the PMT's version";
}

TEST_F(CleanCuts, WithoutVideoEachStreamStartsAtAPesStart) {
  const auto file = dir_ / "radio.nts";
  WriteVideoRecording(file, {.seconds = 6, .video = false, .marker_shift = 3});
  const CleanCut cut = CheckCleanCut(file, 2, 4, dir_ / "radio.ts");
  EXPECT_FALSE(cut.plan.has_video);
}

TEST_F(CleanCuts, RefusedWithTheReason) {
  // One key picture every 8 seconds: none within 5 markers of second 1.
  const auto sparse = dir_ / "sparse.nts";
  WriteVideoRecording(sparse, {.seconds = 10, .gop = 80});
  MarkerIndex index(sparse.string());
  const int64_t start = index.ByteAfterMarker(1).byte, end = index.ByteAfterMarker(9).byte;
  EXPECT_EQ(PlanCleanCut(sparse.string(), start, end).outcome, CleanCutOutcome::kNoRandomAccess);
  // With a key picture in reach but after the end of the range.
  EXPECT_EQ(PlanCleanCut(sparse.string(), index.ByteAfterMarker(6).byte, index.ByteAfterMarker(7).byte).outcome,
            CleanCutOutcome::kNoRandomAccess);

  const auto plain = dir_ / "plain.nts";  // packets without any program tables
  Recording(RecordingOptions{.seconds = 8}).WriteTo(plain);
  EXPECT_EQ(PlanCleanCut(plain.string(), 0, 188 * 20).outcome, CleanCutOutcome::kNoProgramTables);
  EXPECT_EQ(PlanCleanCut((dir_ / "missing.nts").string(), 0, 188).outcome, CleanCutOutcome::kUnreadable);

  std::stop_source stop;
  stop.request_stop();
  EXPECT_EQ(PlanCleanCut(sparse.string(), start, end, stop.get_token()).outcome, CleanCutOutcome::kStopped);
}

std::string LastLine(const std::string& out) {
  const std::size_t end = out.find_last_not_of('\n');
  const std::size_t start = out.rfind('\n', end);
  return out.substr(start + 1, end - start);
}

// `trimora-cli cut --clean` reads the source once, planning its head and tail as it goes: what it
// writes is what the planner plans for the range (so the exact size the window shows is the
// file's), FFmpeg decodes it without an error from PAT, PMT and a key picture on, and its first
// and last pictures are those that `frame --clean` and the window show for the range.
void CheckCliCleanCut(const std::filesystem::path& dir, const std::string& name, int start, int end) {
  SCOPED_TRACE(name);
  const CliResult got = RunCli(dir, {"cut", "--measure", "--clean", name, "0:00:0" + std::to_string(start),
                                     "0:00:0" + std::to_string(end), "clean.ts"});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  EXPECT_EQ(LastLine(got.out), "書き込みが完了しました。");

  MarkerIndex index((dir / name).string());
  const CleanCut plan = PlanCleanCut((dir / name).string(), index.ByteAfterMarker(start).byte, index.ByteAfterMarker(end).byte);
  ASSERT_EQ(plan.outcome, CleanCutOutcome::kPlanned);
  const Bytes source = ReadAll(dir / name);
  Bytes planned;
  for (const ByteRun& run : plan.plan.runs)
    planned.insert(planned.end(), source.begin() + run.offset, source.begin() + run.offset + run.length);
  const Bytes written = ReadAll(dir / "clean.ts");
  EXPECT_EQ(int64_t(written.size()), plan.plan.size);
  EXPECT_TRUE(written == planned) << "the cut holds what the plan holds";

  const Decoded d = Decode(dir / "clean.ts");
  for (const std::string& e : d.errors) ADD_FAILURE() << "FFmpeg: " << e;
  ASSERT_GE(written.size(), 3 * kPacketSize);
  EXPECT_EQ(ts_get_pid(&written[0]), 0);
  EXPECT_EQ(ts_get_pid(&written[kPacketSize]), 0x1000);
  EXPECT_EQ(d.first_video_pos, 2 * int64_t{kPacketSize});
  EXPECT_TRUE(d.first_video_key);

  // The clean file's own first and last pictures, as a cut of all of it shows them.
  MarkerIndex clean_index((dir / "clean.ts").string());
  const auto picture = [](MarkerIndex& markers, preview::PictureRequest request) {
    const preview::PictureResult r = preview::MakeCutPicture(markers, request);
    EXPECT_EQ(r.outcome, preview::PictureOutcome::kPicture);
    return r;
  };
  const preview::PictureResult first = picture(index, {.second = start, .clean = true});
  const preview::PictureResult last = picture(index, {.second = end, .point = preview::CutPoint::kEnd, .from = start, .clean = true});
  EXPECT_TRUE(first.picture.pixels == picture(clean_index, {.second = 0}).picture.pixels);
  EXPECT_TRUE(last.picture.pixels == picture(clean_index, {.second = 99, .point = preview::CutPoint::kEnd}).picture.pixels);
  EXPECT_GT(first.seconds_after_marker, 0);
  ASSERT_FALSE(first.picture.pixels.empty());
  EXPECT_GE(SecondOfColour(first.picture.pixels[first.picture.pixels.size() / 2] & 0xFFFFFF), start);

  const CliResult frame = RunCli(dir, {"frame", "--clean", name, "0:00:0" + std::to_string(start), "start.png"});
  EXPECT_EQ(frame.exit_code, 0) << frame.out << frame.err;
  EXPECT_EQ(LastLine(frame.out), "画像：" + std::to_string(first.picture.width) + "x" + std::to_string(first.picture.height));
}

TEST_F(CleanCuts, CommandLineCleanCutOfMpeg2AndH264) {
  WriteVideoRecording(dir_ / "mpeg2.nts", {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  MoveMarkersIntoPes(dir_ / "mpeg2.nts");
  CheckCliCleanCut(dir_.path(), "mpeg2.nts", 2, 5);
  WriteVideoRecording(dir_ / "h264.nts", {.seconds = 8, .gop = 6, .height = 64, .interlaced = true, .h264 = true, .audio = true, .marker_shift = 2});
  MoveMarkersIntoPes(dir_ / "h264.nts");
  CheckCliCleanCut(dir_.path(), "h264.nts", 2, 5);
}

// No key picture in reach: refused with the reason, status 1, decided from the source alone
// before the target is touched, so a file that was there before stays as it was; none is made.
TEST_F(CleanCuts, CommandLineRefusalKeepsTheTargetThatWasThere) {
  WriteVideoRecording(dir_ / "sparse.nts", {.seconds = 10, .gop = 80});
  const Bytes kept(188 * 3, 0x47);
  WriteAll(dir_ / "out.ts", kept);
  const CliResult got = RunCli(dir_.path(), {"cut", "--measure", "--clean", "sparse.nts", "0:00:01", "0:00:09", "out.ts"});
  EXPECT_EQ(got.exit_code, 1);
  EXPECT_EQ(LastLine(got.out), cleancut::kNoRandomAccessText);
  EXPECT_EQ(ReadAll(dir_ / "out.ts"), kept);
  // A job whose second range cannot be made clean is refused whole, with that range's number:
  // the first holds the whole GOP from 0 s to 8 s, no key picture follows 9.5 s.
  const CliResult job = RunCli(dir_.path(), {"cut", "--measure", "--clean", "sparse.nts", "0:00:00", "0:00:09", "0:00:09.500", "0:00:10", "new.ts"});
  EXPECT_EQ(job.exit_code, 1);
  EXPECT_NE(LastLine(job.out).find("2"), std::string::npos) << job.out;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "new.ts"));
  const CliResult frame = RunCli(dir_.path(), {"frame", "--clean", "sparse.nts", "0:00:01", "start.png"});
  EXPECT_EQ(frame.exit_code, 1);
  EXPECT_EQ(LastLine(frame.out), cleancut::kNoRandomAccessText);
}

// A clean job cuts every range by its pictures' and sound's times, and ranges that touch as one:
// three ranges, one touching the next, are the job of the two stretches they make, byte for byte,
// and FFmpeg decodes it across its joins without an error, no picture of one range leaning on
// another's.
TEST_F(CleanCuts, CleanJobJoinsTouchingRangesAndDecodesAcrossTheJoins) {
  WriteVideoRecording(dir_ / "rec.nts", {.seconds = 12, .gop = 6, .height = 64, .interlaced = true, .audio = true, .marker_shift = 2});
  MoveMarkersIntoPes(dir_ / "rec.nts");
  const CliResult got = RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:01", "0:00:03", "0:00:03",
                                             "0:00:05", "0:00:07", "0:00:10", "job.ts"});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  EXPECT_EQ(LastLine(got.out), "書き込みが完了しました。");
  const CliResult two = RunCli(dir_.path(), {"cut", "--measure", "--clean", "rec.nts", "0:00:01", "0:00:05", "0:00:07", "0:00:10", "two.ts"});
  EXPECT_EQ(two.exit_code, 0) << two.out << two.err;
  EXPECT_TRUE(ReadAll(dir_ / "job.ts") == ReadAll(dir_ / "two.ts")) << "touching ranges are cut as one";
  for (const std::string& e : Decode(dir_ / "job.ts").errors) ADD_FAILURE() << "FFmpeg: " << e;
}

// A decoder counts the order of the key picture a range starts with from the last reference
// picture of the range before. These ranges lie so many pictures apart that the count's low bits
// (wrapping every 16 pictures here) put the key picture among the last ones of the range before:
// a decoder dropped the pictures counted before those it had shown and showed the last one late.
// The range before now ends earlier in its last GOP, and still holds its END-th marker.
TEST_F(CleanCuts, OpenGopH264JobShowsEveryPictureInOrderAcrossTheJoin) {
  WriteVideoRecording(dir_ / "rec.nts", {.seconds = 11, .fps = 30, .gop = 15, .h264 = true, .open_gop = true, .audio = true});
  const CliResult got = RunCli(dir_.path(), {"cut", "--measure", "--clean", "--verify", "rec.nts", "0:00:01", "0:00:03", "0:00:08", "0:00:10", "job.ts"});
  EXPECT_EQ(got.exit_code, 0) << got.out << got.err;
  const Decoded d = Decode(dir_ / "job.ts");
  for (const std::string& e : d.errors) ADD_FAILURE() << "FFmpeg: " << e;
  ASSERT_GT(d.shown.size(), 90u);
  for (std::size_t i = 1; i < d.shown.size(); ++i)
    EXPECT_EQ(d.shown[i] - d.shown[i - 1], 3000) << "picture " << i << " of " << d.shown.size();
}

// --- Streams the encoders here do not make ----------------------------------------------------

// A section given from its table_id, with its length and CRC put in, over as many packets of
// `pid` as it takes.
std::vector<Bytes> SectionPackets(uint16_t pid, Bytes section, uint8_t& cc) {
  const std::size_t length = section.size() + 4 - 3;
  section[1] = static_cast<uint8_t>((section[1] & 0xF0) | (length >> 8));
  section[2] = static_cast<uint8_t>(length);
  const uint32_t crc = psi::Crc32(section.data(), section.size());
  for (int i = 0; i < 4; ++i) section.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  std::vector<Bytes> packets;
  for (std::size_t at = 0; at < section.size();) {
    Bytes p(kPacketSize, 0xFF);
    p[0] = kSyncByte;
    p[1] = static_cast<uint8_t>((at == 0 ? 0x40 : 0) | (pid >> 8));
    p[2] = static_cast<uint8_t>(pid);
    p[3] = static_cast<uint8_t>(0x10 | (cc++ & 0x0F));
    std::size_t into = 4;
    if (at == 0) p[into++] = 0;  // pointer field
    const std::size_t n = std::min(section.size() - at, kPacketSize - into);
    std::copy_n(section.begin() + static_cast<std::ptrdiff_t>(at), n, p.begin() + static_cast<std::ptrdiff_t>(into));
    at += n;
    packets.push_back(std::move(p));
  }
  return packets;
}

// FFmpeg's PMTs made 260 bytes long by a private program descriptor: two packets each.
void LengthenPmts(const std::filesystem::path& file) {
  const Bytes bytes = ReadAll(file);
  Bytes out;
  uint8_t cc = 0;
  for (std::size_t at = 0; at + kPacketSize <= bytes.size(); at += kPacketSize) {
    const uint8_t* p = &bytes[at];
    if (ts_get_pid(p) != 0x1000) {
      out.insert(out.end(), p, p + kPacketSize);
      continue;
    }
    const uint8_t* s = p + 5 + p[4];
    const std::size_t size = psi::SectionSize(s), info = ((s[10] & 0x0Fu) << 8) | s[11];
    Bytes section(s, s + 12 + info);
    const std::size_t grow = 260 - size;
    section.push_back(0xF0);
    section.push_back(static_cast<uint8_t>(grow - 2));
    section.insert(section.end(), grow - 2, 0x5A);
    section[10] = static_cast<uint8_t>(0xF0 | ((info + grow) >> 8));
    section[11] = static_cast<uint8_t>(info + grow);
    section.insert(section.end(), s + 12 + info, s + size - 4);
    for (const Bytes& q : SectionPackets(0x1000, section, cc)) out.insert(out.end(), q.begin(), q.end());
  }
  WriteAll(file, out);
}

TEST_F(CleanCuts, PmtOverTwoPacketsOpensTheCutWithBothPackets) {
  const auto file = dir_ / "long_pmt.nts";
  WriteVideoRecording(file, {.seconds = 6, .audio = true, .marker_shift = 2});
  LengthenPmts(file);
  MarkerIndex index(file.string());
  const CleanCut cut = PlanCleanCut(file.string(), index.ByteAfterMarker(2).byte, index.ByteAfterMarker(4).byte);
  ASSERT_EQ(cut.outcome, CleanCutOutcome::kPlanned);
  const Bytes source = ReadAll(file);
  Bytes out;
  for (const ByteRun& run : cut.plan.runs)
    out.insert(out.end(), source.begin() + run.offset, source.begin() + run.offset + run.length);
  ASSERT_GE(out.size(), 4 * kPacketSize);
  EXPECT_EQ(ts_get_pid(&out[0]), 0);
  EXPECT_EQ(ts_get_pid(&out[kPacketSize]), 0x1000);
  EXPECT_EQ(ts_get_pid(&out[2 * kPacketSize]), 0x1000);
  EXPECT_EQ(out[kPacketSize + 3] & 0x0F, (out[2 * kPacketSize + 3] - 1) & 0x0F) << "the two packets of one section";
  WriteAll(dir_ / "long_pmt.ts", out);
  const Decoded d = Decode(dir_ / "long_pmt.ts");
  for (const std::string& e : d.errors) ADD_FAILURE() << "FFmpeg: " << e;
  EXPECT_EQ(d.first_video_pos, 3 * int64_t{kPacketSize});
  EXPECT_GT(d.pictures, 0);
}

// Ten seconds of H.264 in PESs of one packet each, a PAT and a PMT before each second: `second`
// gives the video PESs' elementary-stream bytes.
void WriteH264Recording(const std::filesystem::path& file, const std::function<std::vector<Bytes>()>& second) {
  Bytes out;
  uint8_t pat_cc = 0, pmt_cc = 0, video_cc = 0;
  const auto put = [&](const Bytes& p) { out.insert(out.end(), p.begin(), p.end()); };
  for (int s = 0; s < 10; ++s) {
    for (const Bytes& p : SectionPackets(0, {0x00, 0xB0, 0, 0x00, 0x01, 0xC1, 0, 0, 0x00, 0x01, 0xF0, 0x00}, pat_cc)) put(p);
    for (const Bytes& p : SectionPackets(0x1000, {0x02, 0xB0, 0, 0x00, 0x01, 0xC1, 0, 0, 0xE1, 0x00, 0xF0, 0x00, 0x1B, 0xE1, 0x00, 0xF0, 0x00}, pmt_cc))
      put(p);
    for (const Bytes& es : second()) {
      Bytes pes = {0, 0, 1, 0xE0, 0, 0, 0x80, 0, 0};
      pes.insert(pes.end(), es.begin(), es.end());
      Bytes p(kPacketSize, 0xFF);
      p[0] = kSyncByte;
      p[1] = 0x41;
      p[2] = 0x00;
      p[3] = static_cast<uint8_t>(0x30 | (video_cc++ & 0x0F));
      p[4] = static_cast<uint8_t>(kPacketSize - 5 - pes.size());  // adaptation field of stuffing
      p[5] = 0x00;
      std::copy(pes.begin(), pes.end(), p.end() - static_cast<std::ptrdiff_t>(pes.size()));
      put(p);
    }
    put(Recording::MakePacket(kTimeMarkerPid, static_cast<uint32_t>(s)));
  }
  WriteAll(file, out);
}

const Bytes kSps = {0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1E, 0xAB};
const Bytes kPps = {0, 0, 0, 1, 0x68, 0xCE, 0x38, 0x80};
Bytes Joined(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& b : parts) all.insert(all.end(), b.begin(), b.end());
  return all;
}

// Some encoders send the parameter sets in a PES of their own just before the IDR picture: the
// cut starts with that PES.
TEST_F(CleanCuts, H264ParameterSetsInTheirOwnPesBeforeTheKeyPicture) {
  const auto file = dir_ / "sets.nts";
  WriteH264Recording(file, [] {
    return std::vector<Bytes>{Joined({kSps, kPps}), {0, 0, 0, 1, 0x65, 0x88, 0x84, 0xAB}, {0, 0, 0, 1, 0x41, 0x9A, 0xAB}};
  });
  MarkerIndex index(file.string());
  const int64_t start = index.ByteAfterMarker(2).byte;
  const CleanCut cut = PlanCleanCut(file.string(), start, index.ByteAfterMarker(4).byte);
  ASSERT_EQ(cut.outcome, CleanCutOutcome::kPlanned);
  EXPECT_TRUE(cut.plan.has_video);
  EXPECT_EQ(cut.plan.body_start, start + 2 * int64_t{kPacketSize}) << "at the parameter sets, after the tables";
}

// A slice header whose first value has 32 leading zero bits codes nothing: no start there.
TEST_F(CleanCuts, H264SliceHeadWithThirtyTwoLeadingZerosIsNoStart) {
  const auto file = dir_ / "zeros.nts";
  WriteH264Recording(file, [] {
    const Bytes recovery = {0, 0, 0, 1, 0x06, 0x06, 0x01, 0x80, 0x80};
    const Bytes slice = {0, 0, 0, 1, 0x01, 0x00, 0x00, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0xFF, 0xB8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    return std::vector<Bytes>{Joined({kSps, kPps, recovery, slice})};
  });
  MarkerIndex index(file.string());
  EXPECT_EQ(PlanCleanCut(file.string(), index.ByteAfterMarker(2).byte, index.ByteAfterMarker(4).byte).outcome,
            CleanCutOutcome::kNoRandomAccess);
}

// --- Clean cuts by the cutter ------------------------------------------------------------------

class Quiet : public CutReport {
 public:
  void StageBegun(CutStage stage) override {
    if (onStage) onStage(stage);
  }
  void Percent(int32_t) override {}
  void Ended(const CutResult&) override {}
  std::function<void(CutStage)> onStage;
};

CutResult CutClean(const std::filesystem::path& source, const std::filesystem::path& target,
                   const std::vector<CutPart>& parts, CutReport& report) {
  SourceFile file1;
  TargetFile file2{&file1};
  StopFlag stop{0};
  CutOptions clean;
  clean.mode = CutMode::kClean;
  return CutRecording(source.string(), target.string(), parts, file1, file2, stop, report, clean);
}

// Past the recording's end, and with a half-written last packet, a clean cut holds only the
// recording's own whole packets: no zero records, no torn packet completed with zeros.
TEST_F(CleanCuts, PastTheEndOnlyTheRecordingsWholePackets) {
  const auto file = dir_ / "rec.nts";
  WriteVideoRecording(file, {.seconds = 6, .audio = true, .marker_shift = 2});
  Bytes source = ReadAll(file);
  source.insert(source.end(), {0x47, 0x01, 0x00, 0x10, 0x00});
  WriteAll(file, source);
  Quiet report;
  EXPECT_EQ(CutClean(file, dir_ / "out.ts", {{3, 20}}, report).outcome, CutOutcome::SourceEnded);
  const Bytes out = ReadAll(dir_ / "out.ts");
  ASSERT_EQ(out.size() % kPacketSize, 0u);
  std::set<Bytes> packets;
  for (std::size_t at = 0; at + kPacketSize <= source.size(); at += kPacketSize)
    packets.emplace(source.begin() + static_cast<std::ptrdiff_t>(at), source.begin() + static_cast<std::ptrdiff_t>(at + kPacketSize));
  for (std::size_t at = 0; at < out.size(); at += kPacketSize)
    EXPECT_TRUE(packets.count(Bytes(out.begin() + static_cast<std::ptrdiff_t>(at), out.begin() + static_cast<std::ptrdiff_t>(at + kPacketSize))))
        << "packet " << at / kPacketSize << " is not the recording's";
}

// A file renamed over the recording while a clean job copies lends nothing to its later ranges:
// they are planned from the file the job opened.
TEST_F(CleanCuts, JobPlansFromTheFileItOpenedNotFromThePath) {
  const auto file = dir_ / "rec.nts", other = dir_ / "other.nts";
  WriteVideoRecording(file, {.seconds = 10, .audio = true, .marker_shift = 2});
  WriteVideoRecording(other, {.seconds = 10, .first_colour = 4, .audio = true, .marker_shift = 3, .first_pid = 0x200});
  const std::vector<CutPart> parts = {{1, 3}, {5, 7}};
  Quiet report;
  ASSERT_EQ(CutClean(file, dir_ / "unmoved.ts", parts, report).outcome, CutOutcome::Completed);
  const Bytes joined = ReadAll(dir_ / "unmoved.ts");
  report.onStage = [&](CutStage stage) {
    if (stage == CutStage::Copy) std::filesystem::rename(other, file);
  };
  EXPECT_EQ(CutClean(file, dir_ / "job.ts", parts, report).outcome, CutOutcome::Completed);
  EXPECT_TRUE(ReadAll(dir_ / "job.ts") == joined) << "the job is the clean cuts of the file it opened";
}

}  // namespace
}  // namespace trimora::testkit
