// The floating-point environment of a call into Pelmora: the guard every
// entry that computes holds while it runs, in Pelmora.dll and in libpelmora.
//
// Pelmora runs inside other people's processes, whose floating-point control
// is theirs: programs built with Delphi unmask invalid operation, division by
// zero and overflow (x87 control 0x1332, MXCSR 0x1900), Direct3D sets the x87
// precision to 24 bits, others round upwards, downwards or toward zero, or
// flush denormals to zero. In such a host the calculations would raise
// hardware exceptions (an ordered comparison with a NaN, a real division by
// zero, an overflow) or give other bits.
//
// FpGuard, for the length of a call:
//   on entry  keeps the caller's environment and sets ours: round to nearest,
//             every exception masked, no flush to zero or denormals-are-zero
//             (x87 precision 64 bits where the x87 unit is guarded);
//   on exit   gives the caller back its control and flags exactly: the flags
//             our arithmetic raised do not appear, the flags the caller had
//             stay, and so do its x87 condition codes.
// The calculations never read the hardware flags (runtime/fp_status.h derives
// every condition from operands and results), so the flags they raise are
// only noise to be taken away, and the flags the caller had may stay set
// during the call.
//
// x86 (i686 with SSE2 arithmetic, x86_64): MXCSR, written only when it must
// change. Two costs dominate on current cores (bench/fp_environment_bench.cpp,
// capi/bench/capi_bench.cpp): writing MXCSR (ldmxcsr), and far more, an
// operation that raises a flag MXCSR does not hold yet; reading MXCSR costs
// under a nanosecond. So the flags are never cleared for the call. On entry
// MXCSR is written only when its control part is not ours or the inexact
// flag, which nearly every calculation raises, is missing (it is set then);
// on exit only when it differs from the caller's. A caller with the inexact
// flag set, as every program has after its first rounded operation, pays for
// two reads.
//
// The x87 unit, on i686 only: every calculation is SSE2 arithmetic, and the
// sine, cosine and arc tangent are our own (runtime/trig.h), so no result
// depends on the x87 precision or rounding. The i686 calling convention still
// moves float and double return values through the x87 stack (fld, fstp), and
// a signalling NaN loaded there raises invalid: the control word is set to
// mask every exception (precision 64 bits, what MinGW programs run with), and
// the status word is given back as the caller had it. Reading the status word
// is the costly step; loading the x87 environment, needed only when a call
// changed the status word, costs as much again. On x86_64 nothing of ours
// executes an x87 instruction, so the x87 state is neither read nor written.
// The x87 register stack is not touched: the calling convention hands it over
// empty and our code leaves it so.
//
// Elsewhere (AArch64, ARM, ...): <fenv.h>, the caller's environment saved
// with fegetenv, the default one (round to nearest, non-stop, flags clear;
// on AArch64 and ARM also no flush to zero) set, the caller's set back.
#pragma once

#if defined(__i386__) && !defined(__SSE2_MATH__)
// x87 arithmetic would carry excess precision between the rounding points.
#error "build Pelmora for i386 with SSE2 arithmetic: -msse2 -mfpmath=sse"
#endif
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
#error "Pelmora needs float arithmetic evaluated in float (FLT_EVAL_METHOD 0)"
#endif

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>

#include <cstdint>

namespace pelmora::runtime {

class FpGuard {
 public:
  // MXCSR as it is at this point: a volatile read, which the compiler
  // neither drops nor merges with another (it may take two reads with
  // nothing between them that writes MXCSR for one).
  static std::uint32_t ReadMxcsr() noexcept {
    std::uint32_t value;
    __asm__ volatile("stmxcsr %0" : "=m"(value));
    return value;
  }

  // MXCSR: round to nearest, every exception masked, no FTZ or DAZ (flags
  // apart).
  static constexpr std::uint32_t kMxcsrControl = 0x1F80;
  static constexpr std::uint32_t kMxcsrFlags = 0x003F;
  static constexpr std::uint32_t kMxcsrInexact = 0x0020;
  // x87 control word: round to nearest, every exception masked, precision
  // 64 bits.
  static constexpr std::uint16_t kX87Control = 0x037F;

  FpGuard() noexcept : mxcsr_(ReadMxcsr()) {
#if defined(__i386__)
    __asm__ volatile("fnstcw %0" : "=m"(x87_control_)::"memory");
    __asm__ volatile("fnstsw %0" : "=m"(x87_status_)::"memory");
#endif
    if ((mxcsr_ & ~kMxcsrFlags) != kMxcsrControl || (mxcsr_ & kMxcsrInexact) == 0)
      _mm_setcsr(kMxcsrControl | kMxcsrInexact | (mxcsr_ & kMxcsrFlags));
#if defined(__i386__)
    const std::uint16_t control = kX87Control;
    __asm__ volatile("fldcw %0" ::"m"(control) : "memory");
#endif
  }

  ~FpGuard() {
    if (ReadMxcsr() != mxcsr_) _mm_setcsr(mxcsr_);
#if defined(__i386__)
    std::uint16_t status;
    __asm__ volatile("fnstsw %0" : "=m"(status)::"memory");
    if (status == x87_status_) {
      __asm__ volatile("fldcw %0" ::"m"(x87_control_) : "memory");
    } else {
      RestoreX87ControlAndStatus();
    }
#endif
  }

  FpGuard(const FpGuard&) = delete;
  FpGuard& operator=(const FpGuard&) = delete;

 private:
#if defined(__i386__)
  // The x87 status word can only be written through the environment, which
  // is loaded here whole: the caller's control and status words, an empty
  // register stack (as the calling convention hands it over and our code
  // leaves it), no last instruction. If the caller's control unmasks a flag
  // its status holds, its next x87 instruction traps, as it would have
  // without the call. Taken only when a call changed the status word (a
  // signalling NaN passed through the x87 stack raises invalid).
  void RestoreX87ControlAndStatus() const {
    const std::uint32_t environment[7] = {x87_control_, x87_status_, 0xFFFF, 0, 0, 0, 0};
    __asm__ volatile("fldenv %0" ::"m"(environment) : "memory");
  }

  std::uint16_t x87_control_ = 0;
  std::uint16_t x87_status_ = 0;
#endif
  std::uint32_t mxcsr_;
};

}  // namespace pelmora::runtime

#else
#include <cfenv>

namespace pelmora::runtime {

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

}  // namespace pelmora::runtime
#endif
