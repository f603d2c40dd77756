// Great-circle distance, its arc cosine, and the method that always yields 0.
#pragma once

#include "runtime/errors.h"

namespace pelmora::calc {

// Where DistanceFrom obtains its arc cosine. The component hands it the
// object's own interface; a failure reported here ends DistanceFrom with
// that error.
class ArcCosCallee {
 public:
  virtual runtime::RtError Call(float X, float& A) = 0;

 protected:
  ~ArcCosCallee() = default;
};

// Always succeeds.
runtime::Outcome<float> ArcCos(float X);

runtime::Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon,
                                     ArcCosCallee& arcCos);

// The same, with the ArcCos calculation as the callee.
runtime::Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon);

// 0.0 with success, whatever the inputs.
runtime::Outcome<float> Distanse(float lnLatitude, float lnLongitude);

}  // namespace pelmora::calc
