// OLE automation strings and variants.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "mshtmhst.h"
#include "oleauto.h"

const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDocHostUIHandler = {0xBD3F23C0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
const IID IID_ICustomDoc = {0x3050F3F0, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};

// A BSTR points just past its length prefix, so that it reads as a terminated string.
namespace {
struct BstrHeader {
  size_t length;  // characters
};
BstrHeader* HeaderOf(BSTR s) { return reinterpret_cast<BstrHeader*>(s) - 1; }
}  // namespace

BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  void* block = std::malloc(sizeof(BstrHeader) + (size_t(ui) + 1) * sizeof(OLECHAR));
  if (!block) return nullptr;
  auto* header = static_cast<BstrHeader*>(block);
  header->length = ui;
  BSTR s = reinterpret_cast<BSTR>(header + 1);
  if (strIn) std::memcpy(s, strIn, size_t(ui) * sizeof(OLECHAR));
  else std::memset(s, 0, size_t(ui) * sizeof(OLECHAR));
  s[ui] = 0;
  return s;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  return SysAllocStringLen(psz, UINT(std::wcslen(psz)));
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (bstrString) std::free(HeaderOf(bstrString));
}

UINT WINAPI SysStringLen(BSTR pbstr) { return pbstr ? UINT(HeaderOf(pbstr)->length) : 0; }

void WINAPI VariantInit(VARIANTARG* pvarg) {
  std::memset(pvarg, 0, sizeof(*pvarg));
  pvarg->vt = VT_EMPTY;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg) {
  if (!pvarg) return E_INVALIDARG;
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvarg->punkVal) pvarg->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(pvarg);
  return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
  if (!pvargDest || !pvargSrc) return E_INVALIDARG;
  if (pvargDest == pvargSrc) return S_OK;
  VariantClear(pvargDest);
  *pvargDest = *pvargSrc;
  switch (pvargSrc->vt) {
    case VT_BSTR:
      if (pvargSrc->bstrVal) {
        pvargDest->bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
        if (!pvargDest->bstrVal) {
          VariantInit(pvargDest);
          return E_OUTOFMEMORY;
        }
      }
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (pvargDest->punkVal) pvargDest->punkVal->AddRef();
      break;
    default:
      break;
  }
  return S_OK;
}
