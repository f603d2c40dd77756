// Pelmora.dll by name through IDispatch, as script clients call it: name
// lookup, argument coercion, the DISP_E_* answers for calls that do not fit,
// and DISP_E_EXCEPTION with EXCEPINFO for a failing method.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>
#include <variant>
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

// ---------------------------------------------------------------------------
// Arguments

// The arguments of one call, in the order a client writes them; DISPPARAMS
// holds them last first.
class Args {
 public:
  Args(std::initializer_list<VARIANT> args) : Args(std::vector<VARIANT>(args)) {}
  // Takes over the VARIANTs of `args`.
  explicit Args(std::vector<VARIANT> args) : reversed_(std::move(args)) {
    for (std::size_t i = 0; i < reversed_.size() / 2; ++i) {
      std::swap(reversed_[i], reversed_[reversed_.size() - 1 - i]);
    }
    params_.rgvarg = reversed_.empty() ? nullptr : reversed_.data();
    params_.cArgs = static_cast<UINT>(reversed_.size());
  }
  Args(const Args&) = delete;
  Args& operator=(const Args&) = delete;
  ~Args() {
    for (VARIANT& v : reversed_) VariantClear(&v);
  }
  DISPPARAMS* params() { return &params_; }

 private:
  std::vector<VARIANT> reversed_;
  DISPPARAMS params_ = {nullptr, nullptr, 0, 0};
};

struct Call {
  HRESULT hr = E_UNEXPECTED;
  VARTYPE type = VT_EMPTY;
  float number = 0.0f;
  Text text;
  ExcepInfo exception;
  UINT bad_argument = 0;
};

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = Server::Get().Create();
    ASSERT_TRUE(object_);
    ASSERT_EQ(Hr{object_->QueryInterface(IID_IDispatch, dispatch_.OutVoid())}, Hr{S_OK});
  }

  IDispatch* dispatch() const { return dispatch_.get(); }
  _CalcDistClass* object() const { return object_.get(); }

  DISPID IdOf(const wchar_t* name) const {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(Hr{dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)}, Hr{S_OK})
        << "name";
    return id;
  }

  // Invokes `name` and reads the result variant.
  void Invoke(Call& call, const wchar_t* name, Args& args, WORD flags = DISPATCH_METHOD) const {
    InvokeId(call, IdOf(name), args, flags);
  }

  void InvokeId(Call& call, DISPID id, Args& args, WORD flags = DISPATCH_METHOD) const {
    Variant result;
    call.hr = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, args.params(), &result.v,
                                &call.exception, &call.bad_argument);
    call.type = V_VT(&result.v);
    if (call.type == VT_R4) call.number = V_R4(&result.v);
    if (call.type == VT_BSTR && V_BSTR(&result.v) != nullptr) {
      call.text = Text(std::u16string(reinterpret_cast<const char16_t*>(V_BSTR(&result.v)),
                                      SysStringLen(V_BSTR(&result.v))));
    }
  }

 private:
  ComPtr<_CalcDistClass> object_;
  ComPtr<IDispatch> dispatch_;
};

void ExpectNumber(const Call& call, const Outcome<float>& want, const char* what) {
  ASSERT_TRUE(want.ok()) << what;
  EXPECT_EQ(Hr{call.hr}, Hr{S_OK}) << what;
  EXPECT_EQ(call.type, VT_R4) << what;
  EXPECT_EQ(Bits(call.number), Bits(want.value)) << what;
}

void ExpectText(const Call& call, const Outcome<Text>& want, const char* what) {
  ASSERT_TRUE(want.ok()) << what;
  EXPECT_EQ(Hr{call.hr}, Hr{S_OK}) << what;
  EXPECT_EQ(call.type, VT_BSTR) << what;
  EXPECT_EQ(call.text, want.value) << what;
}

// ---------------------------------------------------------------------------
// Names

