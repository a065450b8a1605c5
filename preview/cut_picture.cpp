// Decoding a picture at a cut point. The demuxer reads a window of the recording's bytes through
// a custom I/O context, so it sees exactly the cut's bytes and nothing beyond them; the decoder
// and the scaler are FFmpeg's. Every FFmpeg object lives in a small owner that frees it.
#include "preview/cut_picture.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "cleancut/clean_cut.h"
#include "cleancut/timed_edges.h"
#include "cleancut/clean_cut_texts.h"
#include "core/psi.h"
#include "core/ts_packet.h"
#include "platform/os/os.h"
#include "preview/byte_window.h"
#include "preview/ffmpeg_owners.h"

namespace trimora::preview {

namespace {

// Bounds on input and on work. A broadcast GOP of half a second at 20 Mbit/s is about 1.2 MiB;
// the start picture needs at most one GOP before a picture decodes, the end picture one GOP
// before the end. Whatever the stream holds, one request hands the decoder at most so many
// packets and so many pixels (about 300 HD pictures): a stream in which no picture ever
// completes costs that much and no more.
constexpr int64_t kStartBytes = 8 << 20;
constexpr int64_t kEndWindows[] = {2 << 20, 8 << 20};
constexpr int64_t kPsiLookBack = 2 << 20;  // where the PAT and PMT in force at a window's start are looked for
constexpr int kDecodeAttempts = 600;
constexpr int64_t kDecodePixels = int64_t{600} << 20;
// Larger pictures than 8K UHD are refused before the decoder allocates one: a few of them
// would take more memory than a preview may.
constexpr int kMaxWidth = 7680, kMaxHeight = 4320;

constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);

// Work done for one request, across all its passes.
struct Budget {
  int attempts = kDecodeAttempts;
  int64_t pixels = kDecodePixels;
  bool Spent() const { return attempts <= 0 || pixels <= 0; }
};

// Which PID carries the video of the first program of the PAT, and from which byte on, read from
// the PAT and PMT sections themselves; and where packets of a video PID went missing, by their
// continuity counters. FFmpeg's demuxer offers every program's streams; this says which one is
// the picture's. Reads the recording's records (188 bytes from the file's start) lazily, up to
// the window's end, from a little before its start so that the tables already in force count.
class StreamMap {
 public:
  StreamMap(const os::File& file, int64_t begin, int64_t end)
      : file_(file), begin_(begin), end_(end), scanned_(std::max<int64_t>(0, begin - kPsiLookBack) / kPacket * kPacket) {
    last_cc_.fill(-1);
  }

  static constexpr int kUnknown = -1;

  // The video PID in force at the window's byte `pos` (window-relative); kUnknown when no PMT
  // named one before it, in which case the first PMT of the window decides.
  int VideoPidAt(int64_t pos) {
    ScanTo(begin_ + pos + kPacket);
    int pid = kUnknown;
    for (const auto& [from, video] : changes_) {
      if (from > begin_ + pos && pid != kUnknown) break;
      pid = video;
    }
    return pid;
  }

  // Whether the picture whose PES starts at the window's byte `pos` on `pid` lost packets: inside
  // it, or just before its first packet (then a reference it needs may be gone).
  struct Damage {
    bool before = false, inside = false;
  };
  Damage DamageOf(int pid, int64_t pos) {
    const int64_t at = begin_ + pos;
    // The PES runs to the next unit start of the PID.
    int64_t next = -1;
    while (next < 0) {
      auto& starts = unit_starts_[pid];
      const auto it = std::upper_bound(starts.begin(), starts.end(), at);
      if (it != starts.end()) next = *it;
      else if (scanned_ >= end_ || failed_) next = end_;
      else ScanTo(scanned_ + (256 << 10));
    }
    Damage d;
    for (const Loss& loss : losses_) {
      if (loss.pid != pid) continue;
      if (loss.at == at && loss.unit_start) d.before = true;
      if (loss.at > at && loss.at < next) d.inside = true;
    }
    return d;
  }

 private:
  struct Loss {
    int64_t at;
    int pid;
    bool unit_start;
  };

