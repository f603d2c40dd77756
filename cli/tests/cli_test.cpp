// The pelmora command's readers and writers: numbers, tables and logs, and
// that a stream cut anywhere gives the same output.
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "cli/batch.h"
#include "cli/progress.h"
#include "cli/stream.h"
#include "cli/values.h"
#include "gtest/gtest.h"
#include "pelmora.h"

namespace {

using namespace pelmora::cli;

// ---- Numbers ----

TEST(Values, NumbersAsAutomationConvertsThem) {
  struct Case {
    const char* text;
    ValueError error;
    std::uint32_t bits;
  };
  const Case cases[] = {
      {"52.5", ValueError::kNone, 0x42520000},
      {" -0 ", ValueError::kNone, 0x80000000},
      {"+.5", ValueError::kNone, 0x3F000000},
      {"1.", ValueError::kNone, 0x3F800000},
      {"1e-50", ValueError::kNone, 0x00000000},  // the double is tiny, the float 0
      {"1e-400", ValueError::kNone, 0x00000000},
      {"3.40282346e38", ValueError::kNone, 0x7F7FFFFF},
      // Above the largest float but rounding to it: Automation overflows;
      // so does the shortest decimal of the largest float.
      {"3.4028235e38", ValueError::kRange, 0},
      {"1e39", ValueError::kRange, 0},
      {"-1e400", ValueError::kRange, 0},
      {"inf", ValueError::kRange, 0},
      // Decimal to double to float: the double rounds to a midpoint between
      // two floats, and then to even; the decimal's nearest float is above.
      {"1.00000005960464477539062500001", ValueError::kNone, 0x3F800000},
      {"NaN", ValueError::kNone, 0x7FC00000},
      {"-nan", ValueError::kNone, 0xFFC00000},
      {"", ValueError::kSyntax, 0},
      {"1e", ValueError::kSyntax, 0},
      {"0x10", ValueError::kSyntax, 0},
      {"1,5", ValueError::kSyntax, 0},
      {".", ValueError::kSyntax, 0},
  };
  for (const Case& c : cases) {
    float x = 1.0f;
    EXPECT_EQ(ParseNumber(c.text, &x), c.error) << c.text;
    if (c.error == ValueError::kNone) {
      EXPECT_EQ(std::bit_cast<std::uint32_t>(x), c.bits) << c.text;
    }
  }
}

// Every float written reads back as itself through the command's reader,
// the double step included; but for the largest magnitude, whose shortest
// decimal lies above it (see above).
TEST(Values, WrittenFloatsReadBack) {
  std::uint64_t state = 1;
  for (int i = 0; i < 500000; ++i) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(state >> 32));
    if (!(std::abs(x) < std::numeric_limits<float>::max())) continue;
    float back = 0.0f;
    const std::string text = FormatFloat(x);
    ASSERT_EQ(ParseNumber(text, &back), ValueError::kNone) << text;
    ASSERT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(x)) << text;
  }
}

// Decimals of 1 to 18 digits, the point anywhere, exponents -30..30 (the
// short ones take a one-operation path, the rest the general one): the
// nearest double, as strtod gives it.
TEST(Values, DecimalsAsTheNearestDouble) {
  std::uint64_t state = 7;
  const auto next = [&](std::uint64_t n) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return (state >> 33) % n;
  };
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    const std::uint64_t digits = 1 + next(18), point = next(digits + 1);
    for (std::uint64_t d = 0; d < digits; ++d) {
      if (d == point && d > 0) text.push_back('.');
      text.push_back(static_cast<char>('0' + next(10)));
    }
    if (next(2) != 0) text += "e" + std::to_string(static_cast<int>(next(61)) - 30);
    double x = 0.0;
    ASSERT_TRUE(ParseDecimal(text, &x)) << text;
    ASSERT_EQ(std::bit_cast<std::uint64_t>(x),
              std::bit_cast<std::uint64_t>(std::strtod(text.c_str(), nullptr)))
        << text;
  }
}

