// The pelmora command: the methods of Pelmora.dll from a shell, one call at
// a time or over a CSV/TSV table or an ADIF log (cli/pelmora.1).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "cli/progress.h"
#include "cli/stream.h"
#include "cli/values.h"
#include "pelmora.h"

namespace {

using namespace pelmora::cli;

constexpr const char kMainHelp[] =
    "Usage: pelmora COMMAND [OPTION]... [ARGUMENT]...\n"
    "Maidenhead locators, bearings and great-circle distances, bit for bit as\n"
    "Pelmora.dll computes them.\n"
    "\n"
    "Commands:\n"
    "  locator LAT LON      the six-character locator of a position\n"
    "  centre LOCATOR       the centre of a locator's square or subsquare\n"
    "  bearing FROM TO      the bearing in whole degrees from one place to another\n"
    "  distance FROM TO     the great-circle distance in kilometres\n"
    "  arccos X             the arc cosine the distance uses, in radians\n"
    "  batch [FILE]         results added to a CSV or TSV table or an ADIF log\n"
    "\n"
    "A place (FROM, TO) is LAT,LON in decimal degrees, north and east positive,\n"
    "or a locator of 2 to 12 characters (JO62qm, JO62qm45ax). Numbers are\n"
    "written as the shortest decimal that reads back as the same single-precision\n"
    "value. Options take their value as --option=VALUE or --option VALUE; --\n"
    "ends the options.\n"
    "\n"
    "  -h, --help     show this help (pelmora COMMAND --help: that command's)\n"
    "  -V, --version  show the version\n"
    "\n"
    "Exit status: 0 if all went well, 1 if a calculation or some rows failed\n"
    "(or memory ran out), 2 for a usage error, 3 if a file could not be\n"
    "opened, read or written.\n";

constexpr const char kLocatorHelp[] =
    "Usage: pelmora locator [--slocator] LAT LON\n"
    "   or: pelmora locator [--slocator] LAT,LON\n"
    "Prints the six-character locator of a position (the DLL's GridFromLatLong).\n"
    "A position outside the grid (latitude -90 to 90, longitude -180 to 180) is\n"
    "refused: the DLL's text for it is no locator.\n"
    "\n"
    "  -s, --slocator  use sLocator, whose float steps can differ on cell edges\n"
    "  -h, --help      show this help\n";

constexpr const char kCentreHelp[] =
    "Usage: pelmora centre LOCATOR\n"
    "Prints LAT,LON, the centre of the locator's cell: for four or six characters\n"
    "as the DLL's LatFromGrid and LongFromGrid decode it, for 2, 8, 10 or 12 the\n"
    "exact centre in single precision. Any other text is decoded as the DLL\n"
    "decodes it, without a check.\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kBearingHelp[] =
    "Usage: pelmora bearing FROM TO\n"
    "Prints the bearing in whole degrees, 0 to 360 clockwise from north, in\n"
    "which the great circle from FROM to TO leaves FROM (the DLL's Azimut).\n"
    "A place is LAT,LON or a locator of 2 to 12 characters (its centre).\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kDistanceHelp[] =
    "Usage: pelmora distance FROM TO\n"
    "Prints the great-circle distance in kilometres plus 0.5, as the DLL's\n"
    "DistanceFrom gives it (its integer part is the whole kilometres a logging\n"
    "program shows). A place is LAT,LON or a locator of 2 to 12 characters (its\n"
    "centre).\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kArcCosHelp[] =
    "Usage: pelmora arccos X\n"
    "Prints the arc cosine of X in radians, as the DLL's ArcCos computes it.\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kBatchHelp[] =
    "Usage: pelmora batch [OPTION]... [FILE]\n"
    "Reads a CSV or TSV table or an ADIF log from FILE (or standard input) and\n"
    "writes it to standard output with results added, as a stream.\n"
    "\n"
    "Tables: the first row names the columns. Each row gets the results named\n"
    "by --add, in new columns at the end; a column the table already has keeps\n"
    "its values (--overwrite fills it in place). Every other byte is kept. A\n"
    "row with fewer cells than the header gets empty ones before its results;\n"
    "a row with more is reported and kept as it is.\n"
    "  --from=COLUMN[,COLUMN]  the first place: one column holding LAT,LON or a\n"
    "                          locator, or two holding LAT and LON (default from)\n"
    "  --to=COLUMN[,COLUMN]    the second place (default to)\n"
    "  --x=COLUMN              the argument of arccos (default x)\n"
    "  --add=LIST              results, comma-separated (default distance,bearing):\n"
    "                          distance  DistanceFrom(from, to)\n"
    "                          km        its integer part, whole kilometres\n"
    "                          bearing   Azimut(from, to)\n"
    "                          locator   GridFromLatLong(from)\n"
    "                          slocator  sLocator(from)\n"
    "                          lat, lon  LatFromGrid, LongFromGrid of the text of\n"
    "                                    the from column, unchecked\n"
    "                          arccos    ArcCos(x)\n"
    "\n"
    "Logs (ADIF): an optional header (text, or fields, up to <EOH>), then records\n"
    "ended by <EOR>. Each record with MY_GRIDSQUARE and GRIDSQUARE gets DISTANCE,\n"
    "the whole kilometres from the first to the second, and the bearing from\n"
    "the first to the second in APP_PELMORA_BEARING, inserted before its <EOR>.\n"
    "A record that has one of them keeps it (--overwrite replaces it in place);\n"
    "records without both locators stay as they are. The locators are read at\n"
    "full precision, with GRIDSQUARE_EXT and MY_GRIDSQUARE_EXT.\n"
    "  --bearing-field=NAME    the bearing's field (default APP_PELMORA_BEARING;\n"
    "                          not DISTANCE nor a locator field)\n"
    "  --my-grid=LOCATOR       the station's locator for records without\n"
    "                          MY_GRIDSQUARE\n"
    "\n"
    "  --format=FORMAT         csv, tsv or adif (default: from the file name's\n"
    "                          ending .csv, .tsv, .adi or .adif, else from the\n"
    "                          first 64 KiB: adif if they hold <eoh> or <eor>,\n"
    "                          tsv if the first line has a tab and no comma,\n"
    "                          else csv)\n"
    "  --overwrite             replace results the input already has\n"
    "  --max-record=BYTES      the longest row or record read whole (default\n"
    "                          16M; K, M, G suffixes; at least 4096); a longer\n"
    "                          one is reported and passed on unchanged\n"
    "  --stats                 a summary on standard error at the end\n"
    "  --progress              show progress on standard error even when it is\n"
    "                          not a terminal (it is shown on a terminal)\n"
    "  -q, --quiet             never show progress\n"
    "  -h, --help              show this help\n"
    "\n"
    "A bad row or record is written back unchanged (a table row with empty\n"
    "result cells) and reported on standard error as 'pelmora: FILE:LINE: what';\n"
    "the rest is still processed, and the exit status is 1.\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "pelmora: %s\nTry 'pelmora --help' for more information.\n", what.c_str());
  return kExitUsage;
}