  void ScanTo(int64_t until) {
    until = std::min(until, end_);
    if (scanned_ >= until || failed_) return;
    std::vector<uint8_t> buffer;
    while (scanned_ < until) {
      const int64_t chunk = std::min<int64_t>(std::max<int64_t>(until - scanned_, 64 << 10), end_ - scanned_);
      buffer.resize(static_cast<std::size_t>(chunk));
      std::size_t got = 0;
      try {
        got = file_.ReadAt(buffer.data(), buffer.size(), scanned_);
      } catch (const std::system_error&) {
        failed_ = true;
        return;
      }
      const std::size_t whole = got / kPacketSize * kPacketSize;
      for (std::size_t p = 0; p < whole; p += kPacketSize) Look(buffer.data() + p, scanned_ + static_cast<int64_t>(p));
      scanned_ += static_cast<int64_t>(whole);
      if (whole < buffer.size()) {
        failed_ = true;  // the end of the file, or a partial record: nothing more to learn
        return;
      }
    }
  }

  void Look(const uint8_t* p, int64_t at) {
    if (p[0] != kSyncByte) return;
    const int pid = ts_get_pid(p);
    const bool unit_start = (p[1] & 0x40) != 0;
    const int afc = (p[3] >> 4) & 3;
    if (afc & 1) {
      const int cc = p[3] & 0x0F;
      const int last = last_cc_[static_cast<std::size_t>(pid)];
      const bool damaged = (p[1] & 0x80) != 0;
      const bool discontinuity = afc == 3 && p[4] > 0 && (p[5] & 0x80);
      if (IsVideo(pid) && at >= begin_ &&
          (damaged || (last >= 0 && cc != ((last + 1) & 0x0F) && cc != last && !discontinuity)))
        losses_.push_back({at, pid, unit_start});
      last_cc_[static_cast<std::size_t>(pid)] = cc;
      if (unit_start && IsVideo(pid)) unit_starts_[pid].push_back(at);
    }
    if (pid == 0)
      for (const std::vector<uint8_t>& section : pat_.Take(p)) OnPat(section);
    else if (pid == pmt_pid_)
      for (const std::vector<uint8_t>& section : pmt_.Take(p)) OnPmt(section, at);
  }

  bool IsVideo(int pid) const {
    if (pid == current_video_) return true;
    for (const auto& change : changes_)
      if (change.second == pid) return true;
    return false;
  }

  void OnPat(const std::vector<uint8_t>& s) {
    if (!psi::SoundSection(s.data(), s.size(), psi::kPatTableId)) return;  // nor a future table
    const std::optional<psi::Program> first = psi::FirstProgram(s.data(), s.size());
    if (!first) return;
    if (first->number != program_ || first->pmt_pid != pmt_pid_) pmt_.Reset();
    program_ = first->number;
    pmt_pid_ = first->pmt_pid;
  }

  void OnPmt(const std::vector<uint8_t>& s, int64_t at) {
    if (!psi::SoundSection(s.data(), s.size(), psi::kPmtTableId) || psi::PmtProgram(s.data()) != program_) return;
    for (const psi::Stream& stream : psi::PmtStreams(s.data(), s.size())) {
      const int pid = stream.pid;
      if (psi::IsVideoStream(stream.type)) {
        if (pid != current_video_) {
          current_video_ = pid;
          changes_.emplace_back(at, pid);
        }
        return;
      }
    }
  }

  const os::File& file_;
  const int64_t begin_, end_;
  int64_t scanned_;
  bool failed_ = false;
  std::array<int8_t, 0x2000> last_cc_{};
  psi::SectionAssembler pat_, pmt_;
  int program_ = -1, pmt_pid_ = -1, current_video_ = kUnknown;
  std::vector<std::pair<int64_t, int>> changes_;  // (byte, video PID) in the order the PMTs came
  std::vector<Loss> losses_;
  std::map<int, std::vector<int64_t>> unit_starts_;
};

// What a decoding pass ended with, before it becomes a PictureOutcome.
enum class Pass { kPicture, kNoVideo, kNoPicture, kCancelled, kCannotRead };

// A video packet of the program's stream as the demuxer gave it, with what its PES lost.
struct VideoPacket {
  PacketPtr packet;
  bool loss_before = false, loss_inside = false;
};

// A demuxer and a video decoder over one byte window.
class Decoder {
 public:
  Decoder(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop, Budget& budget)
      : window_(path, begin, end, [&stop] { return stop.stop_requested(); }), map_(window_.File(), begin, end), stop_(stop), budget_(budget) {}

