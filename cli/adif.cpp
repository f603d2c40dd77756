#include "cli/adif.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

#include "cli/values.h"

namespace pelmora::cli {

namespace {

// The first `c` in `window` from `from` to `to`, or npos: a plain loop,
// faster than a call for the few bytes of a tag or between two tags.
std::size_t Find(std::string_view window, char c, std::size_t from,
                 std::size_t to = std::string_view::npos) {
  to = std::min(to, window.size());
  for (std::size_t at = from; at < to; ++at) {
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
  for (std::size_t at = window.find('<', from); at != std::string_view::npos;
       at = window.find('<', at + 1)) {
    if (at + 5 <= window.size() && window[at + 4] == '>' &&
        (SameNoCase(window.substr(at + 1, 3), "eor") ||
         SameNoCase(window.substr(at + 1, 3), "eoh"))) {
      *header = SameNoCase(window.substr(at + 1, 3), "eoh");
      return at;
    }
  }
  return std::string_view::npos;
}

}  // namespace

AdifSplit AdifSplitter::Finish(AdifRecord* record, std::size_t end_tag, std::size_t length,
                               bool header) {
  record->fields.swap(fields_);
  record->end_tag = end_tag;
  record->length = length;
  record->ends_header = header;
  record->problem.swap(problem_);
  record->problem_at = problem_at_;
  // Ready for the next record, keeping the room of the fields' list.
  fields_.clear();
  problem_.clear();
  pos_ = close_from_ = seen_ = search_ = problem_at_ = 0;
  open_ = kNone;
  started_ = malformed_ = false;
  return AdifSplit::kRecord;
}

// A malformed record: it runs through the next end tag, or to the end.
AdifSplit AdifSplitter::Malformed(std::string_view window, bool at_end, std::size_t at,
                                  std::string problem, AdifRecord* record) {
  if (!malformed_) {
    malformed_ = true;
    problem_ = std::move(problem);
    problem_at_ = at;
    search_ = at;
  }
  bool header = false;
  const std::size_t tag = FindEndTag(window, search_, &header);
  if (tag != std::string_view::npos) return Finish(record, tag, tag + 5, header);
  if (!at_end) {
    // An end tag may begin in the last four bytes.
    search_ = std::max(search_, window.size() > 4 ? window.size() - 4 : 0);
    return AdifSplit::kNeedMore;
  }
  return Finish(record, window.size(), window.size(), false);
}

AdifSplit AdifSplitter::Split(std::string_view window, bool at_end, AdifRecord* record) {
  seen_ = window.size();
  if (malformed_) return Malformed(window, at_end, 0, {}, record);
  const std::size_t n = window.size();
  for (;;) {
    if (open_ == kNone) {
      if (pos_ > n) {  // within a value
        if (!at_end) return AdifSplit::kNeedMore;
        if (fields_.empty()) {  // let go of with the start of a long record
          return Malformed(window, at_end, 0, "a value runs past the end of the log", record);
        }
        const AdifField& f = fields_.back();
        return Malformed(
            window, at_end, f.tag,
            Join({"the value of ", Excerpt(f.Name(window)), " runs past the end of the log"}),
            record);
      }
      const std::size_t open = Find(window, '<', pos_);
      if (open == std::string_view::npos) {
        pos_ = n;
        if (!at_end) return AdifSplit::kNeedMore;
        if (!started_) return AdifSplit::kEnd;
        return Malformed(window, at_end, n, "the record has no <EOR>", record);
      }
      open_ = open;
      close_from_ = open + 1;
    }
    // The tag's ">", before any other "<" and within kMaxTag bytes.
    std::size_t close = close_from_;
    const std::size_t limit = std::min(n, open_ + kMaxTag);
    while (close < limit && window[close] != '>' && window[close] != '<') ++close;
    if (close == limit) {
      close_from_ = close;
      if (limit == n && !at_end) return AdifSplit::kNeedMore;
      return Malformed(window, at_end, open_,
                       Join({"a tag without '>': ", Excerpt(window.substr(open_, 20))}), record);
    }
    if (window[close] == '<') {
      return Malformed(
          window, at_end, open_,
          Join({"a '<' that opens no tag: ", Excerpt(window.substr(open_, close - open_))}),
          record);
    }
    const std::size_t open = open_;
    open_ = kNone;
    if (const std::optional<AdifSplit> done = Tag(window, at_end, open, close, record)) {
      return *done;
    }
  }
}

std::optional<AdifSplit> AdifSplitter::Tag(std::string_view window, bool at_end, std::size_t open,
                                           std::size_t close, AdifRecord* record) {
  const std::string_view tag = window.substr(open + 1, close - open - 1);
  const std::size_t colon = Find(tag, ':', 0);
  const std::string_view name = tag.substr(0, colon);
  if (name.size() == 3 && (SameNoCase(name, "eor") || SameNoCase(name, "eoh"))) {
    return Finish(record, open, close + 1, SameNoCase(name, "eoh"));
  }
  if (colon == std::string_view::npos || name.empty()) {
    return Malformed(window, at_end, open, Join({"the tag ", Excerpt(tag), " has no length"}),
                     record);
  }
  const std::string_view rest = tag.substr(colon + 1);
  const std::size_t second = Find(rest, ':', 0);
  const std::string_view digits = rest.substr(0, second);
  std::size_t length = 0;
  bool good = !digits.empty() && digits.size() <= 15;
  for (const char c : digits) {
    good = good && c >= '0' && c <= '9';
    if (good) length = length * 10 + static_cast<std::size_t>(c - '0');
  }
  if (!good) {
    return Malformed(window, at_end, open,
                     Join({"the field ", Excerpt(name), " has a bad length ", Excerpt(digits)}),
                     record);
  }
  AdifField field;
  field.tag = open;
  field.value = close + 1;
  field.end = field.value + length;
  field.name_size = name.size();
  if (second != std::string_view::npos) {
    field.type_at = open + 1 + colon + 1 + second + 1;
    field.type_size = rest.size() - second - 1;
  }
  fields_.push_back(field);
  started_ = true;
  pos_ = field.end;
  return std::nullopt;
}

std::size_t AdifSplitter::Scanned() const {
  if (malformed_) return std::min(search_, seen_);
  if (open_ != kNone) return open_;
  return std::min(pos_, seen_);
}

void AdifSplitter::Drop(std::size_t n) {
  const auto shift = [n](std::size_t& at) { at = at >= n ? at - n : 0; };
  shift(pos_);
  if (open_ != kNone) shift(open_);
  shift(close_from_);
  shift(search_);
  shift(problem_at_);
  seen_ -= std::min(seen_, n);
  fields_.clear();
}

}  // namespace pelmora::cli
