// Decoding a picture at a cut point. The demuxer reads a window of the recording's bytes through
// a custom I/O context, so it sees exactly the cut's bytes and nothing beyond them; the decoder
// and the scaler are FFmpeg's. Every FFmpeg object lives in a small owner that frees it.
#include "preview/cut_picture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <deque>
#include <exception>
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

#include "platform/os/os.h"
#include "preview/ffmpeg_owners.h"

namespace trimora::preview {

namespace {

// Input bounds. A broadcast GOP of half a second at 20 Mbit/s is about 1.2 MiB; the start picture
// needs at most one GOP before a picture decodes, the end picture one GOP before the end.
constexpr int64_t kStartBytes = 8 << 20;
constexpr int64_t kEndWindows[] = {2 << 20, 8 << 20};
constexpr int kIoBufferSize = 64 << 10;


// The bytes [begin, end) of the recording, read with a file handle of their own. To the demuxer
// they are a whole file: it cannot see a byte the cut would not hold.
class ByteWindow {
 public:
  ByteWindow(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop)
      : begin_(begin), end_(end), stop_(stop) {
    try {
      file_ = os::File::OpenForReading(path);
    } catch (const std::system_error&) {
      // not open: IsOpen says so
    }
  }

  bool IsOpen() const { return file_.IsOpen(); }
  bool Failed() const { return failed_; }

  static int Read(void* opaque, uint8_t* buf, int size) {
    auto* w = static_cast<ByteWindow*>(opaque);
    if (w->stop_.stop_requested()) return AVERROR_EXIT;
    const int64_t left = w->end_ - w->begin_ - w->pos_;
    if (left <= 0) return AVERROR_EOF;
    const auto want = static_cast<std::size_t>(std::min<int64_t>(left, size));
    try {
      const std::size_t n = w->file_.ReadAt(buf, want, w->begin_ + w->pos_);
      if (n == 0) return AVERROR_EOF;
      w->pos_ += static_cast<int64_t>(n);
      return static_cast<int>(n);
    } catch (const std::system_error&) {
      w->failed_ = true;
      return AVERROR(EIO);
    }
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* w = static_cast<ByteWindow*>(opaque);
    const int64_t size = w->end_ - w->begin_;
    switch (whence & ~AVSEEK_FORCE) {
      case AVSEEK_SIZE: return size;
      case SEEK_SET: break;
      case SEEK_CUR: offset += w->pos_; break;
      case SEEK_END: offset += size; break;
      default: return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    w->pos_ = offset;
    return offset;
  }

 private:
  os::File file_;
  int64_t begin_, end_, pos_ = 0;
  const std::stop_token& stop_;
  bool failed_ = false;
};

// What a decoding pass ended with, before it becomes a PictureOutcome.
enum class Pass { kPicture, kNoVideo, kNoPicture, kCancelled, kCannotRead };

// A demuxer and a video decoder over one byte window.
class Decoder {
 public:
  Decoder(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop)
      : window_(path, begin, end, stop), stop_(stop) {}

  // Opens the window as a transport stream; what ends the pass when that fails.
  std::optional<Pass> Open() {
    if (!window_.IsOpen()) return Pass::kCannotRead;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
    if (!buffer) return Pass::kCannotRead;
    io_.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &window_, &ByteWindow::Read, nullptr, &ByteWindow::Seek));
    if (!io_) {
      av_free(buffer);
      return Pass::kCannotRead;
    }
    AVFormatContext* format = avformat_alloc_context();
    if (!format) return Pass::kCannotRead;
    format->pb = io_.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->interrupt_callback = {&Decoder::Interrupted, this};
    if (avformat_open_input(&format, nullptr, av_find_input_format("mpegts"), nullptr) < 0)
      return stop_.stop_requested() ? Pass::kCancelled : window_.Failed() ? Pass::kCannotRead : Pass::kNoVideo;
    format_.reset(format);
    return std::nullopt;
  }

