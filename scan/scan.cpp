// The scan with FFmpeg's demuxer and decoders. One pass over the whole recording decodes only the
// sound and notes where the key pictures lie; then, for each silence that could chain, the
// demuxer seeks to the key picture before it and the pictures of the silence are decoded.
#include "scan/scan.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "clock/recording_clock.h"
#include "platform/os/os.h"
#include "preview/ffmpeg_owners.h"
#include "scan/picture_change.h"
#include "scan/silences.h"

namespace trimora::scan {

namespace {

using preview::CodecPtr;
using preview::FormatPtr;
using preview::FramePtr;
using preview::IoPtr;
using preview::PacketPtr;

constexpr int kIoBufferSize = 256 << 10;
// The shares of the progress: the sound pass, then the clock's pass, then the pictures.
constexpr int kSoundPercent = 80;
constexpr int kClockPercent = 10;
constexpr int kPicturesFrom = kSoundPercent + kClockPercent;
// Around a silence the pictures looked at reach a little further, since sound and picture of
// a broadcast need not fall silent and cut on the same frame.
constexpr int64_t kPictureMargin = kClock / 5;
// The video of one silence is read for at most so long past its end, in packets.
constexpr int64_t kReadPast = kClock;
constexpr int kMostPacketsPerSilence = 4000;

// The recording read through os::File, so that paths are the program's everywhere; stops a
// read when asked to.
class Source {
 public:
  Source(const std::string& path, const std::stop_token& stop) : stop_(stop) {
    try {
      file_ = os::File::OpenForReading(path);
      size_ = file_.Size();
    } catch (const std::system_error&) {
      // not open: IsOpen says so
    }
  }
  bool IsOpen() const { return file_.IsOpen(); }
  bool Failed() const { return failed_; }
  int64_t Size() const { return size_; }

  static int Read(void* opaque, uint8_t* buf, int size) {
    auto* s = static_cast<Source*>(opaque);
    if (s->stop_.stop_requested()) return AVERROR_EXIT;
    try {
      const std::size_t n = s->file_.ReadAt(buf, static_cast<std::size_t>(size), s->pos_);
      if (n == 0) return AVERROR_EOF;
      s->pos_ += static_cast<int64_t>(n);
      return static_cast<int>(n);
    } catch (const std::system_error&) {
      s->failed_ = true;
      return AVERROR(EIO);
    }
  }