TEST(Values, Positions) {
  Position p;
  int status = 0;
  EXPECT_EQ(ParsePosition("jo62QM", &p, &status), ValueError::kNone);
  EXPECT_EQ(p.lat, 52.520832f);
  EXPECT_EQ(p.lon, 13.375f);
  // Four and six characters: the DLL's centre; any other precision the
  // exact centre, never shortened.
  const struct {
    const char* text;
    float lat, lon;
  } precisions[] = {
      {"JO", 55.0f, 10.0f},
      {"JO62", 52.5f, 13.0f},
      {"JO62qm", 52.520832f, 13.375f},
      {"jo62QM45", 52.52291666666667f, 13.370833333333333f},
      {"JO62qm45ax", 52.524913194444444f, 13.366840277777778f},
      {" JO62qm45ax09 ", 52.524991319444446f, 13.366684027777778f},
  };
  for (const auto& c : precisions) {
    ASSERT_EQ(ParsePosition(c.text, &p, &status), ValueError::kNone) << c.text;
    EXPECT_EQ(p.lat, c.lat) << c.text;
    EXPECT_EQ(p.lon, c.lon) << c.text;
  }
  // Spaces around a locator are skipped, as around a number.
  EXPECT_EQ(ParsePosition(" JO62qm\t", &p, &status), ValueError::kNone);
  EXPECT_EQ(p.lon, 13.375f);
  // S only at the grid's edge, as the encoders write it.
  for (const char* edge : {"JS00aa", "SJ00aa", "ss00", "RS90xa"}) {
    EXPECT_EQ(ParsePosition(edge, &p, &status), ValueError::kNone) << edge;
  }
  for (const char* bad :
       {"SO62", "JS01aa", "JS00ab", "SJ10", "JS00aa00", "JO6", "JO62q", "JO62qy", "JO62qm4",
        "J O62", "JO62qm45ay", "JO62qm45ax1", "JO62qm45ax00aa", "1;2", "1,x"}) {
    EXPECT_EQ(ParsePosition(bad, &p, &status), ValueError::kSyntax) << bad;
  }
  EXPECT_EQ(ParsePosition("1e39,0", &p, &status), ValueError::kRange);
}

// Every locator the encoders write for a position on the grid, edges
// included, reads back as a locator.
TEST(Values, WrittenLocatorsReadBack) {
  std::uint64_t state = 3;
  const auto unit = [&] {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<float>(state >> 40) / static_cast<float>(1 << 24);
  };
  for (int i = 0; i < 20000; ++i) {
    const float edges[] = {-90.0f, 90.0f, -180.0f, 180.0f, 0.0f};
    const float lat = i < 25 ? edges[i % 5] / (i % 5 < 2 ? 1.0f : 2.0f) : unit() * 180.0f - 90.0f;
    const float lon = i < 25 ? edges[i / 5] * (i / 5 < 2 ? 2.0f : 1.0f) : unit() * 360.0f - 180.0f;
    for (const auto encode : {pelmora_grid_from_lat_long, pelmora_s_locator}) {
      char text[PELMORA_LOCATOR_SIZE];
      ASSERT_EQ(encode(lat, lon, text, sizeof text), PELMORA_OK);
      Position p;
      int status = 0;
      ASSERT_EQ(ReadLocator(std::string_view(text, pelmora_text_size(text)), &p, &status),
                ValueError::kNone)
          << lat << "," << lon << " " << text;
    }
  }
}

TEST(Values, MessagesQuoteAShortEscapedExcerpt) {
  const std::pair<std::string, std::string> cases[] = {
      {"JO62", "'JO62'"},
      {std::string("a\0b'\\\xff", 6), "'a\\x00b\\x27\\x5c\\xff'"},
      {std::string(kExcerpt, 'x'), "'" + std::string(kExcerpt, 'x') + "'"},
      {std::string(10 << 20, '\0'), "'" +
                                        [] {
                                          std::string nul;
                                          for (std::size_t i = 0; i < kExcerpt; ++i) nul += "\\x00";
                                          return nul;
                                        }() +
                                        "'... (10485760 bytes)"},
  };
  for (const auto& [text, excerpt] : cases) EXPECT_EQ(Excerpt(text), excerpt);
}

// ---- The readers: each case read whole and in pieces of every small
// size, with the same output, messages, status and counts ----

Captured Table(const std::string& in, const TableOptions& options, std::size_t piece = 1 << 20) {
  return Capture(RunTable, in, options, piece, "t.csv");
}

Captured Log(const std::string& in, const LogOptions& options, std::size_t piece = 1 << 20) {
  return Capture(RunLog, in, options, piece, "t.adi");
}

struct Expected {
  std::string out;
  std::string messages;
  int status;
};