TEST_F(Dispatch, NamesHaveTheirFixedIdentifiers) {
  const wchar_t* const names[] = {L"sLocator",    L"Azimut",         L"Distanse",
                                  L"LatFromGrid", L"LongFromGrid",   L"DistanceFrom",
                                  L"ArcCos",      L"GridFromLatLong"};
  const wchar_t* const other_cases[] = {L"SLOCATOR",    L"azimut",         L"DISTANSE",
                                        L"latfromgrid", L"LONGFROMGRID",   L"dIsTaNcEfRoM",
                                        L"arccos",      L"GRIDfromLATlong"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(IdOf(names[i]), 0x60030000 + i) << i;
    EXPECT_EQ(IdOf(other_cases[i]), 0x60030000 + i) << i;
  }
}

TEST_F(Dispatch, ParameterNamesHaveTheirPositions) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"DistanceFrom"), const_cast<LPOLESTR>(L"blon"),
                      const_cast<LPOLESTR>(L"ALAT"), const_cast<LPOLESTR>(L"blat")};
  DISPID ids[4] = {};
  ASSERT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, names, 4, LOCALE_USER_DEFAULT, ids)}, Hr{S_OK});
  EXPECT_EQ(ids[0], 0x60030005);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 0);
  EXPECT_EQ(ids[3], 2);
}

TEST_F(Dispatch, UnknownNamesAndBadLookups) {
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Distance")};
  DISPID id = 0;
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id)},
            Hr{DISP_E_UNKNOWNNAME});
  EXPECT_EQ(id, DISPID_UNKNOWN);

  LPOLESTR known[] = {const_cast<LPOLESTR>(L"ArcCos")};
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID__CalcDistClass, known, 1, 0, &id)},
            Hr{DISP_E_UNKNOWNINTERFACE});
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id)}, Hr{E_POINTER});
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, known, 1, 0, nullptr)}, Hr{E_POINTER});
  LPOLESTR null_name[] = {nullptr};
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, null_name, 1, 0, &id)}, Hr{E_POINTER});
  EXPECT_EQ(Hr{dispatch()->GetIDsOfNames(IID_NULL, known, 0, 0, &id)}, Hr{E_INVALIDARG});
}

// ---------------------------------------------------------------------------
// Every method by name, against the calculations

TEST_F(Dispatch, EveryMethodByName) {
  // Arguments of several types, coerced to float32 on the way in (doubles
  // rounded, a text read as a number).
  struct Row {
    const wchar_t* name;
    std::vector<VARIANT> args;  // as a client writes them; each row's are used once
    std::variant<Outcome<float>, Outcome<Text>> want;
  };
  calc::BearingFields fields;
  Row rows[] = {
      {L"sLocator", {R8(52.5), R8(13.4)}, calc::sLocator(52.5f, 13.4f)},
      {L"GridFromLatLong", {R4(52.5f), R4(13.4f)}, calc::GridFromLatLong(52.5f, 13.4f)},
      {L"Azimut",
       {R8(52.5), R8(13.4), R8(40.7), R8(-74.0)},
       calc::Azimut(fields, 52.5f, 13.4f, 40.7f, -74.0f)},
      {L"Distanse", {I2(3), I4(-4)}, calc::Distanse(3.0f, -4.0f)},
      {L"LatFromGrid", {Str(L"JO62qm")}, calc::LatFromGrid(T(u"JO62qm"))},
      {L"LongFromGrid", {Str(L"JO62qm")}, calc::LongFromGrid(T(u"JO62qm"))},
      {L"DistanceFrom",
       {R8(52.5), R4(13.4f), I4(40), Str(L"-74")},
       calc::DistanceFrom(52.5f, 13.4f, 40.0f, -74.0f)},
      {L"ArcCos", {R8(0.5)}, calc::ArcCos(0.5f)},
  };
  for (Row& row : rows) {
    const std::string what = Narrow(row.name);
    Call call;
    Args args(std::move(row.args));
    Invoke(call, row.name, args);
    if (const auto* number = std::get_if<Outcome<float>>(&row.want)) {
      ExpectNumber(call, *number, what.c_str());
    } else {
      ExpectText(call, std::get<Outcome<Text>>(row.want), what.c_str());
    }
  }
}

