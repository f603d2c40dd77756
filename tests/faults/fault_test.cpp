// Pelmora.dll with the calls it imports failing one at a time.
//
// The program loads the DLL and replaces the entries of its import address
// table for the registry functions, the type library functions, the module
// path, the heap allocator, the Automation string allocator and the error
// object functions with wrappers. A wrapper counts the calls made while a
// scenario runs and fails the Nth with the failure the function documents:
// ERROR_ACCESS_DENIED from the registry, TYPE_E_REGISTRYACCESS from
// (Un)RegisterTypeLib, E_OUTOFMEMORY from LoadTypeLibEx, CreateErrorInfo and
// SetErrorInfo, a null block or string from the allocators, and
// ERROR_NOT_ENOUGH_MEMORY from GetModuleFileNameW. A run without a fault
// lists a scenario's calls, its fault points; then run N fails the Nth call,
// for N = 1, 2, ... until a run makes fewer than N calls.
//
// Each run loads the DLL afresh (so the type information starts unloaded)
// and unloads it at the end; then no registry key, file handle or heap block
// the DLL took may be left, and the process holds no more handles, heap
// bytes or task allocator blocks (every string, with OANOCACHE=1) than
// before. Each scenario judges the run's status, the
// registry (the keys of the server, walked in both views, and the number of
// keys beside them) and the error object:
//   - registration on a clean registry: S_OK with the registration complete,
//     or a failure status with the registry clean;
//   - registration over a working registration: the working registration,
//     unchanged and still working, whatever the status;
//   - unregistration: S_OK only with the registry clean; after a failure,
//     an unregistration without faults gives S_OK and a clean registry;
//   - the methods, and IDispatch: the fault-free status and result, or
//     E_OUTOFMEMORY for an allocation that failed; after a failure the
//     thread's error object (or EXCEPINFO) is this failure's or none, never
//     the one the program set before the call.
// The summary lists the fault points of each scenario by function and the
// points whose run failed a check, by check.
//
// The registration scenarios write the machine's classes: the program runs
// in the server tests' Wine prefix and leaves the registry as it found it.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/component/com_support.h"
#include "tests/component/holdings.h"

