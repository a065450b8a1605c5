// Reads one value from an INI file the way the Windows profile functions do, so that the
// recorder's settings file can be read on any platform.
#pragma once

#include <string>

namespace trimora {

// What GetIniString returns when the file, the section or the key is missing.
inline constexpr const char* kIniMissing = "ERROR";

// The longest value returned, in characters: the profile call's buffer holds 255 with its NUL.
inline constexpr std::size_t kIniValueMaxChars = 254;

// The value of `key` in `section` of `file`, as UTF-8, or kIniMissing when the file, the section or
// the key is missing. Section and key names match without regard to ASCII letter case; blanks
// around names and values are dropped, and one pair of matching quotes around the value. The
// first section of that name and the first such key in it count. Lines starting with ";" are
// comments. The file is read as UTF-8 when it is valid UTF-8, else as Shift-JIS (CP932), the
// recorder's encoding. Longer values are cut to kIniValueMaxChars characters.
std::string GetIniString(const std::string& key, const std::string& section, const std::string& file);

// The file's bytes as UTF-8: unchanged (without a byte-order mark) when they are valid UTF-8,
// else decoded from CP932, with U+FFFD for each byte that cannot be decoded.
std::string DecodeIniText(const std::string& bytes);

}  // namespace trimora
