// The command's log reader: the same output and messages however the
// stream is cut; a log it annotated comes back unchanged from a second run;
// a log that names no locator field comes back unchanged; a bearing field
// that cannot be is refused before anything is written. The options come
// from the input: any bearing field, a station locator, and a record limit
// small enough that long records are passed on in pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/adif.h"
#include "cli/batch.h"
#include "cli/stream.h"

namespace {

using namespace pelmora::cli;

Captured Run(std::string_view text, const LogOptions& options, std::size_t piece) {
  return Capture(RunLog, text, options, piece);
}

void Check(bool promise, const char* what) {
  if (!promise) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

bool NamesGrid(std::string_view text) {
  for (std::size_t i = 0; i + 10 <= text.size(); ++i) {
    if (SameNoCase(text.substr(i, 10), "GRIDSQUARE")) return true;
  }
  return false;
}

}  // namespace

// Input: a flags byte, a piece size byte, a bearing field's length byte, the
// field, then the log.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3 || 3u + data[2] % 24 > size) return 0;
  const std::size_t field_size = data[2] % 24;
  LogOptions options;
  options.overwrite = (data[0] & 1) != 0;
  if (data[0] & 2) {
    options.bearing_field.assign(reinterpret_cast<const char*>(data) + 3, field_size);
  }
  if (data[0] & 4) options.my_grid = (data[0] & 8) ? " JO62qm" : "JS00aa";
  if (data[0] & 16) options.max_record = kLeastMaxRecord;
  const std::size_t piece = 1 + data[1] % 16;
  const std::string_view text(reinterpret_cast<const char*>(data) + 3 + field_size,
                              size - 3 - field_size);

  const Captured whole = Run(text, options, 1 << 20);
  if (!BearingFieldProblem(options.bearing_field).empty()) {
    Check(whole.status == kExitUsage && whole.out.empty(), "a bad bearing field is refused");
    return 0;
  }
  const Captured cut = Run(text, options, piece);
  Check(whole.out == cut.out && whole.messages == cut.messages && whole.status == cut.status,
        "the same output however the stream is cut");
  if (!NamesGrid(text)) Check(whole.out == text, "a log without locators comes back unchanged");
  const Stats& s = whole.stats;
  Check(s.read == s.annotated + s.kept + s.skipped + s.failed, "each record counted once");
  LogOptions keep = options;
  keep.overwrite = false;
  const Captured again = Run(whole.out, keep, 1 << 20);
  Check(again.out == whole.out, "an annotated log comes back unchanged from a second run");
  return 0;
}
