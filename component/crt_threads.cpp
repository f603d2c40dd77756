// The POSIX thread calls of the static runtime, on Windows primitives that
// hold neither a handle nor a block of memory, so that Pelmora.dll leaves
// nothing behind when it is unloaded.
//
// The DLL links libgcc and libstdc++ statically (it imports only system
// DLLs). Built for the posix thread model, they lock mutexes and create keys
// through winpthreads: the DWARF unwinder registers unwind tables under a
// mutex, emulated thread-local storage (the C++ exception globals) keeps a
// key per thread, the emergency exception pool is guarded by a mutex.
// winpthreads gives every thread that first locks a mutex a thread
// descriptor of its own (a block, an event and a duplicate of the thread's
// handle) and a TLS slot, and frees them only when the thread ends while
// winpthreads is still loaded: a host that loads and frees the DLL on one
// thread would lose two handles, a TLS slot and a block at every cycle. The
// DLL is built without C++ exceptions, so none of these parts is linked
// today; whatever part of the runtime that locks or keeps keys is linked
// meets these functions, and never winpthreads (the build checks its link
// map).
//
// Defined here, these eight functions take winpthreads' place in the link
// (its objects are pulled in only for symbols nothing else defines):
//   mutexes  slim reader/writer locks, one pointer-sized word, no resources;
//            a static mutex starts as the initializer value -1 and becomes
//            an unlocked lock on first use. The runtime uses no recursive
//            mutex.
//   once     a three-state word, other callers yielding until it is done.
//   keys     fiber-local storage slots, whose callbacks run the destructors
//            when a thread ends and, for every thread, when the slot is
//            freed at unload.
// The types are winpthreads' own (pthread.h), the ones the runtime is
// compiled against.
//
// The DLL's table of exit functions (its atexit, run at unload) is kept here
// too, under a lock of its own. MinGW's version takes the C runtime's exit
// lock, and the library entry runs it under the loader lock at load and
// unload. A host thread in exit() holds the exit lock while its atexit
// handlers run; if one of them loads or frees a library, or waits for a
// thread that loads or frees Pelmora.dll, the two threads deadlock.
#include "component/crt_threads.h"

#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <windows.h>

namespace {

PSRWLOCK AsLock(pthread_mutex_t* mutex) {
  static_assert(sizeof(pthread_mutex_t) == sizeof(SRWLOCK), "a mutex is one word");
  return reinterpret_cast<PSRWLOCK>(mutex);
}

// A static mutex holds one of the initializer values -1, -2 or -3 until it
// is first used; an unlocked slim lock is 0. A slim lock word never takes
// these values (its waiters' blocks are aligned).
void InitializeOnFirstUse(pthread_mutex_t* mutex) {
  const intptr_t value = *static_cast<volatile intptr_t*>(mutex);
  if (value >= -3 && value <= -1) {
    InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(mutex), nullptr,
                                      reinterpret_cast<PVOID>(value));
  }
}

// The keys: at most a few (the runtime makes one); each slot's destructor is
// called through a stdcall trampoline of its own.
constexpr int kMaxKeys = 4;
using Destructor = void (*)(void*);
struct Key {
  DWORD index;
  Destructor destructor;
};
Key keys[kMaxKeys];
int key_count = 0;
SRWLOCK keys_lock = SRWLOCK_INIT;

template <int kSlot>
void WINAPI RunDestructor(void* value) {
  if (value != nullptr && keys[kSlot].destructor != nullptr) keys[kSlot].destructor(value);
}

SRWLOCK exit_table_lock = SRWLOCK_INIT;

constexpr PFLS_CALLBACK_FUNCTION kTrampolines[kMaxKeys] = {RunDestructor<0>, RunDestructor<1>,
                                                           RunDestructor<2>, RunDestructor<3>};

}  // namespace

extern "C" {

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* /*attributes*/) {
  InitializeSRWLock(AsLock(mutex));
  return 0;
}

