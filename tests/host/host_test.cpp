// Pelmora.dll in hostile hosts. Each case runs in a child process of this
// program, so that a hardware exception fails that case and the run goes on:
//   host_test.exe --child ENVIRONMENT CLASS OUTPUT
// The child loads the DLL beside the program, sets the host's floating-point
// environment, makes every call of the input class and writes one line per
// call: the call, its status and its result, and any change the call made to
// the x87 control, status and tag words or MXCSR. The parent (GoogleTest)
// runs each class in the default environment first: its lines must show the
// documented statuses and no change; every other environment must give the
// same lines, bit for bit.
//
// The load/unload suite makes 200 cycles in this process and counts the
// handles (by the value of a freshly created one, as Wine's
// GetProcessHandleCount reads 0) and the heap blocks in use.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>
#include <xmmintrin.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "Pelmora.h"
#include "tests/component/com_support.h"
#include "tests/component/holdings.h"

namespace pelmora::test {
namespace {

// ---- The floating-point state of the host ----

struct FpState {
  std::uint16_t control;
  std::uint16_t status;
  std::uint16_t tags;
  std::uint32_t mxcsr;
  friend bool operator==(const FpState&, const FpState&) = default;
};

struct X87Environment {
  std::uint32_t control, status, tags, rest[4];
};

// Reads the state without changing it (fnstenv masks every x87 exception,
// fldenv puts the control word back).
FpState ReadFpState() {
  X87Environment environment;
  __asm__ volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment)::"memory");
  return {static_cast<std::uint16_t>(environment.control),
          static_cast<std::uint16_t>(environment.status),
          static_cast<std::uint16_t>(environment.tags), _mm_getcsr()};
}

// Sets the x87 control word and MXCSR, and the x87 exception flags `flags`.
void SetFpState(std::uint16_t control, std::uint16_t flags, std::uint32_t mxcsr) {
  __asm__ volatile("fnclex" ::: "memory");
  X87Environment environment;
  __asm__ volatile("fnstenv %0" : "=m"(environment)::"memory");
  environment.control = control;
  environment.status = (environment.status & ~0x7Fu) | flags;
  __asm__ volatile("fldenv %0" ::"m"(environment) : "memory");
  _mm_setcsr(mxcsr);
}

struct Environment {
  const char* name;
  std::uint16_t control;  // x87 control word; 0: the program's own
  std::uint16_t flags;    // x87 exception flags raised before the calls
  std::uint32_t mxcsr;    // 0: the program's own
  int misalign;           // i686: calls enter with the stack off 16 by this
  bool coinitialize;
};

constexpr std::uint16_t kFlagsSet = 0x32;       // denormal, underflow, inexact
constexpr std::uint32_t kFtzDazFlags = 0x9FFF;  // FTZ, DAZ, all masked, all flags

const Environment kEnvironments[] = {
    {"default", 0, 0, 0, 0, true},
    {"delphi", 0x1332, 0, 0x1900, 0, true},
    {"x87_unmasked", 0x1332, 0, 0, 0, true},
    {"sse_unmasked", 0, 0, 0x1900, 0, true},
    {"round_up", 0x0B7F, 0, 0x5F80, 0, true},
    {"round_down", 0x077F, 0, 0x3F80, 0, true},
    {"round_to_zero", 0x0F7F, 0, 0x7F80, 0, true},
    {"precision_24", 0x007F, 0, 0, 0, true},
    {"precision_53", 0x027F, 0, 0, 0, true},
    {"precision_64", 0x037F, 0, 0, 0, true},
    {"flags_ftz_daz", 0, kFlagsSet, kFtzDazFlags, 0, true},
#if defined(__i386__)
    {"stack_4", 0, 0, 0, 4, true},
#endif
    {"no_coinitialize", 0, 0, 0, 0, false},
};

// ---- Calls ----

// Slots of _CalcDistClass after IUnknown (3) and IDispatch (4).
enum Slot : int {
  kSLocator = 7,
  kAzimut,
  kDistanse,
  kLatFromGrid,
  kLongFromGrid,
  kDistanceFrom,
  kArcCos,
  kGridFromLatLong,
  kInvoke = 6,  // IDispatch::Invoke, by DISPID with double arguments
};