template <class Options>
void ExpectRun(Captured (*run)(const std::string&, const Options&, std::size_t),
               const std::string& in, const Options& options, const Expected& expected,
               const std::string& what) {
  const Captured whole = run(in, options, 1 << 20);
  EXPECT_EQ(whole.out, expected.out) << what;
  EXPECT_EQ(whole.messages, expected.messages) << what;
  EXPECT_EQ(whole.status, expected.status) << what;
  for (const std::size_t piece : {1u, 2u, 3u, 5u, 7u, 13u, 64u, 4099u}) {
    const Captured cut = run(in, options, piece);
    ASSERT_EQ(cut.out, whole.out) << what << ", pieces of " << piece;
    ASSERT_EQ(cut.messages, whole.messages) << what << ", pieces of " << piece;
    ASSERT_EQ(cut.status, whole.status) << what << ", pieces of " << piece;
    ASSERT_EQ(cut.stats.read, whole.stats.read) << what << ", pieces of " << piece;
  }
}

const std::string kTable =
    "call,from,to,note\r\n"
    "A,JO62qm,FN20xq,\"quoted, with \"\"quotes\"\"\"\r\n"
    "B,\"52.5,13.4\",IO91wm,\"two\nlines\"\r\n"
    "C,XX99,JO62,bad place\r\n"
    "\r\n"
    "D,\"1,2\"\r\n"
    "E,0,0";

TEST(Table, ResultsAppendedEverythingElseKept) {
  ExpectRun(Table, kTable, TableOptions{},
            {"call,from,to,note,distance,bearing\r\n"
             "A,JO62qm,FN20xq,\"quoted, with \"\"quotes\"\"\",6383.4517,296\r\n"
             "B,\"52.5,13.4\",IO91wm,\"two\nlines\",930.5447,269\r\n"
             "C,XX99,JO62,bad place,,\r\n"
             "\r\n"
             "D,\"1,2\",,,,\r\n"
             "E,0,0,,,",
             "pelmora: t.csv:5: from: 'XX99' is neither LAT,LON nor a locator\n"
             "pelmora: t.csv:7: no value for column to (the row has 2 cells)\n"
             "pelmora: t.csv:8: from: '0' is neither LAT,LON nor a locator\n",
             kExitFailed},
            "kTable");
  const Stats stats = Table(kTable, TableOptions{}).stats;
  EXPECT_EQ(stats.read, 5u);
  EXPECT_EQ(stats.annotated, 2u);
  EXPECT_EQ(stats.failed, 3u);
}

TEST(Table, ColumnsByNameInPlaceOrKept) {
  TableOptions options;
  options.separator = '\t';
  options.from = {"lat", "lon"};
  options.add = {Result::kLocator, Result::kSLocator, Result::kKm};
  options.to = {"grid"};
  const std::string in = "lat\tlon\tgrid\tLocator\n52.5\t13.4\tJO62\told\n-0.0\t180\tAA00\t\n";
  Captured run = Table(in, options);
  EXPECT_EQ(run.out,
            "lat\tlon\tgrid\tLocator\tslocator\tkm\n"
            "52.5\t13.4\tJO62\told\tJO62qm\t27\n"
            "-0.0\t180\tAA00\t\tSJ00aa\t9945\n");
  options.overwrite = true;
  run = Table(in, options);
  EXPECT_EQ(run.out,
            "lat\tlon\tgrid\tLocator\tslocator\tkm\n"
            "52.5\t13.4\tJO62\tJO62qm\tJO62qm\t27\n"
            "-0.0\t180\tAA00\tSJ00aa\tSJ00aa\t9945\n");
  options.to = {"nowhere"};
  run = Table(in, options);
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.messages, "pelmora: t.csv:1: no column 'nowhere' in the header\n");
}

