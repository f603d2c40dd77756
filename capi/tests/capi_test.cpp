// libpelmora's own behaviour: its statuses and texts, its UTF-8 reading,
// its text buffers and its floating-point guard. (Its results, call by
// call, are checked against the corpus: tests/capi_corpus.c.)
#include <sys/mman.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "capi/utf.h"
#include "gtest/gtest.h"
#include "pelmora.h"
#include "runtime/errors.h"
#include "tests/test_support.h"

namespace {

using pelmora::test::Bits;

// ---- Statuses and their texts: the DLL's numbers and descriptions ----

TEST(Status, FailuresCarryTheDllNumbersAndDescriptions) {
  struct Case {
    int status;
    const char* text;
  };
  for (const Case& c :
       {Case{PELMORA_INVALID_ARGUMENT, "Invalid procedure call or argument"},
        Case{PELMORA_OVERFLOW, "Overflow"}, Case{PELMORA_FLOATING_POINT, "Floating-point error"},
        Case{PELMORA_OK, "Success"}, Case{PELMORA_NULL_POINTER, "Null pointer argument"},
        Case{PELMORA_BUFFER_TOO_SMALL, "Buffer too small"}, Case{-3, "Not a locator"},
        Case{-4, "Argument out of range"}, Case{-5, "Length too large for any object"},
        Case{7, "Unknown status"}, Case{-6, "Unknown status"}}) {
    EXPECT_STREQ(pelmora_strerror(c.status), c.text) << c.status;
  }
  EXPECT_EQ(PELMORA_INVALID_ARGUMENT, 5);
  EXPECT_EQ(PELMORA_OVERFLOW, 6);
  EXPECT_EQ(PELMORA_FLOATING_POINT, 513);
  EXPECT_STREQ(pelmora_version(), PELMORA_VERSION);
}

// Each method's kind of failure, with the value its out-parameter then holds.
TEST(Status, EachFailureReachesTheCaller) {
  char text[PELMORA_LOCATOR_SIZE] = "unchanged";
  EXPECT_EQ(
      pelmora_grid_from_lat_long(0.0f, std::numeric_limits<float>::infinity(), text, sizeof text),
      PELMORA_OVERFLOW);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pelmora_s_locator(0.0f, 5000.0f, text, sizeof text), PELMORA_INVALID_ARGUMENT);
  EXPECT_EQ(pelmora_s_locator(pelmora::test::SignallingNan(), 0.0f, text, sizeof text),
            PELMORA_FLOATING_POINT);
  float result = 1.0f;
  EXPECT_EQ(
      pelmora_distance_from(0.0f, 0.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f, &result),
      PELMORA_FLOATING_POINT);
  EXPECT_EQ(Bits(result), 0u);
  EXPECT_EQ(pelmora_azimut(0.0f, 0.0f, 1e-44f, 10.0f, &result), PELMORA_FLOATING_POINT);
  EXPECT_EQ(pelmora_distance_from(1, 2, 3, 4, nullptr), PELMORA_NULL_POINTER);
  EXPECT_EQ(pelmora_lat_from_grid(nullptr, 3, &result), PELMORA_NULL_POINTER);
  EXPECT_EQ(pelmora_lat_from_grid(nullptr, 0, &result), PELMORA_OK);  // the empty text
  EXPECT_EQ(pelmora_azimut_fields(nullptr, 1, 2, 3, 4, &result), PELMORA_NULL_POINTER);
}

// ---- Text results ----

