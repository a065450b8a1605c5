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

[[noreturn]] void ThrowNotOpen(const char* what) { throw std::system_error(EBADF, std::generic_category(), what); }
}  // namespace

os::File CreateNewFile(const std::string& path) { return os::File::CreateNew(path); }

void WriteFile(os::File& file, const void* data, std::size_t size) { file.Write(data, size); }

bool CopyFile(os::File& file, const os::File& source, int64_t offset, std::size_t size) {
  return file.CopyFrom(source, offset, size);
}

void CloseFile(os::File& file) { file.Close(); }

SourceFile::SourceFile() : buffer_(new uint8_t[kReadCapacity]) {}
SourceFile::~SourceFile() { Close(); }

void SourceFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "source already open");
  file_ = os::File::OpenForReading(path);
  ++opened_;
  pos_ = len_ = 0;
  buffer_offset_ = next_offset_ = 0;
  at_end_ = past_end_ = false;
}

void SourceFile::Close() noexcept {
  try {
    file_.Close();
  } catch (const std::system_error&) {
    // Nothing was written: a source closes without losing anything.
  }
  pos_ = len_ = 0;
  buffer_offset_ = next_offset_ = 0;
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
  buffer_offset_ = next_offset_ = 0;
  at_end_ = past_end_ = false;
}

// Refills the buffer from the file until it is full or the file ends, so that records never
// straddle the buffer's edge except at the end of the data.
void SourceFile::Fill() {
  pos_ = len_ = 0;
  buffer_offset_ = next_offset_;
  len_ = file_.Read(buffer_.get(), kReadCapacity);
  next_offset_ += static_cast<int64_t>(len_);
  at_end_ = len_ < kReadCapacity;
}

const uint8_t* SourceFile::NextRecordSlow() {
  if (!IsOpen()) ThrowNotOpen("source not open");
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

// The ring of buffers, the source runs to copy, and the thread that puts them into the file,
// oldest first.
class TargetFile::Writer {
 public:
  Writer(os::File& file, const TargetCalls& calls) : file_(file), write_(calls.write), copy_(calls.copy) {
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
  static constexpr std::size_t kDepth = 4;                        // turns queued at most

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
      full_.push_back({buffer, len, 0, nullptr});
    }
    changed_.notify_all();
  }

  // A run of the source to copy, waiting while the thread is as far behind as the ring allows.
  void QueueCopy(std::shared_ptr<const os::File> source, int64_t offset, std::size_t len) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return full_.size() < kDepth; });
      full_.push_back({nullptr, len, offset, std::move(source)});
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

  // Waits until everything queued is written (or dropped after a failure).
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
    uint8_t* data;  // a buffer of the ring, or none for a run of the source
    std::size_t len;
    int64_t offset;
    std::shared_ptr<const os::File> source;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || !full_.empty(); });
      if (full_.empty()) return;  // stopping, with nothing left to write
      Pending next = std::move(full_.front());
      full_.pop_front();
      busy_ = true;
      const bool failed = static_cast<bool>(error_);
      lock.unlock();
      // After a failure nothing more is written: the file keeps an unbroken prefix.
      const std::error_code error = failed ? std::error_code() : Put(next);
      next.source.reset();
      lock.lock();
      if (error) error_ = error;
      if (next.data) free_.push_back(next.data);
      busy_ = false;
      changed_.notify_all();
    }
  }

  std::error_code Put(const Pending& next) {
    try {
      if (next.data) {
        write_(file_, next.data, next.len);
      } else if (!copy_(file_, *next.source, next.offset, next.len)) {
        // The system copied the first run and refuses a later one: the bytes are no longer at
        // hand, so the cut cannot be finished as given.
        return std::make_error_code(std::errc::operation_not_supported);
      }
      return {};
    } catch (const std::system_error& e) {
      return e.code();
    }
  }

  os::File& file_;
  const std::function<void(os::File&, const void*, std::size_t)> write_;
  const std::function<bool(os::File&, const os::File&, int64_t, std::size_t)> copy_;
  std::unique_ptr<uint8_t[]> buffers_[kDepth];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint8_t*> free_;
  std::deque<Pending> full_;
  bool busy_ = false;
  bool stopping_ = false;
  std::error_code error_;
  std::thread thread_;
};

TargetFile::TargetFile(const SourceFile* source) : source_(source) {}
TargetFile::~TargetFile() { Close(); }

void TargetFile::Open(const std::string& path) {
  if (IsOpen()) throw std::system_error(EBUSY, std::generic_category(), "target already open");
  file_ = calls.create(path);
  try {
    writer_ = std::make_unique<Writer>(file_, calls);
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
  if (size == 0 || CopyInSystem(first, size)) return;
  SubmitRun();  // the source's bytes given earlier go first
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

// Reading the records to examine them is unavoidable; copying them through the ring and writing
// them again is not. The kernel copies the source's pages into the target's as cp does, and the
// program's own read buffer stays in the processor's cache.
bool TargetFile::CopyInSystem(const uint8_t* first, std::size_t size) {
  if (!source_) return false;
  const std::optional<int64_t> offset = source_->OffsetOf(first, size);
  if (!offset) return false;
  if (copy_from_opened_ != source_->Opened()) {  // a source this target has not copied from yet
    SubmitRun();
    copy_from_.reset();
    copy_from_opened_ = source_->Opened();
    copy_refused_ = !calls.copy(file_, source_->file(), 0, 0);
    if (!copy_refused_) copy_from_ = std::make_shared<const os::File>(source_->file().Duplicate());
  }
  if (copy_refused_) return false;
  if (len_ > 0) Submit();  // bytes given earlier go first
  if (run_len_ > 0 && run_offset_ + static_cast<int64_t>(run_len_) != *offset) SubmitRun();
  if (run_len_ == 0) run_offset_ = *offset;
  run_len_ += size;
  if (run_len_ >= Writer::kCapacity) SubmitRun();
  return true;
}

void TargetFile::Submit() {
  writer_->Queue(current_, len_);
  current_ = writer_->TakeFree();
  len_ = 0;
}

void TargetFile::SubmitRun() {
  if (run_len_ == 0) return;
  writer_->QueueCopy(copy_from_, run_offset_, run_len_);
  run_len_ = 0;
}

void TargetFile::Flush() {
  if (!IsOpen()) ThrowNotOpen("target not open");
  SubmitRun();
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
  run_len_ = 0;
  copy_from_.reset();
  copy_from_opened_ = 0;
  return error;
}

}  // namespace trimora