TEST(Table, RowsComeBackRightOrAreReported) {
  TableOptions small;
  small.max_record = kLeastMaxRecord;
  TableOptions in_place;
  in_place.add = {Result::kKm};
  in_place.overwrite = true;
  const std::string long_cell(5000, 'x');
  struct Case {
    const char* what;
    std::string in;
    TableOptions options;
    Expected expected;
  };
  const Case cases[] = {
      {"a byte order mark, kept",
       "\xEF\xBB\xBF"
       "from,to\nJO62qm,FN20xq\n",
       {},
       {"\xEF\xBB\xBF"
        "from,to,distance,bearing\nJO62qm,FN20xq,6383.4517,296\n",
        "", kExitOk}},
      {"a short row padded",
       "From,To,Note\nIO91wm,FN20xr\n",
       {},
       {"From,To,Note,distance,bearing\nIO91wm,FN20xr,,5567.8843,288\n", "", kExitOk}},
      {"a short row padded, results in place",
       "from,km,to,note\nJO62qm,1\n",
       in_place,
       {"from,km,to,note\nJO62qm,,,\n",
        "pelmora: t.csv:2: no value for column to (the row has 2 cells)\n", kExitFailed}},
      {"a long row reported",
       "from,to\nJO62qm,FN20xq,extra\n",
       {},
       {"from,to,distance,bearing\nJO62qm,FN20xq,extra\n",
        "pelmora: t.csv:2: the row has 3 cells, the header 2\n", kExitFailed}},
      {"a quoted cell before a lone CR at the end",
       "from,to\r\nJO62qm,\"FN20xq\"\r",
       {},
       {"from,to,distance,bearing\r\nJO62qm,\"FN20xq\",6383.4517,296\r", "", kExitOk}},
      {"spaces around a locator",
       "from,to\n JO62qm ,\" FN20xq\"\n",
       {},
       {"from,to,distance,bearing\n JO62qm ,\" FN20xq\",6383.4517,296\n", "", kExitOk}},
      {"a quoted field without its end",
       "from,to\nJO62qm,\"FN20xq\n",
       {},
       {"from,to,distance,bearing\nJO62qm,\"FN20xq\n",
        "pelmora: t.csv:2: a quoted field without its closing quote\n", kExitFailed}},
      {"a bad cell quoted short",
       "from,to\n\"" + long_cell + "\",FN20xq\n",
       {},
       {"from,to,distance,bearing\n\"" + long_cell + "\",FN20xq,,\n",
        "pelmora: t.csv:2: from: '" + std::string(kExcerpt, 'x') +
            "'... (5000 bytes) is neither LAT,LON nor a locator\n",
        kExitFailed}},
      {"a row longer than the limit passed on, the rest read",
       "from,to\nJO62qm,\"" + long_cell + "\n" + long_cell + "\"\nJO62qm,FN20xq\n",
       small,
       {"from,to,distance,bearing\nJO62qm,\"" + long_cell + "\n" + long_cell +
            "\"\nJO62qm,FN20xq,6383.4517,296\n",
        "pelmora: t.csv:2: a record longer than 4096 bytes (--max-record), passed on unchanged\n",
        kExitFailed}},
      {"an unfinished row longer than the limit",
       "from,to\n\"" + long_cell,
       small,
       {"from,to,distance,bearing\n\"" + long_cell,
        "pelmora: t.csv:2: a record longer than 4096 bytes (--max-record), passed on unchanged\n",
        kExitFailed}},
      {"a header longer than the limit",
       long_cell + "\nJO62qm\n",
       small,
       {"", "pelmora: t.csv:1: a header longer than 4096 bytes (--max-record)\n", kExitFailed}},
  };
  for (const Case& c : cases) ExpectRun(Table, c.in, c.options, c.expected, c.what);
}

// A log with malformed records: the good ones annotated, the bad ones
// written back byte for byte, each reported with its line.
const std::string kLog =
    "Exported log, its header text\n<ADIF_VER:5>3.1.4 <PROGRAMID:4>test\n<EOH>\n"
    "<CALL:4>DL1A <GRIDSQUARE:6>FN20xq\n<my_gridsquare:4:S>JO62 <eor>\n"
    "<CALL:5>G<4>X <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:6>IO91wm <Distance:2>99\n<EoR>\n"
    "<CALL:x>BAD <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:4>JO62 <eor>\n"
    "<CALL:4>W1AW <GRIDSQUARE:4>ZZ99 <MY_GRIDSQUARE:4>JO62 <eor>\n"
    "<CALL:4>K1JT <eor>\n"
    "<CALL:4>VK2X <GRIDSQUARE:6>QF56od <MY_GRIDSQUARE:4>JO62 <APP_PELMORA_BEARING:1>1 <eor>\n"
    "<CALL:3>ABC <GRIDSQUARE:40>JO62\n";

