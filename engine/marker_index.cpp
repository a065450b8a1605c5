// The marker index, read on in steps of about a megabyte: each step holds the lock only for its
// own read, so that a second asker waits at most one step.
#include "engine/marker_index.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "core/ts_packet.h"
#include "platform/os/os.h"

namespace trimora {

namespace {

constexpr std::size_t kStepPackets = 5578;  // about 1 MiB of whole packets
// Where the cutter ends its copy early (engine/cut.cpp counts the same records).
constexpr int64_t kZeroRecordsAtEnd = 10;
constexpr int64_t kBadRecordsLimit = 100;

}  // namespace

MarkerIndex::MarkerIndex(std::string path, std::vector<uint32_t> marker_packets, int64_t scanned_packets,
                         bool whole_file)
    : path_(std::move(path)),
      markers_(std::move(marker_packets)),
      scanned_packets_(scanned_packets),
      complete_(whole_file),
      stamp_(os::StampOf(path_)) {}

MarkerIndex::MarkerIndex(std::string path) : path_(std::move(path)), stamp_(os::StampOf(path_)) {}

MarkerIndex::Lookup MarkerIndex::ByteAfterMarker(int32_t n, const std::stop_token& stop) {
  if (n <= 0) return {n == 0, 0};
  const auto wanted = static_cast<std::size_t>(n);
  if (!ReadOn([&] { return markers_.size() >= wanted; }, stop)) return {};
  std::lock_guard lock(mutex_);
  return {true, (int64_t{markers_[static_cast<std::size_t>(n) - 1]} + 1) * static_cast<int64_t>(kPacketSize)};
}

std::optional<MarkerIndex::Known> MarkerIndex::KnownByteAfterMarker(int32_t n) const {
  if (n <= 0 || !Unchanged()) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (markers_.size() < static_cast<std::size_t>(n) || !stamp_) return std::nullopt;
  return Known{n, (int64_t{markers_[static_cast<std::size_t>(n) - 1]} + 1) * static_cast<int64_t>(kPacketSize), *stamp_};
}

std::optional<MarkerIndex::Total> MarkerIndex::KnownTotal() const {
  if (!Unchanged()) return std::nullopt;
  std::lock_guard lock(mutex_);
  if (!complete_ || !stamp_) return std::nullopt;
  return Total{static_cast<int32_t>(markers_.size()), *stamp_};
}

int64_t MarkerIndex::CutStop(int64_t from, int64_t to, const std::stop_token& stop) {
  from = std::max<int64_t>(from, 0);
  if (to <= from) return to;
  const int64_t first = from / static_cast<int64_t>(kPacketSize);
  const int64_t last = (to + static_cast<int64_t>(kPacketSize) - 1) / static_cast<int64_t>(kPacketSize);
  ReadOn([&] { return scanned_packets_ >= last; }, stop);
  if (stop.stop_requested()) return -1;
  std::lock_guard lock(mutex_);
  if (scanned_packets_ < last && !complete_) return -1;
  int64_t stop_at = to;
  for (const auto& [runs, nth] : {std::pair{&zero_runs_, kZeroRecordsAtEnd}, std::pair{&bad_runs_, kBadRecordsLimit}})
    if (const std::optional<int64_t> packet = Nth(*runs, first, last, nth))
      stop_at = std::min(stop_at, (*packet + 1) * static_cast<int64_t>(kPacketSize));
  return stop_at;
}

bool MarkerIndex::Unchanged() const {
  const std::optional<os::FileStamp> now = os::StampOf(path_);
  std::lock_guard lock(mutex_);
  if (!stamp_) stamp_ = now;  // made before the file was there: the first look sets it
  return now && *now == *stamp_;
}

void MarkerIndex::AddTo(std::vector<Run>& runs, uint32_t packet) {
  if (!runs.empty() && runs.back().first + runs.back().count == packet)
    ++runs.back().count;
  else
    runs.push_back({packet, 1});
}

std::optional<int64_t> MarkerIndex::Nth(const std::vector<Run>& runs, int64_t from, int64_t to, int64_t nth) {
  auto run = std::upper_bound(runs.begin(), runs.end(), from,
                              [](int64_t p, const Run& r) { return p < int64_t{r.first} + r.count; });
  for (; run != runs.end() && run->first < to; ++run) {
    const int64_t begin = std::max<int64_t>(run->first, from);
    const int64_t count = std::min<int64_t>(int64_t{run->first} + run->count, to) - begin;
    if (nth <= count) return begin + nth - 1;
    nth -= count;
  }
  return std::nullopt;
}

// Reads packet heads from where the index stands until `enough`. A record is looked at as the
// cutter reads it: from the start of the file in steps of 188 bytes, and a final partial record
// counts when its head is there.
template <typename Enough>
bool MarkerIndex::ReadOn(Enough enough, const std::stop_token& stop) {
  {
    std::lock_guard lock(mutex_);
    if (enough()) return true;
    if (complete_) return false;
  }
  if (!Unchanged()) return false;
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
      const uint8_t* head = buffer.get() + p;
      if (TimeMarkerPacket(head)) markers_.push_back(static_cast<uint32_t>(scanned_packets_));
      if (head[0] == 0)
        AddTo(zero_runs_, static_cast<uint32_t>(scanned_packets_));
      else if (head[0] != kSyncByte)
        AddTo(bad_runs_, static_cast<uint32_t>(scanned_packets_));
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