  // Reads the next packet of the video stream (the first one met); nothing at the end of the
  // window or when stopped.
  PacketPtr NextVideoPacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) return nullptr;
    while (!stop_.stop_requested() && av_read_frame(format_.get(), packet.get()) >= 0) {
      const AVStream* stream = format_->streams[packet->stream_index];
      if (video_ < 0 && stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          stream->codecpar->codec_id != AV_CODEC_ID_NONE)
        video_ = packet->stream_index;
      if (packet->stream_index == video_) return packet;
      av_packet_unref(packet.get());
    }
    return nullptr;
  }

  bool HasVideo() const { return video_ >= 0; }
  bool Stopped() const { return stop_.stop_requested(); }
  bool ReadFailed() const { return window_.Failed(); }

  // Feeds one packet (nullptr: the end, flush) and hands each complete picture to `take`. After
  // a damaged packet, pictures count again from the next key frame: those between may refer to
  // what was lost.
  template <typename Take>
  void Decode(const AVPacket* packet, Take&& take) {
    if (!codec_ && !OpenCodec()) return;
    if (packet && (packet->flags & AV_PKT_FLAG_KEY)) damaged_ = false;
    if (packet && (packet->flags & AV_PKT_FLAG_CORRUPT)) damaged_ = true;
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

 private:
  static int Interrupted(void* opaque) { return static_cast<Decoder*>(opaque)->stop_.stop_requested() ? 1 : 0; }

  bool OpenCodec() {
    if (codec_failed_ || video_ < 0) return false;
    const AVCodecParameters* par = format_->streams[video_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    codec_.reset(codec ? avcodec_alloc_context3(codec) : nullptr);
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), par) < 0) {
      codec_failed_ = true;
      codec_.reset();
      return false;
    }
    codec_->thread_count = 1;  // one picture at a time; the worker's thread is enough
    if (avcodec_open2(codec_.get(), codec, nullptr) < 0) {
      codec_failed_ = true;
      codec_.reset();
      return false;
    }
    return true;
  }

  // A picture counts when nothing in it had to be concealed or guessed.
  bool Complete(const AVFrame& frame) const {
    return !damaged_ && frame.decode_error_flags == 0 && (frame.flags & AV_FRAME_FLAG_CORRUPT) == 0 &&
           frame.width > 0 && frame.height > 0;
  }

  ByteWindow window_;
  const std::stop_token& stop_;
  IoPtr io_;
  FormatPtr format_;
  CodecPtr codec_;
  int video_ = -1;
  bool codec_failed_ = false;
  bool damaged_ = false;
};

Pass Ended(const Decoder& d) {
  if (d.Stopped()) return Pass::kCancelled;
  if (d.ReadFailed()) return Pass::kCannotRead;
  return d.HasVideo() ? Pass::kNoPicture : Pass::kNoVideo;
}

// The first complete picture of the bytes from `begin`.
Pass FirstPicture(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop, FramePtr& out) {
  Decoder d(path, begin, std::min(end, begin + kStartBytes), stop);
  if (auto failed = d.Open()) return *failed;
  const auto take = [&](FramePtr f) {
    if (!out) out = std::move(f);
  };
  while (!out) {
    PacketPtr packet = d.NextVideoPacket();
    d.Decode(packet.get(), take);
    if (!packet) break;
  }
  return out ? Pass::kPicture : Ended(d);
}

// The last complete picture of the bytes [begin, end): the window's video packets are read
// first, then decoded from the last key frame on; when that gives nothing, from the one before.
Pass LastPicture(const std::string& path, int64_t begin, int64_t end, const std::stop_token& stop, FramePtr& out) {
  Decoder d(path, begin, end, stop);
  if (auto failed = d.Open()) return *failed;
  std::deque<PacketPtr> packets;
  std::vector<std::size_t> keys;
  while (PacketPtr packet = d.NextVideoPacket()) {
    if (packet->flags & AV_PKT_FLAG_KEY) keys.push_back(packets.size());
    packets.push_back(std::move(packet));
  }
  if (d.Stopped()) return Pass::kCancelled;
  // Without a key frame flagged by the parser, the window's first packet is the last resort.
  if (!packets.empty() && (keys.empty() || keys.front() != 0)) keys.insert(keys.begin(), 0);
  const auto take = [&](FramePtr f) { out = std::move(f); };
  for (auto key = keys.rbegin(); key != keys.rend() && !out; ++key) {
    d.Restart();
    for (std::size_t i = *key; i < packets.size() && !d.Stopped(); ++i) d.Decode(packets[i].get(), take);
    d.Decode(nullptr, take);
  }
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

PictureResult Make(MarkerIndex& markers, const PictureRequest& request, const std::stop_token& stop) {
  PictureResult result;
  const int64_t size = markers.FileSize();
  if (size < 0) {
    result.outcome = PictureOutcome::kCannotRead;
    return result;
  }
  const MarkerIndex::Lookup found = markers.ByteAfterMarker(request.second, stop);
  if (stop.stop_requested()) {
    result.outcome = PictureOutcome::kCancelled;
    return result;
  }
  FramePtr frame;
  Pass pass;
  if (request.point == CutPoint::kStart) {
    if (!found.found || found.byte >= size) {
      result.outcome = PictureOutcome::kBeyondEnd;
      return result;
    }
    result.byte = found.byte;
    pass = FirstPicture(markers.Path(), found.byte, size, stop, frame);
  } else {
    // A cut whose end lies beyond the last marker runs to the end of the recording.
    const int64_t end = found.found ? std::min(found.byte, size) : size;
    result.byte = end;
    pass = Pass::kNoPicture;
    for (int64_t window : kEndWindows) {
      if (end <= 0) break;  // an empty cut
      pass = LastPicture(markers.Path(), std::max<int64_t>(0, end - window), end, stop, frame);
      if (pass != Pass::kNoPicture || end - window <= 0) break;
    }
  }
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
  }
  return "";
}

}  // namespace trimora::preview
