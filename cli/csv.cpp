#include "cli/csv.h"

#include <algorithm>
#include <cstring>

namespace pelmora::cli {

namespace {

constexpr std::size_t kNoField = static_cast<std::size_t>(-1);

}  // namespace

bool CsvSplitter::Split(std::string_view window, bool at_end, CsvRecord* record) {
  const std::size_t n = window.size();
  if (n == 0) return false;
  const char* const data = window.data();
  bool unterminated = false;
  for (;;) {
    if (quoted_) {
      // To the closing quote ("" inside stands for one).
      const auto* quote = static_cast<const char*>(std::memchr(data + pos_, '"', n - pos_));
      if (quote == nullptr) {
        pos_ = n;
        if (!at_end) return false;
        unterminated = true;
        break;
      }
      pos_ = static_cast<std::size_t>(quote - data);
      if (pos_ + 1 == n && !at_end) return false;  // "" or the end? (taken up here)
      if (pos_ + 1 < n && data[pos_ + 1] == '"') {
        pos_ += 2;
        continue;
      }
      ++pos_;
      quoted_ = false;
    }
    // Unquoted bytes to the next separator or line end.
    for (; pos_ < n; ++pos_) {
      const char c = data[pos_];
      if (c == separator_) {
        fields_.push_back({field_start_, pos_});
        field_start_ = pos_ + 1;
      } else if (c == '\n') {
        break;
      } else if (c == '"' && pos_ == field_start_) {
        quoted_ = true;
        ++pos_;
        break;
      }
    }
    if (quoted_) continue;
    if (pos_ == n && !at_end) return false;
    break;
  }
  // The record ends at pos_: a line end, or the end of the input. A CR
  // before either is the line end's, unless a quoted field ran into it.
  std::size_t content = pos_;
  if (!unterminated && content > 0 && data[content - 1] == '\r') --content;
  record->unterminated = unterminated;
  fields_.push_back({field_start_ == kNoField ? content : field_start_, content});
  record->fields.swap(fields_);
  record->content = content;
  record->length = pos_ < n ? pos_ + 1 : n;
  fields_.clear();
  pos_ = 0;
  field_start_ = 0;
  quoted_ = false;
  return true;
}

void CsvSplitter::Drop(std::size_t n) {
  pos_ -= n;
  field_start_ = field_start_ != kNoField && field_start_ >= n ? field_start_ - n : kNoField;
  fields_.clear();
}

std::string_view CsvValue(std::string_view raw, std::string* scratch) {
  if (raw.empty() || raw.front() != '"') return raw;
  scratch->clear();
  std::size_t i = 1;
  while (i < raw.size()) {
    if (raw[i] == '"') {
      if (i + 1 < raw.size() && raw[i + 1] == '"') {
        scratch->push_back('"');
        i += 2;
        continue;
      }
      // The closing quote; what follows it is kept as data.
      scratch->append(raw.substr(i + 1));
      return *scratch;
    }
    scratch->push_back(raw[i++]);
  }
  return *scratch;
}

void AppendCsvValue(std::string& out, std::string_view value, char separator) {
  bool plain = true;
  for (const char c : value) plain = plain && c != separator && c != '"' && c != '\r' && c != '\n';
  if (plain) {
    out.append(value);
    return;
  }
  out.push_back('"');
  for (const char c : value) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

}  // namespace pelmora::cli
