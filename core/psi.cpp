// The program tables: one reading of PAT and PMT sections for the clean cut and the pictures.
#include "core/psi.h"

#include <array>

namespace trimora::psi {

namespace {

constexpr std::array<uint32_t, 256> kCrcTable = [] {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i << 24;
    for (int k = 0; k < 8; ++k) c = c & 0x80000000u ? (c << 1) ^ 0x04C11DB7u : c << 1;
    t[i] = c;
  }
  return t;
}();

uint16_t Pid13(const uint8_t* b) { return static_cast<uint16_t>((b[0] & 0x1F) << 8 | b[1]); }
uint16_t U16(const uint8_t* b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }

}  // namespace

uint32_t Crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ data[i]) & 0xFF];
  return crc;
}

bool SoundSection(const uint8_t* s, std::size_t size, uint8_t table_id) {
  return size >= 12 && s[0] == table_id && (s[5] & 1) && SectionSize(s) == size && Crc32(s, size) == 0;
}

std::optional<Program> FirstProgram(const uint8_t* s, std::size_t size) {
  for (std::size_t i = 8; i + 4 <= size - 4; i += 4) {
    if (U16(s + i) == 0) continue;  // the network PID
    return Program{U16(s + i), Pid13(s + i + 2)};
  }
  return std::nullopt;
}

std::vector<Stream> PmtStreams(const uint8_t* s, std::size_t size) {
  std::vector<Stream> streams;
  const std::size_t end = size - 4;
  for (std::size_t i = 12 + ((std::size_t{s[10] & 0x0Fu} << 8) | s[11]); i + 5 <= end;
       i += 5 + ((std::size_t{s[i + 3] & 0x0Fu} << 8) | s[i + 4]))
    streams.push_back({Pid13(s + i + 1), s[i]});
  return streams;
}

namespace {

constexpr std::size_t kPacketBytes = 188;
// No PSI section is longer (private sections reach 4096 bytes): more pending is a lost end.
constexpr std::size_t kLongestSection = 4096;

}  // namespace

void SectionAssembler::Append(const uint8_t* from, const uint8_t* to) {
  pending_.insert(pending_.end(), from, to);
  // Every section the bytes complete, one after another; stuffing (0xFF) ends the packet's sections.
  while (pending_.size() >= 3 && pending_[0] != 0xFF) {
    const std::size_t total = SectionSize(pending_.data());
    if (pending_.size() < total) {
      if (pending_.size() > kLongestSection) pending_.clear();
      return;
    }
    if (total >= 12 && Crc32(pending_.data(), total) == 0) done_.emplace_back(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(total));
  }
  if (!pending_.empty() && pending_[0] == 0xFF) pending_.clear();
}

const std::vector<std::vector<uint8_t>>& SectionAssembler::Take(const uint8_t* p) {
  done_.clear();
  first_began_before_ = false;
  // A packet the demodulator marked damaged, or one without the sync byte, ends what was begun.
  if (p[0] != 0x47 || (p[1] & 0x80)) {
    pending_.clear();
    return done_;
  }
  const unsigned control = (p[3] >> 4) & 3;
  if (!(control & 1)) return done_;  // adaptation field only
  const std::size_t at = control & 2 ? 5 + std::size_t{p[4]} : 4;
  if (at >= kPacketBytes) return done_;
  const uint8_t* payload = p + at;
  const uint8_t* end = p + kPacketBytes;
  if (!(p[1] & 0x40)) {
    if (!pending_.empty()) Append(payload, end);
    first_began_before_ = !done_.empty();
    return done_;
  }
  // A unit start: the pointer field says where the new section begins; the bytes before it
  // end the section begun in earlier packets.
  const uint8_t* start = payload + 1 + payload[0];
  if (start >= end) {
    pending_.clear();
    return done_;
  }
  if (!pending_.empty()) Append(payload + 1, start);
  first_began_before_ = !done_.empty();
  pending_.clear();
  Append(start, end);
  return done_;
}

}  // namespace trimora::psi
