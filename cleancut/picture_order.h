// The order H.264 pictures are shown in, as their slice heads count it when the count is sent
// (pic_order_cnt_type 0): each picture sends only the count's low bits, and a decoder takes the
// count nearest to that of the reference picture decoded before it. At a join of a clean job
// the next range's key picture is counted from the last reference picture of the range before,
// whatever the two counted in the recording: unless that puts it after every picture the range
// before shows, a decoder shows it among them or drops it. Told from the heads only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace trimora::cleancut {

// What a sequence parameter set says of the slice heads up to the count.
struct OrderSyntax {
  int frame_num_bits = 0;
  int count_bits = 0;  // the count's low bits each picture sends
  bool frame_mbs_only = true;
  bool colour_planes = false;
  friend bool operator==(const OrderSyntax&, const OrderSyntax&) = default;
};

// From the first sequence parameter set in the elementary-stream bytes `es`, when it sends the
// count in the slice heads; nothing otherwise (then the count follows the decoding order).
std::optional<OrderSyntax> OrderSyntaxOf(const uint8_t* es, std::size_t size);

struct PictureOrder {
  uint32_t low = 0;  // the count's low bits
  bool reference = false;
  bool idr = false;
};

// From the head of the first slice in `es`; nothing when no whole head is in it.
std::optional<PictureOrder> PictureOrderOf(const uint8_t* es, std::size_t size, const OrderSyntax& syntax);

// The counts of pictures in decoding order, as a decoder takes them.
class OrderCount {
 public:
  explicit OrderCount(int count_bits) : max_(int64_t{1} << count_bits) {}
  // The count of the next picture, which sends `low`.
  int64_t Of(uint32_t low) const;
  // Takes the next picture in; returns its count.
  int64_t Take(const PictureOrder& picture);

 private:
  int64_t max_;
  int64_t last_high_ = 0;
  int64_t last_low_ = -1;  // of the last reference picture; -1 before the first picture
};

}  // namespace trimora::cleancut
