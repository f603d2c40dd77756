#include "cli/adif.h"

#include <initializer_list>

namespace pelmora::cli {

namespace {

// The first `c` in `window` from `from`, or npos: a plain loop, faster than
// a call for the few bytes of a tag or between two tags.
std::size_t Find(std::string_view window, char c, std::size_t from) {
  for (std::size_t at = from; at < window.size(); ++at) {
    if (window[at] == c) return at;
  }
  return std::string_view::npos;
}

// Pieces joined into one message (without operator+, whose inlined copies
// GCC 12 warns about wrongly).
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  return text;
}

// The next end tag, <EOR> or <EOH> in any case, from `from`, or npos;
// `*header` tells whether it is <EOH>.
std::size_t FindEndTag(std::string_view window, std::size_t from, bool* header) {
  for (std::size_t at = Find(window, '<', from); at != std::string_view::npos;
       at = Find(window, '<', at + 1)) {
    if (at + 5 <= window.size() && window[at + 4] == '>' &&
        (SameNoCase(window.substr(at + 1, 3), "eor") ||
         SameNoCase(window.substr(at + 1, 3), "eoh"))) {
      *header = SameNoCase(window.substr(at + 1, 3), "eoh");
      return at;
    }
  }
  return std::string_view::npos;
}

// A malformed record: it runs through the next end tag, or to the end.
AdifSplit Malformed(std::string_view window, bool at_end, std::size_t at, std::string problem,
                    AdifRecord* record) {
  bool header = false;
  const std::size_t tag = FindEndTag(window, at, &header);
  if (tag == std::string_view::npos) {
    if (!at_end) return AdifSplit::kNeedMore;
    record->end_tag = record->length = window.size();
  } else {
    record->end_tag = tag;
    record->length = tag + 5;
    record->ends_header = header;
  }
  record->problem = std::move(problem);
  record->problem_at = at;
  return AdifSplit::kRecord;
}

}  // namespace

AdifSplit SplitAdifRecord(std::string_view window, bool at_end, AdifRecord* record) {
  record->fields.clear();
  record->problem.clear();
  record->ends_header = false;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t open = Find(window, '<', pos);
    if (open == std::string_view::npos) {
      if (!at_end) return AdifSplit::kNeedMore;
      if (record->fields.empty()) return AdifSplit::kEnd;
      return Malformed(window, at_end, window.size(), "the record has no <EOR>", record);
    }
    const std::size_t close = Find(window, '>', open);
    if (close == std::string_view::npos) {
      if (!at_end) return AdifSplit::kNeedMore;
      return Malformed(window, at_end, open, "a tag without '>'", record);
    }
    const std::string_view tag = window.substr(open + 1, close - open - 1);
    const std::size_t colon = Find(tag, ':', 0);
    const std::string_view name = tag.substr(0, colon);
    if (name.size() == 3 && (SameNoCase(name, "eor") || SameNoCase(name, "eoh"))) {
      record->end_tag = open;
      record->length = close + 1;
      record->ends_header = SameNoCase(name, "eoh");
      return AdifSplit::kRecord;
    }
    if (colon == std::string_view::npos || name.empty()) {
      return Malformed(window, at_end, open,
                       Join({"the tag <", tag.substr(0, 40), "> has no length"}), record);
    }
    std::string_view rest = tag.substr(colon + 1);
    const std::size_t second = Find(rest, ':', 0);
    const std::string_view digits = rest.substr(0, second);
    std::size_t length = 0;
    bool good = !digits.empty() && digits.size() <= 9;
    for (const char c : digits) {
      good = good && c >= '0' && c <= '9';
      if (good) length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (!good) {
      return Malformed(window, at_end, open,
                       Join({"the field ", name.substr(0, 40), " has a bad length '",
                             digits.substr(0, 20), "'"}),
                       record);
    }
    AdifField field;
    field.tag = open;
    field.value = close + 1;
    field.end = field.value + length;
    field.name = name;
    if (second != std::string_view::npos) field.type = rest.substr(second + 1);
    if (field.end > window.size()) {
      if (!at_end) return AdifSplit::kNeedMore;
      return Malformed(window, at_end, open,
                       Join({"the value of ", name.substr(0, 40), " runs past the end of the log"}),
                       record);
    }
    record->fields.push_back(field);
    pos = field.end;
  }
}

}  // namespace pelmora::cli