int pthread_mutex_destroy(pthread_mutex_t* /*mutex*/) { return 0; }

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  InitializeOnFirstUse(mutex);
  AcquireSRWLockExclusive(AsLock(mutex));
  return 0;
}

int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  ReleaseSRWLockExclusive(AsLock(mutex));
  return 0;
}

int pthread_once(pthread_once_t* once, void (*function)(void)) {
  static_assert(sizeof(pthread_once_t) == sizeof(LONG), "a once word is a LONG");
  volatile LONG* state = reinterpret_cast<volatile LONG*>(once);
  constexpr LONG kNotRun = 0;  // PTHREAD_ONCE_INIT
  constexpr LONG kRunning = 1;
  constexpr LONG kDone = 2;
  if (InterlockedCompareExchange(state, kRunning, kNotRun) == kNotRun) {
    function();
    InterlockedExchange(state, kDone);
    return 0;
  }
  while (InterlockedCompareExchange(state, kDone, kDone) != kDone) SwitchToThread();
  return 0;
}

int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  AcquireSRWLockExclusive(&keys_lock);
  int result = EAGAIN;
  if (key_count < kMaxKeys) {
    const int slot = key_count;
    keys[slot].destructor = destructor;
    const DWORD index = FlsAlloc(kTrampolines[slot]);
    if (index != FLS_OUT_OF_INDEXES) {
      keys[slot].index = index;
      ++key_count;
      *key = index;
      result = 0;
    }
  }
  ReleaseSRWLockExclusive(&keys_lock);
  return result;
}

void* pthread_getspecific(pthread_key_t key) {
  // Keeps the thread's last error, as the runtime's callers expect.
  const DWORD error = GetLastError();
  void* value = FlsGetValue(key);
  SetLastError(error);
  return value;
}

int pthread_setspecific(pthread_key_t key, const void* value) {
  return FlsSetValue(key, const_cast<void*>(value)) ? 0 : ENOMEM;
}

// ---- The exit table ----
// corecrt_startup.h (through pthread.h) declares these as imported from the
// C runtime DLL; the definitions here take their place in the link.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"

int __cdecl _initialize_onexit_table(_onexit_table_t* table) {
  if (table == nullptr) return -1;
  table->_first = table->_last = table->_end = nullptr;
  return 0;
}

int __cdecl _register_onexit_function(_onexit_table_t* table, _onexit_t function) {
  if (table == nullptr) return -1;
  AcquireSRWLockExclusive(&exit_table_lock);
  int result = 0;
  if (table->_last == table->_end) {
    const size_t used = static_cast<size_t>(table->_last - table->_first);
    const size_t size = used == 0 ? 32 : used * 2;
    auto* grown = static_cast<_PVFV*>(realloc(table->_first, size * sizeof(_PVFV)));
    if (grown == nullptr) {
      result = -1;
    } else {
      table->_first = grown;
      table->_last = grown + used;
      table->_end = grown + size;
    }
  }
  if (result == 0) *table->_last++ = reinterpret_cast<_PVFV>(function);
  ReleaseSRWLockExclusive(&exit_table_lock);
  return result;
}

// Runs the functions last registered first, then forgets them.
int __cdecl _execute_onexit_table(_onexit_table_t* table) {
  if (table == nullptr) return -1;
  AcquireSRWLockExclusive(&exit_table_lock);
  _PVFV* const first = table->_first;
  _PVFV* last = table->_last;
  _initialize_onexit_table(table);
  ReleaseSRWLockExclusive(&exit_table_lock);
  while (last != first) {
    --last;
    if (*last != nullptr) (*last)();
  }
  free(first);
  return 0;
}

#pragma GCC diagnostic pop

}  // extern "C"

namespace pelmora::component {

void ReleaseCrtAtUnload() {
  AcquireSRWLockExclusive(&keys_lock);
  for (int slot = 0; slot < key_count; ++slot) FlsFree(keys[slot].index);
  key_count = 0;
  ReleaseSRWLockExclusive(&keys_lock);
}

}  // namespace pelmora::component
