// libpelmora's C functions: each converts its arguments, calls one
// calculation of calc/ inside the floating-point guard, and turns the
// outcome into an out-parameter and a status, as each method of the DLL's
// CalcDistClass does.
#include "pelmora.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "calc/grid.h"
#include "calc/path.h"
#include "capi/utf.h"
#include "runtime/errors.h"
#include "runtime/fp_guard.h"
#include "runtime/text.h"

namespace {

using pelmora::runtime::EntryOf;
using pelmora::runtime::FpGuard;
using pelmora::runtime::Outcome;
using pelmora::runtime::RtError;
using pelmora::runtime::Text;

// The status of a runtime error: its number in the error table.
int StatusOf(RtError error) {
  if (error == RtError::kNone) return PELMORA_OK;
  const pelmora::runtime::ErrorEntry* entry = EntryOf(error);
  return entry != nullptr ? static_cast<int>(entry->number) : PELMORA_FLOATING_POINT;
}

template <class Calculation>
int CapiNumberCall(float* result, Calculation&& calculation) {
  if (result == nullptr) return PELMORA_NULL_POINTER;
  const FpGuard guard;
  const Outcome<float> outcome = calculation();
  *result = outcome.value;
  return StatusOf(outcome.error);
}

// A text result into the caller's buffer: UTF-8 or UTF-16 by the unit type.
// A failed calculation gives the null text, written as "".
template <class Unit, class Calculation>
int CapiTextCall(Unit* buffer, std::size_t size, Calculation&& calculation) {
  if (buffer == nullptr) return PELMORA_NULL_POINTER;
  if (size == 0) return PELMORA_BUFFER_TOO_SMALL;
  const FpGuard guard;
  const Outcome<Text> outcome = calculation();
  if (!outcome.ok()) {
    buffer[0] = 0;
    return StatusOf(outcome.error);
  }
  if (pelmora::capi::WriteText(outcome.value.Units(), buffer, size)) return PELMORA_OK;
  buffer[0] = 0;
  return PELMORA_BUFFER_TOO_SMALL;
}

// Whether `length` units from `text` can be an object at all: none holds
// more than PTRDIFF_MAX bytes, and none reaches past the end of the address
// space. A length beyond these would make a text read wrap around.
template <class Unit>
bool LengthFits(const Unit* text, std::size_t length) {
  constexpr std::size_t kMaxUnits = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(Unit);
  if (length > kMaxUnits) return false;
  const auto address = reinterpret_cast<std::uintptr_t>(text);
  return length * sizeof(Unit) <= UINTPTR_MAX - address;
}

// The misuses of an input text, in the order they are reported.
template <class Unit>
int TextMisuse(const Unit* text, std::size_t length) {
  if (text == nullptr && length != 0) return PELMORA_NULL_POINTER;
  if (!LengthFits(text, length)) return PELMORA_LENGTH_TOO_LARGE;
  return PELMORA_OK;
}

// A UTF-8 locator as the UTF-16 text the decoding reads: the same result
// for every text, from at most seven units (pelmora::capi::DecodingUnits).
template <class Decode>
int DecodeUtf8(const char* grid, std::size_t length, float* result, Decode&& decode) {
  if (grid == nullptr && length != 0) return PELMORA_NULL_POINTER;
  if (!LengthFits(grid, length)) {
    if (result != nullptr) *result = 0.0f;
    return PELMORA_LENGTH_TOO_LARGE;
  }
  char16_t units[pelmora::capi::kDecodingUnits];
  const std::size_t count =
      pelmora::capi::DecodingUnits(std::string_view(grid == nullptr ? "" : grid, length), units);
  return CapiNumberCall(result, [&] { return decode(std::u16string_view(units, count)); });
}

template <class Decode>
int DecodeUtf16(const pelmora_char16* grid, std::size_t length, float* result, Decode&& decode) {
  if (grid == nullptr && length != 0) return PELMORA_NULL_POINTER;
  if (!LengthFits(grid, length)) {
    if (result != nullptr) *result = 0.0f;
    return PELMORA_LENGTH_TOO_LARGE;
  }
  const std::u16string_view units(grid == nullptr ? u"" : grid, length);
  return CapiNumberCall(result, [&] { return decode(units); });
}

// ---- Locators of every precision ----

using pelmora::calc::GridStatus;
using pelmora::calc::kGridMaxCharacters;

int StatusOf(GridStatus status) {
  switch (status) {
    case GridStatus::kOk:
      return PELMORA_OK;
    case GridStatus::kNotALocator:
      return PELMORA_NOT_A_LOCATOR;
    case GridStatus::kOutOfRange:
      break;
  }
  return PELMORA_OUT_OF_RANGE;
}

// The units of a locator text as the grid functions read them. UTF-16 as it
// stands; UTF-8 without its spaces at both ends, byte for unit (a byte
// outside ASCII, part of no locator, as U+FFFD), and a text longer than any
// locator as U+FFFD alone, which no locator is either.
struct GridText {
  char16_t units[kGridMaxCharacters];
  std::u16string_view text;

