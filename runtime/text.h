// Texts and the text operations of the runtime.
//
// A Text is a UTF-16 string that may be null, like an Automation string: the
// null text and the empty text both have length 0, but a result can be told
// apart as null. Positions are 1-based and count UTF-16 code units; no
// operation looks at surrogate pairs, so any sequence of units (embedded
// U+0000, unpaired surrogates) is carried as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/code_page.h"
#include "runtime/errors.h"

namespace pelmora::runtime {

class Text {
 public:
  // The null text.
  Text() = default;
  explicit Text(std::u16string units) : units_(std::move(units)), null_(false) {}
  explicit Text(std::u16string_view units) : units_(units), null_(false) {}
  // A short text of N units, copied by a copy of known size, which needs no
  // call (what a locator of a few characters costs).
  template <std::size_t N>
  explicit Text(const char16_t (&units)[N]) : units_(N, u'\0'), null_(false) {
    std::memcpy(units_.data(), units, sizeof units);
  }

  bool IsNull() const { return null_; }
  const std::u16string& Units() const { return units_; }

  friend bool operator==(const Text& a, const Text& b) {
    return a.null_ == b.null_ && a.units_ == b.units_;
  }
  friend bool operator!=(const Text& a, const Text& b) { return !(a == b); }

 private:
  std::u16string units_;
  bool null_ = true;
};

// ASCII case mapping of one unit; every other unit stays as it is.
constexpr char16_t UpperCaseUnit(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}
constexpr char16_t LowerCaseUnit(char16_t unit) {
  return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// The character of `code` in `page`, as its UTF-16 unit (what a one-character
// text holds); a code outside 0..255: the invalid-argument error.
inline Outcome<char16_t> CharUnitFromCode(std::int32_t code, const CodePage& page) {
  if (code < 0 || code > 255) return Failure<char16_t>(RtError::kInvalidArgument);
  return Success(page.CharOfCode(static_cast<std::uint8_t>(code)));
}

// The code of the character `unit` in `page`.
inline std::int16_t CodeOfUnit(char16_t unit, const CodePage& page) {
  return page.CodeOfUnit(unit);
}

}  // namespace pelmora::runtime