  // Opens the window as a transport stream; what ends the pass when that fails.
  std::optional<Pass> Open() {
    if (!window_.IsOpen()) return Pass::kCannotRead;
    io_ = window_.NewIo();
    if (!io_) return Pass::kCannotRead;
    format_ = ByteWindow::OpenTransportStream(io_.get(), {&Decoder::Interrupted, this});
    if (!format_) return stop_.stop_requested() ? Pass::kCancelled : window_.Failed() ? Pass::kCannotRead : Pass::kNoVideo;
    return std::nullopt;
  }

  // Reads the next packet of the program's video stream; nothing at the end of the window or
  // when stopped.
  std::optional<VideoPacket> NextVideoPacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return std::nullopt;
    while (!Stopped() && av_read_frame(format_.get(), packet.get()) >= 0) {
      const AVStream* stream = format_->streams[packet->stream_index];
      if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && stream->codecpar->codec_id != AV_CODEC_ID_NONE) {
        saw_video_ = true;
        const int wanted = packet->pos >= 0 ? map_.VideoPidAt(packet->pos) : StreamMap::kUnknown;
        // Without a PMT to go by, the first video stream met is the picture's.
        if (wanted == StreamMap::kUnknown && fallback_ < 0) fallback_ = packet->stream_index;
        if (wanted == StreamMap::kUnknown ? packet->stream_index == fallback_ : stream->id == wanted) {
          VideoPacket v{std::move(packet)};
          if (v.packet->pos >= 0) {
            const StreamMap::Damage d = map_.DamageOf(stream->id, v.packet->pos);
            v.loss_before = d.before;
            v.loss_inside = d.inside;
          }
          return v;
        }
      }
      av_packet_unref(packet.get());
    }
    return std::nullopt;
  }

  bool HasVideo() const { return saw_video_; }
  bool Stopped() const { return stop_.stop_requested() || budget_.Spent(); }
  bool Cancelled() const { return stop_.stop_requested(); }
  bool ReadFailed() const { return window_.Failed(); }

  // Feeds one packet (nullptr: the end, flush) and hands each complete picture to `take`. After
  // a damaged packet, pictures count again from the next key frame: those between may refer to
  // what was lost. A packet of another stream than the last (the PMT moved the video) starts a
  // decoder of its own.
  template <typename Take>
  void Decode(const VideoPacket* v, Take&& take) {
    const AVPacket* packet = v ? v->packet.get() : nullptr;
    if (packet && packet->stream_index != stream_) {
      codec_.reset();
      codec_failed_ = false;
      stream_ = packet->stream_index;
      damaged_ = true;
    }
    if (!codec_ && !OpenCodec()) return;
    if (packet) {
      if (v->loss_before) damaged_ = true;
      if (packet->flags & AV_PKT_FLAG_KEY) damaged_ = false;
      if ((packet->flags & AV_PKT_FLAG_CORRUPT) || v->loss_inside) damaged_ = true;
      --budget_.attempts;
      budget_.pixels -= std::max<int64_t>(int64_t{codec_->width} * codec_->height, 1);
    }
    if (avcodec_send_packet(codec_.get(), packet) < 0) damaged_ = true;
    FramePtr frame(av_frame_alloc());
    while (frame) {
      const int r = avcodec_receive_frame(codec_.get(), frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return;
      if (r < 0) {
        damaged_ = true;
        return;
      }
      if (Complete(*frame)) {
        take(std::move(frame));
        frame.reset(av_frame_alloc());
      } else {
        av_frame_unref(frame.get());
      }
    }
  }

  // Starts decoding afresh (the next packet given should be a key frame's).
  void Restart() {
    if (codec_) avcodec_flush_buffers(codec_.get());
    damaged_ = false;
  }

  // The decoder's pictures go; a picture taken keeps its own.
  void Close() { codec_.reset(); }

 private:
  static int Interrupted(void* opaque) { return static_cast<Decoder*>(opaque)->stop_.stop_requested() ? 1 : 0; }

  bool OpenCodec() {
    if (codec_failed_ || stream_ < 0) return false;
    const AVCodecParameters* par = format_->streams[stream_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    codec_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), par) < 0 || par->width > kMaxWidth ||
        par->height > kMaxHeight) {
      codec_failed_ = true;
      codec_.reset();
      return false;
    }
    codec_->thread_count = 1;  // one picture at a time; the worker's thread is enough
    // The decoder refuses a larger picture before it allocates one.
    codec_->max_pixels = int64_t{kMaxWidth} * kMaxHeight;
    if (avcodec_open2(codec_.get(), codec, nullptr) < 0) {
      codec_failed_ = true;
      codec_.reset();
      return false;
    }
    return true;
  }

  // A picture counts when nothing in it had to be concealed or guessed, and it is no larger than
  // the largest taken.
  bool Complete(const AVFrame& frame) const {
    return !damaged_ && frame.decode_error_flags == 0 && (frame.flags & AV_FRAME_FLAG_CORRUPT) == 0 &&
           frame.width > 0 && frame.height > 0 && frame.width <= kMaxWidth && frame.height <= kMaxHeight;
  }

  ByteWindow window_;
  StreamMap map_;
  const std::stop_token& stop_;
  Budget& budget_;
  IoPtr io_;
  FormatPtr format_;
  CodecPtr codec_;
  int stream_ = -1;    // the stream the decoder is open for
  int fallback_ = -1;  // the first video stream, when no PMT says which
  bool saw_video_ = false;
  bool codec_failed_ = false;
  bool damaged_ = false;
};

