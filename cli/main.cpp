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
#include "cli/options.h"
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
    "  locator LAT LON      the locator of a position (six characters, or 2 to 12)\n"
    "  centre LOCATOR       the centre of a locator's cell\n"
    "  bearing FROM TO      the bearing in whole degrees from one place to another\n"
    "                       (--long-path: the other way round)\n"
    "  distance FROM TO     the great-circle distance in kilometres\n"
    "                       (--long-path: the other way round)\n"
    "  is-locator TEXT      whether TEXT is a locator, and of how many characters\n"
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
    "Usage: pelmora locator [--slocator | --characters=N] LAT LON\n"
    "   or: pelmora locator [--slocator | --characters=N] LAT,LON\n"
    "Prints the six-character locator of a position (the DLL's GridFromLatLong).\n"
    "A position outside the grid (latitude -90 to 90, longitude -180 to 180) is\n"
    "refused: the DLL's text for it is no locator.\n"
    "\n"
    "  -s, --slocator      use sLocator, whose float steps can differ on cell edges\n"
    "  -c, --characters=N  the locator of N characters (2, 4, 6, 8, 10 or 12) of\n"
    "                      the cell that holds the exact position, read as a\n"
    "                      double (a point on a boundary: the cell north or east\n"
    "                      of it; longitude 180 is -180)\n"
    "  -h, --help          show this help\n";

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
    "  -l, --long-path  the bearing the other way round the great circle: the\n"
    "                   reverse of the short path's (0 and 360 give 180)\n"
    "  -h, --help       show this help\n";

constexpr const char kDistanceHelp[] =
    "Usage: pelmora distance FROM TO\n"
    "Prints the great-circle distance in kilometres plus 0.5, as the DLL's\n"
    "DistanceFrom gives it (its integer part is the whole kilometres a logging\n"
    "program shows). A place is LAT,LON or a locator of 2 to 12 characters (its\n"
    "centre).\n"
    "\n"
    "  -l, --long-path  the distance the other way round the great circle:\n"
    "                   40004.2 less the short path's (40003.6992, the whole\n"
    "                   circle, for the same place)\n"
    "  -h, --help       show this help\n";

constexpr const char kIsLocatorHelp[] =
    "Usage: pelmora is-locator TEXT\n"
    "Prints how many characters the locator TEXT has (2 to 12; spaces at both\n"
    "ends skipped), or 0 when TEXT is no locator; the exit status is then 1.\n"
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

// Whether the option of that long name was given; its last value in *value.
bool Given(const Arguments& args, std::string_view name, std::string* value = nullptr) {
  bool given = false;
  for (const Option& option : args.options) {
    if (name != option.form->name) continue;
    given = true;
    if (value != nullptr) *value = option.value;
  }
  return given;
}

int ReadDoubleArgument(std::string_view text, double* out) {
  if (ParseDouble(text, out) == ValueError::kNone) return kExitOk;
  return UsageError(Describe(ValueError::kSyntax, text, false));
}

// The locator of `characters` characters through pelmora_locator, the
// position read in double precision.
int ExactLocator(const std::vector<std::string_view>& values, std::string_view characters) {
  int count = 0;
  if (characters.size() > 2 || characters.empty() ||
      characters.find_first_not_of("0123456789") != std::string_view::npos ||
      (count = std::stoi(std::string(characters))) < 2 || count > 12 || count % 2 != 0) {
    return UsageError("locator: --characters takes 2, 4, 6, 8, 10 or 12, not " +
                      Excerpt(characters));
  }
  double lat = 0.0, lon = 0.0;
  int exit = 0;
  const std::size_t comma = values.size() == 1 ? values[0].find(',') : std::string_view::npos;
  if (comma != std::string_view::npos) {
    if ((exit = ReadDoubleArgument(values[0].substr(0, comma), &lat)) != 0) return exit;
    if ((exit = ReadDoubleArgument(values[0].substr(comma + 1), &lon)) != 0) return exit;
  } else if (values.size() == 2) {
    if ((exit = ReadDoubleArgument(values[0], &lat)) != 0) return exit;
    if ((exit = ReadDoubleArgument(values[1], &lon)) != 0) return exit;
  } else {
    return UsageError("locator: give LAT LON or LAT,LON");
  }
  char text[16];
  const int status = pelmora_locator(lat, lon, count, text, sizeof text);
  if (status == PELMORA_OUT_OF_RANGE) {
    std::fprintf(stderr,
                 "pelmora: %s lies outside the grid (latitude -90 to 90, longitude -180 to 180)\n",
                 Excerpt(values.size() == 1 ? values[0]
                                            : std::string(values[0]) + "," + std::string(values[1]))
                     .c_str());
    return kExitFailed;
  }
  if (status != PELMORA_OK) return CallError("locator", status);
  return Print(text);
}

int Locator(const Arguments& args) {
  const bool s = Given(args, "slocator");
  std::string characters;
  const std::vector<std::string_view>& values = args.operands;
  if (Given(args, "characters", &characters)) {
    if (s) return UsageError("locator: --slocator and --characters exclude each other");
    return ExactLocator(values, characters);
  }
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
  // The long path from the short path's result alone, as pelmora_position_path
  // and pelmora_grid_path define it; a short result is always in range.
  if (Given(args, "long-path")) {
    const float shorter = value;
    const int long_status = bearing ? pelmora_long_path_bearing(shorter, &value)
                                    : pelmora_long_path_distance(shorter, &value);
    if (long_status != PELMORA_OK) return CallError("long path", long_status);
  }
  return Print(FormatFloat(value));
}

int Bearing(const Arguments& args) { return TwoPlaces("bearing", args, true); }
int Distance(const Arguments& args) { return TwoPlaces("distance", args, false); }

int IsLocator(const Arguments& args) {
  if (args.operands.size() != 1) return UsageError("is-locator: give one TEXT");
  const std::string_view text = args.operands[0];
  int characters = 0;
  const int status = pelmora_is_locator(text.data(), text.size(), &characters);
  Print(std::to_string(characters));
  return status == PELMORA_OK ? kExitOk : kExitFailed;
}

int ArcCos(const Arguments& args) {
  if (args.operands.size() != 1) return UsageError("arccos: give one X");
  float x = 0.0f;
  if (const int exit = ReadNumberArgument(args.operands[0], &x)) return exit;
  float value = 0.0f;
  const int status = pelmora_arc_cos(x, &value);
  if (status != PELMORA_OK) return CallError("ArcCos", status);
  return Print(FormatFloat(value));
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
  std::string problem;
  if (!ReadBatchOptions(args, &options, &flags, &problem)) return UsageError(problem);
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
  std::vector<OptionForm> options;
  int (*run)(const Arguments&);
};

const Command kCommands[] = {
    {"locator", kLocatorHelp, {{"slocator", 's', false}, {"characters", 'c', true}}, Locator},
    {"centre", kCentreHelp, {}, Centre},
    {"bearing", kBearingHelp, {{"long-path", 'l', false}}, Bearing},
    {"distance", kDistanceHelp, {{"long-path", 'l', false}}, Distance},
    {"is-locator", kIsLocatorHelp, {}, IsLocator},
    {"arccos", kArcCosHelp, {}, ArcCos},
    {"batch", kBatchHelp, BatchOptionForms(), Batch},
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
    std::string problem;
    if (!ReadArguments(command.name, words, command.options, &args, &problem)) {
      return UsageError(problem);
    }
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
