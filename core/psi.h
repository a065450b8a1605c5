// The program tables of a transport stream (ISO/IEC 13818-1, 2.4.4): sections assembled from the
// packets of their PID, whether a section is whole and sound, the first program a PAT names, and
// the streams a PMT lists. Sections are given from their table_id up to and including their CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace trimora::psi {

inline constexpr uint8_t kPatTableId = 0x00;
inline constexpr uint8_t kPmtTableId = 0x02;

// The section's length from its header: 3 bytes of header plus section_length.
inline constexpr std::size_t SectionSize(const uint8_t* s) {
  return 3 + ((static_cast<std::size_t>(s[1] & 0x0F) << 8) | s[2]);
}

// CRC-32 of MPEG-2 sections; 0 over a whole section with its CRC.
uint32_t Crc32(const uint8_t* data, std::size_t size);

// A whole section of the table `table_id`, long enough for a table, in force now
// (current_next_indicator set), whose CRC holds.
bool SoundSection(const uint8_t* s, std::size_t size, uint8_t table_id);

struct Program {
  uint16_t number = 0;
  uint16_t pmt_pid = 0;
};
// The first program of a sound PAT section (the network PID is not a program).
std::optional<Program> FirstProgram(const uint8_t* s, std::size_t size);

// The program a sound PMT section belongs to.
inline constexpr uint16_t PmtProgram(const uint8_t* s) { return static_cast<uint16_t>(s[3] << 8 | s[4]); }

struct Stream {
  uint16_t pid = 0;
  uint8_t type = 0;
};
// The elementary streams of a sound PMT section, in its order.
std::vector<Stream> PmtStreams(const uint8_t* s, std::size_t size);

// Whether a PMT's stream type is video: MPEG-1, MPEG-2, MPEG-4 Part 2, H.264 or HEVC.
inline constexpr bool IsVideoStream(uint8_t type) {
  return type == 0x01 || type == 0x02 || type == 0x10 || type == 0x1B || type == 0x24;
}

// The sections of one PID, assembled from its packets as they pass: a section may run over
// several packets (a PMT with many streams or descriptors), and a packet may end one section and
// begin the next. Only sections whose CRC holds are handed on; a packet lost in the middle of a
// section spoils that section alone, which its CRC then shows.
class SectionAssembler {
 public:
  // Takes one packet of the PID (188 bytes, sync byte included). Returns the sections it
  // completed, each from its table_id up to and including its CRC; valid until the next call.
  const std::vector<std::vector<uint8_t>>& Take(const uint8_t* packet);
  // Forgets a section begun: the next one starts at a unit start.
  void Reset() { pending_.clear(); }
  // Whether a section is begun and waits for more packets.
  bool Pending() const { return !pending_.empty(); }
  // Whether the first section the last Take completed began in an earlier packet: only that one
  // can have; the others lay wholly in the packet.
  bool FirstBeganBefore() const { return first_began_before_; }

 private:
  void Append(const uint8_t* from, const uint8_t* to);
  std::vector<uint8_t> pending_;
  std::vector<std::vector<uint8_t>> done_;
  bool first_began_before_ = false;
};

}  // namespace trimora::psi
