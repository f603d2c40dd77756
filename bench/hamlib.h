// Hamlib in the benchmarks: its debug messages silenced while a call is
// timed (see hamlib_stubs.c).
#pragma once

#include <benchmark/benchmark.h>

extern "C" {
extern int pelmora_hamlib_silenced;
extern long pelmora_hamlib_snprintf_calls;
extern long pelmora_hamlib_rig_debug_calls;
extern long pelmora_hamlib_add2debugmsgsave_calls;
}

namespace pelmora::bench {

// Silences Hamlib's message formatting for its lifetime, and at its end
// fails the benchmark unless every stub was reached.
class HamlibTimed {
 public:
  explicit HamlibTimed(benchmark::State& state)
      : state_(state),
        snprintf_(pelmora_hamlib_snprintf_calls),
        rig_debug_(pelmora_hamlib_rig_debug_calls),
        add2debugmsgsave_(pelmora_hamlib_add2debugmsgsave_calls) {
    pelmora_hamlib_silenced = 1;
  }
  ~HamlibTimed() {
    pelmora_hamlib_silenced = 0;
    if (pelmora_hamlib_snprintf_calls == snprintf_ ||
        pelmora_hamlib_rig_debug_calls == rig_debug_ ||
        pelmora_hamlib_add2debugmsgsave_calls == add2debugmsgsave_) {
      state_.SkipWithError("Hamlib's debug stubs were not reached");
    }
  }
  HamlibTimed(const HamlibTimed&) = delete;
  HamlibTimed& operator=(const HamlibTimed&) = delete;

 private:
  benchmark::State& state_;
  long snprintf_;
  long rig_debug_;
  long add2debugmsgsave_;
};

}  // namespace pelmora::bench
