// Code page 949 text, string functions, locale answers, error texts and time conversions.
#include <gtest/gtest.h>
#include <time.h>

#include <cstring>
#include <thread>
#include <string>
#include "windows.h"
#include "winplat.h"

namespace {

// "한글 OK" and its code page 949 bytes.
const std::string kUtf8 = "\xED\x95\x9C\xEA\xB8\x80 OK";
const std::string kCp949 = "\xC7\xD1\xB1\xDB OK";

TEST(CodePage, ConversionsBothWays) {
  EXPECT_EQ(winplat::Cp949ToUtf8(kCp949), kUtf8);
  EXPECT_EQ(winplat::Utf8ToCp949(kUtf8), kCp949);
  EXPECT_EQ(winplat::Cp949ToWide(kCp949), std::wstring(L"\uD55C\uAE00 OK"));
  EXPECT_EQ(winplat::WideToCp949(L"\uD55C\uAE00 OK"), kCp949);
  EXPECT_EQ(winplat::Cp949ToUtf8(""), "");
  // Bytes that are no text become "?" and the rest survives.
  EXPECT_EQ(winplat::Cp949ToUtf8("a\xC7"), "a?");
  EXPECT_EQ(winplat::Cp949ToUtf8("\xFF" "b"), "?b");
  EXPECT_EQ(winplat::Utf8ToCp949("a\xE2\x82" "b"), "a?b");            // a broken sequence
  EXPECT_EQ(winplat::Utf8ToCp949("x\xF0\x9F\x98\x80y"), "x?y");      // no such character in 949
}

TEST(CodePage, MultiByteAndWideCharFunctions) {
  wchar_t wide[16];
  // -1: the zero is converted and counted.
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, kCp949.c_str(), -1, nullptr, 0), 6);
  ASSERT_EQ(MultiByteToWideChar(949, 0, kCp949.c_str(), -1, wide, 16), 6);
  EXPECT_EQ(std::wstring(wide), L"\uD55C\uAE00 OK");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, kUtf8.c_str(), static_cast<int>(kUtf8.size()), wide, 16), 5);
  EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, kCp949.c_str(), -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\xC7", 1, wide, 16), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, wide, 16), 0) << "only the code pages of this system";

  char bytes[16];
  BOOL usedDefault = TRUE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\uD55C\uAE00 OK", -1, bytes, 16, nullptr, &usedDefault), 8);
  EXPECT_EQ(std::string(bytes), kCp949);
  EXPECT_FALSE(usedDefault);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, L"a\U0001F600", 2, bytes, 16, "#", &usedDefault), 2);
  EXPECT_EQ(std::string(bytes, 2), "a#");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"\uD55C", 1, nullptr, 0, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"\uD55C\uAE00", 2, bytes, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetACP(), 949u);
  EXPECT_EQ(GetOEMCP(), 949u);
}