int CallError(const char* what, int status) {
  std::fprintf(stderr, "pelmora: %s\n", CallFailure(what, status).c_str());
  return kExitFailed;
}

// The text and a line end (a NUL in a locator included); whether it was
// written is checked when standard output is closed.
int Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::putchar('\n');
  return kExitOk;
}

// ---- Options, as GNU programs take them ----

struct OptionSpec {
  const char* name;  // the long name, without "--"
  char letter;       // the short one, or 0
  bool value;        // whether it takes a value
};

struct Option {
  const OptionSpec* spec;
  std::string value;
};

struct Arguments {
  std::vector<Option> options;
  std::vector<std::string_view> operands;
  bool help = false;
};

// An argument that starts with "-" and is a number or a position is no
// option: -33.9, -33.9,18.4, -.5.
bool IsOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  return !((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

// Reads `args` against `specs` (--help and -h always allowed): --name=VALUE,
// --name VALUE, -x, -x VALUE; "--" ends the options, "-" is an operand.
// 0, or the usage error's status.
int ReadArguments(const char* command, const std::vector<std::string_view>& args,
                  const std::vector<OptionSpec>& specs, Arguments* out) {
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
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : specs) {
      if (is_long ? name == s.name : (name.size() == 1 && name[0] == s.letter && s.letter != 0))
        spec = &s;
    }
    if (spec == nullptr) {
      return UsageError(std::string(command) + ": unknown option " + Excerpt(arg));
    }
    Option option{spec, {}};
    if (equals != std::string_view::npos) {
      if (!spec->value) {
        return UsageError(std::string(command) + ": --" + spec->name + " takes no value");
      }
      option.value = std::string(arg.substr(equals + 1));
    } else if (spec->value) {
      if (i + 1 == args.size()) {
        return UsageError(std::string(command) + ": --" + spec->name + " needs a value");
      }
      option.value = std::string(args[++i]);
    }
    out->options.push_back(std::move(option));
  }
  return 0;
}

