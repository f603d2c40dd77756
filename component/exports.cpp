// Pelmora.dll's exports: the module's state, its one constant project
// descriptor, the library entry and the four exported entry points, each of
// which hands over to the server services (component/server/) with the state
// and the descriptor and returns what they return.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <olectl.h>

#include "Pelmora.h"
#include "component/calc_dist_class.h"
#include "component/crt_threads.h"
#include "component/server/server.h"
#include "pelmora_identifiers.h"

namespace {

using pelmora::server::ClassRecord;
using pelmora::server::ModuleCells;
using pelmora::server::ProjectDescriptor;
using pelmora::server::Threading;

// The module's state: written only by the server services.
ModuleCells cells{};

const ClassRecord kClasses[] = {{
    PELMORA_CLASS_NAME_W,
    &CLSID_CalcDistClass,
    &IID__CalcDistClass,
    nullptr,  // no description: the friendly name is the ProgID
    &pelmora::component::CalcDistClass::Create,
}};

const ProjectDescriptor kProject = {
    PELMORA_LIBRARY_NAME_W,
    Threading::kApartment,
    &LIBID_Tevaro,
    PELMORA_TYPELIB_VERSION_MAJOR,
    PELMORA_TYPELIB_VERSION_MINOR,
    0,  // registered under locale 0, whatever the library's own locale
    kClasses,
    sizeof kClasses / sizeof kClasses[0],
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

STDAPI DllCanUnloadNow() { return pelmora::server::CanUnloadNow(cells); }