  static int64_t Seek(void* opaque, int64_t offset, int whence) {
    auto* s = static_cast<Source*>(opaque);
    switch (whence & ~AVSEEK_FORCE) {
      case AVSEEK_SIZE: return s->size_;
      case SEEK_SET: break;
      case SEEK_CUR: offset += s->pos_; break;
      case SEEK_END: offset += s->size_; break;
      default: return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    s->pos_ = offset;
    return offset;
  }

 private:
  os::File file_;
  int64_t size_ = 0, pos_ = 0;
  const std::stop_token& stop_;
  bool failed_ = false;
};

struct KeyPicture {
  int64_t pts;
  int64_t pos;
};

// The demuxer on the recording, with the program's first video and first sound stream.
struct Recording {
  IoPtr io;
  FormatPtr format;
  int video = -1, sound = -1;
  CodecPtr sound_decoder, video_decoder;
};

// The first video and sound stream of the first program that has video, in the order its table
// lists them; without programs, the streams in the order of the file.
void ChooseStreams(Recording& r) {
  AVFormatContext* f = r.format.get();
  const auto pick = [&](const unsigned* indices, unsigned count) {
    for (unsigned k = 0; k < count; ++k) {
      const unsigned i = indices ? indices[k] : k;
      const AVCodecParameters* p = f->streams[i]->codecpar;
      if (p->codec_type == AVMEDIA_TYPE_VIDEO && r.video < 0) r.video = static_cast<int>(i);
      if (p->codec_type == AVMEDIA_TYPE_AUDIO && r.sound < 0 && p->codec_id != AV_CODEC_ID_NONE) r.sound = static_cast<int>(i);
    }
  };
  for (unsigned p = 0; p < f->nb_programs && r.video < 0; ++p) {
    r.sound = -1;
    pick(f->programs[p]->stream_index, f->programs[p]->nb_stream_indexes);
  }
  if (r.video < 0) pick(nullptr, f->nb_streams);
}

CodecPtr OpenDecoder(const AVStream* stream, bool pictures) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return nullptr;
  CodecPtr c(avcodec_alloc_context3(codec));
  if (!c || avcodec_parameters_to_context(c.get(), stream->codecpar) < 0) return nullptr;
  c->pkt_timebase = stream->time_base;
  c->thread_count = 1;
  // The cut shows at a quarter of the size as well, and MPEG-2 decodes several times faster so.
  if (pictures) c->lowres = std::min(2, static_cast<int>(codec->max_lowres));
  if (avcodec_open2(c.get(), codec, nullptr) < 0) return nullptr;
  return c;
}

ScanOutcome Open(Source& source, Recording& r) {
  if (!source.IsOpen()) return ScanOutcome::kCannotRead;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
  if (!buffer) return ScanOutcome::kCannotRead;
  r.io.reset(avio_alloc_context(buffer, kIoBufferSize, 0, &source, &Source::Read, nullptr, &Source::Seek));
  if (!r.io) {
    av_free(buffer);
    return ScanOutcome::kCannotRead;
  }
  AVFormatContext* f = avformat_alloc_context();
  if (!f) return ScanOutcome::kCannotRead;
  f->pb = r.io.get();
  f->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (avformat_open_input(&f, nullptr, av_find_input_format("mpegts"), nullptr) < 0) return ScanOutcome::kCannotRead;
  r.format.reset(f);
  if (avformat_find_stream_info(f, nullptr) < 0) return ScanOutcome::kCannotRead;
  ChooseStreams(r);
  if (r.video < 0) return ScanOutcome::kNoVideo;
  if (r.sound < 0) return ScanOutcome::kNoSound;
  r.sound_decoder = OpenDecoder(f->streams[r.sound], false);
  if (!r.sound_decoder) return ScanOutcome::kNoSound;
  r.video_decoder = OpenDecoder(f->streams[r.video], true);
  if (!r.video_decoder) return ScanOutcome::kNoVideo;
  return ScanOutcome::kScanned;
}

int64_t ToClock(int64_t ts, AVRational time_base) { return av_rescale_q(ts, time_base, {1, static_cast<int>(kClock)}); }

// FFmpeg's demuxer unwraps the 33-bit times on a line of its own; the clock's starts at the
// recording's first picture.
int64_t OnTheClock(const clock::RecordingClock& clock, int64_t pts) {
  return clock::Unwrap(pts & (clock::kPtsWrap - 1), clock.FirstPts());
}

// The mean square of the samples of a decoded sound frame, in steps of ten milliseconds.
void MeasureSteps(const AVFrame& frame, int64_t pts, SilenceFinder& silences) {
  const int rate = frame.sample_rate > 0 ? frame.sample_rate : 48000;
  const int channels = frame.ch_layout.nb_channels;
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format);
  const auto sample = [&](int c, int i) -> double {
    const uint8_t* data = frame.extended_data[planar ? c : 0];
    const int at = planar ? i : i * channels + c;
    switch (av_get_packed_sample_fmt(format)) {
      case AV_SAMPLE_FMT_S16: return reinterpret_cast<const int16_t*>(data)[at] / 32768.0;
      case AV_SAMPLE_FMT_S32: return reinterpret_cast<const int32_t*>(data)[at] / 2147483648.0;
      case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(data)[at];
      case AV_SAMPLE_FMT_DBL: return reinterpret_cast<const double*>(data)[at];
      default: return 1.0;  // unknown samples count as sound: no silence is made up
    }
  };
  const int step = std::max(1, rate / 100);
  for (int from = 0; from < frame.nb_samples; from += step) {
    const int to = std::min(frame.nb_samples, from + step);
    double sum = 0;
    for (int c = 0; c < channels; ++c)
      for (int i = from; i < to; ++i) sum += sample(c, i) * sample(c, i);
    const double power = sum / std::max(1, (to - from) * channels);
    silences.Step(pts + int64_t{from} * kClock / rate, int64_t{to - from} * kClock / rate, power);
  }
}

// What the sound pass learns: the silences, the key pictures and the span of the pictures.
struct SoundPass {
  std::vector<SoundSilence> silences;
  SilentEnds ends;
  std::vector<KeyPicture> keys;
  PictureSpan pictures{INT64_MAX, INT64_MIN, INT64_MIN};
};

void DecodeSound(Recording& r, const AVPacket* packet, SilenceFinder& silences, AVFrame* frame) {
  AVCodecContext* c = r.sound_decoder.get();
  if (avcodec_send_packet(c, packet) < 0) return;  // a damaged frame is no silence
  const AVRational tb = r.format->streams[r.sound]->time_base;
  while (avcodec_receive_frame(c, frame) == 0) {
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
      MeasureSteps(*frame, ToClock(frame->best_effort_timestamp, tb), silences);
    av_frame_unref(frame);
  }
}

void NotePicture(const AVStream* stream, const AVPacket* p, SoundPass& pass) {
  if (p->pts == AV_NOPTS_VALUE) return;
  const int64_t pts = ToClock(p->pts, stream->time_base);
  if (p->flags & AV_PKT_FLAG_KEY) pass.keys.push_back({pts, p->pos});
  const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : AVRational{30000, 1001};
  const int64_t duration = p->duration > 0 ? ToClock(p->duration, stream->time_base) : av_rescale(kClock, rate.den, rate.num);
  pass.pictures.first = std::min(pass.pictures.first, pts);
  if (pts > pass.pictures.last) {
    pass.pictures.last = pts;
    pass.pictures.end = pts + duration;
  }
}

ScanOutcome ReadSound(Recording& r, Source& source, const std::stop_token& stop, const ScanProgress& progress,
                      SoundPass& pass) {
  AVFormatContext* f = r.format.get();
  for (unsigned i = 0; i < f->nb_streams; ++i)
    f->streams[i]->discard = static_cast<int>(i) == r.sound || static_cast<int>(i) == r.video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  SilenceFinder silences;
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!packet || !frame) return ScanOutcome::kCannotRead;
  int shown = -1;
  while (av_read_frame(f, packet.get()) >= 0) {
    if (packet->stream_index == r.sound) DecodeSound(r, packet.get(), silences, frame.get());
    else if (packet->stream_index == r.video) NotePicture(f->streams[r.video], packet.get(), pass);
    av_packet_unref(packet.get());
    const int percent = source.Size() > 0 ? static_cast<int>(avio_tell(f->pb) * kSoundPercent / source.Size()) : 0;
    if (progress && percent != shown) progress(shown = std::clamp(percent, 0, kSoundPercent));
  }
  if (stop.stop_requested()) return ScanOutcome::kCancelled;
  if (source.Failed()) return ScanOutcome::kCannotRead;
  DecodeSound(r, nullptr, silences, frame.get());
  pass.silences = silences.Finish();
  if (pass.pictures.last < pass.pictures.first) return ScanOutcome::kNoVideo;
  pass.ends = silences.Ends(pass.pictures);
  return ScanOutcome::kScanned;
}

