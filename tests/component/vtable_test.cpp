// Pelmora.dll through the vtable of _CalcDistClass: every method against the
// calculations of calc/, bit for bit, failures included; the method frame
// (null pointers, out-parameters, error objects); DistanceFrom reaching ArcCos
// through the object's own vtable slot.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "tests/component/com_support.h"
#include "tests/test_support.h"

namespace pelmora::test {
namespace {

using runtime::Outcome;
using runtime::RtError;
using runtime::Text;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMaxFloat = std::numeric_limits<float>::max();
const float kDenormal = std::ldexp(28.0f, -149);  // 28 x 2^-149

// An out-parameter value that no method writes by itself.
constexpr std::uint32_t kUntouched = 0x7FA5A5A5u;

class Vtable : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = Server::Get().Create();
    ASSERT_TRUE(object_);
  }
  _CalcDistClass* object() const { return object_.get(); }

  // A number method's status and out-parameter against the calculation's.
  template <class Method>
  void ExpectNumber(const char* what, Method&& method, const Outcome<float>& want) {
    float got = FloatFromBits(kUntouched);
    const HRESULT hr = method(&got);
    EXPECT_EQ(Hr{hr}, Hr{ExpectedStatus(want.error)}) << what;
    EXPECT_EQ(Bits(got), Bits(want.value)) << what << " gave " << got << ", wanted " << want.value;
  }

 private:
  ComPtr<_CalcDistClass> object_;
};

// A text method called with a sentinel in its out-parameter (which it must
// overwrite without freeing); the result as a text, the BSTR freed.
template <class Method>
Outcome<Text> CallText(Method&& method, HRESULT& hr) {
  BSTR raw = reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(kUntouched));
  hr = method(&raw);
  Outcome<Text> got;
  if (raw != nullptr && raw != reinterpret_cast<BSTR>(static_cast<std::uintptr_t>(kUntouched))) {
    got.value = Text(std::u16string(reinterpret_cast<const char16_t*>(raw), SysStringLen(raw)));
    SysFreeString(raw);
  } else if (raw != nullptr) {
    got.value = Text(std::u16string(u"<out-parameter not written>"));
  }
  return got;
}

// Arguments for failure messages: each value with its bit pattern.
std::string Where(float a, float b) {
  char text[96];
  std::snprintf(text, sizeof text, "(%.9g [0x%08lX], %.9g [0x%08lX])", static_cast<double>(a),
                static_cast<unsigned long>(Bits(a)), static_cast<double>(b),
                static_cast<unsigned long>(Bits(b)));
  return text;
}

std::string Where(float a, float b, float c, float d) {
  std::string text = Where(a, b);
  text += " to ";
  text += Where(c, d);
  return text;
}

// ---------------------------------------------------------------------------
// Encoding: sLocator and GridFromLatLong

struct Position {
  float lat;
  float lon;
};

const std::vector<Position>& EncodingCases() {
  static const std::vector<Position> cases = {
      // Ordinary positions and the corners of the grid.
      {52.5f, 13.4f},
      {51.5f, -0.12f},
      {-33.9f, 151.2f},
      {-90.0f, -180.0f},
      {90.0f, 180.0f},
      {0.0f, 0.0f},
      {-0.0f, -0.0f},
      {kDenormal, -kDenormal},
      // Field quotients beyond 16 bits: overflow.
      {1e30f, 0.0f},
      {0.0f, -1e30f},
      {kMaxFloat, kMaxFloat},
      {kInf, 0.0f},
      {0.0f, -kInf},
      {QuietNan(), 0.0f},
      // Field character codes outside 0..255: invalid argument.
      {0.0f, 4000.0f},
      {0.0f, -1500.0f},
      {2000.0f, 0.0f},
      // A signalling NaN: the floating-point error.
      {SignallingNan(), 0.0f},
      {0.0f, SignallingNan()},
  };
  return cases;
}

