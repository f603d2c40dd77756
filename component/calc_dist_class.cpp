#include "component/calc_dist_class.h"

#include <oleauto.h>

#include <limits>
#include <new>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "component/bstr.h"
#include "component/server/heap.h"
#include "component/status.h"
#include "pelmora_identifiers.h"
#include "runtime/fp_guard.h"

namespace pelmora::component {

using runtime::Outcome;
using runtime::RtError;
using runtime::Text;
using server::ModuleCells;

namespace {

// The body of a method runs in the DLL's own floating-point environment, the
// caller's coming back untouched (runtime/fp_guard.h). Nothing in
// the DLL throws: it is built without C++ exceptions, and every allocation
// that fails is reported as E_OUTOFMEMORY where it is made.
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  const runtime::FpGuard environment;
  return body();
}

// The reference a method holds on its object while it runs.
class CallReference {
 public:
  explicit CallReference(IUnknown* object) : object_(object) { object_->AddRef(); }
  ~CallReference() { object_->Release(); }
  CallReference(const CallReference&) = delete;
  CallReference& operator=(const CallReference&) = delete;

 private:
  IUnknown* object_;
};

// DistanceFrom's arc cosine: the ArcCos method of the same object, called
// through its _CalcDistClass vtable slot as a client would call it. A failure
// HRESULT ends DistanceFrom; the HRESULT itself is kept as DistanceFrom's
// status.
class InterfaceArcCos final : public calc::ArcCosCallee {
 public:
  explicit InterfaceArcCos(_CalcDistClass* object) : object_(object) {}

  RtError Call(float X, float& A) override {
    // Read through a volatile pointer, so that the call is made through the
    // object's vtable as it stands and never bound to CalcDistClass::ArcCos.
    _CalcDistClass* volatile object = object_;
    status_ = object->ArcCos(X, &A);
    if (SUCCEEDED(status_)) return RtError::kNone;
    const RtError error = RtErrorOf(status_);
    // Any other failure still ends DistanceFrom; the runtime error only
    // stands in for it inside the calculation.
    return error != RtError::kNone ? error : RtError::kInvalidArgument;
  }

  bool Failed() const { return FAILED(status_); }
  HRESULT Status() const { return status_; }

 private:
  _CalcDistClass* object_;
  HRESULT status_ = S_OK;
};

}  // namespace

HRESULT CalcDistClass::Create(ModuleCells& cells, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  const server::ComPtr<_CalcDistClass> object(new (std::nothrow) CalcDistClass(cells));
  if (!object) return E_OUTOFMEMORY;
  return object->QueryInterface(iid, out);
}

CalcDistClass::CalcDistClass(ModuleCells& cells) : cells_(cells) {
  server::ModuleLock(cells_, server::Hold::kObject);
}

CalcDistClass::~CalcDistClass() { server::ModuleUnlock(cells_, server::Hold::kObject); }

// ---- IUnknown ----

HRESULT CalcDistClass::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID__CalcDistClass)) {
    *out = static_cast<_CalcDistClass*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CalcDistClass::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

ULONG CalcDistClass::Release() {
  const LONG left = InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- IDispatch ----

namespace {

// The module's type information of _CalcDistClass, null until first loaded.
// Threads that load it at once each load a copy; the first to publish wins
// and the others release theirs.
ITypeInfo* volatile module_type_info = nullptr;

}  // namespace

HRESULT CalcDistClass::DispatchTypeInfo(ITypeInfo** out) {
  ITypeInfo* info = module_type_info;
  if (info == nullptr) {
    // The DLL's own path: LoadTypeLibEx reads its TYPELIB resource 1.
    server::WideText path;
    if (!path.Resize(MAX_PATH)) return Fail(E_OUTOFMEMORY, "Out of memory");
    for (;;) {
      const DWORD size = static_cast<DWORD>(path.size());
      const DWORD length = GetModuleFileNameW(server::ModuleHandle(cells_), path.data(), size);
      if (length == 0) return FailWithoutDescription(HRESULT_FROM_WIN32(GetLastError()));
      if (length < size) break;
      if (size >= 32768) {
        return FailWithoutDescription(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
      }
      if (!path.Resize(path.size() * 2)) return Fail(E_OUTOFMEMORY, "Out of memory");
    }
    server::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLibEx(path.data(), REGKIND_NONE, library.Out());
    if (FAILED(hr)) return FailWithoutDescription(hr);
    ITypeInfo* loaded = nullptr;
    hr = library->GetTypeInfoOfGuid(IID__CalcDistClass, &loaded);
    if (FAILED(hr)) return FailWithoutDescription(hr);
    void* const before = InterlockedCompareExchangePointer(
        reinterpret_cast<void* volatile*>(&module_type_info), loaded, nullptr);
    if (before == nullptr) {
      info = loaded;
    } else {
      loaded->Release();
      info = static_cast<ITypeInfo*>(before);
    }
  }
  *out = info;
  return S_OK;
}

void CalcDistClass::ReleaseTypeInfo() {
  void* const info =
      InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&module_type_info), nullptr);
  if (info != nullptr) static_cast<ITypeInfo*>(info)->Release();
}

HRESULT CalcDistClass::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CalcDistClass::GetTypeInfo(UINT index, LCID /*locale*/, ITypeInfo** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return Guarded([&]() -> HRESULT {
    ITypeInfo* info = nullptr;
    const HRESULT hr = DispatchTypeInfo(&info);
    if (FAILED(hr)) return hr;
    info->AddRef();
    *out = info;
    return S_OK;
  });
}

HRESULT CalcDistClass::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID /*locale*/,
                                     DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (count == 0) return E_INVALIDARG;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  for (UINT i = 0; i < count; ++i) {
    if (names[i] == nullptr) return E_POINTER;
  }
  return Guarded([&]() -> HRESULT {
    ITypeInfo* info = nullptr;
    const HRESULT hr = DispatchTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  });
}

