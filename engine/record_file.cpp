// Buffered record access with POSIX calls: large sequential reads and writes, retried on EINTR
// and on short transfers.
#include "engine/record_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace trimora {

namespace {
// A whole number of records, about 128 KiB: the buffer stays in the processor's cache between
// the read and the scan of its records. Much larger buffers measured markedly slower.
constexpr std::size_t kReadCapacity = kPacketSize * 697;

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

// A write past the file size limit (ulimit -f) is a write failure to report like any other, not
// a reason for the process to die of SIGXFSZ without a word.
void IgnoreFileSizeLimitSignal() {
  static const bool ignored = [] { return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR; }();
  (void)ignored;
}
}  // namespace

int CreateNewFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

ssize_t WriteFile(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int CloseFile(int fd) {
  // Linux closes the descriptor even when close() fails (EINTR included): never close it again.
  return ::close(fd);
}

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

// The ring of buffers and the thread that empties them into the file, oldest first.
class TargetFile::Writer {
 public:
  Writer(int fd, std::function<ssize_t(int, const void*, std::size_t)> write) : fd_(fd), write_(std::move(write)) {
    for (auto& buffer : buffers_) {
      buffer.reset(new uint8_t[kCapacity]);
      free_.push_back(buffer.get());
    }
    thread_ = std::thread([this] { Run(); });
  }

  ~Writer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  static constexpr std::size_t kCapacity = kPacketSize * 5577;  // whole records, about 1 MiB

  // A free buffer to fill, waiting for the thread to empty one when all are queued.
  uint8_t* TakeFree() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !free_.empty(); });
    uint8_t* buffer = free_.back();
    free_.pop_back();
    return buffer;
  }

  void Queue(uint8_t* buffer, std::size_t len) {
    {
      std::lock_guard lock(mutex_);
      full_.push_back({buffer, len});
    }
    changed_.notify_all();
  }

  void GiveBack(uint8_t* buffer) {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(buffer);
    }
    changed_.notify_all();
  }

  // Waits until every queued buffer is written (or dropped after a failure).
  void Drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return full_.empty() && !busy_; });
  }

  int Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  struct Pending {
    uint8_t* data;
    std::size_t len;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
      if (full_.empty()) return;  // stopping, with nothing left to write
      Pending next = full_.front();
      full_.pop_front();
      busy_ = true;
      const bool failed = error_ != 0;
      lock.unlock();
      // After a failure nothing more is written: the file keeps an unbroken prefix.
      const int error = failed ? 0 : WriteAll(next.data, next.len);
      lock.lock();
      if (error != 0) error_ = error;
      free_.push_back(next.data);
      busy_ = false;
      changed_.notify_all();
    }
  }

  int WriteAll(const uint8_t* data, std::size_t size) const {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = write_(fd_, data + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += static_cast<std::size_t>(n);
    }
    return 0;
  }

  const int fd_;
  const std::function<ssize_t(int, const void*, std::size_t)> write_;
  std::unique_ptr<uint8_t[]> buffers_[4];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t*> free_;
  std::deque<Pending> full_;
  bool busy_ = false;
  bool stopping_ = false;
  int error_ = 0;
  std::thread thread_;
};

TargetFile::TargetFile() = default;
TargetFile::~TargetFile() { Close(); }

void TargetFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "target already open");
  IgnoreFileSizeLimitSignal();
  int fd = calls.create(path);
  if (fd < 0) ThrowErrno("create target");
  try {
    writer_ = std::make_unique<Writer>(fd, calls.write);
  } catch (...) {
    calls.close(fd);
    throw;
  }
  fd_ = fd;
  current_ = writer_->TakeFree();
  len_ = 0;
}

void TargetFile::WriteRecords(const uint8_t* first, std::size_t n) {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "target not open");
  if (int error = writer_->Error()) throw std::system_error(error, std::generic_category(), "write target");
  std::size_t size = n * kPacketSize;
  while (size > 0) {
    const std::size_t room = Writer::kCapacity - len_;
    const std::size_t part = std::min(room, size);
    std::memcpy(current_ + len_, first, part);
    len_ += part;
    first += part;
    size -= part;
    if (len_ == Writer::kCapacity) Submit();
  }
}

void TargetFile::Submit() {
  writer_->Queue(current_, len_);
  current_ = writer_->TakeFree();
  len_ = 0;
}

void TargetFile::Flush() {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "target not open");
  if (len_ > 0) Submit();
  writer_->Drain();
  if (int error = writer_->Error()) throw std::system_error(error, std::generic_category(), "write target");
}

void TargetFile::Finish() {
  if (fd_ < 0) throw std::system_error(EBADF, std::generic_category(), "target not open");
  try {
    Flush();
  } catch (...) {
    Release();
    throw;
  }
  if (Release() != 0) ThrowErrno("close target");
}

void TargetFile::Close() noexcept {
  if (fd_ < 0) return;
  try {
    Flush();
  } catch (const std::system_error&) {
    // Whatever could be written stays; the failure was reported where the write was asked for.
  }
  Release();
}

int TargetFile::Release() noexcept {
  if (current_) writer_->GiveBack(current_);
  current_ = nullptr;
  writer_.reset();
  const int result = calls.close(fd_);
  fd_ = -1;
  len_ = 0;
  return result;
}

}  // namespace trimora
