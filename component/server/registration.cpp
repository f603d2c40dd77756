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
// Registration is a transaction: it checks what it can (the module's path,
// its type library) before the first write, saves the keys it writes into as
// they stand (in both views where RegisterTypeLib writes both), and puts
// them back when anything fails. A failed registration leaves the registry
// as it was: clean, or with the earlier registration still working. It
// fails with SELFREG_E_CLASS, SELFREG_E_TYPELIB or, when a step runs out of
// memory (an allocation of the DLL's, or a registry call answering
// ERROR_OUTOFMEMORY), E_OUTOFMEMORY. Every text to be written is made before
// the first write, so that writing allocates nothing.
//
// Unregistration succeeds only when what is this module's is gone: a value
// that cannot be read, or a type library that cannot be loaded, fails it
// (never taken for "not ours"). It goes on past a failure, and a later
// unregistration removes whatever a failed one left, the version key of the
// type library included. Its status is the first failure's, E_OUTOFMEMORY
// for a step that ran out of memory.
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

#include <cwchar>
#include <utility>

#include "component/server/heap.h"
#include "component/server/owners.h"

namespace pelmora::server {
namespace {

// The classes root that registration writes to. Writing to the merged
// HKEY_CLASSES_ROOT view would land in a per-user key when one of the same name
// exists; naming the machine hive keeps registration and unregistration on the
// same keys. Every key path below is a full path from the hive.
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

// The status of a step that failed with `hr`: E_OUTOFMEMORY when memory ran
// out (the DLL's or the registry's), else `status`.
HRESULT StepFailure(HRESULT hr, HRESULT status) { return hr == E_OUTOFMEMORY ? hr : status; }

// The status of work that goes on past a failure: the first failure's.
class FirstFailure {
 public:
  // Keeps `hr` when it is the first failure.
  void Note(HRESULT hr) {
    if (FAILED(hr) && SUCCEEDED(status_)) status_ = hr;
  }
  // Keeps a failed step's status, `status` or E_OUTOFMEMORY (StepFailure),
  // when it is the first failure.
  void Note(HRESULT hr, HRESULT status) {
    if (FAILED(hr)) Note(StepFailure(hr, status));
  }
  HRESULT status() const { return status_; }

 private:
  HRESULT status_ = S_OK;
};

// One registry value written by registration; a null `name` is the key's
// default value. Every value is a REG_SZ text.
struct Entry {
  WideText key;  // the full path from the hive
  const wchar_t* name;
  WideText data;
  bool is_path = false;  // `data` is the module's path: any spelling of the file matches

  bool ok() const { return key.ok() && data.ok(); }
};

// The entries of one kind, in order; failed when any could not be made.
struct Entries {
  List<Entry> list;

