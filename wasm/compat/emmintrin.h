// The SSE2 operations libpelmora's sources use, for the WebAssembly build:
// runtime/trig.cpp flips the signs of a double pair with one exclusive or
// of their bits. Each function here is that operation on clang's generic
// vectors of two doubles, exact like the instruction (loads, an exclusive
// or of bits, lane moves: no rounding anywhere).
#pragma once
#pragma clang system_header

typedef double __m128d __attribute__((vector_size(16), aligned(16)));
typedef long long __pelmora_v2i64 __attribute__((vector_size(16), aligned(16)));

static inline __m128d _mm_load_pd(const double* p) {
  __m128d v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
static inline __m128d _mm_loadu_pd(const double* p) {
  __m128d v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}
static inline __m128d _mm_xor_pd(__m128d a, __m128d b) {
  return (__m128d)((__pelmora_v2i64)a ^ (__pelmora_v2i64)b);
}
static inline double _mm_cvtsd_f64(__m128d a) { return a[0]; }
static inline __m128d _mm_unpackhi_pd(__m128d a, __m128d b) { return (__m128d){a[1], b[1]}; }
