#include "tests/recording_builder.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "core/ts_packet.h"

namespace trimora::testkit {

Bytes Recording::MakePacket(uint16_t pid, uint32_t serial, uint8_t sync) {
  Bytes p(kPacketSize, 0xFF);
  p[0] = sync;
  p[1] = static_cast<uint8_t>((pid >> 8) & 0x1F);
  p[2] = static_cast<uint8_t>(pid & 0xFF);
  p[3] = 0x10;
  for (int k = 0; k < 4; ++k) p[4 + k] = static_cast<uint8_t>(serial >> (8 * k));
  return p;
}

Recording::Recording(const RecordingOptions& o) {
  uint32_t serial = 0;
  static constexpr uint16_t kOtherPids[] = {0x0100, 0x0110, 0x0000, 0x1FFF, 0x0124};
  for (int s = 0; s < o.seconds; ++s) {
    for (int k = 0; k < o.packets_per_second; ++k)
      packets_.push_back(MakePacket(kOtherPids[static_cast<std::size_t>(k) % 5], serial++));
    Bytes marker = MakePacket(kTimeMarkerPid, serial++);
    if (o.marker_flags) marker[1] |= 0xE0;
    packets_.push_back(std::move(marker));
  }
  for (int k = 0; k < o.trailing_packets; ++k) packets_.push_back(MakePacket(0x0100, serial++));
}

std::size_t Recording::MarkerIndex(int n) const {
  int seen = 0;
  for (std::size_t i = 0; i < packets_.size(); ++i)
    if (TimeMarkerPacket(packets_[i].data()) && ++seen == n) return i;
  throw std::out_of_range("no such time marker");
}

Bytes Recording::Slice(std::size_t first, std::size_t last) const {
  Bytes out;
  for (std::size_t i = first; i < last && i < packets_.size(); ++i)
    out.insert(out.end(), packets_[i].begin(), packets_[i].end());
  return out;
}

Bytes Recording::AllBytes(std::size_t extra_partial) const {
  Bytes out = Slice(0, packets_.size());
  for (std::size_t k = 0; k < extra_partial; ++k) out.push_back(k == 0 ? 0x47 : static_cast<uint8_t>(k));
  return out;
}

void Recording::WriteTo(const std::filesystem::path& path, std::size_t extra_partial) const {
  WriteAll(path, AllBytes(extra_partial));
}

TempDir::TempDir() {
  // Creating the folder is the test of whether the name is free, so parallel tests never share one.
  std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("trimora-test-" + std::to_string(random() % 100000000000));
    if (std::filesystem::create_directory(candidate)) {
      path_ = std::move(candidate);
      return;
    }
  }
  throw std::runtime_error("no free name for a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteSparse(const std::filesystem::path& path, int64_t size, const Bytes& head) {
  WriteAll(path, head);
  std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

}  // namespace trimora::testkit