namespace pelmora::test {
namespace {

// ---- Faults ----

enum class Kind { kAllocation, kRegistry, kTypeLib, kModulePath, kErrorObject };

struct Faults {
  bool armed = false;
  std::size_t fail_at = 0;            // the call that fails, from 1; 0: none
  std::vector<const char*> calls;     // the injectable calls made while armed
  const char* fired = nullptr;        // the function whose call failed
  Kind fired_kind = Kind::kRegistry;  // and its kind
  // What the DLL holds of what it took through the wrappers.
  std::set<void*> blocks;
  std::set<HKEY> keys;
  std::set<HANDLE> files;
};
Faults faults;

// Whether this call of `name` fails.
bool Fault(const char* name, Kind kind) {
  if (!faults.armed) return false;
  faults.calls.push_back(name);
  if (faults.calls.size() != faults.fail_at) return false;
  faults.fired = name;
  faults.fired_kind = kind;
  return true;
}

// The real functions, from their own DLLs.
template <class F>
F Real(const wchar_t* dll, const char* name) {
  const HMODULE module = LoadLibraryW(dll);
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
#define REAL(dll, function) const auto real_##function = Real<decltype(&function)>(dll, #function)

constexpr wchar_t kAdvapi[] = L"advapi32.dll";
constexpr wchar_t kOleaut[] = L"oleaut32.dll";
constexpr wchar_t kKernel[] = L"kernel32.dll";
constexpr wchar_t kMsvcrt[] = L"msvcrt.dll";
REAL(kAdvapi, RegCloseKey);
REAL(kAdvapi, RegOpenKeyExW);
REAL(kAdvapi, RegCreateKeyExW);
REAL(kAdvapi, RegDeleteKeyW);
REAL(kAdvapi, RegDeleteKeyExW);
REAL(kAdvapi, RegDeleteValueW);
REAL(kAdvapi, RegDeleteTreeW);
REAL(kAdvapi, RegGetValueW);
REAL(kAdvapi, RegQueryValueExW);
REAL(kAdvapi, RegSetValueExW);
REAL(kAdvapi, RegQueryInfoKeyW);
REAL(kAdvapi, RegEnumKeyExW);
REAL(kAdvapi, RegEnumValueW);
REAL(kOleaut, RegisterTypeLib);
REAL(kOleaut, UnRegisterTypeLib);
REAL(kOleaut, LoadTypeLibEx);
REAL(kKernel, GetModuleFileNameW);
REAL(kKernel, CreateFileW);
REAL(kKernel, CloseHandle);
REAL(kMsvcrt, malloc);
REAL(kMsvcrt, calloc);
REAL(kMsvcrt, realloc);
REAL(kMsvcrt, free);
REAL(kOleaut, SysAllocStringLen);
REAL(kOleaut, SysAllocString);
REAL(kOleaut, CreateErrorInfo);
REAL(kOleaut, SetErrorInfo);

// -- Registry: ERROR_ACCESS_DENIED --
LSTATUS WINAPI WrapRegCloseKey(HKEY key) {
  faults.keys.erase(key);
  return real_RegCloseKey(key);
}
LSTATUS WINAPI WrapRegOpenKeyExW(HKEY key, LPCWSTR name, DWORD options, REGSAM sam, PHKEY out) {
  if (Fault("RegOpenKeyExW", Kind::kRegistry)) {
    if (out != nullptr) *out = nullptr;
    return ERROR_ACCESS_DENIED;
  }
  const LSTATUS status = real_RegOpenKeyExW(key, name, options, sam, out);
  if (status == ERROR_SUCCESS) faults.keys.insert(*out);
  return status;
}
LSTATUS WINAPI WrapRegCreateKeyExW(HKEY key, LPCWSTR name, DWORD reserved, LPWSTR klass,
                                   DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES security,
                                   PHKEY out, LPDWORD disposition) {
  if (Fault("RegCreateKeyExW", Kind::kRegistry)) {
    if (out != nullptr) *out = nullptr;
    return ERROR_ACCESS_DENIED;
  }
  const LSTATUS status =
      real_RegCreateKeyExW(key, name, reserved, klass, options, sam, security, out, disposition);
  if (status == ERROR_SUCCESS) faults.keys.insert(*out);
  return status;
}
LSTATUS WINAPI WrapRegDeleteKeyW(HKEY key, LPCWSTR name) {
  if (Fault("RegDeleteKeyW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegDeleteKeyW(key, name);
}
LSTATUS WINAPI WrapRegDeleteKeyExW(HKEY key, LPCWSTR name, REGSAM sam, DWORD reserved) {
  if (Fault("RegDeleteKeyExW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegDeleteKeyExW(key, name, sam, reserved);
}
LSTATUS WINAPI WrapRegDeleteValueW(HKEY key, LPCWSTR name) {
  if (Fault("RegDeleteValueW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegDeleteValueW(key, name);
}
LSTATUS WINAPI WrapRegDeleteTreeW(HKEY key, LPCWSTR name) {
  if (Fault("RegDeleteTreeW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegDeleteTreeW(key, name);
}
LSTATUS WINAPI WrapRegGetValueW(HKEY key, LPCWSTR sub, LPCWSTR name, DWORD flags, LPDWORD type,
                                PVOID data, LPDWORD bytes) {
  if (Fault("RegGetValueW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegGetValueW(key, sub, name, flags, type, data, bytes);
}
LSTATUS WINAPI WrapRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD bytes) {
  if (Fault("RegQueryValueExW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegQueryValueExW(key, name, reserved, type, data, bytes);
}
LSTATUS WINAPI WrapRegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD bytes) {
  if (Fault("RegSetValueExW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegSetValueExW(key, name, reserved, type, data, bytes);
}
LSTATUS WINAPI WrapRegQueryInfoKeyW(HKEY key, LPWSTR klass, LPDWORD klass_size, LPDWORD reserved,
                                    LPDWORD subkeys, LPDWORD max_subkey, LPDWORD max_class,
                                    LPDWORD values, LPDWORD max_name, LPDWORD max_data,
                                    LPDWORD security, PFILETIME written) {
  if (Fault("RegQueryInfoKeyW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegQueryInfoKeyW(key, klass, klass_size, reserved, subkeys, max_subkey, max_class,
                               values, max_name, max_data, security, written);
}
LSTATUS WINAPI WrapRegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size,
                                 LPDWORD reserved, LPWSTR klass, LPDWORD klass_size,
                                 PFILETIME written) {
  if (Fault("RegEnumKeyExW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegEnumKeyExW(key, index, name, name_size, reserved, klass, klass_size, written);
}
LSTATUS WINAPI WrapRegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_size,
                                 LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD bytes) {
  if (Fault("RegEnumValueW", Kind::kRegistry)) return ERROR_ACCESS_DENIED;
  return real_RegEnumValueW(key, index, name, name_size, reserved, type, data, bytes);
}

// -- Type libraries --

HRESULT WINAPI WrapRegisterTypeLib(ITypeLib* library, LPOLESTR path, LPOLESTR help) {
  if (Fault("RegisterTypeLib", Kind::kTypeLib)) return TYPE_E_REGISTRYACCESS;
  return real_RegisterTypeLib(library, path, help);
}
HRESULT WINAPI WrapUnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID locale,
                                     SYSKIND sys) {
  if (Fault("UnRegisterTypeLib", Kind::kTypeLib)) return TYPE_E_REGISTRYACCESS;
  return real_UnRegisterTypeLib(libid, major, minor, locale, sys);
}
HRESULT WINAPI WrapLoadTypeLibEx(LPCOLESTR path, REGKIND kind, ITypeLib** out) {
  if (Fault("LoadTypeLibEx", Kind::kTypeLib)) {
    if (out != nullptr) *out = nullptr;
    return E_OUTOFMEMORY;
  }
  return real_LoadTypeLibEx(path, kind, out);
}

// -- The module path --

DWORD WINAPI WrapGetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
  if (Fault("GetModuleFileNameW", Kind::kModulePath)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return real_GetModuleFileNameW(module, path, size);
}
HANDLE WINAPI WrapCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE tmpl) {
  const HANDLE file = real_CreateFileW(name, access, share, security, disposition, flags, tmpl);
  if (file != INVALID_HANDLE_VALUE) faults.files.insert(file);
  return file;
}
BOOL WINAPI WrapCloseHandle(HANDLE handle) {
  faults.files.erase(handle);
  return real_CloseHandle(handle);
}

// -- The heap allocator: a null block --

void* __cdecl WrapMalloc(std::size_t size) {
  if (Fault("malloc", Kind::kAllocation)) {
    errno = ENOMEM;
    return nullptr;
  }
  void* const block = real_malloc(size);
  if (block != nullptr) faults.blocks.insert(block);
  return block;
}
void* __cdecl WrapCalloc(std::size_t count, std::size_t size) {
  if (Fault("calloc", Kind::kAllocation)) {
    errno = ENOMEM;
    return nullptr;
  }
  void* const block = real_calloc(count, size);
  if (block != nullptr) faults.blocks.insert(block);
  return block;
}
void* __cdecl WrapRealloc(void* block, std::size_t size) {
  if (Fault("realloc", Kind::kAllocation)) {
    errno = ENOMEM;
    return nullptr;
  }
  void* const moved = real_realloc(block, size);
  if (moved != nullptr || size == 0) faults.blocks.erase(block);
  if (moved != nullptr) faults.blocks.insert(moved);
  return moved;
}
void __cdecl WrapFree(void* block) {
  faults.blocks.erase(block);
  real_free(block);
}

// -- Automation strings: a null string --
BSTR WINAPI WrapSysAllocStringLen(const OLECHAR* units, UINT length) {
  if (Fault("SysAllocStringLen", Kind::kAllocation)) return nullptr;
  const BSTR text = real_SysAllocStringLen(units, length);
  return text;
}
BSTR WINAPI WrapSysAllocString(const OLECHAR* units) {
  if (Fault("SysAllocString", Kind::kAllocation)) return nullptr;
  const BSTR text = real_SysAllocString(units);
  return text;
}

// -- Error objects: E_OUTOFMEMORY --
HRESULT WINAPI WrapCreateErrorInfo(ICreateErrorInfo** out) {
  if (Fault("CreateErrorInfo", Kind::kErrorObject)) {
    if (out != nullptr) *out = nullptr;
    return E_OUTOFMEMORY;
  }
  return real_CreateErrorInfo(out);
}
HRESULT WINAPI WrapSetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (Fault("SetErrorInfo", Kind::kErrorObject)) return E_OUTOFMEMORY;
  return real_SetErrorInfo(reserved, info);
}

struct Wrapper {
  const char* name;
  void* function;
};
const Wrapper kWrappers[] = {
    {"RegCloseKey", reinterpret_cast<void*>(&WrapRegCloseKey)},
    {"RegOpenKeyExW", reinterpret_cast<void*>(&WrapRegOpenKeyExW)},
    {"RegCreateKeyExW", reinterpret_cast<void*>(&WrapRegCreateKeyExW)},
    {"RegDeleteKeyW", reinterpret_cast<void*>(&WrapRegDeleteKeyW)},
    {"RegDeleteKeyExW", reinterpret_cast<void*>(&WrapRegDeleteKeyExW)},
    {"RegDeleteValueW", reinterpret_cast<void*>(&WrapRegDeleteValueW)},
    {"RegDeleteTreeW", reinterpret_cast<void*>(&WrapRegDeleteTreeW)},
    {"RegGetValueW", reinterpret_cast<void*>(&WrapRegGetValueW)},
    {"RegQueryValueExW", reinterpret_cast<void*>(&WrapRegQueryValueExW)},
    {"RegSetValueExW", reinterpret_cast<void*>(&WrapRegSetValueExW)},
    {"RegQueryInfoKeyW", reinterpret_cast<void*>(&WrapRegQueryInfoKeyW)},
    {"RegEnumKeyExW", reinterpret_cast<void*>(&WrapRegEnumKeyExW)},
    {"RegEnumValueW", reinterpret_cast<void*>(&WrapRegEnumValueW)},
    {"RegisterTypeLib", reinterpret_cast<void*>(&WrapRegisterTypeLib)},
    {"UnRegisterTypeLib", reinterpret_cast<void*>(&WrapUnRegisterTypeLib)},
    {"LoadTypeLibEx", reinterpret_cast<void*>(&WrapLoadTypeLibEx)},
    {"GetModuleFileNameW", reinterpret_cast<void*>(&WrapGetModuleFileNameW)},
    {"CreateFileW", reinterpret_cast<void*>(&WrapCreateFileW)},
    {"CloseHandle", reinterpret_cast<void*>(&WrapCloseHandle)},
    {"malloc", reinterpret_cast<void*>(&WrapMalloc)},
    {"calloc", reinterpret_cast<void*>(&WrapCalloc)},
    {"realloc", reinterpret_cast<void*>(&WrapRealloc)},
    {"free", reinterpret_cast<void*>(&WrapFree)},
    {"SysAllocStringLen", reinterpret_cast<void*>(&WrapSysAllocStringLen)},
    {"SysAllocString", reinterpret_cast<void*>(&WrapSysAllocString)},
    {"CreateErrorInfo", reinterpret_cast<void*>(&WrapCreateErrorInfo)},
    {"SetErrorInfo", reinterpret_cast<void*>(&WrapSetErrorInfo)},
};

// Imports that must go through a wrapper: every registry function, and
// every other way to the heap, to strings, to type libraries or to error
// objects that the DLL might take.
bool NeedsWrapper(const std::string& name) {
  static const std::set<std::string> kOthers = {"HeapAlloc",
                                                "HeapReAlloc",
                                                "LocalAlloc",
                                                "GlobalAlloc",
                                                "CoTaskMemAlloc",
                                                "CoTaskMemRealloc",
                                                "SysAllocString",
                                                "SysAllocStringLen",
                                                "SysAllocStringByteLen",
                                                "SysReAllocString",
                                                "SysReAllocStringLen",
                                                "_strdup",
                                                "_wcsdup",
                                                "malloc",
                                                "calloc",
                                                "realloc",
                                                "_aligned_malloc",
                                                "RegisterTypeLib",
                                                "UnRegisterTypeLib",
                                                "LoadTypeLib",
                                                "LoadTypeLibEx",
                                                "LoadRegTypeLib",
                                                "GetModuleFileNameW",
                                                "GetModuleFileNameA",
                                                "CreateErrorInfo",
                                                "SetErrorInfo"};
  return name.rfind("Reg", 0) == 0 || kOthers.count(name) != 0;
}

// Points the DLL's import address table at the wrappers. Returns the
// imports that need a wrapper and have none; `patched` gets the names of the
// entries replaced.
std::vector<std::string> PatchImports(HMODULE module, std::set<std::string>& patched) {
  std::vector<std::string> unwrapped;
  BYTE* const base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       entry->Name != 0; ++entry) {
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const std::string name(reinterpret_cast<const char*>(by_name->Name));
      const Wrapper* wrapper = nullptr;
      for (const Wrapper& w : kWrappers) {
        if (name == w.name) wrapper = &w;
      }
      if (wrapper == nullptr) {
        if (NeedsWrapper(name)) unwrapped.push_back(name);
        continue;
      }
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(wrapper->function);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      patched.insert(name);
    }
  }
  return unwrapped;
}

// ---- What the process holds ----

pelmora::test::TaskBlockSpy task_blocks;

// What the process holds, and the task allocator's blocks.
struct Holdings {
  pelmora::test::ProcessHoldings process;
  LONG task_blocks;
};

Holdings Measure() { return {pelmora::test::MeasureProcess(), task_blocks.Outstanding()}; }

// ---- The registry ----

// The registry views: this process's own, and the other one on 64-bit
// Windows.
std::vector<REGSAM> Views() {
#ifdef _WIN64
  return {0, KEY_WOW64_32KEY};
#else
  BOOL wow64 = FALSE;
  if (IsWow64Process(GetCurrentProcess(), &wow64) && wow64) return {0, KEY_WOW64_64KEY};
  return {0};
#endif
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (const wchar_t c : text) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

// Lines describing a key and everything below it, keys in name order:
// "[view] path" for each key and "[view] path: name type data" for each
// value.
void Walk(HKEY root, const std::wstring& path, REGSAM view, std::vector<std::string>& lines) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return;
  const std::string prefix = "[" + std::to_string(view) + "] " + Utf8(path);
  lines.push_back(prefix);
  DWORD subkeys = 0, values = 0, max_name = 0, max_value_name = 0, max_data = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &max_name, nullptr, &values,
                   &max_value_name, &max_data, nullptr, nullptr);
  std::vector<std::string> value_lines;
  for (DWORD i = 0; i < values; ++i) {
    std::wstring name(max_value_name + 2, L'\0');
    std::vector<BYTE> data(max_data + 2);
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueW(key, i, name.data(), &name_size, nullptr, &type, data.data(), &data_size) !=
        ERROR_SUCCESS) {
      value_lines.push_back(prefix + ": (unreadable value)");
      continue;
    }
    name.resize(name_size);
    std::string line =
        prefix + ": " + (name.empty() ? "@" : Utf8(name)) + " " + std::to_string(type) + " ";
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
      line += "\"" +
              Utf8(std::wstring(reinterpret_cast<const wchar_t*>(data.data()),
                                data_size / sizeof(wchar_t))) +
              "\"";
    } else {
      for (DWORD b = 0; b < data_size; ++b) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", data[b]);
        line += hex;
      }
    }
    value_lines.push_back(line);
  }
  std::sort(value_lines.begin(), value_lines.end());
  lines.insert(lines.end(), value_lines.begin(), value_lines.end());
  std::vector<std::wstring> names;
  for (DWORD i = 0; i < subkeys; ++i) {
    std::wstring name(max_name + 2, L'\0');
    DWORD size = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &size, nullptr, nullptr, nullptr, nullptr) ==
        ERROR_SUCCESS) {
      name.resize(size);
      names.push_back(name);
    }
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  for (const std::wstring& name : names) Walk(root, path + L"\\" + name, view, lines);
}

// The number of subkeys and values of a key that holds the server's keys
// among others: a key written or left beside ours changes it.
void Count(HKEY root, const std::wstring& path, REGSAM view, std::vector<std::string>& lines) {
  HKEY key = nullptr;
  std::string line = "# [" + std::to_string(view) + "] " + Utf8(path);
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    lines.push_back(line + " absent");
    return;
  }
  DWORD subkeys = 0, values = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  lines.push_back(line + " " + std::to_string(subkeys) + " subkeys " + std::to_string(values) +
                  " values");
}

std::wstring Guid(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// The server's keys in every view, machine-wide and the user's, and the
// number of keys beside them.
const std::wstring kClasses = L"SOFTWARE\\Classes";
std::vector<std::wstring> ServerKeys() {
  return {kClasses + L"\\CLSID\\" + Guid(CLSID_CalcDistClass), kClasses + L"\\Tevaro.CalcDistClass",
          kClasses + L"\\TypeLib\\" + Guid(LIBID_Tevaro),
          kClasses + L"\\Interface\\" + Guid(IID__CalcDistClass)};
}

// Deletes the server's keys without the DLL, after a run left what the DLL
// does not remove.
void DeleteServerKeys() {
  for (const REGSAM view : Views()) {
    for (const std::wstring& path : ServerKeys()) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) !=
          ERROR_SUCCESS) {
        continue;
      }
      RegDeleteTreeW(key, nullptr);
      RegCloseKey(key);
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), view, 0);
    }
  }
}

std::vector<std::string> Snapshot() {
  const std::wstring& classes = kClasses;
  std::vector<std::wstring> ours;
  for (const std::wstring& key : ServerKeys()) ours.push_back(key.substr(classes.size()));
  const std::wstring containers[] = {L"", L"\\CLSID", L"\\TypeLib", L"\\Interface"};
  std::vector<std::string> lines;
  for (const REGSAM view : Views()) {
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      for (const std::wstring& key : ours) Walk(root, classes + key, view, lines);
      for (const std::wstring& key : containers) Count(root, classes + key, view, lines);
    }
  }
  return lines;
}

