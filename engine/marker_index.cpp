// The marker index, read on in steps of about a megabyte: each step holds the lock only for its
// own read, so that a second asker waits at most one step.
#include "engine/marker_index.h"

#include <exception>
#include <memory>

#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace trimora {

namespace {

constexpr std::size_t kStepPackets = 5578;  // about 1 MiB of whole packets

}  // namespace

MarkerIndex::MarkerIndex(std::string path, std::vector<uint32_t> marker_packets, int64_t scanned_packets,
                         bool whole_file)
    : path_(std::move(path)),
      markers_(std::move(marker_packets)),
      scanned_packets_(scanned_packets),
      complete_(whole_file) {}

MarkerIndex::Lookup MarkerIndex::ByteAfterMarker(int32_t n, const std::stop_token& stop) {
  if (n <= 0) return {n == 0, 0};
  if (!ReadOn(n, stop)) return {};
  std::lock_guard lock(mutex_);
  return {true, (int64_t{markers_[static_cast<std::size_t>(n) - 1]} + 1) * static_cast<int64_t>(kPacketSize)};
}

// Reads packet heads from where the index stands until it knows `wanted` markers. A record is
// looked at as the cutter reads it: from the start of the file in steps of 188 bytes, and a
// final partial record counts when its head is there.
bool MarkerIndex::ReadOn(int32_t wanted, const std::stop_token& stop) {
  const auto enough = [&] { return markers_.size() >= static_cast<std::size_t>(wanted); };
  {
    std::lock_guard lock(mutex_);
    if (enough()) return true;
    if (complete_) return false;
  }
  os::File file;
  try {
    file = os::File::OpenForReading(path_);
  } catch (const std::exception&) {
    return false;
  }
  auto buffer = std::make_unique<uint8_t[]>(kStepPackets * kPacketSize);
  for (;;) {
    if (stop.stop_requested()) return false;
    std::lock_guard lock(mutex_);
    if (enough()) return true;
    if (complete_) return false;
    std::size_t bytes = 0;
    try {
      bytes = file.ReadAt(buffer.get(), kStepPackets * kPacketSize, scanned_packets_ * static_cast<int64_t>(kPacketSize));
    } catch (const std::exception&) {
      return false;
    }
    std::size_t p = 0;
    for (; p + kHeadSize <= bytes; p += kPacketSize) {
      if (TimeMarkerPacket(buffer.get() + p)) markers_.push_back(static_cast<uint32_t>(scanned_packets_));
      ++scanned_packets_;
    }
    if (bytes < kStepPackets * kPacketSize) complete_ = true;
  }
}

int64_t MarkerIndex::FileSize() const {
  try {
    return os::File::OpenForReading(path_).Size();
  } catch (const std::exception&) {
    return -1;
  }
}

int32_t MarkerIndex::KnownMarkers() const {
  std::lock_guard lock(mutex_);
  return static_cast<int32_t>(markers_.size());
}

bool MarkerIndex::Complete() const {
  std::lock_guard lock(mutex_);
  return complete_;
}

}  // namespace trimora
