// Parts of the static C++ runtime that Pelmora.dll replaces with smaller ones
// of its own, each with the behaviour the DLL relies on.
//
// The DLL is built without C++ exceptions and throws nothing: every
// allocation that can fail is made through malloc or the nothrow operator
// new and reported as E_OUTOFMEMORY. The runtime's nothrow operator new
// calls the throwing one inside a handler, which would bring in the
// runtime's exception support and the unwinder; here it asks malloc
// directly (no new-handler is ever installed in the DLL).
//
// The runtime's default terminate handler prints the type of an uncaught
// exception, demangled, to standard error before it aborts: it brings in the
// demangler and the C runtime's formatted output, and an in-process server
// has no standard error of its own. Here std::terminate aborts at once.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