// The whole of the machine's classes and the user's software, for the start
// and the end of the program.
std::vector<std::string> WholeRegistry() {
  std::vector<std::string> lines;
  for (const REGSAM view : Views()) {
    Walk(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes", view, lines);
    Walk(HKEY_CURRENT_USER, L"Software", view, lines);
  }
  return lines;
}

// The lines of `want` missing from `got` (-) and those added (+), at most
// a dozen.
std::string Difference(const std::vector<std::string>& want, const std::vector<std::string>& got) {
  const std::set<std::string> a(want.begin(), want.end()), b(got.begin(), got.end());
  std::string out;
  int shown = 0;
  for (const std::string& line : a) {
    if (!b.count(line) && shown++ < 12) out += "\n    - " + line;
  }
  for (const std::string& line : b) {
    if (!a.count(line) && shown++ < 12) out += "\n    + " + line;
  }
  return out;
}

// ---- Pelmora.dll, loaded for one run ----

class Dll {
 public:
  Dll() : path_(ServerBesideProgram()) {
    module_ = LoadLibraryW(path_.c_str());
    if (module_ == nullptr) return;
    unwrapped_ = PatchImports(module_, patched_);
    register_ = Entry<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
    unregister_ = Entry<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer");
    get_class_object_ =
        Entry<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
  }
  ~Dll() { Unload(); }
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  bool Loaded() const {
    return module_ != nullptr && register_ && unregister_ && get_class_object_;
  }
  HRESULT Register() const { return register_(); }
  HRESULT Unregister() const { return unregister_(); }
  HRESULT GetClassObject(REFIID iid, void** out) const {
    return get_class_object_(CLSID_CalcDistClass, iid, out);
  }
  const std::set<std::string>& patched() const { return patched_; }
  const std::vector<std::string>& unwrapped() const { return unwrapped_; }

  // Frees the library; true when it is then gone from the process.
  bool Unload() {
    if (module_ == nullptr) return true;
    CoFreeUnusedLibraries();
    FreeLibrary(std::exchange(module_, nullptr));
    return GetModuleHandleW(path_.c_str()) == nullptr;
  }

 private:
  template <class F>
  F Entry(const char* name) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  std::wstring path_;
  HMODULE module_ = nullptr;
  std::set<std::string> patched_;
  std::vector<std::string> unwrapped_;
  HRESULT(STDAPICALLTYPE* register_)() = nullptr;
  HRESULT(STDAPICALLTYPE* unregister_)() = nullptr;
  HRESULT(STDAPICALLTYPE* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
};

// ---- Runs, checks and the summary ----

// The checks a run can fail, as the summary names them.
constexpr char kStatus[] = "wrong status";
constexpr char kHalfWritten[] = "registration failed and left keys";
constexpr char kIncomplete[] = "registration succeeded incomplete";
constexpr char kLost[] = "working registration lost or changed";
constexpr char kKeysLeft[] = "unregistration succeeded and left keys";
constexpr char kLeftovers[] = "leftovers a later unregistration leaves";
constexpr char kStale[] = "stale error object";
constexpr char kResult[] = "wrong result";
constexpr char kLeak[] = "leak";

struct Scenario {
  explicit Scenario(std::string text) : name(std::move(text)) {}
  std::string name;
  std::vector<const char*> points;                       // the census run's calls
  std::map<std::string, std::set<std::size_t>> failing;  // check -> fault points
  std::vector<std::string> details;                      // the first problems, in words
  std::size_t problems = 0;
  bool aborted = false;
};

Scenario* current = nullptr;
std::size_t current_n = 0;

void Problem(const char* check, const std::string& detail) {
  ++current->problems;
  current->failing[check].insert(current_n);
  if (current->details.size() < 25) {
    std::ostringstream line;
    line << current->name << ", fault " << current_n << " ("
         << (faults.fired != nullptr ? faults.fired : "none") << "): " << check << ": " << detail;
    current->details.push_back(line.str());
  }
}

std::string HrText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// One run: loads the DLL, prepares, runs `body` with fault `n` armed,
// judges, cleans up and unloads; false when no fault fired.
struct Steps {
  std::function<bool(Dll&)> prepare;  // false: the run cannot go on
  std::function<void(Dll&)> body;     // armed
  std::function<void(Dll&)> judge;    // after the body, unarmed
};

bool Run(std::size_t n, const Steps& steps, bool repeated = false) {
  current_n = n;
  faults.calls.clear();
  faults.fired = nullptr;
  faults.fail_at = n;
  const std::size_t problems = current->problems;
  SetErrorInfo(0, nullptr);
  const Holdings before = Measure();
  {
    Dll dll;
    if (!dll.Loaded()) {
      Problem(kLeak, "Pelmora.dll does not load");
      current->aborted = true;
      return false;
    }
    if (!steps.prepare(dll)) {
      current->aborted = true;
      return false;
    }
    faults.armed = true;
    steps.body(dll);
    faults.armed = false;
    steps.judge(dll);
    SetErrorInfo(0, nullptr);
    if (!dll.Unload()) Problem(kLeak, "Pelmora.dll stays loaded: an object or lock is left");
  }
  const bool fired = faults.fired != nullptr;
  // What the DLL took through the wrappers is all given back.
  std::string left;
  if (!faults.blocks.empty()) left += " " + std::to_string(faults.blocks.size()) + " heap blocks";
  if (!faults.keys.empty()) left += " " + std::to_string(faults.keys.size()) + " registry keys";
  if (!faults.files.empty()) left += " " + std::to_string(faults.files.size()) + " file handles";
  faults.blocks.clear();
  faults.keys.clear();
  faults.files.clear();
  if (!left.empty()) Problem(kLeak, "left:" + left);
  if (current->problems != problems) return fired;
  // The process as a whole holds no more than before. The system libraries
  // take some things once, on their first use (a thread's C runtime data,
  // the handles of the registry roots), the first time a run goes a new
  // way; a leak grows again when the run is repeated.
  const Holdings after = Measure();
  const long long heap = static_cast<long long>(after.process.heap_bytes) -
                         static_cast<long long>(before.process.heap_bytes);
  const LONG task = after.task_blocks - before.task_blocks;
  if (after.process.handle == before.process.handle && heap == 0 && task == 0) return fired;
  if (!repeated) return Run(n, steps, true);
  Problem(kLeak, "the process grew by " + std::to_string(heap) + " heap bytes, " +
                     std::to_string(task) + " task allocator blocks" +
                     (after.process.handle != before.process.handle ? ", handles" : ""));
  return fired;
}

// The census run, then N = 1, 2, ... until no fault fires.
void RunAll(Scenario& scenario, const Steps& steps) {
  current = &scenario;
  // Two runs without faults first: the first loads what stays with the
  // process (system libraries, their caches).
  Run(0, steps);
  scenario.failing.clear();
  scenario.details.clear();
  Run(0, steps);
  scenario.points = faults.calls;
  if (scenario.aborted) return;
  std::size_t n = 1;
  while (Run(n, steps)) {
    if (scenario.aborted) return;
    if (n > scenario.points.size() + 100) {
      Problem("calls differ from the run without faults", "no end");
      return;
    }
    if (n <= scenario.points.size() && faults.fired != scenario.points[n - 1]) {
      Problem("calls differ from the run without faults", faults.fired);
    }
    ++n;
  }
  if (n - 1 != scenario.points.size()) {
    Problem("calls differ from the run without faults",
            std::to_string(n - 1) + " points, not " + std::to_string(scenario.points.size()));
  }
}

std::string Summary(const Scenario& scenario) {
  std::map<std::string, int> by_function;
  for (const char* name : scenario.points) ++by_function[name];
  std::ostringstream out;
  out << scenario.name << ": " << scenario.points.size() << " fault points (";
  bool first = true;
  for (const auto& [name, count] : by_function) {
    out << (first ? "" : ", ") << name << " " << count;
    first = false;
  }
  out << ")";
  std::set<std::size_t> all;
  for (const auto& [check, points] : scenario.failing) all.insert(points.begin(), points.end());
  out << "; " << all.size() << " failing";
  for (const auto& [check, points] : scenario.failing) {
    std::map<std::string, int> functions;
    for (const std::size_t point : points) {
      ++functions[point >= 1 && point <= scenario.points.size() ? scenario.points[point - 1]
                                                                : "no fault"];
    }
    out << "\n    " << check << ": " << points.size() << " (";
    first = true;
    for (const auto& [name, count] : functions) {
      out << (first ? "" : ", ") << name << " " << count;
      first = false;
    }
    out << ")";
  }
  return out.str();
}

void Report(const Scenario& scenario) {
  std::printf("%s\n", Summary(scenario).c_str());
  for (const std::string& line : scenario.details) std::printf("  %s\n", line.c_str());
  std::fflush(stdout);
  EXPECT_FALSE(scenario.aborted) << scenario.name << ": could not run";
  EXPECT_TRUE(scenario.failing.empty()) << scenario.name << ": runs failed checks (summary above)";
}

// ---- Registration ----

bool AllocationFault() { return faults.fired != nullptr && faults.fired_kind == Kind::kAllocation; }

// A failure status of registration or unregistration: E_OUTOFMEMORY when an
// allocation failed, SELFREG_E_CLASS or SELFREG_E_TYPELIB for anything else.
void CheckFailureStatus(HRESULT hr) {
  const bool right =
      AllocationFault() ? hr == E_OUTOFMEMORY : (hr == SELFREG_E_CLASS || hr == SELFREG_E_TYPELIB);
  if (!right) Problem(kStatus, HrText(hr));
}

// The registry of the program's start, and with the server registered.
std::vector<std::string> clean;
std::vector<std::string> working;

// Whether a registration works: the class is created by its ProgID's class
// identifier and answers, and the type library loads as the standard
// marshaler loads it.
std::string Works() {
  CLSID clsid{};
  if (CLSIDFromProgID(L"Tevaro.CalcDistClass", &clsid) != S_OK ||
      !IsEqualCLSID(clsid, CLSID_CalcDistClass)) {
    return "the ProgID names no class";
  }
  std::string problem;
  {
    ComPtr<_CalcDistClass> object;
    const HRESULT hr = CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER,
                                        IID__CalcDistClass, object.OutVoid());
    BSTR text = nullptr;
    if (FAILED(hr)) {
      problem = "CoCreateInstance " + HrText(hr);
    } else if (object->GridFromLatLong(52.5f, 13.4f, &text) != S_OK || text == nullptr ||
               std::wstring(text) != L"JO62qm") {
      problem = "the object does not answer";
    }
    SysFreeString(text);
  }
  ComPtr<ITypeLib> library;
  const HRESULT loaded = LoadRegTypeLib(LIBID_Tevaro, 1, 0, 0, library.Out());
  if (problem.empty() && loaded != S_OK) problem = "LoadRegTypeLib " + HrText(loaded);
  CoFreeUnusedLibraries();
  return problem;
}

// Brings the registry back to `want` (the clean one or the working one)
// without faults; false when that does not work.
bool Reach(Dll& dll, const std::vector<std::string>& want) {
  if (Snapshot() == want) return true;
  const HRESULT hr = &want == &clean ? dll.Unregister() : dll.Register();
  if (hr == S_OK && Snapshot() == want) return true;
  Problem(&want == &clean ? kLeftovers : kStatus,
          std::string("cannot prepare the registry: ") + HrText(hr) + Difference(want, Snapshot()));
  if (&want != &clean) return false;
  DeleteServerKeys();
  return Snapshot() == clean;
}

Steps RegisterOnClean() {
  static HRESULT hr;
  return {[](Dll& dll) { return Reach(dll, clean); }, [](Dll& dll) { hr = dll.Register(); },
          [](Dll& dll) {
            const std::vector<std::string> now = Snapshot();
            if (SUCCEEDED(hr)) {
              if (hr != S_OK) Problem(kStatus, HrText(hr));
              if (now != working) Problem(kIncomplete, Difference(working, now));
              const std::string works = Works();
              if (!works.empty()) Problem(kIncomplete, works);
            } else {
              if (faults.fired == nullptr) Problem(kStatus, "no fault, " + HrText(hr));
              CheckFailureStatus(hr);
              if (now != clean) Problem(kHalfWritten, Difference(clean, now));
            }
            Reach(dll, clean);
          }};
}

Steps RegisterOverWorking() {
  static HRESULT hr;
  return {[](Dll& dll) { return Reach(dll, working); }, [](Dll& dll) { hr = dll.Register(); },
          [](Dll&) {
            if (hr != S_OK) {
              if (faults.fired == nullptr) Problem(kStatus, "no fault, " + HrText(hr));
              CheckFailureStatus(hr);
            }
            const std::vector<std::string> now = Snapshot();
            if (now != working) Problem(kLost, Difference(working, now));
            const std::string works = Works();
            if (!works.empty()) Problem(kLost, works);
          }};
}

Steps Unregister() {
  static HRESULT hr;
  return {[](Dll& dll) { return Reach(dll, working); }, [](Dll& dll) { hr = dll.Unregister(); },
          [](Dll& dll) {
            const std::vector<std::string> now = Snapshot();
            if (SUCCEEDED(hr)) {
              if (hr != S_OK) Problem(kStatus, HrText(hr));
              if (now != clean) Problem(kKeysLeft, Difference(clean, now));
            } else {
              if (faults.fired == nullptr) Problem(kStatus, "no fault, " + HrText(hr));
              CheckFailureStatus(hr);
            }
            if (now == clean) return;
            const HRESULT again = dll.Unregister();
            const std::vector<std::string> after = Snapshot();
            if (again != S_OK || after != clean) {
              Problem(kLeftovers, HrText(again) + Difference(clean, after));
              Reach(dll, clean);
            }
          }};
}

// ---- Methods and IDispatch ----

const wchar_t kStaleSource[] = L"Stale.Source";
const wchar_t kStaleDescription[] = L"an earlier failure";

// Sets an error object of an earlier failure, as a client's earlier call
// would have left it.
void SetStaleErrorObject() {
  ComPtr<ICreateErrorInfo> create;
  CreateErrorInfo(create.Out());
  create->SetSource(const_cast<LPOLESTR>(kStaleSource));
  create->SetDescription(const_cast<LPOLESTR>(kStaleDescription));
  ComPtr<IErrorInfo> info;
  create->QueryInterface(IID_IErrorInfo, info.OutVoid());
  SetErrorInfo(0, info.get());
}

// The description of the error object of a failure status, when the status
// is one of the DLL's.
const wchar_t* DescriptionOf(HRESULT hr) {
  switch (hr) {
    case kOverflow:
      return L"Overflow";
    case kInvalidArgument:
      return L"Invalid procedure call or argument";
    case kFloatingPoint:
      return L"Floating-point error";
    case E_OUTOFMEMORY:
      return L"Out of memory";
    default:
      return nullptr;
  }
}

// Judges a source and a description that go with failure `hr`: empty (no
// error object), or this failure's.
void CheckErrorTexts(HRESULT hr, const std::wstring& source, const std::wstring& description,
                     bool may_be_none, const std::string& what) {
  if (source == kStaleSource || description == kStaleDescription) {
    Problem(kStale, what + " carries the earlier failure's text with " + HrText(hr));
    return;
  }
  if (source.empty() && description.empty()) {
    if (!may_be_none) Problem(kStale, what + ": no error object for " + HrText(hr));
    return;
  }
  const wchar_t* const want = DescriptionOf(hr);
  if (source != L"Tevaro.CalcDistClass" || (want != nullptr && description != want)) {
    Problem(kStale, what + ": error object " + Utf8(source) + " \"" + Utf8(description) +
                        "\" with " + HrText(hr));
  }
}

// The thread's error object after failure `hr`.
void CheckErrorObject(HRESULT hr, bool may_be_none, const std::string& what) {
  IErrorInfo* raw = nullptr;
  std::wstring source, description;
  if (GetErrorInfo(0, &raw) == S_OK && raw != nullptr) {
    const ComPtr<IErrorInfo> info(raw);
    BSTR text = nullptr;
    if (SUCCEEDED(info->GetSource(&text)) && text != nullptr) source = text;
    SysFreeString(text);
    text = nullptr;
    if (SUCCEEDED(info->GetDescription(&text)) && text != nullptr) description = text;
    SysFreeString(text);
    if (source.empty() && description.empty()) source = L"(empty error object)";
  }
  CheckErrorTexts(hr, source, description, may_be_none, what);
}

// What a call gave: its status and its result as text.
struct Answer {
  HRESULT status = S_OK;
  std::string result;
  HRESULT scode = S_OK;  // EXCEPINFO's, for DISP_E_EXCEPTION
  std::wstring source, description;
  friend bool operator==(const Answer&, const Answer&) = default;
};

std::string FloatText(float x) {
  char text[24];
  std::snprintf(text, sizeof text, "%08x", std::bit_cast<std::uint32_t>(x));
  return text;
}
std::string BstrText(BSTR text) {
  return text == nullptr ? "(null)" : "\"" + Utf8(std::wstring(text, SysStringLen(text))) + "\"";
}

struct Call {
  std::string what;
  std::function<Answer(_CalcDistClass*)> make;
};

Answer TextCall(HRESULT (*method)(_CalcDistClass*, BSTR*), _CalcDistClass* object) {
  BSTR text = nullptr;
  Answer answer;
  answer.status = method(object, &text);
  answer.result = BstrText(text);
  SysFreeString(text);
  return answer;
}
Answer NumberCall(HRESULT (*method)(_CalcDistClass*, float*), _CalcDistClass* object) {
  float value = -1.0f;
  Answer answer;
  answer.status = method(object, &value);
  answer.result = FloatText(value);
  return answer;
}

Answer Invoke(_CalcDistClass* object, DISPID id, std::vector<VARIANT> args) {
  DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  Variant result;
  ExcepInfo exception;
  Answer answer;
  answer.status =
      object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result.v, &exception, nullptr);
  answer.result = V_VT(&result.v) == VT_BSTR ? BstrText(V_BSTR(&result.v))
                  : V_VT(&result.v) == VT_R4 ? FloatText(V_R4(&result.v))
                                             : "vt " + std::to_string(V_VT(&result.v));
  VariantClear(&result.v);
  for (VARIANT& arg : args) VariantClear(&arg);
  if (answer.status == DISP_E_EXCEPTION) {
    answer.scode = exception.scode;
    if (exception.bstrSource != nullptr) answer.source = exception.bstrSource;
    if (exception.bstrDescription != nullptr) answer.description = exception.bstrDescription;
  }
  return answer;
}

