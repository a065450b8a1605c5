#include "preview/png_file.h"

#include <exception>
#include <filesystem>
#include <random>
#include <string>

#include "platform/os/os.h"

#include "preview/ffmpeg_owners.h"

namespace trimora::preview {

namespace {

// A hidden name beside `path`, told apart by a random number: created new, it is never another's.
std::string TemporaryBeside(const std::string& path) {
  static std::random_device random;
  const std::filesystem::path p = os::PathFromUtf8(path);
  const std::string name = "." + os::Utf8FromPath(p.filename()) + ".trimora-" + std::to_string(random()) + ".tmp";
  return os::Utf8FromPath(p.parent_path() / os::PathFromUtf8(name));
}

// The picture's 0xFFRRGGBB pixels as the encoder's RGB24 rows.
FramePtr RgbFrame(const Picture& picture) {
  FramePtr frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->format = AV_PIX_FMT_RGB24;
  frame->width = picture.width;
  frame->height = picture.height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  for (int y = 0; y < picture.height; ++y) {
    uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
    const uint32_t* px = picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
    for (int x = 0; x < picture.width; ++x) {
      row[3 * x] = static_cast<uint8_t>(px[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(px[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(px[x]);
    }
  }
  return frame;
}

}  // namespace

bool WritePng(const Picture& picture, const std::string& path) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
    return false;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) return false;
  CodecPtr encoder(avcodec_alloc_context3(codec));
  if (!encoder) return false;
  encoder->width = picture.width;
  encoder->height = picture.height;
  encoder->pix_fmt = AV_PIX_FMT_RGB24;
  encoder->time_base = {1, 1};
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return false;
  auto frame = RgbFrame(picture);
  PacketPtr packet(av_packet_alloc());
  if (!frame || !packet || avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
      avcodec_receive_packet(encoder.get(), packet.get()) < 0)
    return false;
  frame.reset();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temporary = TemporaryBeside(path);
    os::File file;
    try {
      file = os::File::CreateNew(temporary);
    } catch (const std::exception&) {
      if (os::KindOf(temporary) != os::PathKind::kNothing) continue;  // the name is taken: another
      return false;
    }
    try {
      file.Write(packet->data, static_cast<std::size_t>(packet->size));
      file.Close();
      os::ReplaceFile(temporary, path);
      return true;
    } catch (const std::exception&) {
      try {
        file = os::File();
        os::RemoveFile(temporary);
      } catch (const std::exception&) {
        // nothing more can be done; the old file at the path is untouched either way
      }
      return false;
    }
  }
  return false;
}

}  // namespace trimora::preview
