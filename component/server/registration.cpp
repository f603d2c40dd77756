// Registration and unregistration of an in-process Automation server, driven
// entirely by its project descriptor.
//
// Registration writes, machine-wide under HKLM\SOFTWARE\Classes, for each class
// (ProgID = project name + "." + class name):
//   CLSID\{clsid}                  (default) = friendly name
//   CLSID\{clsid}\InprocServer32   (default) = full module path,
//                                  ThreadingModel = the descriptor's model (Apartment)
//   CLSID\{clsid}\ProgID           (default) = ProgID
//   CLSID\{clsid}\TypeLib          (default) = {libid}
//   CLSID\{clsid}\VERSION          (default) = type library version
//   <ProgID>                       (default) = friendly name
//   <ProgID>\CLSID                 (default) = {clsid}
// and registers the type library embedded in the module with RegisterTypeLib
// (TypeLib\{libid}\<version>\... and Interface\{iid} for its interfaces).
// RegisterTypeLib files the library under the library's own locale; when the
// descriptor's registration locale differs, the library is also filed under
//   TypeLib\{libid}\<version>\<locale>\<sys>  (default) = full module path
// so that LoadRegTypeLib(libid, major, minor, locale) finds it (the standard
// marshaler asks with locale 0). <sys> is the platform of the edition, as
// RegisterTypeLib writes it too: win32 for the 32-bit module, win64 for the
// 64-bit one.
//
// On 64-bit Windows the two editions register side by side, each in its own
// view of the classes root (a 32-bit process sees the 32-bit view). Windows
// keeps CLSID (and Interface) apart between the views and shares the ProgID
// keys, TypeLib and AppID: both editions write the same CLSID\{clsid} each in
// its own view, one ProgID key, and one TypeLib\{libid}\<version> holding a
// win32 and a win64 filing. Wine shares the same keys; its RegisterTypeLib of
// either bitness writes Interface\{iid} into both views, and UnRegisterTypeLib
// of either bitness deletes them from both.
//
// Unregistration removes exactly these, and only where they are this module's:
// a class key whose InprocServer32 names another file (not just another
// spelling of this module's path, such as its short name) belongs to another
// copy of the server and stays, with its ProgID; a ProgID naming another class
// stays; the type library is unregistered (UnRegisterTypeLib, which also
// removes its Interface keys) only when its registration names this module.
// Within what is ours, a value goes only when it still holds what this module
// writes, then each key that is left empty; shared parent keys (CLSID, TypeLib,
// Interface) and values others added to our keys are never touched.
// Unregistering a server that is not registered succeeds.
//
// While the other edition stays registered (its class key exists in the other
// view), unregistration of this one leaves what they share to it: the ProgID
// key stays; the type library is not unregistered through UnRegisterTypeLib
// (which would remove the Interface keys and, once the version key holds no
// other filing, the version key), only this edition's filings <locale>\<sys>
// go, with the Interface keys of this view that hold what RegisterTypeLib
// wrote. The version key's HELPDIR is the folder of whichever edition was
// registered last; Pelmora has no help file. Unregistering the last edition
// removes everything that is left, as for a single one.
//
// Every text goes through the wide-character registry and module APIs, so a
// module path with spaces or non-ASCII characters is registered as it stands.
#include "component/server/server.h"
// server.h brings in <windows.h>, which the OLE headers below need first.
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "component/server/owners.h"

