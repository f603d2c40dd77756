// Pelmora.dll's module: its state cells, its one constant project
// descriptor, the library entry and the four exported entry points, each of
// which hands over to the server services with the cells and the descriptor
// and returns what they return.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <olectl.h>

#include "Pelmora.h"
#include "component/calc_dist_class.h"
#include "component/crt_threads.h"
#include "component/server/server.h"

namespace {

using pelmora::server::ClassRecord;
using pelmora::server::ModuleCells;
using pelmora::server::ProjectDescriptor;
using pelmora::server::Threading;

// The module's state: written only by the server services.
ModuleCells cells{};

// The methods of _CalcDistClass in vtable slot order after IDispatch.
constexpr const wchar_t* kMethodNames[] = {
    L"sLocator",     L"Azimut",       L"Distanse", L"LatFromGrid",
    L"LongFromGrid", L"DistanceFrom", L"ArcCos",   L"GridFromLatLong",
};

const ClassRecord kClasses[] = {{
    L"CalcDistClass",
    &CLSID_CalcDistClass,
    &IID__CalcDistClass,
    nullptr,  // no events interface
    nullptr,  // no description
    &pelmora::component::CalcDistClass::Create,
    kMethodNames,
    sizeof kMethodNames / sizeof kMethodNames[0],
}};

const ProjectDescriptor kProject = {
    L"Tevaro",
    L"Pelmora",
    L"Pelmora",
    nullptr,  // no help file
    0x0409,
    Threading::kApartment,
    &LIBID_Tevaro,
    1,
    0,
    0,  // registered under locale 0, whatever the library's own locale
    kClasses,
    sizeof kClasses / sizeof kClasses[0],
    &cells,
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  const BOOL result = pelmora::server::ModuleEntry(cells, instance, reason, reserved);
  // Unloaded by FreeLibrary (not at process exit, when other libraries may be
  // gone already and the process takes everything anyway): the shared type
  // information goes, and the DLL gives back what its runtime holds.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    pelmora::component::CalcDistClass::ReleaseTypeInfo();
    pelmora::component::ReleaseCrtAtUnload();
  }
  return result;
}

STDAPI DllRegisterServer() { return pelmora::server::RegisterServer(cells, kProject); }

STDAPI DllUnregisterServer() { return pelmora::server::UnregisterServer(cells, kProject); }

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return pelmora::server::GetClassObject(cells, kProject, clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return pelmora::server::CanUnloadNow(kProject); }
