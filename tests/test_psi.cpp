// The program tables read from packets: a PMT that takes more than one packet is assembled whole,
// and one whose middle packet is lost is not believed.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/psi.h"

namespace trimora {
namespace {

// A PMT section of program 1 listing `streams` MPEG-2 video streams from PID 0x100 on.
std::vector<uint8_t> PmtSection(int streams) {
  std::vector<uint8_t> s = {psi::kPmtTableId, 0, 0, 0, 1, 0xC1, 0, 0, 0xE1, 0x00, 0xF0, 0};
  for (int i = 0; i < streams; ++i) s.insert(s.end(), {0x02, uint8_t(0xE1), uint8_t(i), 0xF0, 0});
  const std::size_t length = s.size() + 4 - 3;
  s[1] = uint8_t(0xB0 | (length >> 8));
  s[2] = uint8_t(length);
  const uint32_t crc = psi::Crc32(s.data(), s.size());
  for (int shift : {24, 16, 8, 0}) s.push_back(uint8_t(crc >> shift));
  return s;
}

// The section in packets of PID 0x1F0: a pointer field, then as much as fits, then stuffing.
std::vector<std::vector<uint8_t>> Packets(const std::vector<uint8_t>& section) {
  std::vector<std::vector<uint8_t>> packets;
  std::size_t at = 0;
  for (uint8_t cc = 0; at < section.size(); ++cc) {
    std::vector<uint8_t> p = {0x47, uint8_t(packets.empty() ? 0x41 : 0x01), 0xF0, uint8_t(0x10 | (cc & 0x0F))};
    if (packets.empty()) p.push_back(0);
    while (p.size() < 188 && at < section.size()) p.push_back(section[at++]);
    p.resize(188, 0xFF);
    packets.push_back(p);
  }
  return packets;
}

TEST(SectionAssembler, APmtOverTwoPacketsIsWholeAndOneMissingItsMiddleIsNot) {
  const std::vector<uint8_t> pmt = PmtSection(50);  // 266 bytes
  const std::vector<std::vector<uint8_t>> packets = Packets(pmt);
  ASSERT_EQ(packets.size(), 2u);

  psi::SectionAssembler whole;
  EXPECT_TRUE(whole.Take(packets[0].data()).empty());
  const auto& done = whole.Take(packets[1].data());
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0], pmt);
  EXPECT_EQ(psi::PmtStreams(done[0].data(), done[0].size()).size(), 50u);

  const std::vector<std::vector<uint8_t>> three = Packets(PmtSection(80));  // 416 bytes
  ASSERT_EQ(three.size(), 3u);
  psi::SectionAssembler lossy;
  lossy.Take(three[0].data());
  EXPECT_TRUE(lossy.Take(three[2].data()).empty());  // its CRC fails without the middle
}

}  // namespace
}  // namespace trimora
