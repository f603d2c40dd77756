/* SQL functions of Pelmora for SQLite: a loadable extension over libpelmora.
 *
 *   .load /usr/lib/x86_64-linux-gnu/sqlite3/pelmora     (the sqlite3 shell)
 *   con.enable_load_extension(True); con.load_extension(".../pelmora")
 *
 * Every calculation is registered deterministic and innocuous, so that it
 * may stand in an index, a generated column, a view or a trigger.
 *
 * The calls loggers make (locators of 2 to 12 characters, exact; see
 * pelmora.h):
 *   pelmora_locator(lat, lon [, characters])  the locator whose cell holds
 *                                        the position, 6 characters unless
 *                                        told (pelmora_locator)
 *   pelmora_lat(locator), pelmora_lon(locator)   the centre a locator enters
 *                                        a path with: for 4 or 6 characters
 *                                        the DLL's LatFromGrid/LongFromGrid,
 *                                        else the exact centre rounded to
 *                                        float; a text that is no locator
 *                                        fails
 *   pelmora_is_locator(text)             its characters (2..12), or 0
 *   pelmora_grid_distance(from, to), pelmora_grid_bearing(from, to)
 *   pelmora_grid_long_distance(from, to), pelmora_grid_long_bearing(from, to)
 *                                        between two locators' centres
 *                                        (pelmora_grid_path)
 *   pelmora_distance(lat1, lon1, lat2, lon2), pelmora_bearing(...)
 *   pelmora_long_distance(...), pelmora_long_bearing(...)
 *                                        between two positions
 *                                        (pelmora_position_path): km + 0.5
 *                                        and whole degrees, as DistanceFrom
 *                                        and Azimut give them
 * The DLL's methods as they stand (six characters, nothing validated):
 *   pelmora_grid_from_lat_long(lat, lon), pelmora_s_locator(lat, lon),
 *   pelmora_lat_from_grid(text), pelmora_long_from_grid(text),
 *   pelmora_arc_cos(x)
 * So pelmora_grid_distance(a, b) is pelmora_distance(pelmora_lat(a),
 * pelmora_lon(a), pelmora_lat(b), pelmora_lon(b)), bit for bit.
 *
 * Arguments. A coordinate is an INTEGER or a REAL, or a TEXT that SQLite
 * reads as a number (a column imported from a CSV file); for the float
 * functions it becomes the float32 nearest to it, as Automation passes a
 * Double to a Single parameter, and a value beyond single precision
 * (infinities included) is error 6, "Overflow"; pelmora_locator takes it
 * as it is (a double). A locator is a TEXT (UTF-8). Any other type (a BLOB,
 * a TEXT that is no number) is an error naming the argument. SQLite has no
 * NaN: a NaN result is NULL, as SQLite stores it.
 *
 * NULL. A NULL argument gives NULL: a contact without a locator stays
 * without a distance.
 *
 * Failures. A failing calculation raises an SQL error whose message carries
 * libpelmora's description and status, as the command and the other layers
 * word them ("pelmora_distance: Floating-point error (error 513)"; the DLL's
 * number for the DLL's failures), which aborts the statement as any SQL
 * error does. After
 * `SELECT pelmora_on_error('null')` on a connection, a failing calculation
 * gives NULL instead (`pelmora_on_error('raise')` restores the default; each
 * call returns the mode it replaces); an argument of the wrong type still
 * raises its error. The mode belongs to the connection that loaded the
 * extension, and changing it does not change values already stored.
 *
 * Results are REAL (float32 results, exactly), INTEGER (pelmora_is_locator)
 * or TEXT; no function allocates memory per row. */
#include <float.h>
#include <sqlite3ext.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "pelmora.h"

SQLITE_EXTENSION_INIT1

/* The connection's mode for failures (0 raises an error, 1 gives NULL),
 * shared by the functions registered with it and freed with the last. */
typedef struct {
  int null_on_error;
  int references;
} pelmora_mode;

static void release(void *p) {
  pelmora_mode *mode = (pelmora_mode *)p;
  if (--mode->references == 0) sqlite3_free(mode);
}

static pelmora_mode *mode_of(sqlite3_context *context) {
  return (pelmora_mode *)sqlite3_user_data(context);
}

/* Reports a failed calculation of `status`, or gives NULL in 'null' mode. */
static void fail(sqlite3_context *context, const char *function, int status) {
  char message[96];
  if (mode_of(context)->null_on_error) {
    sqlite3_result_null(context);
    return;
  }
  snprintf(message, sizeof message, "%s: %s (error %d)", function, pelmora_strerror(status),
           status);
  sqlite3_result_error(context, message, -1);
}

