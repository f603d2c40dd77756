// Maidenhead locators of every precision, exactly: 2 to 12 characters.
//
// A locator is one to six pairs, the longitude character first in each:
//   pair 1  field      letters A..R   20 degrees of longitude by 10 of latitude
//   pair 2  square     digits 0..9     2 by 1 degrees
//   pair 3  subsquare  letters a..x    5 by 2.5 minutes of arc
//   pair 4  digits 0..9                30 by 15 seconds of arc
//   pair 5  letters a..x               1.25 by 0.625 seconds
//   pair 6  digits 0..9                0.125 by 0.0625 seconds
// so 2, 4, 6, 8, 10 or 12 characters. Letters are read in either case and
// written upper case in the field pair, lower case after it ("JO62qm45ax").
// A text is read as a locator after its U+0020 spaces at both ends are
// skipped; anything else (an odd length, a letter past R or x, a tab, a
// character outside ASCII) makes it no locator.
//
// Coordinates are double degrees, latitude positive north, longitude
// positive east; a float32 converts to them exactly.
//
// Encoding gives the cell that contains the exact position: no step rounds
// before the cell is chosen. Cells are closed at their south and west edges
// and open at their north and east edges, so a position on a boundary
// belongs to the cell north or east of it (latitude 0 is in JJ, not JI;
// longitude 0 in JJ, not IJ). At the edges of the grid:
//   - latitude 90 (the north pole) is in the top row (R, 9, x, 9, x, 9):
//     there is no row north of it; -90 is in the bottom row as any south edge;
//   - longitude 180 is the antimeridian, the west edge of column A: it
//     wraps to -180 and is encoded as -180 is (the cell east of it);
//   - latitudes outside -90..90, longitudes outside -180..180, NaN and
//     infinities are refused (kOutOfRange), as is a number of characters
//     other than 2, 4, 6, 8, 10 and 12. -0 is 0.
//
// Decoding gives the cell: its centre, its south-west corner and its size,
// each the double nearest the exact value. Every corner, centre and size is
// a whole multiple of 1/57600 degree of longitude and 1/115200 degree of
// latitude (the half of the smallest cell), below 2^24 of them, so each is
// one exact integer divided once by 28800, 57600 or 115200: one correctly
// rounded division. The centre lies inside its cell by
// far more than its rounding, so encoding a decoded centre at the same
// number of characters gives the locator back.
//
// How this differs from the DLL's methods (encoding.h, decoding.h), which
// stay as they are:
//   - sLocator and GridFromLatLong make six characters only, from float32
//     degrees, through quotients rounded to float32 or double, so near a
//     boundary (and on it, for some boundaries) they can name the
//     neighbouring cell; they validate nothing and write S at 90 and 180.
//   - LatFromGrid and LongFromGrid read positions 1 to 6 of any text as
//     numbers, without validation, and give float32 centres (near zero not
//     the nearest float32); a text of 5 characters or of more than 6 is read
//     by its first characters. Here the whole text must be a locator.
// The same square or subsquare has the same centre in both, up to the
// rounding of the DLL's float32 result.
//
// Nothing here allocates, throws or keeps state; the arithmetic assumes
// round to nearest (libpelmora's floating-point guard sets it).
#pragma once

#include <cstdint>
#include <string_view>

namespace pelmora::calc {

inline constexpr int kGridMinCharacters = 2;
inline constexpr int kGridMaxCharacters = 12;

enum class GridStatus : std::uint8_t {
  kOk,
  kNotALocator,  // the text is no locator of 2 to 12 characters
  kOutOfRange,   // a coordinate outside its range, or a bad number of characters
};

// A locator's cell, in degrees.
struct GridCell {
  double lat = 0.0;  // the centre
  double lon = 0.0;
  double south = 0.0;  // the south-west corner
  double west = 0.0;
  double height = 0.0;  // the size: degrees of latitude
  double width = 0.0;   //           degrees of longitude
  int characters = 0;   // 2 to 12
};

// `text` without its U+0020 spaces at both ends.
std::u16string_view TrimSpaces(std::u16string_view text);

// The number of characters of the locator `text` holds (2 to 12) after its
// spaces at both ends are skipped, or 0 when it is no locator.
int LocatorCharacters(std::u16string_view text);

// The locator of `characters` characters whose cell contains (lat, lon),
// into `out` (its first `characters` units; nothing is written on failure).
GridStatus EncodeLocator(double lat, double lon, int characters,
                         char16_t (&out)[kGridMaxCharacters]);

// The cell of the locator `text` (spaces at both ends skipped). On failure
// the cell is left as it was.
GridStatus DecodeLocator(std::u16string_view text, GridCell* cell);

}  // namespace pelmora::calc
