// The library entry, the counts of what holds the module, and the unload
// check.
#include <windows.h>

#include "component/server/server.h"

namespace pelmora::server {

BOOL ModuleEntry(ModuleCells& cells, HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  // The loader calls this under its lock, before any other entry point at
  // attach and after the last at detach.
  if (reason == DLL_PROCESS_ATTACH) {
    cells.module = instance;
  } else if (reason == DLL_PROCESS_DETACH) {
    cells.module = nullptr;
  }
  return TRUE;
}

HMODULE ModuleHandle(const ModuleCells& cells) { return cells.module; }

namespace {

volatile LONG& CountOf(ModuleCells& cells, Hold hold) {
  return hold == Hold::kServerLock ? cells.server_locks : cells.locks;
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

HRESULT CanUnloadNow(const ModuleCells& cells) {
  const bool held = Read(cells.locks) != 0 || Read(cells.server_locks) != 0;
  return held ? S_FALSE : S_OK;
}

}  // namespace pelmora::server