TEST_F(Vtable, EncodingMatchesTheCalculations) {
  std::set<RtError> seen;
  for (const Position& p : EncodingCases()) {
    const Outcome<Text> s = calc::sLocator(p.lat, p.lon);
    const Outcome<Text> g = calc::GridFromLatLong(p.lat, p.lon);
    seen.insert(s.error);
    seen.insert(g.error);

    HRESULT hr = E_FAIL;
    Outcome<Text> got =
        CallText([&](BSTR* out) { return object()->sLocator(p.lat, p.lon, out); }, hr);
    EXPECT_EQ(Hr{hr}, Hr{ExpectedStatus(s.error)}) << "sLocator " << Where(p.lat, p.lon);
    EXPECT_EQ(got.value, s.value) << "sLocator " << Where(p.lat, p.lon);

    got = CallText([&](BSTR* out) { return object()->GridFromLatLong(p.lat, p.lon, out); }, hr);
    EXPECT_EQ(Hr{hr}, Hr{ExpectedStatus(g.error)}) << "GridFromLatLong " << Where(p.lat, p.lon);
    EXPECT_EQ(got.value, g.value) << "GridFromLatLong " << Where(p.lat, p.lon);
  }
  // The table reaches success and every runtime error of the encodings.
  EXPECT_EQ(seen, (std::set<RtError>{RtError::kNone, RtError::kOverflow, RtError::kFloatingPoint,
                                     RtError::kInvalidArgument}));
}

TEST_F(Vtable, EncodingOnTheWholeDegreeGrid) {
  // Every whole-degree position through both methods: a swapped argument or
  // a method bound to the other calculation shows up here.
  int differing = 0;
  for (int lat = -90; lat <= 90; ++lat) {
    for (int lon = -180; lon <= 180; ++lon) {
      const float flat = static_cast<float>(lat);
      const float flon = static_cast<float>(lon);
      Bstr s;
      Bstr g;
      ASSERT_EQ(Hr{object()->sLocator(flat, flon, s.Out())}, Hr{S_OK}) << Where(flat, flon);
      ASSERT_EQ(Hr{object()->GridFromLatLong(flat, flon, g.Out())}, Hr{S_OK}) << Where(flat, flon);
      ASSERT_EQ(AsText(s), calc::sLocator(flat, flon).value) << Where(flat, flon);
      ASSERT_EQ(AsText(g), calc::GridFromLatLong(flat, flon).value) << Where(flat, flon);
      differing += AsText(s) != AsText(g) ? 1 : 0;
    }
  }
  EXPECT_EQ(differing, 37611);
}

// ---------------------------------------------------------------------------
// Decoding: LatFromGrid and LongFromGrid

TEST_F(Vtable, DecodingMatchesTheCalculations) {
  const std::vector<std::u16string> texts = {
      u"JO62QM",
      u"JO62qm",
      u"jo62",
      u" FN20 ",
      u"QF56OD",
      u"AA00aa",
      u"RR99XX",
      u"JJ00AA",
      u"JJ00",
      u"JO62Q",
      u"JO62QM99",
      u"JO6",
      u"",
      u"JOX2",
      u"ZZ99ZZ",
      u"0000",
      u"\tJO62QM",
      u"JO62 M",
      // Units that are no ASCII: an embedded U+0000, Latin-1 letters, an
      // unpaired surrogate and a character outside Windows-1252.
      std::u16string(u"JO\0"
                     u"2QM",
                     6),
      u"\u00C4\u00D662qm",
      u"\xD800O62QM",
      u"\u4E00O62QM",
  };
  for (const std::u16string& units : texts) {
    const Text text(units);
    const Bstr grid(reinterpret_cast<const wchar_t*>(units.data()),
                    static_cast<UINT>(units.size()));
    ExpectNumber(("LatFromGrid " + Show(text)).c_str(),
                 [&](float* out) { return object()->LatFromGrid(grid.get(), out); },
                 calc::LatFromGrid(text));
    ExpectNumber(("LongFromGrid " + Show(text)).c_str(),
                 [&](float* out) { return object()->LongFromGrid(grid.get(), out); },
                 calc::LongFromGrid(text));
  }
}

TEST_F(Vtable, NullGridIsTheEmptyText) {
  ExpectNumber("LatFromGrid null", [&](float* out) { return object()->LatFromGrid(nullptr, out); },
               {0.0f, RtError::kNone});
  ExpectNumber("LongFromGrid null",
               [&](float* out) { return object()->LongFromGrid(nullptr, out); },
               {0.0f, RtError::kNone});
}

