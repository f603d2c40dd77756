// The library entry, the module lock count and the unload check.
#include <windows.h>

#include "component/server/server.h"

namespace pelmora::server {

BOOL ModuleEntry(ModuleCells& cells, HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  // The module handle fits its cell exactly: 32 bits in the 32-bit edition,
  // the pointer width in the 64-bit one.
  static_assert(sizeof(HINSTANCE) == sizeof(cells.module), "the module cell holds a handle");
#ifdef _WIN64
  const LONG_PTR handle = reinterpret_cast<LONG_PTR>(instance);
  if (reason == DLL_PROCESS_ATTACH) {
    InterlockedExchange64(&cells.module, handle);
  } else if (reason == DLL_PROCESS_DETACH) {
    InterlockedExchange64(&cells.module, 0);
  }
#else
  if (reason == DLL_PROCESS_ATTACH) {
    InterlockedExchange(&cells.module, static_cast<LONG>(reinterpret_cast<LONG_PTR>(instance)));
  } else if (reason == DLL_PROCESS_DETACH) {
    InterlockedExchange(&cells.module, 0);
  }
#endif
  return TRUE;
}

HMODULE ModuleHandle(const ModuleCells& cells) {
  return reinterpret_cast<HMODULE>(static_cast<LONG_PTR>(cells.module));
}

void ModuleLock(ModuleCells& cells) { InterlockedIncrement(&cells.locks); }

void ModuleUnlock(ModuleCells& cells) {
  // A client's stray LockServer(FALSE) must not drive the count below zero,
  // where no later release could bring it back to "unloadable".
  LONG seen = cells.locks;
  while (seen > 0) {
    const LONG before = InterlockedCompareExchange(&cells.locks, seen - 1, seen);
    if (before == seen) return;
    seen = before;
  }
}

HRESULT CanUnloadNow(const ProjectDescriptor& project) {
  if (project.cells == nullptr) return S_FALSE;
  const LONG locks = InterlockedCompareExchange(&project.cells->locks, 0, 0);
  return locks == 0 ? S_OK : S_FALSE;
}

}  // namespace pelmora::server