constexpr DISPID kGridFromLatLongId = 0x60030007;

const float kNan = std::numeric_limits<float>::quiet_NaN();

// Every method on ordinary inputs and the six failing ones.
std::vector<Call> MethodCalls() {
  using O = _CalcDistClass*;
  return {
      {"sLocator",
       [](O o) { return TextCall([](O p, BSTR* r) { return p->sLocator(52.5f, 13.4f, r); }, o); }},
      {"sLocator overflow",
       [](O o) { return TextCall([](O p, BSTR* r) { return p->sLocator(1e30f, 0.0f, r); }, o); }},
      {"sLocator invalid",
       [](O o) { return TextCall([](O p, BSTR* r) { return p->sLocator(0.0f, 4000.0f, r); }, o); }},
      {"GridFromLatLong",
       [](O o) {
         return TextCall([](O p, BSTR* r) { return p->GridFromLatLong(52.5f, 13.4f, r); }, o);
       }},
      {"GridFromLatLong overflow",
       [](O o) {
         return TextCall([](O p, BSTR* r) { return p->GridFromLatLong(1e30f, 0.0f, r); }, o);
       }},
      {"GridFromLatLong invalid",
       [](O o) {
         return TextCall([](O p, BSTR* r) { return p->GridFromLatLong(0.0f, 4000.0f, r); }, o);
       }},
      {"Azimut",
       [](O o) {
         return NumberCall([](O p, float* r) { return p->Azimut(52.5f, 13.4f, 40.7f, -74.0f, r); },
                           o);
       }},
      {"Azimut floating point",
       [](O o) {
         return NumberCall(
             [](O p, float* r) { return p->Azimut(52.5f, 180.0f, 40.0f, -180.000137f, r); }, o);
       }},
      {"Distanse",
       [](O o) { return NumberCall([](O p, float* r) { return p->Distanse(1.0f, 2.0f, r); }, o); }},
      {"LatFromGrid",
       [](O o) {
         return NumberCall([](O p, float* r) { return p->LatFromGrid(Bstr(L"JO62qm").get(), r); },
                           o);
       }},
      {"LongFromGrid",
       [](O o) {
         return NumberCall([](O p, float* r) { return p->LongFromGrid(Bstr(L"JO62qm").get(), r); },
                           o);
       }},
      {"DistanceFrom",
       [](O o) {
         return NumberCall(
             [](O p, float* r) { return p->DistanceFrom(52.5f, 13.4f, 40.7f, -74.0f, r); }, o);
       }},
      {"DistanceFrom floating point",
       [](O o) {
         return NumberCall([](O p, float* r) { return p->DistanceFrom(kNan, 0.0f, 0.0f, 1.0f, r); },
                           o);
       }},
      {"ArcCos",
       [](O o) { return NumberCall([](O p, float* r) { return p->ArcCos(0.5f, r); }, o); }},
  };
}