TEST_F(Vtable, HugeGridTexts) {
  // Four million spaces on each side of a locator: trimmed away.
  const std::size_t pad = std::size_t{1} << 22;
  std::u16string units(2 * pad + 6, u' ');
  units.replace(pad, 6, u"JO62QM");
  const Bstr grid(reinterpret_cast<const wchar_t*>(units.data()), static_cast<UINT>(units.size()));
  ASSERT_NE(grid.get(), nullptr);
  ExpectNumber("LatFromGrid padded",
               [&](float* out) { return object()->LatFromGrid(grid.get(), out); },
               {FloatFromBits(Bits(52.520832f)), RtError::kNone});
  ExpectNumber("LongFromGrid padded",
               [&](float* out) { return object()->LongFromGrid(grid.get(), out); },
               {13.375f, RtError::kNone});
  // The input is the caller's and stays as it was.
  EXPECT_EQ(SysStringLen(grid.get()), units.size());
  EXPECT_EQ(grid.get()[pad], L'J');
}

TEST_F(Vtable, InputTextIsNotChanged) {
  const Bstr grid(L" jo62qm ");
  float got = 0.0f;
  ASSERT_EQ(Hr{object()->LatFromGrid(grid.get(), &got)}, Hr{S_OK});
  ASSERT_EQ(Hr{object()->LongFromGrid(grid.get(), &got)}, Hr{S_OK});
  EXPECT_EQ(std::wstring(grid.get(), SysStringLen(grid.get())), L" jo62qm ");
}

// ---------------------------------------------------------------------------
// Bearing: Azimut

TEST_F(Vtable, AzimutMatchesTheCalculation) {
  struct Row {
    float my_lat, my_lon, ln_lat, ln_lon;
  };
  const std::vector<Row> rows = {
      {52.5f, 13.4f, 40.7f, -74.0f},
      {40.7f, -74.0f, 52.5f, 13.4f},
      {-33.9f, 151.2f, 51.5f, -0.1f},
      {51.5f, -0.1f, -33.9f, 151.2f},
      {-33.9f, 151.2f, -34.0f, 151.3f},
      {0.0f, 0.0f, 1.0f, 1.0f},
      {52.5f, 13.4f, 52.5f, 14.4f},
      {52.5f, 13.4f, 52.5f, 12.4f},
      {90.0f, 0.0f, 10.0f, 10.0f},
      {52.5f, 13.4f, 60.0f, 13.3f},
      {52.5f, 13.4f, 60.0f, 13.5f},
      {10.0f, 10.0f, 20.0f, -170.0f},
      {52.5f, 180.0f, 40.0f, -180.0f},
      {52.5f, 13.4f, 40.0f, 13.4f},
      {52.5f, 13.4f, 52.5f, 13.4f},
      {52.5f, 13.4f, 0.0f, 30.0f},
      {52.5f, 13.4f, 48.0f, 0.0f},
      {50.0f, 99.999619f, 40.0f, -80.00045f},
      {-50.0f, 99.999619f, -40.0f, -80.00045f},
      // Failures: a zero sine after normalisation, a denormal latitude.
      {52.5f, 180.0f, 40.0f, -180.000137f},
      {52.5f, 13.4f, kDenormal, 20.0f},
      // NaN and infinities.
      {52.5f, 13.4f, QuietNan(), 20.0f},
      {52.5f, 13.4f, 40.0f, SignallingNan()},
      {SignallingNan(), 13.4f, 40.0f, 20.0f},
      {52.5f, kInf, 40.0f, 20.0f},
      {kInf, 13.4f, 40.0f, 20.0f},
      {52.5f, 13.4f, -kInf, kInf},
  };
  // One instance for the whole table, one fresh set of fields for each
  // calculation: what an earlier call left in the instance must not matter.
  std::set<RtError> seen;
  for (const Row& r : rows) {
    calc::BearingFields fields;
    const Outcome<float> want = calc::Azimut(fields, r.my_lat, r.my_lon, r.ln_lat, r.ln_lon);
    seen.insert(want.error);
    ExpectNumber(
        ("Azimut " + Where(r.my_lat, r.my_lon, r.ln_lat, r.ln_lon)).c_str(),
        [&](float* out) { return object()->Azimut(r.my_lat, r.my_lon, r.ln_lat, r.ln_lon, out); },
        want);
  }
  EXPECT_TRUE(seen.count(RtError::kFloatingPoint));
  EXPECT_TRUE(seen.count(RtError::kNone));
}

