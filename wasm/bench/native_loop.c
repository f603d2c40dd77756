/* The native C library's scalar loop, for the WebAssembly benchmark: n
 * calls of pelmora_distance_from (or pelmora_azimut) over the positions of
 * the benchmark's stream, timed, printed as nanoseconds per call. */
#define _POSIX_C_SOURCE 199309L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "pelmora.h"

static uint32_t state = 1;
static float next(float span) {
  state = state * 1664525u + 1013904223u;
  return (float)((double)state / 4294967296.0 * 2.0 * span - span);
}

int main(int argc, char **argv) {
  const size_t n = argc > 1 ? (size_t)strtoul(argv[1], NULL, 10) : 1000000;
  const int azimut = argc > 2 && strcmp(argv[2], "azimut") == 0;
  float *a = malloc(n * 4 * sizeof *a), *out = malloc(n * sizeof *out);
  if (a == NULL || out == NULL) return 1;
  for (size_t i = 0; i < n; ++i) {
    a[4 * i] = next(90.0f);
    a[4 * i + 1] = next(180.0f);
    a[4 * i + 2] = next(90.0f);
    a[4 * i + 3] = next(180.0f);
  }
  double best = 1e30, sum = 0;
  for (int round = 0; round < 5; ++round) {
    struct timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    for (size_t i = 0; i < n; ++i) {
      const float *p = a + 4 * i;
      if (azimut)
        pelmora_azimut(p[0], p[1], p[2], p[3], &out[i]);
      else
        pelmora_distance_from(p[0], p[1], p[2], p[3], &out[i]);
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    const double ns =
        ((double)(t1.tv_sec - t0.tv_sec) * 1e9 + (double)(t1.tv_nsec - t0.tv_nsec)) / (double)n;
    if (ns < best) best = ns;
    for (size_t i = 0; i < n; ++i) sum += out[i];
  }
  printf("%.2f %.6g\n", best, sum);
  free(a);
  free(out);
  return 0;
}
