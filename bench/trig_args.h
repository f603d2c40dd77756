// The arguments of the sine, cosine and arc tangent benchmarks, natively and
// under Wine: what the calculations pass (float32 radians within two turns,
// widened) and arc tangent arguments like the bearing's quotients.
#pragma once

#include <cstdint>
#include <vector>

namespace pelmora::bench {

inline std::vector<double> TrigArguments(double span, bool float32) {
  std::vector<double> args(4096);
  std::uint64_t state = 12345;
  for (double& x : args) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const double u = static_cast<double>(state >> 11) * 0x1p-53;  // [0, 1)
    x = (2.0 * u - 1.0) * span;
    if (float32) x = static_cast<double>(static_cast<float>(x));
  }
  return args;
}

}  // namespace pelmora::bench
