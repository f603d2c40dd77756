// Pelmora.dll as a registered server, through COM's own activation: creation
// by class identifier and by ProgID, the registered type library, an object
// used from another apartment through the standard Automation marshaler, and
// the entry points of the server COM loaded. Run after regsvr32 with the
// suites Registered.* and RegisteredAcrossApartments.*, and after regsvr32 /u
// with Unregistered.*:
//   activation_test.exe --gtest_filter=Registered.* <registered path of Pelmora.dll>
//   activation_test.exe --gtest_filter=RegisteredAcrossApartments.* <the same path>
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "Pelmora.h"
#include "calc/decoding.h"
#include "calc/encoding.h"
#include "tests/component/com_support.h"
#include "tests/test_support.h"

namespace pelmora::test {
namespace {

// The registered path of the server, from the command line.
std::wstring& RegisteredPath() {
  static std::wstring path;
  return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The module COM loaded for the class, by its file name.
std::wstring LoadedServerPath() {
  const HMODULE module = GetModuleHandleW(L"Pelmora.dll");
  if (module == nullptr) return L"<not loaded>";
  std::vector<wchar_t> path(32768);
  const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
  return std::wstring(path.data(), length);
}

std::wstring RegistryText(const wchar_t* key, const wchar_t* name) {
  std::vector<wchar_t> data(32768);
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, data.data(), &bytes) !=
      ERROR_SUCCESS) {
    return L"<absent>";
  }
  return data.data();
}

// Locators of every field with square 55 and subsquare mm, and of every
// square of field JO: decoding them on either side must agree bit for bit.
std::vector<std::wstring> SomeLocators() {
  std::vector<std::wstring> out;
  for (wchar_t lon = L'A'; lon <= L'R'; ++lon) {
    for (wchar_t lat = L'A'; lat <= L'R'; ++lat) out.push_back({lon, lat, L'5', L'5', L'm', L'm'});
  }
  for (wchar_t lon = L'0'; lon <= L'9'; ++lon) {
    for (wchar_t lat = L'0'; lat <= L'9'; ++lat) out.push_back({L'J', L'O', lon, lat});
  }
  return out;
}

runtime::Text TextOf(const std::wstring& text) {
  return runtime::Text(std::u16string(text.begin(), text.end()));
}

// Calls through `object` agree with the calculations on SomeLocators().
void ExpectDecodingAgrees(_CalcDistClass* object) {
  for (const std::wstring& grid : SomeLocators()) {
    Bstr text(grid.c_str());
    float lat = 0.0f;
    float lon = 0.0f;
    ASSERT_EQ(Hr{object->LatFromGrid(text.get(), &lat)}, Hr{S_OK}) << Narrow(grid);
    ASSERT_EQ(Hr{object->LongFromGrid(text.get(), &lon)}, Hr{S_OK}) << Narrow(grid);
    const auto want_lat = calc::LatFromGrid(TextOf(grid));
    const auto want_lon = calc::LongFromGrid(TextOf(grid));
    EXPECT_EQ(Bits(lat), Bits(want_lat.value)) << Narrow(grid);
    EXPECT_EQ(Bits(lon), Bits(want_lon.value)) << Narrow(grid);
    Bstr back;
    ASSERT_EQ(Hr{object->GridFromLatLong(lat, lon, back.Out())}, Hr{S_OK}) << Narrow(grid);
    EXPECT_EQ(AsText(back), calc::GridFromLatLong(lat, lon).value) << Narrow(grid);
  }
}

// ---- Registered ----

TEST(Registered, CreatesByClassIdentifier) {
  ComPtr<_CalcDistClass> object;
  ASSERT_EQ(Hr{CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER,
                                IID__CalcDistClass, object.OutVoid())},
            Hr{S_OK});
  Bstr grid;
  ASSERT_EQ(Hr{object->GridFromLatLong(52.5f, 13.4f, grid.Out())}, Hr{S_OK});
  EXPECT_EQ(AsText(grid), T(u"JO62qm"));
  ExpectDecodingAgrees(object.get());
}

