// Locator decoding: a locator back to the centre of its square or subsquare.
//
// The input is a locator text of any length, possibly null, read in place:
// U+0020 spaces are skipped at both ends (tabs and inner spaces stay), and
// the units read are ASCII upper-cased. Positions below are 1-based UTF-16
// code units after the leading spaces; no surrogate pair is treated as a
// unit. Nothing but the spaces at the ends and the units at the positions is
// read, so the cost does not depend on the length of the text beyond its
// leading and trailing spaces, and nothing is copied.
//
// Each method reads only the three characters of its own coordinate and
// returns float32 degrees, positive north and east:
//   LatFromGrid   positions 2 (field), 4 (square), 6 (subsquare);
//                 10 degrees per field letter, 1 per square digit,
//                 24 subsquares per degree, shifted by -90.
//   LongFromGrid  positions 1 (field), 3 (square), 5 (subsquare);
//                 20 degrees per field letter, 2 per square digit,
//                 12 subsquares per degree, shifted by -180.
// With its subsquare character the result is the centre of the subsquare
// (index / 24 + 0.020833334 or index / 12 + 0.041666668, the offsets rounded
// to float32); when the text ends before it the subsquare is taken as "M"
// without the offset, which gives the centre of the square. So "JO62" gives
// 52.5 and 13, "JO62qm" 52.520832 and 13.375, and a text of exactly five
// units a subsquare longitude with a square latitude. Units after the sixth
// are never read. A text of fewer than four units gives +0.0 with success.
//
// Nothing is validated. A field or subsquare character counts its code in
// `page` minus 65 (letters past R or X give points outside the usual ranges,
// digits and punctuation count their codes the same way); a square character
// counts the value of a digit, and 0 for anything else. The field-and-square
// value is stored to float32 first, the subsquare value second, and the sum of
// the two less the shift last; that sum and difference are exact in double.
// A regular locator AA00aa..RR99xx decodes to the float32 nearest the centre
// of its subsquare, except within 2 degrees of latitude (4 of longitude) of
// zero, where the rounding of the subsquare value shows in the last bits of
// small results (II99xx gives -0.020833314 and -0.041666627 for -1/48 and
// -1/24). Both encodings give every regular locator back from its decoded
// centre. A square centre (four units) is exact.
//
// Failures (only the overflow error can arise):
//   - the field character's code outside -3211..3341 (LatFromGrid) or
//     -1573..1703 (LongFromGrid): the field's 16-bit degrees (code - 65) * 10 or
//     * 20 leave -32768..32767. The value is then +0.0.
//   - the subsquare character's code below -32703: code - 65 leaves the
//     16-bit range. The value is then the field-and-square value, without the
//     subsquare value and the shift.
// Codes 0..255 never reach these limits; only the negative codes of the
// characters of a double-byte code page can. Windows-1252, the default, gives
// 63 ("?") to every character it does not hold, so with it neither method
// fails. The floating-point test follows each float32 store, but no input can
// make it fail: the operands are 16-bit indices, square values up to 18 and
// the divisors 24 and 12.
#pragma once

#include <string_view>

#include "runtime/code_page.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace pelmora::calc {

runtime::Outcome<float> LatFromGrid(std::u16string_view Grid,
                                    const runtime::CodePage& page = runtime::Windows1252());

runtime::Outcome<float> LongFromGrid(std::u16string_view Grid,
                                     const runtime::CodePage& page = runtime::Windows1252());

// The same of a text; the null text reads as the empty one.
inline runtime::Outcome<float> LatFromGrid(const runtime::Text& Grid,
                                           const runtime::CodePage& page = runtime::Windows1252()) {
  return LatFromGrid(std::u16string_view(Grid.Units()), page);
}

inline runtime::Outcome<float> LongFromGrid(
    const runtime::Text& Grid, const runtime::CodePage& page = runtime::Windows1252()) {
  return LongFromGrid(std::u16string_view(Grid.Units()), page);
}

}  // namespace pelmora::calc
