// ASCII letter case, the only case the recorder's names and settings ignore.
#pragma once

namespace trimora {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace trimora