TEST_F(Dispatch, ScriptHostFlagsAndNoResultVariant) {
  // VBScript asks for a method or a property get.
  Call call;
  Args args{R8(0.0)};
  Invoke(call, L"ArcCos", args, DISPATCH_METHOD | DISPATCH_PROPERTYGET);
  ExpectNumber(call, calc::ArcCos(0.0f), "ArcCos");

  // A caller that does not want the result gets none, for numbers and texts.
  Args numbers{R8(52.5), R8(13.4)};
  EXPECT_EQ(Hr{dispatch()->Invoke(IdOf(L"GridFromLatLong"), IID_NULL, 0, DISPATCH_METHOD,
                                  numbers.params(), nullptr, nullptr, nullptr)},
            Hr{S_OK});
}

// ---------------------------------------------------------------------------
// Coercion of arguments, observed where ArcCos receives its float

struct ArcCosRecorder {
  static inline float x = 0.0f;
  static inline int calls = 0;
  static HRESULT STDMETHODCALLTYPE Call(_CalcDistClass* /*self*/, float X, float* Result) {
    ++calls;
    x = X;
    *Result = X;
    return S_OK;
  }
};

struct Coercion {
  const char* what;
  VARIANT arg;
  HRESULT hr;          // of Invoke
  std::uint32_t bits;  // of the float ArcCos receives, when it is called
};

TEST_F(Dispatch, ArgumentsAreCoercedToFloat) {
  float from_text = 0.0f;
  ASSERT_EQ(Hr{VarR4FromStr(const_cast<LPOLESTR>(L"0.1"), LOCALE_USER_DEFAULT, 0, &from_text)},
            Hr{S_OK});
  VARIANT by_reference;
  VariantInit(&by_reference);
  double referenced = 0.1;
  V_VT(&by_reference) = VT_BYREF | VT_R8;
  V_R8REF(&by_reference) = &referenced;
  VARIANT true_value = OfType(VT_BOOL);
  V_BOOL(&true_value) = VARIANT_TRUE;
  VARIANT currency = OfType(VT_CY);
  V_CY(&currency).int64 = 15000;  // 1.5

  const std::vector<Coercion> rows = {
      // Doubles: to the nearest float32, ties to even.
      {"double 0.1", R8(0.1), S_OK, 0x3DCCCCCDu},
      {"double 1 + 2^-24 (tie, to even)", R8(1.0 + std::ldexp(1.0, -24)), S_OK, 0x3F800000u},
      {"double 1 + 3 * 2^-24 (tie, to even)", R8(1.0 + 3 * std::ldexp(1.0, -24)), S_OK,
       0x3F800002u},
      {"double -0", R8(-0.0), S_OK, 0x80000000u},
      {"double largest float", R8(static_cast<double>(std::numeric_limits<float>::max())), S_OK,
       0x7F7FFFFFu},
      {"double smallest denormal", R8(std::ldexp(1.0, -149)), S_OK, 0x00000001u},
      {"double below half the smallest denormal", R8(std::ldexp(1.0, -151)), S_OK, 0x00000000u},
      {"double 1e39", R8(1e39), DISP_E_OVERFLOW, 0},
      {"double -1e39", R8(-1e39), DISP_E_OVERFLOW, 0},
      {"double infinity", R8(std::numeric_limits<double>::infinity()), DISP_E_OVERFLOW, 0},
      // Floats pass unchanged, any bit pattern.
      {"float 0.1", R4(0.1f), S_OK, 0x3DCCCCCDu},
      {"float infinity", R4(std::numeric_limits<float>::infinity()), S_OK, 0x7F800000u},
      {"float quiet NaN", R4(QuietNan()), S_OK, 0x7FC00000u},
      {"float denormal", R4(FloatFromBits(0x00000001u)), S_OK, 0x00000001u},
      // Integers, exact or to the nearest float32.
      {"short -7", I2(-7), S_OK, Bits(-7.0f)},
      {"long 16777217", I4(16777217), S_OK, Bits(16777216.0f)},
      {"long 2147483647", I4(2147483647), S_OK, Bits(2147483648.0f)},
      {"boolean true", true_value, S_OK, Bits(-1.0f)},
      {"currency 1.5", currency, S_OK, Bits(1.5f)},
      {"reference to a double", by_reference, S_OK, 0x3DCCCCCDu},
      {"empty", OfType(VT_EMPTY), S_OK, 0x00000000u},
      // Texts as Automation converts them in the user's locale.
      {"text 12", Str(L"12"), S_OK, Bits(12.0f)},
      {"text -1e3", Str(L"-1e3"), S_OK, Bits(-1000.0f)},
      {"text 0.1", Str(L"0.1"), S_OK, Bits(from_text)},
      {"text 1e39", Str(L"1e39"), DISP_E_OVERFLOW, 0},
      {"text abc", Str(L"abc"), DISP_E_TYPEMISMATCH, 0},
      {"empty text", Str(L""), DISP_E_TYPEMISMATCH, 0},
      {"null", OfType(VT_NULL), DISP_E_TYPEMISMATCH, 0},
  };
  for (const Coercion& row : rows) {
    Call call;
    Args args{row.arg};
    ArcCosRecorder::calls = 0;
    {
      VtableHook hook(object(), kArcCosSlot, &ArcCosRecorder::Call);
      Invoke(call, L"ArcCos", args);
    }
    EXPECT_EQ(Hr{call.hr}, Hr{row.hr}) << row.what;
    EXPECT_EQ(ArcCosRecorder::calls, row.hr == S_OK ? 1 : 0) << row.what;
    if (row.hr != S_OK) continue;
    EXPECT_EQ(Bits(ArcCosRecorder::x), row.bits) << row.what;
    EXPECT_EQ(call.type, VT_R4) << row.what;
    EXPECT_EQ(Bits(call.number), row.bits) << row.what;
  }
}