struct Call {
  int slot;
  std::uint32_t in[5];  // float32 bit patterns; for kInvoke the DISPID first
  int count;            // number of inputs
  std::wstring text;    // the locator of LatFromGrid and LongFromGrid
  bool null_text;
};

struct Outcome {
  HRESULT hr = E_FAIL;
  std::uint32_t value = 0;  // float32 bits of a number result
  BSTR text = nullptr;      // a text result
  VARIANT variant;          // an Invoke result
  SCODE scode = 0;          // an Invoke failure's EXCEPINFO
  FpState before{}, after{};
};

#if defined(__i386__)
// Calls a stdcall function with `count` 32-bit words of arguments on a stack
// that is 16-byte aligned less `misalign` at the call; returns EAX.
extern "C" std::uint32_t host_call_stdcall(const void* function, const std::uint32_t* words,
                                           std::uint32_t count, std::uint32_t misalign);
__asm__(
    ".text\n"
    ".globl _host_call_stdcall\n"
    "_host_call_stdcall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "  leal 0(,%ecx,4), %eax\n"
    "  movl %esp, %edx\n"
    "  subl %eax, %edx\n"
    "  andl $-16, %edx\n"
    "  subl 20(%ebp), %edx\n"
    "  movl %edx, %esp\n"
    "  xorl %eax, %eax\n"
    "1:\n"
    "  cmpl %ecx, %eax\n"
    "  je 2f\n"
    "  movl (%esi,%eax,4), %edx\n"
    "  movl %edx, (%esp,%eax,4)\n"
    "  incl %eax\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *8(%ebp)\n"
    "  leal -4(%ebp), %esp\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");

std::uint32_t Word(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}
#endif

// The arguments of one Invoke, prepared before the host's state is set.
struct InvokeArguments {
  VARIANT args[4];
  DISPPARAMS params;
  EXCEPINFO exception;
};

HRESULT MakeCall(_CalcDistClass* object, const Call& call, BSTR grid, InvokeArguments& invoke,
                 Outcome& out, int misalign) {
  float number = 0.0f;
  HRESULT hr = E_FAIL;
#if defined(__i386__)
  void* const* vtable = *reinterpret_cast<void* const* const*>(object);
  std::uint32_t words[10] = {Word(object)};
  std::uint32_t count = 1;
  switch (call.slot) {
    case kInvoke:
      words[count++] = call.in[0];
      words[count++] = Word(&IID_NULL);
      words[count++] = 0;
      words[count++] = DISPATCH_METHOD;
      words[count++] = Word(&invoke.params);
      words[count++] = Word(&out.variant);
      words[count++] = Word(&invoke.exception);
      words[count++] = 0;
      break;
    case kLatFromGrid:
    case kLongFromGrid:
      words[count++] = Word(grid);
      words[count++] = Word(&number);
      break;
    default:
      for (int i = 0; i < call.count; ++i) words[count++] = call.in[i];
      words[count++] =
          call.slot == kSLocator || call.slot == kGridFromLatLong ? Word(&out.text) : Word(&number);
  }
  out.before = ReadFpState();
  hr = static_cast<HRESULT>(
      host_call_stdcall(vtable[call.slot], words, count, static_cast<std::uint32_t>(misalign)));
  out.after = ReadFpState();
#else
  (void)misalign;
  const auto f = [&](int i) { return std::bit_cast<float>(call.in[i]); };
  out.before = ReadFpState();
  switch (call.slot) {
    case kInvoke:
      hr = object->Invoke(static_cast<DISPID>(call.in[0]), IID_NULL, 0, DISPATCH_METHOD,
                          &invoke.params, &out.variant, &invoke.exception, nullptr);
      break;
    case kSLocator:
      hr = object->sLocator(f(0), f(1), &out.text);
      break;
    case kGridFromLatLong:
      hr = object->GridFromLatLong(f(0), f(1), &out.text);
      break;
    case kAzimut:
      hr = object->Azimut(f(0), f(1), f(2), f(3), &number);
      break;
    case kDistanse:
      hr = object->Distanse(f(0), f(1), &number);
      break;
    case kLatFromGrid:
      hr = object->LatFromGrid(grid, &number);
      break;
    case kLongFromGrid:
      hr = object->LongFromGrid(grid, &number);
      break;
    case kDistanceFrom:
      hr = object->DistanceFrom(f(0), f(1), f(2), f(3), &number);
      break;
    case kArcCos:
      hr = object->ArcCos(f(0), &number);
      break;
  }
  out.after = ReadFpState();
#endif
  out.value = std::bit_cast<std::uint32_t>(number);
  return hr;
}

