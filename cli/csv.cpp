#include "cli/csv.h"

#include <algorithm>
#include <cstring>

namespace pelmora::cli {

namespace {

// A record without quotes up to `line_end` (the LF, or the end of the
// input), split at each separator.
void SplitPlainLine(std::string_view window, std::size_t line_end, char separator,
                    CsvRecord* record) {
  const std::size_t n = window.size();
  std::size_t content = line_end;
  if (content > 0 && window[content - 1] == '\r') --content;
  std::size_t begin = 0;
  for (std::size_t at = 0; at < content; ++at) {
    if (window[at] == separator) {
      record->fields.push_back({begin, at});
      begin = at + 1;
    }
  }
  record->fields.push_back({begin, content});
  record->content = content;
  record->length = line_end == n ? n : line_end + 1;
  record->lines = line_end == n ? 0 : 1;
}

}  // namespace

bool SplitCsvRecord(std::string_view window, bool at_end, char separator, CsvRecord* record) {
  record->fields.clear();
  record->unterminated = false;
  const std::size_t n = window.size();
  if (n == 0) return false;
  // The usual record: a line without quotes, found by two searches.
  const char* data = window.data();
  const auto* lf = static_cast<const char*>(std::memchr(data, '\n', n));
  if (lf == nullptr && !at_end) return false;
  const std::size_t line_end = lf == nullptr ? n : static_cast<std::size_t>(lf - data);
  if (std::memchr(data, '"', line_end) == nullptr) {
    SplitPlainLine(window, line_end, separator, record);
    return true;
  }
  std::size_t pos = 0;
  std::size_t field_start = 0;
  for (;;) {
    if (pos < n && window[pos] == '"' && pos == field_start) {
      // A quoted field: to its closing quote.
      ++pos;
      for (;;) {
        const std::size_t quote = window.find('"', pos);
        if (quote == std::string_view::npos) {
          if (!at_end) return false;
          record->unterminated = true;
          pos = n;
          break;
        }
        if (quote + 1 == n && !at_end) return false;  // "" or the end?
        if (quote + 1 < n && window[quote + 1] == '"') {
          pos = quote + 2;
          continue;
        }
        pos = quote + 1;
        break;
      }
    }
    while (pos < n && window[pos] != separator && window[pos] != '\n') ++pos;
    if (pos < n && window[pos] == separator) {
      record->fields.push_back({field_start, pos});
      field_start = ++pos;
      continue;
    }
    if (pos < n) {  // the line end
      std::size_t content = pos;
      if (content > field_start && window[content - 1] == '\r') --content;
      record->fields.push_back({field_start, content});
      record->content = content;
      record->length = pos + 1;
    } else {
      if (!at_end) return false;
      record->fields.push_back({field_start, n});
      record->content = n;
      record->length = n;
    }
    record->lines = static_cast<std::size_t>(std::count(
        window.begin(), window.begin() + static_cast<std::ptrdiff_t>(record->length), '\n'));
    return true;
  }
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
