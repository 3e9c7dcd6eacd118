// FormatFloat and the float texts, with the locale's separators.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SysUtils.h"

// The Korean locale's settings.
char ThousandSeparator = ',';
char DecimalSeparator = '.';
char DateSeparator = '-';
char TimeSeparator = ':';

namespace {

// A value rounded to a number of decimals: the integer digits without leading zeros (empty
// for 0) and exactly `decimals` fraction digits.
struct Rounded {
  std::string intDigits;
  std::string decDigits;
  bool IsZero() const { return intDigits.empty() && decDigits.find_first_not_of('0') == std::string::npos; }
};

// Rounds half away from zero on the 18 significant digits of the value, as the library's
// decimal conversion does, so 1.25 shows as 1.3 with one decimal.
Rounded RoundDecimal(double value, int decimals) {
  Rounded r;
  r.decDigits.assign(size_t(decimals), '0');
  if (value == 0) return r;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17e", value);
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  int n = std::atoi(p + 1) + 1;  // value = 0.digits x 10^n
  int keep = n + decimals;
  if (keep < 0) return r;
  bool up = size_t(keep) < digits.size() && digits[size_t(keep)] >= '5';
  digits.resize(size_t(keep), '0');
  if (up) {
    int i = keep - 1;
    for (; i >= 0 && digits[size_t(i)] == '9'; --i) digits[size_t(i)] = '0';
    if (i >= 0) {
      ++digits[size_t(i)];
    } else {
      digits.insert(digits.begin(), '1');
      ++n;
    }
  }
  if (n > 0) {
    r.intDigits = digits.substr(0, size_t(n));
    r.decDigits = digits.substr(size_t(n));
  } else {
    r.decDigits = std::string(size_t(-n), '0') + digits;
  }
  r.decDigits.resize(size_t(decimals), '0');
  size_t nz = r.intDigits.find_first_not_of('0');
  r.intDigits = nz == std::string::npos ? std::string() : r.intDigits.substr(nz);
  return r;
}

std::vector<std::string> SplitSections(const std::string& format) {
  std::vector<std::string> sections(1);
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.emplace_back();
      continue;
    }
    sections.back() += c;
  }
  return sections;
}

std::string ApplyFormat(const std::string& section, double value, bool withMinus) {
  // Scan the placeholders.
  int intPlaces = 0, firstIntZero = -1, decPlaces = 0, lastDecZero = -1;
  bool thousands = false, seenPoint = false;
  char quote = 0;
  for (char c : section) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '.') {
      seenPoint = true;
    } else if (c == ',') {
      thousands = true;
    } else if (c == '0' || c == '#') {
      if (seenPoint) {
        if (c == '0') lastDecZero = decPlaces;
        ++decPlaces;
      } else {
        if (c == '0' && firstIntZero < 0) firstIntZero = intPlaces;
        ++intPlaces;
      }
    }
  }
  Rounded r = RoundDecimal(std::fabs(value), decPlaces);
  const int forcedInt = firstIntZero < 0 ? 0 : intPlaces - firstIntZero;
  int shownDec = lastDecZero + 1;
  for (int j = decPlaces - 1; j >= shownDec; --j)
    if (r.decDigits[size_t(j)] != '0') {
      shownDec = j + 1;
      break;
    }
  const std::string& digits = r.intDigits;
  const int count = int(digits.size());

  std::string out;
  if (withMinus && !r.IsZero()) out += '-';
  auto put = [&](char digit, int place) {
    out += digit;
    if (thousands && place > 1 && (place - 1) % 3 == 0) out += ThousandSeparator;
  };
  // Integer digits beyond the placeholders all go where the first placeholder stands.
  auto putOverflow = [&](int places) {
    for (int i = 0; i < count - places; ++i) put(digits[size_t(i)], count - i);
  };
  int intIndex = 0, decIndex = 0;
  seenPoint = false;
  quote = 0;
  for (char c : section) {
    if (quote) {
      if (c == quote)
        quote = 0;
      else
        out += c;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '.') {
      if (seenPoint) continue;
      seenPoint = true;
      if (intPlaces == 0) putOverflow(0);
      if (shownDec > 0) out += DecimalSeparator;
    } else if (c == ',') {
    } else if (c == '0' || c == '#') {
      if (seenPoint) {
        if (decIndex < shownDec) out += r.decDigits[size_t(decIndex)];
        ++decIndex;
      } else {
        if (intIndex == 0) putOverflow(intPlaces);
        int place = intPlaces - intIndex;
        if (place <= count)
          put(digits[size_t(count - place)], place);
        else if (place <= forcedInt)
          put('0', place);
        ++intIndex;
      }
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

AnsiString FormatFloat(const AnsiString& format, double value) {
  if (format.IsEmpty() || std::isnan(value) || std::isinf(value)) return FloatToStr(value);
  std::vector<std::string> sections = SplitSections(format.str());
  // Sections: positive;negative;zero. An empty or missing section falls back to the first,
  // which then carries the minus sign itself.
  if (value == 0 && sections.size() > 2 && !sections[2].empty()) return AnsiString(ApplyFormat(sections[2], 0, false));
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) return AnsiString(ApplyFormat(sections[1], value, false));
  return AnsiString(ApplyFormat(sections[0], value, value < 0));
}

AnsiString FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string s = buf, out;
  size_t e = s.find('e');
  std::string mantissa = s.substr(0, e);
  for (char& c : mantissa)
    if (c == '.') c = DecimalSeparator;
  out = mantissa;
  if (e != std::string::npos) {
    int exp = std::atoi(s.c_str() + e + 1);
    out += 'E';
    out += std::to_string(exp);
  }
  return AnsiString(std::move(out));
}

double StrToFloat(const AnsiString& s) {
  std::string t = s.Trim().str();
  for (char& c : t)
    if (c == DecimalSeparator) c = '.';
  return AnsiString(t).ToDouble();
}
