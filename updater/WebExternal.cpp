#include "WebExternal.h"

#include <windows.h>

#include <cwchar>

namespace {
const DISPID kFirstDispID = 9000;
}  // namespace

HRESULT IntArgument(DISPPARAMS* Params, UINT Index, int& Value) {
  VARIANT converted;
  VariantInit(&converted);
  if (FAILED(VariantChangeType(&converted, &Params->rgvarg[Index], 0, VT_I4))) return DISP_E_TYPEMISMATCH;
  Value = converted.lVal;
  return S_OK;
}

// ---------------------------------------------------------------- TWebExternal

TWebExternal::TWebExternal() : FNames(std::make_unique<TStringList>()) { AddRef(); }

TWebExternal::~TWebExternal() {
  if (FFallback) FFallback->Release();
  FFallback = nullptr;
}

HRESULT WINAPI TWebExternal::QueryInterface(REFIID riid, void** ppvObject) {
  if (riid == IID_IUnknown || riid == IID_IDispatch) {
    *ppvObject = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG WINAPI TWebExternal::AddRef() { return ULONG(InterlockedIncrement(&FRefCount)); }

ULONG WINAPI TWebExternal::Release() {
  LONG count = InterlockedDecrement(&FRefCount);
  if (count == 0) delete this;
  return ULONG(count);
}

HRESULT WINAPI TWebExternal::GetTypeInfoCount(UINT* pctinfo) {
  *pctinfo = 0;
  return S_OK;
}

HRESULT WINAPI TWebExternal::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }

void TWebExternal::SetFallback(IDispatch* Dispatch) {
  if (FFallback) FFallback->Release();
  FFallback = Dispatch;
  if (FFallback) FFallback->AddRef();
}

void TWebExternal::AddName(AnsiString Name) { FNames->Add(Name); }

HRESULT WINAPI TWebExternal::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                           DISPID* rgDispId) {
  if (cNames == 0) return S_OK;
  HRESULT result = S_OK;
  for (UINT i = 0; i < cNames; ++i) {
    LPOLESTR wide = rgszNames[i];
    int length = wide ? int(std::wcslen(wide)) : 0;
    AnsiString name;
    if (length > 0) {
      int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
      std::string text(size_t(bytes > 0 ? bytes : 0), '\0');
      if (bytes > 0) WideCharToMultiByte(CP_ACP, 0, wide, length, text.data(), bytes, nullptr, nullptr);
      name = AnsiString(text);
    }
    int index = FNames->IndexOf(name);
    if (index >= 0) {
      rgDispId[i] = kFirstDispID + index;
    } else if (FFallback) {
      result = FFallback->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
    } else {
      rgDispId[i] = DISPID_UNKNOWN;
      result = DISP_E_UNKNOWNNAME;
    }
  }
  return result;
}

HRESULT WINAPI TWebExternal::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                    DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                    UINT* puArgErr) {
  if (!(riid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (dispIdMember >= kFirstDispID) {
    int index = dispIdMember - kFirstDispID;
    if (!OnInvoke || index >= FNames->Count()) return S_OK;
    return OnInvoke(this, FNames->Strings(index), pDispParams, pVarResult);
  }
  if (FFallback)
    return FFallback->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
  return S_OK;
}

// ---------------------------------------------------------------- TWebUIHandler

TWebUIHandler::TWebUIHandler() = default;

TWebUIHandler::~TWebUIHandler() {
  if (External) External->Release();
  External = nullptr;
}

HRESULT WINAPI TWebUIHandler::QueryInterface(REFIID riid, void** ppvObject) {
  if (riid == IID_IUnknown || riid == IID_IDocHostUIHandler) {
    *ppvObject = static_cast<IDocHostUIHandler*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG WINAPI TWebUIHandler::AddRef() { return ULONG(InterlockedIncrement(&FRefCount)); }

ULONG WINAPI TWebUIHandler::Release() {
  LONG count = InterlockedDecrement(&FRefCount);
  if (count == 0) delete this;
  return ULONG(count);
}

HRESULT WINAPI TWebUIHandler::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) { return S_OK; }
HRESULT WINAPI TWebUIHandler::GetHostInfo(DOCHOSTUIINFO*) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                                     IOleInPlaceUIWindow*) {
  return E_NOTIMPL;
}
HRESULT WINAPI TWebUIHandler::HideUI() { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::UpdateUI() { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::EnableModeless(BOOL) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::OnFrameWindowActivate(BOOL) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::TranslateAccelerator(LPMSG, const GUID*, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::GetOptionKeyPath(LPOLESTR*, DWORD) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::GetDropTarget(IDropTarget*, IDropTarget**) { return E_NOTIMPL; }

HRESULT WINAPI TWebUIHandler::GetExternal(IDispatch** ppDispatch) {
  *ppDispatch = External;
  if (External) External->AddRef();
  return S_OK;
}

HRESULT WINAPI TWebUIHandler::TranslateUrl(DWORD, OLECHAR*, OLECHAR**) { return E_NOTIMPL; }
HRESULT WINAPI TWebUIHandler::FilterDataObject(IDataObject*, IDataObject**) { return E_NOTIMPL; }
