#include "calc/path.h"

#include <cstddef>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"

namespace pelmora::calc {

namespace {

// The one rounding to float32 of each long-path result.
float StoreFloat32(double x) { return static_cast<float>(x); }

// DistanceFrom's half great circle (distance.cpp), 20001.600000000002 km:
// twice it plus 1 is exact in double.
constexpr double kHalfGreatCircle = 0x1.3886666666667p+14;
constexpr double kWholeCirclePlusOne = 2.0 * kHalfGreatCircle + 1.0;
constexpr double kWholeCirclePlusHalf = 2.0 * kHalfGreatCircle + 0.5;

}  // namespace

float LongPathDistance(float distance) {
  if (distance == 0.0f) return StoreFloat32(kWholeCirclePlusHalf);
  return StoreFloat32(kWholeCirclePlusOne - static_cast<double>(distance));
}

float LongPathBearing(float bearing) {
  const double b = static_cast<double>(bearing);
  return StoreFloat32(b < 180.0 ? b + 180.0 : b - 180.0);
}

runtime::Outcome<Path> PathBetween(float my_lat, float my_lon, float lat, float lon) {
  runtime::Outcome<Path> outcome;
  const runtime::Outcome<float> distance = DistanceFrom(my_lat, my_lon, lat, lon);
  BearingFields fields;
  const runtime::Outcome<float> bearing = Azimut(fields, my_lat, my_lon, lat, lon);
  outcome.value.distance = distance.ok() ? distance.value : 0.0f;
  outcome.value.long_distance = distance.ok() ? LongPathDistance(distance.value) : 0.0f;
  outcome.value.bearing = bearing.ok() ? bearing.value : 0.0f;
  outcome.value.long_bearing = bearing.ok() ? LongPathBearing(bearing.value) : 0.0f;
  outcome.error = !distance.ok() ? distance.error : bearing.error;
  return outcome;
}

GridStatus PathCentre(std::u16string_view locator, float* lat, float* lon) {
  const std::u16string_view units = TrimSpaces(locator);
  GridCell cell;
  const GridStatus status = DecodeLocator(units, &cell);
  if (status != GridStatus::kOk) return status;
  if (cell.characters == 4 || cell.characters == 6) {
    // The DLL's centres, so that these figures stay as they have been. Both
    // succeed for every ASCII text.
    *lat = LatFromGrid(units).value;
    *lon = LongFromGrid(units).value;
  } else {
    *lat = StoreFloat32(cell.lat);
    *lon = StoreFloat32(cell.lon);
  }
  return GridStatus::kOk;
}

GridStatus PathBetweenLocators(std::u16string_view from, std::u16string_view to,
                               runtime::Outcome<Path>* outcome) {
  float from_lat = 0.0f, from_lon = 0.0f, to_lat = 0.0f, to_lon = 0.0f;
  if (PathCentre(from, &from_lat, &from_lon) != GridStatus::kOk ||
      PathCentre(to, &to_lat, &to_lon) != GridStatus::kOk) {
    *outcome = runtime::Outcome<Path>{};
    return GridStatus::kNotALocator;
  }
  *outcome = PathBetween(from_lat, from_lon, to_lat, to_lon);
  return GridStatus::kOk;
}

}  // namespace pelmora::calc