// ---- The commands ----

bool ReadPlace(std::string_view text, Position* place, int* exit) {
  int status = PELMORA_OK;
  const ValueError e = ParsePosition(text, place, &status);
  if (e == ValueError::kNone) return true;
  *exit = e == ValueError::kRange || e == ValueError::kCall ? kExitFailed : kExitUsage;
  if (*exit == kExitUsage)
    UsageError(Describe(e, text, true));
  else
    std::fprintf(stderr, "pelmora: %s\n", Describe(e, text, true).c_str());
  return false;
}

int ReadNumberArgument(std::string_view text, float* out) {
  const ValueError e = ParseNumber(text, out);
  if (e == ValueError::kNone) return kExitOk;
  if (e == ValueError::kSyntax) return UsageError(Describe(e, text, false));
  std::fprintf(stderr, "pelmora: %s\n", Describe(e, text, false).c_str());
  return kExitFailed;
}

int Locator(const Arguments& args) {
  const bool s = !args.options.empty();
  const std::vector<std::string_view>& values = args.operands;
  Position p;
  int exit = 0;
  if (values.size() == 1 && values[0].find(',') != std::string_view::npos) {
    if (!ReadPlace(values[0], &p, &exit)) return exit;
  } else if (values.size() == 2) {
    if ((exit = ReadNumberArgument(values[0], &p.lat)) != 0) return exit;
    if ((exit = ReadNumberArgument(values[1], &p.lon)) != 0) return exit;
  } else {
    return UsageError("locator: give LAT LON or LAT,LON");
  }
  char text[PELMORA_LOCATOR_SIZE];
  const int status = s ? pelmora_s_locator(p.lat, p.lon, text, sizeof text)
                       : pelmora_grid_from_lat_long(p.lat, p.lon, text, sizeof text);
  if (status != PELMORA_OK) return CallError(s ? "sLocator" : "GridFromLatLong", status);
  if (!(p.lat >= -90.0f && p.lat <= 90.0f && p.lon >= -180.0f && p.lon <= 180.0f)) {
    std::fprintf(stderr,
                 "pelmora: %s,%s lies outside the grid (latitude -90 to 90, longitude -180 to "
                 "180)\n",
                 FormatFloat(p.lat).c_str(), FormatFloat(p.lon).c_str());
    return kExitFailed;
  }
  return Print(std::string(text, pelmora_text_size(text)));
}

int Centre(const Arguments& args) {
  if (args.operands.size() != 1) return UsageError("centre: give one LOCATOR");
  const std::string_view grid = args.operands[0];
  // A locator of any precision: its centre, never shortened (four and six
  // characters the DLL's); any other text as the DLL decodes it.
  Position p;
  int status = PELMORA_OK;
  const ValueError e = ReadLocator(grid, &p, &status);
  if (e == ValueError::kCall) return CallError("LatFromGrid", status);
  if (e != ValueError::kNone) {
    status = pelmora_lat_from_grid(grid.data(), grid.size(), &p.lat);
    if (status != PELMORA_OK) return CallError("LatFromGrid", status);
    status = pelmora_long_from_grid(grid.data(), grid.size(), &p.lon);
    if (status != PELMORA_OK) return CallError("LongFromGrid", status);
  }
  return Print(FormatFloat(p.lat) + "," + FormatFloat(p.lon));
}

