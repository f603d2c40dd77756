#include "component/calc_dist_class.h"

#include <oleauto.h>

#include <new>
#include <vector>

#include "calc/bearing.h"
#include "calc/decoding.h"
#include "calc/distance.h"
#include "calc/encoding.h"
#include "component/bstr.h"
#include "component/fp_environment.h"
#include "component/status.h"

namespace pelmora::component {

using runtime::Outcome;
using runtime::RtError;
using runtime::Text;
using server::ModuleCells;

namespace {

// The ABI guard: no C++ exception leaves a method of the class, and the body
// runs in the DLL's own floating-point environment, the caller's coming back
// untouched (component/fp_environment.h).
template <class Body>
HRESULT Guarded(Body&& body) noexcept {
  const FpEnvironment environment;
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(E_OUTOFMEMORY, "Out of memory");
  } catch (...) {
    return Fail(E_UNEXPECTED, "Unexpected error");
  }
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
  auto* object = new (std::nothrow) CalcDistClass(cells);
  if (object == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

CalcDistClass::CalcDistClass(ModuleCells& cells) : cells_(cells) { server::ModuleLock(cells_); }

CalcDistClass::~CalcDistClass() {
  if (type_info_ != nullptr) type_info_->Release();
  server::ModuleUnlock(cells_);
}

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

HRESULT CalcDistClass::DispatchTypeInfo(ITypeInfo** out) {
  if (type_info_ == nullptr) {
    // The DLL's own path: LoadTypeLibEx reads its TYPELIB resource 1.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
      const DWORD size = static_cast<DWORD>(path.size());
      const DWORD length = GetModuleFileNameW(server::ModuleHandle(cells_), path.data(), size);
      if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
      if (length < size) break;
      if (size >= 32768) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
      path.resize(path.size() * 2);
    }
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(path.data(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(IID__CalcDistClass, &type_info_);
    library->Release();
    if (FAILED(hr)) return hr;
  }
  *out = type_info_;
  return S_OK;
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
    ITypeInfo* info = nullptr;
    const HRESULT hr = DispatchTypeInfo(&info);
    if (FAILED(hr)) return hr;
    return info->Invoke(static_cast<_CalcDistClass*>(this), id, flags, params, result, exception,
                        bad_argument);
  });
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
  return NumberMethod(Result, [&] { return calc::LatFromGrid(TextFromBstr(Grid)); });
}

HRESULT CalcDistClass::LongFromGrid(BSTR Grid, float* Result) {
  return NumberMethod(Result, [&] { return calc::LongFromGrid(TextFromBstr(Grid)); });
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