std::vector<Call> DispatchCalls() {
  return {
      {"GetIDsOfNames",
       [](_CalcDistClass* o) {
         LPOLESTR name[] = {const_cast<LPOLESTR>(L"GridFromLatLong")};
         DISPID id = 0;
         Answer answer;
         answer.status = o->GetIDsOfNames(IID_NULL, name, 1, 0, &id);
         answer.result = std::to_string(id);
         return answer;
       }},
      {"Invoke",
       [](_CalcDistClass* o) {
         return Invoke(o, kGridFromLatLongId, {R8(13.4), R8(52.5)});
       }},
      {"Invoke failing",
       [](_CalcDistClass* o) {
         return Invoke(o, kGridFromLatLongId, {R8(4000.0), R8(0.0)});
       }},
      {"Invoke by the type information",
       [](_CalcDistClass* o) {
         return Invoke(o, kGridFromLatLongId, {Str(L"13.4"), Str(L"52.5")});
       }},
      {"Invoke by the type information failing",
       [](_CalcDistClass* o) {
         return Invoke(o, kGridFromLatLongId, {Str(L"4000"), Str(L"0")});
       }},
      {"GetTypeInfo",
       [](_CalcDistClass* o) {
         ComPtr<ITypeInfo> info;
         Answer answer;
         answer.status = o->GetTypeInfo(0, 0, info.Out());
         answer.result = info ? "type information" : "none";
         return answer;
       }},
  };
}

