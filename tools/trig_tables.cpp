// Prints the constant tables of runtime/trig_tables.cpp, computed with GNU
// MPFR (tests/accuracy/trig_accuracy_test.cpp checks them the same way):
//   g++ -std=c++20 -O2 tools/trig_tables.cpp -lmpfr -lgmp -o trig_tables && ./trig_tables
#include <mpfr.h>

#include <bit>
#include <cstdint>
#include <cstdio>

namespace {

// The first `words` 32-bit words of the fraction of v (0 <= v < 2^32 after
// the integer word, if any, is dropped by the caller).
void PrintWords(const char* name, mpfr_t v, int words, bool integer_word) {
  mpfr_t t;
  mpfr_init2(t, 2000);
  mpfr_set(t, v, MPFR_RNDN);
  std::printf("const std::uint32_t %s[%d] = {", name, words);
  for (int i = 0; i < words; ++i) {
    if (i > 0 || !integer_word) mpfr_mul_2ui(t, t, 32, MPFR_RNDN);
    const unsigned long w = mpfr_get_ui(t, MPFR_RNDZ);
    mpfr_sub_ui(t, t, w, MPFR_RNDN);
    std::printf("%s0x%08lXu", i % 6 == 0 ? "\n    " : " ", w);
    if (i + 1 < words) std::printf(",");
  }
  std::printf("};\n\n");
  mpfr_clear(t);
}

// Value as a pair of doubles, high part rounded to nearest with `bits`
// significant bits, low part the rest rounded to nearest.
void PrintPair(mpfr_t v, int bits = 53) {
  mpfr_t rest;
  mpfr_init2(rest, bits);
  mpfr_set(rest, v, MPFR_RNDN);
  const double hi = mpfr_get_d(rest, MPFR_RNDN);
  mpfr_set_prec(rest, 2000);
  mpfr_sub_d(rest, v, hi, MPFR_RNDN);
  const double lo = mpfr_get_d(rest, MPFR_RNDN);
  std::printf("{%a, %a}", hi, lo);
  mpfr_clear(rest);
}

}  // namespace

int main() {
  mpfr_t pi, v;
  mpfr_init2(pi, 2000);
  mpfr_init2(v, 2000);
  mpfr_const_pi(pi, MPFR_RNDN);

  mpfr_ui_div(v, 2, pi, MPFR_RNDN);
  PrintWords("kTwoOverPi", v, 48, false);
  mpfr_div_2ui(v, pi, 1, MPFR_RNDN);
  PrintWords("kHalfPi", v, 8, true);

  std::printf(
      "// sin(i pi/512), cos(i pi/512), the high parts with 26 significant bits\n"
      "const DoublePair kSinCos[256][2] = {\n");
  for (int i = 0; i < 256; ++i) {
    std::printf("    {");
    mpfr_mul_ui(v, pi, static_cast<unsigned long>(i), MPFR_RNDN);
    mpfr_div_2ui(v, v, 9, MPFR_RNDN);
    mpfr_t s;
    mpfr_init2(s, 2000);
    mpfr_sin(s, v, MPFR_RNDN);
    PrintPair(s, 26);
    std::printf(", ");
    mpfr_cos(s, v, MPFR_RNDN);
    PrintPair(s, 26);
    std::printf("},\n");
    mpfr_clear(s);
  }
  // The rest of each sine table entry after its two parts, rounded.
  std::printf("};\n\n// sin(i pi/512), cos(i pi/512) less their two parts above\n");
  std::printf("const double kSinCosRest[256][2] = {\n");
  for (int i = 0; i < 256; ++i) {
    mpfr_t a, f, hi, rest;
    mpfr_inits2(2000, a, f, rest, static_cast<mpfr_ptr>(nullptr));
    mpfr_init2(hi, 26);
    mpfr_mul_ui(a, pi, static_cast<unsigned long>(i), MPFR_RNDN);
    mpfr_div_2ui(a, a, 9, MPFR_RNDN);
    std::printf("    {");
    for (int k = 0; k < 2; ++k) {
      if (k == 0) {
        mpfr_sin(f, a, MPFR_RNDN);
      } else {
        mpfr_cos(f, a, MPFR_RNDN);
      }
      mpfr_set(hi, f, MPFR_RNDN);
      mpfr_sub(rest, f, hi, MPFR_RNDN);
      const double lo = mpfr_get_d(rest, MPFR_RNDN);
      mpfr_sub_d(rest, rest, lo, MPFR_RNDN);
      std::printf("%s%a", k == 0 ? "" : ", ", mpfr_get_d(rest, MPFR_RNDN));
    }
    std::printf("},\n");
    mpfr_clears(a, f, hi, rest, static_cast<mpfr_ptr>(nullptr));
  }
  // The arc tangent's points: the midpoints of 32 cells a binade from 2^-7
  // to 2^6 (a double's exponent and first five bits of fraction name its
  // cell), below them 0, above them the point at infinity.
  std::printf("};\n\n// c, s and atan c (pi/2 for the point at infinity)\n");
  std::printf("const AtanPoint kAtanPoints[kAtanPointCount] = {\n");
  for (int i = 0; i < 418; ++i) {
    double c = 0.0, s = 1.0;
    if (i == 417) {
      c = 1.0;
      s = 0.0;
      mpfr_div_2ui(v, pi, 1, MPFR_RNDN);
    } else {
      if (i > 0) {
        const std::uint64_t key = (1023u - 7u) * 32u + static_cast<std::uint64_t>(i - 1);
        c = std::bit_cast<double>((key << 47) | (std::uint64_t{1} << 46));
      }
      mpfr_set_d(v, c, MPFR_RNDN);
      mpfr_atan(v, v, MPFR_RNDN);
    }
    std::printf("    {%a, %a, ", c, s);
    PrintPair(v);
    std::printf("},\n");
  }
  std::printf("};\n");
  mpfr_clear(pi);
  mpfr_clear(v);
  return 0;
}
