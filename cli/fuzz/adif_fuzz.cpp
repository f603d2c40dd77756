// The command's log reader: the same output and messages however the
// stream is cut; a log it annotated comes back unchanged from a second run;
// a log that names no locator field comes back unchanged.
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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  LogOptions options;
  options.overwrite = (data[0] & 1) != 0;
  if (data[0] & 2) options.bearing_field = "ANT_AZ";
  const std::size_t piece = 1 + data[1] % 16;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  const Captured whole = Run(text, options, 1 << 20);
  const Captured cut = Run(text, options, piece);
  Check(whole.out == cut.out && whole.messages == cut.messages && whole.status == cut.status,
        "the same output however the stream is cut");
  if (!NamesGrid(text)) Check(whole.out == text, "a log without locators comes back unchanged");
  LogOptions keep = options;
  keep.overwrite = false;
  const Captured again = Run(whole.out, keep, 1 << 20);
  Check(again.out == whole.out, "an annotated log comes back unchanged from a second run");
  return 0;
}