  explicit GridText(const pelmora_char16* text16, std::size_t length)
      : units{}, text(text16 == nullptr ? u"" : text16, length) {}
  explicit GridText(const char* text8, std::size_t length) : units{} {
    const std::string_view bytes(text8 == nullptr ? "" : text8, length);
    std::size_t begin = 0, end = bytes.size();
    while (begin < end && bytes[begin] == ' ') ++begin;
    while (end > begin && bytes[end - 1] == ' ') --end;
    if (end - begin > kGridMaxCharacters) {
      units[0] = u'\uFFFD';
      text = std::u16string_view(units, 1);
      return;
    }
    std::size_t count = 0;
    for (std::size_t i = begin; i < end; ++i) {
      const auto byte = static_cast<unsigned char>(bytes[i]);
      units[count++] = byte < 0x80 ? static_cast<char16_t>(byte) : u'\uFFFD';
    }
    text = std::u16string_view(units, count);
  }
  GridText(const GridText&) = delete;
  GridText& operator=(const GridText&) = delete;
};

template <class Unit>
int EncodeGrid(double lat, double lon, int characters, Unit* buffer, std::size_t size) {
  if (buffer == nullptr) return PELMORA_NULL_POINTER;
  if (size == 0) return PELMORA_BUFFER_TOO_SMALL;
  buffer[0] = 0;
  char16_t units[kGridMaxCharacters];
  GridStatus status;
  {
    const FpGuard guard;
    status = pelmora::calc::EncodeLocator(lat, lon, characters, units);
  }
  if (status != GridStatus::kOk) return StatusOf(status);
  const auto count = static_cast<std::size_t>(characters);
  if (size <= count) return PELMORA_BUFFER_TOO_SMALL;
  for (std::size_t i = 0; i < count; ++i) buffer[i] = static_cast<Unit>(units[i]);
  buffer[count] = 0;
  return PELMORA_OK;
}

template <class Unit>
int GridCell(const Unit* locator, std::size_t length, pelmora_cell* cell) {
  if (cell == nullptr) return PELMORA_NULL_POINTER;
  *cell = pelmora_cell{};
  if (const int misuse = TextMisuse(locator, length)) return misuse;
  const GridText text(locator, length);
  pelmora::calc::GridCell decoded;
  GridStatus status;
  {
    const FpGuard guard;
    status = pelmora::calc::DecodeLocator(text.text, &decoded);
  }
  if (status != GridStatus::kOk) return StatusOf(status);
  *cell = pelmora_cell{decoded.lat,    decoded.lon,   decoded.south,     decoded.west,
                       decoded.height, decoded.width, decoded.characters};
  return PELMORA_OK;
}

template <class Unit>
int GridCentre(const Unit* locator, std::size_t length, double* lat, double* lon) {
  if (lat == nullptr || lon == nullptr) return PELMORA_NULL_POINTER;
  pelmora_cell cell;
  const int status = GridCell(locator, length, &cell);
  *lat = cell.lat;
  *lon = cell.lon;
  return status;
}

template <class Unit>
int IsLocator(const Unit* text, std::size_t length, int* characters) {
  if (characters == nullptr) return PELMORA_NULL_POINTER;
  *characters = 0;
  if (const int misuse = TextMisuse(text, length)) return misuse;
  const GridText units(text, length);
  *characters = pelmora::calc::LocatorCharacters(units.text);
  return *characters != 0 ? PELMORA_OK : PELMORA_NOT_A_LOCATOR;
}

// Whether x lies in [0, top] (-0 included, NaN not), for a positive `top`:
// decided on the bits, so that no floating-point operation runs in the
// caller's environment (an ordered comparison with a NaN raises invalid,
// which a host may trap, and would leave the flag set).
bool InClosedRange(float x, float top) {
  const auto bits = std::bit_cast<std::uint32_t>(x);
  return bits <= std::bit_cast<std::uint32_t>(top) || bits == 0x80000000u;
}

pelmora_path PathOf(const pelmora::calc::Path& path) {
  return pelmora_path{path.distance, path.bearing, path.long_distance, path.long_bearing};
}

template <class Unit>
int GridPath(const Unit* from, std::size_t from_length, const Unit* to, std::size_t to_length,
             pelmora_path* path) {
  if (path == nullptr) return PELMORA_NULL_POINTER;
  *path = pelmora_path{0.0f, 0.0f, 0.0f, 0.0f};
  if (const int misuse = TextMisuse(from, from_length)) return misuse;
  if (const int misuse = TextMisuse(to, to_length)) return misuse;
  const GridText from_text(from, from_length), to_text(to, to_length);
  const FpGuard guard;
  Outcome<pelmora::calc::Path> outcome;
  const GridStatus status =
      pelmora::calc::PathBetweenLocators(from_text.text, to_text.text, &outcome);
  if (status != GridStatus::kOk) return StatusOf(status);
  *path = PathOf(outcome.value);
  return StatusOf(outcome.error);
}

}  // namespace

