#include "cli/batch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "cli/adif.h"
#include "cli/csv.h"
#include "cli/progress.h"
#include "cli/text.h"
#include "cli/values.h"
#include "pelmora.h"

namespace pelmora::cli {

namespace {

void Emit(Diagnostics& diagnostics, std::string message) {
  if (diagnostics.progress != nullptr) diagnostics.progress->Clear();
  message.push_back('\n');
  if (diagnostics.err != nullptr) {
    std::fputs(message.c_str(), diagnostics.err);
  } else {
    diagnostics.collected += message;
  }
}

}  // namespace

void Diagnostics::Report(std::size_t line, std::string_view what) {
  std::string message = "pelmora: " + file + ":" + std::to_string(line) + ": ";
  message.append(what);
  Emit(*this, std::move(message));
}

void Diagnostics::Report(std::string_view what) {
  std::string message = "pelmora: " + file + ": ";
  message.append(what);
  Emit(*this, std::move(message));
}

namespace {

constexpr std::string_view kResultNames[] = {"distance", "km",  "bearing", "locator",
                                             "slocator", "lat", "lon",     "arccos"};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

// A name from the input as a message shows it: itself when it is short and
// printable, else an excerpt.
std::string Label(std::string_view name) {
  const bool plain =
      name.size() <= kExcerpt && std::all_of(name.begin(), name.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F;
      });
  return plain ? std::string(name) : Excerpt(name);
}

std::string LongRecord(std::size_t limit) {
  return "a record longer than " + std::to_string(limit) +
         " bytes (--max-record), passed on unchanged";
}

// Reads the records of `in` one at a time through `splitter` (a
// CsvSplitter or an AdifSplitter), keeping count of lines. A record that
// grows beyond the source's limit is reported and passed on unchanged as
// it is read: what the scan has passed is let go.
template <class Splitter>
class Records {
 public:
  Records(Source& in, Sink& out, Splitter& splitter, Diagnostics& diagnostics)
      : in_(in), out_(out), splitter_(splitter), diagnostics_(diagnostics) {}

  // Calls `split(window, at_end)` until it finds a record, more input being
  // read as needed; false at the end of the input, when a read failed (the
  // window then holds a record cut short) or when the record is too long
  // and `pass` is false.
  template <class Split>
  bool Next(Split&& split, bool pass = true) {
    for (;;) {
      if (split(in_.Window(), in_.AtEnd())) return true;
      if (in_.Window().size() >= in_.Limit()) {
        if (!pass) return false;
        PassOn();
        continue;
      }
      if (in_.Failed() || (!in_.More() && in_.Window().empty())) return false;
    }
  }

  // Whether the record found is too long to hold, however the input came
  // in pieces: it is passed on whole (reported once).
  bool Long(std::size_t length) {
    if (!long_ && length > in_.Limit()) Report();
    return long_;
  }
  std::size_t Line() const { return line_; }

  // The record of `length` bytes at the start of the window is done.
  void Done(std::size_t length) {
    const std::string_view bytes = in_.Window().substr(0, length);
    if (long_) out_.Put(bytes);
    line_ += Lines(bytes);
    Consume(length);
    long_ = false;
  }

 private:
  // On the line where the record's text begins (an ADIF record may begin
  // with the line end after the last one).
  void Report() {
    long_ = true;
    ++diagnostics_.stats.read;
    const std::string_view window = in_.Window();
    const std::size_t text = std::min(window.find_first_not_of(" \t\r\n"), window.size());
    diagnostics_.Fail(line_ + Lines(window.substr(0, text)), LongRecord(in_.Limit()));
  }

  void PassOn() {
    if (!long_) Report();
    const std::size_t n = splitter_.Scanned();
    const std::string_view bytes = in_.Window().substr(0, n);
    out_.Put(bytes);
    line_ += Lines(bytes);
    Consume(n);
    splitter_.Drop(n);
  }

  void Consume(std::size_t n) {
    in_.Consume(n);
    done_ += n;
    if (diagnostics_.progress != nullptr)
      diagnostics_.progress->Update(done_, diagnostics_.stats.read);
  }

