// What the door to the system does the same way everywhere.
#include "platform/os/os.h"

#include <exception>
#include <random>
#include <system_error>

namespace trimora::os {

namespace {

// A hidden name beside `path`, told apart by a random number: created new, it is never another's.
// It does not repeat the file's name, which may already take all the bytes a name can have.
std::string TemporaryBeside(const std::string& path) {
  static std::random_device random;
  const std::string name = ".trimora-" + std::to_string(random()) + ".tmp";
  return Utf8FromPath(PathFromUtf8(path).parent_path() / PathFromUtf8(name));
}

// A new file beside `path` under a name no one else has.
File CreateBeside(const std::string& path, std::string& temporary) {
  for (int attempt = 0;; ++attempt) {
    temporary = TemporaryBeside(path);
    try {
      return File::CreateNew(temporary);
    } catch (const std::system_error&) {
      if (attempt == 99 || KindOf(temporary) == PathKind::kNothing) throw;  // not a name taken: no name will do
    }
  }
}

}  // namespace

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  RequireWritable(path);  // replacing takes only the folder's permission; the file's is asked here
  std::string temporary;
  File file = CreateBeside(path, temporary);
  try {
    file.Write(data, size);
    file.Close();
    ReplaceFile(temporary, path);
  } catch (const std::exception&) {
    try {
      file = File();
      RemoveFile(temporary);
    } catch (const std::exception&) {
      // nothing more can be done; the old file at the path is untouched either way
    }
    throw;
  }
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace trimora::os
