// TDateTime (days since 1899-12-30, time of day as the fraction), DOS file dates and
// FormatDateTime.
#include <cmath>
#include <cstdio>
#include <string>

#include "SysUtils.h"
#include "windows.h"

namespace {

// Days from 1899-12-30 to the given civil date (proleptic Gregorian calendar).
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25569;  // 25569 = days from 1899-12-30 to 1970-01-01
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468 - 25569;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

bool ValidDate(int y, int m, int d) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap);
}

TDateTime Encode(int y, int mo, int d, int h, int mi, int s, int ms) {
  if (!ValidDate(y, mo, d) || h > 23 || mi > 59 || s > 59 || ms > 999 || h < 0 || mi < 0 || s < 0 || ms < 0)
    throw EConvertError("Invalid argument to date encode");
  return double(DaysFromCivil(y, mo, d)) + (((h * 60 + mi) * 60 + s) * 1000.0 + ms) / 86400000.0;
}

struct Parts {
  int year, month, day, hour, minute, second, msec, dayOfWeek;  // dayOfWeek 1 = Sunday
};

Parts Decode(TDateTime dt) {
  Parts p;
  // Whole milliseconds, rounded, so 0.5 s stored as a fraction does not show as 0.499.
  long long total = (long long)std::llround(dt * 86400000.0);
  long long days = total >= 0 ? total / 86400000 : -((-total + 86399999) / 86400000);
  long long msOfDay = total - days * 86400000;
  // Before day 0 the library counts the fraction backwards; dates before 1899 are not used here.
  CivilFromDays(long(days), p.year, p.month, p.day);
  p.hour = int(msOfDay / 3600000);
  p.minute = int(msOfDay / 60000 % 60);
  p.second = int(msOfDay / 1000 % 60);
  p.msec = int(msOfDay % 1000);
  p.dayOfWeek = int(((days % 7) + 7 + 6) % 7) + 1;  // day 0 (1899-12-30) was a Saturday
  return p;
}

// "yyyy년 m월 d일" in code page 949.
const char* const kLongDate = "yyyy'\xB3\xE2' m'\xBF\xF9' d'\xC0\xCF'";
const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::string Num(int v, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, v);
  return buf;
}

bool StartsWithNoCase(const std::string& s, size_t i, const char* word) {
  for (size_t k = 0; word[k]; ++k) {
    if (i + k >= s.size()) return false;
    char c = s[i + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != word[k]) return false;
  }
  return true;
}

void Render(const std::string& f, const Parts& p, std::string& out, int depth);

void RenderNamed(const char* format, const Parts& p, std::string& out, int depth) {
  if (depth < 2) Render(format, p, out, depth + 1);
}

void Render(const std::string& f, const Parts& p, std::string& out, int depth) {
  bool lastWasHour = false;
  size_t i = 0;
  while (i < f.size()) {
    char c = f[i];
    char lc = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    size_t run = 1;
    while (i + run < f.size() && ((f[i + run] | 0x20) == lc) && lc >= 'a' && lc <= 'z') ++run;
    bool hour = false;
    switch (lc) {
      case '"':
      case '\'': {
        size_t end = f.find(c, i + 1);
        if (end == std::string::npos) end = f.size();
        out.append(f, i + 1, end - i - 1);
        i = end + 1;
        continue;
      }
      case '/': out += DateSeparator; break;
      case ':': out += TimeSeparator; break;
      case 'y': out += run <= 2 ? Num(p.year % 100, 2) : Num(p.year, 4); break;
      case 'm':
        if (lastWasHour && run <= 2)
          out += Num(p.minute, int(run));
        else if (run == 1 || run == 2)
          out += Num(p.month, int(run));
        else
          out += run == 3 ? kShortMonths[p.month - 1] : kLongMonths[p.month - 1];
        break;
      case 'd':
        if (run <= 2)
          out += Num(p.day, int(run));
        else if (run == 3)
          out += kShortDays[p.dayOfWeek - 1];
        else if (run == 4)
          out += kLongDays[p.dayOfWeek - 1];
        else
          RenderNamed(run == 5 ? "yyyy/mm/dd" : kLongDate, p, out, depth);
        break;
      case 'h': out += Num(p.hour, run >= 2 ? 2 : 1); hour = true; break;
      case 'n': out += Num(p.minute, run >= 2 ? 2 : 1); break;
      case 's': out += Num(p.second, run >= 2 ? 2 : 1); break;
      case 'z': out += Num(p.msec, run >= 3 ? 3 : 1); break;
      case 'c': RenderNamed(p.hour || p.minute || p.second ? "yyyy/mm/dd hh:nn:ss" : "yyyy/mm/dd", p, out, depth); break;
      case 't': RenderNamed(run >= 2 ? "hh:nn:ss" : "hh:nn", p, out, depth); break;
      case 'a':
        if (StartsWithNoCase(f, i, "am/pm")) {
          out += p.hour < 12 ? "AM" : "PM";
          run = 5;
        } else if (StartsWithNoCase(f, i, "a/p")) {
          out += p.hour < 12 ? "A" : "P";
          run = 3;
        } else {
          out.append(f, i, run);
        }
        break;
      default: out.append(f, i, run); break;
    }
    if (lc >= 'a' && lc <= 'z') lastWasHour = hour;
    i += run;
  }
}

}  // namespace

TDateTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return Encode(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

TDateTime FileDateToDateTime(int fileDate) {
  unsigned date = unsigned(fileDate) >> 16, time = unsigned(fileDate) & 0xFFFF;
  return Encode(int(date >> 9) + 1980, int((date >> 5) & 15), int(date & 31), int(time >> 11), int((time >> 5) & 63),
                int(time & 31) * 2, 0);
}

int DateTimeToFileDate(TDateTime dt) {
  Parts p = Decode(dt);
  if (p.year < 1980 || p.year > 2107) return 0;
  unsigned date = unsigned((p.year - 1980) << 9 | p.month << 5 | p.day);
  unsigned time = unsigned(p.hour << 11 | p.minute << 5 | p.second / 2);
  return int(date << 16 | time);
}

AnsiString FormatDateTime(const AnsiString& format, TDateTime dt) {
  std::string out;
  Render(format.IsEmpty() ? std::string("c") : format.str(), Decode(dt), out, 0);
  return AnsiString(std::move(out));
}