  Source& in_;
  Sink& out_;
  Splitter& splitter_;
  Diagnostics& diagnostics_;
  std::size_t line_ = 1;
  std::size_t done_ = 0;  // bytes consumed
  bool long_ = false;
};

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
      std::string_view name = CsvValue(bytes.substr(f.begin, f.end - f.begin), &scratch_);
      if (names_.empty() && name.substr(0, 3) == kByteOrderMark) name.remove_prefix(3);
      names_.emplace_back(TrimSpaces(name));
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
      appends_ = appends_ || existing < 0;
    }
    bool good = true;
    const auto resolve = [&](const std::vector<std::string>& names, std::vector<int>& to) {
      for (const std::string& name : names) {
        const int index = Find(name);
        if (index < 0) {
          diagnostics_.Report(1, "no column " + Excerpt(name) + " in the header");
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
    ++diagnostics_.stats.read;
    if (row.fields.size() > names_.size()) {
      diagnostics_.Fail(line, "the row has " + std::to_string(row.fields.size()) +
                                  " cells, the header " + std::to_string(names_.size()));
      out.Put(bytes.substr(0, row.length));
      return;
    }
    bytes_ = bytes;
    row_ = &row;
    line_ = line;
    failed_ = false;
    have_from_ = have_to_ = 0;
    cells_.resize(columns_.size());
    bool computed = false;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      cells_[i].clear();
      if (columns_[i].computed) {
        Compute(columns_[i].result, cells_[i]);
        computed = true;
      }
    }
    if (failed_) {
      ++diagnostics_.stats.failed;
    } else if (computed) {
      ++diagnostics_.stats.annotated;
    } else {
      ++diagnostics_.stats.kept;
    }
    WriteRow(bytes, row, out);
  }

 private:
  struct Column {
    Result result;
    int existing;   // its index in the header, or -1: appended
    bool computed;  // false: kept as the table has it
  };

  // The row with the results in place or appended, a short row padded.
  void WriteRow(std::string_view bytes, const CsvRecord& row, Sink& out) {
    if (!in_place_) {
      out.Put(bytes.substr(0, row.content));
      // Padded only so that appended results stand under their columns.
      if (appends_) {
        for (std::size_t f = row.fields.size(); f < names_.size(); ++f) {
          out.Put(options_.separator);
        }
      }
    } else {
      for (std::size_t f = 0; f < names_.size(); ++f) {
        if (f > 0) out.Put(options_.separator);
        const std::size_t c = ColumnFilling(f);
        if (c < columns_.size()) {
          AppendCsvValue(out.Buffer(), cells_[c], options_.separator);
        } else if (f < row.fields.size()) {
          out.Put(bytes.substr(row.fields[f].begin, row.fields[f].end - row.fields[f].begin));
        }
      }
    }
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (columns_[i].existing >= 0) continue;
      out.Put(options_.separator);
      AppendCsvValue(out.Buffer(), cells_[i], options_.separator);
    }
    out.Put(bytes.substr(row.content, row.length - row.content));
  }

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

  const std::string& Name(int index) const { return names_[static_cast<std::size_t>(index)]; }

  // The value of column `index` of the row, or false (and a message) for a
  // cell a short row lacks.
  bool Cell(int index, std::string_view* value) {
    if (static_cast<std::size_t>(index) >= row_->fields.size()) {
      Fail("no value for column " + Label(Name(index)) + " (the row has " +
           std::to_string(row_->fields.size()) + " cells)");
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
    Fail(Label(Name(index)) + ": " + Describe(e, text, false));
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
    const std::string name = Label(Name(columns[0]));
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
  bool appends_ = false;
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
  in.SetLimit(std::max(options.max_record, kLeastMaxRecord));
  CsvSplitter splitter(options.separator);
  CsvRecord record;
  Records<CsvSplitter> records(in, out, splitter, diagnostics);
  const auto split = [&](std::string_view window, bool at_end) {
    return splitter.Split(window, at_end, &record);
  };
  const bool header = records.Next(split, false);
  if (!header && in.Window().size() < in.Limit()) return kExitOk;  // an empty table
  if (!header || record.length > in.Limit()) {
    diagnostics.Report(
        1, "a header longer than " + std::to_string(in.Limit()) + " bytes (--max-record)");
    return kExitFailed;
  }
  Table table(options, diagnostics);
  if (!table.Header(in.Window(), record)) return kExitUsage;
  table.WriteHeader(in.Window(), record, out);
  records.Done(record.length);
  while (records.Next(split)) {
    if (records.Long(record.length)) {
      // Passed on as it was read, or now whole.
    } else if (record.unterminated) {
      ++diagnostics.stats.read;
      diagnostics.Fail(records.Line(), "a quoted field without its closing quote");
      out.Put(in.Window().substr(0, record.length));
    } else {
      table.Row(in.Window(), record, records.Line(), out);
    }
    records.Done(record.length);
  }
  out.Put(in.Window());  // a row cut short by a failed read
  in.Consume(in.Window().size());
  return diagnostics.stats.failed > 0 ? kExitFailed : kExitOk;
}

// ---- Logs ----

namespace {

class Log {
 public:
  Log(const LogOptions& options, const Position& my_grid, Diagnostics& diagnostics)
      : options_(options), my_grid_(my_grid), diagnostics_(diagnostics) {}

  void Record(std::string_view bytes, const AdifRecord& record, std::size_t line, Sink& out) {
    const auto line_at = [&](std::size_t offset) { return line + Lines(bytes.substr(0, offset)); };
    const std::string_view whole = bytes.substr(0, record.length);
    ++diagnostics_.stats.read;
    if (!record.problem.empty()) {
      diagnostics_.Fail(line_at(record.problem_at), record.problem);
      out.Put(whole);
      return;
    }
    const Fields fields = FindFields(whole, record);
    const bool write_distance = fields.distance == nullptr || options_.overwrite;
    const bool write_bearing = fields.bearing == nullptr || options_.overwrite;
    if ((fields.mine == nullptr && options_.my_grid.empty()) || fields.theirs == nullptr) {
      ++diagnostics_.stats.skipped;
      out.Put(whole);
      return;
    }
    if (!write_distance && !write_bearing) {
      ++diagnostics_.stats.kept;
      out.Put(whole);
      return;
    }
    Position a = my_grid_, b;
    if ((fields.mine != nullptr && !Grid(whole, *fields.mine, fields.mine_ext, line_at, &a)) ||
        !Grid(whole, *fields.theirs, fields.theirs_ext, line_at, &b)) {
      ++diagnostics_.stats.failed;
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
      diagnostics_.Fail(line_at(fields.theirs->tag), CallFailure(what, status));
      out.Put(whole);
      return;
    }
    distance_value_ = std::to_string(static_cast<std::int64_t>(km));
    bearing_value_.clear();
    AppendFloat(bearing_value_, azimut);
    ++diagnostics_.stats.annotated;
    WriteAnnotated(whole, record, fields, write_distance, write_bearing, out);
  }

 private:
  // The fields a record's results read and replace (the first of each name).
  struct Fields {
    const AdifField *mine = nullptr, *theirs = nullptr, *distance = nullptr, *bearing = nullptr;
    const AdifField *mine_ext = nullptr, *theirs_ext = nullptr;
  };

  Fields FindFields(std::string_view whole, const AdifRecord& record) const {
    Fields found;
    for (const AdifField& f : record.fields) {
      const std::string_view name = f.Name(whole);
      if (found.mine == nullptr && SameNoCase(name, "MY_GRIDSQUARE")) found.mine = &f;
      if (found.theirs == nullptr && SameNoCase(name, "GRIDSQUARE")) found.theirs = &f;
      if (found.mine_ext == nullptr && SameNoCase(name, "MY_GRIDSQUARE_EXT")) found.mine_ext = &f;
      if (found.theirs_ext == nullptr && SameNoCase(name, "GRIDSQUARE_EXT")) found.theirs_ext = &f;
      if (found.distance == nullptr && SameNoCase(name, "DISTANCE")) found.distance = &f;
      if (found.bearing == nullptr && SameNoCase(name, options_.bearing_field)) found.bearing = &f;
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
    if (fields.distance != nullptr && write_distance) {
      edits[count++] = {fields.distance, &distance_value_};
    }
    if (fields.bearing != nullptr && write_bearing) {
      edits[count++] = {fields.bearing, &bearing_value_};
    }
    if (count == 2 && edits[1].field->tag < edits[0].field->tag) std::swap(edits[0], edits[1]);
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const AdifField& f = *edits[i].field;
      out.Put(whole.substr(at, f.tag - at));
      AppendField(out.Buffer(), f.Name(whole), f.Type(whole), *edits[i].value);
      at = f.end;
    }
    out.Put(whole.substr(at, record.end_tag - at));
    if (fields.distance == nullptr) {
      AppendField(out.Buffer(), "DISTANCE", {}, distance_value_);
      out.Put(' ');
    }
    if (fields.bearing == nullptr) {
      AppendField(out.Buffer(), options_.bearing_field, {}, bearing_value_);
      out.Put(' ');
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

  // The position of a locator field, at the full precision of the field
  // and its extension (GRIDSQUARE_EXT: the 9th to 12th characters of an
  // 8-character GRIDSQUARE); false (and a message on the line of the field,
  // from `line_at`) when it is none.
  template <class LineAt>
  bool Grid(std::string_view whole, const AdifField& f, const AdifField* ext, const LineAt& line_at,
            Position* out) {
    const std::string_view value = Value(whole, f);
    const std::string name = Label(f.Name(whole));
    std::string_view text = value;
    if (ext != nullptr && !TrimSpaces(Value(whole, *ext)).empty()) {
      const std::string_view extension = TrimSpaces(Value(whole, *ext));
      if (TrimSpaces(value).size() != 8 || extension.size() > 4) {
        diagnostics_.Report(line_at(ext->tag), Label(ext->Name(whole)) + ": " + Excerpt(extension) +
                                                   " extends no 8-character " + name);
        return false;
      }
      joined_.assign(TrimSpaces(value));
      joined_.append(extension);
      text = joined_;
    }
    int status = PELMORA_OK;
    const ValueError e = ReadLocator(text, out, &status);
    if (e == ValueError::kNone) return true;
    diagnostics_.Report(line_at(f.tag), e == ValueError::kCall
                                            ? CallFailure(name, status)
                                            : name + ": " + Excerpt(text) + " is not a locator");
    return false;
  }

  static std::string_view Value(std::string_view whole, const AdifField& f) {
    return whole.substr(f.value, f.end - f.value);
  }

  const LogOptions& options_;
  Position my_grid_;
  Diagnostics& diagnostics_;
  std::string distance_value_, bearing_value_;
  std::string joined_;  // a locator and its extension
};

}  // namespace

int RunLog(Source& in, Sink& out, const LogOptions& options, Diagnostics& diagnostics) {
  const std::string problem = BearingFieldProblem(options.bearing_field);
  if (!problem.empty()) {
    diagnostics.Report(problem);
    return kExitUsage;
  }
  Position my_grid;
  int status = PELMORA_OK;
  if (!options.my_grid.empty() &&
      ReadLocator(options.my_grid, &my_grid, &status) != ValueError::kNone) {
    diagnostics.Report("--my-grid: " + Excerpt(options.my_grid) + " is not a locator");
    return kExitUsage;
  }
  in.SetLimit(std::max(options.max_record, kLeastMaxRecord));
  AdifSplitter splitter;
  AdifRecord record;
  Records<AdifSplitter> records(in, out, splitter, diagnostics);
  AdifSplit split = AdifSplit::kEnd;
  const auto next = [&](std::string_view window, bool at_end) {
    split = splitter.Split(window, at_end, &record);
    return split != AdifSplit::kNeedMore;
  };
  // The first record is the header when it ends with <EOH>; a later one
  // that does is malformed.
  bool first = true;
  Log log(options, my_grid, diagnostics);
  while (records.Next(next) && split != AdifSplit::kEnd) {
    if (records.Long(record.length)) {
      // Passed on as it was read, or now whole.
    } else if (record.ends_header && first && record.problem.empty()) {
      out.Put(in.Window().substr(0, record.length));
    } else {
      if (record.ends_header && record.problem.empty()) {
        record.problem = "<EOH> out of place";
        record.problem_at = record.end_tag;
      }
      log.Record(in.Window(), record, records.Line(), out);
    }
    first = false;
    records.Done(record.length);
  }
  out.Put(in.Window());  // text after the last record, or one cut short by a failed read
  in.Consume(in.Window().size());
  return diagnostics.stats.failed > 0 ? kExitFailed : kExitOk;
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
    return Excerpt(name) + " cannot be an ADIF field name";
  for (const std::string_view taken :
       {"DISTANCE", "GRIDSQUARE", "MY_GRIDSQUARE", "GRIDSQUARE_EXT", "MY_GRIDSQUARE_EXT"}) {
    if (SameNoCase(name, taken)) return "the bearing cannot be written to " + std::string(taken);
  }
  return {};
}

int RunBatch(Source& in, Sink& out, BatchOptions options, Diagnostics& diagnostics) {
  int status = kExitOk;
  try {
    if (options.format == Format::kUnknown) {
      // The same bytes decide however a pipe hands them over.
      while (in.Window().size() < kSniffBytes && in.More()) {
      }
      options.format = FormatOfContent(in.Window());
    }
    if (options.format == Format::kAdif) {
      status = RunLog(in, out, options.log, diagnostics);
    } else {
      options.table.separator = options.format == Format::kTsv ? '\t' : ',';
      status = RunTable(in, out, options.table, diagnostics);
    }
  } catch (const std::bad_alloc&) {
    diagnostics.Report("out of memory; the output ends after the last whole record");
    if (diagnostics.progress != nullptr) diagnostics.progress->Clear();
    return kExitFailed;
  }
  if (in.Failed()) {
    diagnostics.Report(std::strerror(in.Error()));
    status = kExitFile;
  }
  if (diagnostics.progress != nullptr) diagnostics.progress->Clear();
  return status;
}

std::string StatsLine(const Stats& stats) {
  return "pelmora: " + std::to_string(stats.read) + " read, " + std::to_string(stats.annotated) +
         " annotated, " + std::to_string(stats.kept) + " kept, " + std::to_string(stats.skipped) +
         " skipped for want of a locator, " + std::to_string(stats.failed) + " failed";
}

}  // namespace pelmora::cli
