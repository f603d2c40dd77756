// Lifetime of Pelmora.dll's objects: the class factory's answers, interface
// queries and reference counts, and DllCanUnloadNow with instances, factories
// and server locks outstanding.
#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <gtest/gtest.h>
#include <oleauto.h>

#include <cstdint>
#include <vector>

#include "tests/component/com_support.h"
#include "tests/test_support.h"

namespace pelmora::test {
namespace {

// An interface identifier nobody implements.
const GUID kStranger = {0x1C0FFEE5, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 1, 2, 3, 4}};

void* const kSentinel = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5A5A5A5Au));

ComPtr<IClassFactory> Factory() {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(
      Hr{Server::Get().GetClassObject(CLSID_CalcDistClass, IID_IClassFactory, factory.OutVoid())},
      Hr{S_OK});
  return factory;
}

// LockServer(`lock`) through a class object taken for the call alone and
// released before it returns.
HRESULT LockServerOnce(BOOL lock) {
  const ComPtr<IClassFactory> factory = Factory();
  return factory ? factory->LockServer(lock) : E_FAIL;
}

TEST(ClassObject, Lookup) {
  struct Row {
    const char* what;
    const GUID& clsid;
    const GUID& iid;
    HRESULT hr;
  };
  const std::vector<Row> rows = {
      {"factory", CLSID_CalcDistClass, IID_IClassFactory, S_OK},
      {"factory as IUnknown", CLSID_CalcDistClass, IID_IUnknown, S_OK},
      {"factory as IDispatch", CLSID_CalcDistClass, IID_IDispatch, E_NOINTERFACE},
      {"factory as the class's interface", CLSID_CalcDistClass, IID__CalcDistClass, E_NOINTERFACE},
      {"another class", kStranger, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {"the interface's identifier as a class", IID__CalcDistClass, IID_IClassFactory,
       CLASS_E_CLASSNOTAVAILABLE},
      {"the library's identifier as a class", LIBID_Tevaro, IID_IClassFactory,
       CLASS_E_CLASSNOTAVAILABLE},
      {"no class", GUID_NULL, IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Row& row : rows) {
    void* out = kSentinel;
    EXPECT_EQ(Hr{Server::Get().GetClassObject(row.clsid, row.iid, &out)}, Hr{row.hr}) << row.what;
    if (row.hr == S_OK) {
      ASSERT_NE(out, nullptr) << row.what;
      ASSERT_NE(out, kSentinel) << row.what;
      static_cast<IUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr) << row.what;
    }
  }
  EXPECT_EQ(Hr{Server::Get().GetClassObject(CLSID_CalcDistClass, IID_IClassFactory, nullptr)},
            Hr{E_POINTER});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
}

TEST(ClassObject, CreateInstance) {
  const ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  struct Row {
    const char* what;
    const GUID& iid;
    HRESULT hr;
  };
  const std::vector<Row> rows = {
      {"IUnknown", IID_IUnknown, S_OK},
      {"IDispatch", IID_IDispatch, S_OK},
      {"_CalcDistClass", IID__CalcDistClass, S_OK},
      {"ISupportErrorInfo", IID_ISupportErrorInfo, S_OK},
      {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
      {"IPersist", IID_IPersist, E_NOINTERFACE},
      {"IMarshal", IID_IMarshal, E_NOINTERFACE},
      {"a stranger", kStranger, E_NOINTERFACE},
  };
  for (const Row& row : rows) {
    void* out = kSentinel;
    EXPECT_EQ(Hr{factory->CreateInstance(nullptr, row.iid, &out)}, Hr{row.hr}) << row.what;
    if (row.hr == S_OK) {
      ASSERT_NE(out, nullptr) << row.what;
      // The only reference: releasing it destroys the instance.
      EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << row.what;
    } else {
      EXPECT_EQ(out, nullptr) << row.what;
    }
  }

  // No aggregation, whatever the interface asked for.
  const ComPtr<_CalcDistClass> some_object = Server::Get().Create();
  for (const GUID* iid : {&IID_IUnknown, &IID__CalcDistClass}) {
    void* out = kSentinel;
    EXPECT_EQ(Hr{factory->CreateInstance(some_object.get(), *iid, &out)},
              Hr{CLASS_E_NOAGGREGATION});
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(Hr{factory->CreateInstance(nullptr, IID_IUnknown, nullptr)}, Hr{E_POINTER});
}

TEST(Instance, InterfacesShareOneIdentity) {
  const ComPtr<_CalcDistClass> object = Server::Get().Create();
  ASSERT_TRUE(object);
  ComPtr<IUnknown> unknown;
  ComPtr<IDispatch> dispatch;
  ComPtr<ISupportErrorInfo> support;
  ASSERT_EQ(Hr{object->QueryInterface(IID_IUnknown, unknown.OutVoid())}, Hr{S_OK});
  ASSERT_EQ(Hr{object->QueryInterface(IID_IDispatch, dispatch.OutVoid())}, Hr{S_OK});
  ASSERT_EQ(Hr{object->QueryInterface(IID_ISupportErrorInfo, support.OutVoid())}, Hr{S_OK});
  // The dual interface is its own IDispatch.
  EXPECT_EQ(static_cast<IDispatch*>(object.get()), dispatch.get());

  // Every interface leads back to the same IUnknown.
  for (IUnknown* from :
       {static_cast<IUnknown*>(object.get()), static_cast<IUnknown*>(dispatch.get()),
        static_cast<IUnknown*>(support.get())}) {
    ComPtr<IUnknown> again;
    ASSERT_EQ(Hr{from->QueryInterface(IID_IUnknown, again.OutVoid())}, Hr{S_OK});
    EXPECT_EQ(again.get(), unknown.get());
    ComPtr<_CalcDistClass> back;
    ASSERT_EQ(Hr{from->QueryInterface(IID__CalcDistClass, back.OutVoid())}, Hr{S_OK});
    EXPECT_EQ(back.get(), object.get());
  }
  void* out = kSentinel;
  EXPECT_EQ(Hr{support->QueryInterface(kStranger, &out)}, Hr{E_NOINTERFACE});
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Hr{object->QueryInterface(IID_IUnknown, nullptr)}, Hr{E_POINTER});
}

TEST(Instance, ReferenceCounts) {
  const ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  _CalcDistClass* object = nullptr;
  ASSERT_EQ(
      Hr{factory->CreateInstance(nullptr, IID__CalcDistClass, reinterpret_cast<void**>(&object))},
      Hr{S_OK});
  EXPECT_EQ(object->AddRef(), 2u);
  EXPECT_EQ(object->AddRef(), 3u);
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(Hr{object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))},
            Hr{S_OK});
  // One count for the object, whichever interface it is taken through.
  EXPECT_EQ(support->AddRef(), 5u);
  EXPECT_EQ(support->Release(), 4u);
  EXPECT_EQ(support->Release(), 3u);
  EXPECT_EQ(object->Release(), 2u);
  EXPECT_EQ(object->Release(), 1u);
  // The type information an IDispatch call loads is the instance's own and
  // holds no reference on it.
  UINT count = 0;
  object->GetTypeInfoCount(&count);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"ArcCos")};
  DISPID id = 0;
  ASSERT_EQ(Hr{object->GetIDsOfNames(IID_NULL, names, 1, 0, &id)}, Hr{S_OK});
  EXPECT_EQ(object->Release(), 0u);
}

