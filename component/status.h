// Statuses of the methods of CalcDistClass and the error object that goes
// with a failure.
//
// Each runtime error that ends a calculation has one failure HRESULT, an
// Automation error code of FACILITY_CONTROL (0x800A0000 | n), which script
// clients turn into their error number n:
//
//   runtime error      HRESULT      n    description
//   overflow           0x800A0006   6    "Overflow"
//   invalid argument   0x800A0005   5    "Invalid procedure call or argument"
//   floating point     0x800A0201   513  "Floating-point error"
//
// Overflow and invalid argument keep the numbers Automation clients already
// know for them. The floating-point error (an invalid operation, a division
// by zero or an overflow in floating-point arithmetic) has no number of its
// own there; 513 is the first number outside the range those clients reserve
// for their own errors, so no client shows a built-in text that names only
// one of the three conditions. The description comes from the error object.
//
// A failing method also sets an error object (IErrorInfo) with the source
// "Tevaro.CalcDistClass", the interface _CalcDistClass and a plain
// description, so that IDispatch::Invoke fills EXCEPINFO and a script client
// sees the number and the description.
#pragma once

#include <windows.h>

#include "runtime/errors.h"

namespace pelmora::component {

inline constexpr HRESULT kOverflowStatus = static_cast<HRESULT>(0x800A0006);
inline constexpr HRESULT kInvalidArgumentStatus = static_cast<HRESULT>(0x800A0005);
inline constexpr HRESULT kFloatingPointStatus = static_cast<HRESULT>(0x800A0201);

// The programmatic identifier, project name and class name: the source of
// every error object.
inline constexpr wchar_t kProgId[] = L"Tevaro.CalcDistClass";

// S_OK for kNone, else the failure HRESULT of the table above.
HRESULT HresultOf(runtime::RtError error);

// The runtime error a failure HRESULT of the table stands for; kNone for any
// other HRESULT.
runtime::RtError RtErrorOf(HRESULT status);

// Sets the error object for a failure `status` with `description` (ASCII)
// and returns `status`.
HRESULT Fail(HRESULT status, const char* description);

// The status of a calculation's outcome: S_OK for kNone, else the failure
// HRESULT of the error with its error object set.
HRESULT Status(runtime::RtError error);

// A failure that comes with no description of ours (a null out-pointer):
// clears the thread's error object, so that no earlier description is taken
// for this failure, and returns `status`.
HRESULT FailWithoutDescription(HRESULT status);

}  // namespace pelmora::component