namespace pelmora::server {
namespace {

// The classes root that registration writes to. Writing to the merged
// HKEY_CLASSES_ROOT view would land in a per-user key when one of the same name
// exists; naming the machine hive keeps registration and unregistration on the
// same keys.
const HKEY kHive = HKEY_LOCAL_MACHINE;
constexpr wchar_t kClassesRoot[] = L"SOFTWARE\\Classes\\";

// This edition's platform, its type library filing and the other edition's
// view of the registry.
#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr wchar_t kSysKey[] = L"win64";
constexpr wchar_t kOtherSysKey[] = L"win32";
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr wchar_t kSysKey[] = L"win32";
constexpr wchar_t kOtherSysKey[] = L"win64";
// Ignored on 32-bit Windows, where the one view is this edition's own.
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif
// The proxy of Automation-compatible interfaces (PSOAInterface), which
// RegisterTypeLib names for a dual interface.
constexpr wchar_t kAutomationProxy[] = L"{00020424-0000-0000-C000-000000000046}";

// One registry value written by registration; a null `name` is the key's
// default value. Every value is a REG_SZ text.
struct Entry {
  std::wstring key;  // below the classes root
  const wchar_t* name;
  std::wstring data;
  bool is_path = false;  // `data` is the module's path: any spelling of the file matches
};

std::wstring GuidText(const GUID& guid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(guid, buffer, 40);
  return buffer;
}

// Registry version and locale subkeys are written in hexadecimal: lower-case
// digits, no leading zeros, "0" for zero.
std::wstring Hex(unsigned long value) {
  constexpr wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  do {
    text.insert(text.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  return text;
}

std::wstring VersionText(const ProjectDescriptor& project) {
  return Hex(project.typelib_major) + L"." + Hex(project.typelib_minor);
}

// The full path of the module recorded in the cells, without a length limit.
HRESULT ModulePath(const ModuleCells& cells, std::wstring& path) {
  const HMODULE module = ModuleHandle(cells);
  if (module == nullptr) return E_UNEXPECTED;  // the library entry has not run
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      path = buffer;
      return S_OK;
    }
    if (buffer.size() >= 32768) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    buffer.resize(buffer.size() * 2);
  }
}

// The ThreadingModel value of a threading model.
const wchar_t* ThreadingModelText(Threading threading) {
  switch (threading) {
    case Threading::kApartment:
      return L"Apartment";
  }
  return L"";  // no other model exists
}

std::wstring FullKey(const std::wstring& key) { return kClassesRoot + key; }

std::wstring ProgId(const ProjectDescriptor& project, const ClassRecord& record) {
  return std::wstring(project.project_name) + L"." + record.name;
}

std::wstring FriendlyName(const ProjectDescriptor& project, const ClassRecord& record) {
  return record.description != nullptr ? record.description : ProgId(project, record);
}

// The keys and values under CLSID\{clsid} of one class, parents before
// children. The first entry, the in-process server path, tells whose
// registration the class key is.
std::vector<Entry> ClassEntries(const ProjectDescriptor& project, const ClassRecord& record,
                                const std::wstring& module_path) {
  const std::wstring clsid_key = L"CLSID\\" + GuidText(*record.clsid);
  return {
      {clsid_key + L"\\InprocServer32", nullptr, module_path, true},
      {clsid_key, nullptr, FriendlyName(project, record)},
      {clsid_key + L"\\InprocServer32", L"ThreadingModel", ThreadingModelText(project.threading)},
      {clsid_key + L"\\ProgID", nullptr, ProgId(project, record)},
      {clsid_key + L"\\TypeLib", nullptr, GuidText(*project.typelib_id)},
      {clsid_key + L"\\VERSION", nullptr, VersionText(project)},
  };
}

// The ProgID key of one class. The first entry, the class identifier it
// names, tells whose ProgID it is.
std::vector<Entry> ProgIdEntries(const ProjectDescriptor& project, const ClassRecord& record) {
  const std::wstring progid = ProgId(project, record);
  return {
      {progid + L"\\CLSID", nullptr, GuidText(*record.clsid)},
      {progid, nullptr, FriendlyName(project, record)},
  };
}

std::wstring TypeLibVersionKey(const ProjectDescriptor& project) {
  return L"TypeLib\\" + GuidText(*project.typelib_id) + L"\\" + VersionText(project);
}

std::wstring TypeLibLocaleKey(const ProjectDescriptor& project, LCID locale) {
  return TypeLibVersionKey(project) + L"\\" + Hex(locale);
}

std::wstring TypeLibPathKey(const ProjectDescriptor& project, LCID locale,
                            const wchar_t* sys = kSysKey) {
  return TypeLibLocaleKey(project, locale) + L"\\" + sys;
}

// Whether a key exists in this edition's view, or with `view` in another.
bool KeyExists(const std::wstring& key_name, REGSAM view = 0) {
  RegKey key;
  return RegOpenKeyExW(kHive, FullKey(key_name).c_str(), 0, KEY_QUERY_VALUE | view, key.Out()) ==
         ERROR_SUCCESS;
}

// Whether the other edition of the server is registered: some module serves
// one of the project's classes in the other view. On 32-bit Windows there is
// no other view (and the view flag would be ignored): false.
bool OtherEditionRegistered(const ProjectDescriptor& project) {
#ifndef _WIN64
  BOOL wow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64) return false;
#endif
  for (std::size_t i = 0; i < project.class_count; ++i) {
    if (KeyExists(L"CLSID\\" + GuidText(*project.classes[i].clsid) + L"\\InprocServer32",
                  kOtherView)) {
      return true;
    }
  }
  return false;
}

// The Interface keys RegisterTypeLib writes in this view for the class's
// default (dual) interface, named `name` in the type library.
std::vector<Entry> InterfaceEntries(const ProjectDescriptor& project, const IID& iid,
                                    const std::wstring& name) {
  const std::wstring key = L"Interface\\" + GuidText(iid);
  return {
      {key + L"\\TypeLib", nullptr, GuidText(*project.typelib_id)},
      {key, nullptr, name},
      {key + L"\\ProxyStubClsid", nullptr, kAutomationProxy},
      {key + L"\\ProxyStubClsid32", nullptr, kAutomationProxy},
      {key + L"\\TypeLib", L"Version", VersionText(project)},
  };
}

HRESULT SetText(const Entry& entry) {
  RegKey key;
  LSTATUS status =
      RegCreateKeyExW(kHive, FullKey(entry.key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.Out(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const DWORD bytes = static_cast<DWORD>((entry.data.size() + 1) * sizeof(wchar_t));
  status = RegSetValueExW(key.get(), entry.name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(entry.data.c_str()), bytes);
  return HRESULT_FROM_WIN32(status);
}

// Reads a REG_SZ value; false when the key or value is absent or not a text.
bool GetText(const std::wstring& key, const wchar_t* name, std::wstring& data) {
  DWORD bytes = 0;
  const std::wstring full = FullKey(key);
  if (RegGetValueW(kHive, full.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::wstring buffer(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegGetValueW(kHive, full.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer.data(), &bytes) !=
      ERROR_SUCCESS) {
    return false;
  }
  buffer.resize(wcsnlen(buffer.c_str(), buffer.size()));
  data = buffer;
  return true;
}

// Identifiers and paths compare without regard to case, as Windows does.
bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// What identifies an existing file: its volume and its index on the volume
// (with its size and time of last writing, which the same file shares too).
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  const Handle file(CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.valid() && GetFileInformationByHandle(file.get(), &info) != FALSE;
}

// Two paths name the same file when their texts agree or, for two existing
// files, their identities do. The loader reports a module by the path it was
// loaded from, so a server registered by its long name can be unregistered by
// its short name (or through another drive mapping), and the other way round.
bool SameFile(const std::wstring& a, const std::wstring& b) {
  if (SameText(a, b)) return true;
  BY_HANDLE_FILE_INFORMATION ia = {};
  BY_HANDLE_FILE_INFORMATION ib = {};
  return FileIdentity(a, ia) && FileIdentity(b, ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow &&
         ia.nFileSizeHigh == ib.nFileSizeHigh && ia.nFileSizeLow == ib.nFileSizeLow &&
         CompareFileTime(&ia.ftLastWriteTime, &ib.ftLastWriteTime) == 0;
}

// Whether a registered text is what registration writes for `entry`.
bool Matches(const Entry& entry, const std::wstring& data) {
  return entry.is_path ? SameFile(data, entry.data) : SameText(data, entry.data);
}

bool Holds(const Entry& entry) {
  std::wstring data;
  return GetText(entry.key, entry.name, data) && Matches(entry, data);
}

// Whose is a registered value: this module's (it holds what this module
// writes), nobody's (absent) or another server's.
enum class Owner { kThis, kNone, kOther };

Owner OwnerOf(const Entry& entry) {
  std::wstring data;
  if (!GetText(entry.key, entry.name, data)) return Owner::kNone;
  return Matches(entry, data) ? Owner::kThis : Owner::kOther;
}

// Deletes the value when it still holds what registration wrote.
HRESULT RemoveText(const Entry& entry) {
  if (!Holds(entry)) return S_OK;
  RegKey key;
  LSTATUS status = RegOpenKeyExW(kHive, FullKey(entry.key).c_str(), 0, KEY_SET_VALUE, key.Out());
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  status = RegDeleteValueW(key.get(), entry.name);
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

// Deletes the key when it has neither subkeys nor values left.
HRESULT RemoveKeyIfEmpty(const std::wstring& key_name) {
  const std::wstring full = FullKey(key_name);
  DWORD subkeys = 0;
  DWORD values = 0;
  {
    RegKey key;
    LSTATUS status = RegOpenKeyExW(kHive, full.c_str(), 0, KEY_QUERY_VALUE, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }  // closed before the key is deleted
  if (subkeys != 0 || values != 0) return S_OK;
  const LSTATUS status = RegDeleteKeyW(kHive, full.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

// Removes the values of `entries` and then every key they lived in that is
// left empty. Goes on after a failure and reports the first one.
HRESULT RemoveEntries(const std::vector<Entry>& entries) {
  HRESULT result = S_OK;
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    const HRESULT hr = RemoveText(*it);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  // The keys the entries live in, children (longer names) before parents.
  std::vector<std::wstring> keys;
  for (const Entry& entry : entries) {
    if (std::find(keys.begin(), keys.end(), entry.key) == keys.end()) keys.push_back(entry.key);
  }
  std::sort(keys.begin(), keys.end(),
            [](const std::wstring& a, const std::wstring& b) { return a.size() > b.size(); });
  for (const std::wstring& key : keys) {
    const HRESULT hr = RemoveKeyIfEmpty(key);
    if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  }
  return result;
}

// The type library embedded in the module (TYPELIB resource 1), loaded
// without touching the registry.
HRESULT LoadOwnTypeLib(const std::wstring& module_path, ComPtr<ITypeLib>& library,
                       LCID& own_locale) {
  ComPtr<ITypeLib> loaded;
  HRESULT hr = LoadTypeLibEx(module_path.c_str(), REGKIND_NONE, loaded.Out());
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = loaded->GetLibAttr(&attributes);
  if (FAILED(hr)) return hr;
  own_locale = attributes->lcid;
  loaded->ReleaseTLibAttr(attributes);
  library = std::move(loaded);
  return S_OK;
}

// The extra filing of the type library under the registration locale, when
// that differs from the library's own.
void AddTypeLibEntries(const ProjectDescriptor& project, LCID own_locale,
                       const std::wstring& module_path, std::vector<Entry>& entries) {
  if (own_locale == project.typelib_locale) return;
  entries.push_back({TypeLibPathKey(project, project.typelib_locale), nullptr, module_path, true});
}

// Unregisters this edition's type library while the other edition's stays:
// its own filing and this view's Interface keys of the classes' interfaces,
// nothing the other edition reads.
HRESULT UnregisterTypeLibBesideOther(const ProjectDescriptor& project, ITypeLib* library,
                                     LCID own_locale, const std::wstring& module_path) {
  const std::vector<Entry> filing = {
      {TypeLibPathKey(project, own_locale), nullptr, module_path, true}};
  HRESULT result = RemoveEntries(filing);
  const HRESULT hr = RemoveKeyIfEmpty(TypeLibLocaleKey(project, own_locale));
  if (FAILED(hr) && SUCCEEDED(result)) result = hr;
  for (std::size_t i = 0; i < project.class_count && library != nullptr; ++i) {
    const IID& iid = *project.classes[i].default_interface;
    ComPtr<ITypeInfo> info;
    if (FAILED(library->GetTypeInfoOfGuid(iid, info.Out()))) continue;
    Bstr name;
    if (FAILED(info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr))) {
      continue;
    }
    const std::wstring name_text(name.get() != nullptr ? name.get() : L"");
    const std::vector<Entry> entries = InterfaceEntries(project, iid, name_text);
    if (OwnerOf(entries.front()) == Owner::kOther) continue;
    const HRESULT removed = RemoveEntries(entries);
    if (FAILED(removed) && SUCCEEDED(result)) result = removed;
  }
  return result;
}

HRESULT Unregister(const ModuleCells& cells, const ProjectDescriptor& project) {
  std::wstring module_path;
  HRESULT hr = ModulePath(cells, module_path);
  if (FAILED(hr)) return hr;

  ComPtr<ITypeLib> library;
  LCID own_locale = project.typelib_locale;
  const bool have_library = SUCCEEDED(LoadOwnTypeLib(module_path, library, own_locale));

  HRESULT result = S_OK;

  // The extra locale filing first, so that UnRegisterTypeLib below finds only
  // its own locale under the version key and removes the version key.
  std::vector<Entry> typelib_entries;
  AddTypeLibEntries(project, own_locale, module_path, typelib_entries);
  hr = RemoveEntries(typelib_entries);
  if (SUCCEEDED(hr) && own_locale != project.typelib_locale) {
    hr = RemoveKeyIfEmpty(TypeLibLocaleKey(project, project.typelib_locale));
  }
  if (FAILED(hr)) result = SELFREG_E_TYPELIB;

  // The library's own filing, with its Interface keys, only when it is this
  // module's; beside the other edition's filing, only what is this
  // edition's alone.
  if (have_library && Holds({TypeLibPathKey(project, own_locale), nullptr, module_path, true})) {
    if (KeyExists(TypeLibPathKey(project, own_locale, kOtherSysKey)) &&
        OtherEditionRegistered(project)) {
      hr = UnregisterTypeLibBesideOther(project, library.get(), own_locale, module_path);
    } else {
      hr = UnRegisterTypeLib(*project.typelib_id, project.typelib_major, project.typelib_minor,
                             own_locale, kSysKind);
    }
    if (FAILED(hr) && SUCCEEDED(result)) result = SELFREG_E_TYPELIB;
  }

  for (std::size_t i = 0; i < project.class_count; ++i) {
    const ClassRecord& record = project.classes[i];
    // A class registered by another copy of the server, at another path, is
    // that copy's; so is its ProgID. A ProgID naming another class is left
    // alone as well.
    const std::vector<Entry> class_entries = ClassEntries(project, record, module_path);
    if (OwnerOf(class_entries.front()) == Owner::kOther) continue;
    hr = RemoveEntries(class_entries);
    if (FAILED(hr) && SUCCEEDED(result)) result = SELFREG_E_CLASS;
    // The ProgID key is shared by both views: it stays while the other
    // edition serves the class.
    const std::vector<Entry> progid_entries = ProgIdEntries(project, record);
    if (OwnerOf(progid_entries.front()) == Owner::kOther) continue;
    if (OtherEditionRegistered(project)) continue;
    hr = RemoveEntries(progid_entries);
    if (FAILED(hr) && SUCCEEDED(result)) result = SELFREG_E_CLASS;
  }
  return result;
}

HRESULT Register(const ModuleCells& cells, const ProjectDescriptor& project) {
  std::wstring module_path;
  HRESULT hr = ModulePath(cells, module_path);
  if (FAILED(hr)) return hr;

  for (std::size_t i = 0; i < project.class_count; ++i) {
    const ClassRecord& record = project.classes[i];
    for (const auto& entries :
         {ClassEntries(project, record, module_path), ProgIdEntries(project, record)}) {
      for (const Entry& entry : entries) {
        if (FAILED(SetText(entry))) return SELFREG_E_CLASS;
      }
    }
  }

  ComPtr<ITypeLib> library;
  LCID own_locale = 0;
  if (FAILED(LoadOwnTypeLib(module_path, library, own_locale))) return SELFREG_E_TYPELIB;
  // RegisterTypeLib takes a writable path text.
  std::wstring path_copy = module_path;
  if (FAILED(RegisterTypeLib(library.get(), path_copy.data(), nullptr))) return SELFREG_E_TYPELIB;

  std::vector<Entry> typelib_entries;
  AddTypeLibEntries(project, own_locale, module_path, typelib_entries);
  for (const Entry& entry : typelib_entries) {
    if (FAILED(SetText(entry))) return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(ModuleCells& cells, const ProjectDescriptor& project) {
  try {
    const HRESULT hr = Register(cells, project);
    // A failed registration leaves nothing half written behind.
    if (FAILED(hr)) (void)Unregister(cells, project);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT UnregisterServer(ModuleCells& cells, const ProjectDescriptor& project) {
  try {
    return Unregister(cells, project);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace pelmora::server
