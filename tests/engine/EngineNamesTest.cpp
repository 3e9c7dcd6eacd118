// Entry names: conversion to the system code page, the rules that keep files inside the
// extract folder, and file specifications.
#include <gtest/gtest.h>

#include <string>
#include "UnzArchive.h"
#include "UnzNames.h"

using namespace zbe;

namespace {

std::string U8(const char8_t* s) { return reinterpret_cast<const char*>(s); }

}  // namespace

TEST(EngineNames, ConvertsUtf8NamesAndKeepsCodePageNames) {
  struct Case {
    const char* label;
    std::string raw;
    uint16_t flags;
    std::string unicodeField;
    std::string expected;  // code page 949, "\" separators
  };
  const Case cases[] = {
      {"ascii", "dir/sub/a.txt", 0, "", "dir\\sub\\a.txt"},
      {"utf-8 flagged", U8(u8"지도/한글.txt"), 0x0800, "", "지도\\한글.txt"},
      {"code page 949", "지도/한글.txt", 0, "", "지도\\한글.txt"},
      {"unicode path field wins", "????.txt", 0, U8(u8"안내.txt"), "안내.txt"},
      {"backslashes stay", "a\\b.txt", 0, "", "a\\b.txt"},
      {"unflagged utf-8 that is no code page 949 text", U8(u8"지도/서울.txt"), 0, "", "지도\\서울.txt"},
      {"invalid in both stays as stored", "\xFF\xFE.txt", 0, "", "\xFF\xFE.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ZEntry e;
    e.rawName = c.raw;
    e.flags = c.flags;
    e.unicodeName = c.unicodeField;
    EXPECT_EQ(EntryNameToAnsi(e), c.expected);
  }
}

TEST(EngineNames, CodePageTrailBytesAreNotSeparators) {
  // A lead byte takes the next byte with it, so a byte that looks like "\" or "/" after a lead
  // byte is part of the character, not a separator.
  ZEntry e;
  e.rawName = "\x81\x5Cx/y";
  std::string name = EntryNameToAnsi(e);
  EXPECT_EQ(name.substr(name.size() - 2), "\\y");
  EXPECT_EQ(NamePartStart("표\\뮤.txt"), std::string("표\\").size());
}

TEST(EngineNames, KeepsEveryNameInsideTheExtractFolder) {
  using namespace std::string_literals;
  struct Case {
    std::string name;
    bool safe;
    const char* relative;
  };
  const Case cases[] = {
      {"a.txt", true, "a.txt"},
      {"dir\\sub\\a.txt", true, "dir\\sub\\a.txt"},
      {"dir/sub/a.txt", true, "dir\\sub\\a.txt"},
      {".\\a.txt", true, "a.txt"},
      {"dir\\..\\a.txt", true, "a.txt"},
      {"dir\\\\a.txt", true, "dir\\a.txt"},
      {"dir\\", true, "dir"},
      {"..\\x", false, ""},
      {"../x", false, ""},
      {"dir\\..\\..\\x", false, ""},
      {"a\\b\\..\\..\\..\\x", false, ""},
      {"..", false, ""},
      {"\\etc\\x", false, ""},
      {"/etc/x", false, ""},
      {"\\\\server\\share\\x", false, ""},
      {"C:\\x", false, ""},
      {"C:x", false, ""},
      {"c:/windows/x", false, ""},
      {"file.txt:stream", false, ""},
      {"", false, ""},
      {".", true, ""},
      {".\\", true, ""},
      {"a\\..", true, ""},
      {"한글\\..\\지도.txt", true, "지도.txt"},
      // A zero byte cuts the name where the file is opened.
      {"..\0\\x"s, false, ""},
      {"a.txt\0.exe"s, false, ""},
      {"\x81\0\\x"s, false, ""},  // even as the second byte of a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string rel;
    EXPECT_EQ(SafeRelativeName(c.name, rel), c.safe);
    if (c.safe) {
      EXPECT_EQ(rel, c.relative);
    }
  }
}

TEST(EngineNames, MatchesSpecifications) {
  struct Case {
    const char* spec;
    const char* name;
    bool match;
  };
  const Case cases[] = {
      {"*", "dir\\a.txt", true},
      {"*.*", "README", true},
      {"*.txt", "a.txt", true},
      {"*.txt", "dir\\sub\\a.TXT", true},
      {"*.txt", "a.txt.bak", false},
      {"a?.txt", "ab.txt", true},
      {"a?.txt", "a.txt", false},
      {"dir\\*", "dir\\sub\\a.txt", true},
      {"dir/*.txt", "dir\\a.txt", true},
      {"DIR\\A.TXT", "dir\\a.txt", true},
      {"dir\\a.txt", "other\\dir\\a.txt", false},
      {"sub\\*", "dir\\sub\\a.txt", false},
      {"?.dat", "한.dat", true},        // one double-byte character is one "?"
      {"??.dat", "한.dat", false},
      {"지도\\*", "지도\\a.bin", true},
      {"*도.bin", "지도.bin", true},
      {"*.bin", "지도.bin", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"", "a.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.spec) + " ~ " + c.name);
    EXPECT_EQ(MatchSpec(c.spec, c.name), c.match);
  }
}

TEST(EngineNames, CaseFoldingLeavesDoubleByteCharactersAlone) {
  // 0xB0 0x61 ("갃"-range trail 'a') differs from 0xB0 0x41 only by the case of its trail byte:
  // they are different characters and must not match each other.
  EXPECT_FALSE(MatchSpec("\xB0\x61.txt", "\xB0\x41.txt"));
  EXPECT_TRUE(MatchSpec("\xB0\x61.TXT", "\xB0\x61.txt"));
}