Pass Ended(const Decoder& d) {
  if (d.Cancelled()) return Pass::kCancelled;
  if (d.ReadFailed()) return Pass::kCannotRead;
  return d.HasVideo() ? Pass::kNoPicture : Pass::kNoVideo;
}

// The first complete picture of the bytes [begin, end) shown at `shown_from` or later: the leading
// pictures a clean cut leaves out show before its key picture.
Pass FirstPicture(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop, Budget& budget,
                  FramePtr& out, int64_t shown_from = INT64_MIN) {
  Decoder d(path, begin, end, stop, budget);
  if (auto failed = d.Open()) return *failed;
  const auto take = [&](FramePtr f) {
    if (!out && (shown_from == INT64_MIN || f->best_effort_timestamp >= shown_from)) out = std::move(f);
  };
  while (!out && !d.Stopped()) {
    std::optional<VideoPacket> packet = d.NextVideoPacket();
    d.Decode(packet ? &*packet : nullptr, take);
    if (!packet) break;
  }
  d.Close();
  return out ? Pass::kPicture : Ended(d);
}

// The last complete picture of the bytes [begin, end): the window's video packets are read
// first, then decoded from the last key frame on; when that gives nothing, from the one before,
// as far as the budget goes.
Pass LastPicture(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop, Budget& budget,
                 FramePtr& out) {
  Decoder d(path, begin, end, stop, budget);
  if (auto failed = d.Open()) return *failed;
  std::deque<VideoPacket> packets;
  std::vector<std::size_t> keys;
  while (std::optional<VideoPacket> packet = d.NextVideoPacket()) {
    if (packet->packet->flags & AV_PKT_FLAG_KEY) keys.push_back(packets.size());
    packets.push_back(std::move(*packet));
  }
  if (d.Cancelled()) return Pass::kCancelled;
  // Without a key frame flagged by the parser, the window's first packet is the last resort.
  if (!packets.empty() && (keys.empty() || keys.front() != 0)) keys.insert(keys.begin(), 0);
  const auto take = [&](FramePtr f) { out = std::move(f); };
  for (auto key = keys.rbegin(); key != keys.rend() && !out && !d.Stopped(); ++key) {
    d.Restart();
    for (std::size_t i = *key; i < packets.size() && !d.Stopped(); ++i) d.Decode(&packets[i], take);
    d.Decode(nullptr, take);
  }
  d.Close();
  return out ? Pass::kPicture : Ended(d);
}