extern "C" {

const char* pelmora_strerror(int status) {
  switch (status) {
    case PELMORA_OK:
      return pelmora::runtime::Describe(RtError::kNone);
    case PELMORA_NULL_POINTER:
      return "Null pointer argument";
    case PELMORA_BUFFER_TOO_SMALL:
      return "Buffer too small";
    case PELMORA_NOT_A_LOCATOR:
      return "Not a locator";
    case PELMORA_OUT_OF_RANGE:
      return "Argument out of range";
    case PELMORA_LENGTH_TOO_LARGE:
      return "Length too large for any object";
    default:
      for (const pelmora::runtime::ErrorEntry& entry : pelmora::runtime::kErrorTable) {
        if (entry.number == status) return entry.description;
      }
      return "Unknown status";
  }
}

const char* pelmora_version(void) { return PELMORA_VERSION; }

int pelmora_version_number(void) { return PELMORA_VERSION_NUMBER; }

size_t pelmora_text_size(const char* text) {
  if (text == nullptr) return 0;
  std::size_t n = 0;
  while (n < PELMORA_LOCATOR_SIZE - 1 && text[n] != '\0') ++n;
  return n;
}

int pelmora_s_locator(float lat, float lon, char* buffer, size_t size) {
  return CapiTextCall(buffer, size, [&] { return pelmora::calc::sLocator(lat, lon); });
}

int pelmora_grid_from_lat_long(float lat, float lon, char* buffer, size_t size) {
  return CapiTextCall(buffer, size, [&] { return pelmora::calc::GridFromLatLong(lat, lon); });
}

int pelmora_s_locator16(float lat, float lon, pelmora_char16* buffer, size_t size) {
  return CapiTextCall(buffer, size, [&] { return pelmora::calc::sLocator(lat, lon); });
}

int pelmora_grid_from_lat_long16(float lat, float lon, pelmora_char16* buffer, size_t size) {
  return CapiTextCall(buffer, size, [&] { return pelmora::calc::GridFromLatLong(lat, lon); });
}

int pelmora_lat_from_grid(const char* grid, size_t length, float* result) {
  return DecodeUtf8(grid, length, result,
                    [](std::u16string_view units) { return pelmora::calc::LatFromGrid(units); });
}

int pelmora_long_from_grid(const char* grid, size_t length, float* result) {
  return DecodeUtf8(grid, length, result,
                    [](std::u16string_view units) { return pelmora::calc::LongFromGrid(units); });
}

int pelmora_lat_from_grid16(const pelmora_char16* grid, size_t length, float* result) {
  return DecodeUtf16(grid, length, result,
                     [](std::u16string_view units) { return pelmora::calc::LatFromGrid(units); });
}

int pelmora_long_from_grid16(const pelmora_char16* grid, size_t length, float* result) {
  return DecodeUtf16(grid, length, result,
                     [](std::u16string_view units) { return pelmora::calc::LongFromGrid(units); });
}

int pelmora_azimut(float my_lat, float my_lon, float lat, float lon, float* result) {
  pelmora::calc::BearingFields fields;
  return CapiNumberCall(result,
                        [&] { return pelmora::calc::Azimut(fields, my_lat, my_lon, lat, lon); });
}

int pelmora_azimut_fields(pelmora_bearing* fields, float my_lat, float my_lon, float lat, float lon,
                          float* result) {
  if (fields == nullptr) return PELMORA_NULL_POINTER;
  if (result == nullptr) return PELMORA_NULL_POINTER;
  pelmora::calc::BearingFields working{fields->OtherLatRad, fields->LonDiff, fields->OtherLonRad,
                                       fields->AuxAngle, fields->AzimutValue};
  const int status = CapiNumberCall(
      result, [&] { return pelmora::calc::Azimut(working, my_lat, my_lon, lat, lon); });
  *fields = pelmora_bearing{working.OtherLatRad, working.LonDiff, working.OtherLonRad,
                            working.AuxAngle, working.AzimutValue};
  return status;
}

int pelmora_distance_from(float a_lat, float a_lon, float b_lat, float b_lon, float* result) {
  return CapiNumberCall(result,
                        [&] { return pelmora::calc::DistanceFrom(a_lat, a_lon, b_lat, b_lon); });
}

int pelmora_arc_cos(float x, float* result) {
  return CapiNumberCall(result, [&] { return pelmora::calc::ArcCos(x); });
}

int pelmora_distanse(float lat, float lon, float* result) {
  return CapiNumberCall(result, [&] { return pelmora::calc::Distanse(lat, lon); });
}

int pelmora_locator(double lat, double lon, int characters, char* buffer, size_t size) {
  return EncodeGrid(lat, lon, characters, buffer, size);
}

int pelmora_locator16(double lat, double lon, int characters, pelmora_char16* buffer, size_t size) {
  return EncodeGrid(lat, lon, characters, buffer, size);
}

int pelmora_locator_centre(const char* locator, size_t length, double* lat, double* lon) {
  return GridCentre(locator, length, lat, lon);
}

int pelmora_locator_centre16(const pelmora_char16* locator, size_t length, double* lat,
                             double* lon) {
  return GridCentre(locator, length, lat, lon);
}

int pelmora_locator_cell(const char* locator, size_t length, pelmora_cell* cell) {
  return GridCell(locator, length, cell);
}

int pelmora_locator_cell16(const pelmora_char16* locator, size_t length, pelmora_cell* cell) {
  return GridCell(locator, length, cell);
}

int pelmora_is_locator(const char* text, size_t length, int* characters) {
  return IsLocator(text, length, characters);
}

int pelmora_is_locator16(const pelmora_char16* text, size_t length, int* characters) {
  return IsLocator(text, length, characters);
}

int pelmora_position_path(float my_lat, float my_lon, float lat, float lon, pelmora_path* path) {
  if (path == nullptr) return PELMORA_NULL_POINTER;
  const FpGuard guard;
  const Outcome<pelmora::calc::Path> outcome = pelmora::calc::PathBetween(my_lat, my_lon, lat, lon);
  *path = PathOf(outcome.value);
  return StatusOf(outcome.error);
}

int pelmora_grid_path(const char* from, size_t from_length, const char* to, size_t to_length,
                      pelmora_path* path) {
  return GridPath(from, from_length, to, to_length, path);
}

int pelmora_grid_path16(const pelmora_char16* from, size_t from_length, const pelmora_char16* to,
                        size_t to_length, pelmora_path* path) {
  return GridPath(from, from_length, to, to_length, path);
}

int pelmora_long_path_distance(float distance, float* result) {
  if (result == nullptr) return PELMORA_NULL_POINTER;
  *result = 0.0f;
  if (!InClosedRange(distance, pelmora::calc::kLongestShortPath)) return PELMORA_OUT_OF_RANGE;
  const FpGuard guard;
  *result = pelmora::calc::LongPathDistance(distance);
  return PELMORA_OK;
}

int pelmora_long_path_bearing(float bearing, float* result) {
  if (result == nullptr) return PELMORA_NULL_POINTER;
  *result = 0.0f;
  if (!InClosedRange(bearing, 360.0f)) return PELMORA_OUT_OF_RANGE;
  const FpGuard guard;
  *result = pelmora::calc::LongPathBearing(bearing);
  return PELMORA_OK;
}

}  // extern "C"
