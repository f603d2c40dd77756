// The exact reduction by pi/2 and the slow accurate path of the sine, cosine
// and arc tangent.
//
// The slow path works in unsigned fixed point: an integer word and 224 bits
// of fraction, 32 bits a word. Every operation truncates, so each of the few
// hundred operations of a series loses less than 2^-223; the result is known
// to better than 2^-214 absolutely, and the results rounded here are at least
// 2^-62 (sine and cosine of reduced arguments, since no double comes closer to
// a multiple of pi/2) or 2^-27 (arc tangent): better than 2^-150 relatively.
// The hardest doubles to round for these functions need about 120 bits, so
// the truncated value rounds as the exact one does.
#include <bit>
#include <cstdint>

#include "runtime/trig_internal.h"

namespace pelmora::runtime::trig {

namespace {

constexpr int kWords = 8;  // fixed point: w[0] integer, w[1..7] fraction
constexpr int kFractionBits = 32 * (kWords - 1);

struct Fixed {
  std::uint32_t w[kWords] = {};
};

bool IsZero(const Fixed& a) {
  for (const std::uint32_t word : a.w)
    if (word != 0) return false;
  return true;
}

bool Less(const Fixed& a, const Fixed& b) {
  for (int i = 0; i < kWords; ++i)
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i];
  return false;
}

Fixed Add(const Fixed& a, const Fixed& b) {
  Fixed r;
  std::uint64_t carry = 0;
  for (int i = kWords - 1; i >= 0; --i) {
    const std::uint64_t s = std::uint64_t{a.w[i]} + b.w[i] + carry;
    r.w[i] = static_cast<std::uint32_t>(s);
    carry = s >> 32;
  }
  return r;
}

// a - b for a >= b.
Fixed Sub(const Fixed& a, const Fixed& b) {
  Fixed r;
  std::uint64_t borrow = 0;
  for (int i = kWords - 1; i >= 0; --i) {
    const std::uint64_t d = std::uint64_t{a.w[i]} - b.w[i] - borrow;
    r.w[i] = static_cast<std::uint32_t>(d);
    borrow = (d >> 32) != 0 ? 1 : 0;
  }
  return r;
}

// a * b, truncated (the product must stay below 2^32).
Fixed Mul(const Fixed& a, const Fixed& b) {
  // Columns of the full product, weight 2^(-32 * column).
  std::uint32_t p[2 * kWords] = {};
  for (int i = kWords - 1; i >= 0; --i) {
    std::uint64_t carry = 0;
    for (int j = kWords - 1; j >= 0; --j) {
      const std::uint64_t t = std::uint64_t{a.w[i]} * b.w[j] + p[i + j + 1] + carry;
      p[i + j + 1] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    p[i] = static_cast<std::uint32_t>(carry);
  }
  // p[0] is beyond the integer word; p[1] is the integer word.
  Fixed r;
  for (int i = 0; i < kWords; ++i) r.w[i] = p[i + 1];
  return r;
}

Fixed MulSmall(const Fixed& a, std::uint32_t m) {
  Fixed r;
  std::uint64_t carry = 0;
  for (int i = kWords - 1; i >= 0; --i) {
    const std::uint64_t t = std::uint64_t{a.w[i]} * m + carry;
    r.w[i] = static_cast<std::uint32_t>(t);
    carry = t >> 32;
  }
  return r;
}

Fixed DivSmall(const Fixed& a, std::uint32_t d) {
  Fixed r;
  std::uint64_t rem = 0;
  for (int i = 0; i < kWords; ++i) {
    const std::uint64_t cur = (rem << 32) | a.w[i];
    r.w[i] = static_cast<std::uint32_t>(cur / d);
    rem = cur % d;
  }
  return r;
}

Fixed ShiftRight(const Fixed& a, int bits) {
  Fixed r;
  const int words = bits / 32, shift = bits % 32;
  for (int i = kWords - 1; i >= words; --i) {
    std::uint64_t v = a.w[i - words];
    if (i - words - 1 >= 0) v |= std::uint64_t{a.w[i - words - 1]} << 32;
    r.w[i] = static_cast<std::uint32_t>(v >> shift);
  }
  return r;
}

Fixed One() {
  Fixed r;
  r.w[0] = 1;
  return r;
}

// A non-negative double below 2^32, exactly when it is a multiple of 2^-224.
Fixed FromDouble(double x) {
  Fixed r;
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  const int biased = static_cast<int>(bits >> 52);
  if (biased == 0) return r;
  const std::uint64_t m = (bits & 0xFFFFFFFFFFFFFu) | (std::uint64_t{1} << 52);
  const int lsb = biased - 1075 + kFractionBits;  // bit position of m's last bit
  for (int b = 0; b < 53; ++b) {
    const int pos = lsb + b;
    if (pos < 0 || ((m >> b) & 1) == 0) continue;
    r.w[kWords - 1 - pos / 32] |= std::uint32_t{1} << (pos % 32);
  }
  return r;
}

// The nearest double to a (non-zero), ties to even, negated if asked.
double ToDouble(const Fixed& a, bool negative) {
  int top = 32 * kWords - 1;  // bit position from the bottom
  auto bit = [&](int pos) { return (a.w[kWords - 1 - pos / 32] >> (pos % 32)) & 1u; };
  while (top > 0 && bit(top) == 0) --top;
  std::uint64_t m = 0;
  for (int b = 0; b < 53; ++b) m = (m << 1) | (top - b >= 0 ? bit(top - b) : 0u);
  const int round_pos = top - 53;
  bool round = false, sticky = false;
  if (round_pos >= 0) {
    round = bit(round_pos) != 0;
    for (int b = round_pos - 1; b >= 0 && !sticky; --b) sticky = bit(b) != 0;
  }
  int exponent = top - kFractionBits;  // of the leading bit
  if (round && (sticky || (m & 1) != 0)) {
    ++m;
    if (m >> 53) {
      m >>= 1;
      ++exponent;
    }
  }
  const std::uint64_t bits = (std::uint64_t{negative} << 63) |
                             (static_cast<std::uint64_t>(exponent + 1023) << 52) |
                             (m & 0xFFFFFFFFFFFFFu);
  return std::bit_cast<double>(bits);
}

// A rough double of a, for the start of Newton's iteration.
double Approximate(const Fixed& a) {
  return static_cast<double>(a.w[0]) + static_cast<double>(a.w[1]) * 0x1p-32 +
         static_cast<double>(a.w[2]) * 0x1p-64;
}

// 1/v for 1 <= v <= 2: Newton's iteration z <- z + z (1 - v z) from the
// double reciprocal doubles the 53 correct bits each step.
Fixed Reciprocal(const Fixed& v) {
  Fixed z = FromDouble(1.0 / Approximate(v));
  for (int step = 0; step < 4; ++step) {
    const Fixed e = Mul(v, z);
    if (Less(e, One())) {
      z = Add(z, Mul(z, Sub(One(), e)));
    } else {
      z = Sub(z, Mul(z, Sub(e, One())));
    }
  }
  return z;
}

Fixed HalfPi() {
  static_assert(sizeof kHalfPi / sizeof kHalfPi[0] == kWords, "pi/2 fills the fixed point");
  Fixed r;
  for (int i = 0; i < kWords; ++i) r.w[i] = kHalfPi[i];
  return r;
}

// Taylor series of sin r or cos r for 0 <= r <= 0.8: positive and negative
// terms summed apart.
Fixed SinCosSeries(const Fixed& r, bool cosine) {
  const Fixed r2 = Mul(r, r);
  Fixed term = cosine ? One() : r;
  Fixed plus = term, minus;
  for (std::uint32_t n = 1;; ++n) {
    const std::uint32_t d = cosine ? (2 * n - 1) * (2 * n) : (2 * n) * (2 * n + 1);
    term = DivSmall(Mul(term, r2), d);
    if (IsZero(term)) break;
    if (n % 2 == 1) {
      minus = Add(minus, term);
    } else {
      plus = Add(plus, term);
    }
  }
  return Sub(plus, minus);
}

}  // namespace

int ReduceByHalfPi(double ax, int words, std::uint32_t* fraction) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(ax);
  const std::uint64_t m = (bits & 0xFFFFFFFFFFFFFu) | (std::uint64_t{1} << 52);
  const int e = static_cast<int>(bits >> 52) - 1075;  // ax = m * 2^e
  // Words j = 1, 2, ... of 2/pi weigh 2^(-32 j). With e - 32 j >= 2 the
  // word's product with m is a multiple of 4 and leaves k mod 4 and the
  // fraction alone: the window starts at the first word that counts.
  const int first = e <= 33 ? 1 : (e - 2) / 32 + 1;
  const int length = words + 3;  // the words after it change F by < 2^(-9 - 32 words)
  // p = m * window, little-endian words.
  std::uint32_t p[16] = {};
  const std::uint64_t m0 = m & 0xFFFFFFFFu, m1 = m >> 32;
  for (int a = 0; a < length; ++a) {
    const std::uint64_t w = kTwoOverPi[first - 1 + (length - 1 - a)];
    std::uint64_t t = p[a] + m0 * w;
    p[a] = static_cast<std::uint32_t>(t);
    t = (t >> 32) + p[a + 1] + m1 * w;
    p[a + 1] = static_cast<std::uint32_t>(t);
    for (int b = a + 2; (t >>= 32) != 0; ++b) {
      t += p[b];
      p[b] = static_cast<std::uint32_t>(t);
    }
  }
  // ax * 2/pi = p * 2^-point (mod 4, up to the truncation).
  const int point = 32 * (first + length - 1) - e;
  auto bits32 = [&](int pos) {
    const int word = pos / 32, shift = pos % 32;
    std::uint64_t v = p[word];
    if (word + 1 < 16) v |= std::uint64_t{p[word + 1]} << 32;
    return static_cast<std::uint32_t>(v >> shift);
  };
  const int quadrant = static_cast<int>(bits32(point) & 3u);
  for (int i = 0; i < words; ++i) fraction[i] = bits32(point - 32 * (i + 1));
  return quadrant;
}

