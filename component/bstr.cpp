#include "component/bstr.h"

#include <oleauto.h>

#include <cstring>
#include <string>

namespace pelmora::component {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "a BSTR holds UTF-16 units");

std::u16string_view UnitsOfBstr(BSTR bstr) {
  if (bstr == nullptr) return {};
  return {reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr)};
}

HRESULT NewBstr(const runtime::Text& text, BSTR* out) {
  *out = nullptr;
  if (text.IsNull()) return S_OK;
  const std::u16string& units = text.Units();
  // A BSTR records its length in bytes in 32 bits.
  if (units.size() > 0x7FFFFFFEu / sizeof(char16_t)) return E_OUTOFMEMORY;
  const BSTR copy = SysAllocStringLen(nullptr, static_cast<UINT>(units.size()));
  if (copy == nullptr) return E_OUTOFMEMORY;
  if (!units.empty()) std::memcpy(copy, units.data(), units.size() * sizeof(char16_t));
  *out = copy;
  return S_OK;
}

}  // namespace pelmora::component
