// FILETIME (100 ns since 1601-01-01 UTC), DOS date and time, system time, ticks and sleeping.
#include <time.h>
#include <cerrno>
#include <cstdlib>
#include "Internal.h"

namespace winplat {

namespace {

const int64_t kEpochDifference = 11644473600LL;  // seconds from 1601 to 1970
const int64_t kTicksPerSecond = 10000000LL;

uint64_t Ticks(const FILETIME& ft) { return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

FILETIME FromTicks(uint64_t ticks) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(ticks);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return ft;
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = static_cast<unsigned>(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  unsigned doe = static_cast<unsigned>(z - era * 146097);
  unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}

bool LeapYear(unsigned y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned DaysInMonth(unsigned y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

// Offset of local time from UTC at a moment, in seconds.
int64_t LocalOffset(int64_t unixSeconds) {
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm local;
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

}  // namespace

FILETIME UnixToFileTime(int64_t seconds, int64_t nanoseconds) {
  int64_t ticks = (seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
  return FromTicks(ticks < 0 ? 0 : static_cast<uint64_t>(ticks));
}

void FileTimeToUnix(const FILETIME& ft, int64_t& seconds, int64_t& nanoseconds) {
  uint64_t ticks = Ticks(ft);
  seconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochDifference;
  nanoseconds = static_cast<int64_t>(ticks % kTicksPerSecond) * 100;
}

}  // namespace winplat

using namespace winplat;

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* lpFileTime, LPFILETIME lpLocalFileTime) {
  if (!lpFileTime || !lpLocalFileTime) return FALSE;
  int64_t sec, nsec;
  FileTimeToUnix(*lpFileTime, sec, nsec);
  *lpLocalFileTime = FromTicks(Ticks(*lpFileTime) + LocalOffset(sec) * kTicksPerSecond);
  return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* lpLocalFileTime, LPFILETIME lpFileTime) {
  if (!lpLocalFileTime || !lpFileTime) return FALSE;
  int64_t sec, nsec;
  FileTimeToUnix(*lpLocalFileTime, sec, nsec);
  // The offset at the UTC moment near the local one; two steps settle around a change of season.
  int64_t offset = LocalOffset(sec);
  offset = LocalOffset(sec - offset);
  *lpFileTime = FromTicks(Ticks(*lpLocalFileTime) - offset * kTicksPerSecond);
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime || (lpFileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  uint64_t ticks = Ticks(*lpFileTime);
  int64_t totalSeconds = static_cast<int64_t>(ticks / kTicksPerSecond) - kEpochDifference;
  int64_t days = totalSeconds >= 0 ? totalSeconds / 86400 : -((-totalSeconds + 86399) / 86400);
  int64_t secOfDay = totalSeconds - days * 86400;
  int64_t y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  lpSystemTime->wYear = static_cast<WORD>(y);
  lpSystemTime->wMonth = static_cast<WORD>(m);
  lpSystemTime->wDay = static_cast<WORD>(d);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  lpSystemTime->wHour = static_cast<WORD>(secOfDay / 3600);
  lpSystemTime->wMinute = static_cast<WORD>(secOfDay / 60 % 60);
  lpSystemTime->wSecond = static_cast<WORD>(secOfDay % 60);
  lpSystemTime->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
  return TRUE;
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) return FALSE;
  const SYSTEMTIME& s = *lpSystemTime;
  if (s.wYear < 1601 || s.wYear > 30827 || s.wMonth < 1 || s.wMonth > 12 || s.wDay < 1 ||
      s.wDay > DaysInMonth(s.wYear, s.wMonth) || s.wHour > 23 || s.wMinute > 59 || s.wSecond > 59 ||
      s.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int64_t days = DaysFromCivil(s.wYear, s.wMonth, s.wDay);
  int64_t seconds = days * 86400 + s.wHour * 3600 + s.wMinute * 60 + s.wSecond;
  *lpFileTime = FromTicks(static_cast<uint64_t>((seconds + kEpochDifference) * kTicksPerSecond) +
                          static_cast<uint64_t>(s.wMilliseconds) * 10000);
  return TRUE;
}

BOOL WINAPI FileTimeToDosDateTime(const FILETIME* lpFileTime, LPWORD lpFatDate, LPWORD lpFatTime) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(lpFileTime, &st)) return FALSE;
  if (st.wYear < 1980 || st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpFatDate) *lpFatDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  if (lpFatTime) *lpFatTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return TRUE;
}

BOOL WINAPI DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(1980 + (wFatDate >> 9));
  st.wMonth = static_cast<WORD>((wFatDate >> 5) & 0x0F);
  st.wDay = static_cast<WORD>(wFatDate & 0x1F);
  st.wHour = static_cast<WORD>(wFatTime >> 11);
  st.wMinute = static_cast<WORD>((wFatTime >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>((wFatTime & 0x1F) * 2);
  return SystemTimeToFileTime(&st, lpFileTime);
}

void WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime) {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  *lpSystemTimeAsFileTime = UnixToFileTime(ts.tv_sec, ts.tv_nsec);
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  FileTimeToSystemTime(&ft, lpSystemTime);
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  FILETIME ft, local;
  GetSystemTimeAsFileTime(&ft);
  FileTimeToLocalFileTime(&ft, &local);
  FileTimeToSystemTime(&local, lpSystemTime);
}

namespace {

// WINPLAT_TIME_SCALE=N runs the tick count N times faster and shortens every Sleep N times, so
// that a test can sit through long waits quickly; unset, empty or not a number above 0 is 1.
double TimeScale() {
  const char* text = getenv("WINPLAT_TIME_SCALE");
  if (!text || !*text) return 1;
  char* end = nullptr;
  double scale = strtod(text, &end);
  return *end == 0 && scale > 0 ? scale : 1;
}

}  // namespace

DWORD WINAPI GetTickCount(void) {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  double ms = static_cast<double>(ts.tv_sec) * 1000 + static_cast<double>(ts.tv_nsec) / 1000000;
  // The count wraps as Windows' does; differences stay right.
  return static_cast<DWORD>(static_cast<uint64_t>(ms * TimeScale()));
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  double ns = static_cast<double>(dwMilliseconds) * 1000000 / TimeScale();
  uint64_t total = static_cast<uint64_t>(ns);
  timespec ts{static_cast<time_t>(total / 1000000000), static_cast<long>(total % 1000000000)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}
