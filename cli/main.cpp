// The pelmora command: the methods of Pelmora.dll from a shell, one call at
// a time or over a CSV/TSV table or an ADIF log (cli/pelmora.1).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "cli/stream.h"
#include "cli/values.h"
#include "pelmora.h"

namespace {

using namespace pelmora::cli;

constexpr int kUsage = 2;

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
    "or a locator (JO62qm). Numbers are written as the shortest decimal that\n"
    "reads back as the same single-precision value.\n"
    "\n"
    "  -h, --help     show this help (pelmora COMMAND --help: that command's)\n"
    "  -V, --version  show the version\n"
    "\n"
    "Exit status: 0 if all went well, 1 if a calculation or some rows failed,\n"
    "2 for a usage error.\n";

constexpr const char kLocatorHelp[] =
    "Usage: pelmora locator [--slocator] LAT LON\n"
    "   or: pelmora locator [--slocator] LAT,LON\n"
    "Prints the six-character locator of a position (the DLL's GridFromLatLong).\n"
    "\n"
    "  -s, --slocator  use sLocator, whose float steps can differ on cell edges\n"
    "  -h, --help      show this help\n";

constexpr const char kCentreHelp[] =
    "Usage: pelmora centre LOCATOR\n"
    "Prints LAT,LON, the centre of the locator's subsquare (six characters) or\n"
    "square (four), as the DLL's LatFromGrid and LongFromGrid decode it. Any\n"
    "text is decoded as the DLL decodes it, without a check.\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kBearingHelp[] =
    "Usage: pelmora bearing FROM TO\n"
    "Prints the bearing in whole degrees, 0 to 360 clockwise from north, in\n"
    "which the great circle from FROM to TO leaves FROM (the DLL's Azimut).\n"
    "A place is LAT,LON or a locator (its centre).\n"
    "\n"
    "  -h, --help  show this help\n";

constexpr const char kDistanceHelp[] =
    "Usage: pelmora distance FROM TO\n"
    "Prints the great-circle distance in kilometres plus 0.5, as the DLL's\n"
    "DistanceFrom gives it (its integer part is the whole kilometres a logging\n"
    "program shows). A place is LAT,LON or a locator (its centre).\n"
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
    "its values (--overwrite fills it in place). Every other byte is kept.\n"
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
    "records without both locators stay as they are.\n"
    "  --bearing-field=NAME    the bearing's field (default APP_PELMORA_BEARING)\n"
    "\n"
    "  --format=FORMAT         csv, tsv or adif (default: from the file name's\n"
    "                          ending .csv, .tsv, .adi or .adif, else from the\n"
    "                          first 64 KiB: adif if they hold <eoh> or <eor>,\n"
    "                          tsv if the first line has a tab and no comma,\n"
    "                          else csv)\n"
    "  --overwrite             replace results the input already has\n"
    "  -h, --help              show this help\n"
    "\n"
    "A bad row or record is written back unchanged (a table row with empty\n"
    "result cells) and reported on standard error as 'pelmora: FILE:LINE: what';\n"
    "the rest is still processed, and the exit status is 1.\n";

int UsageError(const std::string& what) {
  std::fprintf(stderr, "pelmora: %s\nTry 'pelmora --help' for more information.\n", what.c_str());
  return kUsage;
}

int CallError(const char* what, int status) {
  std::fprintf(stderr, "pelmora: %s\n", CallFailure(what, status).c_str());
  return 1;
}

// The text and a line end (a NUL in a locator included).
int Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::putchar('\n');
  return std::fflush(stdout) == 0 ? 0 : 1;
}

bool IsHelp(std::string_view arg) { return arg == "-h" || arg == "--help"; }