// ---- Input classes ----

std::uint32_t FloatBits(float x) { return std::bit_cast<std::uint32_t>(x); }

Call Numbers(int slot, std::initializer_list<float> in) {
  Call call{slot, {}, static_cast<int>(in.size()), {}, false};
  int i = 0;
  for (const float x : in) call.in[i++] = FloatBits(x);
  return call;
}

Call Grid(int slot, std::wstring text, bool null_text = false) {
  return Call{slot, {}, 0, std::move(text), null_text};
}

// A DISPID and double arguments, for Invoke (the doubles are the float32
// inputs widened: the coercion back to float32 is exact in every rounding
// mode, so any change would come from the method).
Call ByName(DISPID id, std::initializer_list<float> in) {
  Call call = Numbers(kInvoke, in);
  for (int i = call.count; i > 0; --i) call.in[i] = call.in[i - 1];
  call.in[0] = static_cast<std::uint32_t>(id);
  return call;
}

// The same coordinates through every method that takes as many, directly and
// by name.
void AllMethods(std::vector<Call>& calls, std::initializer_list<float> in) {
  switch (in.size()) {
    case 1:
      calls.push_back(Numbers(kArcCos, in));
      calls.push_back(ByName(0x60030006, in));
      break;
    case 2:
      calls.push_back(Numbers(kSLocator, in));
      calls.push_back(Numbers(kGridFromLatLong, in));
      calls.push_back(Numbers(kDistanse, in));
      calls.push_back(ByName(0x60030000, in));
      calls.push_back(ByName(0x60030007, in));
      break;
    case 4:
      calls.push_back(Numbers(kAzimut, in));
      calls.push_back(Numbers(kDistanceFrom, in));
      calls.push_back(ByName(0x60030001, in));
      calls.push_back(ByName(0x60030005, in));
      break;
  }
}

// A deterministic stream of numbers in [lo, hi).
class Sequence {
 public:
  float Next(float lo, float hi) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    const double unit = static_cast<double>(state_ >> 11) * 0x1p-53;
    const double low = static_cast<double>(lo);
    return static_cast<float>(low + unit * (static_cast<double>(hi) - low));
  }
  unsigned Pick(unsigned n) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned>((state_ >> 33) % n);
  }

 private:
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

