// The floating-point environment of a call into Pelmora.dll.
//
// The DLL runs inside other people's processes, whose floating-point control
// is theirs: programs built with Delphi unmask invalid operation, division by
// zero and overflow (x87 control 0x1332, MXCSR 0x1900), Direct3D sets the x87
// precision to 24 bits, others round upwards, downwards or toward zero, or
// flush denormals to zero. In such a host the calculations would raise
// hardware exceptions (an ordered comparison with a NaN, a real division by
// zero, an overflow) or give other bits.
//
// FpEnvironment is the guard every entry that computes holds while it runs:
//   on entry  it keeps the caller's x87 control and status words and MXCSR,
//             and sets the DLL's own environment: round to nearest, every
//             exception masked, no flush to zero or denormals-are-zero, x87
//             precision 64 bits;
//   on exit   it gives the caller back its control and status exactly: the
//             flags our arithmetic raised do not appear, the flags the caller
//             had stay, and so do its x87 condition codes.
// The calculations never read the hardware flags (runtime/fp_status.h derives
// every condition from operands and results), so the flags they raise are
// only noise to be taken away.
//
// The x87 unit: every calculation is SSE2 arithmetic, and the sine, cosine
// and arc tangent are our own (runtime/trig.h), so no result depends on the
// x87 precision or rounding. On i686 the calling convention still moves
// float and double return values through the x87 stack (fld, fstp), and a
// signalling NaN loaded there raises invalid: the control word is set to
// mask every exception (precision 64 bits, what MinGW programs run with),
// and the status word is given back as the caller had it. On x86_64 nothing
// in the DLL executes an x87 instruction, so the x87 state is neither read
// nor written there and only MXCSR is guarded.
//
// The x87 register stack is not touched: the calling convention hands it
// over empty and our code leaves it so.
//
// Cost (bench/fp_environment_bench.cpp): reading MXCSR and the x87 status
// word dominate; loading the x87 environment, needed only when a call
// changed the x87 status word, costs as much again.
//
// The same code serves i686 and x86_64.
#pragma once

#include <xmmintrin.h>

#include <cstdint>

namespace pelmora::component {

class FpEnvironment {
 public:
  // Round to nearest, every exception masked, precision 64 bits.
  static constexpr std::uint16_t kX87Control = 0x037F;
  // Round to nearest, every exception masked, flags clear, no FTZ or DAZ.
  static constexpr std::uint32_t kMxcsr = 0x1F80;

  // Reading MXCSR and the x87 status word are the costly steps (a few
  // nanoseconds each); writing MXCSR or the control word costs less than a
  // test of whether it is needed, so both are written every time.
  FpEnvironment() noexcept {
#if defined(__i386__)
    __asm__ volatile("fnstcw %0" : "=m"(x87_control_)::"memory");
    __asm__ volatile("fnstsw %0" : "=m"(x87_status_)::"memory");
#endif
    mxcsr_ = _mm_getcsr();
    _mm_setcsr(kMxcsr);
#if defined(__i386__)
    const std::uint16_t control = kX87Control;
    __asm__ volatile("fldcw %0" ::"m"(control) : "memory");
#endif
  }

  ~FpEnvironment() {
    _mm_setcsr(mxcsr_);
#if defined(__i386__)
    std::uint16_t status;
    __asm__ volatile("fnstsw %0" : "=m"(status)::"memory");
    if (status == x87_status_) {
      __asm__ volatile("fldcw %0" ::"m"(x87_control_) : "memory");
    } else {
      RestoreControlAndStatus();
    }
#endif
  }

  FpEnvironment(const FpEnvironment&) = delete;
  FpEnvironment& operator=(const FpEnvironment&) = delete;

 private:
  // The x87 status word can only be written through the environment, which
  // is loaded here whole: the caller's control and status words, an empty
  // register stack (as the calling convention hands it over and our code
  // leaves it), no last instruction. If the caller's control unmasks a flag
  // its status holds, its next x87 instruction traps, as it would have
  // without the call. Taken only when a call changed the status word (a
  // signalling NaN passed through the x87 stack raises invalid).
  void RestoreControlAndStatus() const {
    const std::uint32_t environment[7] = {x87_control_, x87_status_, 0xFFFF, 0, 0, 0, 0};
    __asm__ volatile("fldenv %0" ::"m"(environment) : "memory");
  }

  std::uint16_t x87_control_ = 0;
  std::uint16_t x87_status_ = 0;
  std::uint32_t mxcsr_;
};

}  // namespace pelmora::component
