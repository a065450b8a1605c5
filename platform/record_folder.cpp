// The start-up lookup of the recording folder and the listing of the recordings in it.
#include "platform/record_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/ascii.h"
#include "platform/ini_file.h"

namespace trimora {

namespace {

// Below the profile folder, as the recorder writes it on Windows.
constexpr const char* kIniTail = "\\Local Settings\\Application Data\\Newsoft\\HPVR\\LocalUser.ini";

// An empty variable counts as unset: the profile folder cannot be "".
std::string ProfileFolder(const EnvironmentReader& env) {
  for (const char* name : {"USERPROFILE", "HOME"}) {
    std::string value;
    if (env && env(name, value) && !value.empty()) return value;
  }
  return {};
}

bool LessIgnoringAsciiCase(const std::string& a, const std::string& b) {
  const auto lower_less = [](char x, char y) {
    return static_cast<unsigned char>(AsciiLower(x)) < static_cast<unsigned char>(AsciiLower(y));
  };
  if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lower_less)) return true;
  if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lower_less)) return false;
  return a < b;  // names that differ only in case keep a fixed order
}

}  // namespace

bool ReadProcessEnvironment(const std::string& name, std::string& value) {
  const char* found = std::getenv(name.c_str());
  if (!found) return false;
  value = found;
  return true;
}

std::string RecorderIniPath(const EnvironmentReader& env) {
  std::string tail = kIniTail;
  std::replace(tail.begin(), tail.end(), '\\', kPathSeparator);
  return ProfileFolder(env) + tail;
}

std::string LookUpRecordPath(const EnvironmentReader& env) {
  std::string folder = GetIniString("Path", "Record", RecorderIniPath(env));
  if (folder == kIniMissing) return kNoRecordFolder;
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

bool MatchesPattern(const std::string& name, const std::string& pattern) {
  // Iterative wildcard match: on a mismatch go back to the last "*" and let it take one more
  // character. Linear in practice, and no recursion for hostile patterns.
  std::size_t n = 0, p = 0, star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::optional<std::vector<std::string>> ListFolder(const std::string& folder, const std::string& pattern) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder), ec);
  if (ec) return std::nullopt;

  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    std::string name = it->path().filename().string();
    if (name.empty() || name.front() == '.') continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;  // follows links; a broken link is skipped
    if (MatchesPattern(name, pattern)) names.push_back(std::move(name));
  }
  if (ec) return std::nullopt;
  std::sort(names.begin(), names.end(), LessIgnoringAsciiCase);
  return names;
}

}  // namespace trimora
