#include "cli/batch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "cli/adif.h"
#include "cli/csv.h"
#include "cli/text.h"
#include "cli/values.h"
#include "pelmora.h"

namespace pelmora::cli {

void Diagnostics::Report(std::size_t line, std::string_view what) {
  std::string message = "pelmora: " + file + ":" + std::to_string(line) + ": ";
  message.append(what);
  message.push_back('\n');
  if (err != nullptr) {
    std::fputs(message.c_str(), err);
  } else {
    collected += message;
  }
}

void Diagnostics::Report(std::string_view what) {
  std::string message = "pelmora: " + file + ": ";
  message.append(what);
  message.push_back('\n');
  if (err != nullptr) {
    std::fputs(message.c_str(), err);
  } else {
    collected += message;
  }
}

namespace {

constexpr std::string_view kResultNames[] = {"distance", "km",  "bearing", "locator",
                                             "slocator", "lat", "lon",     "arccos"};

bool NeedsTo(Result r) {
  return r == Result::kDistance || r == Result::kKm || r == Result::kBearing;
}
bool NeedsFrom(Result r) { return r != Result::kArcCos; }

// The line ends in `bytes`.
std::size_t Lines(std::string_view bytes) {
  std::size_t n = 0;
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  while (at != end) {
    const auto* lf =
        static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (lf == nullptr) break;
    ++n;
    at = lf + 1;
  }
  return n;
}

// Reads until `split` finds a whole record in the window; false at the end,
// or when a read failed (the window then holds what came before the
// failure and is not a whole record).
template <class Split>
bool NextRecord(Source& in, Split&& split) {
  for (;;) {
    if (split(in.Window(), in.AtEnd())) return true;
    if (in.Failed() || (!in.More() && in.Window().empty())) return false;
  }
}

}  // namespace

std::string_view ResultName(Result result) { return kResultNames[static_cast<int>(result)]; }

bool ResultOfName(std::string_view name, Result* result) {
  for (std::size_t i = 0; i < std::size(kResultNames); ++i) {
    if (name == kResultNames[i]) {
      *result = static_cast<Result>(i);
      return true;
    }
  }
  return false;
}

// ---- Tables ----

namespace {

class Table {
 public:
  Table(const TableOptions& options, Diagnostics& diagnostics)
      : options_(options), diagnostics_(diagnostics) {}

  // The header: the columns the results read and the columns they fill.
  bool Header(std::string_view bytes, const CsvRecord& header) {
    for (const CsvField& f : header.fields) {
      names_.emplace_back(TrimSpaces(CsvValue(bytes.substr(f.begin, f.end - f.begin), &scratch_)));
    }
    bool needs_from = false, needs_to = false, needs_x = false;
    for (const Result r : options_.add) {
      needs_from = needs_from || NeedsFrom(r);
      needs_to = needs_to || NeedsTo(r);
      needs_x = needs_x || r == Result::kArcCos;
      if ((r == Result::kLat || r == Result::kLon) && options_.from.size() != 1) {
        diagnostics_.Report(1, std::string(ResultName(r)) + " decodes one column (--from=COLUMN)");
        return false;
      }
      const int existing = Find(ResultName(r));
      columns_.push_back({r, existing, existing < 0 || options_.overwrite});
      in_place_ = in_place_ || (existing >= 0 && options_.overwrite);
    }
    bool good = true;
    const auto resolve = [&](const std::vector<std::string>& names, std::vector<int>& to) {
      for (const std::string& name : names) {
        const int index = Find(name);
        if (index < 0) {
          diagnostics_.Report(1, "no column '" + name + "' in the header");
          good = false;
        }
        to.push_back(index);
      }
    };
    if (needs_from) resolve(options_.from, from_);
    if (needs_to) resolve(options_.to, to_);
    if (needs_x) resolve({options_.x}, x_);
    return good;
  }

  void WriteHeader(std::string_view bytes, const CsvRecord& header, Sink& out) {
    out.Put(bytes.substr(0, header.content));
    for (const Column& c : columns_) {
      if (c.existing >= 0) continue;
      out.Put(options_.separator);
      out.Put(ResultName(c.result));
    }
    out.Put(bytes.substr(header.content, header.length - header.content));
  }