TEST(Log, GoodRecordsAnnotatedBadOnesUnchanged) {
  ExpectRun(Log, kLog, LogOptions{},
            {"Exported log, its header text\n<ADIF_VER:5>3.1.4 <PROGRAMID:4>test\n<EOH>\n"
             "<CALL:4>DL1A <GRIDSQUARE:6>FN20xq\n<my_gridsquare:4:S>JO62 <DISTANCE:4>6361 "
             "<APP_PELMORA_BEARING:3>296 <eor>\n"
             "<CALL:5>G<4>X <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:6>IO91wm <Distance:2>99\n"
             "<APP_PELMORA_BEARING:2>78 <EoR>\n"
             "<CALL:x>BAD <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:4>JO62 <eor>\n"
             "<CALL:4>W1AW <GRIDSQUARE:4>ZZ99 <MY_GRIDSQUARE:4>JO62 <eor>\n"
             "<CALL:4>K1JT <eor>\n"
             "<CALL:4>VK2X <GRIDSQUARE:6>QF56od <MY_GRIDSQUARE:4>JO62 <APP_PELMORA_BEARING:1>1 "
             "<DISTANCE:5>16109 <eor>\n"
             "<CALL:3>ABC <GRIDSQUARE:40>JO62\n",
             "pelmora: t.adi:8: the field 'CALL' has a bad length 'x'\n"
             "pelmora: t.adi:9: GRIDSQUARE: 'ZZ99' is not a locator\n"
             "pelmora: t.adi:12: the value of 'GRIDSQUARE' runs past the end of the log\n",
             kExitFailed},
            "kLog");
  const Stats stats = Log(kLog, LogOptions{}).stats;
  EXPECT_EQ(stats.read, 7u);
  EXPECT_EQ(stats.annotated, 3u);
  EXPECT_EQ(stats.skipped, 1u);
  EXPECT_EQ(stats.failed, 3u);

  // A header that begins with a field, and <EOH> where a record ends.
  const Captured fields =
      Log("<ADIF_VER:5>3.1.4\n<EOH>\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eoh>\n"
          "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor>\n",
          LogOptions{});
  EXPECT_EQ(fields.out,
            "<ADIF_VER:5>3.1.4\n<EOH>\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eoh>\n"
            "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 "
            "<eor>\n");
  EXPECT_EQ(fields.messages, "pelmora: t.adi:3: <EOH> out of place\n");
  // No header, and a line end before the first record.
  EXPECT_EQ(Log("\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor>", LogOptions{}).out,
            "\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 "
            "<APP_PELMORA_BEARING:3>296 <eor>");

  LogOptions overwrite;
  overwrite.overwrite = true;
  overwrite.bearing_field = "ANT_AZ";
  const Captured again =
      Log("<distance:5:N>12345<GRIDSQUARE:4>JO62<MY_GRIDSQUARE:4>JO62<eor>", overwrite);
  EXPECT_EQ(again.out, "<distance:1:N>0<GRIDSQUARE:4>JO62<MY_GRIDSQUARE:4>JO62<ANT_AZ:1>0 <eor>");
  EXPECT_EQ(again.status, 0);
}