HRESULT CalcDistClass::Invoke(DISPID id, REFIID iid, LCID /*locale*/, WORD flags,
                              DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                              UINT* bad_argument) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  // A malformed argument list is refused here rather than read.
  if (params == nullptr) return E_INVALIDARG;
  if ((params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
      params->cNamedArgs > params->cArgs) {
    return E_INVALIDARG;
  }
  return Guarded([&]() -> HRESULT {
    // The direct answer converts its arguments too, so it runs in the DLL's
    // own floating-point environment like everything else here.
    HRESULT answer = S_OK;
    if (InvokeDirectly(id, flags, *params, result, exception, &answer)) return answer;
    ITypeInfo* info = nullptr;
    const HRESULT hr = DispatchTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->Invoke(static_cast<_CalcDistClass*>(this), id, flags, params, result, exception,
                        bad_argument);
  });
}

namespace {

// An argument as a float, when the type information would convert it
// without a choice to make: a float as it is, a 16- or 32-bit integer
// rounded to nearest, a double within the float range rounded to nearest.
// Anything else (references, texts, a NaN or an overflowing double, ...) is
// left to the type information.
bool DirectFloat(const VARIANT& arg, float* out) {
  switch (V_VT(&arg)) {
    case VT_R4:
      *out = V_R4(&arg);
      return true;
    case VT_R8: {
      const double x = V_R8(&arg);
      constexpr double kLargest = static_cast<double>(std::numeric_limits<float>::max());
      if (!(x >= -kLargest && x <= kLargest)) return false;
      *out = static_cast<float>(x);
      return true;
    }
    case VT_I4:
      *out = static_cast<float>(V_I4(&arg));
      return true;
    case VT_I2:
      *out = static_cast<float>(V_I2(&arg));
      return true;
    default:
      return false;
  }
}

// The method's failure as Invoke reports it: DISP_E_EXCEPTION, and the
// status and the error object's texts in EXCEPINFO when there is one.
HRESULT DispatchFailure(HRESULT status, EXCEPINFO* exception) {
  if (exception != nullptr) {
    exception->scode = status;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info != nullptr) {
      info->GetDescription(&exception->bstrDescription);
      info->GetHelpFile(&exception->bstrHelpFile);
      info->GetSource(&exception->bstrSource);
      info->GetHelpContext(&exception->dwHelpContext);
      info->Release();
    }
  }
  return DISP_E_EXCEPTION;
}

// The result of a number method into the result variant, failed or not, as
// the type information hands it on.
HRESULT NumberAnswer(HRESULT status, float value, VARIANT* result, EXCEPINFO* exception) {
  if (result != nullptr) {
    V_VT(result) = VT_R4;
    V_R4(result) = value;
  }
  return FAILED(status) ? DispatchFailure(status, exception) : S_OK;
}

// The result of a text method, likewise; without a result variant the text
// is freed.
HRESULT TextAnswer(HRESULT status, BSTR text, VARIANT* result, EXCEPINFO* exception) {
  if (result != nullptr) {
    V_VT(result) = VT_BSTR;
    V_BSTR(result) = text;
  } else {
    SysFreeString(text);
  }
  return FAILED(status) ? DispatchFailure(status, exception) : S_OK;
}

}  // namespace

