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
#include "cli/stream.h"
#include "cli/values.h"
#include "gtest/gtest.h"

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
  EXPECT_EQ(ParsePosition("JO62qm45", &p, &status), ValueError::kNone);
  EXPECT_EQ(p.lat, 52.520832f);
  for (const char* bad : {"SO62", "JO6", "JO62q", "JO62qy", "JO62qm4", "JO62 ", "1;2", "1,x"}) {
    EXPECT_EQ(ParsePosition(bad, &p, &status), ValueError::kSyntax) << bad;
  }
  EXPECT_EQ(ParsePosition("1e39,0", &p, &status), ValueError::kRange);
}

// ---- Tables and logs ----

Captured Table(const std::string& in, const TableOptions& options, std::size_t piece = 1 << 20) {
  return Capture(RunTable, in, options, piece, "t.csv");
}

Captured Log(const std::string& in, const LogOptions& options, std::size_t piece = 1 << 20) {
  return Capture(RunLog, in, options, piece, "t.adi");
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
  const Captured run = Table(kTable, TableOptions{});
  EXPECT_EQ(run.out,
            "call,from,to,note,distance,bearing\r\n"
            "A,JO62qm,FN20xq,\"quoted, with \"\"quotes\"\"\",6383.4517,296\r\n"
            "B,\"52.5,13.4\",IO91wm,\"two\nlines\",930.5447,269\r\n"
            "C,XX99,JO62,bad place,,\r\n"
            "\r\n"
            "D,\"1,2\",,\r\n"
            "E,0,0,,");
  EXPECT_EQ(run.messages,
            "pelmora: t.csv:5: from: 'XX99' is neither LAT,LON nor a locator\n"
            "pelmora: t.csv:7: no value for column 'to'\n"
            "pelmora: t.csv:8: from: '0' is neither LAT,LON nor a locator\n");
  EXPECT_EQ(run.status, 1);
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
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.messages, "pelmora: t.csv:1: no column 'nowhere' in the header\n");
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
  const Captured run = Log(kLog, LogOptions{});
  EXPECT_EQ(run.out,
            "Exported log, its header text\n<ADIF_VER:5>3.1.4 <PROGRAMID:4>test\n<EOH>\n"
            "<CALL:4>DL1A <GRIDSQUARE:6>FN20xq\n<my_gridsquare:4:S>JO62 <DISTANCE:4>6361 "
            "<APP_PELMORA_BEARING:3>296 <eor>\n"
            "<CALL:5>G<4>X <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:6>IO91wm <Distance:2>99\n"
            "<APP_PELMORA_BEARING:2>78 <EoR>\n"
            "<CALL:x>BAD <GRIDSQUARE:4>JO62 <MY_GRIDSQUARE:4>JO62 <eor>\n"
            "<CALL:4>W1AW <GRIDSQUARE:4>ZZ99 <MY_GRIDSQUARE:4>JO62 <eor>\n"
            "<CALL:4>K1JT <eor>\n"
            "<CALL:4>VK2X <GRIDSQUARE:6>QF56od <MY_GRIDSQUARE:4>JO62 <APP_PELMORA_BEARING:1>1 "
            "<DISTANCE:5>16109 <eor>\n"
            "<CALL:3>ABC <GRIDSQUARE:40>JO62\n");
  EXPECT_EQ(run.messages,
            "pelmora: t.adi:8: the field CALL has a bad length 'x'\n"
            "pelmora: t.adi:9: GRIDSQUARE: 'ZZ99' is not a locator\n"
            "pelmora: t.adi:12: the value of GRIDSQUARE runs past the end of the log\n");
  EXPECT_EQ(run.status, 1);

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

// The output does not depend on where the input stream is cut.
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

TEST(Streaming, AnyCutGivesTheSameOutput) {
  const Captured table = Table(kTable, TableOptions{});
  const Captured log = Log(kLog, LogOptions{});
  for (std::size_t piece = 1; piece < 80; ++piece) {
    const Captured t = Table(kTable, TableOptions{}, piece);
    ASSERT_EQ(t.out, table.out) << piece;
    ASSERT_EQ(t.messages, table.messages) << piece;
    const Captured l = Log(kLog, LogOptions{}, piece);
    ASSERT_EQ(l.out, log.out) << piece;
    ASSERT_EQ(l.messages, log.messages) << piece;
  }
}

// ---- The whole batch ----

TEST(Batch, FormatFromTheNameElseFromTheContent) {
  const std::pair<const char*, Format> names[] = {
      {"log.ADI", Format::kAdif}, {"dir.csv/log.adif", Format::kAdif}, {"t.Csv", Format::kCsv},
      {"t.tsv", Format::kTsv},    {"t.csv.gz", Format::kUnknown},      {"adi", Format::kUnknown},
  };
  for (const auto& [name, format] : names) EXPECT_EQ(FormatOfName(name), format) << name;
  const std::pair<std::string, Format> contents[] = {
      {"Log\n<eOh>\n", Format::kAdif},
      {"a\tb\n<eor", Format::kTsv},
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

TEST(Batch, BearingFieldNames) {
  for (const char* good : {"ANT_AZ", "APP_X_BEARING", "x"}) {
    EXPECT_EQ(BearingFieldProblem(good), "") << good;
  }
  for (const char* bad : {"", "A B", "X:1", "<EOR>", "A,B", "A\n"}) {
    EXPECT_NE(BearingFieldProblem(bad), "") << bad;
  }
}

// A read that fails after some input: what came before is written, the
// record it cut is passed on unchanged (never annotated as if whole), and
// the failure is reported.
TEST(Batch, AReadErrorKeepsWhatCameBefore) {
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
    EXPECT_EQ(status, 1);
  }
}

}  // namespace