// The methods or IDispatch: an object made through the class factory, then
// each call after an earlier failure's error object.
Steps Calls(std::vector<Call> calls, bool dispatch) {
  static std::vector<Call> list;
  static std::vector<Answer> expected;
  static bool by_name;
  list = std::move(calls);
  expected.clear();
  by_name = dispatch;
  return {[](Dll&) { return true; },
          [](Dll& dll) {
            ComPtr<IClassFactory> factory;
            ComPtr<_CalcDistClass> object;
            HRESULT hr = dll.GetClassObject(IID_IClassFactory, factory.OutVoid());
            if (SUCCEEDED(hr))
              hr = factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid());
            if (FAILED(hr)) {
              if (!AllocationFault() || hr != E_OUTOFMEMORY)
                Problem(kStatus, "creation: " + HrText(hr));
              if (object) Problem(kResult, "creation failed and gave an object");
              return;
            }
            for (std::size_t i = 0; i < list.size(); ++i) {
              SetStaleErrorObject();
              const std::size_t calls_before = faults.calls.size();
              const Answer got = list[i].make(object.get());
              const bool hit = faults.fired != nullptr && faults.fail_at > calls_before &&
                               faults.fail_at <= faults.calls.size();
              if (i == expected.size()) expected.push_back(got);
              const Answer& want = expected[i];
              const std::string what = list[i].what;
              if (!hit && !(got == want)) {
                Problem(kResult, what + ": " + HrText(got.status) + " " + got.result + ", not " +
                                     HrText(want.status) + " " + want.result);
              }
              if (hit && !(got.status == want.status && got.result == want.result)) {
                // An allocation that failed: E_OUTOFMEMORY (by name: in
                // EXCEPINFO), the null text. Anything else keeps the status.
                const HRESULT status = got.status == DISP_E_EXCEPTION ? got.scode : got.status;
                const bool allocation = AllocationFault() && status == E_OUTOFMEMORY;
                const bool platform =
                    by_name && FAILED(got.status) && faults.fired_kind != Kind::kErrorObject;
                if (!allocation && !platform) {
                  Problem(kResult, what + ": " + HrText(got.status) + " " + got.result + ", not " +
                                       HrText(want.status) + " " + want.result);
                }
                if (!by_name && got.result != "(null)" && got.result.front() == '"') {
                  Problem(kResult, what + ": a text with a failure");
                }
              }
              if (got.status == DISP_E_EXCEPTION) {
                CheckErrorTexts(got.scode, got.source, got.description, hit, what + " EXCEPINFO");
              } else if (FAILED(got.status)) {
                CheckErrorObject(got.status, hit || by_name, what);
              }
            }
          },
          [](Dll&) {}};
}