double AccurateSinOrCos(double x, bool cosine) {
  const std::uint64_t abits = std::bit_cast<std::uint64_t>(x) & 0x7FFFFFFFFFFFFFFFu;
  const double ax = std::bit_cast<double>(abits);
  Fixed r;
  int quadrant = 0;
  bool r_negative = false;
  if (abits <= 0x3FE921FB54442D18u) {  // pi/4 and below: no reduction
    r = FromDouble(ax);
  } else {
    std::uint32_t f[kWords - 1];
    quadrant = ReduceByHalfPi(ax, kWords - 1, f);
    Fixed fraction;
    for (int i = 1; i < kWords; ++i) fraction.w[i] = f[i - 1];
    r_negative = (f[0] >> 31) != 0;
    if (r_negative) {  // F - 1 to the nearest integer: its magnitude is 1 - F
      quadrant = (quadrant + 1) & 3;
      fraction = Sub(One(), fraction);
    }
    r = Mul(fraction, HalfPi());
  }
  const bool use_cos = ((quadrant & 1) != 0) != cosine;
  bool negate = use_cos ? false : r_negative;
  const int turn = cosine ? (quadrant + 1) & 3 : quadrant;
  if (turn >= 2) negate = !negate;
  if (!cosine && x < 0.0) negate = !negate;
  return ToDouble(SinCosSeries(r, use_cos), negate);
}

