// ADIF (ADI) logs: an optional header, text up to <EOH> (ADIF has it begin
// with a byte other than "<"; many programs begin it with fields such as
// <ADIF_VER:5>3.1.4), then records of fields <NAME:LENGTH>VALUE or
// <NAME:LENGTH:TYPE>VALUE, each ended by <EOR>. Names and the end tags are
// in any case, LENGTH counts the bytes of VALUE (which may hold "<", ">"
// and line ends), and text between fields is ignored. Records may span
// lines. The reader sees the header as a record that ends with <EOH>.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/text.h"

namespace pelmora::cli {

struct AdifField {
  std::size_t tag = 0;    // the "<" of its tag
  std::size_t value = 0;  // the first byte of its value
  std::size_t end = 0;    // past its value
  std::size_t name_size = 0;
  std::size_t type_at = 0;  // its type, empty without one
  std::size_t type_size = 0;
  // The name as written, and the type, within the record's bytes.
  std::string_view Name(std::string_view record) const { return record.substr(tag + 1, name_size); }
  std::string_view Type(std::string_view record) const { return record.substr(type_at, type_size); }
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

// Splits the records of a stream one at a time, each byte scanned once: a
// record that does not end within the window is taken up again where the
// scan stopped when the window has grown (its start unchanged). A tag is at
// most kMaxTag bytes; a "<" that opens none (another "<" before its ">", or
// none within kMaxTag bytes) makes the record malformed.
class AdifSplitter {
 public:
  static constexpr std::size_t kMaxTag = 1024;
  // The next record at the start of `window`. kEnd when only text without a
  // tag is left (at the end of the input); kNeedMore when the window ends
  // inside the record and more input may follow.
  AdifSplit Split(std::string_view window, bool at_end, AdifRecord* record);
  // The bytes of the unfinished record that can be let go (passed on)
  // without losing the scan, and letting go of them: a record too long to
  // hold is read through in pieces. Its fields are lost.
  std::size_t Scanned() const;
  void Drop(std::size_t n);

 private:
  AdifSplit Malformed(std::string_view window, bool at_end, std::size_t at, std::string problem,
                      AdifRecord* record);
  AdifSplit Finish(AdifRecord* record, std::size_t end_tag, std::size_t length, bool header);
  // The tag from `open` to `close` (its "<" and ">"): a field added to the
  // record (nullopt), or the record's end.
  std::optional<AdifSplit> Tag(std::string_view window, bool at_end, std::size_t open,
                               std::size_t close, AdifRecord* record);

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t pos_ = 0;         // where the next tag is looked for (past the window: in a value)
  std::size_t open_ = kNone;    // the "<" of the tag being read
  std::size_t close_from_ = 0;  // where its ">" is looked for
  std::size_t seen_ = 0;        // the window's size at the last call
  bool started_ = false;        // the record has a field (or lost some)
  bool malformed_ = false;      // looking for the end tag of a malformed record
  std::size_t search_ = 0;      // where the end tag is looked for
  std::string problem_;
  std::size_t problem_at_ = 0;
  std::vector<AdifField> fields_;
};

}  // namespace pelmora::cli