// Field codes past "R" are Windows-1252 characters: longitude 2820 has the
// field index 2820 / 20 + 9 = 150, code 215 (U+00D7); 1080 has index 63,
// code 0x80 (the euro sign, three bytes of UTF-8); -1440 index -63, code 2.
TEST(Text, ResultsOutsideAsciiAsUtf8AndUtf16) {
  struct Case {
    float lon;
    std::u16string units;
  };
  // Code 0 of a field is U+0000 inside the text, which has six characters.
  for (const Case& c :
       {Case{13.4f, u"JO62qm"}, Case{2820.0f, u"\u00D7O02am"}, Case{-1440.0f, u"\u0002O02am"},
        Case{-1480.0f, std::u16string(u"\0O02am", 6)}}) {
    char16_t units[PELMORA_LOCATOR_SIZE16];
    ASSERT_EQ(pelmora_grid_from_lat_long16(52.5f, c.lon, units, PELMORA_LOCATOR_SIZE16),
              PELMORA_OK);
    EXPECT_EQ(std::u16string(units, 6), c.units) << c.lon;
  }
  struct Bytes {
    float lon;
    std::string_view text;
  };
  // U+0000 as C0 80, so that the UTF-8 text ends at its first NUL.
  for (const Bytes& c : {Bytes{2820.0f, "\xC3\x97O02am"}, Bytes{1080.0f, "\xE2\x82\xACO02am"},
                         Bytes{-1480.0f, "\xC0\x80O02am"}}) {
    char text[PELMORA_LOCATOR_SIZE];
    ASSERT_EQ(pelmora_grid_from_lat_long(52.5f, c.lon, text, sizeof text), PELMORA_OK);
    EXPECT_EQ(std::string_view(text, pelmora_text_size(text)), c.text) << c.lon;
    EXPECT_EQ(std::strlen(text), c.text.size()) << c.lon;
  }
}

