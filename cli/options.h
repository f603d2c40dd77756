// The command line of the pelmora command, read as GNU programs read theirs:
// --name=VALUE or --name VALUE, short options, "--" to end the options.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"

namespace pelmora::cli {

struct OptionForm {
  const char* name;  // the long name, without "--"
  char letter;       // the short one, or 0
  bool value;        // whether it takes a value
};

struct Option {
  const OptionForm* form;
  std::string value;
};

struct Arguments {
  std::vector<Option> options;
  std::vector<std::string_view> operands;
  bool help = false;
};

// An argument that starts with "-" and is a number or a position is no
// option: -33.9, -33.9,18.4, -.5.
inline bool IsOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  return !((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

// Reads `args` against `forms` (--help and -h always allowed): --name=VALUE,
// --name VALUE, -x, -x VALUE; "--" ends the options, "-" is an operand.
// False, and what is wrong in *problem ("COMMAND: ..."), for a usage error.
bool ReadArguments(const char* command, const std::vector<std::string_view>& args,
                   const std::vector<OptionForm>& forms, Arguments* out, std::string* problem);

// The options of pelmora batch.
const std::vector<OptionForm>& BatchOptionForms();

struct BatchFlags {
  bool stats = false;
  bool progress = false;
  bool quiet = false;
};

// The options of a batch read into `options` and `flags`; false, and what
// is wrong in *problem, for a usage error.
bool ReadBatchOptions(const Arguments& args, BatchOptions* options, BatchFlags* flags,
                      std::string* problem);

}  // namespace pelmora::cli
