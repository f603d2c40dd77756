// The command's table reader: with no result added every byte comes back
// as it was, and a table gives the same output and messages however its
// stream is cut, also when rows are longer than the record limit and pass
// in pieces.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "cli/batch.h"
#include "cli/stream.h"

namespace {

using namespace pelmora::cli;

Captured Run(std::string_view text, const TableOptions& options, std::size_t piece) {
  return Capture(RunTable, text, options, piece);
}

void Check(bool promise, const char* what) {
  if (!promise) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  TableOptions options;
  options.separator = (data[0] & 1) ? '\t' : ',';
  options.overwrite = (data[0] & 2) != 0;
  if (data[0] & 4) options.from = {"a", "b"};
  if (data[0] & 8) options.max_record = kLeastMaxRecord;
  const std::size_t piece = 1 + data[1] % 16;
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  TableOptions plain = options;
  plain.add.clear();
  const Captured same = Run(text, plain, piece);
  Check(same.out == text || same.status == kExitFailed,
        "a table without results comes back unchanged (unless its header is too long)");
  Check(same.status != kExitUsage, "a table without results needs no column");

  options.add = {Result::kDistance, Result::kBearing, Result::kLocator, Result::kKm};
  const Captured whole = Run(text, options, 1 << 20);
  const Captured cut = Run(text, options, piece);
  Check(whole.out == cut.out && whole.messages == cut.messages && whole.status == cut.status,
        "the same output however the stream is cut");
  const Stats& s = whole.stats;
  Check(s.read == s.annotated + s.kept + s.skipped + s.failed, "each row counted once");
  return 0;
}