TEST(Text, BufferSizes) {
  char text[PELMORA_LOCATOR_SIZE];
  EXPECT_EQ(pelmora_s_locator(52.5f, 13.4f, text, 7), PELMORA_OK);
  EXPECT_STREQ(text, "JO62qm");
  std::memset(text, 'z', sizeof text);
  EXPECT_EQ(pelmora_s_locator(52.5f, 13.4f, text, 6), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pelmora_s_locator(52.5f, 1080.0f, text, 8), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_EQ(pelmora_s_locator(52.5f, 13.4f, text, 0), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_EQ(pelmora_s_locator(52.5f, 13.4f, nullptr, 7), PELMORA_NULL_POINTER);
  char16_t units[PELMORA_LOCATOR_SIZE16];
  EXPECT_EQ(pelmora_s_locator16(52.5f, 13.4f, units, 6), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_EQ(units[0], 0);
}

// ---- UTF-8 input ----

// Unicode's example of ill-formed UTF-8 (The Unicode Standard, section 3.9):
// each maximal subpart is one U+FFFD.
TEST(Utf8, IllFormedSequencesAsMaximalSubparts) {
  const std::string_view text("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64");
  std::u32string decoded;
  for (std::size_t at = 0; at < text.size();) decoded += pelmora::capi::NextCodePoint(text, &at);
  EXPECT_EQ(decoded, U"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd");
  struct Case {
    std::string_view bytes;
    std::u32string code_points;
  };
  for (const Case& c : {Case{"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},  // a surrogate
                        Case{"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
                        Case{"\xC0\xAF", U"\uFFFD\uFFFD"},            // overlong
                        Case{"\xE0\x9F\x80", U"\uFFFD\uFFFD\uFFFD"},  // overlong
                        Case{"\xF0\x9F\x98\x80", U"\U0001F600"}, Case{"\xEF\xBF\xBD", U"\uFFFD"},
                        Case{"\xE2\x82", U"\uFFFD"}}) {
    std::u32string got;
    for (std::size_t at = 0; at < c.bytes.size();)
      got += pelmora::capi::NextCodePoint(c.bytes, &at);
    EXPECT_EQ(got, c.code_points);
  }
}

// A UTF-8 text decodes as its whole UTF-16 text does, whatever its length,
// its spaces at either end and its ill-formed parts: texts made of pieces
// that move the sixth unit and the spaces around, each piece with its UTF-16
// units written out. No piece begins with a continuation byte, so that the
// units of a text are those of its pieces in turn.
TEST(Utf8, DecodesAsTheWholeUtf16Text) {
  struct Piece {
    std::string_view bytes;
    std::u16string_view units;
  };
  const Piece pieces[] = {
      {" ", u" "},
      {"  ", u"  "},
      {"J", u"J"},
      {"o", u"o"},
      {"6", u"6"},
      {"2", u"2"},
      {"q", u"q"},
      {"m", u"m"},
      {"\t", u"\t"},
      {"\xC3\x97", u"\u00D7"},                           // two bytes
      {"\xE2\x82\xAC", u"\u20AC"},                       // three bytes
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},             // four bytes: a surrogate pair
      {"x\x80", u"x\uFFFD"},                             // a lone continuation byte
      {"\xE2\x82", u"\uFFFD"},                           // a truncated sequence
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // a surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}  // beyond U+10FFFF
  };
  constexpr std::size_t kPieces = sizeof pieces / sizeof pieces[0];
  pelmora::test::Random random(23);
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    std::u16string units;
    const std::size_t length = random.Next() % 12;
    for (std::size_t k = 0; k < length; ++k) {
      const Piece& piece = pieces[random.Next() % kPieces];
      text += piece.bytes;
      units += piece.units;
    }
    float lat8 = 0.0f, lon8 = 0.0f, lat16 = 0.0f, lon16 = 0.0f;
    ASSERT_EQ(pelmora_lat_from_grid(text.data(), text.size(), &lat8), PELMORA_OK);
    ASSERT_EQ(pelmora_long_from_grid(text.data(), text.size(), &lon8), PELMORA_OK);
    ASSERT_EQ(pelmora_lat_from_grid16(units.data(), units.size(), &lat16), PELMORA_OK);
    ASSERT_EQ(pelmora_long_from_grid16(units.data(), units.size(), &lon16), PELMORA_OK);
    ASSERT_EQ(Bits(lat8), Bits(lat16)) << text;
    ASSERT_EQ(Bits(lon8), Bits(lon16)) << text;
  }
}

// ---- Reads within the caller's texts ----

// One page with no access before and after it: a read outside it faults.
class GuardedPage {
 public:
  GuardedPage() : size_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    void* pages = mmap(nullptr, 3 * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = pages == MAP_FAILED ? nullptr : static_cast<char*>(pages);
    if (base_ != nullptr && mprotect(base_ + size_, size_, PROT_READ | PROT_WRITE) != 0) {
      munmap(base_, 3 * size_);
      base_ = nullptr;
    }
  }
  ~GuardedPage() {
    if (base_ != nullptr) munmap(base_, 3 * size_);
  }
  GuardedPage(const GuardedPage&) = delete;
  GuardedPage& operator=(const GuardedPage&) = delete;

  bool ok() const { return base_ != nullptr; }
  char* begin() const { return base_ + size_; }
  char* end() const { return base_ + 2 * size_; }

 private:
  std::size_t size_;
  char* base_ = nullptr;
};

// `text` copied to the very start of the page, or to its very end.
const char* AtStart(const GuardedPage& page, std::string_view text) {
  std::memcpy(page.begin(), text.data(), text.size());
  return page.begin();
}
const char* AtEnd(const GuardedPage& page, std::string_view text) {
  char* at = page.end() - text.size();
  std::memcpy(at, text.data(), text.size());
  return at;
}

// Every function that reads a text, UTF-8 or UTF-16, with the text and
// length given: the statuses in a fixed order, and the bits of the results
// ored together.
struct Reads {
  std::vector<int> statuses;
  std::uint64_t results;
};

template <class Unit>
Reads ReadEveryWay(const Unit* text, std::size_t length) {
  float value = 1.0f;
  double lat = 1.0, lon = 1.0;
  pelmora_cell cell;
  pelmora_path path;
  int characters = 1;
  std::vector<int> statuses;
  if constexpr (sizeof(Unit) == 1) {
    statuses = {pelmora_lat_from_grid(text, length, &value),
                pelmora_long_from_grid(text, length, &value),
                pelmora_locator_centre(text, length, &lat, &lon),
                pelmora_locator_cell(text, length, &cell),
                pelmora_is_locator(text, length, &characters),
                pelmora_grid_path(text, length, "JO62", 4, &path),
                pelmora_grid_path("JO62", 4, text, length, &path)};
  } else {
    const pelmora_char16 jo62[] = {u'J', u'O', u'6', u'2'};
    statuses = {pelmora_lat_from_grid16(text, length, &value),
                pelmora_long_from_grid16(text, length, &value),
                pelmora_locator_centre16(text, length, &lat, &lon),
                pelmora_locator_cell16(text, length, &cell),
                pelmora_is_locator16(text, length, &characters),
                pelmora_grid_path16(text, length, jo62, 4, &path),
                pelmora_grid_path16(jo62, 4, text, length, &path)};
  }
  return {statuses, Bits(value) | Bits(lat) | Bits(lon) | Bits(cell.lat) | Bits(path.distance) |
                        static_cast<std::uint64_t>(characters)};
}

// A length no object can have (lengths wrapping around the address space
// made the decoders read before the text) is refused without a read.
TEST(Reads, LengthsNoObjectCanHaveRefused) {
  const GuardedPage page;
  ASSERT_TRUE(page.ok());
  const char* text = AtStart(page, "JO62qm");
  const std::vector<int> refused(7, PELMORA_LENGTH_TOO_LARGE);
  const auto half = static_cast<std::size_t>(PTRDIFF_MAX);
  // Every result is 0 then.
  for (const std::size_t length : {SIZE_MAX, SIZE_MAX - 5, half + 1}) {
    const Reads reads = ReadEveryWay(text, length);
    EXPECT_EQ(reads.statuses, refused) << length;
    EXPECT_EQ(reads.results, 0u) << length;
  }
  const auto* units = reinterpret_cast<const pelmora_char16*>(page.begin());
  for (const std::size_t length : {SIZE_MAX, half, half / 2 + 1}) {
    const Reads reads = ReadEveryWay(units, length);
    EXPECT_EQ(reads.statuses, refused) << length;
    EXPECT_EQ(reads.results, 0u) << length;
  }
  // The null text with a length is a null pointer first.
  EXPECT_EQ(ReadEveryWay(static_cast<const char*>(nullptr), SIZE_MAX).statuses,
            std::vector<int>(7, PELMORA_NULL_POINTER));
}

// Texts flush against either end of the page, of every length up to 14
// and with spaces at the ends, read by every function: nothing outside is
// touched (a fault ends the test).
TEST(Reads, TextsFlushWithTheirEnds) {
  const GuardedPage page;
  ASSERT_TRUE(page.ok());
  const std::string_view samples[] = {"",
                                      " ",
                                      "  ",
                                      "J",
                                      "JO",
                                      " JO62qm  ",
                                      "JO62qm45ax09",
                                      "JO62qm45ax09x",
                                      "JO62\xC3",
                                      "\xE2\x82\xAC",
                                      "        JO",
                                      "JO62qm45ax0 "};
  for (const std::string_view sample : samples) {
    for (std::size_t length = 0; length <= sample.size(); ++length) {
      const std::string_view text = sample.substr(0, length);
      const Reads at_start = ReadEveryWay(AtStart(page, text), length);
      const Reads at_end = ReadEveryWay(AtEnd(page, text), length);
      EXPECT_EQ(at_end.statuses, at_start.statuses) << text;
      EXPECT_EQ(at_end.results, at_start.results) << text;
      std::u16string units;
      for (const char c : text) units += static_cast<char16_t>(static_cast<unsigned char>(c));
      const auto bytes = units.size() * sizeof(char16_t);
      auto* start = reinterpret_cast<pelmora_char16*>(page.begin());
      auto* end = reinterpret_cast<pelmora_char16*>(page.end() - bytes);
      std::memcpy(start, units.data(), bytes);
      ReadEveryWay(start, units.size());
      std::memcpy(end, units.data(), bytes);
      ReadEveryWay(end, units.size());
    }
  }
}

// pelmora_text_size stays within the text a call left: the empty text of a
// failure in a one-byte buffer, and results flush with the page's end.
TEST(Reads, TextSizeWithinTheText) {
  const GuardedPage page;
  ASSERT_TRUE(page.ok());
  char* one = page.end() - 1;
  EXPECT_EQ(pelmora_s_locator(0.0f, std::numeric_limits<float>::infinity(), one, 1),
            PELMORA_OVERFLOW);
  EXPECT_EQ(pelmora_text_size(one), 0u);
  EXPECT_EQ(pelmora_grid_from_lat_long(52.5f, 13.4f, one, 1), PELMORA_BUFFER_TOO_SMALL);
  EXPECT_EQ(pelmora_text_size(one), 0u);
  struct Case {
    float lon;
    std::size_t size;
  };
  for (const Case& c : {Case{13.4f, 6}, Case{-1480.0f, 7}, Case{1080.0f, 8}}) {
    char* text = page.end() - (c.size + 1);
    ASSERT_EQ(pelmora_grid_from_lat_long(52.5f, c.lon, text, c.size + 1), PELMORA_OK);
    EXPECT_EQ(pelmora_text_size(text), c.size);
  }
  char* grid = page.end() - 13;
  ASSERT_EQ(pelmora_locator(52.5, 13.4, 12, grid, 13), PELMORA_OK);
  EXPECT_EQ(pelmora_text_size(grid), 12u);
}

// ---- The floating-point guard ----

// Hosts that round upwards, flush to zero and trap invalid, division by
// zero and overflow, or run the default environment, each with no flag set
// or with inexact set, get the results of the default environment, and
// their own environment back with their flags, from calls that raise every
// one of these conditions inside.
TEST(FpGuard, HostEnvironmentNeitherUsedNorChanged) {
  struct Call {
    float a, b, c, d;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const Call calls[] = {{52.5f, 13.4f, 40.7f, -74.0f},  {nan, 1.0f, 2.0f, 3.0f},
                        {0.0f, 0.0f, 1e-44f, 10.0f},    {1.0f, inf, 2.0f, -inf},
                        {1e-40f, 2e-39f, 3.0f, 1e-41f}, {0.1f, 0.2f, 0.1f, 0.2f}};
  // MXCSR of each host: upward rounding (bits 13, 14 = 10), flush to zero
  // and denormals are zero (15, 6), invalid, zero-divide and overflow
  // unmasked (7, 9, 10 clear); or the default. Flags: none, or inexact.
  const unsigned hosts[] = {0xD940u, 0xD960u, 0x1F80u, 0x1FA0u};
  for (const unsigned set : hosts) {
    for (const Call& c : calls) {
      pelmora::calc::BearingFields fields;
      const auto bearing = pelmora::calc::Azimut(fields, c.a, c.b, c.c, c.d);
      const auto distance = pelmora::calc::DistanceFrom(c.a, c.b, c.c, c.d);
      const auto arc = pelmora::calc::ArcCos(c.b);

      const unsigned host = _mm_getcsr();
      _mm_setcsr(set);
      float b = 0.0f, d = 0.0f, a = 0.0f;
      const int bs = pelmora_azimut(c.a, c.b, c.c, c.d, &b);
      const int ds = pelmora_distance_from(c.a, c.b, c.c, c.d, &d);
      const int as = pelmora_arc_cos(c.b, &a);
      const unsigned after = _mm_getcsr();
      _mm_setcsr(host);
      EXPECT_EQ(after, set);
      EXPECT_EQ(Bits(b), Bits(bearing.value));
      EXPECT_EQ(bs, bearing.ok() ? 0 : pelmora::runtime::EntryOf(bearing.error)->number);
      EXPECT_EQ(Bits(d), Bits(distance.value));
      EXPECT_EQ(ds, distance.ok() ? 0 : pelmora::runtime::EntryOf(distance.error)->number);
      EXPECT_EQ(Bits(a), Bits(arc.value));
      EXPECT_EQ(as, 0);
    }
  }
}

// The functions beyond the DLL's methods, from the same hosts: NaN and
// values out of range among the arguments, which their checks compare
// (an ordered comparison with a NaN raises invalid, which these hosts trap).
TEST(FpGuard, HostEnvironmentOfTheLocatorAndPathFunctions) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float values[] = {52.5f, nan, -1.0f, 400.0f, 1e-40f, 20002.0996f};
  const unsigned hosts[] = {0xD940u, 0xD960u, 0x1F80u, 0x1FA0u};
  // What each call gives in the default environment, then in each host.
  const auto run = [&](float x) {
    std::vector<std::uint32_t> out;
    float r = 0.0f;
    out.push_back(static_cast<std::uint32_t>(pelmora_long_path_distance(x, &r)));
    out.push_back(Bits(r));
    out.push_back(static_cast<std::uint32_t>(pelmora_long_path_bearing(x, &r)));
    out.push_back(Bits(r));
    pelmora_path path{};
    out.push_back(static_cast<std::uint32_t>(pelmora_position_path(x, 13.4f, 40.7f, x, &path)));
    for (const float part : {path.distance, path.bearing, path.long_distance, path.long_bearing})
      out.push_back(Bits(part));
    char grid[PELMORA_GRID_SIZE];
    out.push_back(static_cast<std::uint32_t>(pelmora_locator(x, 13.4, 12, grid, sizeof grid)));
    for (std::size_t i = 0; i < pelmora_text_size(grid); ++i)
      out.push_back(static_cast<unsigned char>(grid[i]));
    return out;
  };
  for (const float x : values) {
    const std::vector<std::uint32_t> expected = run(x);
    for (const unsigned set : hosts) {
      const unsigned host = _mm_getcsr();
      _mm_setcsr(set);
      const std::vector<std::uint32_t> got = run(x);
      const unsigned after = _mm_getcsr();
      _mm_setcsr(host);
      EXPECT_EQ(after, set) << "host " << std::hex << set << ", argument " << Bits(x);
      EXPECT_EQ(got, expected) << "host " << std::hex << set << ", argument " << Bits(x);
    }
  }
}

// ---- Threads ----

// The positions of thread `t`'s calls (any bits among them, so that
// failures come too), made in the default environment.
std::vector<std::array<float, 4>> PositionsOfThread(std::size_t t) {
  pelmora::test::Random random(t + 1000);
  std::vector<std::array<float, 4>> positions(3000);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    const bool any = i % 8 == 0;
    positions[i] = {any ? random.AnyBits() : random.Uniform(-90.0f, 90.0f),
                    random.Uniform(-180.0f, 180.0f), random.Uniform(-90.0f, 90.0f),
                    any ? random.AnyBits() : random.Uniform(-180.0f, 180.0f)};
  }
  return positions;
}

// One call of each kind per position, every output and status in a list;
// nothing but the library's calls does arithmetic here.
std::vector<std::uint32_t> Calls(const std::vector<std::array<float, 4>>& positions) {
  pelmora_bearing fields{};
  std::vector<std::uint32_t> out;
  for (const auto& [a, b, c, d] : positions) {
    float value = 0.0f;
    const auto number = [&](int status) {
      out.push_back(static_cast<std::uint32_t>(status));
      out.push_back(Bits(value));
    };
    number(pelmora_azimut(a, b, c, d, &value));
    number(pelmora_azimut_fields(&fields, c, d, a, b, &value));
    for (const float field :
         {fields.OtherLatRad, fields.LonDiff, fields.OtherLonRad, fields.AuxAngle})
      out.push_back(Bits(field));
    number(pelmora_distance_from(a, b, c, d, &value));
    char grid[PELMORA_LOCATOR_SIZE];
    const int encoded8 = pelmora_s_locator(a, b, grid, sizeof grid);
    out.push_back(static_cast<std::uint32_t>(encoded8));
    number(
        pelmora_lat_from_grid(grid, encoded8 == PELMORA_OK ? pelmora_text_size(grid) : 0, &value));
    char16_t units[PELMORA_LOCATOR_SIZE16];
    const int encoded16 = pelmora_grid_from_lat_long16(c, d, units, PELMORA_LOCATOR_SIZE16);
    out.push_back(static_cast<std::uint32_t>(encoded16));
    number(pelmora_long_from_grid16(units, encoded16 == PELMORA_OK ? 6 : 0, &value));
  }
  return out;
}

// The header promises that every function may be called from any number of
// threads at once. Eight threads make their calls together, half of them in
// a host environment that rounds upwards and flushes to zero: each gets the
// results it gets alone in the default environment, and its own environment
// back (state kept between calls, or an environment kept by the library
// rather than by the call, would mix the threads up).
TEST(Threads, CallsFromManyThreadsAtOnce) {
  constexpr std::size_t kThreads = 8;
  std::vector<std::vector<std::uint32_t>> alone(kThreads), together(kThreads);
  std::vector<std::vector<std::array<float, 4>>> positions(kThreads);
  for (std::size_t t = 0; t < kThreads; ++t) {
    positions[t] = PositionsOfThread(t);
    alone[t] = Calls(positions[t]);
  }
  unsigned environment_after[kThreads] = {};
  const unsigned hosts[] = {0x1FA0u, 0xD940u};
  std::atomic<std::size_t> waiting{kThreads};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      _mm_setcsr(hosts[t % 2]);
      // Every thread starts its calls when all are ready.
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      together[t] = Calls(positions[t]);
      environment_after[t] = _mm_getcsr();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < kThreads; ++t) {
    EXPECT_EQ(environment_after[t], hosts[t % 2]) << "thread " << t;
    EXPECT_TRUE(together[t] == alone[t]) << "thread " << t;
  }
}

}  // namespace
