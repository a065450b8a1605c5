#include "tests/scan/break_recording.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "core/ts_packet.h"
#include "tests/recording_builder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace trimora::testkit {

namespace {

constexpr int kSampleRate = 48000;

void Check(int status, const char* what) {
  if (status < 0) throw std::runtime_error(std::string("break recording: ") + what + " failed");
}

struct Owners {
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  AVFormatContext* muxer = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  ~Owners() {
    av_packet_free(&packet);
    av_frame_free(&sound);
    av_frame_free(&picture);
    if (muxer) avio_closep(&muxer->pb);
    avformat_free_context(muxer);
    avcodec_free_context(&audio);
    avcodec_free_context(&video);
  }
};

// What plays at a moment of the layout: which stretch, and whether the sound is silent there.
struct Moment {
  int stretch = 0;
  int scene = 0;  // programme: which of its pictures; spot: its number
  bool silent = false;
};

class Timeline {
 public:
  explicit Timeline(const BreakLayout& l) : layout_(l) {
    double t = 0;
    for (const Stretch& s : l.stretches) {
      starts_.push_back(t);
      t += s.seconds;
    }
    length_ = t;
  }
  double Length() const { return length_; }

  Moment At(double t) const {
    Moment m;
    while (m.stretch + 1 < static_cast<int>(starts_.size()) && t >= starts_[m.stretch + 1]) ++m.stretch;
    const double from = starts_[m.stretch], to = from + layout_.stretches[m.stretch].seconds;
    const double half = layout_.boundary_silence / 2;
    if (layout_.stretches[m.stretch].spot) {
      m.scene = 1 + m.stretch;
      m.silent = t < from + half || t >= to - half;
    } else {
      m.scene = static_cast<int>((t - from) / layout_.scene_seconds);
      const bool spot_before = m.stretch > 0 && layout_.stretches[m.stretch - 1].spot;
      const bool spot_after = m.stretch + 1 < static_cast<int>(starts_.size()) && layout_.stretches[m.stretch + 1].spot;
      m.silent = layout_.silent_programme_edges && ((spot_before && t < from + half) || (spot_after && t >= to - half));
      for (const Silence& s : layout_.programme_silences)
        if (t >= s.at && t < s.at + s.seconds) m.silent = true;
    }
    return m;
  }

 private:
  const BreakLayout& layout_;
  std::vector<double> starts_;
  double length_ = 0;
};

// Programme pictures are greys and browns, spots saturated colours: any two neighbours differ.
void Colour(const Moment& m, bool spot, uint8_t& y, uint8_t& u, uint8_t& v) {
  if (spot) {
    y = static_cast<uint8_t>(60 + (m.scene * 53) % 140);
    u = static_cast<uint8_t>(40 + (m.scene * 97) % 180);
    v = static_cast<uint8_t>(200 - (m.scene * 71) % 160);
  } else {
    y = static_cast<uint8_t>(90 + (m.scene % 2) * 60 + (m.scene % 3) * 10);
    u = 120;
    v = static_cast<uint8_t>(130 + (m.scene % 4) * 6);
  }
}

void Paint(AVFrame* f, const Moment& m, bool spot, int index, bool busy, uint32_t& noise) {
  uint8_t base[3];
  Colour(m, spot, base[0], base[1], base[2]);
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? f->height : f->height / 2, cols = plane == 0 ? f->width : f->width / 2;
    for (int row = 0; row < rows; ++row) {
      uint8_t* line = f->data[plane] + static_cast<std::ptrdiff_t>(row) * f->linesize[plane];
      if (!busy) {
        std::fill_n(line, cols, base[plane]);
        continue;
      }
      for (int col = 0; col < cols; ++col) {
        noise = noise * 1664525u + 1013904223u;
        const int wave = ((col + row + index * 3) & 63) - 32;
        line[col] = static_cast<uint8_t>(std::clamp(base[plane] + wave / 2 + static_cast<int>(noise >> 29) - 4, 16, 235));
      }
    }
  }
}

AVCodecContext* OpenVideo(Owners& own, const BreakLayout& l) {
  const AVCodec* codec = l.h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  if (!codec) throw std::runtime_error("break recording: no video encoder");
  AVCodecContext* enc = own.video = avcodec_alloc_context3(codec);
  enc->width = l.width;
  enc->height = l.height;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = {1, l.fps};
  enc->framerate = {l.fps, 1};
  enc->gop_size = l.gop;
  enc->max_b_frames = 2;
  if (l.h264) {
    enc->thread_count = 1;
    av_opt_set(enc->priv_data, "preset", "veryfast", 0);
  }
  if (l.busy_bit_rate > 0) {
    enc->bit_rate = l.busy_bit_rate;
    enc->rc_max_rate = 2 * l.busy_bit_rate;
    enc->rc_buffer_size = 1'835'008;
  }
  Check(avcodec_open2(enc, codec, nullptr), "video encoder");
  return enc;
}

AVCodecContext* OpenAudio(Owners& own, const BreakLayout& l) {
  const AVCodec* codec = avcodec_find_encoder(l.h264 ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP2);
  if (!codec) throw std::runtime_error("break recording: no audio encoder");
  AVCodecContext* enc = own.audio = avcodec_alloc_context3(codec);
  enc->sample_fmt = l.h264 ? AV_SAMPLE_FMT_FLTP : AV_SAMPLE_FMT_S16;
  enc->sample_rate = kSampleRate;
  av_channel_layout_default(&enc->ch_layout, 2);
  enc->bit_rate = l.h264 ? 96000 : 192000;
  enc->time_base = {1, kSampleRate};
  Check(avcodec_open2(enc, codec, nullptr), "audio encoder");
  return enc;
}