int TwoPlaces(const char* command, const Arguments& args, bool bearing) {
  if (args.operands.size() != 2) return UsageError(std::string(command) + ": give FROM and TO");
  Position a, b;
  int exit = 0;
  if (!ReadPlace(args.operands[0], &a, &exit) || !ReadPlace(args.operands[1], &b, &exit)) {
    return exit;
  }
  float value = 0.0f;
  const int status = bearing ? pelmora_azimut(a.lat, a.lon, b.lat, b.lon, &value)
                             : pelmora_distance_from(a.lat, a.lon, b.lat, b.lon, &value);
  if (status != PELMORA_OK) return CallError(bearing ? "Azimut" : "DistanceFrom", status);
  return Print(FormatFloat(value));
}

int Bearing(const Arguments& args) { return TwoPlaces("bearing", args, true); }
int Distance(const Arguments& args) { return TwoPlaces("distance", args, false); }

int ArcCos(const Arguments& args) {
  if (args.operands.size() != 1) return UsageError("arccos: give one X");
  float x = 0.0f;
  if (const int exit = ReadNumberArgument(args.operands[0], &x)) return exit;
  float value = 0.0f;
  const int status = pelmora_arc_cos(x, &value);
  if (status != PELMORA_OK) return CallError("ArcCos", status);
  return Print(FormatFloat(value));
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

const std::vector<OptionSpec> kBatchOptions = {
    {"overwrite", 0, false}, {"format", 0, true}, {"from", 0, true},          {"to", 0, true},
    {"x", 0, true},          {"add", 0, true},    {"bearing-field", 0, true}, {"my-grid", 0, true},
    {"max-record", 0, true}, {"stats", 0, false}, {"progress", 0, false},     {"quiet", 'q', false},
};

struct BatchFlags {
  bool stats = false;
  bool progress = false;
  bool quiet = false;
};

// The options of a batch; 0, or the usage error's status.
int ReadBatchOptions(const Arguments& args, BatchOptions* options, BatchFlags* flags) {
  for (const Option& option : args.options) {
    const std::string_view name = option.spec->name;
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
        return UsageError("batch: unknown format " + Excerpt(value));
      }
    } else if (name == "from" || name == "to") {
      std::vector<std::string> columns = SplitList(value);
      if (columns.size() > 2)
        return UsageError("batch: --" + std::string(name) + " takes 1 or 2 columns");
      (name == "from" ? options->table.from : options->table.to) = columns;
    } else if (name == "x") {
      options->table.x = value;
    } else if (name == "add") {
      options->table.add.clear();
      for (const std::string& item : SplitList(value)) {
        Result r;
        if (!ResultOfName(item, &r)) return UsageError("batch: unknown result " + Excerpt(item));
        options->table.add.push_back(r);
      }
    } else if (name == "bearing-field") {
      const std::string problem = BearingFieldProblem(value);
      if (!problem.empty()) return UsageError("batch: " + problem);
      options->log.bearing_field = value;
    } else if (name == "my-grid") {
      Position p;
      int status = PELMORA_OK;
      if (ReadLocator(value, &p, &status) != ValueError::kNone)
        return UsageError("batch: --my-grid: " + Excerpt(value) + " is not a locator");
      options->log.my_grid = value;
    } else if (name == "max-record") {
      std::size_t bytes = 0;
      if (!ReadSize(value, &bytes) || bytes < kLeastMaxRecord)
        return UsageError("batch: --max-record: " + Excerpt(value) + " is no size of 4096 or more");
      options->table.max_record = options->log.max_record = bytes;
    }
  }
  if (args.operands.size() > 1) return UsageError("batch: one FILE at most");
  return 0;
}

