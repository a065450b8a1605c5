// Recording files read and written as sequences of 188-byte records. The source is read once,
// front to back, and the target written in order, both through a fixed buffer: memory stays
// bounded whatever the file size, and a record costs no system call of its own.
#pragma once

#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "core/ts_packet.h"
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
  // Whether `other` is the very file open here, whatever name it was opened by.
  bool IsFile(const os::File& other) const { return file_.SameFileAs(other); }

  void ReadHead(uint8_t* out) {  // the first 3 bytes of the next record; moves on a whole record
    const uint8_t* p = NextRecord();
    std::copy(p, p + kHeadSize, out);
  }
  // The next record where it lies, valid until the next read or close: a scan that looks at
  // a few bytes of each record need not copy them.
  const uint8_t* ReadRecordInPlace() { return NextRecord(); }
  void Rewind();  // the next read delivers record 1 again
  // The next read delivers the record that begins at `byte`, as if everything before it had been
  // read: a byte past the end reads as past the end.
  void SkipTo(int64_t byte);

  // Whether the last record read lay wholly or partly past the end of the data; every read
  // after such a record does too.
  bool PastEnd() const { return past_end_; }

  // Records that only pass through, in bulk and without a copy: up to `max` (>= 1) records in place,
  // valid until the next read. When none is buffered, one record: the first of a refill, or one
  // past the end. Returns how many `first` points to; the last ones can be given back unread.
  std::size_t ReadRecordsInPlace(const uint8_t*& first, std::size_t max);
  void UnreadRecords(std::size_t n) { pos_ -= n * kPacketSize; }

  // Keeps `size` bytes delivered by the last read where they are, for another thread to use after
  // later reads: the buffer holding them is not refilled until the returned count is brought back
  // to zero (with notify_all). Nothing when they are not the file's bytes in the read buffer
  // (zeros made up past the end).
  std::atomic<int>* Pin(const uint8_t* data, std::size_t size);

 private:
  const uint8_t* NextRecord() {
    if (pos_ + kPacketSize <= len_) {
      const uint8_t* p = buffer_ + pos_;
      pos_ += kPacketSize;
      return p;
    }
    return NextRecordSlow();
  }
  const uint8_t* NextRecordSlow();
  void Fill();

  // Read buffers: one while nothing is pinned, so that it stays in the processor's cache; the
  // next free one while the target's writer still holds it.
  static constexpr std::size_t kBuffers = 8;
  os::File file_;
  std::unique_ptr<uint8_t[]> buffers_[kBuffers];
  std::atomic<int> pins_[kBuffers] = {};
  std::size_t current_ = 0;
  uint8_t* buffer_ = nullptr;
  std::size_t pos_ = 0, len_ = 0;
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
  std::function<void(os::File& file)> close;
};
// Creates a new file for writing only; fails when anything is already at the path, even a
// dangling link, so that no file of someone else's is ever truncated or written through.
os::File CreateNewFile(const std::string& path);
void WriteFile(os::File& file, const void* data, std::size_t size);
void CloseFile(os::File& file);

// File 2: the cut's target, opened for writing only and created new. A writer thread of this file
// puts the records into it while the caller reads and examines the next ones, so that reading the
// source and writing the target overlap. Records that lie in the source's read buffer are written
// from there (the source keeps that buffer until they are in the file); others are copied into a
// small ring of buffers first. The file receives exactly the bytes given, in order; a write that
// fails stops all later writes and is reported by the next WriteRecords, Flush or Finish. Close
// flushes as far as it can and never throws.
class TargetFile {
 public:
  // `source`, when given, is the file whose read buffer records may be written from.
  explicit TargetFile(SourceFile* source = nullptr);
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

  TargetCalls calls{CreateNewFile, WriteFile, CloseFile};
  // Whether a write that fails part way (a disk that filled) is cut back to whole records, set
  // before Open. A single cut keeps whatever reached the file; a job's later ranges follow whole
  // ones, so a job ends in whole packets.
  bool whole_records_on_failure = false;

 private:
  class Writer;
  void Submit();
  std::error_code Release() noexcept;  // stops the writer and closes the file; the close's failure

  os::File file_;
  std::unique_ptr<Writer> writer_;
  uint8_t* current_ = nullptr;  // the buffer being filled, owned by the writer's ring
  std::size_t len_ = 0;
  SourceFile* const source_;
};

}  // namespace trimora
