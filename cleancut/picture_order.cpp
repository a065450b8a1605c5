#include "cleancut/picture_order.h"

#include <algorithm>
#include <vector>

#include "cleancut/rbsp.h"

namespace trimora::cleancut {

namespace {

// The profiles whose sequence parameter sets carry the chroma format, bit depths and scaling lists.
bool HighProfile(uint32_t profile) {
  switch (profile) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138:
    case 139: case 134: case 135:
      return true;
    default: return false;
  }
}

void SkipScalingList(Bits& bits, int size) {
  int last = 8, next = 8;
  for (int j = 0; j < size && bits.Ok(); ++j) {
    if (next != 0) next = (last + bits.Se() + 256) % 256;
    last = next == 0 ? last : next;
  }
}

// The NAL unit of one of `types` that comes first in `es`: its payload's start and end.
struct Nal {
  std::size_t from = 0, to = 0;
  uint8_t head = 0;
};
std::optional<Nal> FirstNal(const uint8_t* es, std::size_t size, uint32_t types) {
  for (std::size_t at = NextStartCode(es, size, 0); at + 3 < size;) {
    const std::size_t next = NextStartCode(es, size, at + 3);
    if (types & (1u << (es[at + 3] & 0x1F))) return Nal{at + 4, next, es[at + 3]};
    at = next;
  }
  return std::nullopt;
}

}  // namespace

std::optional<OrderSyntax> OrderSyntaxOf(const uint8_t* es, std::size_t size) {
  const std::optional<Nal> sps = FirstNal(es, size, 1u << 7);
  if (!sps) return std::nullopt;
  const std::vector<uint8_t> r = Rbsp(es + sps->from, sps->to - sps->from);
  Bits bits(r);
  OrderSyntax s;
  const uint32_t profile = bits.Read(8);
  bits.Read(16);  // constraint flags, level
  bits.Ue();      // seq_parameter_set_id
  if (HighProfile(profile)) {
    const uint32_t chroma = bits.Ue();
    if (chroma == 3) s.colour_planes = bits.Bit();
    bits.Ue();  // bit depths
    bits.Ue();
    bits.Bit();
    if (bits.Bit())  // scaling matrices
      for (int i = 0; i < (chroma == 3 ? 12 : 8) && bits.Ok(); ++i)
        if (bits.Bit()) SkipScalingList(bits, i < 6 ? 16 : 64);
  }
  s.frame_num_bits = static_cast<int>(bits.Ue()) + 4;
  if (bits.Ue() != 0) return std::nullopt;  // the count follows frame_num
  s.count_bits = static_cast<int>(bits.Ue()) + 4;
  bits.Ue();  // max_num_ref_frames
  bits.Bit();
  bits.Ue();  // the size
  bits.Ue();
  s.frame_mbs_only = bits.Bit();
  if (!bits.Ok() || s.frame_num_bits > 16 || s.count_bits > 16) return std::nullopt;
  return s;
}

std::optional<PictureOrder> PictureOrderOf(const uint8_t* es, std::size_t size, const OrderSyntax& syntax) {
  const std::optional<Nal> slice = FirstNal(es, size, (1u << 1) | (1u << 5));
  if (!slice) return std::nullopt;
  const std::vector<uint8_t> r = Rbsp(es + slice->from, std::min<std::size_t>(slice->to - slice->from, 32));
  Bits bits(r);
  PictureOrder p;
  p.reference = (slice->head & 0x60) != 0;
  p.idr = (slice->head & 0x1F) == 5;
  bits.Ue();  // first_mb_in_slice
  bits.Ue();  // slice_type
  bits.Ue();  // pic_parameter_set_id
  if (syntax.colour_planes) bits.Read(2);
  bits.Read(syntax.frame_num_bits);
  if (!syntax.frame_mbs_only && bits.Bit()) bits.Bit();  // a field, and which
  if (p.idr) bits.Ue();  // idr_pic_id
  p.low = bits.Read(syntax.count_bits);
  if (!bits.Ok()) return std::nullopt;
  return p;
}

int64_t OrderCount::Of(uint32_t low) const {
  if (last_low_ < 0) return low;
  const int64_t l = low;
  int64_t high = last_high_;
  if (l < last_low_ && last_low_ - l >= max_ / 2)
    high += max_;
  else if (l > last_low_ && l - last_low_ > max_ / 2)
    high -= max_;
  return high + l;
}

int64_t OrderCount::Take(const PictureOrder& picture) {
  if (picture.idr) {
    last_high_ = 0;
    last_low_ = 0;
  }
  const int64_t count = Of(picture.low);
  if (picture.reference || last_low_ < 0) {
    last_high_ = count - picture.low;
    last_low_ = picture.low;
  }
  return count;
}

}  // namespace trimora::cleancut
