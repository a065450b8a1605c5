// A portable stand-in for the Windows profile read, with the same matching rules, for the one
// file the program reads: the recorder's per-user settings, written in Shift-JIS.
#include "platform/ini_file.h"

#include <iconv.h>

#include <cerrno>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/ascii.h"

namespace trimora {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one (overlong
// forms, surrogates and values past U+10FFFF included).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) return 1;
  std::size_t n;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return n;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = Utf8SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// Without iconv's CP932 module only ASCII survives; every other byte becomes U+FFFD.
std::string AsciiOnly(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80)
      out += c;
    else
      out += kReplacement;
  }
  return out;
}

std::string DecodeCp932(std::string_view bytes) {
  iconv_t cd = ::iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(bytes);

  std::string input(bytes);
  char* in = input.data();
  std::size_t in_left = input.size();
  std::string out;
  char chunk[1024];
  while (in_left > 0) {
    char* dst = chunk;
    std::size_t dst_left = sizeof chunk;
    std::size_t rc = ::iconv(cd, &in, &in_left, &dst, &dst_left);
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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

// The first max_chars characters of valid UTF-8 text.
std::string_view FirstChars(std::string_view text, std::size_t max_chars) {
  std::size_t i = 0;
  for (std::size_t chars = 0; i < text.size() && chars < max_chars; ++chars) {
    std::size_t n = Utf8SequenceLength(text, i);
    i += n == 0 ? 1 : n;
  }
  return text.substr(0, i);
}

// The value of the first `key` in the first `section`; nullopt when there is none, and also
// when that first key has no "=" (the profile call then falls back to its default as well).
std::optional<std::string_view> FindValue(std::string_view text, std::string_view key, std::string_view section) {
  enum class Place { Before, Inside, After } place = Place::Before;
  std::size_t start = 0;
  while (start <= text.size() && place != Place::After) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;

    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      bool match = EqualsIgnoringAsciiCase(Trim(line.substr(1, close - 1)), section);
      if (place == Place::Inside)
        place = Place::After;  // only the first section of that name counts
      else if (match)
        place = Place::Inside;
      continue;
    }
    if (place != Place::Inside) continue;
    std::size_t equals = line.find('=');
    if (!EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), key)) continue;
    if (equals == std::string_view::npos) return std::nullopt;
    return StripQuotes(Trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}

// A folder or a device at the INI path reads as a missing file, as any read failure does.
std::optional<std::string> ReadRegularFile(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  try {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return bytes;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::string DecodeIniText(const std::string& bytes) {
  std::string_view view(bytes);
  if (view.substr(0, kByteOrderMark.size()) == kByteOrderMark) view.remove_prefix(kByteOrderMark.size());
  if (IsValidUtf8(view)) return std::string(view);
  return DecodeCp932(bytes);
}

std::string GetIniString(const std::string& key, const std::string& section, const std::string& file) {
  std::optional<std::string> bytes = ReadRegularFile(file);
  if (!bytes) return kIniMissing;
  const std::string text = DecodeIniText(*bytes);
  std::optional<std::string_view> value = FindValue(text, Trim(key), Trim(section));
  if (!value) return kIniMissing;
  return std::string(FirstChars(*value, kIniValueMaxChars));
}

}  // namespace trimora
