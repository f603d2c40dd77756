// Numbers and positions as the pelmora command reads and writes them.
//
// A number is read as an Automation client hands it to a float parameter:
// the decimal text becomes the nearest double, which becomes the nearest
// float; a finite double beyond the float range (and so an infinity) is an
// overflow, as Automation's conversion makes it ("inf" included). NaN passes
// as a quiet NaN. Syntax: optional spaces, [+-], digits with an optional
// point (or a point and digits), an optional exponent, optional spaces; or
// nan, inf, infinity in any case.
//
// A position is "LAT,LON" (two numbers) or a Maidenhead locator of 2 to 12
// characters (field letters A..R, square digits, subsquare letters A..X,
// then digits, letters A..X and digits, as the extended system has them; in
// either case), spaces and tabs at both ends skipped. A locator of four or
// six characters stands for the centre the DLL decodes it to (LatFromGrid,
// LongFromGrid), so that every figure for such locators is the DLL's; one
// of 2, 8, 10 or 12 characters for its exact centre rounded to float
// (libpelmora's pelmora_locator_centre). A field letter S stands for the
// edge of the grid, latitude 90 or longitude 180, as the DLL's encoders
// write it: in a locator of four or six characters, followed in its
// coordinate by 0 and a only ("JS00aa", "SJ00aa").
//
// A float is written as the shortest decimal that reads back as the same
// float ("52.520832", "13.375", "1e-08"), nan and inf as such.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora::cli {

enum class ValueError { kNone, kSyntax, kRange, kCall };

// Unsigned decimal `text` (digits, point, exponent as above) as the nearest
// double; false when it is no such text.
bool ParseDecimal(std::string_view text, double* out);

// `text` as a float: kNone, or kSyntax / kRange (an overflow).
ValueError ParseNumber(std::string_view text, float* out);

// `text` (the same syntax) as the nearest double, for the calls that take
// double degrees: no range, "inf" an infinity; kNone or kSyntax.
ValueError ParseDouble(std::string_view text, double* out);

struct Position {
  float lat = 0.0f;
  float lon = 0.0f;
};

// The one reader of locators: `text` (spaces around it skipped) as the
// centre of its cell; kSyntax when it is no locator, kCall when decoding
// failed (the status in *status), which Windows-1252 never lets happen.
ValueError ReadLocator(std::string_view text, Position* out, int* status);

// `text` as a position, LAT,LON or a locator (ReadLocator).
ValueError ParsePosition(std::string_view text, Position* out, int* status);

// Appends the shortest decimal of `x`; at most kFloatChars bytes.
inline constexpr std::size_t kFloatChars = 24;
void AppendFloat(std::string& out, float x);
std::string FormatFloat(float x);

// A failed call of libpelmora for a message: "WHAT: description (error N)".
std::string CallFailure(std::string_view what, int status);

// A short excerpt of `text` for a message, in single quotes: at most
// kExcerpt bytes, each byte outside printable ASCII (and the quote and the
// backslash) as \xHH, and the whole size when it is cut.
inline constexpr std::size_t kExcerpt = 40;
std::string Excerpt(std::string_view text);

// What went wrong with a number or position text, for a message.
std::string Describe(ValueError error, std::string_view text, bool position);

}  // namespace pelmora::cli