AVStream* AddStream(AVFormatContext* muxer, AVCodecContext* enc) {
  AVStream* s = avformat_new_stream(muxer, nullptr);
  if (!s) throw std::runtime_error("break recording: no stream");
  Check(avcodec_parameters_from_context(s->codecpar, enc), "stream parameters");
  s->time_base = enc->time_base;
  return s;
}

// A sample of the sound at sample n: silent, or the stretch's tone (each spot its own pitch).
float Sample(const Timeline& timeline, const BreakLayout& l, int64_t n) {
  const double t = static_cast<double>(n) / kSampleRate;
  const Moment m = timeline.At(t);
  if (m.silent) return 0;
  const bool spot = l.stretches[m.stretch].spot;
  const double pitch = spot ? 500.0 + 70.0 * (m.scene % 9) : 300.0;
  return static_cast<float>(0.25 * std::sin(t * pitch * 6.2831853));
}

}  // namespace

void WriteBreakRecording(const std::filesystem::path& path, const BreakLayout& l) {
  const Timeline timeline(l);
  Owners own;
  Check(avformat_alloc_output_context2(&own.muxer, nullptr, "mpegts", nullptr), "muxer");
  AVCodecContext* venc = OpenVideo(own, l);
  AVCodecContext* aenc = OpenAudio(own, l);
  AVStream* vstream = AddStream(own.muxer, venc);
  AVStream* astream = AddStream(own.muxer, aenc);
  Check(avio_open(&own.muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
  Check(avformat_write_header(own.muxer, nullptr), "header");

  const int seconds = static_cast<int>(std::ceil(timeline.Length()));
  uint32_t serial = 0;
  int next_marker = 1;
  const auto write_marker = [&] {
    const Bytes marker = Recording::MakePacket(kTimeMarkerPid, serial++);
    avio_write(own.muxer->pb, marker.data(), static_cast<int>(marker.size()));
  };
  own.packet = av_packet_alloc();
  const auto drain = [&](AVCodecContext* enc, AVStream* stream, bool video) {
    while (avcodec_receive_packet(enc, own.packet) == 0) {
      // In decoding order the first packet of a second opens it: its marker goes just before.
      while (video && next_marker < seconds && own.packet->dts >= int64_t{next_marker} * l.fps) {
        write_marker();
        ++next_marker;
      }
      own.packet->stream_index = stream->index;
      av_packet_rescale_ts(own.packet, enc->time_base, stream->time_base);
      Check(av_interleaved_write_frame(own.muxer, own.packet), "write");
    }
  };

  own.picture = av_frame_alloc();
  own.picture->format = venc->pix_fmt;
  own.picture->width = venc->width;
  own.picture->height = venc->height;
  Check(av_frame_get_buffer(own.picture, 0), "picture");
  own.sound = av_frame_alloc();
  own.sound->format = aenc->sample_fmt;
  own.sound->nb_samples = aenc->frame_size;
  own.sound->sample_rate = kSampleRate;
  Check(av_channel_layout_copy(&own.sound->ch_layout, &aenc->ch_layout), "sound");
  Check(av_frame_get_buffer(own.sound, 0), "sound");

  const int pictures = static_cast<int>(std::lround(timeline.Length() * l.fps));
  const auto total_samples = static_cast<int64_t>(std::llround(timeline.Length() * kSampleRate));
  int64_t samples = 0;
  uint32_t noise = 1;
  for (int i = 0; i < pictures; ++i) {
    const Moment m = timeline.At(static_cast<double>(i) / l.fps);
    Check(av_frame_make_writable(own.picture), "picture");
    Paint(own.picture, m, l.stretches[m.stretch].spot, i, l.busy_bit_rate > 0, noise);
    own.picture->pts = i;
    Check(avcodec_send_frame(venc, own.picture), "encode");
    drain(venc, vstream, true);
    while (samples < std::min<int64_t>(total_samples, int64_t{i + 1} * kSampleRate / l.fps)) {
      Check(av_frame_make_writable(own.sound), "sound");
      for (int k = 0; k < own.sound->nb_samples; ++k) {
        const float x = Sample(timeline, l, samples + k);
        if (aenc->sample_fmt == AV_SAMPLE_FMT_S16) {
          auto* out = reinterpret_cast<int16_t*>(own.sound->data[0]);
          out[2 * k] = out[2 * k + 1] = static_cast<int16_t>(std::lround(x * 32767));
        } else {
          for (int c = 0; c < 2; ++c) reinterpret_cast<float*>(own.sound->data[c])[k] = x;
        }
      }
      own.sound->pts = samples;
      samples += own.sound->nb_samples;
      Check(avcodec_send_frame(aenc, own.sound), "audio encode");
      drain(aenc, astream, false);
    }
  }
  Check(avcodec_send_frame(venc, nullptr), "flush");
  drain(venc, vstream, true);
  Check(avcodec_send_frame(aenc, nullptr), "audio flush");
  drain(aenc, astream, false);
  Check(av_write_trailer(own.muxer), "trailer");
  while (next_marker <= seconds) {
    write_marker();
    ++next_marker;
  }
  avio_flush(own.muxer->pb);
}

std::vector<Span> ProgrammeSpans(const BreakLayout& l) {
  std::vector<Span> spans;
  double t = 0;
  for (const Stretch& s : l.stretches) {
    if (!s.spot) spans.push_back({t, t + s.seconds - 1.0 / l.fps});
    t += s.seconds;
  }
  return spans;
}

}  // namespace trimora::testkit
