// Automation on Win32: OleInitialize, objects by ProgID (a running instance
// first), IDispatch members by name, and VARIANTs made from and turned back
// into plain values. Text crosses in the ANSI code page, of any length.

#include "platform/automation.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <vector>

namespace kel::platform {

namespace {

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const wchar_t* text, int length) {
  if (text == nullptr || length <= 0) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

std::string FromBstr(BSTR text) { return Narrow(text, static_cast<int>(SysStringLen(text))); }

// The VARIANT for one argument: an object passed along gains a reference,
// which clearing the VARIANT gives back.
void MakeVariant(const AutomationValue& value, VARIANT& variant) {
  VariantInit(&variant);
  switch (value.kind) {
    case AutomationValue::INTEGER:
      V_VT(&variant) = VT_I4;
      V_I4(&variant) = value.integer;
      break;
    case AutomationValue::REAL:
      V_VT(&variant) = VT_R8;
      V_R8(&variant) = value.real;
      break;
    case AutomationValue::TEXT: {
      const std::wstring wide = Wide(value.text);
      V_VT(&variant) = VT_BSTR;
      V_BSTR(&variant) = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
      break;
    }
    case AutomationValue::OBJECT:
      V_VT(&variant) = VT_DISPATCH;
      V_DISPATCH(&variant) = static_cast<IDispatch*>(value.object);
      V_DISPATCH(&variant)->AddRef();
      break;
  }
}

// The plain value of a result: a by-reference result made plain first.
AutomationValue TakeResult(VARIANT& result) {
  AutomationValue value;
  if ((V_VT(&result) & VT_BYREF) != 0 &&
      FAILED(VariantChangeType(&result, &result, 0, static_cast<VARTYPE>(V_VT(&result) & ~VT_BYREF)))) {
    return value;
  }
  switch (V_VT(&result)) {
    case VT_R4:
    case VT_R8:
      if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_R8))) {
        value.kind = AutomationValue::REAL;
        value.real = V_R8(&result);
      }
      break;
    case VT_BSTR:
      value.kind = AutomationValue::TEXT;
      value.text = FromBstr(V_BSTR(&result));
      break;
    case VT_DISPATCH:
      if (V_DISPATCH(&result) != nullptr) {
        value.kind = AutomationValue::OBJECT;
        value.object = V_DISPATCH(&result);
        V_DISPATCH(&result)->AddRef();  // the caller's, beyond the VARIANT's
      }
      break;
    default:
      if (SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) value.integer = V_I4(&result);
      break;
  }
  return value;
}

// The server's own words for an exception, and what it leaves to free.
std::string TakeException(EXCEPINFO& exception) {
  if (exception.pfnDeferredFillIn != nullptr) exception.pfnDeferredFillIn(&exception);
  std::string text = FromBstr(exception.bstrDescription);
  if (text.empty()) text = FromBstr(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  return text;
}

}  // namespace

bool StartAutomation() { return SUCCEEDED(OleInitialize(nullptr)); }

void EndAutomation() { OleUninitialize(); }

void* OpenAutomationObject(const std::string& progId, AutomationError& error) {
  error = {};
  CLSID classId;
  HRESULT status = CLSIDFromProgID(Wide(progId).c_str(), &classId);
  IUnknown* unknown = nullptr;
  if (SUCCEEDED(status) && (FAILED(GetActiveObject(classId, nullptr, &unknown)) || unknown == nullptr)) {
    unknown = nullptr;
    status = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&unknown));
  }
  IDispatch* dispatch = nullptr;
  if (SUCCEEDED(status)) {
    status = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    unknown->Release();
  }
  if (FAILED(status)) {
    error.code = static_cast<std::int32_t>(status);
    return nullptr;
  }
  return dispatch;
}

void HoldAutomationObject(void* object) { static_cast<IDispatch*>(object)->AddRef(); }

void ReleaseAutomationObject(void* object) { static_cast<IDispatch*>(object)->Release(); }

bool InvokeAutomation(void* object, const std::string& member, int flag, std::span<const AutomationValue> arguments,
                      AutomationValue& result, AutomationError& error) {
  result = {};
  error = {};
  auto* dispatch = static_cast<IDispatch*>(object);
  std::wstring name = Wide(member);
  LPOLESTR names[1] = {name.data()};
  DISPID memberId;
  HRESULT status = dispatch->GetIDsOfNames(IID_NULL, names, 1, GetUserDefaultLCID(), &memberId);
  if (FAILED(status)) {
    error.code = static_cast<std::int32_t>(status);
    return false;
  }
  // Invoke takes the arguments last first.
  std::vector<VARIANT> variants(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) MakeVariant(arguments[i], variants[arguments.size() - 1 - i]);
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS parameters{variants.data(), nullptr, static_cast<UINT>(variants.size()), 0};
  if (flag == DISPATCH_PROPERTYPUT) {
    parameters.rgdispidNamedArgs = &putId;
    parameters.cNamedArgs = 1;
  }
  VARIANT answer;
  VariantInit(&answer);
  EXCEPINFO exception{};
  UINT argumentError = 0;
  status = dispatch->Invoke(memberId, IID_NULL, GetUserDefaultLCID(), static_cast<WORD>(flag), &parameters, &answer,
                            &exception, &argumentError);
  if (status == DISP_E_EXCEPTION) {
    error.text = TakeException(exception);
    if (exception.scode != 0) status = exception.scode;
  }
  error.code = FAILED(status) ? static_cast<std::int32_t>(status) : 0;
  result = TakeResult(answer);
  VariantClear(&answer);
  for (VARIANT& variant : variants) VariantClear(&variant);
  return SUCCEEDED(status);
}

}  // namespace kel::platform