std::vector<Call> OrdinaryCalls() {
  std::vector<Call> calls;
  Sequence random;
  for (int i = 0; i < 400; ++i) {
    const float lat = random.Next(-90.0f, 90.0f);
    const float lon = random.Next(-180.0f, 180.0f);
    calls.push_back(Numbers(kSLocator, {lat, lon}));
    calls.push_back(Numbers(kGridFromLatLong, {lat, lon}));
    const float lat2 = random.Next(-90.0f, 90.0f);
    const float lon2 = random.Next(-180.0f, 180.0f);
    calls.push_back(Numbers(kAzimut, {lat, lon, lat2, lon2}));
    calls.push_back(Numbers(kDistanceFrom, {lat, lon, lat2, lon2}));
    calls.push_back(Numbers(kArcCos, {random.Next(-1.0f, 1.0f)}));
  }
  // Whole degrees and cell boundaries, where rounding decides the cell.
  for (int lat = -90; lat <= 90; lat += 5) {
    for (int lon = -180; lon <= 180; lon += 15) {
      const float x = static_cast<float>(lat);
      const float y = static_cast<float>(lon);
      calls.push_back(Numbers(kSLocator, {x, y}));
      calls.push_back(Numbers(kGridFromLatLong, {x, y}));
      calls.push_back(Numbers(kDistanceFrom, {x, y, x + 0.5f, y + 1.0f}));
    }
  }
  // Short distances, where the arc cosine of values next to 1 shows.
  for (int i = 0; i < 100; ++i) {
    const float lat = random.Next(-80.0f, 80.0f);
    const float lon = random.Next(-170.0f, 170.0f);
    const float d = random.Next(0.0f, 0.01f);
    calls.push_back(Numbers(kDistanceFrom, {lat, lon, lat + d, lon - d}));
    calls.push_back(Numbers(kAzimut, {lat, lon, lat - d, lon + d}));
  }
  // Locators of every field, square and subsquare letter, and shorter ones.
  for (int i = 0; i < 300; ++i) {
    std::wstring grid = {
        static_cast<wchar_t>(L'A' + random.Pick(18)), static_cast<wchar_t>(L'A' + random.Pick(18)),
        static_cast<wchar_t>(L'0' + random.Pick(10)), static_cast<wchar_t>(L'0' + random.Pick(10)),
        static_cast<wchar_t>(L'a' + random.Pick(24)), static_cast<wchar_t>(L'a' + random.Pick(24))};
    grid.resize(4 + random.Pick(3));
    calls.push_back(Grid(kLatFromGrid, grid));
    calls.push_back(Grid(kLongFromGrid, grid));
  }
  for (int i = 0; i < 50; ++i) {
    const float lat = random.Next(-90.0f, 90.0f);
    const float lon = random.Next(-180.0f, 180.0f);
    const float lat2 = random.Next(-90.0f, 90.0f);
    const float lon2 = random.Next(-180.0f, 180.0f);
    calls.push_back(Numbers(kDistanse, {lat, lon}));
    AllMethods(calls, {lat, lon});
    AllMethods(calls, {lat, lon, lat2, lon2});
    AllMethods(calls, {random.Next(-1.0f, 1.0f)});
  }
  return calls;
}

// NaN, infinities, denormals, zeros and the float32 extremes in every
// position of every method.
std::vector<Call> SpecialCalls() {
  const float kSpecial[] = {
      std::bit_cast<float>(0x7FC00000u),  // quiet NaN
      std::bit_cast<float>(0xFFC00001u),  // negative quiet NaN with a payload
      std::bit_cast<float>(0x7F800001u),  // signalling NaN
      std::numeric_limits<float>::infinity(),
      -std::numeric_limits<float>::infinity(),
      std::numeric_limits<float>::denorm_min(),
      -std::bit_cast<float>(0x007FFFFFu),  // largest denormal, negative
      std::numeric_limits<float>::min(),
      std::numeric_limits<float>::max(),
      -std::numeric_limits<float>::max(),
      0.0f,
      -0.0f,
      1.0f,
  };
  const float kOrdinary[] = {52.5f, 13.4f, 40.7f, -74.0f};
  std::vector<Call> calls;
  for (const float a : kSpecial) {
    AllMethods(calls, {a});
    for (const float b : kSpecial) AllMethods(calls, {a, b});
    for (int position = 0; position < 4; ++position) {
      float in[4] = {kOrdinary[0], kOrdinary[1], kOrdinary[2], kOrdinary[3]};
      in[position] = a;
      AllMethods(calls, {in[0], in[1], in[2], in[3]});
    }
    AllMethods(calls, {a, a, a, a});
  }
  // Texts: empty, null, spaces only, and characters of extreme codes.
  const std::wstring kTexts[] = {L"",
                                 L"    ",
                                 L"JO6",
                                 L"\xFFFF\xFFFF\xFFFF\xFFFF\xFFFF\xFFFF",
                                 L"\x8000\x8000"
                                 L"99\x8000\x8000",
                                 L"zz99zz",
                                 L"AA00aa\xD800"};
  for (const std::wstring& text : kTexts) {
    calls.push_back(Grid(kLatFromGrid, text));
    calls.push_back(Grid(kLongFromGrid, text));
  }
  calls.push_back(Grid(kLatFromGrid, L"", true));
  calls.push_back(Grid(kLongFromGrid, L"", true));
  return calls;
}

// The five calls that raised hardware exceptions in an unmasking host, each
// with its coordinates on the other methods too. The first call of each is
// the documented one (checked in the default environment).
struct FailureInput {
  const char* name;
  Call call;
  HRESULT status;
};

const float kNan = std::bit_cast<float>(0x7FC00000u);
const float kInf = std::numeric_limits<float>::infinity();