TEST(CodePage, LeadBytesAndCharacterSteps) {
  struct Case {
    BYTE byte;
    bool lead;
  } cases[] = {{0x00, false}, {0x41, false}, {0x80, false}, {0x81, true}, {0xC7, true}, {0xFE, true}, {0xFF, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(IsDBCSLeadByte(c.byte) != 0, c.lead) << int(c.byte);
    EXPECT_EQ(IsDBCSLeadByteEx(949, c.byte) != 0, c.lead) << int(c.byte);
  }
  // "a한\" : the trail byte of a character may look like ASCII; stepping must not stop on it.
  const char text[] = "a\xC7\x5C\\";
  EXPECT_EQ(CharNextA(text), text + 1);
  EXPECT_EQ(CharNextA(text + 1), text + 3);
  EXPECT_EQ(CharNextA(text + 4), text + 4) << "the end stays the end";
  EXPECT_EQ(CharPrevA(text, text + 3), text + 1);
  EXPECT_EQ(CharPrevA(text, text + 4), text + 3);
  EXPECT_EQ(CharPrevA(text, text), text);
  const char cut[] = "\xC7";  // a lead byte before the end is a character of its own
  EXPECT_EQ(CharNextA(cut), cut + 1);
}

TEST(CodePage, StringFunctions) {
  char buffer[8];
  EXPECT_EQ(lstrlenA(kCp949.c_str()), 7);
  EXPECT_EQ(lstrlenA(nullptr), 0);
  EXPECT_STREQ(lstrcpynA(buffer, "abcdefghij", 5), "abcd");
  EXPECT_STREQ(lstrcpynA(buffer, "ab", 5), "ab");
  EXPECT_STREQ(lstrcpyA(buffer, "xyz"), "xyz");
  struct Case {
    const char* a;
    const char* b;
    int cmp, cmpi;
  } cases[] = {{"abc", "abc", 0, 0}, {"abc", "ABC", 1, 0}, {"a", "b", -1, -1}, {"B", "a", -1, 1},
               {"", "a", -1, -1},   {"\xC7\x61", "\xC7\x41", 1, 1}};  // trail bytes are not letters
  for (const Case& c : cases) {
    EXPECT_EQ(lstrcmpA(c.a, c.b), c.cmp) << c.a << " " << c.b;
    EXPECT_EQ(lstrcmpiA(c.a, c.b), c.cmpi) << c.a << " " << c.b;
  }
  char oem[16];
  EXPECT_TRUE(CharToOemA(kCp949.c_str(), oem));
  EXPECT_EQ(std::string(oem), kCp949);
  EXPECT_TRUE(OemToCharBuffA(kCp949.c_str(), oem, 2));
  EXPECT_EQ(std::string(oem, 2), kCp949.substr(0, 2));
}

TEST(Locale, KoreanAnswers) {
  EXPECT_EQ(GetUserDefaultLCID(), 0x0412u);
  EXPECT_EQ(GetSystemDefaultLCID(), 0x0412u);
  EXPECT_EQ(GetThreadLocale(), 0x0412u);
  EXPECT_EQ(GetUserDefaultLangID(), 0x0412);
  struct Case {
    LCID locale;
    LCTYPE type;
    std::string value;
  } cases[] = {
      {LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, "."},
      {LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, ","},
      {LOCALE_SYSTEM_DEFAULT, LOCALE_ILANGUAGE, "0412"},
      {0x0412, LOCALE_SNATIVELANGNAME, "\xC7\xD1\xB1\xB9\xBE\xEE"},  // 한국어
      {0x12, LOCALE_SNATIVELANGNAME, "\xC7\xD1\xB1\xB9\xBE\xEE"},    // the primary language alone
      {0x0412, LOCALE_SENGLANGUAGE, "Korean"},
      {0x0412, LOCALE_SABBREVLANGNAME, "KOR"},
      {0x0412, LOCALE_IDEFAULTANSICODEPAGE, "949"},
      {0x09, LOCALE_SNATIVELANGNAME, "English"},
  };
  for (const Case& c : cases) {
    char buffer[255];
    int n = GetLocaleInfoA(c.locale, c.type, buffer, sizeof buffer);
    EXPECT_EQ(n, static_cast<int>(c.value.size()) + 1) << std::hex << c.locale << " " << c.type;
    EXPECT_EQ(std::string(buffer), c.value) << std::hex << c.locale << " " << c.type;
  }
  char small[2];
  EXPECT_EQ(GetLocaleInfoA(0x0412, LOCALE_SENGLANGUAGE, nullptr, 0), 7);
  EXPECT_EQ(GetLocaleInfoA(0x0412, LOCALE_SENGLANGUAGE, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(GetLocaleInfoA(0x7F, LOCALE_SNATIVELANGNAME, small, sizeof small), 0) << "no such language";
  EXPECT_EQ(GetLocaleInfoA(0x0412, 0x7777, small, sizeof small), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

TEST(Errors, LastErrorIsPerThread) {
  SetLastError(ERROR_DISK_FULL);
  DWORD seen = 1;
  std::thread([&] { seen = GetLastError(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
}

// The texts a Korean system gives, in code page 949, ending in CR LF.
TEST(Errors, SystemMessagesAreKorean) {
  char buffer[1024];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, sizeof buffer, nullptr);
  EXPECT_EQ(std::string(buffer, n),
            "\xC1\xF6\xC1\xA4\xB5\xC8 \xC6\xC4\xC0\xCF\xC0\xBB \xC3\xA3\xC0\xBB \xBC\xF6 "
            "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.\r\n");
  struct Case {
    DWORD code;
    const char* text;  // UTF-8
  } cases[] = {
      {ERROR_SUCCESS, "작업을 완료했습니다."},
      {ERROR_PATH_NOT_FOUND, "지정된 경로를 찾을 수 없습니다."},
      {ERROR_ACCESS_DENIED, "액세스가 거부되었습니다."},
      {ERROR_SHARING_VIOLATION, "다른 프로세스가 파일을 사용 중이기 때문에 프로세스가 액세스 할 수 없습니다."},
      {ERROR_DISK_FULL, "디스크 공간이 부족합니다."},
      {ERROR_HANDLE_DISK_FULL, "디스크가 꽉 찼습니다."},
      {ERROR_WRITE_PROTECT, "미디어가 쓰기 금지되어 있습니다."},
      {ERROR_NOT_READY, "장치가 준비되지 않았습니다."},
      {ERROR_DIRECTORY, "디렉터리 이름이 올바르지 않습니다."},
      {ERROR_MOD_NOT_FOUND, "지정된 모듈을 찾을 수 없습니다."},
      {ERROR_BAD_NETPATH, "네트워크 경로를 찾을 수 없습니다."},
      {ERROR_BAD_NET_NAME, "네트워크 이름을 찾을 수 없습니다."},
      {ERROR_NETNAME_DELETED, "지정된 네트워크 이름을 더 이상 사용할 수 없습니다."},
      {ERROR_UNEXP_NET_ERR, "예기치 않은 네트워크 오류가 발생했습니다."},
      {ERROR_NETWORK_ACCESS_DENIED, "네트워크 액세스가 거부되었습니다."},
      {ERROR_CONNECTION_REFUSED, "원격 컴퓨터가 네트워크 연결을 거부했습니다."},
  };
  for (const Case& c : cases) {
    n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, c.code, 0, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(winplat::Cp949ToUtf8(std::string(buffer, n)), std::string(c.text) + "\r\n") << c.code;
  }
  for (DWORD code : {ERROR_BAD_EXE_FORMAT, ERROR_GEN_FAILURE, ERROR_NETWORK_UNREACHABLE, ERROR_SEM_TIMEOUT}) {
    n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(n, 2u) << code;
    EXPECT_EQ(winplat::Utf8ToCp949(winplat::Cp949ToUtf8(std::string(buffer, n))), std::string(buffer, n)) << code;
  }
  n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_MAX_WIDTH_MASK, nullptr, ERROR_DISK_FULL, 0, buffer,
                     sizeof buffer, nullptr);
  EXPECT_EQ(winplat::Cp949ToUtf8(std::string(buffer, n)), "디스크 공간이 부족합니다.") << "no line break";
}

TEST(Errors, SystemMessageBuffers) {
  char buffer[1024];
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 987654, 0, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  // 31 bytes and CR LF in code page 949 (45 in UTF-8), and the zero.
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, 33, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, 34, nullptr), 33u);

  LPSTR allocated = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, ERROR_ACCESS_DENIED, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr);
  ASSERT_NE(allocated, nullptr);
  EXPECT_EQ(winplat::Cp949ToUtf8(std::string(allocated, n)), "액세스가 거부되었습니다.\r\n");
  EXPECT_EQ(LocalFree(allocated), nullptr);
}

TEST(Heap, AllocateZeroedAndFree) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(block[i], 0);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  EXPECT_EQ(HeapAlloc(reinterpret_cast<HANDLE>(1234), 0, 8), nullptr);
}

TEST(Time, FileTimeAndSystemTime) {
  struct Case {
    SYSTEMTIME st;
    ULONGLONG ticks;
  } cases[] = {
      {{1601, 1, 1, 1, 0, 0, 0, 0}, 0ULL},
      {{1970, 1, 4, 1, 0, 0, 0, 0}, 116444736000000000ULL},
      {{2000, 2, 2, 29, 12, 34, 56, 789}, 125963012967890000ULL},
      {{2107, 12, 6, 31, 23, 59, 58, 0}, 159992927980000000ULL},
  };
  for (const Case& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft)) << c.st.wYear;
    EXPECT_EQ((ULONGLONG(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, c.ticks) << c.st.wYear;
    SYSTEMTIME back;
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(memcmp(&back, &c.st, sizeof back), 0) << c.st.wYear << " (day of week included)";
  }
  SYSTEMTIME bad[] = {{2001, 2, 0, 29, 0, 0, 0, 0}, {2000, 13, 0, 1, 0, 0, 0, 0}, {1600, 1, 0, 1, 0, 0, 0, 0},
                      {2000, 1, 0, 1, 24, 0, 0, 0}};
  for (const SYSTEMTIME& s : bad) {
    FILETIME ft;
    EXPECT_FALSE(SystemTimeToFileTime(&s, &ft)) << s.wYear << "-" << s.wMonth << "-" << s.wDay;
  }
}

TEST(Time, DosDateAndTime) {
  struct Case {
    SYSTEMTIME st;
    WORD date, time;
  } cases[] = {
      {{1980, 1, 2, 1, 0, 0, 0, 0}, 0x0021, 0x0000},
      {{2024, 3, 0, 15, 13, 45, 30, 0}, static_cast<WORD>((44 << 9) | (3 << 5) | 15),
       static_cast<WORD>((13 << 11) | (45 << 5) | 15)},
      {{2107, 12, 6, 31, 23, 59, 58, 0}, static_cast<WORD>((127 << 9) | (12 << 5) | 31),
       static_cast<WORD>((23 << 11) | (59 << 5) | 29)},
  };
  for (const Case& c : cases) {
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(&c.st, &ft));
    WORD date = 0, time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
    EXPECT_EQ(date, c.date) << c.st.wYear;
    EXPECT_EQ(time, c.time) << c.st.wYear;
    FILETIME back;
    ASSERT_TRUE(DosDateTimeToFileTime(date, time, &back));
    EXPECT_EQ(back.dwLowDateTime, ft.dwLowDateTime) << c.st.wYear;
  }
  SYSTEMTIME early{1979, 12, 1, 31, 0, 0, 0, 0};
  FILETIME ft;
  ASSERT_TRUE(SystemTimeToFileTime(&early, &ft));
  WORD date, time;
  EXPECT_FALSE(FileTimeToDosDateTime(&ft, &date, &time)) << "before the DOS epoch";

  // Local and UTC differ by the zone's offset and go back and forth unchanged.
  FILETIME now, local, again;
  GetSystemTimeAsFileTime(&now);
  ASSERT_TRUE(FileTimeToLocalFileTime(&now, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &again));
  EXPECT_EQ(again.dwLowDateTime, now.dwLowDateTime);
}

TEST(Time, TicksAndSleep) {
  DWORD start = GetTickCount();
  Sleep(30);
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 29u);
  EXPECT_NE(GetCurrentProcessId(), 0u);
  EXPECT_NE(GetCurrentThreadId(), 0u);
}

