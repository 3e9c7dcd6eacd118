// The page command bridge: TWebExternal is the object scripts reach as window.external, and
// TWebUIHandler the document UI handler that hands it to the browser and keeps the browser's
// context menu away. Both web page windows (Movrant's and Sorvel's) use them.
#pragma once
#include <functional>
#include <memory>

#include "Classes.h"
#include "mshtmhst.h"
#include "oleauto.h"

class TWebExternal;

// Receives every call to a registered name; its HRESULT becomes the result of Invoke.
typedef std::function<HRESULT(TWebExternal* Sender, AnsiString Name, DISPPARAMS* Params, VARIANT* Result)>
    TExternalInvokeEvent;

// The integer a command takes from rgvarg[Index], converted as the script engine's dispatch
// converts an argument ("400" is 400); DISP_E_TYPEMISMATCH when it has no such value.
HRESULT IntArgument(DISPPARAMS* Params, UINT Index, int& Value);

class TWebExternal : public IDispatch {
 public:
  // The count starts at 1: the creator holds the first reference.
  TWebExternal();

  HRESULT WINAPI QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI GetTypeInfoCount(UINT* pctinfo) override;
  HRESULT WINAPI GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  HRESULT WINAPI GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  HRESULT WINAPI Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  virtual void SetFallback(IDispatch* Dispatch);
  // Registration order fixes the DISPIDs: the name at position k answers 9000 + k.
  virtual void AddName(AnsiString Name);

  TExternalInvokeEvent OnInvoke;

 protected:
  ~TWebExternal() override;

 private:
  LONG FRefCount = 0;
  std::unique_ptr<TStringList> FNames;
  IDispatch* FFallback = nullptr;
};

class TWebUIHandler : public IDocHostUIHandler {
 public:
  // The count starts at 0: the window adds its own reference.
  TWebUIHandler();

  HRESULT WINAPI QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved, IDispatch* pdispReserved) override;
  HRESULT WINAPI GetHostInfo(DOCHOSTUIINFO* pInfo) override;
  HRESULT WINAPI ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject, IOleCommandTarget* pCommandTarget,
                        IOleInPlaceFrame* pFrame, IOleInPlaceUIWindow* pDoc) override;
  HRESULT WINAPI HideUI() override;
  HRESULT WINAPI UpdateUI() override;
  HRESULT WINAPI EnableModeless(BOOL fEnable) override;
  HRESULT WINAPI OnDocWindowActivate(BOOL fActivate) override;
  HRESULT WINAPI OnFrameWindowActivate(BOOL fActivate) override;
  HRESULT WINAPI ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fRameWindow) override;
  HRESULT WINAPI TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) override;
  HRESULT WINAPI GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) override;
  HRESULT WINAPI GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) override;
  HRESULT WINAPI GetExternal(IDispatch** ppDispatch) override;
  HRESULT WINAPI TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn, OLECHAR** ppchURLOut) override;
  HRESULT WINAPI FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) override;

  // Takes over one reference on the external (the creator's).
  TWebExternal* External = nullptr;

 protected:
  ~TWebUIHandler() override;

 private:
  LONG FRefCount = 0;
};
