#include "component/status.h"

#include <oleauto.h>

#include "Pelmora.h"
#include "component/server/owners.h"

namespace pelmora::component {

using runtime::RtError;

HRESULT HresultOf(RtError error) {
  if (error == RtError::kNone) return S_OK;
  const runtime::ErrorEntry* entry = runtime::EntryOf(error);
  if (entry == nullptr) return E_UNEXPECTED;
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, entry->number);
}

RtError RtErrorOf(HRESULT status) {
  for (const runtime::ErrorEntry& entry : runtime::kErrorTable) {
    if (HresultOf(entry.error) == status) return entry.error;
  }
  return RtError::kNone;
}

HRESULT Fail(HRESULT status, const char* description) {
  // Descriptions are short ASCII texts; a longer one is cut, never overrun.
  wchar_t wide[128] = {};
  for (std::size_t i = 0; i + 1 < sizeof wide / sizeof wide[0] && description[i] != '\0'; ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(description[i]));
  }

  // The setters copy their texts; the casts only meet the non-const
  // parameter types of the interface.
  server::ComPtr<ICreateErrorInfo> create;
  server::ComPtr<IErrorInfo> info;
  const bool made = SUCCEEDED(CreateErrorInfo(create.Out())) &&
                    SUCCEEDED(create->SetGUID(IID__CalcDistClass)) &&
                    SUCCEEDED(create->SetSource(const_cast<LPOLESTR>(kProgId))) &&
                    SUCCEEDED(create->SetDescription(wide)) &&
                    SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.OutVoid()));
  // An error object that cannot be made or set leaves none: never an
  // earlier failure's, which the caller would take for this one.
  if (!made || FAILED(SetErrorInfo(0, info.get()))) SetErrorInfo(0, nullptr);
  return status;
}

HRESULT Status(RtError error) {
  if (error == RtError::kNone) return S_OK;
  return Fail(HresultOf(error), runtime::Describe(error));
}

HRESULT FailWithoutDescription(HRESULT status) {
  SetErrorInfo(0, nullptr);
  return status;
}

}  // namespace pelmora::component
