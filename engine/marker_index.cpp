// The marker index, read on in steps of about a megabyte: each step holds the lock only for its
// own read, so that a second asker waits at most one step.
#include "engine/marker_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "engine/ts_packet.h"

namespace trimora {

namespace {

constexpr std::size_t kStepPackets = 5578;  // about 1 MiB of whole packets

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsRegular() const {
    struct stat info {};
    return fd_ >= 0 && ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
  }
  // Reads up to `size` bytes at `offset`; fewer only at the end of the file. -1 on failure.
  ssize_t ReadAt(uint8_t* out, std::size_t size, int64_t offset) const {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
  }

 private:
  int fd_;
};

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
  ReadOnlyFile file(path_);
  if (!file.IsRegular()) return false;
  auto buffer = std::make_unique<uint8_t[]>(kStepPackets * kPacketSize);
  for (;;) {
    if (stop.stop_requested()) return false;
    std::lock_guard lock(mutex_);
    if (enough()) return true;
    if (complete_) return false;
    const ssize_t got = file.ReadAt(buffer.get(), kStepPackets * kPacketSize,
                                    scanned_packets_ * static_cast<int64_t>(kPacketSize));
    if (got < 0) return false;
    const auto bytes = static_cast<std::size_t>(got);
    std::size_t p = 0;
    for (; p + kHeadSize <= bytes; p += kPacketSize) {
      if (TimeMarkerPacket(buffer.get() + p)) markers_.push_back(static_cast<uint32_t>(scanned_packets_));
      ++scanned_packets_;
    }
    if (bytes < kStepPackets * kPacketSize) complete_ = true;
  }
}

int64_t MarkerIndex::FileSize() const {
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
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