TEST_F(Dispatch, ArgumentsAreCoercedToText) {
  struct Row {
    const char* what;
    VARIANT arg;
    std::u16string text;  // what LatFromGrid then decodes
  };
  const std::vector<Row> rows = {
      {"long", I4(1234), u"1234"},      {"short", I2(-5), u"-5"},
      {"text", Str(L"jo62"), u"jo62"},  {"null BSTR", Str(nullptr), u""},
      {"empty", OfType(VT_EMPTY), u""},
  };
  for (const Row& row : rows) {
    Call call;
    Args args{row.arg};
    Invoke(call, L"LatFromGrid", args);
    ExpectNumber(call, calc::LatFromGrid(Text(row.text)), row.what);
  }
  Call call;
  Args args{OfType(VT_NULL)};
  Invoke(call, L"LongFromGrid", args);
  EXPECT_EQ(Hr{call.hr}, Hr{DISP_E_TYPEMISMATCH});
}

// ---------------------------------------------------------------------------
// Calls that do not fit

TEST_F(Dispatch, WrongArgumentCounts) {
  struct Row {
    const wchar_t* name;
    int count;
  };
  const std::vector<Row> rows = {
      {L"ArcCos", 0},       {L"ArcCos", 2},   {L"sLocator", 1},
      {L"Azimut", 3},       {L"Azimut", 5},   {L"LatFromGrid", 0},
      {L"DistanceFrom", 2}, {L"Distanse", 1}, {L"GridFromLatLong", 3},
  };
  for (const Row& row : rows) {
    std::vector<VARIANT> values(static_cast<std::size_t>(row.count), R8(1.0));
    DISPPARAMS params = {values.empty() ? nullptr : values.data(), nullptr,
                         static_cast<UINT>(values.size()), 0};
    Variant result;
    const HRESULT hr = dispatch()->Invoke(IdOf(row.name), IID_NULL, 0, DISPATCH_METHOD, &params,
                                          &result.v, nullptr, nullptr);
    EXPECT_EQ(Hr{hr}, Hr{DISP_E_BADPARAMCOUNT}) << row.count;
    EXPECT_EQ(V_VT(&result.v), VT_EMPTY);
  }
}

