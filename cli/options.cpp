#include "cli/options.h"

#include "cli/values.h"
#include "pelmora.h"

namespace pelmora::cli {

namespace {

bool Refuse(std::string* problem, std::string what) {
  *problem = std::move(what);
  return false;
}

std::vector<std::string> SplitList(std::string_view list) {
  std::vector<std::string> items;
  for (;;) {
    const std::size_t comma = list.find(',');
    items.emplace_back(list.substr(0, comma));
    if (comma == std::string_view::npos) return items;
    list.remove_prefix(comma + 1);
  }
}

// A size in bytes, with an optional K, M or G (powers of 1024).
bool ReadSize(std::string_view text, std::size_t* out) {
  std::size_t scale = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'K':
      case 'k':
        scale = std::size_t{1} << 10;
        break;
      case 'M':
      case 'm':
        scale = std::size_t{1} << 20;
        break;
      case 'G':
      case 'g':
        scale = std::size_t{1} << 30;
        break;
      default:
        break;
    }
    if (scale != 1) text.remove_suffix(1);
  }
  if (text.empty() || text.size() > 12) return false;
  std::size_t n = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::size_t>(c - '0');
  }
  *out = n * scale;
  return true;
}

}  // namespace

const std::vector<OptionForm>& BatchOptionForms() {
  static const std::vector<OptionForm> forms = {
      {"overwrite", 0, false},
      {"format", 0, true},
      {"from", 0, true},
      {"to", 0, true},
      {"x", 0, true},
      {"add", 0, true},
      {"bearing-field", 0, true},
      {"my-grid", 0, true},
      {"max-record", 0, true},
      {"stats", 0, false},
      {"progress", 0, false},
      {"quiet", 'q', false},
  };
  return forms;
}

bool ReadArguments(const char* command, const std::vector<std::string_view>& args,
                   const std::vector<OptionForm>& forms, Arguments* out, std::string* problem) {
  bool options_end = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_end || !IsOption(arg)) {
      out->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out->help = true;
      continue;
    }
    const bool is_long = arg.substr(0, 2) == "--";
    const std::size_t equals = is_long ? arg.find('=') : std::string_view::npos;
    const std::string_view name = is_long ? arg.substr(2, equals - 2) : arg.substr(1);
    const OptionForm* form = nullptr;
    for (const OptionForm& s : forms) {
      if (is_long ? name == s.name : (name.size() == 1 && name[0] == s.letter && s.letter != 0))
        form = &s;
    }
    if (form == nullptr) {
      return Refuse(problem, std::string(command) + ": unknown option " + Excerpt(arg));
    }
    Option option{form, {}};
    if (equals != std::string_view::npos) {
      if (!form->value) {
        return Refuse(problem, std::string(command) + ": --" + form->name + " takes no value");
      }
      option.value = std::string(arg.substr(equals + 1));
    } else if (form->value) {
      if (i + 1 == args.size()) {
        return Refuse(problem, std::string(command) + ": --" + form->name + " needs a value");
      }
      option.value = std::string(args[++i]);
    }
    out->options.push_back(std::move(option));
  }
  return true;
}

bool ReadBatchOptions(const Arguments& args, BatchOptions* options, BatchFlags* flags,
                      std::string* problem) {
  for (const Option& option : args.options) {
    const std::string_view name = option.form->name;
    const std::string& value = option.value;
    if (name == "overwrite") {
      options->table.overwrite = options->log.overwrite = true;
    } else if (name == "stats") {
      flags->stats = true;
    } else if (name == "progress") {
      flags->progress = true;
    } else if (name == "quiet") {
      flags->quiet = true;
    } else if (name == "format") {
      if (value == "csv") {
        options->format = Format::kCsv;
      } else if (value == "tsv") {
        options->format = Format::kTsv;
      } else if (value == "adif") {
        options->format = Format::kAdif;
      } else {
        return Refuse(problem, "batch: unknown format " + Excerpt(value));
      }
    } else if (name == "from" || name == "to") {
      std::vector<std::string> columns = SplitList(value);
      if (columns.size() > 2)
        return Refuse(problem, "batch: --" + std::string(name) + " takes 1 or 2 columns");
      (name == "from" ? options->table.from : options->table.to) = columns;
    } else if (name == "x") {
      options->table.x = value;
    } else if (name == "add") {
      options->table.add.clear();
      for (const std::string& item : SplitList(value)) {
        Result r;
        if (!ResultOfName(item, &r))
          return Refuse(problem, "batch: unknown result " + Excerpt(item));
        options->table.add.push_back(r);
      }
    } else if (name == "bearing-field") {
      const std::string bad = BearingFieldProblem(value);
      if (!bad.empty()) return Refuse(problem, "batch: " + bad);
      options->log.bearing_field = value;
    } else if (name == "my-grid") {
      Position p;
      int status = PELMORA_OK;
      if (ReadLocator(value, &p, &status) != ValueError::kNone)
        return Refuse(problem, "batch: --my-grid: " + Excerpt(value) + " is not a locator");
      options->log.my_grid = value;
    } else if (name == "max-record") {
      std::size_t bytes = 0;
      if (!ReadSize(value, &bytes) || bytes < kLeastMaxRecord)
        return Refuse(problem,
                      "batch: --max-record: " + Excerpt(value) + " is no size of 4096 or more");
      options->table.max_record = options->log.max_record = bytes;
    }
  }
  if (args.operands.size() > 1) return Refuse(problem, "batch: one FILE at most");
  return true;
}

}  // namespace pelmora::cli
