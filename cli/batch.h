// The batch mode of the pelmora command: a CSV or TSV table or an ADIF log
// read as a stream and written back with results added.
//
// Time and memory. Each byte of the input is scanned once, however the
// input arrives (a file or a pipe, in pieces of any size). A record is held
// whole in memory only up to max_record bytes: a longer one (a table row,
// a quoted cell, an ADIF record or value) is reported, passed on unchanged
// as it is read, and the rest of the input processed; the reader then
// holds at most max_record + 64 KiB of input, and the output in blocks of
// 256 KiB.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/stream.h"

namespace pelmora::cli {

class Progress;

// The exit statuses of the command, each with one meaning.
enum Exit {
  kExitOk = 0,      // all went well
  kExitFailed = 1,  // a calculation, some rows or records failed; or out of memory
  kExitUsage = 2,   // a bad command line (options, arguments, columns the table lacks)
  kExitFile = 3,    // a file could not be opened, read or written
};

// How a batch went, for --stats: the rows or records read (after the
// header; empty table lines not counted), and what became of each.
struct Stats {
  std::size_t read = 0;
  std::size_t annotated = 0;  // results written
  std::size_t kept = 0;       // it had every result already (no --overwrite)
  std::size_t skipped = 0;    // a log record without both locators
  std::size_t failed = 0;     // reported on standard error
};

// Where messages go: "pelmora: FILE:LINE: what" on `err` (or collected in
// `collected` when `err` is null), and the counts of the run.
struct Diagnostics {
  std::string file = "-";
  std::FILE* err = stderr;
  std::string collected;
  Stats stats;
  // The progress line, erased before each message (null: none).
  Progress* progress = nullptr;
  void Report(std::size_t line, std::string_view what);
  // "pelmora: FILE: what", about the whole input.
  void Report(std::string_view what);
  void Fail(std::size_t line, std::string_view what) {
    Report(line, what);
    ++stats.failed;
  }
};

// The longest record held whole by default, and the least allowed.
inline constexpr std::size_t kMaxRecord = std::size_t{16} << 20;
inline constexpr std::size_t kLeastMaxRecord = 4096;

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
  std::size_t max_record = kMaxRecord;
};

// A table: the header names the columns (a byte order mark before it is
// kept, and not part of the first name). A row with fewer cells than the
// header is read as if the missing ones were empty, and written with them
// (empty) before its results; a row with more is reported and written
// back unchanged. Returns kExitOk when every row went well, kExitFailed when
// some failed, kExitUsage when the header lacks a column the results need
// (nothing is written then).
int RunTable(Source& in, Sink& out, const TableOptions& options, Diagnostics& diagnostics);

struct LogOptions {
  std::string bearing_field = "APP_PELMORA_BEARING";
  // A DISTANCE or bearing field a record has already is replaced, in place.
  bool overwrite = false;
  // The station's locator for records without MY_GRIDSQUARE (empty: none).
  std::string my_grid;
  std::size_t max_record = kMaxRecord;
};

// Returns kExitOk or kExitFailed, as RunTable; kExitUsage (nothing written)
// for a bearing field or a station locator that cannot be.
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

// Why `name` cannot be the field of the bearing, or empty when it can: an
// ADIF field name, none of the fields the results read or write (DISTANCE,
// GRIDSQUARE, MY_GRIDSQUARE and their _EXT extensions).
std::string BearingFieldProblem(std::string_view name);

struct BatchOptions {
  Format format = Format::kUnknown;  // kUnknown: from the content
  TableOptions table;
  LogOptions log;
};

// A whole batch: the format found when it is not given, the table or log
// written through, a failed read reported (kExitFile) and running out of
// memory (kExitFailed, after what was done is in `out`).
int RunBatch(Source& in, Sink& out, BatchOptions options, Diagnostics& diagnostics);

// The --stats summary of a run.
std::string StatsLine(const Stats& stats);

// What a run of RunTable or RunLog over a text, read in pieces of `piece`
// bytes, writes, says (messages naming `file`) and returns: the readers'
// tests and fuzz targets compare such runs.
struct Captured {
  std::string out;
  std::string messages;
  int status;
  Stats stats;
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
  return {std::move(out.text), std::move(diagnostics.collected), status, diagnostics.stats};
}

}  // namespace pelmora::cli
