/* Replays the corpus of tests/corpus/corpus_dump.cpp through libpelmora's C
 * functions: reads its lines on standard input and writes, for each call,
 * the line corpus_dump writes, computed here (the sine, cosine and arc
 * tangent lines are the runtime's, not the library's, and are skipped).
 * Locators go through the UTF-16 and the UTF-8 functions; a disagreement
 * between the two is written as a line of its own, which the comparison
 * then shows. At the end the distances and bearings go again through the
 * array forms, all at once; an element that differs is a line too. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pelmora.h"

static float FloatOf(uint32_t bits) {
  float x;
  memcpy(&x, &bits, sizeof x);
  return x;
}

static uint32_t BitsOf(float x) {
  uint32_t bits;
  memcpy(&bits, &x, sizeof bits);
  return bits;
}

/* corpus_dump's number of a runtime error. */
static int ErrorIndex(int status) {
  switch (status) {
    case PELMORA_OK:
      return 0;
    case PELMORA_OVERFLOW:
      return 1;
    case PELMORA_FLOATING_POINT:
      return 2;
    case PELMORA_INVALID_ARGUMENT:
      return 3;
    default:
      return 100 + status;
  }
}

/* Reads `count` hexadecimal bit patterns after the first word of `line`. */
static int Inputs(const char *line, float *in, int count) {
  const char *p = strchr(line, ' ');
  for (int i = 0; i < count; ++i) {
    char *end;
    if (p == NULL) return 0;
    in[i] = FloatOf((uint32_t)strtoul(p, &end, 16));
    p = end;
  }
  return 1;
}

/* A text as corpus_dump shows it. */
static void Show(const pelmora_char16 *units, size_t length, int null) {
  if (null) {
    printf("<null>");
    return;
  }
  putchar('"');
  for (size_t i = 0; i < length; ++i) {
    if (units[i] >= 0x20 && units[i] < 0x7F)
      putchar((int)units[i]);
    else
      printf("\\u%04X", (unsigned)units[i]);
  }
  putchar('"');
}

/* UTF-16 units without surrogates as UTF-8; U+0000 as C0 80 when
 * `modified`, as the library's text results have it. */
static size_t Utf8(const pelmora_char16 *units, size_t length, char *out, int modified) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned c = units[i];
    if (c == 0 && modified) {
      out[n++] = (char)0xC0;
      out[n++] = (char)0x80;
    } else if (c < 0x80) {
      out[n++] = (char)c;
    } else if (c < 0x800) {
      out[n++] = (char)(0xC0 | (c >> 6));
      out[n++] = (char)(0x80 | (c & 0x3F));
    } else {
      out[n++] = (char)(0xE0 | (c >> 12));
      out[n++] = (char)(0x80 | ((c >> 6) & 0x3F));
      out[n++] = (char)(0x80 | (c & 0x3F));
    }
  }
  return n;
}

static void Encode(const char *name, const char *line,
                   int (*encode16)(float, float, pelmora_char16 *, size_t),
                   int (*encode8)(float, float, char *, size_t)) {
  float in[2];
  pelmora_char16 units[PELMORA_LOCATOR_SIZE16] = {0};
  char text[PELMORA_LOCATOR_SIZE], expected[PELMORA_LOCATOR_SIZE];
  if (!Inputs(line, in, 2)) return;
  const int status = encode16(in[0], in[1], units, sizeof units / sizeof units[0]);
  const int status8 = encode8(in[0], in[1], text, sizeof text);
  /* Six units on success (U+0000 among them perhaps), none on failure. */
  const size_t length = status == PELMORA_OK ? 6 : 0;
  const size_t expected_size = Utf8(units, length, expected, 1);
  const size_t size8 = status8 == PELMORA_OK ? pelmora_text_size(text) : strlen(text);
  printf("%s %08" PRIX32 " %08" PRIX32 " -> %d ", name, BitsOf(in[0]), BitsOf(in[1]),
         ErrorIndex(status));
  Show(units, length, status != PELMORA_OK);
  putchar('\n');
  if (status8 != status || size8 != expected_size || memcmp(text, expected, size8) != 0) {
    printf("UTF-8 differs: %s %08" PRIX32 " %08" PRIX32 " -> %d %s\n", name, BitsOf(in[0]),
           BitsOf(in[1]), status8, text);
  }
}