  // One row: its results, then the row as it was with them.
  void Row(std::string_view bytes, const CsvRecord& row, std::size_t line, Sink& out) {
    if (row.content == 0) {  // an empty line stays as it is
      out.Put(bytes.substr(0, row.length));
      return;
    }
    bytes_ = bytes;
    row_ = &row;
    line_ = line;
    failed_ = false;
    have_from_ = have_to_ = false;
    cells_.resize(columns_.size());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      cells_[i].clear();
      if (columns_[i].computed) Compute(columns_[i].result, cells_[i]);
    }
    if (failed_) ++diagnostics_.failures;
    std::string& o = out.Buffer();
    if (!in_place_) {
      o.append(bytes.substr(0, row.content));
    } else {
      for (std::size_t f = 0; f < row.fields.size(); ++f) {
        if (f > 0) o.push_back(options_.separator);
        const std::size_t c = ColumnFilling(f);
        if (c < columns_.size()) {
          AppendCsvValue(o, cells_[c], options_.separator);
        } else {
          o.append(bytes.substr(row.fields[f].begin, row.fields[f].end - row.fields[f].begin));
        }
      }
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].existing >= 0) continue;
      o.push_back(options_.separator);
      AppendCsvValue(o, cells_[i], options_.separator);
    }
    out.Put(bytes.substr(row.content, row.length - row.content));
  }

 private:
  struct Column {
    Result result;
    int existing;   // its index in the header, or -1: appended
    bool computed;  // false: kept as the table has it
  };

  int Find(std::string_view name) const {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (SameNoCase(names_[i], name)) return static_cast<int>(i);
    }
    return -1;
  }

  // The result column filled in place at field `f`, or columns_.size().
  std::size_t ColumnFilling(std::size_t f) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].computed && columns_[i].existing == static_cast<int>(f)) return i;
    }
    return columns_.size();
  }

  void Fail(std::string_view what) {
    diagnostics_.Report(line_, what);
    failed_ = true;
  }

  // The value of column `index` of the row, or false (and a message).
  bool Cell(int index, std::string_view* value) {
    if (static_cast<std::size_t>(index) >= row_->fields.size()) {
      Fail("no value for column '" + names_[static_cast<std::size_t>(index)] + "'");
      return false;
    }
    const CsvField& f = row_->fields[static_cast<std::size_t>(index)];
    *value = CsvValue(bytes_.substr(f.begin, f.end - f.begin), &scratch_);
    return true;
  }

  bool Number(int index, float* out) {
    std::string_view text;
    if (!Cell(index, &text)) return false;
    const ValueError e = ParseNumber(text, out);
    if (e == ValueError::kNone) return true;
    Fail(names_[static_cast<std::size_t>(index)] + ": " + Describe(e, text, false));
    return false;
  }

  // A position from one column (LAT,LON or a locator) or two (LAT, LON).
  bool Place(const std::vector<int>& columns, Position* out) {
    if (columns.size() == 2) return Number(columns[0], &out->lat) && Number(columns[1], &out->lon);
    std::string_view text;
    if (!Cell(columns[0], &text)) return false;
    int status = PELMORA_OK;
    const ValueError e = ParsePosition(text, out, &status);
    if (e == ValueError::kNone) return true;
    const std::string& name = names_[static_cast<std::size_t>(columns[0])];
    if (e == ValueError::kCall) {
      Fail(CallFailure(name, status));
    } else {
      Fail(name + ": " + Describe(e, text, true));
    }
    return false;
  }

  bool From() {
    if (!have_from_) have_from_ = Place(from_, &from_position_) ? 1 : -1;
    return have_from_ > 0;
  }
  bool To() {
    if (!have_to_) have_to_ = Place(to_, &to_position_) ? 1 : -1;
    return have_to_ > 0;
  }

  // The result `r` of the row into `cell`; empty when it failed.
  void Compute(Result r, std::string& cell) {
    float value = 0.0f;
    int status = PELMORA_OK;
    switch (r) {
      case Result::kDistance:
      case Result::kKm:
        if (!From() || !To()) return;
        status = pelmora_distance_from(from_position_.lat, from_position_.lon, to_position_.lat,
                                       to_position_.lon, &value);
        break;
      case Result::kBearing:
        if (!From() || !To()) return;
        status = pelmora_azimut(from_position_.lat, from_position_.lon, to_position_.lat,
                                to_position_.lon, &value);
        break;
      case Result::kLocator:
      case Result::kSLocator: {
        if (!From()) return;
        char text[PELMORA_LOCATOR_SIZE];
        status = r == Result::kLocator
                     ? pelmora_grid_from_lat_long(from_position_.lat, from_position_.lon, text,
                                                  sizeof text)
                     : pelmora_s_locator(from_position_.lat, from_position_.lon, text, sizeof text);
        if (status != PELMORA_OK) return Fail(CallFailure(ResultName(r), status));
        cell.append(text, pelmora_text_size(text));
        return;
      }
      case Result::kLat:
      case Result::kLon: {
        std::string_view text;
        if (!Cell(from_[0], &text)) return;
        status = r == Result::kLat ? pelmora_lat_from_grid(text.data(), text.size(), &value)
                                   : pelmora_long_from_grid(text.data(), text.size(), &value);
        break;
      }
      case Result::kArcCos: {
        float x = 0.0f;
        if (!Number(x_[0], &x)) return;
        status = pelmora_arc_cos(x, &value);
        break;
      }
    }
    if (status != PELMORA_OK) return Fail(CallFailure(ResultName(r), status));
    if (r == Result::kKm) {
      cell.append(std::to_string(static_cast<std::int64_t>(value)));
    } else {
      AppendFloat(cell, value);
    }
  }

  const TableOptions& options_;
  Diagnostics& diagnostics_;
  std::vector<std::string> names_;
  std::vector<Column> columns_;
  bool in_place_ = false;
  std::vector<int> from_, to_, x_;
  std::string scratch_;
  std::vector<std::string> cells_;
  // The row at hand.
  std::string_view bytes_;
  const CsvRecord* row_ = nullptr;
  std::size_t line_ = 0;
  bool failed_ = false;
  int have_from_ = 0, have_to_ = 0;  // 0 not yet read, 1 read, -1 failed
  Position from_position_, to_position_;
};

}  // namespace

