#include "decodecheck/decoding.h"

#include <algorithm>
#include <cstdarg>
#include <exception>
#include <map>
#include <mutex>
#include <optional>

#include "core/ts_packet.h"
#include "platform/os/os.h"
#include "preview/byte_window.h"
#include "preview/ffmpeg_owners.h"

namespace trimora::decodecheck {

namespace {

using preview::CodecPtr;
using preview::FormatPtr;
using preview::FramePtr;
using preview::PacketPtr;
using verify::DecodeCheck;
using verify::DecodeCheckResult;

// How far before a join the first look for its two key pictures starts, and how far it may grow.
constexpr int64_t kLead = int64_t{2} << 20;
constexpr int64_t kLongestLead = int64_t{32} << 20;
// How far past a join or the start its second key picture is looked for.
constexpr int64_t kReach = int64_t{16} << 20;
// A step between two pictures shown longer than this many of the shortest step is a gap.
constexpr double kLongestStep = 2.5;

// A packet read, with the target's byte its first TS packet lies at.
struct Read {
  PacketPtr packet;
  int64_t at = 0;
};

class Place;

// The place being decoded on this thread, which FFmpeg's error lines are told to.
thread_local Place* running = nullptr;

// One join or end: its packets, read from a window of the target, then decoded.
class Place {
 public:
  Place(const std::string& target, const StopFlag& stop) : target_(target), stop_(stop) {}

  // The packets of [begin, end) up to the second key picture of the video at or after `point`
  // (not taken), or to the end.
  std::optional<DecodeCheck> ReadWindow(int64_t begin, int64_t end, int64_t point) {
    reads_.clear();
    lines_.clear();
    video_ = -1;
    // The demuxer before the I/O it reads through, that before the window it reads.
    format_.reset();
    io_.reset();
    window_.emplace(target_, begin, end, [this] { return stop_ != 0; });
    if (!window_->IsOpen()) return DecodeCheck::kUnreadable;
    io_ = window_->NewIo();
    if (!io_) return DecodeCheck::kUnreadable;
    running = this;
    at_ = -1;
    format_ = preview::ByteWindow::OpenTransportStream(io_.get(), {&Place::Interrupted, this});
    if (!format_) {
      running = nullptr;
      return stop_ != 0 ? DecodeCheck::kStopped : DecodeCheck::kUnreadable;
    }
    int keys_after = 0;
    fresh_key_ = -1;
    for (;;) {
      if (stop_ != 0) break;
      PacketPtr packet(av_packet_alloc());
      if (!packet || av_read_frame(format_.get(), packet.get()) < 0) break;
      const int64_t at = packet->pos >= 0 ? begin + packet->pos : at_;
      at_ = at;
      const AVCodecParameters* par = format_->streams[packet->stream_index]->codecpar;
      if (video_ < 0 && par->codec_type == AVMEDIA_TYPE_VIDEO && par->codec_id != AV_CODEC_ID_NONE)
        video_ = packet->stream_index;
      if (packet->stream_index == video_ && (packet->flags & AV_PKT_FLAG_KEY) && at >= point) {
        if (++keys_after == 2) break;
        fresh_key_ = at;
      }
      reads_.push_back({std::move(packet), at});
    }
    running = nullptr;
    if (stop_ != 0) return DecodeCheck::kStopped;
    if (window_->Failed()) return DecodeCheck::kUnreadable;
    return std::nullopt;
  }

  // The video's key pictures read before `point`.
  std::vector<std::size_t> KeysBefore(int64_t point) const {
    std::vector<std::size_t> keys;
    for (std::size_t i = 0; i < reads_.size() && reads_[i].at < point; ++i)
      if (reads_[i].packet->stream_index == video_ && (reads_[i].packet->flags & AV_PKT_FLAG_KEY))
        keys.push_back(i);
    return keys;
  }

  bool Empty() const { return reads_.empty(); }
  int64_t AtOf(std::size_t i) const { return reads_[i].at; }

  // Feeds the decoders from read `from` on and judges what comes out from byte `counted` on:
  // before it the decoders only take up the pictures the counted ones are decoded from.
  DecodeCheckResult Decode(std::size_t from, int64_t counted) {
    for (const Line& line : lines_)
      if (line.at >= counted) return Fault(DecodeCheck::kError, line.at, line.text);
    running = this;
    for (std::size_t i = from; i < reads_.size() && !result_; ++i) {
      if (stop_ != 0) {
        running = nullptr;
        return {DecodeCheck::kStopped, -1, 0, {}};
      }
      Feed(reads_[i], reads_[i].at >= counted, counted);
    }
    for (auto& [stream, codec] : codecs_)
      if (!result_) Receive(stream, codec.get(), avcodec_send_packet(codec.get(), nullptr), at_, true, counted);
    running = nullptr;
    if (result_) return *result_;
    return CheckClock();
  }

