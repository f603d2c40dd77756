#include "runtime/text.h"

#include <charconv>
#include <string>

namespace pelmora::runtime {

std::int32_t Length(const Text& text) { return static_cast<std::int32_t>(text.Units().size()); }

Text Trim(const Text& text) {
  if (text.IsNull()) return text;
  const std::u16string& u = text.Units();
  std::size_t first = 0;
  std::size_t last = u.size();
  while (first < last && u[first] == u' ') ++first;
  while (last > first && u[last - 1] == u' ') --last;
  return Text(std::u16string_view(u).substr(first, last - first));
}

namespace {

template <class Map>
Text MapUnits(const Text& text, Map map) {
  if (text.IsNull()) return text;
  std::u16string u = text.Units();
  for (char16_t& c : u) c = map(c);
  return Text(std::move(u));
}

}  // namespace

char16_t UpperCaseUnit(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

char16_t LowerCaseUnit(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + (u'a' - u'A')) : c;
}

Text UpperCase(const Text& text) { return MapUnits(text, UpperCaseUnit); }

Outcome<Text> Middle(const Text& text, std::int32_t start, std::int32_t count) {
  if (start < 1 || count < 0) return Failure<Text>(RtError::kInvalidArgument);
  const std::u16string& u = text.Units();
  const auto from = static_cast<std::size_t>(start - 1);
  if (from >= u.size()) return Success(Text(std::u16string()));
  return Success(Text(std::u16string_view(u).substr(from, static_cast<std::size_t>(count))));
}

Outcome<Text> Left(const Text& text, std::int32_t count) {
  if (count < 0) return Failure<Text>(RtError::kInvalidArgument);
  return Success(
      Text(std::u16string_view(text.Units()).substr(0, static_cast<std::size_t>(count))));
}

Outcome<char16_t> CharUnitFromCode(std::int32_t code, const CodePage& page) {
  if (code < 0 || code > 255) return Failure<char16_t>(RtError::kInvalidArgument);
  return Success(page.CharOf(static_cast<std::uint8_t>(code)));
}

Outcome<std::int16_t> CodeOfFirst(const Text& text, const CodePage& page) {
  const std::u16string& u = text.Units();
  if (u.empty()) return Failure<std::int16_t>(RtError::kInvalidArgument);
  return Success(page.CodeOf(u.data(), u.size()));
}

double NumericValue(const Text& text) {
  // Collect the longest prefix that reads as a decimal number, in ASCII, and
  // convert it once, correctly rounded and free of any locale.
  std::string number;
  bool digits = false;
  bool point = false;
  bool exponent = false;
  bool exponent_digits = false;
  for (const char16_t c : text.Units()) {
    if (c == u' ' || c == u'\t' || c == u'\n') continue;
    const bool at_start = number.empty();
    const bool after_e = !number.empty() && (number.back() == 'e');
    if ((c == u'+' || c == u'-') && (at_start || after_e)) {
      // from_chars takes no leading plus; it is kept only as a marker.
      number += static_cast<char>(c);
    } else if (c >= u'0' && c <= u'9') {
      number += static_cast<char>(c);
      (exponent ? exponent_digits : digits) = true;
    } else if (c == u'.' && !point && !exponent) {
      number += '.';
      point = true;
    } else if ((c == u'E' || c == u'e' || c == u'D' || c == u'd') && digits && !exponent) {
      number += 'e';
      exponent = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  if (exponent && !exponent_digits) {
    // A dangling exponent marker (and its sign) is not part of the number.
    while (!number.empty() && number.back() != 'e') number.pop_back();
    number.pop_back();
  }
  std::size_t begin = 0;
  if (number[0] == '+') begin = 1;
  double value = 0.0;
  const char* const first = number.data() + begin;
  const char* const last = number.data() + number.size();
  const auto [end, error] = std::from_chars(first, last, value);
  (void)end;
  // A magnitude beyond the double range leaves value at 0.
  return error == std::errc() ? value : 0.0;
}

}  // namespace pelmora::runtime
