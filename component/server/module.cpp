// The library entry, the counts of what holds the module, and the unload
// check.
#include <windows.h>

#include "component/server/server.h"

namespace pelmora::server {

BOOL ModuleEntry(ModuleCells& cells, HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  // A 32-bit module handle fits the 32-bit cell exactly.
  static_assert(sizeof(HINSTANCE) == sizeof(LONG), "the module cell holds a 32-bit handle");
  if (reason == DLL_PROCESS_ATTACH) {
    InterlockedExchange(&cells.module, static_cast<LONG>(reinterpret_cast<LONG_PTR>(instance)));
  } else if (reason == DLL_PROCESS_DETACH) {
    InterlockedExchange(&cells.module, 0);
  }
  return TRUE;
}

HMODULE ModuleHandle(const ModuleCells& cells) {
  return reinterpret_cast<HMODULE>(static_cast<LONG_PTR>(cells.module));
}

namespace {

volatile LONG& CountOf(ModuleCells& cells, Hold hold) {
  switch (hold) {
    case Hold::kObject:
      return cells.objects;
    case Hold::kFactory:
      return cells.factories;
    case Hold::kServerLock:
      return cells.server_locks;
  }
  return cells.server_locks;  // no other kind exists
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
  const bool held =
      Read(cells.objects) != 0 || Read(cells.factories) != 0 || Read(cells.server_locks) != 0;
  return held ? S_FALSE : S_OK;
}

}  // namespace pelmora::server
