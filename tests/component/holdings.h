// What a Windows test program holds, to show that Pelmora.dll leaves nothing
// behind: handles, heap bytes and blocks of the task allocator. Header only:
// the hostile-host test includes it without the rest of the COM helpers.
#pragma once

#include <windows.h>
// <windows.h> first: the OLE headers rely on it.
#include <objbase.h>

#include <cstddef>
#include <cstdint>

namespace pelmora::test {

// What the process holds: the value of a new handle (handles are given out
// lowest free first, so it grows when handles are lost) and the bytes of the
// heap blocks in use.
struct ProcessHoldings {
  std::uintptr_t handle;
  std::size_t heap_bytes;
};

inline ProcessHoldings MeasureProcess() {
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(event);
  std::size_t bytes = 0;
  HANDLE heaps[64];
  const DWORD count = GetProcessHeaps(64, heaps);
  for (DWORD i = 0; i < count && i < 64; ++i) {
    PROCESS_HEAP_ENTRY entry{};
    HeapLock(heaps[i]);
    while (HeapWalk(heaps[i], &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    }
    HeapUnlock(heaps[i]);
  }
  return {reinterpret_cast<std::uintptr_t>(event), bytes};
}

// Counts the blocks of the task allocator, where every Automation string
// goes without the string cache (OANOCACHE=1): those allocated while it is
// registered (CoRegisterMallocSpy), and those of them freed. It lives as long
// as its registration; a COM object is never deleted through its interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class TaskBlockSpy final : public IMallocSpy {
 public:
  LONG Outstanding() const { return allocated_ - freed_; }
  LONG Allocations() const { return allocated_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
      *out = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
  void* STDMETHODCALLTYPE PostAlloc(void* block) override {
    if (block != nullptr) ++allocated_;
    return block;
  }
  void* STDMETHODCALLTYPE PreFree(void* block, BOOL spied) override {
    if (block != nullptr && spied) ++freed_;
    return block;
  }
  void STDMETHODCALLTYPE PostFree(BOOL) override {}
  SIZE_T STDMETHODCALLTYPE PreRealloc(void* block, SIZE_T size, void** out, BOOL) override {
    *out = block;
    return size;
  }
  void* STDMETHODCALLTYPE PostRealloc(void* block, BOOL) override { return block; }
  void* STDMETHODCALLTYPE PreGetSize(void* block, BOOL) override { return block; }
  SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
  void* STDMETHODCALLTYPE PreDidAlloc(void* block, BOOL) override { return block; }
  int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int answer) override { return answer; }
  void STDMETHODCALLTYPE PreHeapMinimize() override {}
  void STDMETHODCALLTYPE PostHeapMinimize() override {}

 private:
  LONG allocated_ = 0;
  LONG freed_ = 0;
};
#pragma GCC diagnostic pop

}  // namespace pelmora::test
