// Entry points for the tests of the calculations: the same computations as
// the public ones, telling more about how they ended. Neither the component
// nor the benchmarks use them. Internal to calc/.
#pragma once

#include <cstdint>
#include <string_view>

#include "calc/bearing.h"
#include "calc/distance.h"
#include "runtime/code_page.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace pelmora::calc {

// ---- Bearing ----

// The bearing before its rounding to whole degrees.
struct UnroundedBearing {
  // AzimutValue after the clockwise turn, in degrees; or, when `decided`, the
  // final result of an early answer.
  float degrees = 0.0f;
  // A missing other position or equal longitudes answered without a bearing.
  bool decided = false;
};

// Azimut without its last step: the fields end as they are before the
// rounding; the errors are the same.
runtime::Outcome<UnroundedBearing> AzimutBeforeRounding(BearingFields& fields, float MyLat,
                                                        float MyLon, float lnLatitude,
                                                        float lnLongitude);

// ---- Encoding ----

// sLocator and GridFromLatLong as every input outside their plain domain
// runs them, under the full status whatever the input; inside it they must
// give the same as the methods.
runtime::Outcome<runtime::Text> CheckedSLocator(float sLat, float sLon,
                                                const runtime::CodePage& page);
runtime::Outcome<runtime::Text> CheckedGridFromLatLong(float dLat, float dLon,
                                                       const runtime::CodePage& page);

// ---- Decoding ----

// LatFromGrid and LongFromGrid as every text outside their plain domain runs
// them, with the codes from the page under the screening and the full status
// whatever the text; inside it they must give the same as the methods.
runtime::Outcome<float> CheckedLatFromGrid(std::u16string_view Grid, const runtime::CodePage& page);
runtime::Outcome<float> CheckedLongFromGrid(std::u16string_view Grid,
                                            const runtime::CodePage& page);

// Azimut as inputs outside its plain domain run it (screened on a copy of
// the fields, made again under the full status when marked), whatever the
// inputs; inside the domain it must give the same result and fields.
runtime::Outcome<float> CheckedAzimut(BearingFields& fields, float MyLat, float MyLon,
                                      float lnLatitude, float lnLongitude);

// ---- Distance ----

// Where a DistanceFrom call ended: each floating-point test has its own
// point, so a caller can tell which one caught a condition.
enum class DistanceEnd : std::uint8_t {
  kCompleted,  // every step ran
  kSamePlace,  // the equality check ended it with +0.0
  // The tests of the radian conversion: after the multiplication by pi32
  // and after the float32 store, for each input.
  kAlatProduct,
  kAlatStore,
  kAlonProduct,
  kAlonStore,
  kBlatProduct,
  kBlatStore,
  kBlonProduct,
  kBlonStore,
  kDifference,  // after the longitude difference
  kCosineSum,   // after the sum of X, before its rounding
  kArcCos,      // the callee reported a failure
  kScaled,      // after the store of the scaled distance
  kHalfAdded,   // after the store of the distance plus 0.5
};

struct DistanceRun {
  runtime::Outcome<float> outcome;
  DistanceEnd end = DistanceEnd::kCompleted;
};

// DistanceFrom, telling where it ended.
DistanceRun TraceDistanceFrom(float alat, float alon, float blat, float blon, ArcCosCallee& arcCos);

// TraceDistanceFrom as inputs outside its plain domain run it (the part
// before the arc cosine screened, and made again under the full status when
// marked), whatever the inputs; and ArcCos likewise. Inside their plain
// domains they must give the same as the methods.
DistanceRun CheckedDistanceFrom(float alat, float alon, float blat, float blon,
                                ArcCosCallee& arcCos);
float CheckedArcCos(float X);

}  // namespace pelmora::calc
