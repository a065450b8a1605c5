#include "preview/png_file.h"

#include <zlib.h>

#include <exception>
#include <string>
#include <vector>

#include "platform/os/os.h"

namespace trimora::preview {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<uint8_t>(v >> shift));
}

// One chunk: length, type, data, and the CRC of type and data.
void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Put32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// The picture as an 8-bit RGB PNG. Written row by row through zlib, so that the file is the only
// copy of the picture made: an 8K picture costs no more memory than its pixels and the file.
std::vector<uint8_t> EncodePng(const Picture& picture) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  Put32(header, static_cast<uint32_t>(picture.width));
  Put32(header, static_cast<uint32_t>(picture.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filters, no interlace
  Chunk(png, "IHDR", header);

  z_stream z{};
  if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK) return {};
  std::vector<uint8_t> data, row(1 + 3 * static_cast<std::size_t>(picture.width));
  uint8_t out[64 << 10];
  bool ok = true;
  for (int y = 0; y <= picture.height && ok; ++y) {
    const bool last = y == picture.height;
    if (!last) {
      row[0] = 0;  // no filter
      const uint32_t* px = picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
      for (int x = 0; x < picture.width; ++x) {
        row[1 + 3 * x] = static_cast<uint8_t>(px[x] >> 16);
        row[2 + 3 * x] = static_cast<uint8_t>(px[x] >> 8);
        row[3 + 3 * x] = static_cast<uint8_t>(px[x]);
      }
      z.next_in = row.data();
      z.avail_in = static_cast<uInt>(row.size());
    }
    int r = Z_OK;
    do {
      z.next_out = out;
      z.avail_out = sizeof out;
      r = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      if (r == Z_STREAM_ERROR) ok = false;
      data.insert(data.end(), out, out + (sizeof out - z.avail_out));
    } while (ok && (last ? r != Z_STREAM_END : z.avail_out == 0));
  }
  deflateEnd(&z);
  if (!ok) return {};
  Chunk(png, "IDAT", data);
  Chunk(png, "IEND", {});
  return png;
}

}  // namespace

bool WritePng(const Picture& picture, const std::string& path) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.pixels.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height))
    return false;
  const std::vector<uint8_t> png = EncodePng(picture);
  if (png.empty()) return false;
  try {
    os::WriteWholeFile(path, png.data(), png.size());
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace trimora::preview
