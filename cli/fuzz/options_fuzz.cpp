// The command line of pelmora batch: any words are read or refused with a
// short printable message; what is read is valid (a bearing field that can
// be, a record limit of at least 4096 bytes, a station locator that is
// one); --name=VALUE and --name VALUE read alike, and so do short and
// long names; and a batch under any
// options read runs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "cli/options.h"
#include "cli/stream.h"
#include "cli/values.h"
#include "pelmora.h"

namespace {

using namespace pelmora::cli;

void Check(bool promise, const char* what) {
  if (!promise) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

bool Printable(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
  }
  return true;
}

// Reads `words`; false with the problem checked when they are refused.
bool Read(const std::vector<std::string_view>& words, Arguments* args, BatchOptions* options,
          BatchFlags* flags) {
  std::string problem;
  if (ReadArguments("batch", words, BatchOptionForms(), args, &problem) &&
      ReadBatchOptions(*args, options, flags, &problem)) {
    return true;
  }
  Check(problem.substr(0, 7) == "batch: " && problem.size() < 300 && Printable(problem),
        "a refusal says what is wrong, short and printable");
  return false;
}

}  // namespace

// Input: words separated by NUL bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at <= text.size();) {
    const std::size_t end = std::min(text.find('\0', at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  Arguments args;
  BatchOptions options;
  BatchFlags flags;
  if (!Read(words, &args, &options, &flags)) return 0;
  Check(BearingFieldProblem(options.log.bearing_field).empty(), "a bearing field that can be");
  Check(options.table.max_record >= kLeastMaxRecord && options.log.max_record >= kLeastMaxRecord,
        "a record limit of at least 4096 bytes");
  Position p;
  int status = PELMORA_OK;
  Check(options.log.my_grid.empty() ||
            ReadLocator(options.log.my_grid, &p, &status) == ValueError::kNone,
        "a station locator that is one");
  Check(!options.table.from.empty() && options.table.from.size() <= 2 &&
            !options.table.to.empty() && options.table.to.size() <= 2,
        "one or two columns for each place");

  // The same command line written again as --name VALUE (each option by
  // its long name, its value as the next word), then "--" and the operands,
  // reads alike.
  std::vector<std::string> split;
  for (const Option& option : args.options) {
    split.push_back(std::string("--") + option.form->name);
    if (option.form->value) split.push_back(option.value);
  }
  split.emplace_back("--");
  split.insert(split.end(), args.operands.begin(), args.operands.end());
  Arguments again;
  BatchOptions options_again;
  BatchFlags flags_again;
  const std::vector<std::string_view> split_words(split.begin(), split.end());
  Check(Read(split_words, &again, &options_again, &flags_again),
        "--name VALUE read as what it came from");
  Check(again.operands == args.operands && again.options.size() == args.options.size(),
        "the same operands and options");
  for (std::size_t i = 0; i < args.options.size(); ++i) {
    Check(again.options[i].form == args.options[i].form &&
              again.options[i].value == args.options[i].value,
          "the same option values");
  }

  // A batch under these options runs, as a table and as a log.
  for (const std::string_view input :
       {std::string_view("from,to\nJO62qm,FN20xq\n"),
        std::string_view("<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor><GRIDSQUARE:2>FN<eor>")}) {
    MemorySource in(input, 5);
    StringSink out;
    Diagnostics diagnostics;
    diagnostics.err = nullptr;
    const int batch = RunBatch(in, out, options, diagnostics);
    Check(batch >= kExitOk && batch <= kExitUsage, "a batch's status");
  }
  return 0;
}
