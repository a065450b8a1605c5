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

struct Owners {
  AVCodecContext* encoder = nullptr;
  AVFormatContext* muxer = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~Owners() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    if (muxer) avio_closep(&muxer->pb);
    avformat_free_context(muxer);
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
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG2VIDEO);
  if (!codec) throw std::runtime_error("video recording: no MPEG-2 encoder");
  own.encoder = avcodec_alloc_context3(codec);
  AVCodecContext* enc = own.encoder;
  enc->width = o.width;
  enc->height = o.height;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = {1, o.fps};
  enc->framerate = {o.fps, 1};
  enc->gop_size = o.gop;
  enc->max_b_frames = 2;
  enc->sample_aspect_ratio = {o.sar_num, o.sar_den};
  if (o.busy_bit_rate > 0) {
    enc->bit_rate = o.busy_bit_rate;
    enc->rc_max_rate = 2 * o.busy_bit_rate;
    enc->rc_buffer_size = 1'835'008;  // the largest buffer of MPEG-2 Main Profile at Main Level
  } else {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * 2;
  }
  if (o.interlaced) enc->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  Check(avcodec_open2(enc, codec, nullptr), "encoder");

  Check(avformat_alloc_output_context2(&own.muxer, nullptr, "mpegts", nullptr), "muxer");
  AVStream* stream = avformat_new_stream(own.muxer, nullptr);
  if (!stream) throw std::runtime_error("video recording: no stream");
  Check(avcodec_parameters_from_context(stream->codecpar, enc), "stream parameters");
  stream->time_base = enc->time_base;
  stream->id = o.video_pid;
  Check(avio_open(&own.muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
  Check(avformat_write_header(own.muxer, nullptr), "header");

  uint32_t serial = 0;
  const auto write_marker = [&] {
    const Bytes marker = Recording::MakePacket(kTimeMarkerPid, serial++);
    avio_write(own.muxer->pb, marker.data(), static_cast<int>(marker.size()));
  };
  int next_marker = 1;
  own.packet = av_packet_alloc();
  const auto drain = [&] {
    while (avcodec_receive_packet(enc, own.packet) == 0) {
      // The packets come in decoding order: the first one of a second is its key frame.
      while (next_marker < o.seconds && own.packet->pts >= int64_t{next_marker} * o.fps) {
        write_marker();
        ++next_marker;
      }
      own.packet->stream_index = 0;
      av_packet_rescale_ts(own.packet, enc->time_base, stream->time_base);
      Check(av_write_frame(own.muxer, own.packet), "write");
    }
  };

  own.frame = av_frame_alloc();
  own.frame->format = enc->pix_fmt;
  own.frame->width = enc->width;
  own.frame->height = enc->height;
  Check(av_frame_get_buffer(own.frame, 0), "frame");
  uint32_t noise = 1;
  for (int i = 0; i < o.seconds * o.fps; ++i) {
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
  Check(avcodec_send_frame(enc, nullptr), "flush");
  drain();
  Check(av_write_trailer(own.muxer), "trailer");
  while (next_marker <= o.seconds) {
    write_marker();
    ++next_marker;
  }
  avio_flush(own.muxer->pb);
}

}  // namespace trimora::testkit