TEST_F(Dispatch, TypeMismatchInAnyPosition) {
  // The method does not run when any one argument does not convert.
  for (int bad = 0; bad < 4; ++bad) {
    std::vector<VARIANT> values;
    for (int i = 3; i >= 0; --i) values.push_back(i == bad ? Str(L"north") : R8(1.0));
    DISPPARAMS params = {values.data(), nullptr, 4, 0};
    Variant result;
    EXPECT_EQ(Hr{dispatch()->Invoke(IdOf(L"DistanceFrom"), IID_NULL, 0, DISPATCH_METHOD, &params,
                                    &result.v, nullptr, nullptr)},
              Hr{DISP_E_TYPEMISMATCH})
        << bad;
    EXPECT_EQ(V_VT(&result.v), VT_EMPTY);
    for (VARIANT& v : values) VariantClear(&v);
  }
}

TEST_F(Dispatch, MembersThatDoNotExist) {
  Args one{R8(0.5)};
  const DISPID ids[] = {0x60030008, 0x5FFFFFFF, DISPID_VALUE, DISPID_NEWENUM, -12345};
  for (const DISPID id : ids) {
    Call call;
    InvokeId(call, id, one);
    EXPECT_EQ(Hr{call.hr}, Hr{DISP_E_MEMBERNOTFOUND}) << id;
  }
  // A method is no property to assign to.
  VARIANT value = R8(0.5);
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put = {&value, &named, 1, 1};
  EXPECT_EQ(Hr{dispatch()->Invoke(IdOf(L"ArcCos"), IID_NULL, 0, DISPATCH_PROPERTYPUT, &put, nullptr,
                                  nullptr, nullptr)},
            Hr{DISP_E_MEMBERNOTFOUND});
}

TEST_F(Dispatch, MalformedInvokeArguments) {
  Variant result;
  const DISPID id = IdOf(L"ArcCos");
  EXPECT_EQ(Hr{dispatch()->Invoke(id, IID__CalcDistClass, 0, DISPATCH_METHOD, nullptr, &result.v,
                                  nullptr, nullptr)},
            Hr{DISP_E_UNKNOWNINTERFACE});
  EXPECT_EQ(Hr{dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, nullptr, &result.v, nullptr,
                                  nullptr)},
            Hr{E_INVALIDARG});
  DISPPARAMS missing_values = {nullptr, nullptr, 1, 0};
  EXPECT_EQ(Hr{dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &missing_values, &result.v,
                                  nullptr, nullptr)},
            Hr{E_INVALIDARG});
  VARIANT value = R8(0.5);
  DISPPARAMS missing_names = {&value, nullptr, 1, 1};
  EXPECT_EQ(Hr{dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &missing_names, &result.v,
                                  nullptr, nullptr)},
            Hr{E_INVALIDARG});
  DISPID names[2] = {0, 1};
  DISPPARAMS more_names = {&value, names, 1, 2};
  EXPECT_EQ(Hr{dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &more_names, &result.v, nullptr,
                                  nullptr)},
            Hr{E_INVALIDARG});
}

// ---------------------------------------------------------------------------
// Failing methods: DISP_E_EXCEPTION with EXCEPINFO

