// COM basics: result codes, interface identifiers and IUnknown.
#pragma once
#include "windef.h"

#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
typedef GUID IID;
typedef const IID& REFIID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
inline bool operator==(const GUID& a, const GUID& b) {
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
#define IsEqualIID IsEqualGUID

struct IUnknown {
  virtual HRESULT WINAPI QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;
  virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

extern const IID IID_NULL;
extern const IID IID_IUnknown;

// Reference counts of COM objects.
LONG WINAPI InterlockedIncrement(LONG volatile* Addend);
LONG WINAPI InterlockedDecrement(LONG volatile* Addend);
