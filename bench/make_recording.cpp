// Writes a recording for benchmarks: packets at the byte rate of a real broadcast (about 1243 per
// second, so that the size-based estimate matches the length), one time marker closing each second.
//
//   make_recording FILE --seconds N   N whole seconds
//   make_recording FILE --bytes N     at least N bytes, rounded up to whole packets
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace {

using trimora::kPacketSize;

// Packets up to and including the marker that closes second s: the byte rate 233655.5 is
// 467311 / 2, so s seconds hold floor(s * 467311 / 376) packets.
int64_t PacketsThrough(int64_t s) { return s * 467311 / 376; }

void PutPacket(uint8_t* p, uint16_t pid, uint32_t serial) {
  p[0] = trimora::kSyncByte;
  p[1] = static_cast<uint8_t>(pid >> 8);
  p[2] = static_cast<uint8_t>(pid & 0xFF);
  p[3] = static_cast<uint8_t>(0x10 | (serial & 0x0F));
  std::memcpy(p + 4, &serial, sizeof serial);
  std::memset(p + 8, 0xFF, kPacketSize - 8);
}

int Usage() {
  std::fprintf(stderr, "usage: make_recording FILE --seconds N | --bytes N\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  const std::string mode = argv[2];
  char* end = nullptr;
  const long long n = std::strtoll(argv[3], &end, 10);
  if (*end != '\0' || n < 0) return Usage();
  int64_t packets;
  if (mode == "--seconds")
    packets = PacketsThrough(n);
  else if (mode == "--bytes")
    packets = (n + static_cast<int64_t>(kPacketSize) - 1) / static_cast<int64_t>(kPacketSize);
  else
    return Usage();

  try {
    trimora::os::RemoveFile(argv[1]);
    trimora::os::File file = trimora::os::File::CreateNew(argv[1]);
    constexpr std::size_t kChunkPackets = 16384;
    std::vector<uint8_t> chunk(kChunkPackets * kPacketSize);
    static constexpr uint16_t kOtherPids[] = {0x0100, 0x0110, 0x0111, 0x0012, 0x0000};
    int64_t second = 1;
    int64_t next_marker = PacketsThrough(1) - 1;
    for (int64_t i = 0; i < packets;) {
      std::size_t in_chunk = 0;
      for (; in_chunk < kChunkPackets && i < packets; ++in_chunk, ++i) {
        uint16_t pid = kOtherPids[i % 5];
        if (i == next_marker) {
          pid = trimora::kTimeMarkerPid;
          next_marker = PacketsThrough(++second) - 1;
        }
        PutPacket(chunk.data() + in_chunk * kPacketSize, pid, static_cast<uint32_t>(i));
      }
      file.Write(chunk.data(), in_chunk * kPacketSize);
    }
    file.Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
    return 1;
  }
  return 0;
}
