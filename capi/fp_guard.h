// The floating-point environment of a call into libpelmora.
//
// The calculations need round to nearest, no flush to zero and no trapping
// exception; the host program may have set anything. FpGuard holds the
// library's environment for the length of a call and gives the caller's
// back exactly (control and flags), as the DLL does on every entry.
//
//   x86 (i686 with SSE2, x86_64): the DLL's own guard, MXCSR (and on i686
//                                 the x87 control and status words) kept and
//                                 set directly (component/fp_environment.h).
//   elsewhere:                    <fenv.h>: the caller's environment saved
//                                 with fegetenv, the default one (round to
//                                 nearest, non-stop, flags clear) set, the
//                                 caller's set back. On AArch64 and ARM the
//                                 default environment also clears flush to
//                                 zero.
#pragma once

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#include "component/fp_environment.h"

namespace pelmora::capi {
using FpGuard = component::FpEnvironment;
}  // namespace pelmora::capi

#else
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