int RunTable(Source& in, Sink& out, const TableOptions& options, Diagnostics& diagnostics) {
  CsvRecord record;
  const auto split = [&](std::string_view window, bool at_end) {
    return SplitCsvRecord(window, at_end, options.separator, &record);
  };
  if (!NextRecord(in, split)) return 0;
  Table table(options, diagnostics);
  if (!table.Header(in.Window(), record)) return 2;
  table.WriteHeader(in.Window(), record, out);
  std::size_t line = 1 + record.lines;
  in.Consume(record.length);
  while (NextRecord(in, split)) {
    if (record.unterminated) {
      diagnostics.Report(line, "a quoted field without its closing quote");
      ++diagnostics.failures;
      out.Put(in.Window().substr(0, record.length));
    } else {
      table.Row(in.Window(), record, line, out);
    }
    line += record.lines;
    in.Consume(record.length);
  }
  out.Put(in.Window());  // a row cut short by a failed read
  in.Consume(in.Window().size());
  return diagnostics.failures > 0 ? 1 : 0;
}

// ---- Logs ----

namespace {

class Log {
 public:
  Log(const LogOptions& options, Diagnostics& diagnostics)
      : options_(options), diagnostics_(diagnostics) {}

  void Record(std::string_view bytes, const AdifRecord& record, std::size_t line, Sink& out) {
    const auto line_at = [&](std::size_t offset) { return line + Lines(bytes.substr(0, offset)); };
    const std::string_view whole = bytes.substr(0, record.length);
    if (!record.problem.empty()) {
      diagnostics_.Report(line_at(record.problem_at), record.problem);
      ++diagnostics_.failures;
      out.Put(whole);
      return;
    }
    const Fields fields = FindFields(record);
    const bool write_distance = fields.distance == nullptr || options_.overwrite;
    const bool write_bearing = fields.bearing == nullptr || options_.overwrite;
    if (fields.mine == nullptr || fields.theirs == nullptr || (!write_distance && !write_bearing)) {
      out.Put(whole);
      return;
    }
    Position a, b;
    if (!Grid(bytes, *fields.mine, line_at, &a) || !Grid(bytes, *fields.theirs, line_at, &b)) {
      ++diagnostics_.failures;
      out.Put(whole);
      return;
    }
    float km = 0.0f, azimut = 0.0f;
    int status = pelmora_distance_from(a.lat, a.lon, b.lat, b.lon, &km);
    const char* what = "DISTANCE";
    if (status == PELMORA_OK) {
      status = pelmora_azimut(a.lat, a.lon, b.lat, b.lon, &azimut);
      what = "bearing";
    }
    if (status != PELMORA_OK) {
      diagnostics_.Report(line_at(fields.theirs->tag), CallFailure(what, status));
      ++diagnostics_.failures;
      out.Put(whole);
      return;
    }
    distance_value_ = std::to_string(static_cast<std::int64_t>(km));
    bearing_value_.clear();
    AppendFloat(bearing_value_, azimut);
    WriteAnnotated(whole, record, fields, write_distance, write_bearing, out);
  }

