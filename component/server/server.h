// The COM server plumbing of Pelmora.dll, for an in-process Automation
// server on Windows: the library entry, registration, the class factory and
// the unload check. The exported entry points (component/exports.cpp) hand
// over to these with the module's state and its one constant project
// descriptor; the class itself holds no registry or factory code. Nothing
// here uses anything of component/ outside this folder.
//
// The identifiers the descriptor carries are Pelmora's, written once in
// cmake/PelmoraIdentifiers.cmake.
#pragma once

#include <ole2.h>
#include <windows.h>

#include <cstddef>

namespace pelmora::server {

// The module's state, zero before the library entry runs; only the services
// here read and write it.
//
// What holds the module is counted by kind, so that an unlock of one kind can
// never cancel a hold of another: `locks` counts live objects and live class
// factories, which only their own creation and destruction change;
// `server_locks` counts the LockServer(TRUE) calls not yet undone (a stray
// LockServer(FALSE) can then never unload a module an object holds).
struct ModuleCells {
  HMODULE module;  // set at process attach, before any other entry point runs
  volatile LONG locks;
  volatile LONG server_locks;
};

// The kinds of hold on the module: objects and factories share the `locks`
// count, server locks have a count of their own.
enum class Hold { kObject, kFactory, kServerLock };

enum class Threading { kApartment };

// Creates one instance of a class and queries it for `iid`. The instance
// holds the module (ModuleLock with Hold::kObject) from its creation until
// its destruction.
using CreateInstanceFn = HRESULT (*)(ModuleCells& cells, REFIID iid, void** out);

// What registration and the class factory need of a class.
struct ClassRecord {
  const wchar_t* name;  // "CalcDistClass"
  const CLSID* clsid;
  const IID* default_interface;  // _CalcDistClass
  const wchar_t* description;    // the friendly name; null: the ProgID
  CreateInstanceFn create;
};

// What registration and the class factory need of the server.
struct ProjectDescriptor {
  const wchar_t* project_name;  // "Tevaro"; ProgIDs are project.class
  Threading threading;
  const GUID* typelib_id;
  WORD typelib_major;
  WORD typelib_minor;
  LCID typelib_locale;  // the locale the library is registered under: 0
  const ClassRecord* classes;
  std::size_t class_count;
};

// Library entry: records the module handle at process attach and forgets it
// at process detach. Every reason succeeds.
BOOL ModuleEntry(ModuleCells& cells, HINSTANCE instance, DWORD reason, LPVOID reserved);

// The module handle recorded by ModuleEntry (null before process attach): the
// server's own file, for its path and its embedded type library.
HMODULE ModuleHandle(const ModuleCells& cells);

class WideText;  // component/server/heap.h

// The full path of the module recorded by ModuleEntry, without a length
// limit, into `path`: S_OK; E_UNEXPECTED before process attach;
// E_OUTOFMEMORY when the text cannot be allocated; else GetModuleFileNameW's
// failure. Registration and the class's type information both read it here.
HRESULT ModulePath(const ModuleCells& cells, WideText& path);

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
HRESULT CanUnloadNow(const ModuleCells& cells);

// Held by every live object, every live factory and every server lock, each
// kind counted apart. An unlock without a matching lock of its kind (a
// client's stray LockServer(FALSE)) leaves that count at zero and the others
// as they are.
void ModuleLock(ModuleCells& cells, Hold hold);
void ModuleUnlock(ModuleCells& cells, Hold hold);

}  // namespace pelmora::server