// ---- The scenarios ----

class FaultInjection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(Hr{CoRegisterMallocSpy(&task_blocks)}, Hr{S_OK});
    Dll dll;
    ASSERT_TRUE(dll.Loaded());
    ASSERT_TRUE(dll.unwrapped().empty())
        << "imports without a wrapper: " << ::testing::PrintToString(dll.unwrapped());
    for (const char* name : {"RegisterTypeLib", "UnRegisterTypeLib", "LoadTypeLibEx",
                             "GetModuleFileNameW", "malloc", "SysAllocStringLen", "CreateErrorInfo",
                             "SetErrorInfo", "RegSetValueExW", "RegGetValueW"}) {
      EXPECT_TRUE(dll.patched().count(name))
          << name << " is not imported: the test misses its calls";
    }
    // A run cut short may have left a registration behind.
    (void)dll.Unregister();
    whole_ = WholeRegistry();
    clean = Snapshot();
    ASSERT_EQ(Hr{dll.Register()}, Hr{S_OK});
    working = Snapshot();
    ASSERT_EQ(Works(), "");
    ASSERT_EQ(Hr{dll.Unregister()}, Hr{S_OK});
    ASSERT_EQ(Snapshot(), clean) << Difference(clean, Snapshot());
  }
  static void TearDownTestSuite() {
    {
      Dll dll;
      if (Snapshot() != clean) (void)dll.Unregister();
    }
    const std::vector<std::string> whole = WholeRegistry();
    EXPECT_TRUE(whole == whole_) << "the registry differs from the start:"
                                 << Difference(whole_, whole);
  }
  static std::vector<std::string> whole_;
};
std::vector<std::string> FaultInjection::whole_;

TEST_F(FaultInjection, RegistrationOnACleanRegistry) {
  Scenario scenario{"registration on a clean registry"};
  RunAll(scenario, RegisterOnClean());
  Report(scenario);
}

TEST_F(FaultInjection, RegistrationOverAWorkingOne) {
  Scenario scenario{"registration over a working one"};
  RunAll(scenario, RegisterOverWorking());
  Report(scenario);
}

TEST_F(FaultInjection, Unregistration) {
  Scenario scenario{"unregistration"};
  RunAll(scenario, Unregister());
  Report(scenario);
}

TEST_F(FaultInjection, Methods) {
  Scenario scenario{"the methods"};
  RunAll(scenario, Calls(MethodCalls(), false));
  Report(scenario);
}

TEST_F(FaultInjection, Dispatch) {
  Scenario scenario{"IDispatch"};
  RunAll(scenario, Calls(DispatchCalls(), true));
  Report(scenario);
}

}  // namespace
}  // namespace pelmora::test
