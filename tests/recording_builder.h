// Builds recordings for the tests: N seconds of packets, one time marker (PID 0x0024) per second
// among packets of other PIDs, with options for damage. Every packet carries its own index in its
// payload, so that byte-for-byte comparisons catch a packet copied twice or left out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace trimora::testkit {

using Bytes = std::vector<uint8_t>;

struct RecordingOptions {
  int seconds = 10;               // number of time markers
  int packets_per_second = 4;     // other packets before each marker
  int trailing_packets = 2;       // packets after the last marker
  bool marker_flags = false;      // set the three flag bits in byte 1 of markers (they must be ignored)
};

// A recording as a list of 188-byte packets, editable before it is written.
class Recording {
 public:
  explicit Recording(const RecordingOptions& options = {});
  static Recording Empty() { return Recording(std::vector<Bytes>{}); }

  std::size_t PacketCount() const { return packets_.size(); }
  Bytes& Packet(std::size_t i) { return packets_.at(i); }
  // Index of the packet holding the n-th time marker (counting from 1).
  std::size_t MarkerIndex(int n) const;
  // All bytes, optionally with a final partial record of `extra` bytes appended.
  Bytes AllBytes(std::size_t extra_partial = 0) const;
  // Packets [first, last) concatenated.
  Bytes Slice(std::size_t first, std::size_t last) const;

  void Append(Bytes packet) { packets_.push_back(std::move(packet)); }
  void WriteTo(const std::filesystem::path& path, std::size_t extra_partial = 0) const;

  static Bytes MakePacket(uint16_t pid, uint32_t serial, uint8_t sync = 0x47);

 private:
  explicit Recording(std::vector<Bytes> packets) : packets_(std::move(packets)) {}
  std::vector<Bytes> packets_;
};

// A fresh directory under the system's temp folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

Bytes ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const Bytes& bytes);
// A file of `size` bytes that starts with `head` and holds nothing else on disk: a hole.
void WriteSparse(const std::filesystem::path& path, int64_t size, const Bytes& head = {});

}  // namespace trimora::testkit
