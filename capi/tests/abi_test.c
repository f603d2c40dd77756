/* libpelmora's ABI as a C program sees it, held by static assertions: the
 * layout of its structs, the statuses, the buffer sizes and the unit type; a
 * change to any of them breaks the programs built against the library and
 * fails this file's compilation. At run time: the library's version, as
 * text and as number, is the header's. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "pelmora.h"

_Static_assert(sizeof(pelmora_char16) == 2, "pelmora_char16 is one UTF-16 unit");

_Static_assert(sizeof(pelmora_bearing) == 20, "pelmora_bearing is five floats");
_Static_assert(offsetof(pelmora_bearing, OtherLatRad) == 0, "OtherLatRad first");
_Static_assert(offsetof(pelmora_bearing, LonDiff) == 4, "LonDiff second");
_Static_assert(offsetof(pelmora_bearing, OtherLonRad) == 8, "OtherLonRad third");
_Static_assert(offsetof(pelmora_bearing, AuxAngle) == 12, "AuxAngle fourth");
_Static_assert(offsetof(pelmora_bearing, AzimutValue) == 16, "AzimutValue fifth");

_Static_assert(offsetof(pelmora_cell, lat) == 0, "pelmora_cell: lat first");
_Static_assert(offsetof(pelmora_cell, lon) == 8, "pelmora_cell: lon");
_Static_assert(offsetof(pelmora_cell, south) == 16, "pelmora_cell: south");
_Static_assert(offsetof(pelmora_cell, west) == 24, "pelmora_cell: west");
_Static_assert(offsetof(pelmora_cell, height) == 32, "pelmora_cell: height");
_Static_assert(offsetof(pelmora_cell, width) == 40, "pelmora_cell: width");
_Static_assert(offsetof(pelmora_cell, characters) == 48, "pelmora_cell: characters last");

_Static_assert(sizeof(pelmora_path) == 16, "pelmora_path is four floats");
_Static_assert(offsetof(pelmora_path, distance) == 0, "pelmora_path: distance first");
_Static_assert(offsetof(pelmora_path, bearing) == 4, "pelmora_path: bearing");
_Static_assert(offsetof(pelmora_path, long_distance) == 8, "pelmora_path: long_distance");
_Static_assert(offsetof(pelmora_path, long_bearing) == 12, "pelmora_path: long_bearing");

_Static_assert(PELMORA_OK == 0, "status");
_Static_assert(PELMORA_INVALID_ARGUMENT == 5, "status");
_Static_assert(PELMORA_OVERFLOW == 6, "status");
_Static_assert(PELMORA_FLOATING_POINT == 513, "status");
_Static_assert(PELMORA_NULL_POINTER == -1, "status");
_Static_assert(PELMORA_BUFFER_TOO_SMALL == -2, "status");
_Static_assert(PELMORA_NOT_A_LOCATOR == -3, "status");
_Static_assert(PELMORA_OUT_OF_RANGE == -4, "status");
_Static_assert(PELMORA_LENGTH_TOO_LARGE == -5, "status");

_Static_assert(PELMORA_LOCATOR_SIZE16 == 7, "buffer size");
_Static_assert(PELMORA_LOCATOR_SIZE == 19, "buffer size");
_Static_assert(PELMORA_GRID_SIZE == 13, "buffer size");

int main(void) {
  unsigned major = 0, minor = 0, patch = 0;
  char rest = 0;
  const char *version = pelmora_version();
  if (sscanf(version, "%u.%u.%u%c", &major, &minor, &patch, &rest) != 3) {
    fprintf(stderr, "pelmora_version() is \"%s\", not MAJOR.MINOR.PATCH\n", version);
    return 1;
  }
  if (strcmp(version, PELMORA_VERSION) != 0 || major != PELMORA_VERSION_MAJOR ||
      minor != PELMORA_VERSION_MINOR || patch != PELMORA_VERSION_PATCH) {
    fprintf(stderr, "pelmora_version() is %s, the header's %s\n", version, PELMORA_VERSION);
    return 1;
  }
  /* The number from the text, digit groups of three below the major. */
  const long number = (long)major * 1000000L + (long)minor * 1000L + (long)patch;
  if (pelmora_version_number() != number || PELMORA_VERSION_NUMBER != number) {
    fprintf(stderr, "version %s: pelmora_version_number() %d, PELMORA_VERSION_NUMBER %d, not %ld\n",
            version, pelmora_version_number(), PELMORA_VERSION_NUMBER, number);
    return 1;
  }
  printf("libpelmora %s (%d): struct layout, statuses and sizes as the header was built with\n",
         version, pelmora_version_number());
  return 0;
}
