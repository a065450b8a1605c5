#include "preview/byte_window.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

namespace trimora::preview {

ByteWindow::ByteWindow(const std::string& path, int64_t begin, int64_t end, std::function<bool()> stopped)
    : begin_(begin), end_(end), stopped_(std::move(stopped)) {
  try {
    file_ = os::File::OpenForReading(path);
  } catch (const std::system_error&) {
    // not open: IsOpen says so
  }
}

int ByteWindow::Read(void* opaque, uint8_t* buf, int size) {
  auto* w = static_cast<ByteWindow*>(opaque);
  if (w->stopped_()) return AVERROR_EXIT;
  const int64_t left = w->end_ - w->begin_ - w->pos_;
  if (left <= 0) return AVERROR_EOF;
  const auto want = static_cast<std::size_t>(std::min<int64_t>(left, size));
  try {
    const std::size_t n = w->file_.ReadAt(buf, want, w->begin_ + w->pos_);
    if (n == 0) return AVERROR_EOF;
    w->pos_ += static_cast<int64_t>(n);
    return static_cast<int>(n);
  } catch (const std::system_error&) {
    w->failed_ = true;
    return AVERROR(EIO);
  }
}

int64_t ByteWindow::Seek(void* opaque, int64_t offset, int whence) {
  auto* w = static_cast<ByteWindow*>(opaque);
  const int64_t size = w->end_ - w->begin_;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return size;
    case SEEK_SET: break;
    case SEEK_CUR: offset += w->pos_; break;
    case SEEK_END: offset += size; break;
    default: return AVERROR(EINVAL);
  }
  if (offset < 0) return AVERROR(EINVAL);
  w->pos_ = offset;
  return offset;
}

IoPtr ByteWindow::NewIo() {
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (!buffer) return nullptr;
  IoPtr io(avio_alloc_context(buffer, kIoBufferSize, 0, this, &ByteWindow::Read, nullptr, &ByteWindow::Seek));
  if (!io) av_free(buffer);
  return io;
}

FormatPtr ByteWindow::OpenTransportStream(AVIOContext* io, AVIOInterruptCB interrupt) {
  AVFormatContext* format = avformat_alloc_context();
  if (!format) return nullptr;
  format->pb = io;
  format->flags |= AVFMT_FLAG_CUSTOM_IO;
  format->interrupt_callback = interrupt;
  // On failure the demuxer frees the context itself.
  if (avformat_open_input(&format, nullptr, av_find_input_format("mpegts"), nullptr) < 0) return nullptr;
  return FormatPtr(format);
}

}  // namespace trimora::preview
