// UTF-8 at libpelmora's edge: the UTF-16 units that locator decoding reads
// from a UTF-8 text, and text results written as UTF-8 or UTF-16.
//
// A UTF-8 text stands for the UTF-16 text it decodes to, every ill-formed
// sequence (each maximal subpart of one, in Unicode's terms) becoming one
// U+FFFD, the replacement Windows' conversion from UTF-8 makes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmora::capi {

// The decoding skips U+0020 at both ends and then reads the first six units
// at most; it needs to know only whether more follow. Seven units suffice.
inline constexpr std::size_t kDecodingUnits = 7;

// The next code point of `text` from `*at`, which it advances; U+FFFD for
// an ill-formed sequence (its maximal subpart consumed).
inline char32_t NextCodePoint(std::string_view text, std::size_t* at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(*at);
  ++*at;
  if (lead < 0x80) return lead;
  std::size_t more;
  char32_t code;
  std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    code = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    code = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0xFFFD;
  }
  for (std::size_t k = 0; k < more; ++k) {
    if (*at >= text.size()) return 0xFFFD;
    const std::uint8_t next = byte(*at);
    if (next < low || next > high) return 0xFFFD;
    low = 0x80;
    high = 0xBF;
    code = (code << 6) | (next & 0x3Fu);
    ++*at;
  }
  return code;
}

// The units of `text` that decide its decoding, into `units`: the text
// without its U+0020 spaces at both ends (a space is one byte, and no
// ill-formed sequence takes one in), its first six units, and a seventh
// that is no space when more units follow. The decoding reads no unit after
// the sixth, so it gives the same for these units as for the whole text.
// Returns their number.
inline std::size_t DecodingUnits(std::string_view text, char16_t (&units)[kDecodingUnits]) {
  // A locator of six ASCII characters, no space at either end: as it stands.
  if (text.size() == 6 && text[0] != ' ' && text[5] != ' ') {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    if ((byte(0) | byte(1) | byte(2) | byte(3) | byte(4) | byte(5)) < 0x80) {
      for (std::size_t i = 0; i < 6; ++i) units[i] = byte(i);
      return 6;
    }
  }
  std::size_t begin = 0, end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  const std::string_view middle = text.substr(begin, end - begin);
  // ASCII in the first six of six bytes or more, the usual: six units as
  // they stand.
  if (middle.size() >= 6) {
    std::uint8_t high = 0;
    for (std::size_t i = 0; i < 6; ++i) high |= static_cast<std::uint8_t>(middle[i]);
    if (high < 0x80) {
      for (std::size_t i = 0; i < 6; ++i) units[i] = static_cast<char16_t>(middle[i]);
      if (middle.size() == 6) return 6;
      units[6] = u'x';  // more units follow
      return 7;
    }
  }
  std::size_t count = 0;
  std::size_t at = 0;
  while (at < middle.size() && count < 6) {
    const char32_t code = NextCodePoint(middle, &at);
    if (code < 0x10000) {
      units[count++] = static_cast<char16_t>(code);
    } else {
      units[count++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      if (count < 6)
        units[count++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      else
        units[count++] = u'x';  // the low surrogate, never read
    }
  }
  if (count == 6 && at < middle.size()) units[count++] = u'x';
  return count;
}

// `units` with a terminator into `buffer` of `size` units; false when they
// do not fit.
inline bool WriteText(std::u16string_view units, char16_t* buffer, std::size_t size) {
  if (units.size() >= size) return false;
  for (std::size_t i = 0; i < units.size(); ++i) buffer[i] = units[i];
  buffer[units.size()] = 0;
  return true;
}

// The same as UTF-8, a lone surrogate as U+FFFD; a code point of two units
// as one four-byte sequence; U+0000 as C0 80 (modified UTF-8), so that the
// text ends at its first NUL byte.
inline bool WriteText(std::u16string_view units, char* buffer, std::size_t size) {
  if (units.size() == 6 && size > 6) {  // six ASCII characters, none NUL: the usual
    const char16_t* u = units.data();
    const auto plain = [](char16_t c) { return static_cast<unsigned>(c) - 1u < 0x7Fu; };
    if (plain(u[0]) && plain(u[1]) && plain(u[2]) && plain(u[3]) && plain(u[4]) && plain(u[5])) {
      for (std::size_t i = 0; i < 6; ++i) buffer[i] = static_cast<char>(u[i]);
      buffer[6] = '\0';
      return true;
    }
  }
  std::size_t n = 0;
  const auto put = [&](std::uint32_t byte) {
    if (n + 1 >= size) return false;
    buffer[n++] = static_cast<char>(byte);
    return true;
  };
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    bool ok;
    if (code == 0) {
      ok = put(0xC0) && put(0x80);
    } else if (code < 0x80) {
      ok = put(code);
    } else if (code < 0x800) {
      ok = put(0xC0 | (code >> 6)) && put(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      ok =
          put(0xE0 | (code >> 12)) && put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
    } else {
      ok = put(0xF0 | (code >> 18)) && put(0x80 | ((code >> 12) & 0x3F)) &&
           put(0x80 | ((code >> 6) & 0x3F)) && put(0x80 | (code & 0x3F));
    }
    if (!ok) {
      buffer[0] = '\0';
      return false;
    }
  }
  buffer[n] = '\0';
  return true;
}

}  // namespace pelmora::capi