TEST_F(Dispatch, FailuresBecomeExceptions) {
  struct Row {
    const char* what;
    const wchar_t* name;
    std::vector<double> args;
    HRESULT scode;
    const wchar_t* description;
  };
  const std::vector<Row> rows = {
      {"overflow", L"sLocator", {1e30, 0.0}, kOverflow, L"Overflow"},
      {"invalid argument",
       L"GridFromLatLong",
       {0.0, 4000.0},
       kInvalidArgument,
       L"Invalid procedure call or argument"},
      {"floating point",
       L"Azimut",
       {52.5, 180.0, 40.0, -180.000137},
       kFloatingPoint,
       L"Floating-point error"},
  };
  for (const Row& row : rows) {
    std::vector<VARIANT> values;
    for (auto it = row.args.rbegin(); it != row.args.rend(); ++it) values.push_back(R8(*it));
    DISPPARAMS params = {values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    Variant result;
    ExcepInfo exception;
    const HRESULT hr = dispatch()->Invoke(IdOf(row.name), IID_NULL, 0, DISPATCH_METHOD, &params,
                                          &result.v, &exception, nullptr);
    EXPECT_EQ(Hr{hr}, Hr{DISP_E_EXCEPTION}) << row.what;
    EXPECT_EQ(Hr{exception.scode}, Hr{row.scode}) << row.what;
    EXPECT_EQ(exception.wCode, 0) << row.what;
    ASSERT_NE(exception.bstrSource, nullptr) << row.what;
    ASSERT_NE(exception.bstrDescription, nullptr) << row.what;
    EXPECT_STREQ(exception.bstrSource, L"Tevaro.CalcDistClass") << row.what;
    EXPECT_STREQ(exception.bstrDescription, row.description) << row.what;

    // Without EXCEPINFO the failure is still reported.
    EXPECT_EQ(Hr{dispatch()->Invoke(IdOf(row.name), IID_NULL, 0, DISPATCH_METHOD, &params, nullptr,
                                    nullptr, nullptr)},
              Hr{DISP_E_EXCEPTION})
        << row.what;
  }
}

TEST_F(Dispatch, NanAndInfinityByName) {
  // NaN goes through as a double; infinity only as a float.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  {
    Call call;
    Args args{R8(nan), R8(0.0), R8(0.0), R8(1.0)};
    Invoke(call, L"DistanceFrom", args);
    EXPECT_EQ(Hr{call.hr}, Hr{DISP_E_EXCEPTION});
    EXPECT_EQ(Hr{call.exception.scode}, Hr{kFloatingPoint});
  }
  {
    Call call;
    Args args{R4(inf), R4(0.0f)};
    Invoke(call, L"sLocator", args);
    EXPECT_EQ(Hr{call.hr}, Hr{DISP_E_EXCEPTION});
    EXPECT_EQ(Hr{call.exception.scode}, Hr{kOverflow});
  }
  {
    Call call;
    Args args{R4(inf)};
    Invoke(call, L"ArcCos", args);
    ExpectNumber(call, calc::ArcCos(inf), "ArcCos(inf)");
  }
}

// ---------------------------------------------------------------------------
// Type information of the object

