// Arguments shared by the sine, cosine and arc tangent tests: the portable
// test pins results that the native MPFR comparison proves correctly rounded.
#pragma once

#include <bit>
#include <cstdint>

#include "runtime/trig.h"

namespace pelmora::test {

enum class TrigFunction { kSin, kCos, kAtan };

// The function of runtime/trig.h at x, and its name.
inline double Apply(TrigFunction f, double x) {
  switch (f) {
    case TrigFunction::kSin:
      return runtime::Sin(x);
    case TrigFunction::kCos:
      return runtime::Cos(x);
    case TrigFunction::kAtan:
      return runtime::Atan(x);
  }
  return 0.0;
}

inline const char* Name(TrigFunction f) {
  return f == TrigFunction::kSin ? "sin" : f == TrigFunction::kCos ? "cos" : "atan";
}

// A deterministic stream of 64-bit words (splitmix64).
class TrigStream {
 public:
  explicit TrigStream(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
  }
  // Uniform in [-span, span).
  double Uniform(double span) { return (static_cast<double>(Next() >> 11) * 0x1p-52 - 1.0) * span; }

 private:
  std::uint64_t state_;
};

// The arguments the calculations pass: float32 values widened to double.
// Half of them any finite float32 bit pattern, half float32 radians within
// two turns.
inline double WidenedFloat(TrigStream& stream) {
  const std::uint64_t word = stream.Next();
  if ((word & 1) != 0) {
    std::uint32_t bits = static_cast<std::uint32_t>(word >> 32);
    if ((bits & 0x7F800000u) == 0x7F800000u) bits &= 0xBF7FFFFFu;  // finite
    return static_cast<double>(std::bit_cast<float>(bits));
  }
  return static_cast<double>(static_cast<float>(stream.Uniform(6.2831853071795862)));
}

// Results pinned bit for bit, correctly rounded (the MPFR test checks each
// row): arguments within an ulp of multiples of pi/2, the largest doubles,
// subnormals, and arguments whose results lie closest to a rounding
// boundary among those the long run met (past the first stages' bounds: the
// middle stages decide those).
struct TrigCase {
  TrigFunction function;
  std::uint64_t x;
  std::uint64_t result;
};

// clang-format off
inline constexpr TrigCase kTrigCases[] = {
    {TrigFunction::kSin, 0x3FF921FB54442D18u, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x3FF921FB54442D18u, 0x3C91A62633145C07u},
    {TrigFunction::kAtan, 0x3FF921FB54442D18u, 0x3FF00FE987ED02FFu},
    {TrigFunction::kSin, 0x3FF921FB54442D17u, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x3FF921FB54442D17u, 0x3CB469898CC51702u},
    {TrigFunction::kAtan, 0x3FF921FB54442D17u, 0x3FF00FE987ED02FFu},
    {TrigFunction::kSin, 0x3FF921FB54442D19u, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x3FF921FB54442D19u, 0xBCA72CECE675D1FDu},
    {TrigFunction::kAtan, 0x3FF921FB54442D19u, 0x3FF00FE987ED02FFu},
    {TrigFunction::kSin, 0x400921FB54442D18u, 0x3CA1A62633145C07u},
    {TrigFunction::kCos, 0x400921FB54442D18u, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x400921FB54442D18u, 0x3FF433B8A322DDD3u},
    {TrigFunction::kSin, 0x400921FB54442D17u, 0x3CC469898CC51702u},
    {TrigFunction::kCos, 0x400921FB54442D17u, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x400921FB54442D17u, 0x3FF433B8A322DDD2u},
    {TrigFunction::kSin, 0x400921FB54442D19u, 0xBCB72CECE675D1FDu},
    {TrigFunction::kCos, 0x400921FB54442D19u, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x400921FB54442D19u, 0x3FF433B8A322DDD3u},
    {TrigFunction::kSin, 0x4012D97C7F3321D2u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4012D97C7F3321D2u, 0xBCAA79394C9E8A0Au},
    {TrigFunction::kAtan, 0x4012D97C7F3321D2u, 0x3FF5C97D37D98AA4u},
    {TrigFunction::kSin, 0x4012D97C7F3321D1u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4012D97C7F3321D1u, 0xBCD34F272993D141u},
    {TrigFunction::kAtan, 0x4012D97C7F3321D1u, 0x3FF5C97D37D98AA3u},
    {TrigFunction::kSin, 0x4012D97C7F3321D3u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4012D97C7F3321D3u, 0x3CC961B1ACD85D7Du},
    {TrigFunction::kAtan, 0x4012D97C7F3321D3u, 0x3FF5C97D37D98AA4u},
    {TrigFunction::kSin, 0x401921FB54442D18u, 0xBCB1A62633145C07u},
    {TrigFunction::kCos, 0x401921FB54442D18u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x401921FB54442D18u, 0x3FF69B8154BAF42Eu},
    {TrigFunction::kSin, 0x401921FB54442D17u, 0xBCD469898CC51702u},
    {TrigFunction::kCos, 0x401921FB54442D17u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x401921FB54442D17u, 0x3FF69B8154BAF42Eu},
    {TrigFunction::kSin, 0x401921FB54442D19u, 0x3CC72CECE675D1FDu},
    {TrigFunction::kCos, 0x401921FB54442D19u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x401921FB54442D19u, 0x3FF69B8154BAF42Eu},
    {TrigFunction::kSin, 0x401F6A7A2955385Eu, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x401F6A7A2955385Eu, 0x3CB60FAFBFD97309u},
    {TrigFunction::kAtan, 0x401F6A7A2955385Eu, 0x3FF71B4100F09567u},
    {TrigFunction::kSin, 0x401F6A7A2955385Du, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x401F6A7A2955385Du, 0x3CD583EBEFF65CC2u},
    {TrigFunction::kAtan, 0x401F6A7A2955385Du, 0x3FF71B4100F09567u},
    {TrigFunction::kSin, 0x401F6A7A2955385Fu, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x401F6A7A2955385Fu, 0xBCC4F8282013467Cu},
    {TrigFunction::kAtan, 0x401F6A7A2955385Fu, 0x3FF71B4100F09568u},
    {TrigFunction::kSin, 0x4025FDBBE9BBA775u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4025FDBBE9BBA775u, 0xBCBEE2C2D963A10Cu},
    {TrigFunction::kAtan, 0x4025FDBBE9BBA775u, 0x3FF7AE7D7E5D1F9Fu},
    {TrigFunction::kSin, 0x4025FDBBE9BBA774u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4025FDBBE9BBA774u, 0xBCE3DC585B2C7422u},
    {TrigFunction::kAtan, 0x4025FDBBE9BBA774u, 0x3FF7AE7D7E5D1F9Fu},
    {TrigFunction::kSin, 0x4025FDBBE9BBA776u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x4025FDBBE9BBA776u, 0x3CD8474F49A717BDu},
    {TrigFunction::kAtan, 0x4025FDBBE9BBA776u, 0x3FF7AE7D7E5D1F9Fu},
    {TrigFunction::kSin, 0x402F6A7A2955385Eu, 0x3CC60FAFBFD97309u},
    {TrigFunction::kCos, 0x402F6A7A2955385Eu, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x402F6A7A2955385Eu, 0x3FF81D92DEF25F25u},
    {TrigFunction::kSin, 0x402F6A7A2955385Du, 0x3CE583EBEFF65CC2u},
    {TrigFunction::kCos, 0x402F6A7A2955385Du, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x402F6A7A2955385Du, 0x3FF81D92DEF25F25u},
    {TrigFunction::kSin, 0x402F6A7A2955385Fu, 0xBCD4F8282013467Cu},
    {TrigFunction::kCos, 0x402F6A7A2955385Fu, 0xBFF0000000000000u},
    {TrigFunction::kAtan, 0x402F6A7A2955385Fu, 0x3FF81D92DEF25F26u},
    {TrigFunction::kSin, 0x4063A28C59D5433Bu, 0x3CD1B19140C0C0D5u},
    {TrigFunction::kCos, 0x4063A28C59D5433Bu, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4063A28C59D5433Bu, 0x3FF907E7FA29D1D8u},
    {TrigFunction::kSin, 0x4063A28C59D5433Au, 0xBD1EE4E6EBF3F3F3u},
    {TrigFunction::kCos, 0x4063A28C59D5433Au, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4063A28C59D5433Au, 0x3FF907E7FA29D1D8u},
    {TrigFunction::kSin, 0x4063A28C59D5433Cu, 0x3D208D8C8A060607u},
    {TrigFunction::kCos, 0x4063A28C59D5433Cu, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4063A28C59D5433Cu, 0x3FF907E7FA29D1D8u},
    {TrigFunction::kSin, 0x40988B2F704A940Au, 0x3D32C3BEB21E1E21u},
    {TrigFunction::kCos, 0x40988B2F704A940Au, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x40988B2F704A940Au, 0x3FF91F5FC8F8730Du},
    {TrigFunction::kSin, 0x40988B2F704A9409u, 0xBD469E20A6F0F0EFu},
    {TrigFunction::kCos, 0x40988B2F704A9409u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x40988B2F704A9409u, 0x3FF91F5FC8F8730Du},
    {TrigFunction::kSin, 0x40988B2F704A940Bu, 0x3D54B0EFAC878788u},
    {TrigFunction::kCos, 0x40988B2F704A940Bu, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x40988B2F704A940Bu, 0x3FF91F5FC8F8730Du},
    {TrigFunction::kSin, 0x40D2EFDEC30A2E8Au, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x40D2EFDEC30A2E8Au, 0x3D77A454A054C327u},
    {TrigFunction::kAtan, 0x40D2EFDEC30A2E8Au, 0x3FF921C5414EE1C1u},
    {TrigFunction::kSin, 0x40D2EFDEC30A2E89u, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x40D2EFDEC30A2E89u, 0x3D95E915281530CAu},
    {TrigFunction::kAtan, 0x40D2EFDEC30A2E89u, 0x3FF921C5414EE1C1u},
    {TrigFunction::kSin, 0x40D2EFDEC30A2E8Bu, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x40D2EFDEC30A2E8Bu, 0xBD842DD5AFD59E6Cu},
    {TrigFunction::kAtan, 0x40D2EFDEC30A2E8Bu, 0x3FF921C5414EE1C1u},
    {TrigFunction::kSin, 0x4137F7EC53A8D491u, 0xBDDEACD7C60E9693u},
    {TrigFunction::kCos, 0x4137F7EC53A8D491u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4137F7EC53A8D491u, 0x3FF921FAA95FFF9Fu},
    {TrigFunction::kSin, 0x4137F7EC53A8D490u, 0xBDF7AB35F183A5A5u},
    {TrigFunction::kCos, 0x4137F7EC53A8D490u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4137F7EC53A8D490u, 0x3FF921FAA95FFF9Fu},
    {TrigFunction::kSin, 0x4137F7EC53A8D492u, 0x3DE0A9941CF8B4B6u},
    {TrigFunction::kCos, 0x4137F7EC53A8D492u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x4137F7EC53A8D492u, 0x3FF921FAA95FFF9Fu},
    {TrigFunction::kSin, 0x413FFFFF538B89F7u, 0x3DD81550CAE4AAD8u},
    {TrigFunction::kCos, 0x413FFFFF538B89F7u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x413FFFFF538B89F7u, 0x3FF921FAD4442A66u},
    {TrigFunction::kSin, 0x413FFFFF538B89F6u, 0xBDE3F5579A8DAA94u},
    {TrigFunction::kCos, 0x413FFFFF538B89F6u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x413FFFFF538B89F6u, 0x3FF921FAD4442A66u},
    {TrigFunction::kSin, 0x413FFFFF538B89F8u, 0x3DF6055432B92AB6u},
    {TrigFunction::kCos, 0x413FFFFF538B89F8u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x413FFFFF538B89F8u, 0x3FF921FAD4442A66u},
    {TrigFunction::kSin, 0x414921FA8B345276u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x414921FA8B345276u, 0xBDD297EB4BC654DCu},
    {TrigFunction::kAtan, 0x414921FA8B345276u, 0x3FF921FB02C768D5u},
    {TrigFunction::kSin, 0x414921FA8B345275u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x414921FA8B345275u, 0xBE0252FD6978CA9Cu},
    {TrigFunction::kAtan, 0x414921FA8B345275u, 0x3FF921FB02C768D5u},
    {TrigFunction::kSin, 0x414921FA8B345277u, 0xBFF0000000000000u},
    {TrigFunction::kCos, 0x414921FA8B345277u, 0x3DFB5A052D0E6AC9u},
    {TrigFunction::kAtan, 0x414921FA8B345277u, 0x3FF921FB02C768D5u},
    {TrigFunction::kSin, 0x41D921FB54442D18u, 0xBE71A62633145C03u},
    {TrigFunction::kCos, 0x41D921FB54442D18u, 0x3FEFFFFFFFFFFFEDu},
    {TrigFunction::kAtan, 0x41D921FB54442D18u, 0x3FF921FB541B6EB7u},
    {TrigFunction::kSin, 0x41D921FB54442D17u, 0xBE9469898CC516A9u},
    {TrigFunction::kCos, 0x41D921FB54442D17u, 0x3FEFFFFFFFFFFE5Fu},
    {TrigFunction::kAtan, 0x41D921FB54442D17u, 0x3FF921FB541B6EB7u},
    {TrigFunction::kSin, 0x41D921FB54442D19u, 0x3E872CECE675D1DCu},
    {TrigFunction::kCos, 0x41D921FB54442D19u, 0x3FEFFFFFFFFFFF7Au},
    {TrigFunction::kAtan, 0x41D921FB54442D19u, 0x3FF921FB541B6EB7u},
    {TrigFunction::kSin, 0x427921FB54442D18u, 0xBF11A62632DB1824u},
    {TrigFunction::kCos, 0x427921FB54442D18u, 0x3FEFFFFFFEC88318u},
    {TrigFunction::kAtan, 0x427921FB54442D18u, 0x3FF921FB544422E9u},
    {TrigFunction::kSin, 0x427921FB54442D17u, 0xBF346989873B9824u},
    {TrigFunction::kCos, 0x427921FB54442D17u, 0x3FEFFFFFE5F57002u},
    {TrigFunction::kAtan, 0x427921FB54442D17u, 0x3FF921FB544422E9u},
    {TrigFunction::kSin, 0x427921FB54442D19u, 0x3F272CECE46F2B3Du},
    {TrigFunction::kCos, 0x427921FB54442D19u, 0x3FEFFFFFF79B9632u},
    {TrigFunction::kAtan, 0x427921FB54442D19u, 0x3FF921FB544422E9u},
    {TrigFunction::kSin, 0x433921FB54442D18u, 0xBFD16D19F4C9C64Du},
    {TrigFunction::kCos, 0x433921FB54442D18u, 0x3FEECA7B2677CECDu},
    {TrigFunction::kAtan, 0x433921FB54442D18u, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x433921FB54442D17u, 0xBFEE9E0CFFFAC76Fu},
    {TrigFunction::kCos, 0x433921FB54442D17u, 0x3FD29BF53F75C4D3u},
    {TrigFunction::kAtan, 0x433921FB54442D17u, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x433921FB54442D19u, 0x3FE533B518FB58A9u},
    {TrigFunction::kCos, 0x433921FB54442D19u, 0x3FE7F7DDCB246636u},
    {TrigFunction::kAtan, 0x433921FB54442D19u, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x7506AC5B262CA1FFu, 0x3FF0000000000000u},
    {TrigFunction::kCos, 0x7506AC5B262CA1FFu, 0xBC214AE72E6BA22Fu},
    {TrigFunction::kAtan, 0x7506AC5B262CA1FFu, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x7FEFFFFFFFFFFFFFu, 0x3F7452FC98B34E97u},
    {TrigFunction::kCos, 0x7FEFFFFFFFFFFFFFu, 0xBFEFFFE62ECFAB75u},
    {TrigFunction::kAtan, 0x7FEFFFFFFFFFFFFFu, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0xFFEFFFFFFFFFFFFFu, 0xBF7452FC98B34E97u},
    {TrigFunction::kCos, 0xFFEFFFFFFFFFFFFFu, 0xBFEFFFE62ECFAB75u},
    {TrigFunction::kAtan, 0xFFEFFFFFFFFFFFFFu, 0xBFF921FB54442D18u},
    {TrigFunction::kSin, 0x7FEFFFFFFFFFFFFEu, 0x3FEDAA3677C6EE8Au},
    {TrigFunction::kCos, 0x7FEFFFFFFFFFFFFEu, 0x3FD7FFDFB4C5308Fu},
    {TrigFunction::kAtan, 0x7FEFFFFFFFFFFFFEu, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x0000000000000001u, 0x0000000000000001u},
    {TrigFunction::kCos, 0x0000000000000001u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x0000000000000001u, 0x0000000000000001u},
    {TrigFunction::kSin, 0x8000000000000001u, 0x8000000000000001u},
    {TrigFunction::kCos, 0x8000000000000001u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x8000000000000001u, 0x8000000000000001u},
    {TrigFunction::kSin, 0x000FFFFFFFFFFFFFu, 0x000FFFFFFFFFFFFFu},
    {TrigFunction::kCos, 0x000FFFFFFFFFFFFFu, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x000FFFFFFFFFFFFFu, 0x000FFFFFFFFFFFFFu},
    {TrigFunction::kSin, 0x0010000000000000u, 0x0010000000000000u},
    {TrigFunction::kCos, 0x0010000000000000u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x0010000000000000u, 0x0010000000000000u},
    {TrigFunction::kSin, 0x3E50000000000000u, 0x3E50000000000000u},
    {TrigFunction::kCos, 0x3E50000000000000u, 0x3FEFFFFFFFFFFFFFu},
    {TrigFunction::kAtan, 0x3E50000000000000u, 0x3E4FFFFFFFFFFFFFu},
    {TrigFunction::kSin, 0x3E4FFFFFFFFFFFFFu, 0x3E4FFFFFFFFFFFFFu},
    {TrigFunction::kCos, 0x3E4FFFFFFFFFFFFFu, 0x3FEFFFFFFFFFFFFFu},
    {TrigFunction::kAtan, 0x3E4FFFFFFFFFFFFFu, 0x3E4FFFFFFFFFFFFEu},
    {TrigFunction::kSin, 0x3E40000000000000u, 0x3E40000000000000u},
    {TrigFunction::kCos, 0x3E40000000000000u, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x3E40000000000000u, 0x3E40000000000000u},
    {TrigFunction::kSin, 0x3E3FFFFFFFFFFFFFu, 0x3E3FFFFFFFFFFFFFu},
    {TrigFunction::kCos, 0x3E3FFFFFFFFFFFFFu, 0x3FF0000000000000u},
    {TrigFunction::kAtan, 0x3E3FFFFFFFFFFFFFu, 0x3E3FFFFFFFFFFFFFu},
    {TrigFunction::kSin, 0x3FE921FB54442D18u, 0x3FE6A09E667F3BCCu},
    {TrigFunction::kCos, 0x3FE921FB54442D18u, 0x3FE6A09E667F3BCDu},
    {TrigFunction::kAtan, 0x3FE921FB54442D18u, 0x3FE54E04C05D06A0u},
    {TrigFunction::kSin, 0x4140000000000000u, 0x3FE3F68887A137EFu},
    {TrigFunction::kCos, 0x4140000000000000u, 0x3FE9027224E704FAu},
    {TrigFunction::kAtan, 0x4140000000000000u, 0x3FF921FAD4442D18u},
    {TrigFunction::kSin, 0x413FFFFFFFFFFFFFu, 0x3FE3F6888788357Cu},
    {TrigFunction::kCos, 0x413FFFFFFFFFFFFFu, 0x3FE9027224FAFB82u},
    {TrigFunction::kAtan, 0x413FFFFFFFFFFFFFu, 0x3FF921FAD4442D18u},
    {TrigFunction::kSin, 0x3FF0000000000000u, 0x3FEAED548F090CEEu},
    {TrigFunction::kCos, 0x3FF0000000000000u, 0x3FE14A280FB5068Cu},
    {TrigFunction::kAtan, 0x3FF0000000000000u, 0x3FE921FB54442D18u},
    {TrigFunction::kSin, 0x3FF0000000000001u, 0x3FEAED548F090CEFu},
    {TrigFunction::kCos, 0x3FF0000000000001u, 0x3FE14A280FB5068Au},
    {TrigFunction::kAtan, 0x3FF0000000000001u, 0x3FE921FB54442D19u},
    {TrigFunction::kSin, 0x3FEFFFFFFFFFFFFFu, 0x3FEAED548F090CEDu},
    {TrigFunction::kCos, 0x3FEFFFFFFFFFFFFFu, 0x3FE14A280FB5068Cu},
    {TrigFunction::kAtan, 0x3FEFFFFFFFFFFFFFu, 0x3FE921FB54442D18u},
    {TrigFunction::kSin, 0x4340000000000000u, 0xBFEB2A66C8F35586u},
    {TrigFunction::kCos, 0x4340000000000000u, 0xBFE0E9918BB35AACu},
    {TrigFunction::kAtan, 0x4340000000000000u, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x433FFFFFFFFFFFFFu, 0xBF8C9176A7414F8Fu},
    {TrigFunction::kCos, 0x433FFFFFFFFFFFFFu, 0xBFEFFF33F44E67C2u},
    {TrigFunction::kAtan, 0x433FFFFFFFFFFFFFu, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x4480F0CF064DD592u, 0xBFEB453AB76BF397u},
    {TrigFunction::kCos, 0x4480F0CF064DD592u, 0x3FE0BE2CEF01C8F4u},
    {TrigFunction::kAtan, 0x4480F0CF064DD592u, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0x46293E5939A08CEAu, 0x3F831C608F107767u},
    {TrigFunction::kCos, 0x46293E5939A08CEAu, 0xBFEFFFA4B11F1B45u},
    {TrigFunction::kAtan, 0x46293E5939A08CEAu, 0x3FF921FB54442D18u},
    {TrigFunction::kSin, 0xFE37E43C8800759Cu, 0x3FEA2C16B010E385u},
    {TrigFunction::kCos, 0xFE37E43C8800759Cu, 0xBFE2699022ADC4C1u},
    {TrigFunction::kAtan, 0xFE37E43C8800759Cu, 0xBFF921FB54442D18u},
    // Hardest to round among the arguments of the long run (2^-23.7 to
    // 2^-30.7 of an ulp from a midpoint: the middle stages decide them).
    {TrigFunction::kSin, 0x400AD00EDB63C763u, 0xBFCAAEC17BC266EAu},
    {TrigFunction::kSin, 0xC74E2B3FA0000000u, 0xBFEF50B432DCB04Bu},
    {TrigFunction::kSin, 0x5E523D75D66F550Bu, 0x3FE3944D1CE5C77Eu},
    {TrigFunction::kSin, 0x7A5B3F85CDF51769u, 0x3FC6C62F53532955u},
    {TrigFunction::kCos, 0xC1280321879BB046u, 0xBFDCAA675BCF5DF7u},
    {TrigFunction::kCos, 0x4103F78D61B16C92u, 0x3FEC3A87114D1208u},
    {TrigFunction::kCos, 0x412D2E48F424033Cu, 0xBFE963D9F9AC3423u},
    {TrigFunction::kCos, 0x401233729BB6AD27u, 0xBFC4A9FBFE22B2A7u},
    {TrigFunction::kAtan, 0xBFB869569D69616Au, 0xBFB8567FCD50AD6Fu},
    {TrigFunction::kAtan, 0xC1198CA450BFDD54u, 0xBFF921F8D2FF94AEu},
    {TrigFunction::kAtan, 0xC0F68D8930F6F43Cu, 0xBFF921EFFA624C4Fu},
    {TrigFunction::kAtan, 0xC1271D9138843BD4u, 0xBFF921F9F1DF3D78u},
};
// clang-format on

}  // namespace pelmora::test