static void fail_argument(sqlite3_context *context, const char *function, int index,
                          const char *what) {
  char message[128];
  snprintf(message, sizeof message, "%s: argument %d must be %s", function, index + 1, what);
  sqlite3_result_error(context, message, -1);
}

/* Any NULL argument: the result is NULL. */
static int any_null(int argc, sqlite3_value **argv) {
  for (int i = 0; i < argc; i++) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return 1;
  }
  return 0;
}

/* Argument i as a float32 coordinate. Returns 0 when it is not a number
 * (the error is set) and reports an overflow as the DLL's error 6. */
static int coordinate(sqlite3_context *context, const char *function, sqlite3_value **argv, int i,
                      float *out) {
  int type = sqlite3_value_numeric_type(argv[i]);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    fail_argument(context, function, i, "a number");
    return 0;
  }
  double value = sqlite3_value_double(argv[i]);
  if (value > (double)FLT_MAX || value < -(double)FLT_MAX) {
    fail(context, function, PELMORA_OVERFLOW);
    return 0;
  }
  *out = (float)value;
  return 1;
}

static int coordinates(sqlite3_context *context, const char *function, int argc,
                       sqlite3_value **argv, float *out) {
  for (int i = 0; i < argc; i++) {
    if (!coordinate(context, function, argv, i, &out[i])) return 0;
  }
  return 1;
}

/* Argument i as a locator text: its bytes and length. */
static int locator(sqlite3_context *context, const char *function, sqlite3_value **argv, int i,
                   const char **text, size_t *length) {
  if (sqlite3_value_type(argv[i]) != SQLITE_TEXT) {
    fail_argument(context, function, i, "a text");
    return 0;
  }
  *text = (const char *)sqlite3_value_text(argv[i]);
  *length = (size_t)sqlite3_value_bytes(argv[i]);
  if (*text == NULL) {
    sqlite3_result_error_nomem(context);
    return 0;
  }
  return 1;
}

/* A float32 result, or the failure of its status. */
static void result_float(sqlite3_context *context, const char *function, int status, float value) {
  if (status != PELMORA_OK) {
    fail(context, function, status);
  } else {
    sqlite3_result_double(context, (double)value);
  }
}

typedef int (*encoder)(float lat, float lon, pelmora_char16 *buffer, size_t size);

/* The DLL's six characters through UTF-16, so that a field of code 0 comes
 * out as the character U+0000 inside the text, as the DLL returns it. */
static void encode(sqlite3_context *context, const char *function, encoder fn, int argc,
                   sqlite3_value **argv) {
  float x[2];
  pelmora_char16 buffer[PELMORA_LOCATOR_SIZE16];
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!coordinates(context, function, 2, argv, x)) return;
  const int status = fn(x[0], x[1], buffer, PELMORA_LOCATOR_SIZE16);
  if (status != PELMORA_OK) {
    fail(context, function, status);
  } else {
    sqlite3_result_text16(context, buffer, (int)(6 * sizeof buffer[0]), SQLITE_TRANSIENT);
  }
}

static void sql_grid_from_lat_long(sqlite3_context *context, int argc, sqlite3_value **argv) {
  encode(context, "pelmora_grid_from_lat_long", pelmora_grid_from_lat_long16, argc, argv);
}

static void sql_s_locator(sqlite3_context *context, int argc, sqlite3_value **argv) {
  encode(context, "pelmora_s_locator", pelmora_s_locator16, argc, argv);
}

/* Argument i as a double, unchanged (pelmora_locator's coordinates). */
static int real(sqlite3_context *context, const char *function, sqlite3_value **argv, int i,
                double *out) {
  int type = sqlite3_value_numeric_type(argv[i]);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    fail_argument(context, function, i, "a number");
    return 0;
  }
  *out = sqlite3_value_double(argv[i]);
  return 1;
}

static void sql_locator(sqlite3_context *context, int argc, sqlite3_value **argv) {
  static const char function[] = "pelmora_locator";
  double lat, lon;
  int characters = 6;
  char buffer[PELMORA_GRID_SIZE];
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!real(context, function, argv, 0, &lat) || !real(context, function, argv, 1, &lon)) return;
  if (argc == 3) {
    if (sqlite3_value_numeric_type(argv[2]) != SQLITE_INTEGER) {
      fail_argument(context, function, 2, "a whole number of characters");
      return;
    }
    const sqlite3_int64 wanted = sqlite3_value_int64(argv[2]);
    characters = wanted >= 0 && wanted <= 12 ? (int)wanted : -1;
  }
  const int status = pelmora_locator(lat, lon, characters, buffer, sizeof buffer);
  if (status != PELMORA_OK) {
    fail(context, function, status);
  } else {
    sqlite3_result_text(context, buffer, -1, SQLITE_TRANSIENT);
  }
}

typedef int (*decoder)(const char *grid, size_t length, float *result);