TEST(Log, RecordsComeBackRightOrAreReported) {
  LogOptions small;
  small.max_record = kLeastMaxRecord;
  LogOptions station;
  station.my_grid = " JO62qm";
  const std::string notes = "<NOTES:5000>" + std::string(5000, 'n');
  const std::string pair = "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62";
  const std::string annotated = pair + "<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 <eor>";
  struct Case {
    const char* what;
    std::string in;
    LogOptions options;
    Expected expected;
  };
  const Case cases[] = {
      {"a stray '<' before a field",
       "<CALL:4>K1AB JO62qm< <GRIDSQUARE:6>FN20xq<MY_GRIDSQUARE:4>JO62<EOR>\n" + pair + "<eor>",
       {},
       {"<CALL:4>K1AB JO62qm< <GRIDSQUARE:6>FN20xq<MY_GRIDSQUARE:4>JO62<EOR>\n" + annotated,
        "pelmora: t.adi:1: a '<' that opens no tag: '< '\n", kExitFailed}},
      {"spaces around a locator",
       "<GRIDSQUARE:8> FN20xq <MY_GRIDSQUARE:4>JO62<eor>",
       {},
       {"<GRIDSQUARE:8> FN20xq <MY_GRIDSQUARE:4>JO62<DISTANCE:4>6361 "
        "<APP_PELMORA_BEARING:3>296 <eor>",
        "", kExitOk}},
      {"the station's locator for records without one",
       "<GRIDSQUARE:4>FN20<eor><GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor>",
       station,
       {"<GRIDSQUARE:4>FN20<DISTANCE:4>6456 <APP_PELMORA_BEARING:3>296 <eor>" + annotated, "",
        kExitOk}},
      {"locators of eight characters and their extensions, never shortened",
       "<GRIDSQUARE:8>JO62qm99<MY_GRIDSQUARE:8>JO62qm00<eor>\n"
       "<GRIDSQUARE:8>JO62qm99<GRIDSQUARE_EXT:2>ax<MY_GRIDSQUARE:8>JO62qm00<eor>\n"
       "<GRIDSQUARE:6>JO62qm<GRIDSQUARE_EXT:2>ax<MY_GRIDSQUARE:8>JO62qm00<eor>",
       {},
       {"<GRIDSQUARE:8>JO62qm99<MY_GRIDSQUARE:8>JO62qm00<DISTANCE:1>7 "
        "<APP_PELMORA_BEARING:2>51 <eor>\n"
        "<GRIDSQUARE:8>JO62qm99<GRIDSQUARE_EXT:2>ax<MY_GRIDSQUARE:8>JO62qm00<DISTANCE:1>7 "
        "<APP_PELMORA_BEARING:2>48 <eor>\n"
        "<GRIDSQUARE:6>JO62qm<GRIDSQUARE_EXT:2>ax<MY_GRIDSQUARE:8>JO62qm00<eor>",
        "pelmora: t.adi:3: GRIDSQUARE_EXT: 'ax' extends no 8-character GRIDSQUARE\n", kExitFailed}},
      {"the grid's edge, as the encoders write it",
       "<GRIDSQUARE:6>JS00aa<MY_GRIDSQUARE:6>JO62qm<eor>",
       {},
       {"<GRIDSQUARE:6>JS00aa<MY_GRIDSQUARE:6>JO62qm<DISTANCE:4>4167 "
        "<APP_PELMORA_BEARING:3>180 <eor>",
        "", kExitOk}},
      {"a record longer than the limit passed on, the rest read",
       "<EOH>\n" + notes + pair + "<eor>\n" + pair + "<eor>",
       small,
       {"<EOH>\n" + notes + pair + "<eor>\n" + annotated,
        "pelmora: t.adi:2: a record longer than 4096 bytes (--max-record), passed on unchanged\n",
        kExitFailed}},
      {"an unfinished record longer than the limit",
       pair + "<eor>\n<NOTES:9>" + std::string(5000, '<'),
       small,
       {annotated + "\n<NOTES:9>" + std::string(5000, '<'),
        "pelmora: t.adi:2: a record longer than 4096 bytes (--max-record), passed on unchanged\n",
        kExitFailed}},
      {"a long value running past the end of the log",
       pair + "<eor>\n<NOTES:9999>" + std::string(5000, 'n'),
       small,
       {annotated + "\n<NOTES:9999>" + std::string(5000, 'n'),
        "pelmora: t.adi:2: a record longer than 4096 bytes (--max-record), passed on unchanged\n",
        kExitFailed}},
      {"a tag without its end",
       pair + "<eor>\n<NOTES:9" + std::string(2000, 'x') + "<eor>",
       {},
       {annotated + "\n<NOTES:9" + std::string(2000, 'x') + "<eor>",
        "pelmora: t.adi:2: a tag without '>': '<NOTES:9xxxxxxxxxxxx'\n", kExitFailed}},
  };
  for (const Case& c : cases) ExpectRun(Log, c.in, c.options, c.expected, c.what);
}

// ---- Options ----

TEST(Options, BearingFieldNames) {
  for (const char* good : {"ANT_AZ", "APP_X_BEARING", "x", "DISTANCEX"}) {
    EXPECT_EQ(BearingFieldProblem(good), "") << good;
  }
  for (const char* bad : {"", "A B", "X:1", "<EOR>", "A,B", "A\n", "distance", "GRIDSQUARE",
                          "my_gridsquare", "GRIDSQUARE_EXT", "MY_GRIDSQUARE_EXT"}) {
    EXPECT_NE(BearingFieldProblem(bad), "") << bad;
  }
  // The log reader refuses them itself, before writing anything.
  LogOptions options;
  options.bearing_field = "DISTANCE";
  options.overwrite = true;
  const Captured run = Log("<DISTANCE:1>5<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor>", options);
  EXPECT_EQ(run.status, kExitUsage);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.messages, "pelmora: t.adi: the bearing cannot be written to DISTANCE\n");
}

