// Number and text functions of SysUtils.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "NumberText.h"
#include "SysUtils.h"

AnsiString IntToStr(int value) { return AnsiString(value); }
AnsiString IntToStr(long long value) { return AnsiString(value); }
AnsiString IntToStr(unsigned value) { return AnsiString(value); }
AnsiString IntToStr(long value) { return AnsiString(value); }
AnsiString IntToStr(unsigned long value) { return AnsiString(value); }

AnsiString IntToHex(int value, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*X", digits > 0 ? (digits < 16 ? digits : 16) : 1, unsigned(value));
  return AnsiString(buf);
}

int StrToInt(const AnsiString& s) { return s.ToInt(); }

int StrToIntDef(const AnsiString& s, int defaultValue) { return s.ToIntDef(defaultValue); }

long long StrToInt64(const AnsiString& s) {
  long long v;
  if (!vclimpl::ParseInt64(s.str(), v)) throw EConvertError("'" + s + "' is not a valid integer value");
  return v;
}

long long StrToInt64Def(const AnsiString& s, long long defaultValue) {
  long long v;
  return vclimpl::ParseInt64(s.str(), v) ? v : defaultValue;
}

AnsiString Format(const char* format, ...) {
  AnsiString result;
  va_list args;
  va_start(args, format);
  result.vprintf(format, args);
  va_end(args);
  return result;
}

AnsiString Trim(const AnsiString& s) { return s.Trim(); }
AnsiString TrimLeft(const AnsiString& s) { return s.TrimLeft(); }
AnsiString TrimRight(const AnsiString& s) { return s.TrimRight(); }
AnsiString UpperCase(const AnsiString& s) { return s.UpperCase(); }
AnsiString LowerCase(const AnsiString& s) { return s.LowerCase(); }
AnsiString AnsiUpperCase(const AnsiString& s) { return s.AnsiUpperCase(); }
AnsiString AnsiLowerCase(const AnsiString& s) { return s.AnsiLowerCase(); }

namespace {

int Sign(int c) { return c < 0 ? -1 : c > 0 ? 1 : 0; }

unsigned char UpperAscii(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

}  // namespace

int CompareText(const AnsiString& a, const AnsiString& b) {
  size_t n = std::min(a.str().size(), b.str().size());
  for (size_t i = 0; i < n; ++i) {
    int d = int(UpperAscii(a.str()[i])) - int(UpperAscii(b.str()[i]));
    if (d) return d;
  }
  return int(a.str().size()) - int(b.str().size());
}

int CompareStr(const AnsiString& a, const AnsiString& b) {
  size_t n = std::min(a.str().size(), b.str().size());
  int d = n ? std::memcmp(a.c_str(), b.c_str(), n) : 0;
  return d ? d : int(a.str().size()) - int(b.str().size());
}

// Korean letters have no case; the double-byte characters compare by their bytes.
int AnsiCompareText(const AnsiString& a, const AnsiString& b) { return a.AnsiCompareIC(b); }
int AnsiCompareStr(const AnsiString& a, const AnsiString& b) { return Sign(a.AnsiCompare(b)); }
bool SameText(const AnsiString& a, const AnsiString& b) { return CompareText(a, b) == 0; }
int AnsiPos(const AnsiString& sub, const AnsiString& s) { return s.AnsiPos(sub); }

AnsiString StringReplace(const AnsiString& s, const AnsiString& oldPattern, const AnsiString& newPattern, int flags) {
  if (oldPattern.IsEmpty()) return s;
  const std::string& src = s.str();
  std::string hay = flags & rfIgnoreCase ? s.AnsiUpperCase().str() : src;
  std::string pat = flags & rfIgnoreCase ? oldPattern.AnsiUpperCase().str() : oldPattern.str();
  std::string out;
  size_t pos = 0;
  while (pos <= hay.size()) {
    // Matches start at character boundaries only, so a trail byte never begins one.
    size_t found = std::string::npos;
    for (size_t i = pos; i + pat.size() <= hay.size();) {
      if (hay.compare(i, pat.size(), pat) == 0) {
        found = i;
        break;
      }
      i += IsCp949LeadByte(hay[i]) && i + 1 < hay.size() ? 2 : 1;
    }
    if (found == std::string::npos) break;
    out.append(src, pos, found - pos);
    out += newPattern.str();
    pos = found + pat.size();
    if (!(flags & rfReplaceAll)) break;
  }
  out.append(src, pos < src.size() ? pos : src.size(), std::string::npos);
  return AnsiString(std::move(out));
}

AnsiString AnsiQuotedStr(const AnsiString& s, char quote) {
  std::string out(1, quote);
  for (char c : s.str()) {
    out += c;
    if (c == quote) out += quote;
  }
  out += quote;
  return AnsiString(std::move(out));
}

AnsiString QuotedStr(const AnsiString& s) { return AnsiQuotedStr(s, '\''); }

AnsiString AnsiDequotedStr(const AnsiString& s, char quote) {
  const std::string& t = s.str();
  if (t.empty() || t[0] != quote) return s;
  std::string out;
  size_t i = 1;
  for (; i < t.size(); ++i) {
    if (t[i] == quote) {
      if (i + 1 < t.size() && t[i + 1] == quote) {
        out += quote;
        ++i;
        continue;
      }
      break;
    }
    out += t[i];
  }
  // Without its closing quote the text is not a quoted string: it stays as it was.
  if (i >= t.size()) return s;
  return AnsiString(std::move(out));
}

int LastDelimiter(const AnsiString& delimiters, const AnsiString& s) { return s.LastDelimiter(delimiters); }

bool IsDelimiter(const AnsiString& delimiters, const AnsiString& s, int index) {
  return s.IsDelimiter(delimiters, index);
}

AnsiString IncludeTrailingBackslash(const AnsiString& s) {
  return s.IsPathDelimiter(s.Length()) ? s : s + "\\";
}

AnsiString ExcludeTrailingBackslash(const AnsiString& s) {
  return s.IsPathDelimiter(s.Length()) ? s.SubString(1, s.Length() - 1) : s;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& s) { return IncludeTrailingBackslash(s); }
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& s) { return ExcludeTrailingBackslash(s); }
