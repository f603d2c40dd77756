// CSV and TSV records, as RFC 4180 describes them, read leniently: fields
// separated by one separator byte, a field that starts with a double quote
// runs to its closing quote ("" inside stands for one quote, separators and
// line ends inside are data), records end with LF or CR LF. A quote inside
// an unquoted field, or bytes after a closing quote, are kept as data.
// Nothing is changed in the bytes of a record that is passed on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

struct CsvField {
  std::size_t begin = 0;  // the field's raw bytes within the record
  std::size_t end = 0;
};

struct CsvRecord {
  std::size_t length = 0;     // bytes of the record with its line end
  std::size_t content = 0;    // bytes before the line end
  bool unterminated = false;  // a quoted field ran to the end of the input
  std::vector<CsvField> fields;
};

// Splits the records of a stream one at a time, each byte scanned once: a
// record that does not end within the window is taken up again where the
// scan stopped when the window has grown (its start unchanged).
class CsvSplitter {
 public:
  explicit CsvSplitter(char separator) : separator_(separator) {}
  // The record at the start of `window`. False when the window ends inside
  // it and more input may follow (`at_end` false), or when the window is
  // empty.
  bool Split(std::string_view window, bool at_end, CsvRecord* record);
  // The bytes of the unfinished record that can be let go (passed on)
  // without losing the scan, and letting go of them: a record too long to
  // hold is read through in pieces. Its fields are lost.
  std::size_t Scanned() const { return pos_; }
  void Drop(std::size_t n);

 private:
  char separator_;
  std::size_t pos_ = 0;  // the next byte to scan
  std::size_t field_start_ = 0;
  bool quoted_ = false;  // within a quoted field
  std::vector<CsvField> fields_;
};

// The value of a raw field: without its quotes, "" as one quote. Uses
// `scratch` only for a quoted field.
std::string_view CsvValue(std::string_view raw, std::string* scratch);

// Appends `value` as a field, quoted when it holds the separator, a quote,
// CR or LF.
void AppendCsvValue(std::string& out, std::string_view value, char separator);

}  // namespace pelmora::cli
