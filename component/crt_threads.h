// What the static C and C++ runtime of Pelmora.dll holds, given back when the
// DLL is unloaded (component/crt_threads.cpp).
#pragma once

namespace pelmora::component {

// At DLL_PROCESS_DETACH by FreeLibrary (not at process exit): frees every
// thread's thread-local runtime data. Nothing of the runtime may run in the
// DLL afterwards.
void ReleaseCrtAtUnload();

}  // namespace pelmora::component