// The last key picture at or before `pts`, by the byte it starts at; the file's start when none.
int64_t KeyBefore(const std::vector<KeyPicture>& keys, int64_t pts) {
  int64_t pos = 0;
  for (const KeyPicture& k : keys) {
    if (k.pts > pts) break;
    pos = k.pos;
  }
  return pos;
}

// The pictures shown within [from, to], decoded from the key picture before them.
std::vector<TimedGrid> PicturesWithin(Recording& r, const clock::RecordingClock& clock, const std::vector<KeyPicture>& keys,
                                      int64_t from, int64_t to) {
  std::vector<TimedGrid> grids;
  AVFormatContext* f = r.format.get();
  AVCodecContext* c = r.video_decoder.get();
  if (av_seek_frame(f, -1, KeyBefore(keys, from), AVSEEK_FLAG_BYTE) < 0) return grids;
  avcodec_flush_buffers(c);
  const AVRational tb = f->streams[r.video]->time_base;
  PacketPtr packet(av_packet_alloc());
  FramePtr frame(av_frame_alloc());
  if (!packet || !frame) return grids;
  bool past = false;
  for (int read = 0; !past && read < kMostPacketsPerSilence && av_read_frame(f, packet.get()) >= 0; ++read) {
    if (packet->stream_index != r.video) {
      av_packet_unref(packet.get());
      continue;
    }
    // Pictures shown before the silence are needed only as references.
    const int64_t pts = packet->pts == AV_NOPTS_VALUE ? from : OnTheClock(clock, ToClock(packet->pts, tb));
    c->skip_frame = pts < from ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    if (packet->dts != AV_NOPTS_VALUE && OnTheClock(clock, ToClock(packet->dts, tb)) > to + kReadPast) past = true;
    const int sent = avcodec_send_packet(c, packet.get());
    av_packet_unref(packet.get());
    if (sent < 0) continue;
    while (avcodec_receive_frame(c, frame.get()) == 0) {
      const int64_t shown = frame->best_effort_timestamp == AV_NOPTS_VALUE
                                ? INT64_MIN
                                : OnTheClock(clock, ToClock(frame->best_effort_timestamp, tb));
      if (shown > to) past = true;
      const bool whole = !(frame->flags & AV_FRAME_FLAG_CORRUPT) && frame->decode_error_flags == 0;
      if (shown >= from && shown <= to && whole)
        if (const std::optional<PictureGrid> grid = GridOf(*frame)) grids.push_back({shown, *grid});
      av_frame_unref(frame.get());
    }
  }
  std::sort(grids.begin(), grids.end(), [](const TimedGrid& a, const TimedGrid& b) { return a.pts < b.pts; });
  return grids;
}

