// Facts of an MPEG-2 transport stream packet (ISO/IEC 13818-1) that Trimora needs: the sync byte,
// the PID and the time marker. Pure inline accessors: no state, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trimora {

inline constexpr std::size_t kPacketSize = 188;
inline constexpr std::size_t kHeadSize = 3;  // sync byte and the two bytes holding the PID
inline constexpr uint8_t kSyncByte = 0x47;
inline constexpr uint16_t kTimeMarkerPid = 0x0024;  // carried once per second of broadcast
inline constexpr uint16_t kNullPid = 0x1FFF;        // stuffing: its continuity counter means nothing

// Bytes per second of a recording: the only link between a file's size and its length.
inline constexpr double kBytesPerSecond = 233655.5;

inline constexpr bool ts_has_sync(const uint8_t* p) { return p[0] == kSyncByte; }

// The 13-bit PID; the three flag bits above it are ignored.
inline constexpr uint16_t ts_get_pid(const uint8_t* p) {
  return static_cast<uint16_t>((static_cast<uint16_t>(p[1] & 0x1F) << 8) | p[2]);
}

// A time marker is told by its PID alone: a packet with a damaged sync byte still counts.
inline constexpr bool TimeMarkerPacket(const uint8_t* p) { return ts_get_pid(p) == kTimeMarkerPid; }

}  // namespace trimora
