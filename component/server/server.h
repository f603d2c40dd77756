// The COM server plumbing of Pelmora.dll, for an in-process Automation
// server on Windows: the library entry, registration, the class factory and
// the unload check. The exported entry points hand over to these with their
// module state cells and their one constant project descriptor; the
// class itself holds no registry or factory code.
//
// The identifiers the descriptor carries are Pelmora's, written once in
// cmake/PelmoraIdentifiers.cmake.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstddef>

namespace pelmora::server {

// The two per-module cells, zero before the library entry runs. Only the
// services here read and write them. Both are 32-bit LONG cells in the 32-bit
// edition. In the 64-bit edition the module handle is an address of 64 bits,
// so its cell has the pointer width (LONG_PTR); the lock count stays a LONG
// in both.
//
// What holds the module is counted by kind, so that an unlock of one kind can
// never cancel a hold of another: `locks` counts live objects and live class
// factories, which only their own creation and destruction change; the server
// locks a client takes with LockServer are counted apart by the services
// (a stray LockServer(FALSE) can then never unload a module an object holds).
struct ModuleCells {
#ifdef _WIN64
  volatile LONG_PTR module;  // the module handle, set at process attach
#else
  volatile LONG module;  // the module handle, set at process attach
#endif
  volatile LONG locks;  // live objects and live factories
};

// The kinds of hold on the module: objects and factories share the `locks`
// cell, server locks have a count of their own.
enum class Hold { kObject, kFactory, kServerLock };

enum class Threading { kApartment };

// Creates one instance of a class and queries it for `iid`. The instance
// holds the module (ModuleLock with Hold::kObject) from its creation until
// its destruction.
using CreateInstanceFn = HRESULT (*)(ModuleCells& cells, REFIID iid, void** out);

struct ClassRecord {
  const wchar_t* name;  // "CalcDistClass"
  const CLSID* clsid;
  const IID* default_interface;  // _CalcDistClass
  const IID* events_interface;   // none: null
  const wchar_t* description;    // none: null
  CreateInstanceFn create;
  const wchar_t* const* method_names;  // in vtable slot order after IDispatch
  std::size_t method_count;
};

struct ProjectDescriptor {
  const wchar_t* project_name;  // "Tevaro"; ProgIDs are project.class
  const wchar_t* description;   // "Pelmora"
  const wchar_t* exe_name;      // "Pelmora"
  const wchar_t* help_file;     // none: null
  LANGID language;              // 0x0409
  Threading threading;
  const GUID* typelib_id;
  WORD typelib_major;
  WORD typelib_minor;
  LCID typelib_locale;  // the locale the library is registered under: 0
  const ClassRecord* classes;
  std::size_t class_count;
  ModuleCells* cells;  // the same cells the entry points pass, for CanUnloadNow
};

// Library entry: records the module handle at process attach and forgets it
// at process detach. Every reason succeeds.
BOOL ModuleEntry(ModuleCells& cells, HINSTANCE instance, DWORD reason, LPVOID reserved);

// The module handle recorded by ModuleEntry (null before process attach): the
// server's own file, for its path and its embedded type library.
HMODULE ModuleHandle(const ModuleCells& cells);

HRESULT RegisterServer(ModuleCells& cells, const ProjectDescriptor& project);
HRESULT UnregisterServer(ModuleCells& cells, const ProjectDescriptor& project);

// A class factory for the project's class `clsid`, queried for `iid`.
//   out null: E_POINTER; clsid not in the project: CLASS_E_CLASSNOTAVAILABLE
//   (*out null); iid neither IUnknown nor IClassFactory: E_NOINTERFACE.
// The factory's CreateInstance refuses aggregation (CLASS_E_NOAGGREGATION);
// its LockServer takes and drops a module lock.
HRESULT GetClassObject(ModuleCells& cells, const ProjectDescriptor& project, REFCLSID clsid,
                       REFIID iid, void** out);

// S_OK when no object, factory or server lock holds the module, else S_FALSE.
HRESULT CanUnloadNow(const ProjectDescriptor& project);

// Held by every live object, every live factory and every server lock, each
// kind counted apart. An unlock without a matching lock of its kind (a
// client's stray LockServer(FALSE)) leaves that count at zero and the others
// as they are.
void ModuleLock(ModuleCells& cells, Hold hold);
void ModuleUnlock(ModuleCells& cells, Hold hold);

}  // namespace pelmora::server
