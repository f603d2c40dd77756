#include "calc/lanes.h"

#include <cstdlib>

namespace pelmora::calc::lanes {

namespace {

bool Detect() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") == 0 || __builtin_cpu_supports("fma") == 0) return false;
  const char* off = std::getenv("PELMORA_NO_AVX2");
  return off == nullptr || off[0] == '\0';
#else
  return false;
#endif
}

// Decided at the first use.
bool Allowed() {
  static const bool allowed = Detect();
  return allowed;
}

bool switched_off = false;

}  // namespace

bool Enabled() { return !switched_off && Allowed(); }

bool Use(bool lanes) {
  switched_off = !lanes;
  return Enabled();
}

unsigned Distance(Group&) { return 0; }
unsigned Azimut(Group&) { return 0; }

}  // namespace pelmora::calc::lanes