TEST(Registered, CreatesByProgId) {
  CLSID clsid = {};
  ASSERT_EQ(Hr{CLSIDFromProgID(L"Tevaro.CalcDistClass", &clsid)}, Hr{S_OK});
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_CalcDistClass));
  LPOLESTR progid = nullptr;
  ASSERT_EQ(Hr{ProgIDFromCLSID(CLSID_CalcDistClass, &progid)}, Hr{S_OK});
  EXPECT_EQ(std::wstring(progid), L"Tevaro.CalcDistClass");
  CoTaskMemFree(progid);

  // By name, as a script host calls it.
  ComPtr<IDispatch> object;
  ASSERT_EQ(
      Hr{CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.OutVoid())},
      Hr{S_OK});
  Bstr name(L"GridFromLatLong");
  LPOLESTR names[] = {name.get()};
  DISPID dispid = 0;
  ASSERT_EQ(Hr{object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid)}, Hr{S_OK});
  EXPECT_EQ(dispid, 0x60030007);
  VARIANTARG args[2];  // in reverse order: dLon, dLat
  args[0].vt = VT_R4;
  args[0].fltVal = 13.4f;
  args[1].vt = VT_R4;
  args[1].fltVal = 52.5f;
  DISPPARAMS params = {args, nullptr, 2, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(Hr{object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT,
                              DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result, nullptr,
                              nullptr)},
            Hr{S_OK});
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(std::wstring(result.bstrVal), L"JO62qm");
  VariantClear(&result);
}

TEST(Registered, ServerComesFromTheRegisteredPath) {
  const std::wstring key = L"CLSID\\{E5C3831C-0F27-4322-B00F-3DFCC9ABCE3C}\\InprocServer32";
  EXPECT_EQ(RegistryText(key.c_str(), nullptr), RegisteredPath());
  EXPECT_EQ(RegistryText(key.c_str(), L"ThreadingModel"), L"Apartment");
  ComPtr<IUnknown> object;
  ASSERT_EQ(Hr{CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                object.OutVoid())},
            Hr{S_OK});
  const std::wstring loaded = LoadedServerPath();
  EXPECT_TRUE(SamePath(loaded, RegisteredPath()))
      << Narrow(loaded) << " is not " << Narrow(RegisteredPath());
}

TEST(Registered, TypeLibraryFoundByIdentifierVersionAndLocaleZero) {
  // What the standard marshaler asks for: locale 0. The library's own
  // locale, 0x0409, and a neutral request find it too.
  for (const LCID locale : {LCID{0}, LCID{0x0409}, LCID{0x0407}}) {
    SCOPED_TRACE(locale);
    ComPtr<ITypeLib> library;
    ASSERT_EQ(Hr{LoadRegTypeLib(LIBID_Tevaro, 1, 0, locale, library.Out())}, Hr{S_OK});
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(Hr{library->GetLibAttr(&attr)}, Hr{S_OK});
    EXPECT_TRUE(IsEqualGUID(attr->guid, LIBID_Tevaro));
    EXPECT_EQ(attr->lcid, LCID{0x0409});
    EXPECT_EQ(attr->syskind, kSysKind);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attr);

    Bstr name;
    ASSERT_EQ(Hr{library->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr)}, Hr{S_OK});
    EXPECT_EQ(AsText(name), T(u"Tevaro"));
    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    const struct {
      const char16_t* name;
      TYPEKIND kind;
      const GUID* guid;
    } kTypes[] = {{u"_CalcDistClass", TKIND_DISPATCH, &IID__CalcDistClass},
                  {u"CalcDistClass", TKIND_COCLASS, &CLSID_CalcDistClass}};
    for (UINT i = 0; i < 2; ++i) {
      Bstr type_name;
      ASSERT_EQ(Hr{library->GetDocumentation(static_cast<INT>(i), type_name.Out(), nullptr, nullptr,
                                             nullptr)},
                Hr{S_OK});
      EXPECT_EQ(AsText(type_name), T(kTypes[i].name));
      ComPtr<ITypeInfo> info;
      ASSERT_EQ(Hr{library->GetTypeInfo(i, info.Out())}, Hr{S_OK});
      TYPEATTR* type = nullptr;
      ASSERT_EQ(Hr{info->GetTypeAttr(&type)}, Hr{S_OK});
      EXPECT_EQ(type->typekind, kTypes[i].kind);
      EXPECT_TRUE(IsEqualGUID(type->guid, *kTypes[i].guid));
      info->ReleaseTypeAttr(type);
    }
  }

  Bstr path;
  ASSERT_EQ(Hr{QueryPathOfRegTypeLib(LIBID_Tevaro, 1, 0, 0, path.Out())}, Hr{S_OK});
  ASSERT_NE(path.get(), nullptr);
  const std::wstring found(path.get(), SysStringLen(path.get()));
  EXPECT_TRUE(SamePath(found, RegisteredPath())) << Narrow(found);
}