// Invoke answers a call of floats and texts without the type information;
// passed by reference, the same arguments go through it. Both answers agree
// for every method, on ordinary and failing inputs, NaN and infinity
// included: status, result variant, and EXCEPINFO.
TEST_F(Dispatch, DirectAnswersAgreeWithTheTypeInformation) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<std::vector<float>> numbers = {
      {52.5f, 13.4f, 40.7f, -74.0f}, {0.0f, 0.0f, 0.0f, 0.0f},
      {0.0f, 4000.0f, 1.0f, 1.0f},   {52.5f, 180.0f, 40.0f, -180.000137f},
      {2.0f, -1.0f, 89.9f, 179.9f},  {QuietNan(), 1.0f, 2.0f, 3.0f},
      {inf, -inf, 1.0f, 0.5f},       {-90.0f, -180.0f, 90.0f, 180.0f}};
  const std::vector<const wchar_t*> grids = {L"JO62qm", L"", L"  FN20  ", L"\u4E00O62", nullptr};
  const struct {
    const wchar_t* name;
    int floats;  // 0: one text
  } methods[] = {{L"sLocator", 2},    {L"Azimut", 4},         {L"Distanse", 2},
                 {L"LatFromGrid", 0}, {L"LongFromGrid", 0},   {L"DistanceFrom", 4},
                 {L"ArcCos", 1},      {L"GridFromLatLong", 2}};
  const auto invoke = [&](DISPID id, std::vector<VARIANT>& reversed, Variant& result,
                          ExcepInfo& exception) {
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    return dispatch()->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, &exception,
                              nullptr);
  };
  const auto same = [](const char* what, HRESULT hr_a, const Variant& a, const ExcepInfo& ea,
                       HRESULT hr_b, const Variant& b, const ExcepInfo& eb) {
    EXPECT_EQ(Hr{hr_a}, Hr{hr_b}) << what;
    EXPECT_EQ(V_VT(&a.v), V_VT(&b.v)) << what;
    if (V_VT(&a.v) == VT_R4 && V_VT(&b.v) == VT_R4) {
      EXPECT_EQ(Bits(V_R4(&a.v)), Bits(V_R4(&b.v))) << what;
    }
    if (V_VT(&a.v) == VT_BSTR && V_VT(&b.v) == VT_BSTR) {
      EXPECT_EQ(VarBstrCmp(V_BSTR(&a.v), V_BSTR(&b.v), 0, 0), static_cast<HRESULT>(VARCMP_EQ))
          << what;
    }
    EXPECT_EQ(Hr{ea.scode}, Hr{eb.scode}) << what;
    EXPECT_EQ(ea.wCode, eb.wCode) << what;
    const auto text = [](BSTR s) {
      return s == nullptr ? std::wstring(L"<null>") : std::wstring(s);
    };
    EXPECT_EQ(text(ea.bstrSource), text(eb.bstrSource)) << what;
    EXPECT_EQ(text(ea.bstrDescription), text(eb.bstrDescription)) << what;
  };
  for (const auto& m : methods) {
    const DISPID id = IdOf(m.name);
    std::vector<std::vector<VARIANT>> direct_rows;
    std::vector<std::vector<VARIANT>> by_reference_rows;
    std::vector<float> floats_store(numbers.size() * 4);
    std::vector<BSTR> grid_store;
    if (m.floats > 0) {
      for (std::size_t r = 0; r < numbers.size(); ++r) {
        std::vector<VARIANT> direct;
        std::vector<VARIANT> by_reference;
        for (int i = m.floats - 1; i >= 0; --i) {
          float& x = floats_store[r * 4 + static_cast<std::size_t>(i)];
          x = numbers[r][static_cast<std::size_t>(i)];
          direct.push_back(R4(x));
          VARIANT ref = OfType(VT_BYREF | VT_R4);
          V_R4REF(&ref) = &x;
          by_reference.push_back(ref);
        }
        direct_rows.push_back(direct);
        by_reference_rows.push_back(by_reference);
      }
    } else {
      grid_store.reserve(grids.size());
      for (const wchar_t* g : grids) {
        grid_store.push_back(g == nullptr ? nullptr : SysAllocString(g));
        VARIANT direct = OfType(VT_BSTR);
        V_BSTR(&direct) = grid_store.back();
        VARIANT ref = OfType(VT_BYREF | VT_BSTR);
        V_BSTRREF(&ref) = &grid_store.back();
        direct_rows.push_back({direct});
        by_reference_rows.push_back({ref});
      }
    }
    for (std::size_t r = 0; r < direct_rows.size(); ++r) {
      Variant a;
      Variant b;
      ExcepInfo ea;
      ExcepInfo eb;
      const HRESULT hr_a = invoke(id, direct_rows[r], a, ea);
      const HRESULT hr_b = invoke(id, by_reference_rows[r], b, eb);
      const std::string what = Narrow(m.name) + " row " + std::to_string(r);
      same(what.c_str(), hr_a, a, ea, hr_b, b, eb);
    }
    for (BSTR g : grid_store) SysFreeString(g);
  }
}

TEST_F(Dispatch, TypeInformationOfTheObject) {
  UINT count = 0;
  ASSERT_EQ(Hr{dispatch()->GetTypeInfoCount(&count)}, Hr{S_OK});
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(Hr{dispatch()->GetTypeInfoCount(nullptr)}, Hr{E_POINTER});

  ComPtr<ITypeInfo> info;
  EXPECT_EQ(Hr{dispatch()->GetTypeInfo(1, 0, info.Out())}, Hr{DISP_E_BADINDEX});
  EXPECT_EQ(info.get(), nullptr);
  EXPECT_EQ(Hr{dispatch()->GetTypeInfo(0, 0, nullptr)}, Hr{E_POINTER});
  ASSERT_EQ(Hr{dispatch()->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Out())}, Hr{S_OK});
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(Hr{info->GetTypeAttr(&attributes)}, Hr{S_OK});
  EXPECT_TRUE(IsEqualGUID(attributes->guid, IID__CalcDistClass));
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
  info->ReleaseTypeAttr(attributes);
  Bstr name;
  ASSERT_EQ(Hr{info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr)},
            Hr{S_OK});
  EXPECT_STREQ(name.get(), L"_CalcDistClass");
}

}  // namespace
}  // namespace pelmora::test
