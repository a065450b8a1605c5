// The headers of a packetised elementary stream (PES, ISO/IEC 13818-1, 2.4.3.6) as they start in a
// transport packet: where the payload begins, whether a PES starts there, and its PTS and DTS.
// Pictures and sound are told apart and timed by these headers alone, never by decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/ts_packet.h"

namespace trimora::pes {

inline constexpr int64_t kTicksPerSecond = 90000;  // the 90 kHz clock of PTS and DTS
inline constexpr int64_t kWrap = int64_t{1} << 33;  // a 33-bit clock wraps every 26.5 hours

// Where the payload begins in the packet, or 0 when it has none.
inline constexpr std::size_t PayloadStart(const uint8_t* p) {
  const unsigned control = (p[3] >> 4) & 3;
  if (!(control & 1)) return 0;
  const std::size_t at = control & 2 ? 5 + std::size_t{p[4]} : 4;
  return at < kPacketSize ? at : 0;
}

// The first packet of a PES or a section: synced, no transport error, payload_unit_start set.
inline constexpr bool UnitStart(const uint8_t* p) { return p[0] == kSyncByte && (p[1] & 0xC0) == 0x40; }

// A 33-bit timestamp from the five bytes that carry it.
inline constexpr int64_t Timestamp(const uint8_t* t) {
  return (int64_t{t[0] & 0x0E} << 29) | (int64_t{t[1]} << 22) | (int64_t{t[2] & 0xFE} << 14) |
         (int64_t{t[3]} << 7) | (t[4] >> 1);
}

// The PES header that starts in this packet's payload, when its fixed part lies within the packet.
inline constexpr const uint8_t* Header(const uint8_t* p) {
  if (!UnitStart(p)) return nullptr;
  const std::size_t at = PayloadStart(p);
  if (at == 0 || at + 9 > kPacketSize) return nullptr;
  const uint8_t* h = p + at;
  return h[0] == 0 && h[1] == 0 && h[2] == 1 ? h : nullptr;
}

// Whether `size` bytes from the header's start lie within the packet.
inline constexpr bool Within(const uint8_t* p, const uint8_t* h, std::size_t size) {
  return static_cast<std::size_t>(h - p) + size <= kPacketSize;
}

// The PTS of a PES that starts in this packet, when its header carries one.
inline constexpr std::optional<int64_t> Pts(const uint8_t* p) {
  const uint8_t* h = Header(p);
  if (!h || !(h[7] & 0x80) || !Within(p, h, 14)) return std::nullopt;
  return Timestamp(h + 9);
}

// The DTS of that PES: its PTS when the header carries no other.
inline constexpr std::optional<int64_t> Dts(const uint8_t* p) {
  const uint8_t* h = Header(p);
  if (!h || !(h[7] & 0x80)) return std::nullopt;
  if ((h[7] & 0xC0) == 0xC0 && Within(p, h, 19)) return Timestamp(h + 14);
  return Pts(p);
}

// `b` - `a` on the wrapping clock: the nearer way round, so a stream that crosses the wrap
// between the two still reads as a short step.
inline constexpr int64_t Since(int64_t a, int64_t b) {
  int64_t d = (b - a) % kWrap;
  if (d < 0) d += kWrap;
  return d >= kWrap / 2 ? d - kWrap : d;
}

}  // namespace trimora::pes
