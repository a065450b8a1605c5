#include "cleancut/seamless_join.h"

#include <algorithm>

#include "core/pes.h"
#include "core/ts_packet.h"

namespace trimora::cleancut {

namespace {

// Writes a 33-bit timestamp into the five bytes that carry it, keeping their prefix and marker bits.
void PutTimestamp(uint8_t* t, int64_t v) {
  t[0] = static_cast<uint8_t>((t[0] & 0xF1) | ((v >> 29) & 0x0E));
  t[1] = static_cast<uint8_t>(v >> 22);
  t[2] = static_cast<uint8_t>((t[2] & 0x01) | ((v >> 14) & 0xFE));
  t[3] = static_cast<uint8_t>(v >> 7);
  t[4] = static_cast<uint8_t>((t[4] & 0x01) | ((v << 1) & 0xFE));
}

// The PCR's 33-bit base at 90 kHz moves; its 27 MHz extension stays.
void MovePcr(uint8_t* pcr, int64_t ticks) {
  const int64_t base = (int64_t{pcr[0]} << 25) | (int64_t{pcr[1]} << 17) | (int64_t{pcr[2]} << 9) |
                       (int64_t{pcr[3]} << 1) | (pcr[4] >> 7);
  const int64_t moved = MoveTime(base, ticks);
  pcr[0] = static_cast<uint8_t>(moved >> 25);
  pcr[1] = static_cast<uint8_t>(moved >> 17);
  pcr[2] = static_cast<uint8_t>(moved >> 9);
  pcr[3] = static_cast<uint8_t>(moved >> 1);
  pcr[4] = static_cast<uint8_t>((pcr[4] & 0x7F) | ((moved & 1) << 7));
}

}  // namespace

int64_t JoinOffset(int64_t stop_pts, int64_t key_pts) { return MoveTime(stop_pts, -key_pts); }

int64_t MoveTime(int64_t time, int64_t ticks) {
  const int64_t moved = (time + ticks) % pes::kWrap;
  return moved < 0 ? moved + pes::kWrap : moved;
}

int64_t KeyDts(int64_t last_dts, int64_t key_pts, int64_t next_dts, int64_t picture) {
  // Ticks from the key picture's PTS: the window is (last, next) and at most the PTS itself.
  const int64_t low = pes::Since(key_pts, last_dts) + 1;
  const int64_t high = next_dts < 0 ? 0 : std::min<int64_t>(0, pes::Since(key_pts, next_dts) - 1);
  if (low > high) return -1;
  return MoveTime(key_pts, std::clamp(-picture, low, high));
}

int64_t LaterTime(int64_t a, int64_t b) { return pes::Since(a, b) > 0 ? b : a; }

void ClockShift::Apply(uint8_t* p) {
  if (p[0] != kSyncByte || (p[1] & 0x80)) return;  // a damaged packet is copied as it is
  const uint16_t pid = ts_get_pid(p);
  const bool adaptation = (p[3] & 0x20) && p[4] > 0;
  if (adaptation) {
    if (std::find(marked_.begin(), marked_.end(), pid) == marked_.end()) {
      p[5] |= 0x80;
      marked_.push_back(pid);
    }
    if ((p[5] & 0x10) && p[4] >= 7) MovePcr(p + 6, ticks_);
  }
  if (!pes::Pts(p)) return;
  uint8_t* h = const_cast<uint8_t*>(pes::Header(p));
  PutTimestamp(h + 9, MoveTime(*pes::Pts(p), ticks_));
  if ((h[7] & 0xC0) != 0xC0 || !pes::Within(p, h, 19)) return;
  int64_t dts = MoveTime(pes::Timestamp(h + 14), ticks_);
  if (key_dts_ >= 0 && pid == video_pid_ && pes::Since(dts, key_dts_) > 0) dts = key_dts_;
  PutTimestamp(h + 14, dts);
}

void ContinuityCounters::Apply(uint8_t* packets, std::size_t count, int64_t offset) {
  if (offset != next_) ++stretch_;
  next_ = offset + static_cast<int64_t>(count * kPacketSize);
  for (uint8_t* p = packets; p < packets + count * kPacketSize; p += kPacketSize) {
    if (p[0] != kSyncByte || (p[1] & 0x80)) continue;
    const uint16_t pid = ts_get_pid(p);
    if (pid == kNullPid) continue;
    Pid& s = pids_[pid];
    const uint8_t cc = p[3] & 0x0F;
    if (s.stretch == 0) {
      s = {stretch_, 0, cc};
      continue;
    }
    if (s.stretch != stretch_) {
      if (!(p[3] & 0x10)) {  // no payload: the counter holds
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | s.last);
        continue;
      }
      s.offset = static_cast<uint8_t>((s.last + 1 - cc) & 0x0F);
      s.stretch = stretch_;
    }
    s.last = static_cast<uint8_t>((cc + s.offset) & 0x0F);
    p[3] = static_cast<uint8_t>((p[3] & 0xF0) | s.last);
  }
}

void RewriteHeaders(uint8_t* packets, std::size_t count, int64_t offset, ClockShift* shift,
                    ContinuityCounters* counters) {
  if (shift)
    for (std::size_t i = 0; i < count; ++i) shift->Apply(packets + i * kPacketSize);
  if (counters) counters->Apply(packets, count, offset);
}

}  // namespace trimora::cleancut
