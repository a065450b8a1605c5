// Reading the heads of H.264 NAL units: where each starts, its payload without the
// emulation-prevention bytes, read bit by bit and in Exp-Golomb codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace trimora::cleancut {

// The position of the next 00 00 01 at or after `from`, or `size` when there is none.
inline std::size_t NextStartCode(const uint8_t* es, std::size_t size, std::size_t from) {
  for (std::size_t i = from; i + 2 < size; ++i)
    if (es[i + 2] <= 1 && es[i] == 0 && es[i + 1] == 0 && es[i + 2] == 1) return i;
  return size;
}

// A NAL unit's payload without its emulation-prevention bytes (00 00 03 -> 00 00).
inline std::vector<uint8_t> Rbsp(const uint8_t* nal, std::size_t size) {
  std::vector<uint8_t> out;
  out.reserve(size);
  int zeros = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (zeros >= 2 && nal[i] == 3) {
      zeros = 0;
      continue;
    }
    zeros = nal[i] == 0 ? zeros + 1 : 0;
    out.push_back(nal[i]);
  }
  return out;
}

class Bits {
 public:
  explicit Bits(const std::vector<uint8_t>& b) : b_(b) {}
  bool Ok() const { return ok_; }
  unsigned Bit() {
    if (pos_ >= b_.size() * 8) {
      ok_ = false;
      return 0;
    }
    unsigned bit = (b_[pos_ / 8] >> (7 - pos_ % 8)) & 1;
    ++pos_;
    return bit;
  }
  uint32_t Read(int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k) v = (v << 1) | Bit();
    return v;
  }
  // Exp-Golomb. More than 31 leading zeros codes no value a head holds: a broken head, never a
  // shift past the word.
  uint32_t Ue() {
    int zeros = 0;
    while (ok_ && Bit() == 0) {
      if (++zeros > 31) ok_ = false;
    }
    if (!ok_) return 0;
    return (uint32_t{1} << zeros) - 1 + Read(zeros);
  }
  int32_t Se() {
    const uint32_t v = Ue();
    return v & 1 ? static_cast<int32_t>((v + 1) / 2) : -static_cast<int32_t>(v / 2);
  }

 private:
  const std::vector<uint8_t>& b_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace trimora::cleancut
