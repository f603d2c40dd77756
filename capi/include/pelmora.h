/* libpelmora: Maidenhead locators, bearings and great-circle distances,
 * bit for bit as the methods of the Automation class CalcDistClass in
 * Pelmora.dll compute them.
 *
 * Units. Coordinates are single-precision (float) degrees, latitude positive
 * north, longitude positive east; no function checks a range. Distances are
 * kilometres (plus 0.5, as DistanceFrom gives them), bearings whole degrees
 * 0 to 360, arc cosines radians.
 *
 * Results. Every function returns a status (PELMORA_OK or one of the codes
 * below) and writes its result through its last pointer argument. On a
 * failure of the calculation a number function still writes the value the
 * DLL's out-parameter holds then (each calculation documents it; mostly 0),
 * and a text function writes the empty text, standing for the DLL's null
 * text (every successful result of the DLL's encoders has six characters).
 *
 * Texts. A locator comes in as UTF-16 code units (the *16 functions) or as
 * UTF-8 bytes, each with an explicit length (no terminator needed; a null
 * pointer with length 0 is the empty text). No function reads a unit outside
 * the `length` units from the pointer; a length that no object can have
 * (more than PTRDIFF_MAX bytes, or reaching past the end of the address
 * space) is refused with PELMORA_LENGTH_TOO_LARGE, the text unread and the
 * results 0. UTF-8 input means exactly: the UTF-16 text that the UTF-8
 * decodes to, handled as the DLL handles that text; each ill-formed
 * sequence (a maximal subpart of one, as Unicode defines it) decodes to one
 * U+FFFD, as Windows' conversion from UTF-8 does.
 * The DLL turns the characters of a text into codes through the ANSI code
 * page Windows-1252: an ASCII letter or digit is itself, any character that
 * page lacks (U+FFFD included) counts as "?". Text results are written
 * NUL-terminated into the caller's buffer of `size` units (bytes for UTF-8);
 * PELMORA_LOCATOR_SIZE and PELMORA_LOCATOR_SIZE16 are always enough. A
 * successful text result of the DLL's encoders has six characters, and a
 * field character of code 0 is U+0000 (latitude -740 or longitude -1480
 * give one): in UTF-16 a NUL unit inside the text (read six units, not up
 * to the first NUL); in UTF-8 the two bytes C0 80, as Java's and Tcl's
 * modified UTF-8 write it, so that every UTF-8 result is a C string that
 * ends at its first NUL byte (strlen and pelmora_text_size give its
 * length).
 *
 * Floating point. Every call runs with round to nearest, every exception
 * masked and no flush to zero, whatever the caller's floating-point
 * environment, and gives the caller's environment (control and flags) back
 * unchanged. On x86-64 a call costs the least (a few nanoseconds beyond its
 * calculation) when the caller's control is the default one and its
 * inexact flag is set, as it is after any rounded operation. Other control
 * settings cost two writes of the control register, some nanoseconds more;
 * a caller whose flags are all clear has the flags the call raised cleared
 * again, which stalls the processor for about the length of the
 * calculation.
 *
 * Threads. Every function may be called from any number of threads at once:
 * the library has no state; the bearing's working values live in the call,
 * or in a pelmora_bearing the caller owns. No function allocates memory.
 */
#ifndef PELMORA_H
#define PELMORA_H

#include <stddef.h>
#include <stdint.h>

#include "pelmora_version.h"

#if defined(_WIN32) && defined(PELMORA_SHARED)
#if defined(PELMORA_BUILDING)
#define PELMORA_API __declspec(dllexport)
#else
#define PELMORA_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define PELMORA_API __attribute__((visibility("default")))
#else
#define PELMORA_API
#endif

