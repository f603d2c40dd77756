// The batch mode of the pelmora command: a CSV or TSV table or an ADIF log
// read as a stream and written back with results added.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/stream.h"

namespace pelmora::cli {

// Where messages go: "pelmora: FILE:LINE: what" on `err` (or collected in
// `collected` when `err` is null), and how many rows or records failed.
struct Diagnostics {
  std::string file = "-";
  std::FILE* err = stderr;
  std::string collected;
  std::size_t failures = 0;
  void Report(std::size_t line, std::string_view what);
  // "pelmora: FILE: what", about the whole input.
  void Report(std::string_view what);
};

// The result columns of a table, each a method of the DLL.
enum class Result {
  kDistance,  // DistanceFrom(from, to)
  kKm,        // its integer part, whole kilometres
  kBearing,   // Azimut(from, to)
  kLocator,   // GridFromLatLong(from)
  kSLocator,  // sLocator(from)
  kLat,       // LatFromGrid(text of the from column)
  kLon,       // LongFromGrid(text of the from column)
  kArcCos,    // ArcCos(x)
};

// The name of a result column, and the result of a name (false if none).
std::string_view ResultName(Result result);
bool ResultOfName(std::string_view name, Result* result);

struct TableOptions {
  char separator = ',';
  // One column holding LAT,LON or a locator, or two holding LAT and LON.
  std::vector<std::string> from{"from"};
  std::vector<std::string> to{"to"};
  std::string x = "x";
  std::vector<Result> add{Result::kDistance, Result::kBearing};
  // A result column the table has already is filled in place; otherwise it
  // is kept as it is and not computed.
  bool overwrite = false;
};

// Returns 0 when every row went well, 1 when some failed, 2 when the header
// lacks a column the results need (nothing is written then).
int RunTable(Source& in, Sink& out, const TableOptions& options, Diagnostics& diagnostics);

struct LogOptions {
  std::string bearing_field = "APP_PELMORA_BEARING";
  // A DISTANCE or bearing field a record has already is replaced, in place.
  bool overwrite = false;
};

// Returns 0 or 1, as RunTable.
int RunLog(Source& in, Sink& out, const LogOptions& options, Diagnostics& diagnostics);

// What a batch reads: a table, or a log.
enum class Format { kUnknown, kCsv, kTsv, kAdif };

// The format a file's name tells (.csv, .tsv, .adi, .adif, in any case),
// or kUnknown.
Format FormatOfName(std::string_view file);

// The format of the first kSniffBytes of the content: adif when they hold
// <eoh> or <eor> (in any case), tsv when the first line has a tab and no
// comma, else csv.
inline constexpr std::size_t kSniffBytes = std::size_t{1} << 16;
Format FormatOfContent(std::string_view head);

// Why `name` cannot be the field of the bearing, or empty when it can.
std::string BearingFieldProblem(std::string_view name);

struct BatchOptions {
  Format format = Format::kUnknown;  // kUnknown: from the content
  TableOptions table;
  LogOptions log;
};

// A whole batch: the format found when it is not given, the table or log
// written through, a failed read reported. Returns RunTable's and RunLog's
// statuses, or 1 when the input could not be read to its end.
int RunBatch(Source& in, Sink& out, BatchOptions options, Diagnostics& diagnostics);

// What a run of RunTable or RunLog over a text, read in pieces of `piece`
// bytes, writes, says (messages naming `file`) and returns: the readers'
// tests and fuzz targets compare such runs.
struct Captured {
  std::string out;
  std::string messages;
  int status;
};

template <class Options>
Captured Capture(int (*run)(Source&, Sink&, const Options&, Diagnostics&), std::string_view text,
                 const Options& options, std::size_t piece, std::string file = "-") {
  MemorySource in(text, piece);
  StringSink out;
  Diagnostics diagnostics;
  diagnostics.file = std::move(file);
  diagnostics.err = nullptr;
  const int status = run(in, out, options, diagnostics);
  out.Flush();
  return {std::move(out.text), std::move(diagnostics.collected), status};
}

}  // namespace pelmora::cli
