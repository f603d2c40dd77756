/* Replays the table of loggers' cases (tests/cases/loggers.tsv) through
 * libpelmora's C functions: each case line is computed again from its call
 * and arguments and must come out as the table has it, character for
 * character. Comments and blank lines are kept as they are.
 *
 *   capi_cases TABLE            compare; the differing lines on stdout, exit 1
 *   capi_cases --write TABLE    the table as computed, on stdout
 *
 * Numbers in the arguments are decimal texts. A float argument must read
 * the same as a float and as a double narrowed to float, so that a layer
 * that reads doubles passes the same bits; a line where they differ is
 * reported. */
#include <inttypes.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "pelmora.h"

#define MAX_FIELDS 16
#define LINE_SIZE 1024

static uint32_t FloatBits(float x) {
  uint32_t bits;
  memcpy(&bits, &x, sizeof bits);
  return bits;
}

static uint64_t DoubleBits(double x) {
  uint64_t bits;
  memcpy(&bits, &x, sizeof bits);
  return bits;
}

static int ambiguous = 0;

static double Double(const char *text) { return strtod(text, NULL); }

static float Float(const char *text) {
  const float direct = strtof(text, NULL);
  const float narrowed = (float)strtod(text, NULL);
  if (FloatBits(direct) != FloatBits(narrowed) && !(isnan(direct) && isnan(narrowed)))
    ambiguous = 1;
  return direct;
}

/* Appends to `out` of LINE_SIZE bytes. */
static void Put(char *out, const char *format, ...) __attribute__((format(printf, 2, 3)));
static void Put(char *out, const char *format, ...) {
  const size_t used = strlen(out);
  va_list args;
  va_start(args, format);
  vsnprintf(out + used, LINE_SIZE - used, format, args);
  va_end(args);
}

static void PutPath(char *out, const pelmora_path *path) {
  Put(out, "\t%08" PRIX32 "\t%08" PRIX32 "\t%08" PRIX32 "\t%08" PRIX32, FloatBits(path->distance),
      FloatBits(path->bearing), FloatBits(path->long_distance), FloatBits(path->long_bearing));
}

/* The line of the case in `field` (its call and arguments; `count` fields
 * in all, the last the note), computed into `out`; 0 for an unknown call or
 * a wrong number of fields. */
static int Compute(char **field, int count, char *out) {
  const char *call = field[0];
  const char *note = field[count - 1];
  int status;
  out[0] = '\0';
  if (strcmp(call, "locator") == 0 && count >= 5) {
    char text[PELMORA_GRID_SIZE];
    status = pelmora_locator(Double(field[1]), Double(field[2]), atoi(field[3]), text, sizeof text);
    Put(out, "%s\t%s\t%s\t%s\t%d\t%s", call, field[1], field[2], field[3], status, text);
  } else if (strcmp(call, "cell") == 0 && count >= 3) {
    pelmora_cell cell;
    status = pelmora_locator_cell(field[1], strlen(field[1]), &cell);
    Put(out, "%s\t%s\t%d", call, field[1], status);
    const double values[] = {cell.lat, cell.lon, cell.south, cell.west, cell.height, cell.width};
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i)
      Put(out, "\t%016" PRIX64, DoubleBits(values[i]));
    Put(out, "\t%d", cell.characters);
  } else if (strcmp(call, "is_locator") == 0 && count >= 3) {
    int characters;
    status = pelmora_is_locator(field[1], strlen(field[1]), &characters);
    Put(out, "%s\t%s\t%d\t%d", call, field[1], status, characters);
  } else if (strcmp(call, "grid_path") == 0 && count >= 4) {
    pelmora_path path;
    status = pelmora_grid_path(field[1], strlen(field[1]), field[2], strlen(field[2]), &path);
    Put(out, "%s\t%s\t%s\t%d", call, field[1], field[2], status);
    PutPath(out, &path);
  } else if (strcmp(call, "position_path") == 0 && count >= 6) {
    pelmora_path path;
    status = pelmora_position_path(Float(field[1]), Float(field[2]), Float(field[3]),
                                   Float(field[4]), &path);
    Put(out, "%s\t%s\t%s\t%s\t%s\t%d", call, field[1], field[2], field[3], field[4], status);
    PutPath(out, &path);
  } else if ((strcmp(call, "long_path_distance") == 0 || strcmp(call, "long_path_bearing") == 0) &&
             count >= 3) {
    float result;
    status = strcmp(call, "long_path_distance") == 0
                 ? pelmora_long_path_distance(Float(field[1]), &result)
                 : pelmora_long_path_bearing(Float(field[1]), &result);
    Put(out, "%s\t%s\t%d\t%08" PRIX32, call, field[1], status, FloatBits(result));
  } else {
    return 0;
  }
  Put(out, "\t%s", note);
  return 1;
}

int main(int argc, char **argv) {
  const int write = argc == 3 && strcmp(argv[1], "--write") == 0;
  if (argc != 2 && !write) {
    fprintf(stderr, "usage: capi_cases [--write] TABLE\n");
    return 2;
  }
  FILE *table = fopen(argv[argc - 1], "r");
  if (table == NULL) {
    perror(argv[argc - 1]);
    return 2;
  }
  static char line[LINE_SIZE], copy[LINE_SIZE], out[LINE_SIZE];
  int number = 0, differ = 0, cases = 0;
  while (fgets(line, sizeof line, table) != NULL) {
    ++number;
    line[strcspn(line, "\n")] = '\0';
    if (line[0] == '#' || line[0] == '\0') {
      if (write) printf("%s\n", line);
      continue;
    }
    strcpy(copy, line);
    char *field[MAX_FIELDS];
    int count = 0;
    for (char *p = copy; count < MAX_FIELDS;) {
      field[count++] = p;
      p = strchr(p, '\t');
      if (p == NULL) break;
      *p++ = '\0';
    }
    ambiguous = 0;
    const int known = Compute(field, count, out);
    ++cases;
    if (write) {
      printf("%s\n", known ? out : line);
    } else if (!known || ambiguous || strcmp(out, line) != 0) {
      printf("line %d%s\n  table:    %s\n  computed: %s\n", number,
             !known      ? " (unknown call)"
             : ambiguous ? " (a float argument reads two ways)"
                         : "",
             line, out);
      differ = 1;
    }
  }
  if (ferror(table) || fclose(table) != 0) return 2;
  if (!write) printf("%d cases, %s\n", cases, differ ? "some differ" : "all as the table has them");
  return differ || fflush(stdout) != 0 ? 1 : 0;
}