static void Decode(const char *line) {
  /* The text lies between "decode " and the last " -> ". */
  const char *start = line + strlen("decode ");
  const char *arrow = NULL;
  for (const char *p = strstr(start, " -> "); p != NULL; p = strstr(p + 1, " -> ")) arrow = p;
  if (arrow == NULL || arrow - start < 2 || *start != '"' || arrow[-1] != '"') return;
  pelmora_char16 units[256] = {0};
  size_t length = 0;
  for (const char *p = start + 1; p < arrow - 1 && length < 256;) {
    unsigned unit;
    if (p[0] == '\\' && p[1] == 'u' && arrow - 1 - p >= 6 && sscanf(p + 2, "%4X", &unit) == 1) {
      units[length++] = (pelmora_char16)unit;
      p += 6;
    } else {
      units[length++] = (pelmora_char16)(unsigned char)*p++;
    }
  }
  float lat = 0.0f, lon = 0.0f, lat8 = 0.0f, lon8 = 0.0f;
  const int lat_status = pelmora_lat_from_grid16(units, length, &lat);
  const int lon_status = pelmora_long_from_grid16(units, length, &lon);
  char text[3 * 256];
  const size_t bytes = Utf8(units, length, text, 0);
  const int lat_status8 = pelmora_lat_from_grid(text, bytes, &lat8);
  const int lon_status8 = pelmora_long_from_grid(text, bytes, &lon8);
  printf("decode ");
  Show(units, length, 0);
  printf(" -> %d %08" PRIX32 " %d %08" PRIX32 "\n", ErrorIndex(lat_status), BitsOf(lat),
         ErrorIndex(lon_status), BitsOf(lon));
  if (lat_status8 != lat_status || lon_status8 != lon_status || BitsOf(lat8) != BitsOf(lat) ||
      BitsOf(lon8) != BitsOf(lon)) {
    printf("UTF-8 differs: decode %d %08" PRIX32 " %d %08" PRIX32 "\n", lat_status8, BitsOf(lat8),
           lon_status8, BitsOf(lon8));
  }
}

/* The inputs and scalar results of the corpus's distances and bearings, in
 * their order, for the array forms. */
typedef struct Calls {
  float *in[4];
  float *result;
  int *status;
  size_t count, capacity;
} Calls;

static void Keep(Calls *calls, const float in[4], float result, int status) {
  if (calls->count == calls->capacity) {
    calls->capacity = calls->capacity * 2 + 1024;
    for (int k = 0; k < 4; ++k) {
      calls->in[k] = realloc(calls->in[k], calls->capacity * sizeof(float));
      if (calls->in[k] == NULL) abort();
    }
    calls->result = realloc(calls->result, calls->capacity * sizeof(float));
    calls->status = realloc(calls->status, calls->capacity * sizeof(int));
    if (calls->result == NULL || calls->status == NULL) abort();
  }
  for (int k = 0; k < 4; ++k) calls->in[k][calls->count] = in[k];
  calls->result[calls->count] = result;
  calls->status[calls->count] = status;
  ++calls->count;
}

typedef int (*ArrayForm)(size_t, const float *, ptrdiff_t, const float *, ptrdiff_t, const float *,
                         ptrdiff_t, const float *, ptrdiff_t, float *, ptrdiff_t, int *, ptrdiff_t,
                         size_t *);

/* The calls again through an array form, all at once: a line for each
 * element that differs from its scalar call. */
