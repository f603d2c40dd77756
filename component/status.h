// Statuses of the methods of CalcDistClass and the error object that goes
// with a failure.
//
// Each runtime error that ends a calculation has one failure HRESULT, the
// Automation error code of FACILITY_CONTROL, 0x800A0000 | n, of its error
// number n in the error table of runtime/errors.h (with the description).
// Script clients turn it into their error number n.
//
// A failing method also sets an error object (IErrorInfo) with the source
// "Tevaro.CalcDistClass", the interface _CalcDistClass and a plain
// description, so that IDispatch::Invoke fills EXCEPINFO and a script client
// sees the number and the description.
#pragma once

#include <windows.h>

#include "pelmora_identifiers.h"
#include "runtime/errors.h"

namespace pelmora::component {

// The programmatic identifier, project name and class name: the source of
// every error object.
inline constexpr wchar_t kProgId[] = PELMORA_PROGID_W;

// S_OK for kNone, else the failure HRESULT of the error.
HRESULT HresultOf(runtime::RtError error);

// The runtime error a failure HRESULT stands for; kNone for any other
// HRESULT.
runtime::RtError RtErrorOf(HRESULT status);

// Sets the error object for a failure `status` with `description` (ASCII)
// and returns `status`. When the error object cannot be made or set, the
// thread is left with none, never with an earlier failure's.
HRESULT Fail(HRESULT status, const char* description);

// The status of a calculation's outcome: S_OK for kNone, else the failure
// HRESULT of the error with its error object set.
HRESULT Status(runtime::RtError error);

// A failure that comes with no description of ours (a null out-pointer,
// type information that cannot be loaded):
// clears the thread's error object, so that no earlier description is taken
// for this failure, and returns `status`.
HRESULT FailWithoutDescription(HRESULT status);

}  // namespace pelmora::component
