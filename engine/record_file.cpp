// Buffered record access: large sequential reads and writes through the system's file door.
#include "engine/record_file.h"

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
// While the target's writer takes records from the read buffers, each write call costs the file
// system its own work on the target's inode: reads of about 1 MiB there, to write in large parts.
constexpr std::size_t kPinnedReadCapacity = kPacketSize * 5577;

[[noreturn]] void ThrowNotOpen(const char* what) { throw std::system_error(EBADF, std::generic_category(), what); }
}  // namespace

os::File CreateNewFile(const std::string& path) { return os::File::CreateNew(path); }

void WriteFile(os::File& file, const void* data, std::size_t size) { file.Write(data, size); }

void CloseFile(os::File& file) { file.Close(); }

SourceFile::SourceFile() {
  buffers_[0].reset(new uint8_t[kPinnedReadCapacity]);
  buffer_ = buffers_[0].get();
}

SourceFile::~SourceFile() {
  Close();
  for (auto& pins : pins_)  // a writer may still be putting records from here into its file
    for (int n; (n = pins.load()) != 0;) pins.wait(n);
}

void SourceFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "source already open");
  file_ = os::File::OpenForReading(path);
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

void SourceFile::Close() noexcept {
  try {
    file_.Close();
  } catch (const std::system_error&) {
    // Nothing was written: a source closes without losing anything.
  }
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

int64_t SourceFile::Size() const {
  if (!IsOpen()) ThrowNotOpen("source not open");
  return file_.Size();
}

void SourceFile::Rewind() {
  if (!IsOpen()) ThrowNotOpen("source not open");
  file_.Rewind();
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

void SourceFile::SkipTo(int64_t byte) {
  if (!IsOpen()) ThrowNotOpen("source not open");
  // The buffer is dropped, not refilled: one the target's writer still holds is left to it, as
  // Fill leaves it.
  file_.SeekTo(byte);
  pos_ = len_ = 0;
  at_end_ = past_end_ = false;
}

// Refills the buffer from the file until it is full or the file ends, so that records never
// straddle the buffer's edge except at the end of the data.
void SourceFile::Fill() {
  pos_ = len_ = 0;
  std::size_t capacity = kReadCapacity;
  if (pins_[current_].load() != 0) {
    current_ = (current_ + 1) % kBuffers;
    for (int n; (n = pins_[current_].load()) != 0;) pins_[current_].wait(n);
    if (!buffers_[current_]) buffers_[current_].reset(new uint8_t[kPinnedReadCapacity]);
    buffer_ = buffers_[current_].get();
    capacity = kPinnedReadCapacity;
  }
  len_ = file_.Read(buffer_, capacity);
  at_end_ = len_ < capacity;
}

const uint8_t* SourceFile::NextRecordSlow() {
  if (!IsOpen()) ThrowNotOpen("source not open");
  if (pos_ == len_ && !at_end_) {
    Fill();
    if (pos_ + kPacketSize <= len_) {
      pos_ += kPacketSize;
      return buffer_;
    }
  }
  // Past the end of the data: the bytes left (a final partial record, or none) and zeros.
  std::size_t left = len_ - pos_;
  std::memcpy(tail_, buffer_ + pos_, left);
  std::memset(tail_ + left, 0, kPacketSize - left);
  pos_ = len_;
  past_end_ = true;
  return tail_;
}

std::atomic<int>* SourceFile::Pin(const uint8_t* data, std::size_t size) {
  const auto at = reinterpret_cast<std::uintptr_t>(data), begin = reinterpret_cast<std::uintptr_t>(buffer_);
  if (at < begin || at - begin > len_ || size > len_ - (at - begin)) return nullptr;
  pins_[current_].fetch_add(1);
  return &pins_[current_];
}

std::size_t SourceFile::ReadRecordsInPlace(const uint8_t*& first, std::size_t max) {
  std::size_t buffered = (len_ - pos_) / kPacketSize;
  if (buffered == 0) {
    first = NextRecord();
    return 1;
  }
  std::size_t n = std::min(buffered, max);
  first = buffer_ + pos_;
  pos_ += n * kPacketSize;
  return n;
}

// The ring of buffers and the thread that empties them into the file, oldest first.
class TargetFile::Writer {
 public:
  Writer(os::File& file, std::function<void(os::File&, const void*, std::size_t)> write, bool whole_records)
      : file_(file), write_(std::move(write)), whole_records_(whole_records) {
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
      full_.push_back({buffer, len, nullptr});
    }
    changed_.notify_all();
  }

  // Bytes that stay where they are until written; `pin` is counted down then.
  void QueuePinned(const uint8_t* data, std::size_t len, std::atomic<int>* pin) {
    {
      std::lock_guard lock(mutex_);
      full_.push_back({data, len, pin});
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

  std::error_code Error() {
    std::lock_guard lock(mutex_);
    return error_;
  }

 private:
  struct Pending {
    const uint8_t* data;
    std::size_t len;
    std::atomic<int>* pin;  // the source buffer's count, or none for a buffer of the ring
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
      if (full_.empty()) return;  // stopping, with nothing left to write
      Pending next = full_.front();
      full_.pop_front();
      busy_ = true;
      const bool failed = static_cast<bool>(error_);
      lock.unlock();
      // After a failure nothing more is written: the file keeps an unbroken prefix.
      const std::error_code error = failed ? std::error_code() : WriteAll(next.data, next.len);
      if (next.pin) {
        next.pin->fetch_sub(1);
        next.pin->notify_all();
      }
      lock.lock();
      if (error) error_ = error;
      if (!next.pin) free_.push_back(const_cast<uint8_t*>(next.data));
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::error_code WriteAll(const uint8_t* data, std::size_t size) {
    try {
      write_(file_, data, size);
      return {};
    } catch (const std::system_error& e) {
      if (whole_records_) KeepWholeRecords();
      return e.code();
    }
  }

  // A write that failed part way (a disk that filled) may have left part of a record: what
  // stays of the target is whole packets, when asked. No later write follows a failed one.
  void KeepWholeRecords() noexcept {
    try {
      const int64_t size = file_.Size();
      const int64_t whole = size / static_cast<int64_t>(kPacketSize) * static_cast<int64_t>(kPacketSize);
      if (whole != size) file_.TruncateTo(whole);
    } catch (const std::exception&) {
    }
  }

  os::File& file_;
  const std::function<void(os::File&, const void*, std::size_t)> write_;
  const bool whole_records_;
  std::unique_ptr<uint8_t[]> buffers_[4];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t*> free_;
  std::deque<Pending> full_;
  bool busy_ = false;
  bool stopping_ = false;
  std::error_code error_;
  std::thread thread_;
};

TargetFile::TargetFile(SourceFile* source) : source_(source) {}
TargetFile::~TargetFile() { Close(); }

void TargetFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "target already open");
  file_ = calls.create(path);
  try {
    writer_ = std::make_unique<Writer>(file_, calls.write, whole_records_on_failure);
  } catch (...) {
    try {
      calls.close(file_);
    } catch (const std::system_error&) {
      // Nothing was written yet; the failure to report is the one above.
    }
    file_ = os::File();
    throw;
  }
  current_ = writer_->TakeFree();
  len_ = 0;
}

void TargetFile::WriteRecords(const uint8_t* first, std::size_t n) {
  if (!IsOpen()) ThrowNotOpen("target not open");
  if (std::error_code error = writer_->Error()) throw std::system_error(error, "write target");
  std::size_t size = n * kPacketSize;
  if (size == 0) return;
  // Reading the records to examine them is unavoidable; copying them once more on their way out
  // is not.
  if (std::atomic<int>* pin = source_ ? source_->Pin(first, size) : nullptr) {
    try {
      if (len_ > 0) Submit();  // bytes given earlier go first
      writer_->QueuePinned(first, size, pin);
    } catch (...) {
      pin->fetch_sub(1);
      pin->notify_all();
      throw;
    }
    return;
  }
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
  if (!IsOpen()) ThrowNotOpen("target not open");
  if (len_ > 0) Submit();
  writer_->Drain();
  if (std::error_code error = writer_->Error()) throw std::system_error(error, "write target");
}

void TargetFile::Finish() {
  if (!IsOpen()) ThrowNotOpen("target not open");
  try {
    Flush();
  } catch (...) {
    Release();
    throw;
  }
  if (std::error_code error = Release()) throw std::system_error(error, "close target");
}

void TargetFile::Close() noexcept {
  if (!IsOpen()) return;
  try {
    Flush();
  } catch (const std::system_error&) {
    // Whatever could be written stays; the failure was reported where the write was asked for.
  }
  Release();
}

std::error_code TargetFile::Release() noexcept {
  if (current_) writer_->GiveBack(current_);
  current_ = nullptr;
  writer_.reset();
  std::error_code error;
  try {
    calls.close(file_);
  } catch (const std::system_error& e) {
    error = e.code();
  }
  file_ = os::File();  // closed, whatever the close reported
  len_ = 0;
  return error;
}

}  // namespace trimora