  void Log(int level, const std::string& text) {
    if (level > AV_LOG_ERROR || LetGoOfNothing(text)) return;
    if (feeding_ && counting_) {
      if (!result_) result_ = DecodeCheckResult{DecodeCheck::kError, at_, 0, text};
    } else if (!feeding_) {
      lines_.push_back({at_, text});
    }
  }

 private:
  struct Line {
    int64_t at;
    std::string text;
  };
  struct Shown {
    int64_t pts;
    int64_t at;
  };

  // A range begins at a key picture without the leading pictures after it, which were decoded
  // from the range before in the recording. Where one of them was a reference picture, H.264 may
  // tell a picture of the first GOP to let go of it: the decoder finds nothing to let go, says
  // so, then holds one picture more than it may and lets the oldest go itself, one of the range
  // before. No picture changes by it, and a player shows the same; only there, after the key
  // picture a place begins with, is it no fault.
  bool LetGoOfNothing(const std::string& text) const {
    return fresh_key_ >= 0 && at_ >= fresh_key_ &&
           (text.find("mmco: unref short failure") != std::string::npos ||
            text.find("number of reference frames") != std::string::npos);
  }

  static int Interrupted(void* opaque) { return static_cast<Place*>(opaque)->stop_ != 0 ? 1 : 0; }

  DecodeCheckResult Fault(DecodeCheck outcome, int64_t at, std::string text) {
    return {outcome, at, 0, std::move(text)};
  }

  AVCodecContext* CodecOf(int stream) {
    auto found = codecs_.find(stream);
    if (found != codecs_.end()) return found->second.get();
    const AVCodecParameters* par = format_->streams[stream]->codecpar;
    CodecPtr codec;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO || par->codec_type == AVMEDIA_TYPE_AUDIO) {
      const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
      codec.reset(decoder ? avcodec_alloc_context3(decoder) : nullptr);
      if (codec) {
        codec->thread_count = 1;  // its errors are told on this thread, with the packet that caused them
        if (avcodec_parameters_to_context(codec.get(), par) < 0 || avcodec_open2(codec.get(), decoder, nullptr) < 0)
          codec.reset();
      }
    }
    return codecs_.emplace(stream, std::move(codec)).first->second.get();
  }

  void Feed(const Read& read, bool counting, int64_t counted) {
    const AVPacket* packet = read.packet.get();
    const int stream = packet->stream_index;
    // Sound has no pictures to take up: it is decoded only where it counts.
    if (stream != video_ && !counting) return;
    AVCodecContext* codec = CodecOf(stream);
    if (!codec) return;
    at_ = read.at;
    counting_ = counting;
    if (counting && (packet->flags & AV_PKT_FLAG_CORRUPT)) {
      result_ = Fault(DecodeCheck::kError, read.at, "Packet corrupt");
      return;
    }
    if (stream == video_ && packet->pts != AV_NOPTS_VALUE) positions_[packet->pts] = read.at;
    feeding_ = true;  // until Receive is done with what the packet gave
    const int sent = avcodec_send_packet(codec, packet);
    Receive(stream, codec, sent, read.at, counting, counted);
  }