 private:
  // The fields a record's results read and replace (the first of each name).
  struct Fields {
    const AdifField *mine = nullptr, *theirs = nullptr, *distance = nullptr, *bearing = nullptr;
  };

  Fields FindFields(const AdifRecord& record) const {
    Fields found;
    for (const AdifField& f : record.fields) {
      if (found.mine == nullptr && SameNoCase(f.name, "MY_GRIDSQUARE")) found.mine = &f;
      if (found.theirs == nullptr && SameNoCase(f.name, "GRIDSQUARE")) found.theirs = &f;
      if (found.distance == nullptr && SameNoCase(f.name, "DISTANCE")) found.distance = &f;
      if (found.bearing == nullptr && SameNoCase(f.name, options_.bearing_field))
        found.bearing = &f;
    }
    return found;
  }

  // The record with the fields replaced in place, in the order they stand,
  // and the new ones before its end tag.
  void WriteAnnotated(std::string_view whole, const AdifRecord& record, const Fields& fields,
                      bool write_distance, bool write_bearing, Sink& out) const {
    struct Edit {
      const AdifField* field;
      const std::string* value;
    };
    Edit edits[2];
    std::size_t count = 0;
    if (fields.distance != nullptr && write_distance)
      edits[count++] = {fields.distance, &distance_value_};
    if (fields.bearing != nullptr && write_bearing)
      edits[count++] = {fields.bearing, &bearing_value_};
    if (count == 2 && edits[1].field->tag < edits[0].field->tag) std::swap(edits[0], edits[1]);
    std::string& o = out.Buffer();
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const AdifField& f = *edits[i].field;
      o.append(whole.substr(at, f.tag - at));
      AppendField(o, f.name, f.type, *edits[i].value);
      at = f.end;
    }
    o.append(whole.substr(at, record.end_tag - at));
    if (fields.distance == nullptr) {
      AppendField(o, "DISTANCE", {}, distance_value_);
      o.push_back(' ');
    }
    if (fields.bearing == nullptr) {
      AppendField(o, options_.bearing_field, {}, bearing_value_);
      o.push_back(' ');
    }
    out.Put(whole.substr(record.end_tag));
  }

  static void AppendField(std::string& o, std::string_view name, std::string_view type,
                          std::string_view value) {
    o.push_back('<');
    o.append(name);
    o.push_back(':');
    o.append(std::to_string(value.size()));
    if (!type.empty()) {
      o.push_back(':');
      o.append(type);
    }
    o.push_back('>');
    o.append(value);
  }

