#include "cleancut/random_access.h"

#include <vector>

#include "cleancut/rbsp.h"

namespace trimora::cleancut {

namespace {

Verdict Mpeg2(const uint8_t* es, std::size_t size, bool whole) {
  for (std::size_t i = NextStartCode(es, size, 0); i + 3 < size; i = NextStartCode(es, size, i + 3)) {
    if (es[i + 3] == 0xB3) return Verdict::kYes;
    if (es[i + 3] == 0x00) return Verdict::kNo;
  }
  return whole ? Verdict::kNo : Verdict::kNeedMore;
}

bool HasRecoveryPoint(const uint8_t* payload, std::size_t size) {
  const std::vector<uint8_t> r = Rbsp(payload, size);
  std::size_t pos = 0;
  const auto coded = [&](std::size_t& value) {
    value = 0;
    while (pos < r.size() && r[pos] == 0xFF) value += r[pos++];
    if (pos >= r.size()) return false;
    value += r[pos++];
    return true;
  };
  while (pos + 1 < r.size()) {  // the last byte is the stop bit
    std::size_t type = 0, length = 0;
    if (!coded(type) || !coded(length)) return false;
    if (type == 6) return true;
    pos += length;
  }
  return false;
}

bool IntraSlice(const uint8_t* payload, std::size_t size) {
  const std::vector<uint8_t> r = Rbsp(payload, size < 16 ? size : 16);
  Bits bits(r);
  bits.Ue();  // first_mb_in_slice
  const uint32_t type = bits.Ue();
  return bits.Ok() && (type % 5 == 2 || type % 5 == 4);  // I or SI
}

Verdict H264(const uint8_t* es, std::size_t size, bool whole, bool sets_before) {
  bool sps = sets_before, pps = sets_before, recovery = false;
  for (std::size_t at = NextStartCode(es, size, 0); at < size;) {
    const std::size_t nal = at + 3;
    const std::size_t next = NextStartCode(es, size, nal);
    if (nal >= size) break;
    // A NAL unit is complete once the next start code is in sight; a slice needs only its head.
    const bool complete = next < size || whole;
    switch (es[nal] & 0x1F) {
      case 7: sps = true; break;
      case 8: pps = true; break;
      case 6:
        if (!complete) return Verdict::kNeedMore;
        recovery = recovery || HasRecoveryPoint(es + nal + 1, next - nal - 1);
        break;
      case 5:
        return sps && pps ? Verdict::kYes : Verdict::kNo;
      case 1:
        if (!complete && next - nal < 17) return Verdict::kNeedMore;
        return sps && pps && recovery && IntraSlice(es + nal + 1, next - nal - 1) ? Verdict::kYes : Verdict::kNo;
      default: break;
    }
    at = next;
  }
  return whole ? Verdict::kNo : Verdict::kNeedMore;
}

}  // namespace

Verdict ParameterSetsOnly(const uint8_t* es, std::size_t size, bool whole) {
  bool sps = false, pps = false;
  for (std::size_t at = NextStartCode(es, size, 0); at + 3 < size; at = NextStartCode(es, size, at + 3)) {
    switch (es[at + 3] & 0x1F) {
      case 7: sps = true; break;
      case 8: pps = true; break;
      case 1: case 5: return Verdict::kNo;  // a slice: a picture's PES, not one of parameter sets
      default: break;
    }
  }
  if (!whole) return Verdict::kNeedMore;
  return sps && pps ? Verdict::kYes : Verdict::kNo;
}

VideoKind VideoKindOf(uint8_t stream_type) {
  switch (stream_type) {
    case 0x01: case 0x02: return VideoKind::kMpeg2;
    case 0x1B: return VideoKind::kH264;
    // MPEG-4 part 2, MVC, SVC, HEVC, AVS, VC-1: video that a clean start cannot be found in.
    case 0x10: case 0x1F: case 0x20: case 0x24: case 0x42: case 0xD1: case 0xEA: return VideoKind::kUnsupported;
    default: return VideoKind::kNone;
  }
}

Verdict RandomAccessPicture(VideoKind kind, const uint8_t* es, std::size_t size, bool whole, bool sets_before) {
  switch (kind) {
    case VideoKind::kMpeg2: return Mpeg2(es, size, whole);
    case VideoKind::kH264: return H264(es, size, whole, sets_before);
    case VideoKind::kNone:
    case VideoKind::kUnsupported: break;
  }
  return Verdict::kNo;
}

}  // namespace trimora::cleancut
