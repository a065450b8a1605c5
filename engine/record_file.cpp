// Buffered record access with POSIX calls: large sequential reads and writes, retried on EINTR
// and on short transfers.
#include "engine/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace trimora {

namespace {
// A whole number of records, about 128 KiB: the buffer stays in the processor's cache between
// the read and the scan of its records. Much larger buffers measured markedly slower.
constexpr std::size_t kReadCapacity = kPacketSize * 697;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }
}  // namespace

SourceFile::SourceFile() : buffer_(new uint8_t[kReadCapacity]) {}
SourceFile::~SourceFile() { Close(); }

void SourceFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "source already open");
  // O_NONBLOCK: a FIFO put in the recording's place must not stall the program in open().
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowErrno("open source");
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    throw std::system_error(EINVAL, std::generic_category(), "source is not an ordinary file");
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

void SourceFile::Close() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

int64_t SourceFile::Size() const {
  struct stat st {};
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "source not open");
  if (::fstat(fd_, &st) != 0) ThrowErrno("stat source");
  return static_cast<int64_t>(st.st_size);
}

void SourceFile::Rewind() {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "source not open");
  if (::lseek(fd_, 0, SEEK_SET) < 0) ThrowErrno("rewind source");
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

// Refills the buffer from the file until it is full or the file ends, so that records never
// straddle the buffer's edge except at the end of the data.
void SourceFile::Fill() {
  pos_ = len_ = 0;
  while (len_ < kReadCapacity) {
    ssize_t n = ::read(fd_, buffer_.get() + len_, kReadCapacity - len_);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("read source");
    }
    if (n == 0) {
      at_end_ = true;
      break;
    }
    len_ += static_cast<std::size_t>(n);
  }
}

const uint8_t* SourceFile::NextRecordSlow() {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "source not open");
  if (pos_ == len_ && !at_end_) {
    Fill();
    if (pos_ + kPacketSize <= len_) {
      pos_ += kPacketSize;
      return buffer_.get();
    }
  }
  // Past the end of the data: the bytes left (a final partial record, or none) and zeros.
  std::size_t left = len_ - pos_;
  std::memcpy(tail_, buffer_.get() + pos_, left);
  std::memset(tail_ + left, 0, kPacketSize - left);
  pos_ = len_;
  past_end_ = true;
  return tail_;
}

std::size_t SourceFile::ReadRecordsInPlace(const uint8_t*& first, std::size_t max) {
  std::size_t buffered = (len_ - pos_) / kPacketSize;
  if (buffered == 0) {
    first = NextRecord();
    return 1;
  }
  std::size_t n = std::min(buffered, max);
  first = buffer_.get() + pos_;
  pos_ += n * kPacketSize;
  return n;
}

TargetFile::TargetFile() : buffer_(new uint8_t[kCapacity]) {}
TargetFile::~TargetFile() { Close(); }

void TargetFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "target already open");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowErrno("open target");
  fd_ = fd;
  len_ = 0;
}

void TargetFile::Flush() {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "target not open");
  std::size_t done = 0;
  while (done < len_) {
    ssize_t n = ::write(fd_, buffer_.get() + done, len_ - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Keep what could not be written at the front, so that a later flush does not repeat
      // the bytes already in the file.
      std::memmove(buffer_.get(), buffer_.get() + done, len_ - done);
      len_ -= done;
      ThrowErrno("write target");
    }
    done += static_cast<std::size_t>(n);
  }
  len_ = 0;
}

void TargetFile::WriteRecords(const uint8_t* first, std::size_t n) {
  const std::size_t size = n * kPacketSize;
  if (size < kDirectWrite) {
    for (std::size_t k = 0; k < n; ++k) WriteRecord(first + k * kPacketSize);
    return;
  }
  Flush();  // what came before goes first
  WriteOut(first, size);
}

void TargetFile::WriteOut(const uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(fd_, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("write target");
    }
    done += static_cast<std::size_t>(n);
  }
}

void TargetFile::Close() noexcept {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (const std::system_error&) {
    // Whatever could be written stays; the failure was reported where the write was asked for.
  }
  ::close(fd_);
  fd_ = -1;
  len_ = 0;
}

}  // namespace trimora