#ifdef __cplusplus
extern "C" {
typedef char16_t pelmora_char16;
#else
typedef uint_least16_t pelmora_char16;
#endif

/* Statuses. The three failures of a calculation carry the DLL's error
 * numbers (its failure HRESULT is 0x800A0000 | number); the negative ones
 * are misuses of this library. */
enum {
  PELMORA_OK = 0,
  PELMORA_INVALID_ARGUMENT = 5,  /* "Invalid procedure call or argument" */
  PELMORA_OVERFLOW = 6,          /* "Overflow" */
  PELMORA_FLOATING_POINT = 513,  /* "Floating-point error" */
  PELMORA_NULL_POINTER = -1,     /* a required pointer is null */
  PELMORA_BUFFER_TOO_SMALL = -2, /* a text result does not fit its buffer */
  PELMORA_NOT_A_LOCATOR = -3,    /* a text is no locator of 2 to 12 characters */
  PELMORA_OUT_OF_RANGE = -4,     /* a coordinate or count outside its range */
  PELMORA_LENGTH_TOO_LARGE = -5  /* a text length no object can have */
};

/* A locator result with its terminator: six UTF-16 units, or at most three
 * UTF-8 bytes per unit (Windows-1252 gives characters up to U+2122). */
#define PELMORA_LOCATOR_SIZE16 7
#define PELMORA_LOCATOR_SIZE 19

/* The description of a status, a static English text: for the three
 * failures the DLL's description exactly, "Success" for PELMORA_OK,
 * "Unknown status" for a number that is none of these. */
PELMORA_API const char *pelmora_strerror(int status);

/* The library's version, "MAJOR.MINOR.PATCH" (PELMORA_VERSION of the
 * header the library was built with). */
PELMORA_API const char *pelmora_version(void);

/* The same as a number, MAJOR * 1000000 + MINOR * 1000 + PATCH (1000000 for
 * 1.0.0): PELMORA_VERSION_NUMBER of the header the library was built with.
 * A program compares it with the PELMORA_VERSION_NUMBER it was compiled
 * with to learn which library it runs with. */
PELMORA_API int pelmora_version_number(void);

/* ---- Encoding: a position to a six-character locator ----
 * The field pair (A..R, S at exactly 90 or 180 degrees), the square pair
 * (0..9), the subsquare pair (a..x), longitude first in each. The two
 * encodings differ on and next to cell boundaries:
 *   pelmora_s_locator            (coordinate + 180 or 90) / (20 or 10), the
 *                                running quotients rounded to float (the
 *                                DLL's sLocator);
 *   pelmora_grid_from_lat_long   coordinate / (20 or 10) + 9 in double (its
 *                                GridFromLatLong).
 * Failures: PELMORA_OVERFLOW for a quotient beyond 16 bits (infinities and
 * quiet NaN included), PELMORA_INVALID_ARGUMENT for a field character beyond
 * code 255 (longitudes outside -1480..3640, latitudes outside -740..1820),
 * PELMORA_FLOATING_POINT for a signalling NaN. The buffer then holds "". */
PELMORA_API int pelmora_s_locator(float lat, float lon, char *buffer, size_t size);
PELMORA_API int pelmora_grid_from_lat_long(float lat, float lon, char *buffer, size_t size);
PELMORA_API int pelmora_s_locator16(float lat, float lon, pelmora_char16 *buffer, size_t size);
PELMORA_API int pelmora_grid_from_lat_long16(float lat, float lon, pelmora_char16 *buffer,
                                             size_t size);

/* The length in bytes of a UTF-8 text result, without its terminator: the
 * bytes before its first NUL (6 to 18 for a successful six-character
 * result, 0 for the empty text a failed call leaves). It reads nothing after
 * the first NUL byte, and at most PELMORA_LOCATOR_SIZE - 1 bytes (a text
 * without a NUL among them gives PELMORA_LOCATOR_SIZE - 1); a null pointer
 * gives 0. */
PELMORA_API size_t pelmora_text_size(const char *text);

/* ---- Decoding: a locator to the centre of its square or subsquare ----
 * Spaces (U+0020) at both ends are skipped; of the rest, the latitude reads
 * the 2nd, 4th and 6th characters, the longitude the 1st, 3rd and 5th, in
 * either case. Four characters give the centre of the square ("JO62": 52.5,
 * 13), six that of the subsquare ("JO62qm": 52.520832, 13.375); fewer than
 * four give 0. Nothing is validated: other characters count by their code.
 * With Windows-1252 no text fails (a length no object can have apart). */
PELMORA_API int pelmora_lat_from_grid(const char *grid, size_t length, float *result);
PELMORA_API int pelmora_long_from_grid(const char *grid, size_t length, float *result);
PELMORA_API int pelmora_lat_from_grid16(const pelmora_char16 *grid, size_t length, float *result);
PELMORA_API int pelmora_long_from_grid16(const pelmora_char16 *grid, size_t length, float *result);

/* ---- Bearing ----
 * The direction, clockwise from true north in whole degrees 0..360 (both
 * stand for north), in which the great circle from my position to the
 * other leaves mine (the DLL's Azimut). A zero or NaN other latitude or
 * longitude is a missing position: 0 with success. Equal longitudes give
 * 180 for a target due south, else 0.
 * Failure: PELMORA_FLOATING_POINT (infinite coordinates, a NaN in my
 * position, latitudes or longitude differences too close to zero); the
 * result is then 0. */
PELMORA_API int pelmora_azimut(float my_lat, float my_lon, float lat, float lon, float *result);

/* The working values the DLL keeps in its instance for Azimut, float, in
 * its order. A call writes the fields it reaches and reads none it has not
 * written in that call. */
typedef struct pelmora_bearing {
  float OtherLatRad; /* the other latitude in radians */
  float LonDiff;     /* my longitude minus the other's: radians, then degrees */
  float OtherLonRad; /* the other longitude in radians */
  float AuxAngle;    /* the first tangent term, then the auxiliary angle */
  float AzimutValue; /* the bearing's working value, at the end the result */
} pelmora_bearing;

/* pelmora_azimut with its working values in `fields`, which the caller
 * owns (one per thread, or one per call), so that they can be seen after
 * the call as the DLL's instance holds them. */
PELMORA_API int pelmora_azimut_fields(pelmora_bearing *fields, float my_lat, float my_lon,
                                      float lat, float lon, float *result);

/* ---- Great-circle distance ----
 * pelmora_distance_from: kilometres plus 0.5 (not made whole; a logging
 * program's whole kilometres are the integer part) on a sphere of radius
 * 6366.7068 km, from a to b (the DLL's DistanceFrom). Identical positions
 * give 0. Success lies in [0.50006366, 20002.0996].
 * Failure: PELMORA_FLOATING_POINT for any NaN or infinite coordinate; the
 * result is then 0. */
PELMORA_API int pelmora_distance_from(float a_lat, float a_lon, float b_lat, float b_lon,
                                      float *result);

/* The arc cosine in radians (the DLL's ArcCos, which DistanceFrom uses):
 * never fails. 1 gives 9.99999994e-09, values above 1 tiny positive values,
 * -1 and below pi rounded to float. */
PELMORA_API int pelmora_arc_cos(float x, float *result);

/* The DLL's Distanse: 0 with success, whatever the inputs. */
PELMORA_API int pelmora_distanse(float lat, float lon, float *result);

/* ---- Locators of every precision, exactly ----
 * A locator of 2 to 12 characters: one to six pairs, longitude character
 * first in each: the field (letters A..R, 20 by 10 degrees), the square
 * (digits, 2 by 1 degrees), the subsquare (letters a..x, 5 by 2.5 minutes),
 * then digits (30 by 15 seconds), letters a..x (1.25 by 0.625 seconds) and
 * digits (0.125 by 0.0625 seconds), as the extended system in wide use has
 * them. Letters are read in either case and written upper case in the
 * field, lower case after it ("JO62qm45ax"); spaces (U+0020) at both ends
 * are skipped; any other text (odd lengths, tabs, letters past R or x, a
 * character outside ASCII) is no locator: PELMORA_NOT_A_LOCATOR.
 * Coordinates are double degrees (a float converts exactly).
 *
 * These functions stand beside the DLL's methods above, which stay as they
 * are: those make and read six characters only, round their quotients (so
 * near a cell boundary the DLL's encoders can name the neighbouring cell),
 * validate nothing, write S at latitude 90 or longitude 180, and give float
 * centres. Here every result is exact:
 *   - encoding gives the cell that contains the exact position. A position
 *     on a boundary belongs to the cell north or east of it; latitude 90 is
 *     in the top row (there is none north of it); longitude 180, the
 *     antimeridian, is -180 (the west edge of column A). Latitudes outside
 *     -90..90, longitudes outside -180..180, NaN, and a count of characters
 *     other than 2, 4, 6, 8, 10, 12 give PELMORA_OUT_OF_RANGE.
 *   - decoding gives the cell's centre, south-west corner and size, each the
 *     double nearest the exact value; encoding a decoded centre at the same
 *     count gives the locator back.
 * Nothing here depends on the caller's floating-point environment either.
 */

/* A locator result with its terminator, in bytes or UTF-16 units (ASCII). */
#define PELMORA_GRID_SIZE 13

/* The locator of `characters` (2, 4, ..., 12) characters whose cell holds
 * (lat, lon), written NUL-terminated into `buffer` of `size` bytes or units
 * (characters + 1 are enough). Failures: PELMORA_OUT_OF_RANGE,
 * PELMORA_NULL_POINTER, PELMORA_BUFFER_TOO_SMALL; the buffer then holds ""
 * (when `size` is at least 1). */
PELMORA_API int pelmora_locator(double lat, double lon, int characters, char *buffer, size_t size);
PELMORA_API int pelmora_locator16(double lat, double lon, int characters, pelmora_char16 *buffer,
                                  size_t size);

/* A locator's cell, in degrees. */
typedef struct pelmora_cell {
  double lat, lon;      /* the centre */
  double south, west;   /* the south-west corner */
  double height, width; /* the size: degrees of latitude, of longitude */
  int characters;       /* 2 to 12 */
} pelmora_cell;

/* The centre of the locator `locator` of `length` bytes or units, and on
 * request (pelmora_locator_cell) its corner and size: "JO62" gives 52.5,
 * 13; "JO62qm" 52.520833333333336, 13.375; "JO" 55, 10. Failures:
 * PELMORA_NOT_A_LOCATOR (then 0 everywhere), PELMORA_NULL_POINTER,
 * PELMORA_LENGTH_TOO_LARGE. */
PELMORA_API int pelmora_locator_centre(const char *locator, size_t length, double *lat,
                                       double *lon);
PELMORA_API int pelmora_locator_centre16(const pelmora_char16 *locator, size_t length, double *lat,
                                         double *lon);
PELMORA_API int pelmora_locator_cell(const char *locator, size_t length, pelmora_cell *cell);
PELMORA_API int pelmora_locator_cell16(const pelmora_char16 *locator, size_t length,
                                       pelmora_cell *cell);

/* Whether `text` is a locator, and of how many characters: PELMORA_OK with
 * `*characters` 2 to 12, or PELMORA_NOT_A_LOCATOR with 0 (also
 * PELMORA_NULL_POINTER, PELMORA_LENGTH_TOO_LARGE). */
PELMORA_API int pelmora_is_locator(const char *text, size_t length, int *characters);
PELMORA_API int pelmora_is_locator16(const pelmora_char16 *text, size_t length, int *characters);

/* ---- Paths: short and long ----
 * The short path is DistanceFrom and Azimut from the first position to the
 * second, exactly as pelmora_distance_from and pelmora_azimut give them. The
 * long path goes the other way round the same great circle, defined from
 * the short path's float results alone:
 *   long_distance  the whole circle of the sphere above (twice
 *                  DistanceFrom's half circle H = 20001.600000000002 km)
 *                  less the short path's kilometres, plus 0.5 as
 *                  DistanceFrom adds it: for a short result d > 0,
 *                  (float)(40004.200000000004 - d), the difference formed in
 *                  double (the constant is 2H + 1, exact); for d = 0
 *                  (identical positions) the whole circle, 40003.6992.
 *                  DistanceFrom's [0.50006366, 20002.0996] becomes
 *                  [20002.0996, 40003.6992].
 *   long_bearing   the reverse bearing: b + 180 for b below 180, else
 *                  b - 180 (0 and 360 give 180, 180 gives 0).
 * A part that fails is 0 with its long counterpart; the status is the
 * distance's failure, else the bearing's (pelmora_azimut's failures). */
typedef struct pelmora_path {
  float distance;      /* km + 0.5, DistanceFrom; +0.0 for the same place */
  float bearing;       /* whole degrees 0..360, Azimut */
  float long_distance; /* km + 0.5 the other way round */
  float long_bearing;  /* whole degrees 0..360 */
} pelmora_path;

/* The path from my position to the other. */
PELMORA_API int pelmora_position_path(float my_lat, float my_lon, float lat, float lon,
                                      pelmora_path *path);

/* The path from locator `from` to locator `to`, each of 2 to 12 characters,
 * between their centres as floats: for a locator of 4 or 6 characters the
 * centre pelmora_lat_from_grid and pelmora_long_from_grid give (so every
 * figure for such locators is the DLL's, bit for bit), for 2, 8, 10 or 12
 * characters the exact centre rounded to the nearest float. No centre lies
 * on the equator or the prime meridian, which Azimut would take for a
 * missing position. Failures as pelmora_position_path, and
 * PELMORA_NOT_A_LOCATOR (the path then all 0), PELMORA_NULL_POINTER,
 * PELMORA_LENGTH_TOO_LARGE. */
PELMORA_API int pelmora_grid_path(const char *from, size_t from_length, const char *to,
                                  size_t to_length, pelmora_path *path);
PELMORA_API int pelmora_grid_path16(const pelmora_char16 *from, size_t from_length,
                                    const pelmora_char16 *to, size_t to_length, pelmora_path *path);

/* The long path's distance and bearing from the short path's, as above.
 * PELMORA_OUT_OF_RANGE (and 0) for a distance outside 0..20002.0996 or a
 * bearing outside 0..360, NaN included. */
PELMORA_API int pelmora_long_path_distance(float distance, float *result);
PELMORA_API int pelmora_long_path_bearing(float bearing, float *result);

/* ---- Arrays: many calculations in one call ----
 * pelmora_distance_from_n, pelmora_azimut_n, pelmora_position_path_n and
 * pelmora_arc_cos_n compute element i from element i of each input, for i
 * from 0 to n - 1, each result and status bit for bit the one the scalar
 * function gives for those inputs (pelmora_distance_from, pelmora_azimut,
 * pelmora_position_path, pelmora_arc_cos), on every processor. One call
 * sets up the floating-point environment once for all n elements.
 *
 * Layout. Every array is a pointer and a stride in bytes, as BLAS and NumPy
 * describe arrays: element i lies at (char *)pointer + i * stride. A stride
 * of 0 repeats one element (a station's position for a whole log), a
 * negative one walks backwards. Elements need not be aligned: each is read
 * and written as bytes. A result or status may share memory with
 * the inputs of its own element only (results written over an input in
 * place, or over records of the four inputs); results and statuses must
 * not overlap each other.
 *
 * Statuses. `status` (with `status_stride`) receives each element's status,
 * or is NULL when the caller wants none. Either way every element is
 * computed and its result written (a failed element holds what the scalar
 * function writes then), the function returns PELMORA_OK when every element
 * succeeded, else the status of the first element that failed, and writes
 * that element's index, or n when none failed, to `*first_failure` unless
 * that is NULL.
 *
 * Misuse, reported before any element is read or written (`*first_failure`
 * is then 0): PELMORA_NULL_POINTER for a null input or result pointer when
 * n > 0; PELMORA_LENGTH_TOO_LARGE for an array whose n elements would reach
 * past either end of the address space or span more than PTRDIFF_MAX
 * bytes. n = 0 reads and writes nothing but `*first_failure` (0) and gives
 * PELMORA_OK.
 *
 * Speed. On x86-64 processors with AVX2 and FMA (chosen at run time) eight
 * elements go through the sine, cosine and arc tangent at once; an element
 * whose rounding test fails or that needs a status other than PELMORA_OK
 * is made again by the scalar function. The environment variable
 * PELMORA_NO_AVX2, set to any non-empty value when the library is first
 * used, keeps to the scalar path (the results are the same). A first
 * position of stride 0 (both its arrays: a station) has the distance's sine
 * and cosine of its latitude made once for the whole array. */
PELMORA_API int pelmora_distance_from_n(size_t n, const float *a_lat, ptrdiff_t a_lat_stride,
                                        const float *a_lon, ptrdiff_t a_lon_stride,
                                        const float *b_lat, ptrdiff_t b_lat_stride,
                                        const float *b_lon, ptrdiff_t b_lon_stride, float *result,
                                        ptrdiff_t result_stride, int *status,
                                        ptrdiff_t status_stride, size_t *first_failure);
PELMORA_API int pelmora_azimut_n(size_t n, const float *my_lat, ptrdiff_t my_lat_stride,
                                 const float *my_lon, ptrdiff_t my_lon_stride, const float *lat,
                                 ptrdiff_t lat_stride, const float *lon, ptrdiff_t lon_stride,
                                 float *result, ptrdiff_t result_stride, int *status,
                                 ptrdiff_t status_stride, size_t *first_failure);
PELMORA_API int pelmora_position_path_n(size_t n, const float *my_lat, ptrdiff_t my_lat_stride,
                                        const float *my_lon, ptrdiff_t my_lon_stride,
                                        const float *lat, ptrdiff_t lat_stride, const float *lon,
                                        ptrdiff_t lon_stride, pelmora_path *path,
                                        ptrdiff_t path_stride, int *status, ptrdiff_t status_stride,
                                        size_t *first_failure);
/* Never fails but for misuse (no statuses). */
PELMORA_API int pelmora_arc_cos_n(size_t n, const float *x, ptrdiff_t x_stride, float *result,
                                  ptrdiff_t result_stride);

#ifdef __cplusplus
}
#endif

#endif /* PELMORA_H */