// ---------------------------------------------------------------------------
// DllCanUnloadNow

TEST(Unloading, NotWhileAnythingHoldsTheModule) {
  ASSERT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  // A live factory holds the module: its client may still call it.
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});

  ComPtr<_CalcDistClass> object;
  ASSERT_EQ(Hr{factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid())}, Hr{S_OK});
  factory.Reset();
  // An instance holds it.
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  // The instance works without its factory.
  float value = 0.0f;
  EXPECT_EQ(Hr{object->ArcCos(-1.0f, &value)}, Hr{S_OK});
  EXPECT_EQ(Bits(value), 0x40490FDBu);
  object.Reset();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});

  // A server lock holds it, after the factory that took it is gone.
  factory = Factory();
  ASSERT_EQ(Hr{factory->LockServer(TRUE)}, Hr{S_OK});
  ASSERT_EQ(Hr{factory->LockServer(TRUE)}, Hr{S_OK});
  factory.Reset();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  ASSERT_EQ(Hr{LockServerOnce(FALSE)}, Hr{S_OK});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});  // one lock left
  ASSERT_EQ(Hr{LockServerOnce(FALSE)}, Hr{S_OK});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
}

TEST(Unloading, StrayUnlocksDoNotStickTheCount) {
  // Unlocks that were never locked (a client's fault) leave the count at
  // zero instead of below it, where no later release could make the server
  // unloadable again; locking works as before afterwards.
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Hr{factory->LockServer(FALSE)}, Hr{S_OK});
  factory.Reset();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});

  ASSERT_EQ(Hr{LockServerOnce(TRUE)}, Hr{S_OK});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  ASSERT_EQ(Hr{LockServerOnce(FALSE)}, Hr{S_OK});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
}

TEST(Unloading, StrayUnlocksDoNotReleaseObjectsOrFactories) {
  // Objects, factories and server locks are counted apart: unlocks that
  // were never locked cannot cancel what a live object or factory holds.
  ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  ComPtr<_CalcDistClass> object;
  ASSERT_EQ(Hr{factory->CreateInstance(nullptr, IID__CalcDistClass, object.OutVoid())}, Hr{S_OK});
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Hr{factory->LockServer(FALSE)}, Hr{S_OK});
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  factory.Reset();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  object.Reset();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
}

TEST(Unloading, ManyInstances) {
  std::vector<ComPtr<_CalcDistClass>> objects;
  for (int i = 0; i < 200; ++i) objects.push_back(Server::Get().Create());
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  objects.resize(1);
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_FALSE});
  objects.clear();
  EXPECT_EQ(Hr{Server::Get().CanUnloadNow()}, Hr{S_OK});
}

}  // namespace
}  // namespace pelmora::test
