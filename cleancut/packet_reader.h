// The clean cut's planners read the source at any offset, a chunk at a time, with ReadAt only, so
// that the file can be shared with other readers: forward scans read each chunk once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <stop_token>

#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace trimora::cleancut {

// Thrown by a read once the stop token is set; the planners turn it into their stopped outcome.
struct StopRequested {};

class PacketReader {
 public:
  PacketReader(const os::File& file, const std::stop_token& stop)
      : file_(file), stop_(stop), size_(file.Size()), buffer_(new uint8_t[kChunk]) {}

  int64_t Size() const { return size_; }
  // The end of the last whole packet of the grid `from` lies on.
  int64_t End(int64_t from) const { return from + std::max<int64_t>(size_ - from, 0) / kPacket * kPacket; }

  // The packet at `at`, which lies wholly inside the file.
  const uint8_t* At(int64_t at) {
    if (at < base_ || at + kPacket > base_ + static_cast<int64_t>(length_)) Fill(at);
    return buffer_.get() + (at - base_);
  }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 20;  // one read of the source
  static constexpr int64_t kPacket = static_cast<int64_t>(kPacketSize);

  void Fill(int64_t at) {
    if (stop_.stop_requested()) throw StopRequested{};
    base_ = at;
    const int64_t wanted = std::min(static_cast<int64_t>(kChunk), size_ - base_);
    length_ = file_.ReadAt(buffer_.get(), static_cast<std::size_t>(wanted), base_);
    if (at + kPacket > base_ + static_cast<int64_t>(length_)) throw std::runtime_error("the source shrank");
  }

  const os::File& file_;
  const std::stop_token& stop_;
  const int64_t size_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t base_ = 0;
  std::size_t length_ = 0;
};

}  // namespace trimora::cleancut