// The frame at its display size (within the box when one is given), from one field when the
// frame is interlaced.
std::optional<Picture> ToPicture(const AVFrame& frame, int max_width, int max_height) {
  double width = frame.width;
  if (frame.sample_aspect_ratio.num > 0 && frame.sample_aspect_ratio.den > 0)
    width *= av_q2d(frame.sample_aspect_ratio);
  double height = frame.height;
  double scale = 1.0;
  if (max_width > 0) scale = std::min(scale, max_width / width);
  if (max_height > 0) scale = std::min(scale, max_height / height);
  Picture p;
  p.width = std::max(1, static_cast<int>(std::lround(width * scale)));
  p.height = std::max(1, static_cast<int>(std::lround(height * scale)));
  if (p.width > 16384 || p.height > 16384) return std::nullopt;

  // One field: every second line, from the top line on. Chroma lines alternate by field too.
  const bool one_field = frame.interlaced_frame && frame.height >= 2;
  const int field_height = one_field ? frame.height / 2 : frame.height;
  const uint8_t* planes[4] = {};
  int strides[4] = {};
  for (int i = 0; i < 4 && frame.data[i]; ++i) {
    planes[i] = frame.data[i];
    strides[i] = one_field ? frame.linesize[i] * 2 : frame.linesize[i];
  }
  ScalerPtr scaler(
      sws_getContext(frame.width, field_height, static_cast<AVPixelFormat>(frame.format), p.width, p.height,
                     AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler) return std::nullopt;
  p.pixels.assign(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height), 0);
  uint8_t* out[4] = {reinterpret_cast<uint8_t*>(p.pixels.data())};
  int out_strides[4] = {p.width * 4};
  if (sws_scale(scaler.get(), planes, strides, 0, field_height, out, out_strides) <= 0) return std::nullopt;
  for (uint32_t& px : p.pixels) px |= 0xFF000000u;
  return p;
}

PictureOutcome OutcomeOf(Pass pass) {
  switch (pass) {
    case Pass::kPicture: return PictureOutcome::kPicture;
    case Pass::kNoVideo: return PictureOutcome::kNoVideo;
    case Pass::kNoPicture: return PictureOutcome::kNoPicture;
    case Pass::kCancelled: return PictureOutcome::kCancelled;
    case Pass::kCannotRead: return PictureOutcome::kCannotRead;
  }
  return PictureOutcome::kNoPicture;
}

// Where a cut at a time finer than a second starts or ends, or why there is no such place.
struct FineEdge {
  std::optional<PictureOutcome> outcome;
  int64_t byte = -1;
  double seconds_after_marker = 0;
  int64_t shown_from = INT64_MIN;  // the PTS of a clean start's key picture
};

PictureOutcome OutcomeOf(cleancut::CleanCutOutcome outcome) {
  switch (outcome) {
    case cleancut::CleanCutOutcome::kStopped: return PictureOutcome::kCancelled;
    case cleancut::CleanCutOutcome::kUnreadable: return PictureOutcome::kCannotRead;
    case cleancut::CleanCutOutcome::kNoRandomAccess: return PictureOutcome::kNoCleanStart;
    case cleancut::CleanCutOutcome::kNoProgramTables: return PictureOutcome::kNoCleanTables;
    case cleancut::CleanCutOutcome::kPlanned: break;
  }
  return PictureOutcome::kNoPicture;
}

PictureOutcome OutcomeOf(cleancut::EdgeOutcome outcome) {
  switch (outcome) {
    case cleancut::EdgeOutcome::kStopped: return PictureOutcome::kCancelled;
    case cleancut::EdgeOutcome::kUnreadable: return PictureOutcome::kCannotRead;
    case cleancut::EdgeOutcome::kNoKey: return PictureOutcome::kNoCleanStart;
    case cleancut::EdgeOutcome::kFound: break;
  }
  return PictureOutcome::kNoPicture;
}

// An exact cut's edge at the time.
FineEdge ExactEdge(const os::File& file, int64_t marker_byte, const PictureRequest& request, const std::stop_token& stop) {
  const int64_t at = cleancut::ExactCutPoint(file, marker_byte, request.millis, stop);
  if (at < 0) return {stop.stop_requested() ? PictureOutcome::kCancelled : PictureOutcome::kCannotRead};
  return {std::nullopt, at};
}

