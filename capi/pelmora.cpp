// libpelmora's C functions: each converts its arguments, calls one
// calculation of calc/ inside the floating-point guard, and turns the
// outcome into an out-parameter and a status, as each method of the DLL's
// CalcDistClass does.
#include "pelmora.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
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

// A UTF-8 locator as the UTF-16 text the decoding reads: the same result
// for every text, from at most seven units (pelmora::capi::DecodingUnits).
template <class Decode>
int DecodeUtf8(const char* grid, std::size_t length, float* result, Decode&& decode) {
  if (grid == nullptr && length != 0) return PELMORA_NULL_POINTER;
  char16_t units[pelmora::capi::kDecodingUnits];
  const std::size_t count =
      pelmora::capi::DecodingUnits(std::string_view(grid == nullptr ? "" : grid, length), units);
  return CapiNumberCall(result, [&] { return decode(std::u16string_view(units, count)); });
}

template <class Decode>
int DecodeUtf16(const pelmora_char16* grid, std::size_t length, float* result, Decode&& decode) {
  if (grid == nullptr && length != 0) return PELMORA_NULL_POINTER;
  const std::u16string_view units(grid == nullptr ? u"" : grid, length);
  return CapiNumberCall(result, [&] { return decode(units); });
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
  for (int character = 0; character < 6; ++character) {
    const auto lead = static_cast<unsigned char>(text[n]);
    n += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  }
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

}  // extern "C"