std::vector<FailureInput> FailureInputs() {
  return {
      {"slocator_nan", Numbers(kSLocator, {kNan, 0.0f}), kOverflow},
      {"azimut_date_line", Numbers(kAzimut, {52.5f, 180.0f, 40.0f, -180.000137f}), kFloatingPoint},
      {"azimut_tiny", Numbers(kAzimut, {1.0f, 1.0f, 1e-45f, 2.0f}), kFloatingPoint},
      {"arccos_nan", Numbers(kArcCos, {kNan}), S_OK},
      {"distance_infinite", Numbers(kDistanceFrom, {kInf, 0.0f, 0.0f, 1.0f}), kFloatingPoint},
  };
}

std::vector<std::string> ClassNames() {
  std::vector<std::string> names = {"ordinary", "special"};
  for (const FailureInput& input : FailureInputs()) names.push_back(input.name);
  return names;
}

std::vector<Call> CallsOf(const std::string& name) {
  if (name == "ordinary") return OrdinaryCalls();
  if (name == "special") return SpecialCalls();
  for (const FailureInput& input : FailureInputs()) {
    if (name != input.name) continue;
    std::vector<Call> calls = {input.call};
    const auto f = [&](int i) { return std::bit_cast<float>(input.call.in[i]); };
    if (input.call.count == 1) AllMethods(calls, {f(0)});
    if (input.call.count == 2) AllMethods(calls, {f(0), f(1)});
    if (input.call.count == 4) AllMethods(calls, {f(0), f(1), f(2), f(3)});
    return calls;
  }
  return {};
}

// ---- The child ----

std::string Hex(std::uint64_t value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
  return text;
}

std::string Show(const FpState& state) {
  std::string out = "cw=";
  out += Hex(state.control, 4);
  out += " sw=";
  out += Hex(state.status, 4);
  out += " tw=";
  out += Hex(state.tags, 4);
  out += " mxcsr=";
  out += Hex(state.mxcsr, 8);
  return out;
}

std::string TextOf(const std::wstring& text) {
  std::string out = "'";
  for (const wchar_t unit : text) out += Hex(static_cast<std::uint16_t>(unit), 4);
  return out;
}

std::string TextOf(BSTR text) {
  if (text == nullptr) return "<null>";
  return TextOf(std::wstring(text, SysStringLen(text)));
}

// Appends its texts to `line`, each after a space.
template <class... Texts>
void Add(std::string& line, const Texts&... texts) {
  ((line += ' ', line += texts), ...);
}

