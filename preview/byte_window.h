// The bytes [begin, end) of a file, read with a file handle of their own, as a custom I/O
// context for FFmpeg's demuxer. To the demuxer they are a whole file: it cannot see a byte
// outside the window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/os/os.h"
#include "preview/ffmpeg_owners.h"

namespace trimora::preview {

inline constexpr int kIoBufferSize = 64 << 10;

class ByteWindow {
 public:
  // `stopped` is asked before each read: a stop ends the demuxer's reading.
  ByteWindow(const std::string& path, int64_t begin, int64_t end, std::function<bool()> stopped);

  bool IsOpen() const { return file_.IsOpen(); }
  bool Failed() const { return failed_; }
  const os::File& File() const { return file_; }

  static int Read(void* opaque, uint8_t* buf, int size);
  static int64_t Seek(void* opaque, int64_t offset, int whence);

  // An I/O context that reads this window, or nothing when FFmpeg has no memory for one.
  IoPtr NewIo();
  // The window opened by FFmpeg's transport-stream demuxer, read through `io` (of NewIo) and
  // asking `interrupt` whether to stop; nothing when it does not open.
  static FormatPtr OpenTransportStream(AVIOContext* io, AVIOInterruptCB interrupt);

 private:
  os::File file_;
  int64_t begin_, end_, pos_ = 0;
  std::function<bool()> stopped_;
  bool failed_ = false;
};

}  // namespace trimora::preview
