#include "cli/values.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "cli/text.h"
#include "pelmora.h"

namespace pelmora::cli {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether `text` (without sign) is digits with a point and an exponent as
// allowed.
bool IsDecimal(std::string_view text) {
  std::size_t i = 0, digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == start) return false;
  }
  return i == text.size();
}

// Decimal text as the nearest double by one exact operation, when the text
// allows it: at most 15 digits (an integer below 2^53) and a power of ten
// from 1e-22 to 1e22 (each exact in double), so that the one rounding of
// the product or quotient is the rounding of the decimal. False for any
// other text (which the general path then reads or refuses).
bool FastDecimal(std::string_view text, double* out) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const std::size_t size = text.size();
  std::uint64_t m = 0;
  std::size_t i = 0;
  for (; i < size && IsDigit(text[i]); ++i) m = m * 10 + static_cast<std::uint64_t>(text[i] - '0');
  std::size_t digits = i;
  int scale = 0;
  if (i < size && text[i] == '.') {
    const std::size_t first = ++i;
    for (; i < size && IsDigit(text[i]); ++i)
      m = m * 10 + static_cast<std::uint64_t>(text[i] - '0');
    digits += i - first;
    scale = -static_cast<int>(i - first);
  }
  if (digits == 0 || digits > 15) return false;
  if (i < size && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t first = i;
    int exponent = 0;
    for (; i < size && IsDigit(text[i]) && i - first < 4; ++i)
      exponent = exponent * 10 + (text[i] - '0');
    if (i == first) return false;
    scale += negative ? -exponent : exponent;
  }
  if (i != size || scale < -22 || scale > 22) return false;
  const double value = static_cast<double>(m);  // exact: m < 10^15
  *out = scale < 0 ? value / kPowers[-scale] : value * kPowers[scale];
  return true;
}

}  // namespace

bool ParseDecimal(std::string_view text, double* out) {
  if (FastDecimal(text, out)) return true;
  if (!IsDecimal(text)) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  if (error == std::errc::result_out_of_range) {
    // Too large or too small for a double: strtod tells which (rare).
    const std::string copy(text);
    *out = std::strtod(copy.c_str(), nullptr);
    return true;
  }
  return error == std::errc() && end == text.data() + text.size();
}

ValueError ParseDouble(std::string_view text, double* out) {
  text = TrimSpaces(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  double value = 0.0;
  if (SameNoCase(text, "nan")) {
    value = std::numeric_limits<double>::quiet_NaN();
  } else if (SameNoCase(text, "inf") || SameNoCase(text, "infinity")) {
    value = std::numeric_limits<double>::infinity();
  } else if (!ParseDecimal(text, &value)) {
    return ValueError::kSyntax;
  }
  *out = negative ? -value : value;
  return ValueError::kNone;
}

ValueError ParseNumber(std::string_view text, float* out) {
  text = TrimSpaces(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (SameNoCase(text, "nan")) {
    *out = negative ? -std::numeric_limits<float>::quiet_NaN()
                    : std::numeric_limits<float>::quiet_NaN();
    return ValueError::kNone;
  }
  // An infinity is beyond the float range for Automation.
  if (SameNoCase(text, "inf") || SameNoCase(text, "infinity")) return ValueError::kRange;
  double value = 0.0;
  if (!ParseDecimal(text, &value)) return ValueError::kSyntax;
  if (negative) value = -value;
  // Automation's conversion of a double to a float parameter.
  constexpr double kLargest = static_cast<double>(std::numeric_limits<float>::max());
  if (value > kLargest || value < -kLargest) return ValueError::kRange;
  *out = static_cast<float>(value);
  return ValueError::kNone;
}

namespace {

bool Letter(char c, char last) {
  return (c >= 'A' && c <= last) || (c >= 'a' && c <= static_cast<char>(last + 32));
}

// Whether the field letter of one coordinate (0 longitude, 1 latitude) is
// S at the grid's edge: the coordinate's other characters the lowest.
bool Edge(std::string_view text, std::size_t coordinate) {
  if (text.size() > 6 || (text[coordinate] != 'S' && text[coordinate] != 's')) return false;
  if (text[coordinate + 2] != '0') return false;
  return text.size() < 6 || text[coordinate + 4] == 'a' || text[coordinate + 4] == 'A';
}

}  // namespace

namespace {

// Whether `text` is a locator of four or six characters as the DLL's
// encoders write them (S at the grid's edge included).
bool IsDllLocator(std::string_view text) {
  if (text.size() != 4 && text.size() != 6) return false;
  for (std::size_t coordinate = 0; coordinate < 2; ++coordinate) {
    if (!Letter(text[coordinate], 'R') && !Edge(text, coordinate)) return false;
  }
  if (!IsDigit(text[2]) || !IsDigit(text[3])) return false;
  return text.size() == 4 || (Letter(text[4], 'X') && Letter(text[5], 'X'));
}

}  // namespace

ValueError ReadLocator(std::string_view text, Position* out, int* status) {
  text = TrimSpaces(text);
  if (IsDllLocator(text)) {
    // The DLL's centre, so that every figure stays the DLL's, bit for bit.
    *status = pelmora_lat_from_grid(text.data(), text.size(), &out->lat);
    if (*status == PELMORA_OK) {
      *status = pelmora_long_from_grid(text.data(), text.size(), &out->lon);
    }
    return *status == PELMORA_OK ? ValueError::kNone : ValueError::kCall;
  }
  // Any other precision: the exact centre, rounded once to float.
  double lat = 0.0, lon = 0.0;
  *status = pelmora_locator_centre(text.data(), text.size(), &lat, &lon);
  if (*status == PELMORA_NOT_A_LOCATOR) return ValueError::kSyntax;
  if (*status != PELMORA_OK) return ValueError::kCall;
  out->lat = static_cast<float>(lat);
  out->lon = static_cast<float>(lon);
  return ValueError::kNone;
}

ValueError ParsePosition(std::string_view text, Position* out, int* status) {
  const std::size_t comma = text.find(',');
  if (comma != std::string_view::npos) {
    const ValueError lat = ParseNumber(text.substr(0, comma), &out->lat);
    if (lat != ValueError::kNone) return lat;
    return ParseNumber(text.substr(comma + 1), &out->lon);
  }
  return ReadLocator(text, out, status);
}

void AppendFloat(std::string& out, float x) {
  char buffer[kFloatChars];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
  out.append(buffer, result.ptr);
}

std::string FormatFloat(float x) {
  std::string out;
  AppendFloat(out, x);
  return out;
}

std::string CallFailure(std::string_view what, int status) {
  return std::string(what) + ": " + pelmora_strerror(status) + " (error " + std::to_string(status) +
         ")";
}

std::string Excerpt(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "'";
  for (const char c : text.substr(0, kExcerpt)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && c != '\'' && c != '\\') {
      out.push_back(c);
    } else {
      out += "\\x";
      out.push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
  out.push_back('\'');
  if (text.size() > kExcerpt) out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

std::string Describe(ValueError error, std::string_view text, bool position) {
  const std::string quoted = Excerpt(text);
  switch (error) {
    case ValueError::kNone:
      return "no error";
    case ValueError::kSyntax:
      return quoted + (position ? " is neither LAT,LON nor a locator" : " is not a number");
    case ValueError::kRange:
      return quoted + ": Overflow (a number beyond single precision)";
    case ValueError::kCall:
      return quoted + ": the locator cannot be decoded";
  }
  return quoted;
}

}  // namespace pelmora::cli