std::string Line(const Call& call, const Outcome& out) {
  std::string line = "slot";
  Add(line, std::to_string(call.slot), "in");
  for (int i = 0; i < call.count + (call.slot == kInvoke ? 1 : 0); ++i)
    Add(line, Hex(call.in[i], 8));
  if (call.slot == kLatFromGrid || call.slot == kLongFromGrid) {
    Add(line, call.null_text ? std::string("<null>") : TextOf(call.text));
  }
  Add(line, "->", Hex(static_cast<std::uint32_t>(out.hr), 8));
  if (call.slot == kInvoke) {
    Add(line, "vt", std::to_string(out.variant.vt));
    if (out.variant.vt == VT_R4) Add(line, Hex(FloatBits(out.variant.fltVal), 8));
    if (out.variant.vt == VT_BSTR) Add(line, TextOf(out.variant.bstrVal));
    Add(line, "scode", Hex(static_cast<std::uint32_t>(out.scode), 8));
  } else if (call.slot == kSLocator || call.slot == kGridFromLatLong) {
    Add(line, TextOf(out.text));
  } else {
    Add(line, Hex(out.value, 8));
  }
  if (!(out.before == out.after)) Add(line, "CHANGED", Show(out.before), "to", Show(out.after));
  return line;
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

int RunChild(const std::string& environment_name, const std::string& class_name,
             const std::string& output) {
  const Environment* environment = nullptr;
  for (const Environment& e : kEnvironments) {
    if (environment_name == e.name) environment = &e;
  }
  const std::vector<Call> calls = CallsOf(class_name);
  if (environment == nullptr || calls.empty()) return 2;
  if (environment->coinitialize && FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return 3;
  }

  const HMODULE module = LoadLibraryW(ServerBesideProgram().c_str());
  if (module == nullptr) return 4;
  const auto get_class_object = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  ComPtr<IClassFactory> factory;
  ComPtr<_CalcDistClass> object;
  if (get_class_object == nullptr ||
      FAILED(get_class_object(CLSID_CalcDistClass, IID_IClassFactory, factory.OutVoid())) ||
      FAILED(factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid()))) {
    return 5;
  }

  // Everything a call needs is made before the host's state is set: the
  // calls themselves only move bits.
  std::vector<Outcome> outcomes(calls.size());
  std::vector<BSTR> grids(calls.size(), nullptr);
  std::vector<InvokeArguments> invokes(calls.size());
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const Call& call = calls[i];
    VariantInit(&outcomes[i].variant);
    if (!call.null_text) {
      grids[i] = SysAllocStringLen(call.text.c_str(), static_cast<UINT>(call.text.size()));
    }
    InvokeArguments& invoke = invokes[i];
    invoke.exception = EXCEPINFO{};
    for (int k = 0; call.slot == kInvoke && k < call.count; ++k) {
      // Arguments go in reverse order.
      const float x = std::bit_cast<float>(call.in[k + 1]);
      invoke.args[call.count - 1 - k] = R8(static_cast<double>(x));
    }
    invoke.params = DISPPARAMS{invoke.args, nullptr, static_cast<UINT>(call.count), 0};
  }

  const FpState program = ReadFpState();
  const std::uint16_t control = environment->control != 0 ? environment->control : program.control;
  const std::uint32_t mxcsr = environment->mxcsr != 0 ? environment->mxcsr : program.mxcsr;
  SetFpState(control, environment->flags, mxcsr);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    outcomes[i].hr = MakeCall(object.get(), calls[i], grids[i], invokes[i], outcomes[i],
                              environment->misalign != 0 ? 4 + 4 * static_cast<int>(i % 3) : 0);
  }
  SetFpState(program.control, 0, program.mxcsr);

  std::ofstream file(output, std::ios::binary);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    outcomes[i].scode = invokes[i].exception.scode;
    file << Line(calls[i], outcomes[i]) << "\n";
    SysFreeString(outcomes[i].text);
    SysFreeString(grids[i]);
    VariantClear(&outcomes[i].variant);
    SysFreeString(invokes[i].exception.bstrSource);
    SysFreeString(invokes[i].exception.bstrDescription);
    SysFreeString(invokes[i].exception.bstrHelpFile);
  }
  file.close();
  object.Reset();
  factory.Reset();
  FreeLibrary(module);
  if (environment->coinitialize) CoUninitialize();
  return file ? 0 : 6;
}

// ---- The parent ----

std::wstring ProgramPath() {
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  return std::wstring(path.data(), length);
}

struct ChildRun {
  DWORD exit_code = 0;
  std::vector<std::string> lines;
};

// The children started, and the starts that Wine failed and that were
// repeated (see RunInChild). The count is printed at the end of the run,
// which fails when it exceeds kMaxRepeatedStarts: Wine fails about one start
// in three thousand, and a run starts a few hundred children.
int child_starts = 0;
int repeated_starts = 0;
constexpr int kMaxRepeatedStarts = 2;

class RepeatedStartsReport : public ::testing::Environment {
 public:
  void TearDown() override {
    if (child_starts == 0) return;
    std::printf("host_test: %d children started, %d start(s) failed by Wine and repeated\n",
                child_starts, repeated_starts);
    EXPECT_LE(repeated_starts, kMaxRepeatedStarts)
        << "Wine failed to start children more often than it should: find out why";
  }
};