TEST_F(Vtable, AzimutInstancesAreIndependent) {
  // Two instances interleaved give what each gives alone.
  ComPtr<_CalcDistClass> other = Server::Get().Create();
  ASSERT_TRUE(other);
  float a = 0.0f;
  float b = 0.0f;
  ASSERT_EQ(Hr{object()->Azimut(52.5f, 13.4f, 40.7f, -74.0f, &a)}, Hr{S_OK});
  ASSERT_EQ(Hr{other->Azimut(40.7f, -74.0f, 52.5f, 13.4f, &b)}, Hr{S_OK});
  EXPECT_EQ(Bits(a), Bits(296.0f));
  EXPECT_EQ(Bits(b), Bits(46.0f));
  ASSERT_EQ(Hr{object()->Azimut(-33.9f, 151.2f, -34.0f, 151.3f, &a)}, Hr{S_OK});
  EXPECT_EQ(Bits(a), Bits(140.0f));
}

// ---------------------------------------------------------------------------
// Distance: DistanceFrom, ArcCos, Distanse

TEST_F(Vtable, DistanceFromMatchesTheCalculation) {
  struct Row {
    float alat, alon, blat, blon;
  };
  const std::vector<Row> rows = {
      {10.0f, 10.0f, 10.0f, 10.0f},
      {0.0f, 0.0f, -0.0f, -0.0f},
      {52.5f, 13.4f, 40.7f, -74.0f},
      {40.7f, -74.0f, 52.5f, 13.4f},
      {0.0f, 0.0f, 0.0f, 1.0f},
      {48.1f, 11.6f, 48.2f, 11.6f},
      {0.0f, 0.0f, 0.0f, 90.0f},
      {0.0f, 0.0f, 90.0f, 0.0f},
      {0.0f, 0.0f, 0.0f, 180.0f},
      {90.0f, 0.0f, -90.0f, 0.0f},
      {10.0f, 20.0f, -10.0f, -160.0f},
      {0.0f, 0.0f, 0.0f, 0.009f},
      {10.0f, 10.0f, 10.0f, 10.0001f},
      {50.0f, 10.0f, 50.0f, 370.0f},
      {90.0f, 0.0f, 90.0f, 45.0f},
      {0.0f, -180.0f, 0.0f, 180.0f},
      {1e30f, 0.0f, -1e30f, 5.0f},
      // NaN and infinities: the floating-point error, or the guard.
      {QuietNan(), 0.0f, 0.0f, 1.0f},
      {SignallingNan(), 0.0f, 0.0f, 1.0f},
      {QuietNan(), 1.0f, QuietNan(), 1.0f},
      {kInf, 0.0f, 0.0f, 1.0f},
      {0.0f, kInf, 0.0f, kInf},
      {0.0f, kInf, 0.0f, 1.0f},
      {0.0f, 0.0f, 0.0f, -kInf},
  };
  std::set<RtError> seen;
  for (const Row& r : rows) {
    const Outcome<float> want = calc::DistanceFrom(r.alat, r.alon, r.blat, r.blon);
    seen.insert(want.error);
    ExpectNumber(
        ("DistanceFrom " + Where(r.alat, r.alon, r.blat, r.blon)).c_str(),
        [&](float* out) { return object()->DistanceFrom(r.alat, r.alon, r.blat, r.blon, out); },
        want);
  }
  EXPECT_TRUE(seen.count(RtError::kFloatingPoint));
  EXPECT_TRUE(seen.count(RtError::kNone));
}

TEST_F(Vtable, ArcCosAndDistanseMatchTheCalculations) {
  const std::vector<float> xs = {
      1.0f,        -1.0f,        0.0f,       -0.0f,           0.5f,      0.70710677f,
      0.99999994f, -0.99999994f, 2.0f,       1.0000001f,      -2.0f,     -1e30f,
      kInf,        -kInf,        QuietNan(), SignallingNan(), kDenormal, kMaxFloat};
  for (const float x : xs) {
    ExpectNumber(("ArcCos " + Where(x, x)).c_str(),
                 [&](float* out) { return object()->ArcCos(x, out); }, calc::ArcCos(x));
    ExpectNumber(("Distanse " + Where(x, -x)).c_str(),
                 [&](float* out) { return object()->Distanse(x, -x, out); }, calc::Distanse(x, -x));
  }
}

struct ErrorObject {
  HRESULT got = E_FAIL;
  std::wstring source;
  std::wstring description;
  GUID guid = GUID_NULL;
};

