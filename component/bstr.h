// Automation strings (BSTR) and runtime texts.
//
// An input BSTR is read in place, never copied, changed or freed: the caller
// owns it. A result text becomes a new BSTR that the caller owns.
// Every UTF-16 unit crosses unchanged, embedded U+0000 and unpaired surrogates
// included.
#pragma once

#include <windows.h>

#include <string_view>

#include "runtime/text.h"

namespace pelmora::component {

// The SysStringLen units of `bstr`, in place; a null BSTR gives no units.
std::u16string_view UnitsOfBstr(BSTR bstr);

// A new BSTR holding `text`, or a null BSTR for the null text. When the
// string cannot be allocated: E_OUTOFMEMORY and *out null.
HRESULT NewBstr(const runtime::Text& text, BSTR* out);

}  // namespace pelmora::component