ChildRun RunInChild(const std::string& environment, const std::string& class_name) {
  const std::string output = "host_" + environment + "_" + class_name + ".txt";
  DeleteFileA(output.c_str());
  std::wstring command = L"\"" + ProgramPath() + L"\" --child " +
                         std::wstring(environment.begin(), environment.end()) + L" " +
                         std::wstring(class_name.begin(), class_name.end()) + L" " +
                         std::wstring(output.begin(), output.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ChildRun run;
  // Wine now and then fails to start a process: the new process ends before
  // it has initialised, having run none of its code, and CreateProcessW
  // reports ERROR_INTERNAL_ERROR, whatever the environment. That failure
  // alone is met by starting the child again, at most twice more, each time
  // said on the error stream and counted; any other failure stands.
  for (int start = 1;; ++start) {
    ++child_starts;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      break;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_INTERNAL_ERROR || start == 3) {
      run.exit_code = error | 0x80000000u;
      return run;
    }
    ++repeated_starts;
    std::fprintf(stderr, "the child for %s %s did not start (ERROR_INTERNAL_ERROR); again\n",
                 environment.c_str(), class_name.c_str());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &run.exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::ifstream file(output, std::ios::binary);
  for (std::string line; std::getline(file, line);) run.lines.push_back(line);
  file.close();
  DeleteFileA(output.c_str());
  return run;
}

const ChildRun& DefaultRun(const std::string& class_name) {
  static std::vector<std::pair<std::string, ChildRun>> runs;
  for (const auto& [name, run] : runs) {
    if (name == class_name) return run;
  }
  runs.emplace_back(class_name, RunInChild("default", class_name));
  return runs.back().second;
}

// The default environment: no crash, every call there, the state unchanged,
// and each failure input's documented status.
class DefaultEnvironment : public ::testing::TestWithParam<std::string> {};

TEST_P(DefaultEnvironment, DocumentedAndUnchanged) {
  const ChildRun& run = DefaultRun(GetParam());
  ASSERT_EQ(run.exit_code, 0u) << "child ended with 0x" << Hex(run.exit_code, 8);
  ASSERT_EQ(run.lines.size(), CallsOf(GetParam()).size());
  for (const std::string& line : run.lines) {
    EXPECT_EQ(line.find("CHANGED"), std::string::npos) << line;
  }
  for (const FailureInput& input : FailureInputs()) {
    if (GetParam() != input.name) continue;
    const std::string& line = run.lines.front();
    const std::string status = " -> " + Hex(static_cast<std::uint32_t>(input.status), 8);
    EXPECT_NE(line.find(status), std::string::npos) << line;
  }
}

INSTANTIATE_TEST_SUITE_P(Classes, DefaultEnvironment, ::testing::ValuesIn(ClassNames()),
                         [](const auto& test) { return test.param; });

// Every other environment: no crash, and the same lines as the default.
using HostCase = std::tuple<std::string, std::string>;
class HostileEnvironment : public ::testing::TestWithParam<HostCase> {};

TEST_P(HostileEnvironment, SameBitsAndStateAsDefault) {
  const auto& [environment, class_name] = GetParam();
  const ChildRun& reference = DefaultRun(class_name);
  ASSERT_EQ(reference.exit_code, 0u);
  const ChildRun run = RunInChild(environment, class_name);
  ASSERT_EQ(run.exit_code, 0u) << "child ended with 0x" << Hex(run.exit_code, 8);
  ASSERT_EQ(run.lines.size(), reference.lines.size());
  int differences = 0;
  for (std::size_t i = 0; i < run.lines.size(); ++i) {
    if (run.lines[i] == reference.lines[i]) continue;
    if (++differences <= 10) {
      ADD_FAILURE() << "default: " << reference.lines[i] << "\n"
                    << environment << ": " << run.lines[i];
    }
  }
  EXPECT_EQ(differences, 0) << "of " << run.lines.size() << " calls";
}

std::vector<std::string> HostileNames() {
  std::vector<std::string> names;
  for (const Environment& e : kEnvironments) {
    if (std::string(e.name) != "default") names.push_back(e.name);
  }
  return names;
}

INSTANTIATE_TEST_SUITE_P(Environments, HostileEnvironment,
                         ::testing::Combine(::testing::ValuesIn(HostileNames()),
                                            ::testing::ValuesIn(ClassNames())),
                         [](const auto& test) {
                           return std::get<0>(test.param) + "_" + std::get<1>(test.param);
                         });

// ---- Load and unload ----

using Holdings = pelmora::test::ProcessHoldings;
Holdings Measure() { return pelmora::test::MeasureProcess(); }

// One cycle: load, optionally make an object and call every method (a
// failure included, directly and by name), unload.
bool LoadUseUnload(bool use) {
  const HMODULE module = LoadLibraryW(ServerBesideProgram().c_str());
  if (module == nullptr) return false;
  bool ok = true;
  if (use) {
    const auto get_class_object = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<_CalcDistClass> object;
    ok = get_class_object != nullptr &&
         SUCCEEDED(get_class_object(CLSID_CalcDistClass, IID_IClassFactory, factory.OutVoid())) &&
         SUCCEEDED(factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid()));
    if (ok) {
      Bstr text;
      float value = 0.0f;
      ok = object->sLocator(52.5f, 13.4f, text.Out()) == S_OK &&
           object->GridFromLatLong(52.5f, 13.4f, text.Out()) == S_OK &&
           object->Azimut(52.5f, 13.4f, 40.7f, -74.0f, &value) == S_OK &&
           object->Distanse(1.0f, 2.0f, &value) == S_OK &&
           object->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, &value) == S_OK &&
           object->ArcCos(0.5f, &value) == S_OK &&
           object->LatFromGrid(Bstr(L"JO62qm").get(), &value) == S_OK &&
           object->LongFromGrid(Bstr(L"JO62qm").get(), &value) == S_OK &&
           object->sLocator(kNan, 0.0f, text.Out()) == kOverflow;
      LPOLESTR name[] = {const_cast<LPOLESTR>(L"DistanceFrom")};
      DISPID id = 0;
      VARIANT args[4] = {R8(-74.0), R8(40.7), R8(13.4), R8(52.5)};
      DISPPARAMS params = {args, nullptr, 4, 0};
      Variant result;
      ok = ok && object->GetIDsOfNames(IID_NULL, name, 1, 0, &id) == S_OK &&
           object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr) ==
               S_OK;
    }
    // The error object of the failure stays with the thread until cleared.
    SetErrorInfo(0, nullptr);
  }
  FreeLibrary(module);
  return ok && GetModuleHandleW(L"Pelmora.dll") == nullptr;
}

