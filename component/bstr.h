// Automation strings (BSTR) and runtime texts.
//
// An input BSTR is copied into a text before use and never changed or freed:
// the caller owns it. A result text becomes a new BSTR that the caller owns.
// Every UTF-16 unit crosses unchanged, embedded U+0000 and unpaired surrogates
// included.
#pragma once

#include <windows.h>

#include "runtime/text.h"

namespace pelmora::component {

// The SysStringLen units of `bstr`; a null BSTR is the empty text. Throws
// std::bad_alloc when the copy cannot be made.
runtime::Text TextFromBstr(BSTR bstr);

// A new BSTR holding `text`, or a null BSTR for the null text. When the
// string cannot be allocated: E_OUTOFMEMORY and *out null.
HRESULT NewBstr(const runtime::Text& text, BSTR* out);

}  // namespace pelmora::component
