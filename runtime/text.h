// Texts and the text operations of the runtime.
//
// A Text is a UTF-16 string that may be null, like an Automation string: the
// null text and the empty text both have length 0, but a result can be told
// apart as null. Positions are 1-based and count UTF-16 code units; no
// operation looks at surrogate pairs, so any sequence of units (embedded
// U+0000, unpaired surrogates) is carried as it is.
#pragma once

#include <cstdint>
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

// Count of UTF-16 code units; 0 for the null text.
std::int32_t Length(const Text& text);

// Drops leading and trailing U+0020 only; tabs and other blanks stay.
Text Trim(const Text& text);

// ASCII case mapping; every other unit stays as it is, so the length stays.
Text UpperCase(const Text& text);
char16_t UpperCaseUnit(char16_t unit);
char16_t LowerCaseUnit(char16_t unit);

// Up to `count` units from the 1-based position `start`; units past the end
// are absent. A start below 1 or a negative count: the invalid-argument error.
Outcome<Text> Middle(const Text& text, std::int32_t start, std::int32_t count);

// The first `count` units, or the whole text when it is shorter. A negative
// count: the invalid-argument error.
Outcome<Text> Left(const Text& text, std::int32_t count);

// The character of `code` in `page`, as its UTF-16 unit (what a one-character
// text holds); a code outside 0..255: the invalid-argument error.
Outcome<char16_t> CharUnitFromCode(std::int32_t code, const CodePage& page);

// The code of the first character in `page`; the empty or null text: the
// invalid-argument error.
Outcome<std::int16_t> CodeOfFirst(const Text& text, const CodePage& page);

// The decimal number at the start of the text, else 0. Spaces, tabs and line
// feeds are skipped wherever they stand; an optional sign, digits, a decimal
// point and an exponent introduced by E or D are read, and reading stops at
// the first unit that does not fit. A single digit gives its value; any
// other single character gives 0.
double NumericValue(const Text& text);

}  // namespace pelmora::runtime