ErrorObject TakeErrorObject() {
  ErrorObject error;
  ComPtr<IErrorInfo> info;
  error.got = GetErrorInfo(0, info.Out());
  if (error.got != S_OK || !info) return error;
  Bstr source;
  Bstr description;
  info->GetSource(source.Out());
  info->GetDescription(description.Out());
  info->GetGUID(&error.guid);
  if (source.get() != nullptr) error.source = source.get();
  if (description.get() != nullptr) error.description = description.get();
  return error;
}

// DistanceFrom calls ArcCos through the object's own vtable: a client that
// puts its own ArcCos into the object's table (here by giving the object a
// copy of its vtable with slot 7 after IDispatch replaced) is called.
struct FakeArcCos {
  static inline HRESULT status = S_OK;
  static inline float value = 0.0f;
  static inline float seen_x = 0.0f;
  static inline int calls = 0;
  static inline ULONG refs_during_call = 0;
  static HRESULT STDMETHODCALLTYPE Call(_CalcDistClass* self, float X, float* Result) {
    ++calls;
    refs_during_call = RefCount(self);
    seen_x = X;
    *Result = value;
    return status;
  }
};

// The same callee for the calculation.
class FakeCallee final : public calc::ArcCosCallee {
 public:
  RtError Call(float X, float& A) override {
    FakeArcCos::seen_x = X;
    A = FakeArcCos::value;
    if (SUCCEEDED(FakeArcCos::status)) return RtError::kNone;
    return FakeArcCos::status == kOverflow ? RtError::kOverflow : RtError::kInvalidArgument;
  }
};

TEST_F(Vtable, DistanceFromCallsArcCosThroughTheVtable) {
  struct Row {
    HRESULT status;
    float value;
    const wchar_t* description;  // of the error object when DistanceFrom fails
  };
  const std::vector<Row> rows = {
      {S_OK, 1.0f, nullptr},                // success: scaled by the half great circle
      {S_FALSE, 0.5f, nullptr},             // a status of zero or above is success
      {kOverflow, 2.0f, L"Overflow"},       // failure: ends DistanceFrom with 0
      {E_FAIL, 2.0f, L"Automation error"},  // any failure, with its own HRESULT
      {kFloatingPoint, 1.0f, L"Floating-point error"},
      // The scaled value overflows: the floating-point error, with the
      // scaled value in the result.
      {S_OK, kMaxFloat, L"Floating-point error"},
      {S_OK, SignallingNan(), L"Floating-point error"},  // invalid in the scaling
  };
  for (const Row& row : rows) {
    FakeArcCos::status = row.status;
    FakeArcCos::value = row.value;
    FakeArcCos::calls = 0;
    FakeCallee callee;
    const Outcome<float> want = calc::DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, callee);
    const float want_x = FakeArcCos::seen_x;
    FakeArcCos::seen_x = 0.0f;

    float got = FloatFromBits(kUntouched);
    HRESULT hr = E_UNEXPECTED;
    const ULONG refs_before = RefCount(object());
    {
      VtableHook patch(object(), kArcCosSlot, &FakeArcCos::Call);
      hr = object()->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, &got);
    }
    const HRESULT want_hr = FAILED(row.status) ? row.status : ExpectedStatus(want.error);
    EXPECT_EQ(FakeArcCos::calls, 1) << Hr{row.status}.value;
    // DistanceFrom holds one reference on its object while it runs.
    EXPECT_EQ(FakeArcCos::refs_during_call, refs_before + 1);
    EXPECT_EQ(RefCount(object()), refs_before);
    EXPECT_EQ(Bits(FakeArcCos::seen_x), Bits(want_x));
    EXPECT_EQ(Hr{hr}, Hr{want_hr}) << "callee status " << row.status;
    EXPECT_EQ(Bits(got), Bits(want.value))
        << "callee status " << row.status << " value " << row.value;
    const ErrorObject error = TakeErrorObject();
    if (row.description == nullptr) {
      EXPECT_EQ(Hr{hr}, Hr{S_OK});
      continue;
    }
    EXPECT_EQ(error.source, L"Tevaro.CalcDistClass");
    EXPECT_EQ(error.description, row.description);
  }
  // The guard of identical points does not call it.
  FakeArcCos::calls = 0;
  float got = 1.0f;
  {
    VtableHook patch(object(), kArcCosSlot, &FakeArcCos::Call);
    EXPECT_EQ(Hr{object()->DistanceFrom(1.0f, 2.0f, 1.0f, 2.0f, &got)}, Hr{S_OK});
  }
  EXPECT_EQ(FakeArcCos::calls, 0);
  EXPECT_EQ(Bits(got), Bits(0.0f));
}

