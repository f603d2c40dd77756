#include "component/status.h"

#include <oleauto.h>

#include "Pelmora.h"

namespace pelmora::component {

using runtime::RtError;

HRESULT HresultOf(RtError error) {
  switch (error) {
    case RtError::kNone:
      return S_OK;
    case RtError::kOverflow:
      return kOverflowStatus;
    case RtError::kFloatingPoint:
      return kFloatingPointStatus;
    case RtError::kInvalidArgument:
      return kInvalidArgumentStatus;
  }
  return E_UNEXPECTED;
}

RtError RtErrorOf(HRESULT status) {
  switch (status) {
    case kOverflowStatus:
      return RtError::kOverflow;
    case kFloatingPointStatus:
      return RtError::kFloatingPoint;
    case kInvalidArgumentStatus:
      return RtError::kInvalidArgument;
    default:
      return RtError::kNone;
  }
}

HRESULT Fail(HRESULT status, const char* description) {
  // Descriptions are short ASCII texts; a longer one is cut, never overrun.
  wchar_t wide[128] = {};
  for (std::size_t i = 0; i + 1 < sizeof wide / sizeof wide[0] && description[i] != '\0'; ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(description[i]));
  }

  ICreateErrorInfo* create = nullptr;
  if (FAILED(CreateErrorInfo(&create))) return status;
  // The setters copy their texts; the casts only meet the non-const
  // parameter types of the interface.
  create->SetGUID(IID__CalcDistClass);
  create->SetSource(const_cast<LPOLESTR>(kProgId));
  create->SetDescription(wide);
  IErrorInfo* info = nullptr;
  if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
    SetErrorInfo(0, info);
    info->Release();
  }
  create->Release();
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
