// OLE automation strings and variants.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>

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

// ---------------------------------------------------------------- conversions

namespace {

bool IsBlank(OLECHAR c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// A number written in text: blanks around it, an optional sign, decimal digits with an optional
// fraction and exponent (E or D), or "&H" hexadecimal and "&O" octal digits.
bool NumberFromText(BSTR text, double& value) {
  const OLECHAR* p = text ? text : L"";
  const OLECHAR* end = p + SysStringLen(text);
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  std::string ascii;
  for (const OLECHAR* q = p; q < end; ++q) {
    if (*q > 0x7F) return false;
    ascii += char(*q);
  }
  size_t i = 0;
  bool negative = false;
  if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) negative = ascii[i++] == '-';
  if (i + 1 < ascii.size() && ascii[i] == '&') {
    char radixMark = char(std::toupper(static_cast<unsigned char>(ascii[i + 1])));
    int radix = radixMark == 'H' ? 16 : radixMark == 'O' ? 8 : 0;
    if (radix == 0 || i + 2 == ascii.size()) return false;
    unsigned long long n = 0;
    for (size_t k = i + 2; k < ascii.size(); ++k) {
      int digit = std::isxdigit(static_cast<unsigned char>(ascii[k]))
                      ? (std::isdigit(static_cast<unsigned char>(ascii[k])) ? ascii[k] - '0'
                                                                              : std::toupper(ascii[k]) - 'A' + 10)
                      : 99;
      if (digit >= radix) return false;
      n = n * unsigned(radix) + unsigned(digit);
      if (n > 0xFFFFFFFFull) return false;
    }
    // Written as 32 bits: &HFFFFFFFF is -1.
    value = double(LONG(uint32_t(n)));
    if (negative) value = -value;
    return true;
  }
  std::string number = negative ? "-" : "";
  size_t digits = 0;
  for (; i < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[i])); ++i, ++digits) number += ascii[i];
  if (i < ascii.size() && ascii[i] == '.') {
    number += ascii[i++];
    for (; i < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[i])); ++i, ++digits) number += ascii[i];
  }
  if (digits == 0) return false;
  if (i < ascii.size() && std::strchr("eEdD", ascii[i])) {
    number += 'e';
    ++i;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) number += ascii[i++];
    size_t exponentDigits = 0;
    for (; i < ascii.size() && std::isdigit(static_cast<unsigned char>(ascii[i])); ++i, ++exponentDigits)
      number += ascii[i];
    if (exponentDigits == 0) return false;
  }
  if (i != ascii.size()) return false;
  auto [rest, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || rest != number.data() + number.size() || !std::isfinite(value)) return false;
  return true;
}

bool TextEquals(BSTR text, const wchar_t* word) {
  const OLECHAR* p = text ? text : L"";
  const OLECHAR* end = p + SysStringLen(text);
  while (p < end && IsBlank(*p)) ++p;
  while (end > p && IsBlank(end[-1])) --end;
  size_t n = std::wcslen(word);
  if (size_t(end - p) != n) return false;
  for (size_t k = 0; k < n; ++k)
    if (std::towlower(wint_t(p[k])) != std::towlower(wint_t(word[k]))) return false;
  return true;
}

BSTR TextOf(const std::string& s) {
  std::wstring w(s.begin(), s.end());
  return SysAllocStringLen(w.data(), UINT(w.size()));
}

// The source's value as a number; false when it has none (null, text that is no number, objects).
HRESULT NumberOf(const VARIANT& src, double& value) {
  switch (src.vt) {
    case VT_EMPTY: value = 0; return S_OK;
    case VT_I2: value = src.iVal; return S_OK;
    case VT_I4: value = src.lVal; return S_OK;
    case VT_R8: value = src.dblVal; return S_OK;
    case VT_BOOL: value = src.boolVal ? -1 : 0; return S_OK;
    case VT_BSTR: return NumberFromText(src.bstrVal, value) ? S_OK : DISP_E_TYPEMISMATCH;
    case VT_NULL:
    case VT_DISPATCH:
    case VT_UNKNOWN: return DISP_E_TYPEMISMATCH;
    default: return DISP_E_BADVARTYPE;
  }
}

// Whole numbers are rounded half to even, as automation rounds them.
HRESULT Whole(double value, double low, double high, double& whole) {
  whole = std::nearbyint(value);
  if (!(whole >= low && whole <= high)) return DISP_E_OVERFLOW;
  return S_OK;
}

HRESULT Convert(const VARIANT& src, USHORT flags, VARTYPE vt, VARIANT& out) {
  VariantInit(&out);
  if (src.vt == vt) return VariantCopy(&out, &src);
  if (src.vt == (VT_BYREF | VT_VARIANT)) {
    if (!src.pvarVal) return E_INVALIDARG;
    return Convert(*src.pvarVal, flags, vt, out);
  }
  double number = 0;
  HRESULT hr;
  switch (vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_NULL:
      if (src.vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;
      out.vt = VT_NULL;
      return S_OK;
    case VT_I2:
    case VT_I4: {
      if (FAILED(hr = NumberOf(src, number))) return hr;
      double whole;
      if (vt == VT_I2) {
        if (FAILED(hr = Whole(number, -32768.0, 32767.0, whole))) return hr;
        out.iVal = SHORT(whole);
      } else {
        if (FAILED(hr = Whole(number, -2147483648.0, 2147483647.0, whole))) return hr;
        out.lVal = LONG(whole);
      }
      out.vt = vt;
      return S_OK;
    }
    case VT_R8:
      if (FAILED(hr = NumberOf(src, number))) return hr;
      out.vt = VT_R8;
      out.dblVal = number;
      return S_OK;
    case VT_BOOL:
      if (src.vt == VT_BSTR && (TextEquals(src.bstrVal, L"True") || TextEquals(src.bstrVal, L"False"))) {
        out.boolVal = TextEquals(src.bstrVal, L"True") ? VARIANT_TRUE : VARIANT_FALSE;
      } else {
        if (FAILED(hr = NumberOf(src, number))) return hr;
        out.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      }
      out.vt = VT_BOOL;
      return S_OK;
    case VT_BSTR: {
      std::string text;
      char buf[64];
      switch (src.vt) {
        case VT_EMPTY: break;
        case VT_I2: text = std::to_string(src.iVal); break;
        case VT_I4: text = std::to_string(src.lVal); break;
        case VT_R8:
          std::snprintf(buf, sizeof buf, "%.15G", src.dblVal);
          text = buf;
          break;
        case VT_BOOL:
          if (flags & VARIANT_ALPHABOOL) text = src.boolVal ? "True" : "False";
          else text = src.boolVal ? "-1" : "0";
          break;
        case VT_NULL:
        case VT_DISPATCH:
        case VT_UNKNOWN: return DISP_E_TYPEMISMATCH;
        default: return DISP_E_BADVARTYPE;
      }
      out.bstrVal = TextOf(text);
      if (!out.bstrVal) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt) {
  if (!pvargDest || !pvarSrc) return E_INVALIDARG;
  VARIANT converted;
  HRESULT hr = Convert(*pvarSrc, wFlags, vt, converted);
  if (FAILED(hr)) return hr;
  // The source may be the destination: it is cleared only once the new value stands.
  VariantClear(pvargDest);
  *pvargDest = converted;
  return S_OK;
}