static void decode(sqlite3_context *context, const char *function, decoder fn, int argc,
                   sqlite3_value **argv) {
  const char *text;
  size_t length;
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!locator(context, function, argv, 0, &text, &length)) return;
  const int status = fn(text, length, &value);
  result_float(context, function, status, value);
}

static void sql_lat_from_grid(sqlite3_context *context, int argc, sqlite3_value **argv) {
  decode(context, "pelmora_lat_from_grid", pelmora_lat_from_grid, argc, argv);
}

static void sql_long_from_grid(sqlite3_context *context, int argc, sqlite3_value **argv) {
  decode(context, "pelmora_long_from_grid", pelmora_long_from_grid, argc, argv);
}

/* The centre through which a locator enters a path (pelmora_grid_path):
 * the DLL's for 4 and 6 characters, else the exact one rounded to float. */
static int path_centre(const char *text, size_t length, int latitude, float *out) {
  int characters = 0;
  double lat = 0.0, lon = 0.0;
  int status = pelmora_is_locator(text, length, &characters);
  if (status != PELMORA_OK) return status;
  if (characters == 4 || characters == 6) {
    return latitude ? pelmora_lat_from_grid(text, length, out)
                    : pelmora_long_from_grid(text, length, out);
  }
  status = pelmora_locator_centre(text, length, &lat, &lon);
  *out = (float)(latitude ? lat : lon);
  return status;
}

static void centre(sqlite3_context *context, const char *function, int latitude, int argc,
                   sqlite3_value **argv) {
  const char *text;
  size_t length;
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!locator(context, function, argv, 0, &text, &length)) return;
  const int status = path_centre(text, length, latitude, &value);
  result_float(context, function, status, value);
}

static void sql_lat(sqlite3_context *context, int argc, sqlite3_value **argv) {
  centre(context, "pelmora_lat", 1, argc, argv);
}

static void sql_lon(sqlite3_context *context, int argc, sqlite3_value **argv) {
  centre(context, "pelmora_lon", 0, argc, argv);
}

static void sql_is_locator(sqlite3_context *context, int argc, sqlite3_value **argv) {
  const char *text;
  size_t length;
  int characters = 0;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!locator(context, "pelmora_is_locator", argv, 0, &text, &length)) return;
  pelmora_is_locator(text, length, &characters);
  sqlite3_result_int(context, characters);
}

/* One figure of a path from position x[0], x[1] to x[2], x[3]: the short
 * path's distance or bearing, and the long path's from it. */
enum { DISTANCE, BEARING, LONG_DISTANCE, LONG_BEARING };

static int path_figure(const float x[4], int which, float *value) {
  float short_path = 0.0f;
  const int status = which == DISTANCE || which == LONG_DISTANCE
                         ? pelmora_distance_from(x[0], x[1], x[2], x[3], &short_path)
                         : pelmora_azimut(x[0], x[1], x[2], x[3], &short_path);
  *value = short_path;
  if (status != PELMORA_OK || which == DISTANCE || which == BEARING) return status;
  return which == LONG_DISTANCE ? pelmora_long_path_distance(short_path, value)
                                : pelmora_long_path_bearing(short_path, value);
}

static void position_path(sqlite3_context *context, const char *function, int which, int argc,
                          sqlite3_value **argv) {
  float x[4];
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!coordinates(context, function, 4, argv, x)) return;
  const int status = path_figure(x, which, &value);
  result_float(context, function, status, value);
}

/* Between two locators' centres, as pelmora_grid_path goes. */
static void grid_path(sqlite3_context *context, const char *function, int which, int argc,
                      sqlite3_value **argv) {
  const char *from, *to;
  size_t from_length, to_length;
  float x[4];
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!locator(context, function, argv, 0, &from, &from_length) ||
      !locator(context, function, argv, 1, &to, &to_length)) {
    return;
  }
  int status = path_centre(from, from_length, 1, &x[0]);
  if (status == PELMORA_OK) status = path_centre(from, from_length, 0, &x[1]);
  if (status == PELMORA_OK) status = path_centre(to, to_length, 1, &x[2]);
  if (status == PELMORA_OK) status = path_centre(to, to_length, 0, &x[3]);
  if (status == PELMORA_OK) status = path_figure(x, which, &value);
  result_float(context, function, status, value);
}

