// The door to the system on Linux and other POSIX systems. Reads and writes are retried on EINTR
// and on short transfers. Windows builds os_windows.cpp instead.
#ifndef _WIN32

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "platform/os/os.h"

namespace trimora::os {

namespace {

[[noreturn]] void ThrowErrno(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// Reads until `size` bytes are in or the file ends, through `read_some(into, want, done)`, which
// reads as read(2) does; an interrupted read is tried again.
template <typename ReadSome>
std::size_t ReadFully(void* buffer, std::size_t size, ReadSome read_some) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = read_some(static_cast<char*>(buffer) + done, size - done, done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("read");
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

File::~File() {
  if (IsOpen()) ::close(Descriptor(handle_));
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) ::close(Descriptor(handle_));
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

File File::OpenForReading(const std::string& path) {
  // O_NONBLOCK: a FIFO put in the recording's place must not stall the program in open().
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowErrno("open for reading");
  File file(fd);
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    throw std::system_error(EINVAL, std::generic_category(), "not an ordinary file");
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return file;
}

File File::CreateNew(const std::string& path) {
  // A write past the file size limit (ulimit -f) is a write failure to report like any other, not
  // a reason for the process to die of SIGXFSZ without a word. Set on every creation, not once:
  // a child forked after the first cut (or a library) may have put the default back meanwhile.
  ::signal(SIGXFSZ, SIG_IGN);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) ThrowErrno("create");
  return File(fd);
}

std::size_t File::Read(void* buffer, std::size_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "read");
  return ReadFully(buffer, size, [fd = Descriptor(handle_)](char* into, std::size_t want, std::size_t) {
    return ::read(fd, into, want);
  });
}

std::size_t File::ReadAt(void* buffer, std::size_t size, int64_t offset) const {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "read");
  return ReadFully(buffer, size, [fd = Descriptor(handle_), offset](char* into, std::size_t want, std::size_t done) {
    return ::pread(fd, into, want, static_cast<off_t>(offset) + static_cast<off_t>(done));
  });
}

void File::Write(const void* data, std::size_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "write");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(Descriptor(handle_), static_cast<const char*>(data) + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno("write");
    }
    done += static_cast<std::size_t>(n);
  }
}

int64_t File::Size() const {
  struct stat info {};
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "size");
  if (::fstat(Descriptor(handle_), &info) != 0) ThrowErrno("size");
  return static_cast<int64_t>(info.st_size);
}

bool File::SameFileAs(const File& other) const {
  struct stat a {}, b {};
  if (!IsOpen() || !other.IsOpen() || ::fstat(Descriptor(handle_), &a) != 0 || ::fstat(Descriptor(other.handle_), &b) != 0)
    return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void File::TruncateTo(int64_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "truncate");
  if (::ftruncate(Descriptor(handle_), static_cast<off_t>(size)) != 0) ThrowErrno("truncate");
  if (::lseek(Descriptor(handle_), static_cast<off_t>(size), SEEK_SET) < 0) ThrowErrno("truncate");
}

void File::Rewind() {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "rewind");
  if (::lseek(Descriptor(handle_), 0, SEEK_SET) < 0) ThrowErrno("rewind");
}

void File::SeekTo(int64_t offset) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "seek");
  if (::lseek(Descriptor(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) ThrowErrno("seek");
}

void File::Close() {
  if (!IsOpen()) return;
  const int fd = Descriptor(handle_);
  handle_ = kNone;
  // After EINTR the descriptor is gone all the same on Linux; only a real failure is reported.
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno("close");
}

// stat() never opens the path, so a FIFO cannot block us here.
bool OrdinaryFileExists(const std::string& path) {
  const std::string name = Utf8FromPath(PathFromUtf8(path).filename());
  if (name.empty() || name.front() == '.') return false;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void RemoveFile(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode))
    throw std::system_error(EINVAL, std::generic_category(), "not a file");
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowErrno("delete");
}

void RequireWritable(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) throw std::system_error(EACCES, std::generic_category(), "read-only");
  // The effective ids, as open() would use them.
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) ThrowErrno("read-only");
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

PathKind KindOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT ? PathKind::kNothing : PathKind::kOther;
  return S_ISREG(info.st_mode) ? PathKind::kFile : PathKind::kOther;
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  auto nanoseconds = [](const timespec& t) { return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
  return FileStamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                   static_cast<int64_t>(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim)};
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowErrno("rename");
}

std::string FullPath(const std::string& path) { return Utf8FromPath(std::filesystem::absolute(PathFromUtf8(path))); }

std::optional<std::string> Environment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (!value) return std::nullopt;
  return std::string(value);
}

std::optional<std::string> DecodeCodePage932(std::string_view bytes) {
  iconv_t cd = ::iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

  std::string input(bytes);
  char* in = input.data();
  std::size_t in_left = input.size();
  std::string out;
  char chunk[1024];
  while (in_left > 0) {
    char* dst = chunk;
    std::size_t dst_left = sizeof chunk;
    const std::size_t rc = ::iconv(cd, &in, &in_left, &dst, &dst_left);
    const int error = errno;
    out.append(chunk, sizeof chunk - dst_left);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (error == EILSEQ || error == EINVAL) {
      // A byte that starts no CP932 character, or a lead byte cut off at the end.
      out += kReplacement;
      ++in;
      --in_left;
      ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (error != E2BIG) {
      break;
    }
  }
  ::iconv_close(cd);
  return out;
}

std::optional<std::string> ProgramPath() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || program.empty()) return std::nullopt;
  return program.string();
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

void PrepareConsole() {}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace trimora::os

#endif  // !_WIN32
