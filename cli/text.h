// ASCII text helpers shared by the command's readers: names compared in any
// case, and spaces around a value.
#pragma once

#include <cstddef>
#include <string_view>

namespace pelmora::cli {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Whether two texts are equal, ASCII letters in any case.
inline bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

inline bool EndsWithNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameNoCase(text.substr(text.size() - end.size()), end);
}

// `text` without the spaces and tabs at both ends.
inline std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace pelmora::cli
