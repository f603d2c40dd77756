// CalcDistClass: the Automation class of Pelmora.dll, with its dual interface
// _CalcDistClass, IDispatch and ISupportErrorInfo.
//
// The class is a thin shell over calc/: each method converts its arguments,
// runs one calculation and turns its outcome into the out-parameter and an
// HRESULT (component/status.h). Every method follows the same frame:
//   - a null out-pointer: E_POINTER, nothing written;
//   - the out-parameter starts as the null BSTR or 0 and always receives the
//     method's result variable, on failure as the calculation left it;
//   - the object holds a reference on itself for the duration of the call;
//   - nothing throws (the DLL is built without C++ exceptions): an
//     allocation that fails gives E_OUTOFMEMORY where it is made;
//   - the method computes in the DLL's own floating-point environment and
//     leaves the caller's as it was (runtime/fp_guard.h); so do
//     GetIDsOfNames and Invoke, whose argument coercion computes too.
//
// IDispatch hands over to the type information of the type library embedded
// in the DLL, loaded on first use once for the module: the platform looks
// names up (case-insensitively), coerces arguments to the declared types and
// answers DISP_E_* for calls that do not fit; a failing method becomes
// DISP_E_EXCEPTION with EXCEPINFO filled from the error object. Invoke
// answers the usual call itself (InvokeDirectly below), with the same result.
//
// Apartment model: an instance is called only on the thread that created it;
// Azimut keeps its working values in the instance.
#pragma once

#include <windows.h>

#include "Pelmora.h"
#include "calc/bearing.h"
#include "component/server/owners.h"
#include "component/server/server.h"

namespace pelmora::component {

// COM objects are destroyed by their own Release, never deleted through an
// interface pointer, so the interfaces' non-virtual destructors are by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CalcDistClass final : public _CalcDistClass, public ISupportErrorInfo {
 public:
  // The class record's CreateInstanceFn: a new instance queried for `iid`.
  static HRESULT Create(server::ModuleCells& cells, REFIID iid, void** out);

  CalcDistClass(const CalcDistClass&) = delete;
  CalcDistClass& operator=(const CalcDistClass&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* bad_argument) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

  // _CalcDistClass
  HRESULT STDMETHODCALLTYPE sLocator(float sLat, float sLon, BSTR* Result) override;
  HRESULT STDMETHODCALLTYPE Azimut(float MyLat, float MyLon, float lnLatitude, float lnLongitude,
                                   float* Result) override;
  HRESULT STDMETHODCALLTYPE Distanse(float lnLatitude, float lnLongitude, float* Result) override;
  HRESULT STDMETHODCALLTYPE LatFromGrid(BSTR Grid, float* Result) override;
  HRESULT STDMETHODCALLTYPE LongFromGrid(BSTR Grid, float* Result) override;
  HRESULT STDMETHODCALLTYPE DistanceFrom(float alat, float alon, float blat, float blon,
                                         float* Result) override;
  HRESULT STDMETHODCALLTYPE ArcCos(float X, float* Result) override;
  HRESULT STDMETHODCALLTYPE GridFromLatLong(float dLat, float dLon, BSTR* Result) override;

  // Releases the module's type information; for the library entry when the
  // library is unloaded.
  static void ReleaseTypeInfo();

 private:
  explicit CalcDistClass(server::ModuleCells& cells);
  ~CalcDistClass();

  // The type information GetIDsOfNames and Invoke hand over to: loaded from
  // the DLL's own type library on first use, once for the module, and shared
  // by every object. A failure leaves its own error object (a description
  // only for E_OUTOFMEMORY), ready to be returned.
  HRESULT DispatchTypeInfo(ITypeInfo** out);

  // Invoke's direct answer to the usual call: a method by its DISPID with
  // its arguments in order, each a number or a text of a type that converts
  // without a choice to make. Then *answer is Invoke's result and the method
  // has been called through the vtable, as the type information would call
  // it; otherwise false, and nothing has happened.
  bool InvokeDirectly(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result,
                      EXCEPINFO* exception, HRESULT* answer);

  template <class Calculation>
  HRESULT NumberMethod(float* Result, Calculation&& calculation);
  template <class Calculation>
  HRESULT TextMethod(BSTR* Result, Calculation&& calculation);

  server::ModuleCells& cells_;
  volatile LONG refs_ = 1;
  // The private fields of the bearing, OtherLatRad to AzimutValue in order.
  calc::BearingFields bearing_;
};
#pragma GCC diagnostic pop

}  // namespace pelmora::component
