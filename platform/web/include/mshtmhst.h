// The document host's side of the HTML document: IDocHostUIHandler, which a host installs on a
// document through ICustomDoc::SetUIHandler to supply window.external and to handle the
// context menu.
#pragma once
#include "oleauto.h"

struct IOleInPlaceActiveObject;
struct IOleCommandTarget;
struct IOleInPlaceFrame;
struct IOleInPlaceUIWindow;
struct IDropTarget;
struct IDataObject;
struct tagMSG;
typedef struct tagMSG* LPMSG;

typedef struct _DOCHOSTUIINFO {
  ULONG cbSize;
  DWORD dwFlags;
  DWORD dwDoubleClick;
  OLECHAR* pchHostCss;
  OLECHAR* pchHostNS;
} DOCHOSTUIINFO;

#define CONTEXT_MENU_DEFAULT 0

struct IDocHostUIHandler : IUnknown {
  virtual HRESULT WINAPI ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                         IDispatch* pdispReserved) = 0;
  virtual HRESULT WINAPI GetHostInfo(DOCHOSTUIINFO* pInfo) = 0;
  virtual HRESULT WINAPI ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                IOleInPlaceUIWindow* pDoc) = 0;
  virtual HRESULT WINAPI HideUI() = 0;
  virtual HRESULT WINAPI UpdateUI() = 0;
  virtual HRESULT WINAPI EnableModeless(BOOL fEnable) = 0;
  virtual HRESULT WINAPI OnDocWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT WINAPI OnFrameWindowActivate(BOOL fActivate) = 0;
  virtual HRESULT WINAPI ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow, BOOL fRameWindow) = 0;
  virtual HRESULT WINAPI TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) = 0;
  virtual HRESULT WINAPI GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) = 0;
  virtual HRESULT WINAPI GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) = 0;
  virtual HRESULT WINAPI GetExternal(IDispatch** ppDispatch) = 0;
  virtual HRESULT WINAPI TranslateUrl(DWORD dwTranslate, OLECHAR* pchURLIn, OLECHAR** ppchURLOut) = 0;
  virtual HRESULT WINAPI FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) = 0;
};

struct ICustomDoc : IUnknown {
  virtual HRESULT WINAPI SetUIHandler(IDocHostUIHandler* pUIHandler) = 0;
};

extern const IID IID_IDocHostUIHandler;  // {BD3F23C0-D43E-11CF-893B-00AA00BDCE1A}
extern const IID IID_ICustomDoc;         // {3050F3F0-98B5-11CF-BB82-00AA00BDCE0B}