// The first picture an exact cut from the time shows, or the key picture a clean one starts with.
FineEdge FineStart(MarkerIndex& markers, int64_t marker_byte, const PictureRequest& request, const std::stop_token& stop) {
  const os::File file = os::File::OpenForReading(markers.Path());
  if (request.clean) {
    const cleancut::CleanHeadResult head = cleancut::PlanCleanHead(file, marker_byte, INT32_MAX, stop);
    if (head.outcome != cleancut::CleanCutOutcome::kPlanned) return {OutcomeOf(head.outcome)};
    if (!head.head.has_video) return {PictureOutcome::kNoVideo};
    const cleancut::TimedStartResult start = cleancut::FindTimedStart(file, marker_byte, request.millis, head.head.program, stop);
    if (start.outcome != cleancut::EdgeOutcome::kFound) return {OutcomeOf(start.outcome)};
    return {std::nullopt, start.start.key, static_cast<double>(start.start.key_after) / 90000, start.start.key_pts};
  }
  return ExactEdge(file, marker_byte, request, stop);
}

// Where the video of a cut up to the time ends: an exact cut's first picture at the time, a clean
// one's key picture of the GOP the time falls in. `from`: a byte at or before that GOP.
FineEdge FineEnd(MarkerIndex& markers, int64_t from, int64_t marker_byte, const PictureRequest& request,
                 const std::stop_token& stop) {
  const os::File file = os::File::OpenForReading(markers.Path());
  if (!request.clean) return ExactEdge(file, marker_byte, request, stop);
  const std::optional<cleancut::ProgramStreams> program = cleancut::ProgramBefore(file, marker_byte);
  if (!program || program->video == cleancut::VideoKind::kNone) return {PictureOutcome::kNoVideo};
  const cleancut::TimedEndResult end = cleancut::FindTimedEnd(file, from, marker_byte, request.millis, *program, stop);
  if (end.outcome != cleancut::EdgeOutcome::kFound) return {OutcomeOf(end.outcome)};
  return {std::nullopt, end.end.video_end};
}

