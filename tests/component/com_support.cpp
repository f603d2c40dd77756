#include "tests/component/com_support.h"

namespace pelmora::test {
namespace {

// Every test program runs in a single-threaded apartment, as a script host
// does.
class ApartmentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(Hr{CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)}, Hr{S_OK});
  }
  void TearDown() override { CoUninitialize(); }
};

[[maybe_unused]] ::testing::Environment* const apartment =
    ::testing::AddGlobalTestEnvironment(new ApartmentEnvironment);

}  // namespace

Server& Server::Get() {
  static Server server;
  return server;
}

Server::Server() : path_(ServerBesideProgram()) {
  module_ = LoadLibraryW(path_.c_str());
  if (module_ == nullptr) return;
  get_class_object_ = reinterpret_cast<decltype(get_class_object_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  can_unload_now_ = reinterpret_cast<decltype(can_unload_now_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

HRESULT Server::GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
  if (get_class_object_ == nullptr) return E_FAIL;
  return get_class_object_(clsid, iid, out);
}

HRESULT Server::CanUnloadNow() const {
  if (can_unload_now_ == nullptr) return E_FAIL;
  return can_unload_now_();
}

ComPtr<_CalcDistClass> Server::Create() const {
  EXPECT_NE(module_, nullptr) << "Pelmora.dll not loaded from the test program's folder";
  ComPtr<IClassFactory> factory;
  const HRESULT got = GetClassObject(CLSID_CalcDistClass, IID_IClassFactory, factory.OutVoid());
  EXPECT_EQ(Hr{got}, Hr{S_OK});
  ComPtr<_CalcDistClass> object;
  if (!factory) return object;
  EXPECT_EQ(Hr{factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid())}, Hr{S_OK});
  return object;
}

}  // namespace pelmora::test
