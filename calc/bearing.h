// Bearing in whole degrees from one position to another.
#pragma once

#include "runtime/errors.h"

namespace pelmora::calc {

// The working values of a bearing, in this order; the component's instance
// owns one and hands it to every call.
struct BearingFields {
  float OtherLatRad = 0.0f;
  float LonDiff = 0.0f;
  float OtherLonRad = 0.0f;
  float AuxAngle = 0.0f;
  float AzimutValue = 0.0f;
};

runtime::Outcome<float> Azimut(BearingFields& fields, float MyLat, float MyLon, float lnLatitude,
                               float lnLongitude);

struct UnroundedBearing {
  float degrees = 0.0f;
  bool decided = false;
};

runtime::Outcome<UnroundedBearing> AzimutBeforeRounding(BearingFields& fields, float MyLat,
                                                        float MyLon, float lnLatitude,
                                                        float lnLongitude);

}  // namespace pelmora::calc