PictureResult Make(MarkerIndex& markers, const PictureRequest& request, const std::stop_token& stop) {
  PictureResult result;
  const int64_t size = markers.FileSize();
  if (size < 0) {
    result.outcome = PictureOutcome::kCannotRead;
    return result;
  }
  // Positions found in the recording analysed mean nothing in a file put in its place.
  if (!markers.Unchanged()) {
    result.outcome = PictureOutcome::kNoPicture;
    return result;
  }
  const MarkerIndex::Lookup found = markers.ByteAfterMarker(request.second, stop);
  if (stop.stop_requested()) {
    result.outcome = PictureOutcome::kCancelled;
    return result;
  }
  if (!found.found && markers.Complete()) result.recording_markers = markers.KnownMarkers();
  Budget budget;
  FramePtr frame;
  Pass pass;
  if (request.point == CutPoint::kStart) {
    if (!found.found || found.byte >= size) {
      result.outcome = PictureOutcome::kBeyondEnd;
      return result;
    }
    result.byte = found.byte;
    int64_t first = found.byte;
    int64_t shown_from = INT64_MIN;
    if (request.millis > 0) {
      const FineEdge edge = FineStart(markers, found.byte, request, stop);
      if (edge.outcome) {
        result.outcome = *edge.outcome;
        return result;
      }
      first = result.byte = edge.byte;
      result.seconds_after_marker = edge.seconds_after_marker;
      shown_from = edge.shown_from;
    } else if (request.clean) {
      // The clean cut's file opens with the tables in force here, which the stream map reads
      // from before the window: what the decoder sees of its video is the window's.
      const os::File file = os::File::OpenForReading(markers.Path());
      const cleancut::CleanHeadResult head = cleancut::PlanCleanHead(file, found.byte, INT32_MAX, stop);
      switch (head.outcome) {
        case cleancut::CleanCutOutcome::kPlanned: break;
        case cleancut::CleanCutOutcome::kStopped: result.outcome = PictureOutcome::kCancelled; return result;
        case cleancut::CleanCutOutcome::kUnreadable: result.outcome = PictureOutcome::kCannotRead; return result;
        case cleancut::CleanCutOutcome::kNoRandomAccess: result.outcome = PictureOutcome::kNoCleanStart; return result;
        case cleancut::CleanCutOutcome::kNoProgramTables: result.outcome = PictureOutcome::kNoCleanTables; return result;
      }
      first = head.head.body_start;
      result.seconds_after_marker = head.head.seconds_after_marker;
    }
    const int64_t end = markers.CutStop(first, std::min(size, first + kStartBytes), stop);
    pass = end < 0 ? (stop.stop_requested() ? Pass::kCancelled : Pass::kCannotRead)
                   : FirstPicture(markers.Path(), first, end, stop, budget, frame, shown_from);
  } else {
    // A cut whose end lies beyond the last marker runs to the end of the recording; zeroed or
    // damaged records end it earlier, wherever the cut itself would stop.
    const MarkerIndex::Lookup from = markers.ByteAfterMarker(std::max(request.from, 0), stop);
    int64_t to = found.found ? std::min(found.byte, size) : size;
    if (request.millis > 0 && found.found && from.found) {
      const MarkerIndex::Lookup gop = markers.ByteAfterMarker(std::max(request.from, request.second - 2), stop);
      const FineEdge edge = FineEnd(markers, gop.found ? gop.byte : from.byte, to, request, stop);
      if (edge.outcome) {
        result.outcome = *edge.outcome;
        return result;
      }
      to = edge.byte;
    }
    int64_t end = from.found ? markers.CutStop(from.byte, to, stop) : 0;
    result.byte = end;
    // A clean cut that reaches its END-th marker goes on with the rest of the video's last PES.
    if (request.clean && request.millis == 0 && end == to && to > 0) {
      const os::File file = os::File::OpenForReading(markers.Path());
      const int64_t video_end = cleancut::CleanVideoEnd(file, to);
      if (video_end > end) end = video_end;
    }
    pass = end < 0 ? (stop.stop_requested() ? Pass::kCancelled : Pass::kCannotRead) : Pass::kNoPicture;
    const int64_t first = from.found ? from.byte : end;
    for (int64_t window : kEndWindows) {
      if (end <= first) break;  // an empty cut
      const int64_t begin = std::max(first, (end - window) / kPacket * kPacket);
      pass = LastPicture(markers.Path(), begin, end, stop, budget, frame);
      if (pass != Pass::kNoPicture || begin <= first || budget.Spent()) break;
    }
  }
  // The file may have been replaced while it was read.
  if (pass == Pass::kPicture && !markers.Unchanged()) pass = Pass::kNoPicture;
  result.outcome = OutcomeOf(pass);
  if (pass == Pass::kPicture) {
    if (std::optional<Picture> picture = ToPicture(*frame, request.max_width, request.max_height))
      result.picture = std::move(*picture);
    else
      result.outcome = PictureOutcome::kNoPicture;
  }
  return result;
}

}  // namespace

PictureResult MakeCutPicture(MarkerIndex& markers, const PictureRequest& request, const std::stop_token& stop) {
  // A damaged recording makes the decoder talk on stderr; what matters reaches the caller as the
  // outcome.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  try {
    return Make(markers, request, stop);
  } catch (const std::exception&) {
    PictureResult result;
    result.outcome = stop.stop_requested() ? PictureOutcome::kCancelled : PictureOutcome::kNoPicture;
    return result;
  }
}

const char* NoPictureText(PictureOutcome outcome) {
  switch (outcome) {
    case PictureOutcome::kPicture:
    case PictureOutcome::kCancelled: return "";
    case PictureOutcome::kBeyondEnd: return "録画の末尾を越えています。";
    case PictureOutcome::kNoVideo: return "映像がありません。";
    case PictureOutcome::kNoPicture: return "画像を取り出せません。";
    case PictureOutcome::kCannotRead: return "ファイルを読み取れません。";  // as the analysis says it
    case PictureOutcome::kNoCleanStart: return cleancut::kNoRandomAccessText;
    case PictureOutcome::kNoCleanTables: return cleancut::kNoProgramTablesText;
  }
  return "";
}

}  // namespace trimora::preview
