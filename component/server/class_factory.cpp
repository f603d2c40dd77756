// The class factory handed out by GetClassObject: one per request, holding the
// module for as long as it lives.
#include <windows.h>

#include <new>

#include "component/server/owners.h"
#include "component/server/server.h"

namespace pelmora::server {
namespace {

// COM objects are destroyed by their own Release, never deleted through an
// interface pointer, so the interfaces' non-virtual destructors are by design.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory(ModuleCells& cells, const ClassRecord& record) : cells_(cells), record_(record) {
    ModuleLock(cells_, Hold::kFactory);
  }

  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }

  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return record_.create(cells_, iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ModuleLock(cells_, Hold::kServerLock);
    } else {
      ModuleUnlock(cells_, Hold::kServerLock);
    }
    return S_OK;
  }

 private:
  ~ClassFactory() { ModuleUnlock(cells_, Hold::kFactory); }

  ModuleCells& cells_;
  const ClassRecord& record_;
  volatile LONG refs_ = 1;
};
#pragma GCC diagnostic pop

}  // namespace

HRESULT GetClassObject(ModuleCells& cells, const ProjectDescriptor& project, REFCLSID clsid,
                       REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  const ClassRecord* record = nullptr;
  for (std::size_t i = 0; i < project.class_count; ++i) {
    if (IsEqualCLSID(*project.classes[i].clsid, clsid)) {
      record = &project.classes[i];
      break;
    }
  }
  if (record == nullptr || record->create == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

  const ComPtr<IClassFactory> factory(new (std::nothrow) ClassFactory(cells, *record));
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, out);
}

}  // namespace pelmora::server