static void Replay(const char *name, Calls *calls, ArrayForm form) {
  const size_t n = calls->count;
  float *result = malloc((n + 1) * sizeof(float));
  int *status = malloc((n + 1) * sizeof(int));
  if (result == NULL || status == NULL) abort();
  size_t first = 0;
  const int returned =
      form(n, calls->in[0], sizeof(float), calls->in[1], sizeof(float), calls->in[2], sizeof(float),
           calls->in[3], sizeof(float), result, sizeof(float), status, sizeof(int), &first);
  size_t expected_first = n;
  for (size_t i = 0; i < n; ++i) {
    if (status[i] != calls->status[i] || BitsOf(result[i]) != BitsOf(calls->result[i])) {
      printf("%s_n differs: %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32
             " -> %d %08" PRIX32 "\n",
             name, BitsOf(calls->in[0][i]), BitsOf(calls->in[1][i]), BitsOf(calls->in[2][i]),
             BitsOf(calls->in[3][i]), status[i], BitsOf(result[i]));
    }
    if (expected_first == n && calls->status[i] != PELMORA_OK) expected_first = i;
  }
  if (first != expected_first ||
      returned != (expected_first == n ? PELMORA_OK : calls->status[expected_first])) {
    printf("%s_n reports its first failure at %zu (%d)\n", name, first, returned);
  }
  free(result);
  free(status);
  for (int k = 0; k < 4; ++k) free(calls->in[k]);
  free(calls->result);
  free(calls->status);
}

int main(void) {
  static char line[4096];
  Calls distances = {{NULL, NULL, NULL, NULL}, NULL, NULL, 0, 0};
  Calls bearings = {{NULL, NULL, NULL, NULL}, NULL, NULL, 0, 0};
  while (fgets(line, sizeof line, stdin) != NULL) {
    float in[4], result = 0.0f;
    if (strncmp(line, "azimut ", 7) == 0 && Inputs(line, in, 4)) {
      pelmora_bearing fields = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
      const int status = pelmora_azimut_fields(&fields, in[0], in[1], in[2], in[3], &result);
      float plain = -1.0f;
      const int plain_status = pelmora_azimut(in[0], in[1], in[2], in[3], &plain);
      printf("azimut %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " -> %d %08" PRIX32
             " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 "\n",
             BitsOf(in[0]), BitsOf(in[1]), BitsOf(in[2]), BitsOf(in[3]), ErrorIndex(status),
             BitsOf(result), BitsOf(fields.OtherLatRad), BitsOf(fields.LonDiff),
             BitsOf(fields.AuxAngle), BitsOf(fields.AzimutValue));
      Keep(&bearings, in, result, status);
      if (plain_status != status || BitsOf(plain) != BitsOf(result)) {
        printf("pelmora_azimut differs: %d %08" PRIX32 "\n", plain_status, BitsOf(plain));
      }
    } else if (strncmp(line, "distance ", 9) == 0 && Inputs(line, in, 4)) {
      const int status = pelmora_distance_from(in[0], in[1], in[2], in[3], &result);
      Keep(&distances, in, result, status);
      printf("distance %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " %08" PRIX32 " -> %d %08" PRIX32
             "\n",
             BitsOf(in[0]), BitsOf(in[1]), BitsOf(in[2]), BitsOf(in[3]), ErrorIndex(status),
             BitsOf(result));
    } else if (strncmp(line, "arccos ", 7) == 0 && Inputs(line, in, 1)) {
      const int status = pelmora_arc_cos(in[0], &result);
      printf("arccos %08" PRIX32 " -> %d %08" PRIX32 "\n", BitsOf(in[0]), ErrorIndex(status),
             BitsOf(result));
    } else if (strncmp(line, "sLocator ", 9) == 0) {
      Encode("sLocator", line, pelmora_s_locator16, pelmora_s_locator);
    } else if (strncmp(line, "GridFromLatLong ", 16) == 0) {
      Encode("GridFromLatLong", line, pelmora_grid_from_lat_long16, pelmora_grid_from_lat_long);
    } else if (strncmp(line, "decode ", 7) == 0) {
      Decode(line);
    }
  }
  Replay("distance_from", &distances, pelmora_distance_from_n);
  Replay("azimut", &bearings, pelmora_azimut_n);
  return ferror(stdin) || fflush(stdout) != 0 ? 1 : 0;
}