// Whether the input is the very file standard output appends to or writes.
bool SameAsOutput(int fd) {
  struct stat in_stat, out_stat;
  if (::fstat(fd, &in_stat) != 0 || ::fstat(STDOUT_FILENO, &out_stat) != 0) return false;
  return S_ISREG(in_stat.st_mode) && S_ISREG(out_stat.st_mode) &&
         in_stat.st_dev == out_stat.st_dev && in_stat.st_ino == out_stat.st_ino;
}

int Batch(const Arguments& args) {
  BatchOptions options;
  BatchFlags flags;
  if (const int usage = ReadBatchOptions(args, &options, &flags)) return usage;
  const std::string file = args.operands.empty() ? "-" : std::string(args.operands[0]);
  int fd = STDIN_FILENO;
  Diagnostics diagnostics;
  if (file != "-") {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "pelmora: %s: %s\n", file.c_str(), std::strerror(errno));
      return kExitFile;
    }
    diagnostics.file = file;
    if (options.format == Format::kUnknown) options.format = FormatOfName(file);
  }
  if (SameAsOutput(fd)) {
    std::fprintf(stderr, "pelmora: %s: the input file is the output file\n",
                 diagnostics.file.c_str());
    if (fd != STDIN_FILENO) ::close(fd);
    return kExitFile;
  }
  // Progress on a terminal (or on request), never with --quiet; of the whole
  // size when the input is a file.
  struct stat input;
  const std::size_t total = ::fstat(fd, &input) == 0 && S_ISREG(input.st_mode)
                                ? static_cast<std::size_t>(input.st_size)
                                : 0;
  Progress progress(stderr, total);
  if (!flags.quiet && (flags.progress || ::isatty(STDERR_FILENO))) diagnostics.progress = &progress;
  FdSource in(fd);
  FdSink out(STDOUT_FILENO);
  int status = RunBatch(in, out, options, diagnostics);
  if (!out.Flush()) {
    std::fprintf(stderr, "pelmora: write error: %s\n", std::strerror(errno));
    status = kExitFile;
  }
  if (fd != STDIN_FILENO) ::close(fd);
  if (flags.stats) std::fprintf(stderr, "%s\n", StatsLine(diagnostics.stats).c_str());
  return status;
}

struct Command {
  const char* name;
  const char* help;
  std::vector<OptionSpec> options;
  int (*run)(const Arguments&);
};

const Command kCommands[] = {
    {"locator", kLocatorHelp, {{"slocator", 's', false}}, Locator},
    {"centre", kCentreHelp, {}, Centre},
    {"bearing", kBearingHelp, {}, Bearing},
    {"distance", kDistanceHelp, {}, Distance},
    {"arccos", kArcCosHelp, {}, ArcCos},
    {"batch", kBatchHelp, kBatchOptions, Batch},
};

int Run(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  const std::string_view first = argv[1];
  if (first == "-h" || first == "--help") {
    std::fputs(kMainHelp, stdout);
    return kExitOk;
  }
  if (first == "-V" || first == "--version") {
    std::printf("pelmora %s\n", pelmora_version());
    return kExitOk;
  }
  for (const Command& command : kCommands) {
    if (first != command.name) continue;
    Arguments args;
    const std::vector<std::string_view> words(argv + 2, argv + argc);
    if (const int usage = ReadArguments(command.name, words, command.options, &args)) return usage;
    if (args.help) {
      std::fputs(command.help, stdout);
      return kExitOk;
    }
    return command.run(args);
  }
  return UsageError("unknown command " + Excerpt(first));
}

}  // namespace

int main(int argc, char** argv) {
  int status = Run(argc, argv);
  // Every write to standard output is checked here, where it is closed: a
  // full disk or a closed pipe is an error, whatever the command.
  const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
  const int error = errno;
  if (std::fclose(stdout) != 0 || !written) {
    std::fprintf(stderr, "pelmora: write error: %s\n", std::strerror(written ? errno : error));
    status = kExitFile;
  }
  return status;
}
