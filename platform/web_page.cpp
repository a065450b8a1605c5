// Turns the web page's address into something a browser opens: pages shipped with the program
// are found beside the running executable, wherever it was installed.
#include "platform/web_page.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/os/os.h"

// The installed documentation folder seen from the installed programs' folder; the build sets it
// from its install layout.
#ifndef TRIMORA_BIN_TO_DOC
#define TRIMORA_BIN_TO_DOC "../share/doc/trimora"
#endif

namespace trimora {

namespace {

bool HasScheme(const std::string& address) { return address.find("://") != std::string::npos; }

bool IsPlainUrlByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~' || c == '/' || c == ':';
}

std::string PercentEncode(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsPlainUrlByte(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string FileUrl(const std::filesystem::path& path) {
  std::string text = os::Utf8FromPath(path.generic_u8string());
  if (text.empty() || text.front() != '/') text.insert(0, "/");  // a drive letter: file:///C:/...
  return "file://" + PercentEncode(text);
}

}  // namespace

std::string FileUrlBeside(const std::string& program_path, const std::string& page) {
  return FileUrl(os::PathFromUtf8(program_path).parent_path() / os::PathFromUtf8(page));
}

std::string PagePath(const std::string& program_path, const std::string& page) {
  const std::filesystem::path folder = os::PathFromUtf8(program_path).parent_path();
  const std::filesystem::path beside = folder / os::PathFromUtf8(page);
  const std::filesystem::path installed = (folder / TRIMORA_BIN_TO_DOC / os::PathFromUtf8(page)).lexically_normal();
  std::error_code ec;
  if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec)) return os::Utf8FromPath(installed);
  return os::Utf8FromPath(beside);
}

std::string ResolveWebPageAddress(const std::string& address) {
  if (HasScheme(address)) return address;
  const std::optional<std::string> program = os::ProgramPath();
  if (!program) return address;
  return FileUrl(os::PathFromUtf8(PagePath(*program, address)));
}

}  // namespace trimora
