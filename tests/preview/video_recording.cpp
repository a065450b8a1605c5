#include "tests/preview/video_recording.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/ts_packet.h"
#include "tests/recording_builder.h"

extern "C" {
#include <libavutil/bswap.h>
#include <libavutil/crc.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace trimora::testkit {

namespace {

constexpr uint32_t kColours[] = {0xC00000, 0x00C000, 0x0000C0, 0xC0C000, 0x00C0C0, 0xC000C0, 0xC0C0C0, 0x606060,
                                 0xC06000, 0x6000C0, 0x00C060, 0x60C000, 0x0060C0, 0xC00060, 0x606000, 0x006060};

struct Yuv {
  uint8_t y, u, v;
};

// Studio-range BT.601, the colours a broadcast decoder assumes.
Yuv ToYuv(uint32_t rgb) {
  const double r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  const auto clip = [](double x) { return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, x)))); };
  return {clip(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255),
          clip(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255),
          clip(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255)};
}

void Check(int status, const char* what) {
  if (status < 0) throw std::runtime_error(std::string("video recording: ") + what + " failed");
}

constexpr int kSampleRate = 48000;

struct Owners {
  AVCodecContext* encoder = nullptr;
  AVCodecContext* audio_encoder = nullptr;
  AVFormatContext* muxer = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* audio_frame = nullptr;
  AVPacket* packet = nullptr;
  ~Owners() {
    av_packet_free(&packet);
    av_frame_free(&audio_frame);
    av_frame_free(&frame);
    if (muxer) avio_closep(&muxer->pb);
    avformat_free_context(muxer);
    avcodec_free_context(&audio_encoder);
    avcodec_free_context(&encoder);
  }
};

void Paint(AVFrame* frame, uint32_t rgb, bool black_bottom_field) {
  const Yuv c = ToYuv(rgb), black = ToYuv(0);
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame->height : frame->height / 2;
    const int cols = plane == 0 ? frame->width : frame->width / 2;
    for (int row = 0; row < rows; ++row) {
      const Yuv& fill = black_bottom_field && row % 2 == 1 ? black : c;
      const uint8_t value = plane == 0 ? fill.y : plane == 1 ? fill.u : fill.v;
      std::fill_n(frame->data[plane] + static_cast<std::ptrdiff_t>(row) * frame->linesize[plane], cols, value);
    }
  }
}

// A moving diagonal pattern with noise on the second's colour: about what a broadcast costs to
// decode.
void PaintBusy(AVFrame* frame, uint32_t rgb, int index, uint32_t& noise) {
  const Yuv c = ToYuv(rgb);
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame->height : frame->height / 2;
    const int cols = plane == 0 ? frame->width : frame->width / 2;
    const uint8_t base = plane == 0 ? c.y : plane == 1 ? c.u : c.v;
    for (int row = 0; row < rows; ++row) {
      uint8_t* line = frame->data[plane] + static_cast<std::ptrdiff_t>(row) * frame->linesize[plane];
      for (int col = 0; col < cols; ++col) {
        noise = noise * 1664525u + 1013904223u;
        const int wave = ((col + row + index * 3) & 63) - 32;
        line[col] = static_cast<uint8_t>(std::clamp(base + wave / 2 + static_cast<int>(noise >> 29) - 4, 16, 235));
      }
    }
  }
}

}  // namespace

namespace {

std::vector<uint8_t> SectionPacket(int pid, std::vector<uint8_t> section, uint8_t cc) {
  section[1] = static_cast<uint8_t>(0xB0 | ((section.size() + 4 - 3) >> 8));
  section[2] = static_cast<uint8_t>(section.size() + 4 - 3);
  const uint32_t crc = av_bswap32(av_crc(av_crc_get_table(AV_CRC_32_IEEE), UINT32_MAX, section.data(), section.size()));
  for (int i = 0; i < 4; ++i) section.push_back(static_cast<uint8_t>(crc >> (24 - 8 * i)));
  std::vector<uint8_t> packet(kPacketSize, 0xFF);
  packet[0] = kSyncByte;
  packet[1] = static_cast<uint8_t>(0x40 | (pid >> 8));
  packet[2] = static_cast<uint8_t>(pid);
  packet[3] = static_cast<uint8_t>(0x10 | (cc & 0x0F));
  packet[4] = 0;  // pointer field
  std::copy(section.begin(), section.end(), packet.begin() + 5);
  return packet;
}

}  // namespace

std::vector<uint8_t> PatPacket(const std::vector<std::pair<int, int>>& programs, int version, uint8_t cc) {
  std::vector<uint8_t> s = {0x00, 0, 0, 0x00, 0x01, static_cast<uint8_t>(0xC1 | (version << 1)), 0, 0};
  for (const auto& [program, pid] : programs)
    s.insert(s.end(), {static_cast<uint8_t>(program >> 8), static_cast<uint8_t>(program),
                       static_cast<uint8_t>(0xE0 | (pid >> 8)), static_cast<uint8_t>(pid)});
  return SectionPacket(0, s, cc);
}