// Runs `body` on a new thread and waits for it the way a single-threaded
// apartment must wait: pumping its messages (CoWaitForMultipleHandles), so
// that nothing COM sends to this apartment meanwhile is left unanswered.
template <class Body>
DWORD WINAPI RunBody(void* context) {
  (*static_cast<Body*>(context))();
  return 0;
}

template <class Body>
bool RunOnThreadAndWait(Body& body) {
  HANDLE thread = CreateThread(nullptr, 0, RunBody<Body>, &body, 0, nullptr);
  if (thread == nullptr) return false;
  DWORD index = 0;
  const HRESULT waited = CoWaitForMultipleHandles(0, INFINITE, 1, &thread, &index);
  CloseHandle(thread);
  return SUCCEEDED(waited);
}

// A thread of the multithreaded apartment gets the apartment-model object
// through a proxy: the standard Automation marshaler needs the registered type
// library (locale 0) to build it. Texts and single-precision numbers cross
// unchanged. Its own suite, run in a process of its own: the host apartment
// that COM makes for the object can keep the server locked after the client
// has gone (Wine 8 does), which would upset the unload check of another test.
TEST(RegisteredAcrossApartments, UsedFromTheMultithreadedApartment) {
  HRESULT created = E_FAIL;
  HRESULT first_call = E_FAIL;
  runtime::Text grid;
  bool agrees = false;
  auto worker = [&] {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
    {
      ComPtr<_CalcDistClass> object;
      created = CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER,
                                 IID__CalcDistClass, object.OutVoid());
      if (SUCCEEDED(created)) {
        Bstr text;
        first_call = object->GridFromLatLong(52.5f, 13.4f, text.Out());
        grid = AsText(text);
        ExpectDecodingAgrees(object.get());
        agrees = !::testing::Test::HasFailure();
      }
    }
    CoUninitialize();
  };
  ASSERT_TRUE(RunOnThreadAndWait(worker));
  ASSERT_EQ(Hr{created}, Hr{S_OK});
  ASSERT_EQ(Hr{first_call}, Hr{S_OK});
  EXPECT_EQ(grid, T(u"JO62qm"));
  EXPECT_TRUE(agrees);
}

// The class factory that COM obtains from the registered server.
TEST(Registered, ClassFactoryThroughCom) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(Hr{CoGetClassObject(CLSID_CalcDistClass, CLSCTX_INPROC_SERVER, nullptr,
                                IID_IClassFactory, factory.OutVoid())},
            Hr{S_OK});
  ComPtr<IUnknown> outer;
  ASSERT_EQ(Hr{CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                outer.OutVoid())},
            Hr{S_OK});

  void* out = &out;
  EXPECT_EQ(Hr{factory->CreateInstance(outer.get(), IID_IUnknown, &out)},
            Hr{CLASS_E_NOAGGREGATION});
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ(Hr{CoCreateInstance(CLSID_CalcDistClass, outer.get(), CLSCTX_INPROC_SERVER,
                                IID_IUnknown, &out)},
            Hr{CLASS_E_NOAGGREGATION});
  EXPECT_EQ(out, nullptr);

  // The class object is a factory and nothing else.
  out = &out;
  EXPECT_EQ(Hr{CoGetClassObject(CLSID_CalcDistClass, CLSCTX_INPROC_SERVER, nullptr,
                                IID__CalcDistClass, &out)},
            Hr{E_NOINTERFACE});
  EXPECT_EQ(out, nullptr);
}

