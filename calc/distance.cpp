#include "calc/distance.h"

#include <cmath>
#include <limits>

#include "calc/arithmetic.h"
#include "calc/measure.h"
#include "runtime/fp_screen.h"
#include "runtime/no_status.h"
#include "runtime/numeric.h"
#include "runtime/resume_next.h"

namespace pelmora::calc {

namespace {

// pi32 is the multiplier of the radian conversion, and widened the divisor
// of the scaling.
constexpr double kPi32Wide = static_cast<double>(kPi32);

// Half a great circle in km: 20001.600000000002, one unit in the last place
// above the double nearest to 20001.6.
constexpr double kHalfGreatCircle = 0x1.3886666666667p+14;

// The double nearest to 1e-8, which replaces a zero root.
constexpr double kZeroRoot = 1e-8;

struct Conversion {
  DistanceEnd product;  // the test after the multiplication
  DistanceEnd store;    // the test after the float32 store
};

}  // namespace

namespace {

// ArcCos under either status (runtime::FpStatus or runtime::FpScreen).
template <class Status>
[[gnu::always_inline]] inline float ArcCosRun(Status& fp, float X) {
  runtime::ResumeNext resume(fp);
  double root = 0.0;
  float result = 0.0f;

  // root = sqrt(-X * X + 1). For |X| > 1 the square root raises the
  // invalid-argument error and root keeps its 0.
  resume.Statement([&] {
    const double x = fp.Widen(X);
    const double radicand = fp.Add(fp.Mul(-x, x), fp.Widen(1.0f));
    if (FpTestFails(fp)) return kFpError;
    const Outcome<double> r = runtime::Sqrt(radicand);
    if (!r) return r.error;
    root = r.value;
    return RtError::kNone;
  });

  // At X = +-1, and when the root was abandoned, the division below would
  // be by zero.
  resume.Statement([&] {
    if (root == 0.0) root = kZeroRoot;
    return RtError::kNone;
  });

  // result = atan(-X / root) + 2 * atan(1). The arc tangent of 1 is taken
  // first and held as a double; the sum is the only float32 rounding.
  resume.Statement([&] {
    const double quarter_turn = fp.Atan(1.0);
    const double quotient = fp.Div(-fp.Widen(X), root);
    if (FpTestFails(fp)) return kFpError;
    const double sum = fp.Add(fp.Atan(quotient), fp.Mul(2.0, quarter_turn));
    if (FpTestFails(fp)) return kFpError;
    const float stored = fp.Store(sum);
    if (FpTestFails(fp)) return kFpError;
    result = stored;
    return RtError::kNone;
  });

  return result;
}

[[gnu::noinline, gnu::cold]] float ExactArcCos(float X) {
  FpStatus fp;
  return ArcCosRun(fp, X);
}

// ArcCos under the screening status, and again under FpStatus when marked.
[[gnu::noinline]] float ScreenedArcCos(float X) {
  runtime::FpScreen screen;
  const float result = ArcCosRun(screen, X);
  if (screen.Pending()) [[unlikely]] {
    return ExactArcCos(X);
  }
  return result;
}

// ArcCos's value (it always succeeds). The plain domain is -1 <= X <= 1
// (no NaN passes). Inside it no step of ArcCosRun can signal:
//   - X is finite and not a signalling NaN, so its widenings record nothing;
//   - x * x is exact in double (two 24-bit significands) and at most 1, so
//     the radicand -x * x + 1 lies in [0, 1]: finite and not negative, and
//     its square root succeeds;
//   - the root is then in [0, 1], replaced by 1e-8 when 0, so -X / root is
//     finite (at most 1e8 in magnitude) and no division is by zero;
//   - the arc tangents of finite values are finite (within pi / 2), and so
//     are twice the one of 1, their sum (within 3 pi / 2) and its float32
//     store.
// So the same statements run under NoStatus.
[[gnu::always_inline]] inline float ArcCosValue(float X) {
  if (X >= -1.0f && X <= 1.0f) [[likely]] {
    runtime::NoStatus fp;
    return ArcCosRun(fp, X);
  }
  return ScreenedArcCos(X);
}

class ArcCosCalculation final : public ArcCosCallee {
 public:
  RtError Call(float X, float& A) override {
    A = ArcCosValue(X);
    return RtError::kNone;
  }
};

// How the part before the arc cosine ended: with the end of the whole call
// (the same place, or a failed test), or with the cosine X of the central
// angle.
struct CentralCosine {
  bool ended = false;
  DistanceRun run;
  float X = 0.0f;
};

template <class Status>
[[gnu::always_inline]] inline CentralCosine CosineOfCentralAngle(Status& fp, float alat, float alon,
                                                                 float blat, float blon) {
  const float result = 0.0f;
  // A failed floating-point test at `where`.
  const auto end = [&](DistanceEnd where) {
    return CentralCosine{true, {Failure(kFpError, result), where}, 0.0f};
  };

  // Exact comparison, +0 equal to -0. Both comparisons are made, so a NaN
  // in either pair is always signalled; a NaN is never the same place, and
  // the first test of the conversion ends the call.
  const bool same_lat = fp.SignallingEqual(AsDouble(alat), AsDouble(blat));
  const bool same_lon = fp.SignallingEqual(AsDouble(alon), AsDouble(blon));
  if (same_lat && same_lon) {
    return CentralCosine{true, {runtime::Success(0.0f), DistanceEnd::kSamePlace}, 0.0f};
  }

  // Degrees to radians, in the order alat, alon, blat, blon: the product
  // with pi32 is tested, then the quotient by 180 is stored and tested.
  const float degrees[4] = {alat, alon, blat, blon};
  static constexpr Conversion kTests[4] = {{DistanceEnd::kAlatProduct, DistanceEnd::kAlatStore},
                                           {DistanceEnd::kAlonProduct, DistanceEnd::kAlonStore},
                                           {DistanceEnd::kBlatProduct, DistanceEnd::kBlatStore},
                                           {DistanceEnd::kBlonProduct, DistanceEnd::kBlonStore}};
  float radians[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  for (int i = 0; i < 4; ++i) {
    const double product = fp.Mul(fp.Widen(degrees[i]), kPi32Wide);
    if (FpTestFails(fp)) return end(kTests[i].product);
    radians[i] = fp.Store(fp.Div(product, 180.0));
    if (FpTestFails(fp)) return end(kTests[i].store);
  }
  const float phi_a = radians[0];
  const float lambda_a = radians[1];
  const float phi_b = radians[2];
  const float lambda_b = radians[3];

  // The sines and cosines, each latitude's pair from one reduction, are
  // stored without a test of their own; a condition they raise is caught by
  // the next test.
  const runtime::SineCosine trig_a = fp.SinCos(AsDouble(phi_a));
  const runtime::SineCosine trig_b = fp.SinCos(AsDouble(phi_b));
  const float sin_phi_a = fp.Store(trig_a.sin);
  const float sin_phi_b = fp.Store(trig_b.sin);
  const float cos_phi_a = fp.Store(trig_a.cos);
  const float cos_phi_b = fp.Store(trig_b.cos);

  // b minus a; exchanging the points negates the difference, which leaves
  // its cosine unchanged.
  const double lon_diff = fp.Sub(AsDouble(lambda_b), AsDouble(lambda_a));
  if (FpTestFails(fp)) return end(DistanceEnd::kDifference);
  const float cos_lon_diff = fp.Store(fp.Cos(lon_diff));

  // The cosine of the central angle, multiplied in this order; both products
  // commute, so the sum does not depend on which point is a.
  const double cosine_sum =
      fp.Add(fp.Mul(fp.Mul(AsDouble(cos_phi_b), AsDouble(cos_phi_a)), AsDouble(cos_lon_diff)),
             fp.Mul(AsDouble(sin_phi_b), AsDouble(sin_phi_a)));
  if (FpTestFails(fp)) return end(DistanceEnd::kCosineSum);
  // A store overflow here stays pending until the test after the scaling.
  return CentralCosine{false, {}, fp.Store(cosine_sum)};
}

// The part after the arc cosine A: the scaling to km and the half added.
template <class Status>
[[gnu::always_inline]] inline DistanceRun Kilometres(Status& fp, float A) {
  float result = fp.Store(fp.Div(fp.Mul(fp.Widen(A), kHalfGreatCircle), kPi32Wide));
  if (FpTestFails(fp)) return {Failure(kFpError, result), DistanceEnd::kScaled};

  result = fp.Store(fp.Add(AsDouble(result), 0.5));
  if (FpTestFails(fp)) return {Failure(kFpError, result), DistanceEnd::kHalfAdded};

  return {runtime::Success(result), DistanceEnd::kCompleted};
}

// The whole call under FpStatus, for inputs the screen marked.
[[gnu::noinline, gnu::cold]] DistanceRun ExactDistance(float alat, float alon, float blat,
                                                       float blon, ArcCosCallee& arcCos) {
  FpStatus fp;
  const CentralCosine cosine = CosineOfCentralAngle(fp, alat, alon, blat, blon);
  if (cosine.ended) return cosine.run;
  float A = 0.0f;
  if (const RtError e = arcCos.Call(cosine.X, A); e != RtError::kNone) {
    return {Failure(e, 0.0f), DistanceEnd::kArcCos};
  }
  return Kilometres(fp, A);
}

}  // namespace

Outcome<float> ArcCos(float X) { return runtime::Success(ArcCosValue(X)); }

// The part before the arc cosine runs under a status chosen from the inputs;
// the short part after it runs under FpStatus alone. The callee, which a
// caller may replace and which may have effects of its own, is called once,
// and only after the part before it passed.
namespace {

// The part before the arc cosine under runtime::FpScreen; `exact` when the
// screen was marked and the whole call must be made again under FpStatus.
[[gnu::noinline]] CentralCosine ScreenedCosine(float alat, float alon, float blat, float blon,
                                               bool& exact) {
  runtime::FpScreen screen;
  const CentralCosine cosine = CosineOfCentralAngle(screen, alat, alon, blat, blon);
  exact = screen.Pending();
  return cosine;
}

// The plain domain: all four inputs finite. Inside it nothing before the arc
// cosine can signal:
//   - the equality checks compare finite values, never a NaN;
//   - each input is finite and not a signalling NaN, so its widening records
//     nothing; times pi32 it stays below 1.1e39, finite in double; over 180
//     below 6e36, which a float32 store holds without overflow;
//   - the sines and cosines of finite arguments are finite, within [-1, 1],
//     and so are their float32 stores;
//   - the longitude difference of two finite float32 values is finite, and
//     so is its cosine;
//   - the products of values within [-1, 1] and their sum, within [-2, 2],
//     are finite, and so is the store of the sum.
// So the part before the arc cosine runs under NoStatus. Any other input
// runs it under the screen, and again under FpStatus when marked.
inline bool PlainInputs(float alat, float alon, float blat, float blon) {
  constexpr float kMax = std::numeric_limits<float>::max();
  return std::fabs(alat) <= kMax && std::fabs(alon) <= kMax && std::fabs(blat) <= kMax &&
         std::fabs(blon) <= kMax;
}

template <bool kPlainAllowed>
[[gnu::always_inline]] inline DistanceRun Distance(float alat, float alon, float blat, float blon,
                                                   ArcCosCallee& arcCos) {
  CentralCosine cosine;
  if (kPlainAllowed && PlainInputs(alat, alon, blat, blon)) [[likely]] {
    runtime::NoStatus fp;
    cosine = CosineOfCentralAngle(fp, alat, alon, blat, blon);
  } else {
    bool exact = false;
    cosine = ScreenedCosine(alat, alon, blat, blon, exact);
    if (exact) [[unlikely]] {
      return ExactDistance(alat, alon, blat, blon, arcCos);
    }
  }
  if (cosine.ended) return cosine.run;

  float A = 0.0f;
  if (const RtError e = arcCos.Call(cosine.X, A); e != RtError::kNone) {
    return {Failure(e, 0.0f), DistanceEnd::kArcCos};
  }

  FpStatus fp;
  return Kilometres(fp, A);
}

}  // namespace

DistanceRun TraceDistanceFrom(float alat, float alon, float blat, float blon,
                              ArcCosCallee& arcCos) {
  return Distance<true>(alat, alon, blat, blon, arcCos);
}

DistanceRun CheckedDistanceFrom(float alat, float alon, float blat, float blon,
                                ArcCosCallee& arcCos) {
  return Distance<false>(alat, alon, blat, blon, arcCos);
}

float CheckedArcCos(float X) { return ScreenedArcCos(X); }

Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon, ArcCosCallee& arcCos) {
  return Distance<true>(alat, alon, blat, blon, arcCos).outcome;
}

Outcome<float> DistanceFrom(float alat, float alon, float blat, float blon) {
  ArcCosCalculation arcCos;
  return Distance<true>(alat, alon, blat, blon, arcCos).outcome;
}

Outcome<float> Distanse(float, float) { return runtime::Success(0.0f); }

}  // namespace pelmora::calc