bool CalcDistClass::InvokeDirectly(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                                   EXCEPINFO* exception, HRESULT* answer) {
  if ((flags & DISPATCH_METHOD) == 0 || params.cNamedArgs != 0) return false;
  // The arguments in the order the method takes them (DISPPARAMS holds them
  // last first).
  const UINT count = params.cArgs;
  const auto arg = [&](UINT i) -> const VARIANT& { return params.rgvarg[count - 1 - i]; };
  float x[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  const auto floats = [&](UINT n) {
    if (count != n) return false;
    for (UINT i = 0; i < n; ++i) {
      if (!DirectFloat(arg(i), &x[i])) return false;
    }
    return true;
  };
  // Called through the vtable, as the type information calls a method; the
  // answer is made once the call has returned.
  _CalcDistClass* volatile self = this;
  float number = 0.0f;
  BSTR text = nullptr;
  HRESULT status = S_OK;
  switch (id) {
    case PELMORA_DISPID_sLocator:
      if (!floats(2)) return false;
      status = self->sLocator(x[0], x[1], &text);
      *answer = TextAnswer(status, text, result, exception);
      return true;
    case PELMORA_DISPID_Azimut:
      if (!floats(4)) return false;
      status = self->Azimut(x[0], x[1], x[2], x[3], &number);
      break;
    case PELMORA_DISPID_Distanse:
      if (!floats(2)) return false;
      status = self->Distanse(x[0], x[1], &number);
      break;
    case PELMORA_DISPID_LatFromGrid:
      if (count != 1 || V_VT(&arg(0)) != VT_BSTR) return false;
      status = self->LatFromGrid(V_BSTR(&arg(0)), &number);
      break;
    case PELMORA_DISPID_LongFromGrid:
      if (count != 1 || V_VT(&arg(0)) != VT_BSTR) return false;
      status = self->LongFromGrid(V_BSTR(&arg(0)), &number);
      break;
    case PELMORA_DISPID_DistanceFrom:
      if (!floats(4)) return false;
      status = self->DistanceFrom(x[0], x[1], x[2], x[3], &number);
      break;
    case PELMORA_DISPID_ArcCos:
      if (!floats(1)) return false;
      status = self->ArcCos(x[0], &number);
      break;
    case PELMORA_DISPID_GridFromLatLong:
      if (!floats(2)) return false;
      status = self->GridFromLatLong(x[0], x[1], &text);
      *answer = TextAnswer(status, text, result, exception);
      return true;
    default:
      return false;
  }
  *answer = NumberAnswer(status, number, result, exception);
  return true;
}

// ---- ISupportErrorInfo ----

HRESULT CalcDistClass::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__CalcDistClass) ? S_OK : S_FALSE;
}

// ---- The method frame ----

template <class Calculation>
HRESULT CalcDistClass::NumberMethod(float* Result, Calculation&& calculation) {
  if (Result == nullptr) return FailWithoutDescription(E_POINTER);
  *Result = 0.0f;
  const CallReference hold(static_cast<_CalcDistClass*>(this));
  return Guarded([&]() -> HRESULT {
    const Outcome<float> outcome = calculation();
    *Result = outcome.value;
    return Status(outcome.error);
  });
}

template <class Calculation>
HRESULT CalcDistClass::TextMethod(BSTR* Result, Calculation&& calculation) {
  if (Result == nullptr) return FailWithoutDescription(E_POINTER);
  *Result = nullptr;
  const CallReference hold(static_cast<_CalcDistClass*>(this));
  return Guarded([&]() -> HRESULT {
    const Outcome<Text> outcome = calculation();
    // A failed calculation delivers the null text, which needs no string.
    const HRESULT made = NewBstr(outcome.value, Result);
    if (FAILED(made)) return Fail(made, "Out of memory");
    return Status(outcome.error);
  });
}

// ---- _CalcDistClass ----

HRESULT CalcDistClass::sLocator(float sLat, float sLon, BSTR* Result) {
  return TextMethod(Result, [&] { return calc::sLocator(sLat, sLon); });
}

HRESULT CalcDistClass::Azimut(float MyLat, float MyLon, float lnLatitude, float lnLongitude,
                              float* Result) {
  return NumberMethod(
      Result, [&] { return calc::Azimut(bearing_, MyLat, MyLon, lnLatitude, lnLongitude); });
}

HRESULT CalcDistClass::Distanse(float lnLatitude, float lnLongitude, float* Result) {
  return NumberMethod(Result, [&] { return calc::Distanse(lnLatitude, lnLongitude); });
}

HRESULT CalcDistClass::LatFromGrid(BSTR Grid, float* Result) {
  return NumberMethod(Result, [&] { return calc::LatFromGrid(UnitsOfBstr(Grid)); });
}

HRESULT CalcDistClass::LongFromGrid(BSTR Grid, float* Result) {
  return NumberMethod(Result, [&] { return calc::LongFromGrid(UnitsOfBstr(Grid)); });
}

HRESULT CalcDistClass::DistanceFrom(float alat, float alon, float blat, float blon, float* Result) {
  if (Result == nullptr) return FailWithoutDescription(E_POINTER);
  *Result = 0.0f;
  const CallReference hold(static_cast<_CalcDistClass*>(this));
  return Guarded([&]() -> HRESULT {
    InterfaceArcCos arc_cos(static_cast<_CalcDistClass*>(this));
    const Outcome<float> outcome = calc::DistanceFrom(alat, alon, blat, blon, arc_cos);
    *Result = outcome.value;
    if (!arc_cos.Failed()) return Status(outcome.error);
    // The arc cosine's failure is DistanceFrom's, with the same HRESULT.
    const RtError error = RtErrorOf(arc_cos.Status());
    return Fail(arc_cos.Status(),
                error != RtError::kNone ? runtime::Describe(error) : "Automation error");
  });
}

HRESULT CalcDistClass::ArcCos(float X, float* Result) {
  return NumberMethod(Result, [&] { return calc::ArcCos(X); });
}

HRESULT CalcDistClass::GridFromLatLong(float dLat, float dLon, BSTR* Result) {
  return TextMethod(Result, [&] { return calc::GridFromLatLong(dLat, dLon); });
}

}  // namespace pelmora::component
