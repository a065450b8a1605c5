// The program's one door to the operating system: files, their identity and attributes, the
// environment, the console and the stop request, and the recorder's code page. Paths and texts
// are UTF-8 on every system; the Windows side converts them to UTF-16 at each system call, so
// that Japanese names work whatever the system's code page. Failures throw std::system_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trimora::os {

// The separator this system writes between the parts of a path, and every one it reads there:
// Windows takes "/" as well as its own "\".
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kPathSeparators = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathSeparators = "/";
#endif

// An open file, read-only or write-only; closed on destruction. Moves, never copies.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept : handle_(other.handle_) { other.handle_ = kNone; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // An ordinary file (or a link to one) for reading only. A directory, FIFO or device fails, and
  // fails without blocking.
  static File OpenForReading(const std::string& path);
  // A new, empty file for writing only. Fails when anything already exists at the path, so a
  // file put there after it was cleared is never written through.
  static File CreateNew(const std::string& path);
  // A descriptor (a handle on Windows) opened by other means, closed by the File from now on.
  static File Adopt(std::intptr_t native) { return File(native); }

  bool IsOpen() const { return handle_ != kNone; }
  // Up to `size` bytes; fewer only at the end of the file, 0 there.
  std::size_t Read(void* buffer, std::size_t size);
  // Up to `size` bytes from `offset`, fewer only at the end of the file. A file read this way is
  // read only this way: whether Read's position moves differs between the systems.
  std::size_t ReadAt(void* buffer, std::size_t size, int64_t offset) const;
  // All of `size` bytes, or a failure.
  void Write(const void* data, std::size_t size);
  int64_t Size() const;  // the length in bytes, as it is now
  // Whether `other` is this very file (device and inode here, volume and file index on Windows),
  // whichever names either was opened by.
  bool SameFileAs(const File& other) const;
  // Cuts a file open for writing to its first `size` bytes; the next write goes there.
  void TruncateTo(int64_t size);
  void Rewind();         // the next read starts at the first byte
  void SeekTo(int64_t offset);  // the next read starts at `offset`, which may lie past the end
  // Closes and reports a failure of the close itself: data that never reached the file.
  void Close();

 private:
  static constexpr std::intptr_t kNone = -1;  // a closed file: no descriptor, no handle
  explicit File(std::intptr_t handle) : handle_(handle) {}
  std::intptr_t handle_ = kNone;
};

// Whether an ordinary, visible file is at the path, as a directory search for ordinary files
// finds one: no directory, device, FIFO or socket, and no hidden file (a name starting with "."
// here, the hidden or system attribute on Windows). A link counts when it leads to such a file.
// Never opens the path.
bool OrdinaryFileExists(const std::string& path);

// Deletes what is at the path when it is a file or a link (never what the link leads to);
// nothing there is no error. A directory, device, FIFO or socket is refused.
void RemoveFile(const std::string& path);

// Refuses (throws) when the file at the path is one the user may not write: no write permission
// for this user, or none for anyone, which refuses root too (its `cp` would go through, but a file
// made read-only for everyone is one its owner meant to keep); the read-only attribute or an
// access list that denies writing on Windows. Nothing at the path, or a link (whose replacement
// leaves what it leads to alone), is no refusal. Replacing a file takes only the right to write
// its folder, so this is what keeps a file the user could not overwrite from being deleted.
void RequireWritable(const std::string& path);

// Whether two paths name the same file: same device and inode here, same volume serial number
// and file index on Windows, whatever their spelling (links, letter case, short names).
bool SameFile(const std::string& a, const std::string& b);

// What a path leads to, a link followed: nothing, an ordinary file, or anything else (a
// directory, device, FIFO or socket), which a program must not write through.
enum class PathKind { kNothing, kFile, kOther };
PathKind KindOf(const std::string& path);

// Tells one state of a file from another: the file itself (device and inode here, volume and
// file index on Windows), its size, its last modification and the last change the system noted
// (ctime here, the change time on Windows). Another file renamed into the place, or the same file
// rewritten, gives another stamp, even with its modification time put back (`cp -p`, `touch -r`):
// no program can set the change time.
struct FileStamp {
  uint64_t volume = 0, index = 0;
  int64_t size = 0, modified = 0, changed = 0;
  bool operator==(const FileStamp&) const = default;
};
// The stamp of the file at the path now; nothing when there is none.
std::optional<FileStamp> StampOf(const std::string& path);

// Puts the file `from` in the place of `to` in one step, replacing what was there: a reader of
// `to` sees the old file or the new one, never a part of either.
void ReplaceFile(const std::string& from, const std::string& to);

// Writes `size` bytes as the file at `path`, created or replaced, through a new file beside it
// that takes the path's place only once it is complete: a failure (a full disk, a stop) leaves
// whatever was at the path as it was. A file there that the user may not write (RequireWritable)
// is refused and kept. Throws on every failure.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);

// The path as a full one, from the current folder (and drive), as the save dialog would give it.
// On Windows the system makes it (GetFullPathNameW): the standard library's absolute() takes the
// \\?\ and \\.\ forms for a folder on the current drive. Throws when the system cannot.
std::string FullPath(const std::string& path);

// A UTF-8 path as a std::filesystem::path, and back; a narrow std::string is not UTF-8 to the
// standard library on Windows.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// The value of an environment variable, as UTF-8; nothing when it is unset.
std::optional<std::string> Environment(const std::string& name);

// Text in Shift-JIS (Windows code page 932) as UTF-8, with U+FFFD for each byte that starts no
// character; nothing when the system cannot decode that code page at all.
std::optional<std::string> DecodeCodePage932(std::string_view bytes);

// The running program's own file, as an absolute path; nothing when the system cannot tell.
std::optional<std::string> ProgramPath();

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Sets the console up for a command-line program: UTF-8 output, bytes written as given (no
// line-end translation), escape sequences understood.
void PrepareConsole();

// Whether standard error is a terminal (a console on Windows), where progress can be redrawn.
bool StandardErrorIsTerminal();

}  // namespace trimora::os
