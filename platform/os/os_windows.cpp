// The door to the system on Windows: UTF-8 inside, UTF-16 at every call (the "W" entry points),
// so that names in any script work whatever the system's code page. Other systems build
// os_posix.cpp instead.
#ifdef _WIN32

#include "platform/os/windows_api.h"
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "platform/os/os.h"

namespace trimora::os {

namespace {

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (n <= 0) ThrowLastError("not UTF-8");
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(wide.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), n, nullptr, nullptr);
  return utf8;
}

bool StartsWith(const std::wstring& text, std::wstring_view prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

// A path as the file calls take it. From MAX_PATH characters on it is made full and given the
// \\?\ prefix, which lifts the length limit on every Windows; the program's manifest
// (longPathAware) lifts it only where the system has long paths turned on. The prefix also turns
// off the system's own clean-up of the path ("/" for "\", "." and ".."), which is why the path is
// made full first. A path already in the \\?\ or \\.\ form is the caller's to spell.
// The path made full as the system makes it: from the current folder and drive, "/" as "\\",
// "." and ".." resolved; a \\?\ or \\.\ path comes back as given. Nothing when the system fails.
std::optional<std::wstring> FullWide(const std::wstring& wide) {
  const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (n == 0 || n >= needed) return std::nullopt;
  full.resize(n);
  return full;
}

std::wstring SystemPath(const std::string& utf8) {
  std::wstring wide = Wide(utf8);
  if (wide.size() < MAX_PATH || StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\\\.\\")) return wide;
  std::optional<std::wstring> full = FullWide(wide);
  if (!full) return wide;
  if (StartsWith(*full, L"\\\\?\\") || StartsWith(*full, L"\\\\.\\")) return *full;
  if (StartsWith(*full, L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);  // \\server\share\...
  return L"\\\\?\\" + *full;
}

// Opens a file or folder only to ask about it: no access, every sharing mode, so that it
// disturbs no one who has it open.
HANDLE OpenToAsk(const std::wstring& path) {
  return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE h = OpenToAsk(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  ::CloseHandle(h);
  return ok;
}

// A handle that is not a file on a disk (a console, a printer port, a pipe) is refused.
void RequireDiskFile(HANDLE h) {
  if (::GetFileType(h) != FILE_TYPE_DISK) throw std::system_error(EINVAL, std::generic_category(), "not a file");
}

constexpr wchar_t kReplacement = 0xFFFD;
constexpr UINT kCodePage932 = 932;

// Single bytes that Shift-JIS leaves unassigned; Windows maps them into private use, which no
// recorder means.
bool UnassignedSingleByte(unsigned char b) { return b == 0x80 || b == 0xA0 || b >= 0xFD; }

UINT original_output_code_page = 0;

}  // namespace

File::~File() {
  if (IsOpen()) ::CloseHandle(Handle(handle_));
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (IsOpen()) ::CloseHandle(Handle(handle_));
    handle_ = other.handle_;
    other.handle_ = kNone;
  }
  return *this;
}

File File::OpenForReading(const std::string& path) {
  // No FILE_SHARE_DELETE: while the source is open, no one (this program included, through
  // another spelling of its name) can delete it.
  HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError("open for reading");
  File file(reinterpret_cast<std::intptr_t>(h));
  RequireDiskFile(h);
  return file;
}

File File::CreateNew(const std::string& path) {
  HANDLE h = ::CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) ThrowLastError("create");
  File file(reinterpret_cast<std::intptr_t>(h));
  RequireDiskFile(h);
  return file;
}

std::size_t File::Read(void* buffer, std::size_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "read");
  std::size_t done = 0;
  while (done < size) {
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, std::numeric_limits<DWORD>::max()));
    DWORD got = 0;
    if (!::ReadFile(Handle(handle_), static_cast<char*>(buffer) + done, ask, &got, nullptr)) ThrowLastError("read");
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::size_t File::ReadAt(void* buffer, std::size_t size, int64_t offset) const {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "read");
  std::size_t done = 0;
  while (done < size) {
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, std::numeric_limits<DWORD>::max()));
    const auto at = static_cast<uint64_t>(offset) + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!::ReadFile(Handle(handle_), static_cast<char*>(buffer) + done, ask, &got, &where)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      ThrowLastError("read");
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::Write(const void* data, std::size_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "write");
  std::size_t done = 0;
  while (done < size) {
    const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, std::numeric_limits<DWORD>::max()));
    DWORD put = 0;
    if (!::WriteFile(Handle(handle_), static_cast<const char*>(data) + done, ask, &put, nullptr)) ThrowLastError("write");
    if (put == 0) throw std::system_error(EIO, std::generic_category(), "write");
    done += put;
  }
}

int64_t File::Size() const {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "size");
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(Handle(handle_), &size)) ThrowLastError("size");
  return size.QuadPart;
}

bool File::SameFileAs(const File& other) const {
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  if (!IsOpen() || !other.IsOpen() || !::GetFileInformationByHandle(Handle(handle_), &a) ||
      !::GetFileInformationByHandle(Handle(other.handle_), &b))
    return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

void File::TruncateTo(int64_t size) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "truncate");
  LARGE_INTEGER at{};
  at.QuadPart = size;
  if (!::SetFilePointerEx(Handle(handle_), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(Handle(handle_)))
    ThrowLastError("truncate");
}

void File::Rewind() {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "rewind");
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(Handle(handle_), start, nullptr, FILE_BEGIN)) ThrowLastError("rewind");
}