TEST(Options, FormatFromTheNameElseFromTheContent) {
  const std::pair<const char*, Format> names[] = {
      {"log.ADI", Format::kAdif}, {"dir.csv/log.adif", Format::kAdif}, {"t.Csv", Format::kCsv},
      {"t.tsv", Format::kTsv},    {"t.csv.gz", Format::kUnknown},      {"adi", Format::kUnknown},
  };
  for (const auto& [name, format] : names) EXPECT_EQ(FormatOfName(name), format) << name;
  const std::pair<std::string, Format> contents[] = {
      {"Log\n<eOh>\n", Format::kAdif},
      {"\xEF\xBB\xBF"
       "a\tb\n<eor",
       Format::kTsv},
      {"a\tb,c\n", Format::kCsv},
      {"a\n\t\n", Format::kCsv},
      // Only the first 64 KiB count, however the input arrives.
      {std::string(kSniffBytes - 5, 'x') + "<EOR>", Format::kAdif},
      {std::string(kSniffBytes - 4, 'x') + "<EOR>", Format::kCsv},
  };
  for (const auto& [content, format] : contents) {
    EXPECT_EQ(FormatOfContent(content), format) << content.substr(0, 20);
  }
}

TEST(Options, ProgressLine) {
  const struct {
    std::size_t bytes, total, records;
    double seconds;
    const char* line;
  } cases[] = {
      {0, 0, 0, 0.0, "pelmora: 0.0 MiB, 0 records"},
      {3 << 20, 0, 1000, 0.5, "pelmora: 3.0 MiB, 1000 records, 2000/s"},
      {1 << 20, 4 << 20, 10, 2.0, "pelmora: 1.0 MiB of 4.0 MiB (25%), 10 records, 5/s, 0:06 left"},
      {1 << 20, 201 << 20, 7, 1.0, "pelmora: 1.0 MiB of 201.0 MiB (0%), 7 records, 7/s, 3:20 left"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Progress::Line(c.bytes, c.total, c.records, c.seconds), c.line);
  }
}

// ---- Streams ----

// A block that could not be written makes every later flush fail, even when
// the writes after it succeed: lost output is never reported as written.
TEST(Streaming, ALostBlockFailsTheLastFlush) {
  class FailingOnce final : public Sink {
    int writes_ = 0;
    bool Write(std::string_view) override { return ++writes_ != 1; }
  } sink;
  sink.Put(std::string(Sink::kBlock, 'x'));
  sink.Put("tail");
  EXPECT_FALSE(sink.Flush());
  EXPECT_FALSE(sink.Flush());
}

// A read that fails after some input: what came before is written, the
// record it cut is passed on unchanged (never annotated as if whole), and
// the failure is reported.
TEST(Streaming, AReadErrorKeepsWhatCameBefore) {
  class Failing final : public Source {
   public:
    explicit Failing(std::string_view text) : text_(text) {}
    bool Failed() const override { return failed_; }
    int Error() const override { return EIO; }

   protected:
    std::size_t Read(char* to, std::size_t room) override {
      const std::size_t n = std::min({room, std::size_t{7}, text_.size()});
      std::memcpy(to, text_.data(), n);
      text_.remove_prefix(n);
      failed_ = n == 0;
      return n;
    }

   private:
    std::string_view text_;
    bool failed_ = false;
  };
  const std::pair<std::string, std::string> cases[] = {
      {"from,to\nJO62qm,FN20xq\nJO62qm,FN20",
       "from,to,distance,bearing\nJO62qm,FN20xq,6383.4517,296\n"},
      {"<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<eor>\n<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62",
       "<GRIDSQUARE:4>FN20<MY_GRIDSQUARE:4>JO62<DISTANCE:4>6434 <APP_PELMORA_BEARING:3>296 "
       "<eor>\n"},
  };
  for (const auto& [in, done] : cases) {
    Failing source(in);
    StringSink out;
    Diagnostics diagnostics;
    diagnostics.file = "f";
    diagnostics.err = nullptr;
    const int status = RunBatch(source, out, BatchOptions{}, diagnostics);
    out.Flush();
    const std::string cut = in.substr(in.rfind('\n') + 1);
    EXPECT_EQ(out.text, done + cut);
    EXPECT_EQ(diagnostics.collected, "pelmora: f: " + std::string(std::strerror(EIO)) + "\n");
    EXPECT_EQ(status, kExitFile);
  }
}

}  // namespace