static void sql_distance(sqlite3_context *c, int n, sqlite3_value **v) {
  position_path(c, "pelmora_distance", DISTANCE, n, v);
}
static void sql_bearing(sqlite3_context *c, int n, sqlite3_value **v) {
  position_path(c, "pelmora_bearing", BEARING, n, v);
}
static void sql_long_distance(sqlite3_context *c, int n, sqlite3_value **v) {
  position_path(c, "pelmora_long_distance", LONG_DISTANCE, n, v);
}
static void sql_long_bearing(sqlite3_context *c, int n, sqlite3_value **v) {
  position_path(c, "pelmora_long_bearing", LONG_BEARING, n, v);
}
static void sql_grid_distance(sqlite3_context *c, int n, sqlite3_value **v) {
  grid_path(c, "pelmora_grid_distance", DISTANCE, n, v);
}
static void sql_grid_bearing(sqlite3_context *c, int n, sqlite3_value **v) {
  grid_path(c, "pelmora_grid_bearing", BEARING, n, v);
}
static void sql_grid_long_distance(sqlite3_context *c, int n, sqlite3_value **v) {
  grid_path(c, "pelmora_grid_long_distance", LONG_DISTANCE, n, v);
}
static void sql_grid_long_bearing(sqlite3_context *c, int n, sqlite3_value **v) {
  grid_path(c, "pelmora_grid_long_bearing", LONG_BEARING, n, v);
}

static void sql_arc_cos(sqlite3_context *context, int argc, sqlite3_value **argv) {
  float x;
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!coordinate(context, "pelmora_arc_cos", argv, 0, &x)) return;
  const int status = pelmora_arc_cos(x, &value);
  result_float(context, "pelmora_arc_cos", status, value);
}

/* pelmora_on_error('raise' | 'null'): sets the connection's mode, returns
 * the one it replaces. Not deterministic, and only for direct use. */
static void sql_on_error(sqlite3_context *context, int argc, sqlite3_value **argv) {
  pelmora_mode *mode = mode_of(context);
  const char *previous = mode->null_on_error ? "null" : "raise";
  const unsigned char *wanted = sqlite3_value_text(argv[0]);
  (void)argc;
  if (wanted != NULL && strcmp((const char *)wanted, "null") == 0) {
    mode->null_on_error = 1;
  } else if (wanted != NULL && strcmp((const char *)wanted, "raise") == 0) {
    mode->null_on_error = 0;
  } else {
    sqlite3_result_error(context, "pelmora_on_error: the mode is 'raise' or 'null'", -1);
    return;
  }
  sqlite3_result_text(context, previous, -1, SQLITE_STATIC);
}

typedef struct {
  const char *name;
  int arguments;
  void (*function)(sqlite3_context *, int, sqlite3_value **);
} sql_function;

static const sql_function functions[] = {
    {"pelmora_locator", 2, sql_locator},
    {"pelmora_locator", 3, sql_locator},
    {"pelmora_lat", 1, sql_lat},
    {"pelmora_lon", 1, sql_lon},
    {"pelmora_is_locator", 1, sql_is_locator},
    {"pelmora_distance", 4, sql_distance},
    {"pelmora_bearing", 4, sql_bearing},
    {"pelmora_long_distance", 4, sql_long_distance},
    {"pelmora_long_bearing", 4, sql_long_bearing},
    {"pelmora_grid_distance", 2, sql_grid_distance},
    {"pelmora_grid_bearing", 2, sql_grid_bearing},
    {"pelmora_grid_long_distance", 2, sql_grid_long_distance},
    {"pelmora_grid_long_bearing", 2, sql_grid_long_bearing},
    {"pelmora_grid_from_lat_long", 2, sql_grid_from_lat_long},
    {"pelmora_s_locator", 2, sql_s_locator},
    {"pelmora_lat_from_grid", 1, sql_lat_from_grid},
    {"pelmora_long_from_grid", 1, sql_long_from_grid},
    {"pelmora_arc_cos", 1, sql_arc_cos},
};

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
    int sqlite3_pelmora_init(sqlite3 *db, char **error, const sqlite3_api_routines *api) {
  const int count = (int)(sizeof functions / sizeof functions[0]);
  pelmora_mode *mode;
  int rc;
  SQLITE_EXTENSION_INIT2(api);
  mode = sqlite3_malloc(sizeof *mode);
  if (mode == NULL) return SQLITE_NOMEM;
  mode->null_on_error = 0;
  /* One reference per registration; SQLite releases one when a function is
   * replaced, dropped with the connection, or fails to register. */
  mode->references = count + 1;
  rc = sqlite3_create_function_v2(db, "pelmora_on_error", 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, mode,
                                  sql_on_error, NULL, NULL, release);
  for (int i = 0; i < count; i++) {
    if (rc != SQLITE_OK) {
      release(mode); /* the references of the functions never registered */
      continue;
    }
    rc = sqlite3_create_function_v2(db, functions[i].name, functions[i].arguments,
                                    SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, mode,
                                    functions[i].function, NULL, NULL, release);
  }
  if (rc != SQLITE_OK && error != NULL) {
    *error = sqlite3_mprintf("pelmora: %s", sqlite3_errmsg(db));
  }
  return rc;
}