TEST(LoadUnload, TwoHundredCyclesGrowNothing) {
  ASSERT_EQ(Hr{CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)}, Hr{S_OK});
  // The first cycles load what stays with the process (the system DLLs the
  // server imports, the type library's first reading).
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(LoadUseUnload(true));
  const Holdings before = Measure();
  for (int i = 0; i < 200; ++i) ASSERT_TRUE(LoadUseUnload(i % 2 == 0)) << "cycle " << i;
  const Holdings after = Measure();
  EXPECT_EQ(after.handle, before.handle) << "handles lost";
  EXPECT_EQ(after.heap_bytes, before.heap_bytes)
      << "heap bytes grew by "
      << static_cast<long long>(after.heap_bytes) - static_cast<long long>(before.heap_bytes);
  CoUninitialize();
}

DWORD WINAPI LoadUnloadThread(void*) { return LoadUseUnload(false) ? 0 : 1; }

// A host thread running exit() holds the C runtime's exit lock while its
// atexit handlers run, and a handler that loads or frees a library, or waits
// for a thread that does, then needs the loader lock. Loading and unloading
// Pelmora.dll must not need the exit lock under the loader lock, or the two
// threads deadlock.
TEST(LoadUnload, NeedsNotTheRuntimeExitLock) {
  const HMODULE msvcrt = GetModuleHandleW(L"msvcrt.dll");
  ASSERT_NE(msvcrt, nullptr);
  using LockFn = void(__cdecl*)(int);
  const auto lock =
      reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_lock")));
  const auto unlock =
      reinterpret_cast<LockFn>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_unlock")));
  ASSERT_TRUE(lock != nullptr && unlock != nullptr);
  constexpr int kExitLock = 8;  // _EXIT_LOCK1
  lock(kExitLock);
  const HANDLE thread = CreateThread(nullptr, 0, LoadUnloadThread, nullptr, 0, nullptr);
  const DWORD waited = thread != nullptr ? WaitForSingleObject(thread, 10000) : WAIT_FAILED;
  unlock(kExitLock);
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "loading and unloading waited for the exit lock";
}

}  // namespace
}  // namespace pelmora::test

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
    return pelmora::test::RunChild(argv[2], argv[3], argv[4]);
  }
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new pelmora::test::RepeatedStartsReport);
  return RUN_ALL_TESTS();
}