ScanOutcome FindBoundaries(Recording& r, const SoundPass& pass, const clock::RecordingClock& clock, const std::stop_token& stop,
                           const ScanProgress& progress, std::vector<Boundary>& boundaries) {
  AVFormatContext* f = r.format.get();
  for (unsigned i = 0; i < f->nb_streams; ++i)
    f->streams[i]->discard = static_cast<int>(i) == r.video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  const std::vector<SoundSilence> candidates = SilencesThatCouldChain(pass.silences, pass.pictures, pass.ends);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (stop.stop_requested()) return ScanOutcome::kCancelled;
    const SoundSilence& s = candidates[i];
    const std::optional<Boundary> cut =
        CutAmong(PicturesWithin(r, clock, pass.keys, s.from - kPictureMargin, s.to + kPictureMargin));
    if (cut && (boundaries.empty() || cut->first_after > boundaries.back().first_after)) boundaries.push_back(*cut);
    if (progress) progress(kPicturesFrom + static_cast<int>((i + 1) * (100 - kPicturesFrom) / candidates.size()));
  }
  return stop.stop_requested() ? ScanOutcome::kCancelled : ScanOutcome::kScanned;
}

// The clock that the cut counts fractions of a second by, read from packet and PES headers.
clock::ClockRead ReadClock(const std::string& path, const std::stop_token& stop, const ScanProgress& progress) {
  return clock::RecordingClock::Read(path, stop, [&](int percent) {
    if (progress) progress(kSoundPercent + percent * kClockPercent / 100);
  });
}

ScanOutcome OutcomeOf(clock::ClockOutcome outcome) {
  switch (outcome) {
    case clock::ClockOutcome::kRead: return ScanOutcome::kScanned;
    case clock::ClockOutcome::kNoVideo: return ScanOutcome::kNoVideo;
    case clock::ClockOutcome::kStopped: return ScanOutcome::kCancelled;
    case clock::ClockOutcome::kCannotRead: break;
  }
  return ScanOutcome::kCannotRead;
}

void OntoTheClock(const clock::RecordingClock& clock, SoundPass& pass) {
  const auto onto = [&](int64_t& pts) { pts = OnTheClock(clock, pts); };
  const int64_t length = pass.pictures.end - pass.pictures.last;
  onto(pass.pictures.first);
  onto(pass.pictures.last);
  pass.pictures.end = pass.pictures.last + length;
  for (SoundSilence& s : pass.silences) {
    const int64_t silent = s.to - s.from;
    onto(s.from);
    s.to = s.from + silent;
  }
  for (KeyPicture& k : pass.keys) onto(k.pts);
}

// The pictures around the silences, and the breaks they make, once the clock is known.
void ChooseOnTheClock(Recording& r, SoundPass& pass, const clock::RecordingClock& clock, const std::stop_token& stop,
                      const ScanProgress& progress, ScanResult& result) {
  OntoTheClock(clock, pass);
  std::vector<Boundary> boundaries;
  result.outcome = FindBoundaries(r, pass, clock, stop, progress, boundaries);
  if (result.outcome != ScanOutcome::kScanned) return;
  result.pictures = pass.pictures;
  result.found = ChooseBreaks(boundaries, pass.pictures, pass.ends);
  result.proposal = Propose(result.found, pass.pictures, clock);
  if (progress) progress(100);
}

ScanResult Scan(const std::string& path, const std::stop_token& stop, const ScanProgress& progress) {
  ScanResult result;
  Source source(path, stop);
  Recording r;
  result.outcome = Open(source, r);
  if (result.outcome != ScanOutcome::kScanned) return result;
  SoundPass pass;
  result.outcome = ReadSound(r, source, stop, progress, pass);
  if (result.outcome != ScanOutcome::kScanned) return result;
  const clock::ClockRead read = ReadClock(path, stop, progress);
  result.outcome = OutcomeOf(read.outcome);
  if (read.clock && result.outcome == ScanOutcome::kScanned) ChooseOnTheClock(r, pass, *read.clock, stop, progress, result);
  result.clock = read.clock;
  return result;
}

}  // namespace

ScanResult ScanRecording(const std::string& path, const std::stop_token& stop, const ScanProgress& progress) {
  // A damaged recording makes the demuxer and the decoders talk on stderr; what matters reaches
  // the caller as the outcome.
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
  try {
    return Scan(path, stop, progress);
  } catch (const std::exception&) {
    return {};  // out of memory, or a progress call that threw: nothing was found
  }
}

}  // namespace trimora::scan
