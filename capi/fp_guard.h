// The floating-point environment of a call into libpelmora.
//
// The calculations need round to nearest, no flush to zero and no trapping
// exception; the host program may have set anything. FpGuard holds the
// library's environment for the length of a call and gives the caller's
// back exactly (control and flags), as the DLL does on every entry.
//
//   x86_64:                 MXCSR only (no x87 instruction runs in the
//                           library), written only when it must change.
//                           Two costs dominate on current cores (measured
//                           by capi/bench/capi_bench.cpp): writing MXCSR
//                           (ldmxcsr), and far more, an operation that
//                           raises a flag MXCSR does not hold yet. Reading
//                           MXCSR costs under a nanosecond. So the flags are
//                           never cleared for the call: the calculations
//                           never read them (runtime/fp_status.h derives
//                           every condition from operands and results).
//                           On entry MXCSR is written only when its control
//                           part is not ours or the inexact flag, which
//                           nearly every calculation raises, is missing
//                           (it is set then); on exit only when it differs
//                           from the caller's. A caller with the inexact
//                           flag set, as every program has after its first
//                           rounded operation, pays for two reads.
//   i686 with SSE2:         the DLL's own guard, MXCSR and the x87 control and
//                           status words (component/fp_environment.h).
//   elsewhere:              <fenv.h>: the caller's environment saved with
//                           fegetenv, the default one (round to nearest,
//                           non-stop, flags clear) set, the caller's set
//                           back. On AArch64 and ARM the default
//                           environment also clears flush to zero.
#pragma once

#if defined(__x86_64__)
#include <xmmintrin.h>

#include <cstdint>

namespace pelmora::capi {

class FpGuard {
 public:
  // Round to nearest, every exception masked, no FTZ or DAZ (flags apart).
  static constexpr std::uint32_t kControl = 0x1F80;
  static constexpr std::uint32_t kFlags = 0x003F;
  static constexpr std::uint32_t kInexact = 0x0020;

  FpGuard() noexcept : caller_(_mm_getcsr()) {
    if ((caller_ & ~kFlags) != kControl || (caller_ & kInexact) == 0)
      _mm_setcsr(kControl | kInexact | (caller_ & kFlags));
  }
  ~FpGuard() {
    if (_mm_getcsr() != caller_) _mm_setcsr(caller_);
  }
  FpGuard(const FpGuard&) = delete;
  FpGuard& operator=(const FpGuard&) = delete;

 private:
  std::uint32_t caller_;
};

}  // namespace pelmora::capi

#elif defined(__i386__) && defined(__SSE2_MATH__)
#include "component/fp_environment.h"

namespace pelmora::capi {
using FpGuard = component::FpEnvironment;
}  // namespace pelmora::capi

#else
#if defined(__i386__) || (defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0)
// x87 arithmetic would carry excess precision between the rounding points.
#error "build libpelmora for i386 with SSE2 arithmetic: -msse2 -mfpmath=sse"
#endif
#include <cfenv>

namespace pelmora::capi {

class FpGuard {
 public:
  FpGuard() noexcept {
    std::fegetenv(&caller_);
    std::fesetenv(FE_DFL_ENV);
  }
  ~FpGuard() { std::fesetenv(&caller_); }
  FpGuard(const FpGuard&) = delete;
  FpGuard& operator=(const FpGuard&) = delete;

 private:
  std::fenv_t caller_;
};

}  // namespace pelmora::capi
#endif
