// Parts of the static C++ runtime that Pelmora.dll replaces with smaller ones
// of its own, each with the behaviour the DLL relies on.
//
// The runtime's default terminate handler prints the type of an uncaught
// exception, demangled, to standard error before it aborts: it brings in the
// demangler and the C runtime's formatted output, about a fifth of the DLL,
// and an in-process server has no standard error of its own. Here
// std::terminate aborts at once.
//
// The containers of the registration code report their failures through the
// runtime's std::__throw_* functions, which all live in one object with every
// standard exception class and the string code those classes carry. The ones
// the DLL calls are defined here: an allocation failure throws
// std::bad_alloc; a request beyond a container's largest size
// (which no registry text comes near) throws an exception of the DLL's own,
// which the entry points' guards report as E_UNEXPECTED, as they do the
// runtime's std::length_error and std::out_of_range.
#include <cstdlib>
#include <new>

namespace pelmora::component {
namespace {

struct ContainerLimit {};

}  // namespace
}  // namespace pelmora::component

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_alloc() { throw std::bad_alloc(); }
void __throw_bad_array_new_length() { throw std::bad_array_new_length(); }
void __throw_length_error(const char*) { throw pelmora::component::ContainerLimit{}; }
void __throw_logic_error(const char*) { throw pelmora::component::ContainerLimit{}; }
void __throw_out_of_range_fmt(const char*, ...) { throw pelmora::component::ContainerLimit{}; }

}  // namespace std