  // The position of a locator field; false (and a message on the line of
  // the field, from `line_at`) when it is none.
  template <class LineAt>
  bool Grid(std::string_view bytes, const AdifField& f, const LineAt& line_at, Position* out) {
    const std::string_view value = bytes.substr(f.value, f.end - f.value);
    if (!IsLocator(value)) {
      diagnostics_.Report(
          line_at(f.tag),
          std::string(f.name) + ": '" + std::string(value.substr(0, 40)) + "' is not a locator");
      return false;
    }
    int status = PELMORA_OK;
    if (ParsePosition(value, out, &status) == ValueError::kNone) return true;
    diagnostics_.Report(line_at(f.tag), CallFailure(f.name, status));
    return false;
  }

  const LogOptions& options_;
  Diagnostics& diagnostics_;
  std::string distance_value_, bearing_value_;
};

}  // namespace

int RunLog(Source& in, Sink& out, const LogOptions& options, Diagnostics& diagnostics) {
  AdifRecord record;
  std::size_t line = 1;
  const auto advance = [&](std::size_t n) {
    line += Lines(in.Window().substr(0, n));
    in.Consume(n);
  };
  // The first record is the header when it ends with <EOH>; a later one
  // that does is malformed.
  bool first = true;
  Log log(options, diagnostics);
  for (;;) {
    const AdifSplit split = SplitAdifRecord(in.Window(), in.AtEnd(), &record);
    if (split == AdifSplit::kNeedMore) {
      if (in.Failed()) break;
      in.More();
      continue;
    }
    if (split == AdifSplit::kEnd) break;
    if (record.ends_header && first && record.problem.empty()) {
      out.Put(in.Window().substr(0, record.length));
    } else {
      if (record.ends_header && record.problem.empty()) {
        record.problem = "<EOH> out of place";
        record.problem_at = record.end_tag;
      }
      log.Record(in.Window(), record, line, out);
    }
    first = false;
    advance(record.length);
  }
  out.Put(in.Window());  // text after the last record, or one cut short by a failed read
  in.Consume(in.Window().size());
  return diagnostics.failures > 0 ? 1 : 0;
}

// ---- The whole batch ----

Format FormatOfName(std::string_view file) {
  if (EndsWithNoCase(file, ".csv")) return Format::kCsv;
  if (EndsWithNoCase(file, ".tsv")) return Format::kTsv;
  if (EndsWithNoCase(file, ".adi") || EndsWithNoCase(file, ".adif")) return Format::kAdif;
  return Format::kUnknown;
}

Format FormatOfContent(std::string_view head) {
  head = head.substr(0, kSniffBytes);
  for (std::size_t at = head.find('<'); at != std::string_view::npos; at = head.find('<', at + 1)) {
    const std::string_view tag = head.substr(at, 5);
    if (SameNoCase(tag, "<eoh>") || SameNoCase(tag, "<eor>")) return Format::kAdif;
  }
  const std::string_view first = head.substr(0, head.find('\n'));
  if (first.find('\t') != std::string_view::npos && first.find(',') == std::string_view::npos)
    return Format::kTsv;
  return Format::kCsv;
}

std::string BearingFieldProblem(std::string_view name) {
  if (name.empty() || name.find_first_of("<>:, \t\r\n") != std::string_view::npos)
    return "'" + std::string(name) + "' cannot be an ADIF field name";
  return {};
}

int RunBatch(Source& in, Sink& out, BatchOptions options, Diagnostics& diagnostics) {
  if (options.format == Format::kUnknown) {
    // The same bytes decide however a pipe hands them over.
    while (in.Window().size() < kSniffBytes && in.More()) {
    }
    options.format = FormatOfContent(in.Window());
  }
  int status;
  if (options.format == Format::kAdif) {
    status = RunLog(in, out, options.log, diagnostics);
  } else {
    options.table.separator = options.format == Format::kTsv ? '\t' : ',';
    status = RunTable(in, out, options.table, diagnostics);
  }
  if (in.Failed()) {
    diagnostics.Report(std::strerror(in.Error()));
    status = 1;
  }
  return status;
}

}  // namespace pelmora::cli
