// Recording files read and written as sequences of 188-byte records. The source is read once,
// front to back, and the target written in order, both through a fixed buffer: memory stays
// bounded whatever the file size, and a record costs no system call of its own.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "engine/ts_packet.h"
#include "platform/os/os.h"

namespace trimora {

// File 1: a recording opened for reading only. Reading at or past the end is no error: a record
// lying wholly past the end reads as 188 zero bytes, a final partial record as its bytes followed
// by zeros. I/O failures throw std::system_error.
class SourceFile {
 public:
  SourceFile();
  ~SourceFile();
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;

  // Opening while a file is open fails: there is one source slot. Only an ordinary file opens;
  // a directory, FIFO or device fails without blocking.
  void Open(const std::string& path);
  void Close() noexcept;  // closing a file that is not open does nothing
  bool IsOpen() const { return file_.IsOpen(); }

  int64_t Size() const;  // the file's length in bytes, as it is now

  void ReadHead(uint8_t* out) {  // the first 3 bytes of the next record; moves on a whole record
    const uint8_t* p = NextRecord();
    std::copy(p, p + kHeadSize, out);
  }
  // The next record where it lies, valid until the next read or close: a scan that looks at
  // a few bytes of each record need not copy them.
  const uint8_t* ReadRecordInPlace() { return NextRecord(); }
  void Rewind();  // the next read delivers record 1 again

  // Whether the last record read lay wholly or partly past the end of the data; every read
  // after such a record does too.
  bool PastEnd() const { return past_end_; }

  // Records that only pass through, in bulk and without a copy: up to `max` (>= 1) records in place,
  // valid until the next read. When none is buffered, one record: the first of a refill, or one
  // past the end. Returns how many `first` points to; the last ones can be given back unread.
  std::size_t ReadRecordsInPlace(const uint8_t*& first, std::size_t max);
  void UnreadRecords(std::size_t n) { pos_ -= n * kPacketSize; }

  // Where `size` bytes delivered by a read lie in the file, when they are the file's own bytes as
  // read (not zeros made up past its end): the offset, else nothing. Valid until the next read.
  std::optional<int64_t> OffsetOf(const uint8_t* data, std::size_t size) const {
    const auto at = reinterpret_cast<std::uintptr_t>(data), begin = reinterpret_cast<std::uintptr_t>(buffer_.get());
    if (at < begin || at - begin > len_ || size > len_ - (at - begin)) return std::nullopt;
    return buffer_offset_ + static_cast<int64_t>(at - begin);
  }
  const os::File& file() const { return file_; }
  // Counts the files opened, so that an offset can be told apart from one in an earlier file.
  uint64_t Opened() const { return opened_; }

 private:
  const uint8_t* NextRecord() {
    if (pos_ + kPacketSize <= len_) {
      const uint8_t* p = buffer_.get() + pos_;
      pos_ += kPacketSize;
      return p;
    }
    return NextRecordSlow();
  }
  const uint8_t* NextRecordSlow();
  void Fill();

  os::File file_;
  std::unique_ptr<uint8_t[]> buffer_;
  std::size_t pos_ = 0, len_ = 0;
  int64_t buffer_offset_ = 0, next_offset_ = 0;  // where the buffer's first byte, and the next read, lie in the file
  uint64_t opened_ = 0;
  bool at_end_ = false;
  bool past_end_ = false;
  uint8_t tail_[kPacketSize] = {};
};

// The calls that create, write and close a target, each throwing std::system_error on failure.
// Tests stand in for them as another program or a file system would: a file created at the same
// path just before us, a write that fails once, a close that reports a write the file system had
// deferred.
struct TargetCalls {
  std::function<os::File(const std::string& path)> create;
  std::function<void(os::File& file, const void* data, std::size_t size)> write;  // all of it
  // All of it, from `source` at `offset`, inside the system; false when the system cannot.
  std::function<bool(os::File& file, const os::File& source, int64_t offset, std::size_t size)> copy;
  std::function<void(os::File& file)> close;
};
// Creates a new file for writing only; fails when anything is already at the path, even a
// dangling link, so that no file of someone else's is ever truncated or written through.
os::File CreateNewFile(const std::string& path);
void WriteFile(os::File& file, const void* data, std::size_t size);
bool CopyFile(os::File& file, const os::File& source, int64_t offset, std::size_t size);
void CloseFile(os::File& file);

// File 2: the cut's target, opened for writing only and created new. A writer thread of this file
// puts the records into it while the caller reads and examines the next ones, so that reading the
// source and writing the target overlap. Records that are the source's own bytes, as its last read
// delivered them, are copied from the source file inside the system (as cp copies), so that they
// never pass through this program a second time; others go through a small ring of buffers. The
// file receives exactly the bytes given, in order; a write that fails stops all later writes and
// is reported by the next WriteRecords, Flush or Finish. Close flushes as far as it can and never
// throws.
class TargetFile {
 public:
  // `source`, when given, is the file whose records may be copied inside the system.
  explicit TargetFile(const SourceFile* source = nullptr);
  ~TargetFile();
  TargetFile(const TargetFile&) = delete;
  TargetFile& operator=(const TargetFile&) = delete;

  // Fails when something is already at the path: the caller deletes an old target first.
  void Open(const std::string& path);
  void Close() noexcept;
  bool IsOpen() const { return file_.IsOpen(); }

  void WriteRecords(const uint8_t* first, std::size_t n);
  // Returns once everything given so far is in the file; throws the first write failure.
  void Flush();
  // Flushes and closes; throws the first write failure or a failed close, which is a write the
  // file system could not complete. The file is closed either way.
  void Finish();

  TargetCalls calls{CreateNewFile, WriteFile, CopyFile, CloseFile};

 private:
  class Writer;
  bool CopyInSystem(const uint8_t* first, std::size_t size);
  void Submit();
  void SubmitRun();
  std::error_code Release() noexcept;  // stops the writer and closes the file; the close's failure

  os::File file_;
  std::unique_ptr<Writer> writer_;
  uint8_t* current_ = nullptr;  // the buffer being filled, owned by the writer's ring
  std::size_t len_ = 0;

  const SourceFile* const source_;
  // The source as the writer copies from it: a descriptor of its own, so that queued copies stay
  // good when the source closes first. Empty until the system has said it can copy, and for good
  // once it has said it cannot.
  std::shared_ptr<const os::File> copy_from_;
  uint64_t copy_from_opened_ = 0;  // the source's Opened() that copy_from_ belongs to
  bool copy_refused_ = false;
  int64_t run_offset_ = 0;  // source bytes to copy, gathered until they fill a writer's turn
  std::size_t run_len_ = 0;
};

}  // namespace trimora
