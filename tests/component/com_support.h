// Helpers of the Windows test programs of Pelmora.dll: the DLL loaded from
// the test program's folder, an instance made through its class factory, an
// owner for VARIANTs and EXCEPINFOs beside the production owners.
#pragma once

#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "Pelmora.h"
#include "component/server/owners.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace pelmora::test {

// The platform of the edition's type library, as each edition is built.
#ifdef _WIN64
inline constexpr SYSKIND kSysKind = SYS_WIN64;
#else
inline constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

// An HRESULT printed in hex by GoogleTest.
struct Hr {
  HRESULT value;
  friend bool operator==(Hr a, Hr b) { return a.value == b.value; }
  friend void PrintTo(Hr hr, std::ostream* os) {
    char text[16];
    wsprintfA(text, "0x%08lX", static_cast<unsigned long>(hr.value));
    *os << text;
  }
};

// The failure HRESULTs of the runtime errors.
inline constexpr HRESULT kOverflow = static_cast<HRESULT>(0x800A0006);
inline constexpr HRESULT kInvalidArgument = static_cast<HRESULT>(0x800A0005);
inline constexpr HRESULT kFloatingPoint = static_cast<HRESULT>(0x800A0201);

inline HRESULT ExpectedStatus(runtime::RtError error) {
  switch (error) {
    case runtime::RtError::kNone:
      return S_OK;
    case runtime::RtError::kOverflow:
      return kOverflow;
    case runtime::RtError::kFloatingPoint:
      return kFloatingPoint;
    case runtime::RtError::kInvalidArgument:
      return kInvalidArgument;
  }
  return E_UNEXPECTED;
}

// A wide text as printable ASCII for failure messages; other units as '?'.
inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  return out;
}

// Pelmora.dll in the folder of the running test program, where the build
// puts it.
inline std::wstring ServerBesideProgram() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) break;
    path.resize(path.size() * 2);
  }
  std::wstring folder(path.data());
  return folder.substr(0, folder.find_last_of(L"\\/") + 1) + L"Pelmora.dll";
}

// The owners of Pelmora.dll's own code.
using server::Bstr;
using server::ComPtr;

// A BSTR as a text: the null BSTR as the null text.
inline runtime::Text AsText(const Bstr& bstr) {
  if (bstr.get() == nullptr) return runtime::Text();
  return runtime::Text(
      std::u16string(reinterpret_cast<const char16_t*>(bstr.get()), SysStringLen(bstr.get())));
}

// An owned VARIANT, cleared on destruction.
struct Variant {
  VARIANT v;
  Variant() { VariantInit(&v); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v); }
};

// The strings of an EXCEPINFO, freed on destruction. It is an EXCEPINFO, so
// that its address goes straight to IDispatch::Invoke.
struct ExcepInfo : EXCEPINFO {
  ExcepInfo() : EXCEPINFO{} {}
  ExcepInfo(const ExcepInfo&) = delete;
  ExcepInfo& operator=(const ExcepInfo&) = delete;
  ~ExcepInfo() {
    SysFreeString(bstrSource);
    SysFreeString(bstrDescription);
    SysFreeString(bstrHelpFile);
  }
};

// Arguments for IDispatch::Invoke, one VARIANT of each type; whoever holds
// one clears it (Str allocates a BSTR, the null text gives the null BSTR).
inline VARIANT OfType(VARTYPE type) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = type;
  return v;
}
inline VARIANT R8(double x) {
  VARIANT v = OfType(VT_R8);
  V_R8(&v) = x;
  return v;
}
inline VARIANT R4(float x) {
  VARIANT v = OfType(VT_R4);
  V_R4(&v) = x;
  return v;
}
inline VARIANT I2(SHORT x) {
  VARIANT v = OfType(VT_I2);
  V_I2(&v) = x;
  return v;
}
inline VARIANT I4(LONG x) {
  VARIANT v = OfType(VT_I4);
  V_I4(&v) = x;
  return v;
}
inline VARIANT Str(const wchar_t* text) {
  VARIANT v = OfType(VT_BSTR);
  V_BSTR(&v) = text == nullptr ? nullptr : SysAllocString(text);
  return v;
}

// Pelmora.dll, loaded from the folder of the test program once per process.
class Server {
 public:
  static Server& Get();

  HMODULE module() const { return module_; }
  const std::wstring& path() const { return path_; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const;
  HRESULT CanUnloadNow() const;

  // A new instance through DllGetClassObject and IClassFactory; fails the
  // test (and gives null) when that does not work.
  ComPtr<_CalcDistClass> Create() const;

 private:
  Server();
  HMODULE module_ = nullptr;
  std::wstring path_;
  HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* can_unload_now_)() = nullptr;
};

// Gives one object a copy of its _CalcDistClass vtable with one slot
// replaced, as long as the hook lives: calls through that slot, by a client
// or by the object itself, reach `function` instead.
inline constexpr int kArcCosSlot = 3 + 4 + 6;  // IUnknown, IDispatch, then ArcCos
inline constexpr int kVtableSlots = 3 + 4 + 8;

class VtableHook {
 public:
  template <class Function>
  VtableHook(_CalcDistClass* object, int slot, Function* function) : object_(object) {
    original_ = *reinterpret_cast<void** const*>(object);
    for (int i = 0; i < kVtableSlots; ++i) copy_[i] = original_[i];
    copy_[slot] = reinterpret_cast<void*>(function);
    *reinterpret_cast<void***>(object_) = copy_;
  }
  ~VtableHook() { *reinterpret_cast<void***>(object_) = original_; }
  VtableHook(const VtableHook&) = delete;
  VtableHook& operator=(const VtableHook&) = delete;

 private:
  _CalcDistClass* object_;
  void** original_ = nullptr;
  void* copy_[kVtableSlots] = {};
};

// The reference count an AddRef/Release pair reports.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace pelmora::test
