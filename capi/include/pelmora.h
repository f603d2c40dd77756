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
 * text (every successful text result has six characters).
 *
 * Texts. A locator comes in as UTF-16 code units (the *16 functions) or as
 * UTF-8 bytes, each with an explicit length (no terminator needed; a null
 * pointer with length 0 is the empty text). UTF-8 input means exactly: the
 * UTF-16 text that the UTF-8 decodes to, handled as the DLL handles that
 * text; each ill-formed sequence (a maximal subpart of one, as Unicode
 * defines it) decodes to one U+FFFD, as Windows' conversion from UTF-8 does.
 * The DLL turns the characters of a text into codes through the ANSI code
 * page Windows-1252: an ASCII letter or digit is itself, any character that
 * page lacks (U+FFFD included) counts as "?". Text results are written
 * NUL-terminated into the caller's buffer of `size` units (bytes for UTF-8);
 * PELMORA_LOCATOR_SIZE and PELMORA_LOCATOR_SIZE16 are always enough. A
 * successful text result has six characters, and a field character of code
 * 0 is U+0000 (latitude -740 or longitude -1480 give one), written as a NUL
 * unit or byte inside the text: read six UTF-16 units, or six UTF-8
 * sequences, rather than up to the first NUL (pelmora_text_size gives the
 * byte length of a UTF-8 result).
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
  PELMORA_INVALID_ARGUMENT = 5, /* "Invalid procedure call or argument" */
  PELMORA_OVERFLOW = 6,         /* "Overflow" */
  PELMORA_FLOATING_POINT = 513, /* "Floating-point error" */
  PELMORA_NULL_POINTER = -1,    /* a required pointer is null */
  PELMORA_BUFFER_TOO_SMALL = -2 /* a text result does not fit its buffer */
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

/* The length in bytes of the six-character UTF-8 text a successful locator
 * function wrote to `text`, without its terminator (six sequences, each a
 * NUL byte included; 6 to 18). */
PELMORA_API size_t pelmora_text_size(const char *text);

/* ---- Decoding: a locator to the centre of its square or subsquare ----
 * Spaces (U+0020) at both ends are skipped; of the rest, the latitude reads
 * the 2nd, 4th and 6th characters, the longitude the 1st, 3rd and 5th, in
 * either case. Four characters give the centre of the square ("JO62": 52.5,
 * 13), six that of the subsquare ("JO62qm": 52.520832, 13.375); fewer than
 * four give 0. Nothing is validated: other characters count by their code.
 * No text can fail with Windows-1252. */
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

#ifdef __cplusplus
}
#endif

#endif /* PELMORA_H */