std::vector<uint8_t> PmtPacket(int pmt_pid, int program, int video_pid, int version, uint8_t cc) {
  const auto hi = static_cast<uint8_t>(0xE0 | (video_pid >> 8)), lo = static_cast<uint8_t>(video_pid);
  std::vector<uint8_t> s = {0x02, 0, 0, static_cast<uint8_t>(program >> 8), static_cast<uint8_t>(program),
                            static_cast<uint8_t>(0xC1 | (version << 1)), 0, 0, hi, lo, 0xF0, 0x00,
                            0x02, hi, lo, 0xF0, 0x00};
  return SectionPacket(pmt_pid, s, cc);
}

uint32_t SecondColour(int s) { return kColours[static_cast<std::size_t>(s) % std::size(kColours)]; }

int SecondOfColour(uint32_t rgb) {
  for (int s = 0; s < static_cast<int>(std::size(kColours)); ++s) {
    int worst = 0;
    for (int shift : {0, 8, 16})
      worst = std::max(worst, std::abs(static_cast<int>((rgb >> shift) & 0xFF) - static_cast<int>((kColours[s] >> shift) & 0xFF)));
    if (worst <= 40) return s;
  }
  return -1;
}

void WriteVideoRecording(const std::filesystem::path& path, const VideoOptions& o) {
  Owners own;
  Check(avformat_alloc_output_context2(&own.muxer, nullptr, "mpegts", nullptr), "muxer");
  AVStream* stream = nullptr;
  AVCodecContext* enc = nullptr;
  if (o.video) {
    const AVCodec* codec = o.h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
    if (!codec) throw std::runtime_error(o.h264 ? "video recording: no H.264 encoder" : "video recording: no MPEG-2 encoder");
    own.encoder = avcodec_alloc_context3(codec);
    enc = own.encoder;
    enc->width = o.width;
    enc->height = o.height;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, o.fps};
    enc->framerate = {o.fps, 1};
    enc->gop_size = o.gop;
    enc->max_b_frames = 2;
    enc->sample_aspect_ratio = {o.sar_num, o.sar_den};
    if (o.h264) {
      // A key frame exactly every `gop` pictures, whatever the colours do.
      enc->keyint_min = o.gop;
      enc->thread_count = 1;
      av_opt_set(enc->priv_data, "preset", "veryfast", 0);
      av_opt_set(enc->priv_data, "x264-params", o.open_gop ? "scenecut=0:open-gop=1:b-pyramid=none" : "scenecut=0", 0);
      if (o.busy_bit_rate > 0) enc->bit_rate = o.busy_bit_rate;
    } else if (o.busy_bit_rate > 0) {
      enc->bit_rate = o.busy_bit_rate;
      enc->rc_max_rate = 2 * o.busy_bit_rate;
      enc->rc_buffer_size = 1'835'008;  // the largest buffer of MPEG-2 Main Profile at Main Level
    } else {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      enc->global_quality = FF_QP2LAMBDA * 2;
    }
    if (o.interlaced) enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
    Check(avcodec_open2(enc, codec, nullptr), "encoder");
    stream = avformat_new_stream(own.muxer, nullptr);
    if (!stream) throw std::runtime_error("video recording: no stream");
    Check(avcodec_parameters_from_context(stream->codecpar, enc), "stream parameters");
    stream->time_base = enc->time_base;
    if (o.video_pid) stream->id = o.video_pid;
  }

  AVStream* audio_stream = nullptr;
  AVCodecContext* aenc = nullptr;
  if (o.audio || o.mp2 || !o.video) {
    const AVCodec* codec = avcodec_find_encoder(o.mp2 ? AV_CODEC_ID_MP2 : AV_CODEC_ID_AAC);
    if (!codec) throw std::runtime_error("video recording: no sound encoder");
    own.audio_encoder = avcodec_alloc_context3(codec);
    aenc = own.audio_encoder;
    aenc->sample_fmt = o.mp2 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLTP;
    aenc->sample_rate = kSampleRate;
    av_channel_layout_default(&aenc->ch_layout, 2);
    aenc->bit_rate = o.mp2 ? 192000 : 64000;
    aenc->time_base = {1, kSampleRate};
    Check(avcodec_open2(aenc, codec, nullptr), "audio encoder");
    audio_stream = avformat_new_stream(own.muxer, nullptr);
    if (!audio_stream) throw std::runtime_error("video recording: no audio stream");
    Check(avcodec_parameters_from_context(audio_stream->codecpar, aenc), "audio parameters");
    audio_stream->time_base = aenc->time_base;
  }

  Check(avio_open(&own.muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "mpegts_start_pid", o.first_pid, 0);
  av_dict_set_int(&options, "tables_version", o.tables_version, 0);
  const int header = avformat_write_header(own.muxer, &options);
  av_dict_free(&options);
  Check(header, "header");

  uint32_t serial = 0;
  const auto write_marker = [&] {
    Bytes marker = Recording::MakePacket(kTimeMarkerPid, serial);
    marker[3] = static_cast<uint8_t>(0x10 | (serial++ & 0x0F));  // its counter runs on, as a broadcast's does
    avio_write(own.muxer->pb, marker.data(), static_cast<int>(marker.size()));
  };
  int next_marker = 1;
  // The markers follow the video's clock, or the audio's without video, in its own units.
  const auto markers_before = [&](int64_t pts, int64_t per_second) {
    while (next_marker < o.seconds && pts >= next_marker * per_second + o.marker_shift * per_second / o.fps) {
      write_marker();
      ++next_marker;
    }
  };
  own.packet = av_packet_alloc();
  const auto write = [&](AVPacket* packet) {
    Check(audio_stream && stream ? av_interleaved_write_frame(own.muxer, packet) : av_write_frame(own.muxer, packet), "write");
  };
  const auto drain = [&] {
    while (avcodec_receive_packet(enc, own.packet) == 0) {
      // The packets come in decoding order: the first one of a second is its key frame.
      markers_before(own.packet->pts, o.fps);
      own.packet->stream_index = stream->index;
      av_packet_rescale_ts(own.packet, enc->time_base, stream->time_base);
      write(own.packet);
    }
  };
  const auto drain_audio = [&] {
    while (avcodec_receive_packet(aenc, own.packet) == 0) {
      if (!stream) markers_before(own.packet->pts, kSampleRate);
      own.packet->stream_index = audio_stream->index;
      av_packet_rescale_ts(own.packet, aenc->time_base, audio_stream->time_base);
      write(own.packet);
    }
  };

  if (enc) {
    own.frame = av_frame_alloc();
    own.frame->format = enc->pix_fmt;
    own.frame->width = enc->width;
    own.frame->height = enc->height;
    Check(av_frame_get_buffer(own.frame, 0), "frame");
  }
  int64_t samples = 0;
  if (aenc) {
    own.audio_frame = av_frame_alloc();
    own.audio_frame->format = aenc->sample_fmt;
    own.audio_frame->nb_samples = aenc->frame_size;
    own.audio_frame->sample_rate = aenc->sample_rate;
    Check(av_channel_layout_copy(&own.audio_frame->ch_layout, &aenc->ch_layout), "audio frame");
    Check(av_frame_get_buffer(own.audio_frame, 0), "audio frame");
  }
  uint32_t noise = 1;
  for (int i = 0; i < o.seconds * o.fps; ++i) {
    if (enc) {
      Check(av_frame_make_writable(own.frame), "frame");
      if (o.busy_bit_rate > 0)
        PaintBusy(own.frame, SecondColour(i / o.fps + o.first_colour), i, noise);
      else
        Paint(own.frame, SecondColour(i / o.fps + o.first_colour), o.interlaced);
      own.frame->pts = i;
      own.frame->interlaced_frame = o.interlaced ? 1 : 0;
      own.frame->top_field_first = 1;
      Check(avcodec_send_frame(enc, own.frame), "encode");
      drain();
    }
    // A quiet tone whose pitch is the second's: sound for the encoder to spend bits on.
    while (aenc && samples < int64_t{i + 1} * kSampleRate / o.fps) {
      Check(av_frame_make_writable(own.audio_frame), "audio frame");
      for (int k = 0; k < own.audio_frame->nb_samples; ++k) {
        const double tone = 0.1 * std::sin((samples + k) * (200.0 + 50.0 * (i / o.fps)) * 6.2831853 / kSampleRate);
        for (int c = 0; c < 2; ++c) {
          if (o.mp2)
            reinterpret_cast<int16_t*>(own.audio_frame->data[0])[2 * k + c] = static_cast<int16_t>(tone * 32767);
          else
            reinterpret_cast<float*>(own.audio_frame->data[c])[k] = static_cast<float>(tone);
        }
      }
      own.audio_frame->pts = samples;
      samples += own.audio_frame->nb_samples;
      Check(avcodec_send_frame(aenc, own.audio_frame), "audio encode");
      drain_audio();
    }
  }
  if (enc) {
    Check(avcodec_send_frame(enc, nullptr), "flush");
    drain();
  }
  if (aenc) {
    Check(avcodec_send_frame(aenc, nullptr), "audio flush");
    drain_audio();
  }
  Check(av_write_trailer(own.muxer), "trailer");
  while (next_marker <= o.seconds) {
    write_marker();
    ++next_marker;
  }
  avio_flush(own.muxer->pb);
}

}  // namespace trimora::testkit