// An argument that starts with "-" and is a number or a position is no
// option: -33.9, -33.9,18.4, -.5.
bool IsOption(std::string_view arg) {
  if (arg.size() < 2 || arg[0] != '-') return false;
  return !((arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.');
}

bool ReadPlace(std::string_view text, Position* place, int* exit) {
  int status = PELMORA_OK;
  const ValueError e = ParsePosition(text, place, &status);
  if (e == ValueError::kNone) return true;
  *exit = e == ValueError::kRange || e == ValueError::kCall ? 1 : kUsage;
  if (*exit == kUsage)
    UsageError(Describe(e, text, true));
  else
    std::fprintf(stderr, "pelmora: %s\n", Describe(e, text, true).c_str());
  return false;
}

int Locator(const std::vector<std::string_view>& args) {
  bool s = false;
  std::vector<std::string_view> values;
  for (const std::string_view arg : args) {
    if (arg == "-s" || arg == "--slocator") {
      s = true;
    } else if (IsOption(arg)) {
      return UsageError("locator: unknown option '" + std::string(arg) + "'");
    } else {
      values.push_back(arg);
    }
  }
  Position p;
  int exit = 0;
  if (values.size() == 1 && values[0].find(',') != std::string_view::npos) {
    if (!ReadPlace(values[0], &p, &exit)) return exit;
  } else if (values.size() == 2) {
    for (std::size_t i = 0; i < 2; ++i) {
      const ValueError e = ParseNumber(values[i], i == 0 ? &p.lat : &p.lon);
      if (e == ValueError::kSyntax) return UsageError(Describe(e, values[i], false));
      if (e != ValueError::kNone) {
        std::fprintf(stderr, "pelmora: %s\n", Describe(e, values[i], false).c_str());
        return 1;
      }
    }
  } else {
    return UsageError("locator: give LAT LON or LAT,LON");
  }
  char text[PELMORA_LOCATOR_SIZE];
  const int status = s ? pelmora_s_locator(p.lat, p.lon, text, sizeof text)
                       : pelmora_grid_from_lat_long(p.lat, p.lon, text, sizeof text);
  if (status != PELMORA_OK) return CallError(s ? "sLocator" : "GridFromLatLong", status);
  return Print(std::string(text, pelmora_text_size(text)));
}

int Centre(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return UsageError("centre: give one LOCATOR");
  float lat = 0.0f, lon = 0.0f;
  int status = pelmora_lat_from_grid(args[0].data(), args[0].size(), &lat);
  if (status != PELMORA_OK) return CallError("LatFromGrid", status);
  status = pelmora_long_from_grid(args[0].data(), args[0].size(), &lon);
  if (status != PELMORA_OK) return CallError("LongFromGrid", status);
  return Print(FormatFloat(lat) + "," + FormatFloat(lon));
}

int TwoPlaces(const char* command, const std::vector<std::string_view>& args, bool bearing) {
  if (args.size() != 2) return UsageError(std::string(command) + ": give FROM and TO");
  Position a, b;
  int exit = 0;
  if (!ReadPlace(args[0], &a, &exit) || !ReadPlace(args[1], &b, &exit)) return exit;
  float value = 0.0f;
  const int status = bearing ? pelmora_azimut(a.lat, a.lon, b.lat, b.lon, &value)
                             : pelmora_distance_from(a.lat, a.lon, b.lat, b.lon, &value);
  if (status != PELMORA_OK) return CallError(bearing ? "Azimut" : "DistanceFrom", status);
  return Print(FormatFloat(value));
}

int ArcCos(const std::vector<std::string_view>& args) {
  if (args.size() != 1) return UsageError("arccos: give one X");
  float x = 0.0f;
  const ValueError e = ParseNumber(args[0], &x);
  if (e == ValueError::kSyntax) return UsageError(Describe(e, args[0], false));
  if (e != ValueError::kNone) {
    std::fprintf(stderr, "pelmora: %s\n", Describe(e, args[0], false).c_str());
    return 1;
  }
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

// The options of a batch; 0, or the usage error's status.
int ParseBatchOptions(const std::vector<std::string_view>& args, BatchOptions* options,
                      std::string* file) {
  bool have_file = false;
  for (const std::string_view arg : args) {
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const std::string value(equals == std::string_view::npos ? "" : arg.substr(equals + 1));
    const bool has_value = equals != std::string_view::npos;
    if (arg == "--overwrite") {
      options->table.overwrite = options->log.overwrite = true;
    } else if (name == "--format" && has_value) {
      if (value == "csv") {
        options->format = Format::kCsv;
      } else if (value == "tsv") {
        options->format = Format::kTsv;
      } else if (value == "adif") {
        options->format = Format::kAdif;
      } else {
        return UsageError("batch: unknown format '" + value + "'");
      }
    } else if ((name == "--from" || name == "--to") && has_value) {
      std::vector<std::string> columns = SplitList(value);
      if (columns.size() > 2)
        return UsageError("batch: " + std::string(name) + " takes 1 or 2 columns");
      (name == "--from" ? options->table.from : options->table.to) = columns;
    } else if (name == "--x" && has_value) {
      options->table.x = value;
    } else if (name == "--add" && has_value) {
      options->table.add.clear();
      for (const std::string& item : SplitList(value)) {
        Result r;
        if (!ResultOfName(item, &r)) return UsageError("batch: unknown result '" + item + "'");
        options->table.add.push_back(r);
      }
    } else if (name == "--bearing-field" && has_value) {
      const std::string problem = BearingFieldProblem(value);
      if (!problem.empty()) return UsageError("batch: " + problem);
      options->log.bearing_field = value;
    } else if (arg == "-" || !IsOption(arg)) {
      if (have_file) return UsageError("batch: one FILE at most");
      *file = std::string(arg);
      have_file = true;
    } else {
      return UsageError("batch: unknown option '" + std::string(arg) + "'");
    }
  }
  return 0;
}

int Batch(const std::vector<std::string_view>& args) {
  BatchOptions options;
  std::string file = "-";
  if (const int usage = ParseBatchOptions(args, &options, &file)) return usage;
  int fd = STDIN_FILENO;
  Diagnostics diagnostics;
  if (file != "-") {
    fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      std::fprintf(stderr, "pelmora: %s: %s\n", file.c_str(), std::strerror(errno));
      return kUsage;
    }
    diagnostics.file = file;
    if (options.format == Format::kUnknown) options.format = FormatOfName(file);
  }
  FdSource in(fd);
  FdSink out(STDOUT_FILENO);
  int status = RunBatch(in, out, options, diagnostics);
  if (!out.Flush()) {
    std::fprintf(stderr, "pelmora: write error: %s\n", std::strerror(errno));
    status = 1;
  }
  if (fd != STDIN_FILENO) ::close(fd);
  return status;
}

struct Command {
  const char* name;
  const char* help;
  int (*run)(const std::vector<std::string_view>&);
};

int Bearing(const std::vector<std::string_view>& args) { return TwoPlaces("bearing", args, true); }
int Distance(const std::vector<std::string_view>& args) {
  return TwoPlaces("distance", args, false);
}

constexpr Command kCommands[] = {
    {"locator", kLocatorHelp, Locator}, {"centre", kCentreHelp, Centre},
    {"bearing", kBearingHelp, Bearing}, {"distance", kDistanceHelp, Distance},
    {"arccos", kArcCosHelp, ArcCos},    {"batch", kBatchHelp, Batch}};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return UsageError("no command");
  const std::string_view first = argv[1];
  if (IsHelp(first)) {
    std::fputs(kMainHelp, stdout);
    return 0;
  }
  if (first == "-V" || first == "--version") {
    std::printf("pelmora %s\n", pelmora_version());
    return 0;
  }
  for (const Command& command : kCommands) {
    if (first != command.name) continue;
    std::vector<std::string_view> args;
    for (int i = 2; i < argc; ++i) {
      if (IsHelp(argv[i])) {
        std::fputs(command.help, stdout);
        return 0;
      }
      args.emplace_back(argv[i]);
    }
    return command.run(args);
  }
  return UsageError("unknown command '" + std::string(first) + "'");
}