// The entry points of the very module COM loaded from the registered path,
// and its unload check once COM's objects are gone.
TEST(Registered, EntryPointsOfTheLoadedServer) {
  ComPtr<IUnknown> object;
  ASSERT_EQ(Hr{CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                object.OutVoid())},
            Hr{S_OK});
  const HMODULE module = GetModuleHandleW(L"Pelmora.dll");
  ASSERT_NE(module, nullptr);
  using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  using CanUnloadNowFn = HRESULT(WINAPI*)();
  const auto get_class_object = reinterpret_cast<GetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  const auto can_unload_now = reinterpret_cast<CanUnloadNowFn>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_NE(get_class_object, nullptr);
  ASSERT_NE(can_unload_now, nullptr);

  // The refusals (the full table is the component's own test).
  const struct {
    const char* what;
    const CLSID* clsid;
    const IID* iid;
    bool null_out;
    HRESULT want;
  } kCases[] = {
      {"another class", &LIBID_Tevaro, &IID_IClassFactory, false, CLASS_E_CLASSNOTAVAILABLE},
      {"another interface", &CLSID_CalcDistClass, &IID_IDispatch, false, E_NOINTERFACE},
      {"null out-pointer", &CLSID_CalcDistClass, &IID_IClassFactory, true, E_POINTER},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    void* out = &out;
    EXPECT_EQ(Hr{get_class_object(*c.clsid, *c.iid, c.null_out ? nullptr : &out)}, Hr{c.want});
    if (!c.null_out) {
      EXPECT_EQ(out, nullptr);
    }
  }
  void* factory = nullptr;
  ASSERT_EQ(Hr{get_class_object(CLSID_CalcDistClass, IID_IClassFactory, &factory)}, Hr{S_OK});
  static_cast<IUnknown*>(factory)->Release();
  EXPECT_EQ(Hr{can_unload_now()}, Hr{S_FALSE}) << "an object is alive";
  object.Reset();
  EXPECT_EQ(Hr{can_unload_now()}, Hr{S_OK});
}

// ---- Unregistered ----

TEST(Unregistered, CreationFailsAsClassNotRegistered) {
  void* out = &out;
  EXPECT_EQ(
      Hr{CoCreateInstance(CLSID_CalcDistClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out)},
      Hr{REGDB_E_CLASSNOTREG});
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ(Hr{CoGetClassObject(CLSID_CalcDistClass, CLSCTX_INPROC_SERVER, nullptr,
                                IID_IClassFactory, &out)},
            Hr{REGDB_E_CLASSNOTREG});
  CLSID clsid = {};
  EXPECT_EQ(Hr{CLSIDFromProgID(L"Tevaro.CalcDistClass", &clsid)}, Hr{CO_E_CLASSSTRING});
  EXPECT_EQ(GetModuleHandleW(L"Pelmora.dll"), nullptr);
}

TEST(Unregistered, TypeLibraryIsGone) {
  for (const LCID locale : {LCID{0}, LCID{0x0409}}) {
    ComPtr<ITypeLib> library;
    EXPECT_EQ(Hr{LoadRegTypeLib(LIBID_Tevaro, 1, 0, locale, library.Out())},
              Hr{TYPE_E_LIBNOTREGISTERED})
        << locale;
  }
}

}  // namespace
}  // namespace pelmora::test

// The test program runs in a single-threaded apartment, as a script host does.
// Its last argument, after GoogleTest's own, is the registered path of the
// server (wide, so that any path survives).
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  int wide_count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wide_count);
  if (wide != nullptr && wide_count > 1) {
    const std::wstring last = wide[wide_count - 1];
    if (last.rfind(L"--gtest", 0) != 0) pelmora::test::RegisteredPath() = last;
  }
  LocalFree(wide);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