  void Receive(int stream, AVCodecContext* codec, int sent, int64_t at, bool counting, int64_t counted) {
    if (!codec) return;
    feeding_ = true;
    counting_ = counting;
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF && counting && !result_)
      result_ = Fault(DecodeCheck::kError, at, ErrorText(sent));
    FramePtr frame(av_frame_alloc());
    while (frame && !result_) {
      const int r = avcodec_receive_frame(codec, frame.get());
      if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
      if (r < 0) {
        if (counting) result_ = Fault(DecodeCheck::kError, at, ErrorText(r));
        break;
      }
      if (stream == video_) Shows(*frame, at, counted);
      else if (counting && (frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT)))
        result_ = Fault(DecodeCheck::kError, at, "damaged sound");
      av_frame_unref(frame.get());
    }
    feeding_ = false;
  }

  // A picture out of the video decoder counts when the packet it came from does.
  void Shows(const AVFrame& frame, int64_t at, int64_t counted) {
    const int64_t pts = frame.best_effort_timestamp;
    const auto from = pts == AV_NOPTS_VALUE ? positions_.end() : positions_.find(pts);
    const int64_t came = from == positions_.end() ? at : from->second;
    if (came < counted) return;
    if (frame.decode_error_flags || (frame.flags & AV_FRAME_FLAG_CORRUPT)) {
      result_ = Fault(DecodeCheck::kError, came, "damaged picture");
      return;
    }
    if (pts != AV_NOPTS_VALUE) shown_.push_back({pts, came});
  }

  // The pictures counted follow each other, each after the one before, with no gap longer than a
  // few of the shortest step between two of them.
  DecodeCheckResult CheckClock() const {
    int64_t shortest = 0;
    for (std::size_t i = 1; i < shown_.size(); ++i)
      if (const int64_t step = shown_[i].pts - shown_[i - 1].pts; step > 0 && (shortest == 0 || step < shortest))
        shortest = step;
    for (std::size_t i = 1; i < shown_.size(); ++i) {
      const int64_t step = shown_[i].pts - shown_[i - 1].pts;
      if (step <= 0 || static_cast<double>(step) > kLongestStep * static_cast<double>(shortest))
        return {DecodeCheck::kClock, shown_[i].at, 0, {}};
    }
    return {DecodeCheck::kDecodes, -1, 0, {}};
  }

  static std::string ErrorText(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
  }

  const std::string& target_;
  const StopFlag& stop_;
  std::optional<preview::ByteWindow> window_;
  preview::IoPtr io_;
  FormatPtr format_;
  std::vector<Read> reads_;
  std::vector<Line> lines_;
  std::map<int, CodecPtr> codecs_;
  std::map<int64_t, int64_t> positions_;  // a video packet's PTS: its byte
  std::vector<Shown> shown_;
  std::optional<DecodeCheckResult> result_;
  int video_ = -1;
  int64_t at_ = -1;
  int64_t fresh_key_ = -1;  // the byte of the key picture the place begins with
  bool feeding_ = false, counting_ = false;
};

// FFmpeg's lines go to the place being decoded, which says what they mean; none is printed.
void Logged(void* avcl, int level, const char* format, va_list args) {
  if (running && level <= AV_LOG_ERROR) {
    va_list copy;
    va_copy(copy, args);
    char line[1024];
    int prefix = 1;
    av_log_format_line(avcl, level, format, copy, line, sizeof line, &prefix);
    va_end(copy);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    running->Log(level, text);
  }
}

// One join or end decoded: `point` is where it lies, `bound` the join or start before it, which
// its window never reaches before, `size` the target's.
DecodeCheckResult CheckPlace(const std::string& target, int64_t point, int64_t bound, int64_t size,
                             const StopFlag& stop) {
  Place place(target, stop);
  const int64_t end = std::min(size, point + kReach);
  if (point == 0) {
    if (const auto failed = place.ReadWindow(0, end, 0)) return {*failed, -1, 0, {}};
    return place.Empty() ? DecodeCheckResult{} : place.Decode(0, 0);
  }
  for (int64_t lead = kLead;; lead *= 4) {
    const int64_t begin = std::max(bound, (point - lead) / int64_t{kPacketSize} * int64_t{kPacketSize});
    if (const auto failed = place.ReadWindow(begin, end, point)) return {*failed, -1, 0, {}};
    const std::vector<std::size_t> keys = place.KeysBefore(point);
    if (keys.size() < 2 && begin > bound && lead < kLongestLead) continue;
    if (place.Empty()) return {};
    // The GOP before the last one before the point is decoded only to give the last one what it
    // refers to; without two key pictures, what there is counts.
    if (keys.size() >= 2) return place.Decode(keys[keys.size() - 2], place.AtOf(keys.back()));
    if (keys.size() == 1) return place.Decode(keys[0], place.AtOf(keys[0]));
    return place.Decode(0, begin == bound ? 0 : point);
  }
}

}  // namespace

verify::DecodeCheckResult CheckDecoding(const std::string& target, const std::vector<int64_t>& joins,
                                        const StopFlag& stop) {
  static std::once_flag told;
  std::call_once(told, [] { av_log_set_callback(Logged); });
  std::optional<int64_t> size;
  try {
    const os::File file = os::File::OpenForReading(target);
    if (file.IsOpen()) size = file.Size();
  } catch (const std::exception&) {
  }
  if (!size) return {DecodeCheck::kUnreadable, -1, 0, {}};
  std::vector<int64_t> points{0};
  for (int64_t join : joins)
    if (join > points.back() && join < *size) points.push_back(join);
  if (*size > 0) points.push_back(*size);
  DecodeCheckResult result;
  for (std::size_t k = 0; k < points.size(); ++k) {
    result = CheckPlace(target, points[k], k > 0 ? points[k - 1] : 0, *size, stop);
    result.places = static_cast<int32_t>(k);  // those before it passed
    if (result.outcome != DecodeCheck::kDecodes) break;
    result.places = static_cast<int32_t>(k + 1);
  }
  return result;
}

}  // namespace trimora::decodecheck