void File::SeekTo(int64_t offset) {
  if (!IsOpen()) throw std::system_error(EBADF, std::generic_category(), "seek");
  LARGE_INTEGER at{};
  at.QuadPart = offset;
  if (!::SetFilePointerEx(Handle(handle_), at, nullptr, FILE_BEGIN)) ThrowLastError("seek");
}

void File::Close() {
  if (!IsOpen()) return;
  HANDLE h = Handle(handle_);
  handle_ = kNone;
  if (!::CloseHandle(h)) ThrowLastError("close");
}

bool OrdinaryFileExists(const std::string& path) {
  // A directory search would take "*" and "?" as wildcards; no file name holds them.
  if (path.find_first_of("*?") != std::string::npos) return false;
  try {
    const std::wstring wide = SystemPath(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    constexpr DWORD kNotOrdinary =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE;
    if (data.dwFileAttributes & kNotOrdinary) return false;
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
    // A link counts when it leads to a file.
    BY_HANDLE_FILE_INFORMATION target{};
    return Identity(wide, target) && !(target.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  } catch (const std::system_error&) {
    return false;  // a path that is not UTF-8 names no file
  }
}

void RemoveFile(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
    ThrowLastError("delete");
  }
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
    throw std::system_error(EINVAL, std::generic_category(), "not a file");
  if (!::DeleteFileW(wide.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) ThrowLastError("delete");
}

void RequireWritable(const std::string& path) {
  const std::wstring wide = SystemPath(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  constexpr DWORD kNoFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kNoFile)) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) throw std::system_error(EACCES, std::generic_category(), "read-only");
  // Asking for write access, with every sharing mode and without truncating, writes nothing; it
  // fails where an access list denies writing.
  HANDLE h = ::CreateFileW(wide.c_str(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_ACCESS_DENIED) ThrowLastError("read-only");
    return;  // anything else is for the deletion to find
  }
  ::CloseHandle(h);
}

bool SameFile(const std::string& a, const std::string& b) {
  try {
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    if (!Identity(SystemPath(a), ia) || !Identity(SystemPath(b), ib)) return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
  } catch (const std::system_error&) {
    return false;
  }
}

PathKind KindOf(const std::string& path) {
  try {
    const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND ? PathKind::kNothing
                                                                                                  : PathKind::kOther;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return PathKind::kOther;
    BY_HANDLE_FILE_INFORMATION info{};
    return Identity(Wide(path), info) ? PathKind::kFile : PathKind::kOther;
  } catch (const std::system_error&) {
    return PathKind::kOther;
  }
}

std::optional<FileStamp> StampOf(const std::string& path) {
  try {
    HANDLE h = OpenToAsk(Wide(path));
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};  // the change time, which SetFileTime cannot put back
    const bool ok = ::GetFileInformationByHandle(h, &info) != 0 &&
                    ::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
    ::CloseHandle(h);
    if (!ok) return std::nullopt;
    return FileStamp{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                     static_cast<int64_t>((uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow),
                     static_cast<int64_t>((uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                          info.ftLastWriteTime.dwLowDateTime),
                     static_cast<int64_t>(basic.ChangeTime.QuadPart)};
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

void ReplaceFile(const std::string& from, const std::string& to) {
  if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError("rename");
}

std::string FullPath(const std::string& path) {
  const std::optional<std::wstring> full = FullWide(Wide(path));
  if (!full) ThrowLastError("full path");
  return Narrow(*full);
}

std::optional<std::string> Environment(const std::string& name) {
  const std::wstring wide = Wide(name);
  for (;;) {
    const DWORD needed = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (needed == 0) return std::nullopt;  // unset (an empty value needs room for its NUL)
    std::wstring value(needed, L'\0');
    const DWORD got = ::GetEnvironmentVariableW(wide.c_str(), value.data(), needed);
    if (got < needed) {
      value.resize(got);
      return Narrow(value);
    }
    // The variable grew in between: ask again.
  }
}

std::optional<std::string> DecodeCodePage932(std::string_view bytes) {
  if (!::IsValidCodePage(kCodePage932)) return std::nullopt;
  // One character at a time, so that a byte that starts none costs only itself.
  std::wstring wide;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = ::IsDBCSLeadByteEx(kCodePage932, lead) ? 2 : 1;
    wchar_t decoded[2];
    int n = 0;
    if (i + length <= bytes.size() && !(length == 1 && UnassignedSingleByte(lead)))
      n = ::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, bytes.data() + i, static_cast<int>(length),
                                decoded, 2);
    if (n > 0) {
      wide.append(decoded, static_cast<std::size_t>(n));
      i += length;
    } else {
      wide += kReplacement;
      ++i;
    }
  }
  return Narrow(wide);
}

std::optional<std::string> ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::nullopt;
    if (n < path.size()) {
      path.resize(n);
      return Narrow(path);
    }
    path.resize(path.size() * 2);  // cut off: ask again with more room
  }
}

std::vector<std::string> CommandLineArguments(int, char**) {
  // The narrow arguments are in the system's code page and lose what it cannot hold.
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) ThrowLastError("command line");
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

void PrepareConsole() {
  // The same bytes as on any other system: UTF-8 text, "\n" line ends.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  original_output_code_page = ::GetConsoleOutputCP();
  if (original_output_code_page != 0 && original_output_code_page != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
    std::atexit([] { ::SetConsoleOutputCP(original_output_code_page); });  // the console is the user's
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(err, &mode)) ::SetConsoleMode(err, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace trimora::os

#endif  // _WIN32
