// ADIF (ADI) logs: an optional header, text up to <EOH> (ADIF has it begin
// with a byte other than "<"; many programs begin it with fields such as
// <ADIF_VER:5>3.1.4), then records of fields <NAME:LENGTH>VALUE or
// <NAME:LENGTH:TYPE>VALUE, each ended by <EOR>. Names and the end tags are
// in any case, LENGTH counts the bytes of VALUE (which may hold "<", ">"
// and line ends), and text between fields is ignored. Records may span
// lines. The reader sees the header as a record that ends with <EOH>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cli/text.h"

namespace pelmora::cli {

struct AdifField {
  std::size_t tag = 0;    // the "<" of its tag
  std::size_t value = 0;  // the first byte of its value
  std::size_t end = 0;    // past its value
  std::string_view name;  // as written
  std::string_view type;  // empty without a type
};

struct AdifRecord {
  std::size_t length = 0;   // bytes of the record through its end tag
  std::size_t end_tag = 0;  // the "<" of its end tag (length when it has none)
  std::vector<AdifField> fields;
  // A record that ends with <EOH>: the header when it is the first.
  bool ends_header = false;
  // Why the record is malformed (empty when it is not), and where: it then
  // runs to the next end tag, or to the end of the input.
  std::string problem;
  std::size_t problem_at = 0;
};

enum class AdifSplit { kRecord, kNeedMore, kEnd };

// The next record at the start of `window`. kEnd when only text without a
// tag is left (at the end of the input); kNeedMore when the window ends
// inside the record and more input may follow.
AdifSplit SplitAdifRecord(std::string_view window, bool at_end, AdifRecord* record);

}  // namespace pelmora::cli
