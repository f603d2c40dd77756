/* SQL functions of Pelmora for SQLite: a loadable extension over libpelmora.
 *
 *   .load ./pelmora                      (the sqlite3 shell)
 *   con.enable_load_extension(True); con.load_extension("./pelmora")
 *
 * Every function is registered deterministic and innocuous, so that it may
 * stand in an index, a generated column, a view or a trigger:
 *
 *   pelmora_locator(lat, lon)            the DLL's GridFromLatLong, six characters
 *   pelmora_s_locator(lat, lon)          the DLL's sLocator
 *   pelmora_lat(locator)                 the DLL's LatFromGrid
 *   pelmora_lon(locator)                 the DLL's LongFromGrid
 *   pelmora_bearing(lat1, lon1, lat2, lon2)   Azimut, whole degrees 0..360
 *   pelmora_distance(lat1, lon1, lat2, lon2)  DistanceFrom, kilometres + 0.5
 *   pelmora_arc_cos(x)                   ArcCos, radians
 *
 * Arguments. A coordinate is an INTEGER or a REAL, or a TEXT that SQLite
 * reads as a number (a column imported from a CSV file); it becomes the
 * float32 nearest to it, as Automation passes a Double to a Single
 * parameter, and a value beyond single precision (infinities included) is
 * error 6, "Overflow". A locator is a TEXT (UTF-8). Any other type (a
 * BLOB, a TEXT that is no number) is an error naming the argument.
 * SQLite has no NaN: a NaN result is NULL, as SQLite stores it.
 *
 * NULL. A NULL argument gives NULL: a contact without a locator stays
 * without a distance.
 *
 * Failures. A failing calculation raises an SQL error whose message carries
 * the DLL's number and description, "pelmora_distance: Floating-point error
 * (513)", which aborts the statement as any SQL error does. After
 * `SELECT pelmora_on_error('null')` on a connection, a failing calculation
 * gives NULL instead (`pelmora_on_error('raise')` restores the default; each
 * call returns the mode it replaces); an argument of the wrong type still
 * raises its error. The mode belongs to the connection that loaded the
 * extension, and changing it does not change values already stored.
 *
 * Results are REAL (the float32 results, exactly) or TEXT; no function
 * allocates memory per row. */
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
  snprintf(message, sizeof message, "%s: %s (%d)", function, pelmora_strerror(status), status);
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

static void result_locator(sqlite3_context *context, const char *function, int status,
                           const char *text) {
  if (status != PELMORA_OK) {
    fail(context, function, status);
  } else {
    /* A locator may hold a NUL character: its length comes from the library. */
    sqlite3_result_text(context, text, (int)pelmora_text_size(text), SQLITE_TRANSIENT);
  }
}

typedef int (*encoder)(float lat, float lon, char *buffer, size_t size);

static void encode(sqlite3_context *context, const char *function, encoder fn, int argc,
                   sqlite3_value **argv) {
  float x[2];
  char buffer[PELMORA_LOCATOR_SIZE];
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!coordinates(context, function, 2, argv, x)) return;
  const int status = fn(x[0], x[1], buffer, sizeof buffer);
  result_locator(context, function, status, buffer);
}

static void sql_locator(sqlite3_context *context, int argc, sqlite3_value **argv) {
  encode(context, "pelmora_locator", pelmora_grid_from_lat_long, argc, argv);
}

static void sql_s_locator(sqlite3_context *context, int argc, sqlite3_value **argv) {
  encode(context, "pelmora_s_locator", pelmora_s_locator, argc, argv);
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

static void sql_lat(sqlite3_context *context, int argc, sqlite3_value **argv) {
  decode(context, "pelmora_lat", pelmora_lat_from_grid, argc, argv);
}

static void sql_lon(sqlite3_context *context, int argc, sqlite3_value **argv) {
  decode(context, "pelmora_lon", pelmora_long_from_grid, argc, argv);
}

typedef int (*between)(float a_lat, float a_lon, float b_lat, float b_lon, float *result);

static void two_positions(sqlite3_context *context, const char *function, between fn, int argc,
                          sqlite3_value **argv) {
  float x[4];
  float value = 0.0f;
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  if (!coordinates(context, function, 4, argv, x)) return;
  const int status = fn(x[0], x[1], x[2], x[3], &value);
  result_float(context, function, status, value);
}

static void sql_bearing(sqlite3_context *context, int argc, sqlite3_value **argv) {
  two_positions(context, "pelmora_bearing", pelmora_azimut, argc, argv);
}

static void sql_distance(sqlite3_context *context, int argc, sqlite3_value **argv) {
  two_positions(context, "pelmora_distance", pelmora_distance_from, argc, argv);
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
    {"pelmora_locator", 2, sql_locator}, {"pelmora_s_locator", 2, sql_s_locator},
    {"pelmora_lat", 1, sql_lat},         {"pelmora_lon", 1, sql_lon},
    {"pelmora_bearing", 4, sql_bearing}, {"pelmora_distance", 4, sql_distance},
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
