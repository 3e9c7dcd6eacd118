// Code page 949 text: conversions to UTF-8 and wide text, lead bytes, string functions.
#include <iconv.h>
#include <cstring>
#include "Internal.h"

namespace winplat {

namespace {

// One iconv descriptor per direction and thread: opening one costs more than most conversions.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts; each input sequence that cannot be converted gives `replacement` and skips
  // `skip(input)` bytes. Returns false when anything was replaced.
  template <class Skip>
  bool Run(const std::string& input, std::string& output, const std::string& replacement, Skip skip) {
    output.clear();
    bool clean = true;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      output = input;
      return false;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[4096];
    while (inLeft > 0) {
      char* out = buffer;
      size_t outLeft = sizeof buffer;
      size_t rc = iconv(cd_, &in, &inLeft, &out, &outLeft);
      output.append(buffer, out - buffer);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut short at the end): replace and go on.
      clean = false;
      output += replacement;
      size_t n = std::min(inLeft, std::max<size_t>(1, skip(in, inLeft)));
      in += n;
      inLeft -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return clean;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence at `p`; a broken one counts its lead byte and the continuation
// bytes that follow it, so that it is replaced once.
size_t Utf8SequenceLength(const char* p, size_t left, bool* valid = nullptr) {
  unsigned char c = static_cast<unsigned char>(*p);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (valid) *valid = n != 0;
  if (n == 0) return 1;
  for (size_t i = 1; i < n; ++i)
    if (i >= left || (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) {
      if (valid) *valid = false;
      return i;
    }
  return n;
}

size_t Cp949SequenceLength(const char*, size_t) { return 1; }

}  // namespace

bool Cp949ToUtf8Checked(const std::string& text, std::string& out) {
  thread_local Converter converter("UTF-8", "CP949");
  return converter.Run(text, out, "?", Cp949SequenceLength);
}

bool Utf8ToCp949Checked(const std::string& text, std::string& out, const std::string& defaultChar) {
  thread_local Converter converter("CP949", "UTF-8");
  return converter.Run(text, out, defaultChar, [](const char* p, size_t left) { return Utf8SequenceLength(p, left); });
}

std::string Cp949ToUtf8(const std::string& text) {
  std::string out;
  Cp949ToUtf8Checked(text, out);
  return out;
}

std::string Utf8ToCp949(const std::string& text) {
  std::string out;
  Utf8ToCp949Checked(text, out, "?");
  return out;
}

// UTF-8 <-> wide (wchar_t holds whole code points here). Returns false on invalid input.
bool Utf8ToWideChecked(const std::string& text, std::wstring& out) {
  out.clear();
  bool clean = true;
  for (size_t i = 0; i < text.size();) {
    bool valid;
    size_t n = Utf8SequenceLength(text.data() + i, text.size() - i, &valid);
    unsigned char c = static_cast<unsigned char>(text[i]);
    char32_t cp;
    if (!valid) {
      clean = false;
      cp = 0xFFFD;
    } else if (n == 1) {
      cp = c;
    } else {
      cp = c & (0x7F >> n);
      for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
      static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        clean = false;
        cp = 0xFFFD;
      }
    }
    out += static_cast<wchar_t>(cp);
    i += n;
  }
  return clean;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string out;
  for (wchar_t w : text) {
    char32_t cp = static_cast<char32_t>(w);
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::wstring Cp949ToWide(const std::string& text) {
  std::wstring out;
  Utf8ToWideChecked(Cp949ToUtf8(text), out);
  return out;
}

std::string WideToCp949(const std::wstring& text) { return Utf8ToCp949(WideToUtf8(text)); }

}  // namespace winplat

using namespace winplat;

UINT WINAPI GetACP(void) { return 949; }
UINT WINAPI GetOEMCP(void) { return 949; }

namespace {

bool IsKoreanCodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_OEMCP || codePage == 949; }

}  // namespace

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!IsKoreanCodePage(CodePage) && CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // With -1 the terminating zero is converted too and counted.
  size_t length = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  std::string input(lpMultiByteStr, length);
  std::string utf8;
  bool clean = true;
  if (CodePage == CP_UTF8) {
    utf8 = input;
  } else {
    clean = Cp949ToUtf8Checked(input, utf8);
  }
  std::wstring wide;
  clean = Utf8ToWideChecked(utf8, wide) && clean;
  if (!clean && (dwFlags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (cchWideChar == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<size_t>(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  wmemcpy(lpWideCharStr, wide.data(), wide.size());
  return static_cast<int>(wide.size());
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  (void)dwFlags;
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!IsKoreanCodePage(CodePage) && CodePage != CP_UTF8) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar)) {
    SetLastError(ERROR_INVALID_PARAMETER);  // as on Windows: UTF-8 has no default character
    return 0;
  }
  size_t length = cchWideChar == -1 ? wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  std::string utf8 = WideToUtf8(std::wstring(lpWideCharStr, length));
  std::string out;
  if (CodePage == CP_UTF8) {
    out = utf8;
  } else {
    bool clean = Utf8ToCp949Checked(utf8, out, lpDefaultChar ? std::string(1, lpDefaultChar[0]) : "?");
    if (lpUsedDefaultChar) *lpUsedDefaultChar = clean ? FALSE : TRUE;
  }
  if (cbMultiByte == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpMultiByteStr, out.data(), out.size());
  return static_cast<int>(out.size());
}

BOOL WINAPI IsDBCSLeadByte(BYTE TestChar) { return TestChar >= 0x81 && TestChar <= 0xFE; }

BOOL WINAPI IsDBCSLeadByteEx(UINT CodePage, BYTE TestChar) {
  if (!IsKoreanCodePage(CodePage)) return FALSE;
  return IsDBCSLeadByte(TestChar);
}

// The OEM code page is 949 as well, so these copy.
BOOL WINAPI CharToOemA(LPCSTR pSrc, LPSTR pDst) {
  if (!pSrc || !pDst) return FALSE;
  memmove(pDst, pSrc, strlen(pSrc) + 1);
  return TRUE;
}

BOOL WINAPI OemToCharA(LPCSTR pSrc, LPSTR pDst) { return CharToOemA(pSrc, pDst); }

BOOL WINAPI CharToOemBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  if (!lpszSrc || !lpszDst) return FALSE;
  memmove(lpszDst, lpszSrc, cchDstLength);
  return TRUE;
}

BOOL WINAPI OemToCharBuffA(LPCSTR lpszSrc, LPSTR lpszDst, DWORD cchDstLength) {
  return CharToOemBuffA(lpszSrc, lpszDst, cchDstLength);
}

LPSTR WINAPI CharNextA(LPCSTR lpsz) {
  if (!*lpsz) return const_cast<LPSTR>(lpsz);
  if (IsDBCSLeadByte(static_cast<BYTE>(lpsz[0])) && lpsz[1]) return const_cast<LPSTR>(lpsz + 2);
  return const_cast<LPSTR>(lpsz + 1);
}

LPSTR WINAPI CharPrevA(LPCSTR lpszStart, LPCSTR lpszCurrent) {
  // Only a walk from the start knows where characters begin.
  LPCSTR p = lpszStart;
  while (p < lpszCurrent) {
    LPCSTR next = CharNextA(p);
    if (next >= lpszCurrent || next == p) break;
    p = next;
  }
  return const_cast<LPSTR>(p);
}

int WINAPI lstrlenA(LPCSTR lpString) { return lpString ? static_cast<int>(strlen(lpString)) : 0; }

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  memmove(lpString1, lpString2, strlen(lpString2) + 1);
  return lpString1;
}

LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  size_t n = strnlen(lpString2, static_cast<size_t>(iMaxLength - 1));
  memmove(lpString1, lpString2, n);
  lpString1[n] = 0;
  return lpString1;
}

namespace {
int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }
}  // namespace

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
  return Sign(strcmp(lpString1 ? lpString1 : "", lpString2 ? lpString2 : ""));
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
  const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 ? lpString1 : "");
  const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 ? lpString2 : "");
  for (;; ++a, ++b) {
    // The second byte of a double-byte character is no letter even where it looks like one.
    if (IsDBCSLeadByte(*a) && *a == *b && a[1]) {
      ++a;
      ++b;
      if (*a != *b) return Sign(*a - *b);
      continue;
    }
    int d = Fold(*a) - Fold(*b);
    if (d || !*a) return Sign(d);
  }
}
