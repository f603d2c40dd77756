// The library entry, the module's path, the counts of what holds the module,
// and the unload check.
#include <windows.h>

#include <utility>

#include "component/server/heap.h"
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

HRESULT ModulePath(const ModuleCells& cells, WideText& path) {
  const HMODULE module = ModuleHandle(cells);
  if (module == nullptr) return E_UNEXPECTED;  // the library entry has not run
  WideText buffer;
  if (!buffer.Resize(MAX_PATH)) return E_OUTOFMEMORY;
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length < buffer.size()) {
      buffer.Resize(length);
      path = std::move(buffer);
      return S_OK;
    }
    if (buffer.size() >= 32768) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    if (!buffer.Resize(buffer.size() * 2)) return E_OUTOFMEMORY;
  }
}

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