double AccurateAtan(double x) {
  const std::uint64_t abits = std::bit_cast<std::uint64_t>(x) & 0x7FFFFFFFFFFFFFFFu;
  const double ay = std::bit_cast<double>(abits);
  Fixed y;
  const bool inverted = ay > 1.0;
  if (inverted) {
    // 1/ay = (1/mantissa) * 2^-exponent, the mantissa in [1, 2).
    const int exponent = static_cast<int>(abits >> 52) - 1023;
    const double mantissa = std::bit_cast<double>((abits & 0xFFFFFFFFFFFFFu) | 0x3FF0000000000000u);
    y = ShiftRight(Reciprocal(FromDouble(mantissa)), exponent);
  } else {
    y = FromDouble(ay);
  }
  // Euler's series: atan y = sum over n of
  //   (2^2n (n!)^2 / (2n+1)!) y^(2n+1) / (1 + y^2)^(n+1),
  // all terms positive, each at most w = y^2 / (1 + y^2) <= 1/2 times the last.
  const Fixed y2 = Mul(y, y);
  const Fixed d = Reciprocal(Add(One(), y2));
  const Fixed w = Mul(y2, d);
  Fixed term = Mul(y, d);
  Fixed sum = term;
  for (std::uint32_t n = 0;; ++n) {
    term = DivSmall(MulSmall(Mul(term, w), 2 * n + 2), 2 * n + 3);
    if (IsZero(term)) break;
    sum = Add(sum, term);
  }
  if (inverted) sum = Sub(HalfPi(), sum);
  return ToDouble(sum, x < 0.0);
}

}  // namespace pelmora::runtime::trig