  void Add(WideText key, const wchar_t* name, WideText data, bool is_path = false) {
    list.Add(Entry{std::move(key), name, std::move(data), is_path});
  }
  bool ok() const {
    if (!list.ok()) return false;
    for (const Entry& entry : list) {
      if (!entry.ok()) return false;
    }
    return true;
  }
  const Entry& front() const { return list[0]; }
};

WideText GuidText(const GUID& guid) {
  wchar_t buffer[40] = {};
  StringFromGUID2(guid, buffer, 40);
  return WideText(buffer);
}

// Registry version and locale subkeys are written in hexadecimal: lower-case
// digits, no leading zeros, "0" for zero.
WideText Hex(unsigned long value) {
  constexpr wchar_t kDigits[] = L"0123456789abcdef";
  wchar_t text[sizeof value * 2 + 1];
  wchar_t* first = text + sizeof value * 2;
  *first = L'\0';
  do {
    *--first = kDigits[value % 16];
    value /= 16;
  } while (value != 0);
  return WideText(first);
}

WideText VersionText(const ProjectDescriptor& project) {
  return Hex(project.typelib_major) + L"." + Hex(project.typelib_minor);
}

// The ThreadingModel value of a threading model.
const wchar_t* ThreadingModelText(Threading threading) {
  switch (threading) {
    case Threading::kApartment:
      return L"Apartment";
  }
  return L"";  // no other model exists
}

WideText ProgId(const ProjectDescriptor& project, const ClassRecord& record) {
  return WideText(project.project_name) + L"." + record.name;
}

WideText FriendlyName(const ProjectDescriptor& project, const ClassRecord& record) {
  return record.description != nullptr ? WideText(record.description) : ProgId(project, record);
}

WideText ClassKey(const CLSID& clsid) { return kClassesRoot + (L"CLSID\\" + GuidText(clsid)); }

WideText ProgIdKey(const ProjectDescriptor& project, const ClassRecord& record) {
  return kClassesRoot + ProgId(project, record);
}

WideText TypeLibKey(const ProjectDescriptor& project) {
  return kClassesRoot + (L"TypeLib\\" + GuidText(*project.typelib_id));
}

WideText InterfaceKey(const IID& iid) { return kClassesRoot + (L"Interface\\" + GuidText(iid)); }

// The keys and values under CLSID\{clsid} of one class, parents before
// children. The first entry, the in-process server path, tells whose
// registration the class key is.
Entries ClassEntries(const ProjectDescriptor& project, const ClassRecord& record,
                     const WideText& module_path) {
  const WideText clsid_key = ClassKey(*record.clsid);
  Entries entries;
  entries.Add(clsid_key + L"\\InprocServer32", nullptr, module_path.Copy(), true);
  entries.Add(clsid_key.Copy(), nullptr, FriendlyName(project, record));
  entries.Add(clsid_key + L"\\InprocServer32", L"ThreadingModel",
              WideText(ThreadingModelText(project.threading)));
  entries.Add(clsid_key + L"\\ProgID", nullptr, ProgId(project, record));
  entries.Add(clsid_key + L"\\TypeLib", nullptr, GuidText(*project.typelib_id));
  entries.Add(clsid_key + L"\\VERSION", nullptr, VersionText(project));
  return entries;
}

// The ProgID key of one class. The first entry, the class identifier it
// names, tells whose ProgID it is.
Entries ProgIdEntries(const ProjectDescriptor& project, const ClassRecord& record) {
  const WideText progid_key = ProgIdKey(project, record);
  Entries entries;
  entries.Add(progid_key + L"\\CLSID", nullptr, GuidText(*record.clsid));
  entries.Add(progid_key.Copy(), nullptr, FriendlyName(project, record));
  return entries;
}

WideText TypeLibVersionKey(const ProjectDescriptor& project) {
  return TypeLibKey(project) + L"\\" + VersionText(project);
}

WideText TypeLibLocaleKey(const ProjectDescriptor& project, LCID locale) {
  return TypeLibVersionKey(project) + L"\\" + Hex(locale);
}

WideText TypeLibPathKey(const ProjectDescriptor& project, LCID locale,
                        const wchar_t* sys = kSysKey) {
  return TypeLibLocaleKey(project, locale) + L"\\" + sys;
}

// Whether a key exists in this edition's view, or with `view` in another:
// S_OK when it does, S_FALSE when it does not, a failure when that cannot be
// told.
HRESULT KeyExists(const WideText& key_name, REGSAM view = 0) {
  if (!key_name.ok()) return E_OUTOFMEMORY;
  RegKey key;
  const LSTATUS status =
      RegOpenKeyExW(kHive, key_name.c_str(), 0, KEY_QUERY_VALUE | view, key.Out());
  if (status == ERROR_SUCCESS) return S_OK;
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
  return HRESULT_FROM_WIN32(status);
}

// Whether the registry has another view: on 64-bit Windows, for either
// edition.
bool HasOtherView() {
#ifdef _WIN64
  return true;
#else
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

// Whether the other edition of the server is registered: some module serves
// one of the project's classes in the other view (S_OK), or none (S_FALSE).
// Without another view (32-bit Windows, where the view flag would be
// ignored): S_FALSE.
HRESULT OtherEditionRegistered(const ProjectDescriptor& project) {
  if (!HasOtherView()) return S_FALSE;
  for (std::size_t i = 0; i < project.class_count; ++i) {
    const HRESULT hr =
        KeyExists(ClassKey(*project.classes[i].clsid) + L"\\InprocServer32", kOtherView);
    if (hr != S_FALSE) return hr;
  }
  return S_FALSE;
}

// The Interface keys RegisterTypeLib writes in this view for the class's
// default (dual) interface, named `name` in the type library.
Entries InterfaceEntries(const ProjectDescriptor& project, const IID& iid, WideText name) {
  const WideText key = InterfaceKey(iid);
  Entries entries;
  entries.Add(key + L"\\TypeLib", nullptr, GuidText(*project.typelib_id));
  entries.Add(key.Copy(), nullptr, std::move(name));
  entries.Add(key + L"\\ProxyStubClsid", nullptr, WideText(kAutomationProxy));
  entries.Add(key + L"\\ProxyStubClsid32", nullptr, WideText(kAutomationProxy));
  entries.Add(key + L"\\TypeLib", L"Version", VersionText(project));
  return entries;
}

// Writes an entry that was made whole (ok()).
HRESULT SetText(const Entry& entry) {
  RegKey key;
  LSTATUS status = RegCreateKeyExW(kHive, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_SET_VALUE, nullptr, key.Out(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const DWORD bytes = static_cast<DWORD>((entry.data.size() + 1) * sizeof(wchar_t));
  status = RegSetValueExW(key.get(), entry.name, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(entry.data.c_str()), bytes);
  return HRESULT_FROM_WIN32(status);
}

// What GetText answers for a value that is there but holds no text.
constexpr HRESULT kNoText = 2;

// Reads a REG_SZ value: S_OK with its text; S_FALSE when the key or the
// value is absent; kNoText when the value is of another type; a failure when
// it cannot be read.
HRESULT GetText(const WideText& key, const wchar_t* name, WideText& data) {
  if (!key.ok()) return E_OUTOFMEMORY;
  WideText buffer;
  for (;;) {
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LSTATUS status = RegGetValueW(kHive, key.c_str(), name, RRF_RT_REG_SZ, nullptr,
                                        buffer.empty() ? nullptr : buffer.data(), &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
    if (status == ERROR_UNSUPPORTED_TYPE) return kNoText;
    if (status == ERROR_SUCCESS && !buffer.empty()) break;
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return HRESULT_FROM_WIN32(status);
    // The size first, or again when the value grew in between.
    if (!buffer.Resize(bytes / sizeof(wchar_t) + 1)) return E_OUTOFMEMORY;
    std::wmemset(buffer.data(), L'\0', buffer.size());
  }
  buffer.Resize(wcsnlen(buffer.c_str(), buffer.size()));
  data = std::move(buffer);
  return S_OK;
}

// Identifiers and paths compare without regard to case, as Windows does.
bool SameText(const WideText& a, const WideText& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// What identifies an existing file: its volume and its index on the volume
// (with its size and time of last writing, which the same file shares too).
bool FileIdentity(const WideText& path, BY_HANDLE_FILE_INFORMATION& info) {
  const Handle file(CreateFileW(path.c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file.valid() && GetFileInformationByHandle(file.get(), &info) != FALSE;
}

// Two paths name the same file when their texts agree or, for two existing
// files, their identities do. The loader reports a module by the path it was
// loaded from, so a server registered by its long name can be unregistered by
// its short name (or through another drive mapping), and the other way round.
bool SameFile(const WideText& a, const WideText& b) {
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
bool Matches(const Entry& entry, const WideText& data) {
  return entry.is_path ? SameFile(data, entry.data) : SameText(data, entry.data);
}

// Whose is a registered value: this module's (it holds what this module
// writes), nobody's (absent) or another server's (another text, or a value
// of another type, such as an expandable path). A value that cannot be read
// is nobody's to judge: the failure.
enum class Owner { kThis, kNone, kOther };

HRESULT OwnerOf(const Entry& entry, Owner& owner) {
  if (!entry.ok()) return E_OUTOFMEMORY;
  WideText data;
  const HRESULT hr = GetText(entry.key, entry.name, data);
  if (FAILED(hr)) return hr;
  owner = hr == S_FALSE                        ? Owner::kNone
          : hr == S_OK && Matches(entry, data) ? Owner::kThis
                                               : Owner::kOther;
  return S_OK;
}

// Whose are the entries of one kind: their first entry tells.
HRESULT OwnerOfFirst(const Entries& entries, Owner& owner) {
  return entries.ok() ? OwnerOf(entries.front(), owner) : E_OUTOFMEMORY;
}

// Deletes the value when it still holds what registration wrote.
HRESULT RemoveText(const Entry& entry) {
  Owner owner = Owner::kNone;
  const HRESULT hr = OwnerOf(entry, owner);
  if (FAILED(hr)) return hr;
  if (owner != Owner::kThis) return S_OK;
  RegKey key;
  LSTATUS status = RegOpenKeyExW(kHive, entry.key.c_str(), 0, KEY_SET_VALUE, key.Out());
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  status = RegDeleteValueW(key.get(), entry.name);
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

// Deletes the key when it has neither subkeys nor values left.
HRESULT RemoveKeyIfEmpty(const WideText& key_name) {
  if (!key_name.ok()) return E_OUTOFMEMORY;
  DWORD subkeys = 0;
  DWORD values = 0;
  {
    RegKey key;
    LSTATUS status = RegOpenKeyExW(kHive, key_name.c_str(), 0, KEY_QUERY_VALUE, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                              &values, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }  // closed before the key is deleted
  if (subkeys != 0 || values != 0) return S_OK;
  const LSTATUS status = RegDeleteKeyW(kHive, key_name.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_OK;
  return HRESULT_FROM_WIN32(status);
}

// Removes the values of `entries` and then every key they lived in that is
// left empty. Goes on after a failure and reports the first one.
HRESULT RemoveEntries(const Entries& entries) {
  if (!entries.ok()) return E_OUTOFMEMORY;
  const List<Entry>& list = entries.list;
  FirstFailure failures;
  for (std::size_t i = list.size(); i-- > 0;) failures.Note(RemoveText(list[i]));
  // The keys the entries live in, each once, children (longer names) before
  // parents.
  std::size_t below = SIZE_MAX;
  for (;;) {
    std::size_t longest = 0;
    bool found = false;
    for (const Entry& entry : list) {
      if (entry.key.size() < below && (!found || entry.key.size() > longest)) {
        longest = entry.key.size();
        found = true;
      }
    }
    if (!found) break;
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i].key.size() != longest) continue;
      bool first = true;
      for (std::size_t j = 0; j < i && first; ++j) {
        first = std::wcscmp(list[j].key.c_str(), list[i].key.c_str()) != 0;
      }
      if (!first) continue;
      failures.Note(RemoveKeyIfEmpty(list[i].key));
    }
    below = longest;
  }
  return failures.status();
}

// The type library embedded in the module (TYPELIB resource 1), loaded
// without touching the registry.
HRESULT LoadOwnTypeLib(const WideText& module_path, ComPtr<ITypeLib>& library, LCID& own_locale) {
  ComPtr<ITypeLib> loaded;
  HRESULT hr = LoadTypeLibEx(module_path.c_str(), REGKIND_NONE, loaded.Out());
  if (FAILED(hr)) return hr;
  LibAttr attributes(loaded.get());
  hr = loaded->GetLibAttr(attributes.Out());
  if (FAILED(hr)) return hr;
  own_locale = attributes->lcid;
  library = std::move(loaded);
  return S_OK;
}

// The extra filing of the type library under the registration locale, when
// that differs from the library's own.
Entries TypeLibEntries(const ProjectDescriptor& project, LCID own_locale,
                       const WideText& module_path) {
  Entries entries;
  if (own_locale == project.typelib_locale) return entries;
  entries.Add(TypeLibPathKey(project, project.typelib_locale), nullptr, module_path.Copy(), true);
  return entries;
}

// Unregisters this edition's type library while the other edition's stays:
// its own filing and this view's Interface keys of the classes' interfaces,
// nothing the other edition reads.
HRESULT UnregisterTypeLibBesideOther(const ProjectDescriptor& project, ITypeLib* library,
                                     LCID own_locale, const WideText& module_path) {
  Entries filing;
  filing.Add(TypeLibPathKey(project, own_locale), nullptr, module_path.Copy(), true);
  FirstFailure failures;
  failures.Note(RemoveEntries(filing));
  failures.Note(RemoveKeyIfEmpty(TypeLibLocaleKey(project, own_locale)));
  for (std::size_t i = 0; i < project.class_count && library != nullptr; ++i) {
    const IID& iid = *project.classes[i].default_interface;
    ComPtr<ITypeInfo> info;
    Bstr name;
    HRESULT named = library->GetTypeInfoOfGuid(iid, info.Out());
    if (SUCCEEDED(named)) {
      named = info->GetDocumentation(MEMBERID_NIL, name.Out(), nullptr, nullptr, nullptr);
    }
    failures.Note(named);
    if (FAILED(named)) continue;
    const Entries entries = InterfaceEntries(project, iid, WideText(name.get()));
    Owner owner = Owner::kNone;
    const HRESULT read = OwnerOfFirst(entries, owner);
    failures.Note(read);
    if (FAILED(read) || owner == Owner::kOther) continue;
    failures.Note(RemoveEntries(entries));
  }
  return failures.status();
}

// A version key of the type library that no filing is left in: only the
// FLAGS and HELPDIR keys that RegisterTypeLib writes beside the filings, or
// nothing. A failed unregistration can leave one (its filings went, the key
// did not); it serves nobody, and goes with the library key when that is
// then empty.
HRESULT RemoveDeadVersionKey(const ProjectDescriptor& project) {
  const WideText version = TypeLibVersionKey(project);
  if (!version.ok()) return E_OUTOFMEMORY;
  {
    RegKey key;
    LSTATUS status = RegOpenKeyExW(kHive, version.c_str(), 0, KEY_READ, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    for (DWORD i = 0;; ++i) {
      wchar_t name[256];
      DWORD length = 256;
      status = RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) break;
      if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
      const auto is = [&](const wchar_t* text) {
        return CompareStringOrdinal(name, static_cast<int>(length), text, -1, TRUE) == CSTR_EQUAL;
      };
      if (!is(L"FLAGS") && !is(L"HELPDIR")) return S_OK;  // in use
    }
  }  // closed before the key is deleted
  const LSTATUS status = RegDeleteTreeW(kHive, version.c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
  return RemoveKeyIfEmpty(TypeLibKey(project));
}

// The library's own filing <locale>\<sys>, with its Interface keys, when it
// is this module's: through UnRegisterTypeLib, or, while the other edition
// stays registered beside it, only what is this edition's alone.
HRESULT RemoveOwnFiling(const ProjectDescriptor& project, ITypeLib* library, LCID own_locale,
                        const WideText& module_path) {
  Owner owner = Owner::kNone;
  const HRESULT read =
      OwnerOf({TypeLibPathKey(project, own_locale), nullptr, module_path.Copy(), true}, owner);
  if (FAILED(read) || owner != Owner::kThis) return read;
  const HRESULT other_filing = KeyExists(TypeLibPathKey(project, own_locale, kOtherSysKey));
  if (FAILED(other_filing)) return other_filing;
  const HRESULT other_edition = other_filing == S_OK ? OtherEditionRegistered(project) : S_FALSE;
  if (FAILED(other_edition)) return other_edition;
  if (other_edition == S_OK) {
    return UnregisterTypeLibBesideOther(project, library, own_locale, module_path);
  }
  const HRESULT hr = UnRegisterTypeLib(*project.typelib_id, project.typelib_major,
                                       project.typelib_minor, own_locale, kSysKind);
  // Its own failures are the type library's, whatever they say.
  return FAILED(hr) ? E_FAIL : hr;
}

// Unregisters the type library where it is this module's, then a version key
// left without filings. Without the library, its own filing cannot be told
// from another's: the unregistration fails.
HRESULT RemoveTypeLib(const ProjectDescriptor& project, const WideText& module_path) {
  FirstFailure failures;
  ComPtr<ITypeLib> library;
  LCID own_locale = project.typelib_locale;
  if (SUCCEEDED(LoadOwnTypeLib(module_path, library, own_locale))) {
    // The extra locale filing first, so that UnRegisterTypeLib finds only its
    // own locale under the version key and removes the version key.
    HRESULT hr = RemoveEntries(TypeLibEntries(project, own_locale, module_path));
    if (SUCCEEDED(hr) && own_locale != project.typelib_locale) {
      hr = RemoveKeyIfEmpty(TypeLibLocaleKey(project, project.typelib_locale));
    }
    failures.Note(hr, SELFREG_E_TYPELIB);
    failures.Note(RemoveOwnFiling(project, library.get(), own_locale, module_path),
                  SELFREG_E_TYPELIB);
  } else {
    failures.Note(E_FAIL, SELFREG_E_TYPELIB);
  }
  failures.Note(RemoveDeadVersionKey(project), SELFREG_E_TYPELIB);
  return failures.status();
}

// The ProgID key of a class when it names the class. The key is shared by
// both views: it stays while the other edition serves the class.
HRESULT RemoveProgId(const ProjectDescriptor& project, const ClassRecord& record) {
  const Entries entries = ProgIdEntries(project, record);
  if (!entries.ok()) return E_OUTOFMEMORY;
  const HRESULT other_edition = OtherEditionRegistered(project);
  Owner owner = Owner::kNone;
  const HRESULT read = OwnerOf(entries.front(), owner);
  if (FAILED(read)) return read;
  if (FAILED(other_edition)) return other_edition;
  if (owner == Owner::kOther || other_edition == S_OK) return S_OK;
  return RemoveEntries(entries);
}

// The keys of one class, unless another copy of the server, at another path,
// registered the class: then the class key is that copy's, and so is its
// ProgID.
HRESULT RemoveClass(const ProjectDescriptor& project, const ClassRecord& record,
                    const WideText& module_path) {
  const Entries entries = ClassEntries(project, record, module_path);
  Owner owner = Owner::kNone;
  const HRESULT read = OwnerOfFirst(entries, owner);
  if (FAILED(read)) return StepFailure(read, SELFREG_E_CLASS);
  if (owner == Owner::kOther) return S_OK;
  FirstFailure failures;
  failures.Note(RemoveEntries(entries), SELFREG_E_CLASS);
  failures.Note(RemoveProgId(project, record), SELFREG_E_CLASS);
  return failures.status();
}

HRESULT Unregister(const ModuleCells& cells, const ProjectDescriptor& project) {
  WideText module_path;
  const HRESULT located = ModulePath(cells, module_path);
  if (FAILED(located)) return StepFailure(located, SELFREG_E_CLASS);
  FirstFailure failures;
  failures.Note(RemoveTypeLib(project, module_path));
  for (std::size_t i = 0; i < project.class_count; ++i) {
    failures.Note(RemoveClass(project, project.classes[i], module_path));
  }
  return failures.status();
}

// ---- Registration as a transaction ----

// One value of a saved key.
struct SavedValue {
  WideText name;
  DWORD type;
  Bytes data;
};

// A saved key: its path below the saved root ("" for the root) and values.
struct SavedKey {
  WideText path;
  List<SavedValue> values;
};

// A key and everything below it as it stood, in one view of the registry;
// parents come before their children.
struct SavedTree {
  WideText root;  // the full path from the hive
  REGSAM view;
  bool existed = false;
  List<SavedKey> keys;
};

// Reads the key `path` below `root` (opened in the saved view) into `tree`,
// then its subkeys.
HRESULT SaveKey(HKEY root, WideText path, SavedTree& tree) {
  if (!path.ok()) return E_OUTOFMEMORY;
  RegKey key;
  LSTATUS status = RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0,
                                 KEY_READ | tree.view, key.Out());
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  DWORD subkeys = 0;
  DWORD values = 0;
  DWORD longest_name = 0;
  DWORD longest_data = 0;
  status = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, &longest_name, &longest_data, nullptr, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  SavedKey saved{path.Copy(), {}};
  if (!saved.path.ok()) return E_OUTOFMEMORY;
  for (DWORD i = 0; i < values; ++i) {
    SavedValue value{{}, 0, {}};
    if (!value.name.Resize(longest_name + 1) || !value.data.Allocate(longest_data)) {
      return E_OUTOFMEMORY;
    }
    DWORD name_length = longest_name + 1;
    DWORD bytes = longest_data;
    status = RegEnumValueW(key.get(), i, value.name.data(), &name_length, nullptr, &value.type,
                           value.data.empty() ? nullptr : value.data.data(), &bytes);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    value.name.Resize(name_length);
    value.data.Shorten(bytes);
    if (!saved.values.Add(std::move(value))) return E_OUTOFMEMORY;
  }
  if (!tree.keys.Add(std::move(saved))) return E_OUTOFMEMORY;
  List<WideText> names;
  for (DWORD i = 0; i < subkeys; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    status = RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    WideText text(name, length);
    if (!text.ok() || !names.Add(std::move(text))) return E_OUTOFMEMORY;
  }
  for (const WideText& name : names) {
    const HRESULT hr = SaveKey(root, path.empty() ? name.Copy() : path + L"\\" + name, tree);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// Saves the key `key_name`, in `view`, and all below it. A key that does not
// exist is saved as absent.
HRESULT Save(WideText key_name, REGSAM view, List<SavedTree>& trees) {
  if (!key_name.ok()) return E_OUTOFMEMORY;
  SavedTree tree{std::move(key_name), view, false, {}};
  RegKey root;
  const LSTATUS status = RegOpenKeyExW(kHive, tree.root.c_str(), 0, KEY_READ | view, root.Out());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(status);
  tree.existed = status == ERROR_SUCCESS;
  if (tree.existed) {
    const HRESULT hr = SaveKey(root.get(), WideText(), tree);
    if (FAILED(hr)) return hr;
  }
  return trees.Add(std::move(tree)) ? S_OK : E_OUTOFMEMORY;
}

// Puts a saved key back as it stood: an absent one is deleted with all below
// it; an existing one loses what is in it now and gets its saved values and
// subkeys back (the root keeps its name as it is spelt in the registry).
// Goes on after a failure and reports the first one.
HRESULT Restore(const SavedTree& tree) {
  const wchar_t* const full = tree.root.c_str();
  if (!tree.existed) {
    {
      RegKey key;
      const LSTATUS status = RegOpenKeyExW(kHive, full, 0, KEY_ALL_ACCESS | tree.view, key.Out());
      if (status == ERROR_FILE_NOT_FOUND) return S_OK;
      if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
      const LSTATUS emptied = RegDeleteTreeW(key.get(), nullptr);
      if (emptied != ERROR_SUCCESS) return HRESULT_FROM_WIN32(emptied);
    }
    const LSTATUS status = RegDeleteKeyExW(kHive, full, tree.view, 0);
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
  }
  RegKey root;
  LSTATUS status = RegCreateKeyExW(kHive, full, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS | tree.view, nullptr, root.Out(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  FirstFailure failures;
  failures.Note(HRESULT_FROM_WIN32(RegDeleteTreeW(root.get(), nullptr)));
  for (const SavedKey& saved : tree.keys) {
    RegKey key;
    status = RegCreateKeyExW(root.get(), saved.path.empty() ? nullptr : saved.path.c_str(), 0,
                             nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | tree.view, nullptr,
                             key.Out(), nullptr);
    for (const SavedValue& value : saved.values) {
      if (status != ERROR_SUCCESS) break;
      status = RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0,
                              value.type, value.data.empty() ? nullptr : value.data.data(),
                              static_cast<DWORD>(value.data.size()));
    }
    failures.Note(HRESULT_FROM_WIN32(status));
  }
  return failures.status();
}

// Writes what registration writes, every entry made whole beforehand; the
// first failure ends it.
HRESULT Write(const Entries& class_entries, ITypeLib* library, WideText& path,
              const Entries& typelib_entries) {
  for (const Entry& entry : class_entries.list) {
    if (FAILED(SetText(entry))) return SELFREG_E_CLASS;
  }
  if (FAILED(RegisterTypeLib(library, path.data(), nullptr))) return SELFREG_E_TYPELIB;
  for (const Entry& entry : typelib_entries.list) {
    if (FAILED(SetText(entry))) return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

// Registration: everything that can be checked before the first write (the
// module's path, its type library, every text to be written), then what is
// registered now is saved, then written over; on any failure the saved keys
// are put back, so that a clean registry stays clean and a working
// registration keeps working.
HRESULT Register(const ModuleCells& cells, const ProjectDescriptor& project) {
  WideText module_path;
  const HRESULT located = ModulePath(cells, module_path);
  if (FAILED(located)) return StepFailure(located, SELFREG_E_CLASS);
  ComPtr<ITypeLib> library;
  LCID own_locale = 0;
  if (FAILED(LoadOwnTypeLib(module_path, library, own_locale))) return SELFREG_E_TYPELIB;

  Entries class_entries;
  List<SavedTree> saved;
  for (std::size_t i = 0; i < project.class_count; ++i) {
    const ClassRecord& record = project.classes[i];
    Entries entries[] = {ClassEntries(project, record, module_path),
                         ProgIdEntries(project, record)};
    for (Entries& kind : entries) {
      if (!kind.ok()) return E_OUTOFMEMORY;
      for (Entry& entry : kind.list) class_entries.list.Add(std::move(entry));
    }
    if (!class_entries.ok()) return E_OUTOFMEMORY;
    HRESULT hr = Save(ClassKey(*record.clsid), 0, saved);
    if (SUCCEEDED(hr)) hr = Save(ProgIdKey(project, record), 0, saved);
    if (FAILED(hr)) return StepFailure(hr, SELFREG_E_CLASS);
  }
  const Entries typelib_entries = TypeLibEntries(project, own_locale, module_path);
  if (!typelib_entries.ok()) return E_OUTOFMEMORY;
  // RegisterTypeLib writes the library's key and the Interface keys of its
  // interfaces, in both views where there are two (the library's key is
  // shared by the views on Windows; saving it in each costs nothing).
  HRESULT hr = Save(TypeLibKey(project), 0, saved);
  if (SUCCEEDED(hr) && HasOtherView()) hr = Save(TypeLibKey(project), kOtherView, saved);
  for (std::size_t i = 0; i < project.class_count && SUCCEEDED(hr); ++i) {
    const IID& iid = *project.classes[i].default_interface;
    hr = Save(InterfaceKey(iid), 0, saved);
    if (SUCCEEDED(hr) && HasOtherView()) hr = Save(InterfaceKey(iid), kOtherView, saved);
  }
  if (FAILED(hr)) return StepFailure(hr, SELFREG_E_TYPELIB);
  // RegisterTypeLib takes a writable path text.
  WideText path_copy = module_path.Copy();
  if (!path_copy.ok()) return E_OUTOFMEMORY;

  hr = Write(class_entries, library.get(), path_copy, typelib_entries);
  if (FAILED(hr)) {
    for (const SavedTree& tree : saved) (void)Restore(tree);
  }
  return hr;
}

}  // namespace

HRESULT RegisterServer(ModuleCells& cells, const ProjectDescriptor& project) {
  return Register(cells, project);
}

HRESULT UnregisterServer(ModuleCells& cells, const ProjectDescriptor& project) {
  return Unregister(cells, project);
}

}  // namespace pelmora::server
