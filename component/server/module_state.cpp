// The library entry, the counts of what holds the module, and the unload
// check.
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

namespace {

// LockServer(TRUE) calls not yet undone, by any client of this module.
volatile LONG server_locks = 0;

volatile LONG& CountOf(ModuleCells& cells, Hold hold) {
  return hold == Hold::kServerLock ? server_locks : cells.locks;
}

LONG Read(const volatile LONG& count) {
  return InterlockedCompareExchange(const_cast<volatile LONG*>(&count), 0, 0);
}

}  // namespace

void ModuleLock(ModuleCells& cells, Hold hold) { InterlockedIncrement(&CountOf(cells, hold)); }

void ModuleUnlock(ModuleCells& cells, Hold hold) {
  // An unlock never drives its count below zero, where no later release could
  // bring it back to "unloadable".
  volatile LONG& count = CountOf(cells, hold);
  LONG seen = count;
  while (seen > 0) {
    const LONG before = InterlockedCompareExchange(&count, seen - 1, seen);
    if (before == seen) return;
    seen = before;
  }
}

HRESULT CanUnloadNow(const ProjectDescriptor& project) {
  if (project.cells == nullptr) return S_FALSE;
  const ModuleCells& cells = *project.cells;
  const bool held = Read(cells.locks) != 0 || Read(server_locks) != 0;
  return held ? S_FALSE : S_OK;
}

}  // namespace pelmora::server