// ---------------------------------------------------------------------------
// The method frame: null out-pointers, error objects

TEST_F(Vtable, NullOutPointerIsRefused) {
  const Bstr grid(L"JO62QM");
  const std::vector<std::pair<const char*, HRESULT>> calls = {
      {"sLocator", object()->sLocator(52.5f, 13.4f, nullptr)},
      {"Azimut", object()->Azimut(52.5f, 13.4f, 40.7f, -74.0f, nullptr)},
      {"Distanse", object()->Distanse(1.0f, 2.0f, nullptr)},
      {"LatFromGrid", object()->LatFromGrid(grid.get(), nullptr)},
      {"LongFromGrid", object()->LongFromGrid(nullptr, nullptr)},
      {"DistanceFrom", object()->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, nullptr)},
      {"ArcCos", object()->ArcCos(0.5f, nullptr)},
      {"GridFromLatLong", object()->GridFromLatLong(1e30f, 0.0f, nullptr)},
  };
  for (const auto& [name, hr] : calls) EXPECT_EQ(Hr{hr}, Hr{E_POINTER}) << name;
}

TEST_F(Vtable, FailuresSetTheErrorObject) {
  struct Row {
    const char* what;
    HRESULT status;
    const wchar_t* description;
    std::function<HRESULT()> call;
  };
  float value = 0.0f;
  BSTR text = nullptr;
  const std::vector<Row> rows = {
      {"overflow", kOverflow, L"Overflow", [&] { return object()->sLocator(1e30f, 0.0f, &text); }},
      {"invalid argument", kInvalidArgument, L"Invalid procedure call or argument",
       [&] { return object()->GridFromLatLong(0.0f, 4000.0f, &text); }},
      {"floating point", kFloatingPoint, L"Floating-point error",
       [&] { return object()->Azimut(52.5f, 13.4f, kDenormal, 20.0f, &value); }},
      {"floating point in DistanceFrom", kFloatingPoint, L"Floating-point error",
       [&] { return object()->DistanceFrom(QuietNan(), 0.0f, 0.0f, 1.0f, &value); }},
  };
  for (const Row& row : rows) {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(Hr{row.call()}, Hr{row.status}) << row.what;
    EXPECT_EQ(text, nullptr) << row.what;
    const ErrorObject error = TakeErrorObject();
    EXPECT_EQ(Hr{error.got}, Hr{S_OK}) << row.what;
    EXPECT_EQ(error.source, L"Tevaro.CalcDistClass") << row.what;
    EXPECT_EQ(error.description, row.description) << row.what;
    EXPECT_TRUE(IsEqualGUID(error.guid, IID__CalcDistClass)) << row.what;
  }
}

TEST_F(Vtable, NullOutPointerLeavesNoEarlierErrorObject) {
  BSTR text = nullptr;
  ASSERT_EQ(Hr{object()->sLocator(1e30f, 0.0f, &text)}, Hr{kOverflow});
  ASSERT_EQ(Hr{object()->ArcCos(0.5f, nullptr)}, Hr{E_POINTER});
  EXPECT_EQ(Hr{TakeErrorObject().got}, Hr{S_FALSE});
}

TEST_F(Vtable, SupportsErrorInfoForItsInterface) {
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(Hr{object()->QueryInterface(IID_ISupportErrorInfo, support.OutVoid())}, Hr{S_OK});
  EXPECT_EQ(Hr{support->InterfaceSupportsErrorInfo(IID__CalcDistClass)}, Hr{S_OK});
  EXPECT_EQ(Hr{support->InterfaceSupportsErrorInfo(IID_IClassFactory)}, Hr{S_FALSE});
}

TEST_F(Vtable, MethodsLeaveTheReferenceCountAsTheyFoundIt) {
  const ULONG before = RefCount(object());
  float value = 0.0f;
  BSTR text = nullptr;
  object()->ArcCos(0.5f, &value);
  object()->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, &value);
  object()->sLocator(1e30f, 0.0f, &text);
  object()->GridFromLatLong(52.5f, 13.4f, &text);
  SysFreeString(text);
  EXPECT_EQ(RefCount(object()), before);
}

}  // namespace
}  // namespace pelmora::test
