// Prints the constant tables of runtime/trig_tables.cpp, computed with GNU
// MPFR (tests/accuracy/trig_accuracy_test.cpp checks them the same way):
//   g++ -O2 tools/trig_tables.cpp -lmpfr -lgmp -o trig_tables && ./trig_tables
#include <mpfr.h>

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
  // The Taylor series of atan at c = i/256: a_k = (-1)^(k-1)/k sin(k phi) / rho^k
  // with c - i = rho e^(-i phi) (the k-th derivative of atan is the imaginary
  // part of (-1)^(k-1) (k-1)! (c - i)^-k).
  std::printf("};\n\n// atan c, pi/2 - atan c, a_1 and a_2..a_8 of the series at c = i/256\n");
  std::printf("const AtanEntry kAtan[257] = {\n");
  for (int i = 0; i <= 256; ++i) {
    mpfr_t c, phi, rho, t;
    mpfr_inits2(2000, c, phi, rho, t, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_ui(c, static_cast<unsigned long>(i), MPFR_RNDN);
    mpfr_div_2ui(c, c, 8, MPFR_RNDN);
    std::printf("    {");
    mpfr_atan(v, c, MPFR_RNDN);
    PrintPair(v);
    std::printf(", ");
    mpfr_div_2ui(t, pi, 1, MPFR_RNDN);
    mpfr_sub(v, t, v, MPFR_RNDN);
    PrintPair(v);
    mpfr_set_ui(t, 1, MPFR_RNDN);
    mpfr_atan2(phi, t, c, MPFR_RNDN);
    mpfr_hypot(rho, t, c, MPFR_RNDN);
    for (int k = 1; k <= 8; ++k) {
      mpfr_mul_ui(v, phi, static_cast<unsigned long>(k), MPFR_RNDN);
      mpfr_sin(v, v, MPFR_RNDN);
      mpfr_pow_ui(t, rho, static_cast<unsigned long>(k), MPFR_RNDN);
      mpfr_div(v, v, t, MPFR_RNDN);
      mpfr_div_ui(v, v, static_cast<unsigned long>(k), MPFR_RNDN);
      if (k % 2 == 0) mpfr_neg(v, v, MPFR_RNDN);
      std::printf(k == 2 ? ", {" : ", ");
      if (k == 1) {
        PrintPair(v);
      } else {
        std::printf("%a", mpfr_get_d(v, MPFR_RNDN));
      }
    }
    std::printf("}},\n");
    mpfr_clears(c, phi, rho, t, static_cast<mpfr_ptr>(nullptr));
  }
  std::printf("};\n");
  mpfr_clear(pi);
  mpfr_clear(v);
  return 0;
}