// WINPLAT_TIME_SCALE speeds up the tick count and shortens sleeps alike; what is not a number
// above 0 leaves the clock as it is.
TEST(Time, TheTimeScaleSpeedsUpTicksAndSleeps) {
  struct Case {
    const char* scale;
    DWORD sleep;
    long long minRealMs;
    long long maxRealMs;  // far above what the scaled sleep needs, far below the unscaled one
  };
  for (Case c : {Case{"100", 3000, 29, 1500}, Case{"0.5", 30, 59, 1000000}, Case{"0", 30, 29, 1000000},
                 Case{"-2", 30, 29, 1000000}, Case{"fast", 30, 29, 1000000}, Case{"", 30, 29, 1000000}}) {
    SCOPED_TRACE(c.scale);
    setenv("WINPLAT_TIME_SCALE", c.scale, 1);
    timespec before, after;
    clock_gettime(CLOCK_MONOTONIC, &before);
    DWORD start = GetTickCount();
    Sleep(c.sleep);
    DWORD ticks = GetTickCount() - start;
    clock_gettime(CLOCK_MONOTONIC, &after);
    long long realMs = (after.tv_sec - before.tv_sec) * 1000LL + (after.tv_nsec - before.tv_nsec) / 1000000;
    EXPECT_GE(ticks, c.sleep - 1);
    EXPECT_GE(realMs, c.minRealMs);
    EXPECT_LT(realMs, c.maxRealMs);
  }
  unsetenv("WINPLAT_TIME_SCALE");
}

}  // namespace
