// The profile functions with their Windows rules: first occurrence wins, names ignore case,
// values trimmed and unquoted, lists and the truncation of results.
#include <sys/stat.h>
#include "TempDrives.h"

namespace {

class Profile : public TempDrives {
 protected:
  void SetUp() override {
    TempDrives::SetUp();
    Put(C("list.inf"),
        "ignored=before any section\r\n"
        "[Update]\r\n"
        "  Count =  3  \r\n"
        "File1=\"  spaced  \"\r\n"
        "File2='single'\r\n"
        "File3=\"only one\r\n"
        "; comment=not a key\r\n"
        "count=99\r\n"
        "Empty=\r\n"
        "Korean=\xC7\xD1\xB1\xDB\r\n"
        "[ Other ]\r\n"
        "k=v\r\n"
        "[update]\r\n"
        "File1=second section\r\n"
        "Extra=x\r\n");
  }
  static std::string Read(const char* section, const char* key, const char* fallback = "def",
                          const char* file = "C:\\list.inf", DWORD size = 256, DWORD* n = nullptr) {
    char buffer[256];
    DWORD got = GetPrivateProfileStringA(section, key, fallback, buffer, size, file);
    if (n) *n = got;
    return std::string(buffer, got);
  }
  static std::vector<std::string> Items(const char* p, DWORD n) {
    std::vector<std::string> items;
    for (DWORD i = 0; i < n;) {
      std::string item(p + i);
      items.push_back(item);
      i += static_cast<DWORD>(item.size()) + 1;
    }
    return items;
  }
};

TEST_F(Profile, ValuesByWindowsRules) {
  struct Case {
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"Update", "Count", "3"},            // trimmed; the first of two keys wins
      {"UPDATE", "count", "3"},            // names ignore case
      {"Update", "File1", "  spaced  "},   // one pair of quotes goes, what is inside stays
      {"Update", "File2", "single"},
      {"Update", "File3", "\"only one"},   // no pair: as it is
      {"Update", "Empty", ""},
      {"Update", "Korean", "\xC7\xD1\xB1\xDB"},
      {"Update", "Extra", "def"},          // a later section of the same name is not read
      {"Update", "; comment", "def"},
      {"Other", "k", "v"},                 // blanks around a section name do not count
      {"Missing", "k", "def"},
      {"", "ignored", "def"},
  };
  for (const Case& c : cases) EXPECT_EQ(Read(c.section, c.key), c.value) << c.section << "/" << c.key;
  EXPECT_EQ(Read("Update", "None", "trail   "), "trail") << "the default loses trailing blanks";
  EXPECT_EQ(Read("Update", "None", nullptr), "");
  EXPECT_EQ(Read("Update", "Count", "def", "C:\\missing.inf"), "def");

  // Too long: cut to nSize-1 characters, and that count is returned.
  DWORD n;
  EXPECT_EQ(Read("Update", "Korean", "", "C:\\list.inf", 3, &n), "\xC7\xD1");
  EXPECT_EQ(n, 2u);

  EXPECT_EQ(GetPrivateProfileIntA("Update", "Count", 7, "C:\\list.inf"), 3u);
  EXPECT_EQ(GetPrivateProfileIntA("Update", "None", 7, "C:\\list.inf"), 7u);
  EXPECT_EQ(GetPrivateProfileIntA("Update", "Korean", 7, "C:\\list.inf"), 0u) << "no number reads as 0";
}

TEST_F(Profile, ListsOfKeysAndSections) {
  char buffer[256];
  DWORD n = GetPrivateProfileStringA("update", nullptr, "", buffer, sizeof buffer, "C:\\list.inf");
  EXPECT_EQ(Items(buffer, n), (std::vector<std::string>{"Count", "File1", "File2", "File3", "Empty", "Korean"}));
  EXPECT_EQ(buffer[n], 0);
  n = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, "C:\\list.inf");
  EXPECT_EQ(Items(buffer, n), (std::vector<std::string>{"Update", "Other", "update"}));
  n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, "C:\\list.inf");
  EXPECT_EQ(Items(buffer, n).size(), 3u);
  n = GetPrivateProfileSectionA("Other", buffer, sizeof buffer, "C:\\list.inf");
  EXPECT_EQ(Items(buffer, n), (std::vector<std::string>{"k=v"}));
  n = GetPrivateProfileSectionA("Nothing", buffer, sizeof buffer, "C:\\list.inf");
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(buffer[0], 0);

  // A list that does not fit: nSize-2, still ending in two zeros.
  char small[10];
  memset(small, 'X', sizeof small);
  n = GetPrivateProfileStringA("Update", nullptr, "", small, sizeof small, "C:\\list.inf");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::string(small, 10), std::string("Count\0Fi\0\0", 10));
  n = GetPrivateProfileSectionNamesA(small, sizeof small, "C:\\list.inf");
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(small[8], 0);
  EXPECT_EQ(small[9], 0);
}

TEST_F(Profile, WritesKeepTheRestAndReplaceAtomically) {
  struct stat before;
  stat(C("list.inf").c_str(), &before);
  ASSERT_TRUE(WritePrivateProfileStringA("UPDATE", "count", "4", "C:\\list.inf"));
  // Checked after one write: later writes may get the freed inode number back.
  struct stat after;
  stat(C("list.inf").c_str(), &after);
  EXPECT_NE(before.st_ino, after.st_ino) << "a new file renamed into place";
  ASSERT_TRUE(WritePrivateProfileStringA("Update", "New", "n", "C:\\list.inf"));
  ASSERT_TRUE(WritePrivateProfileStringA("Fresh", "a", "b", "C:\\list.inf"));
  ASSERT_TRUE(WritePrivateProfileStringA("Update", "File2", nullptr, "C:\\list.inf"));
  EXPECT_EQ(Read("Update", "Count"), "4");
  EXPECT_EQ(Read("Update", "New"), "n");
  EXPECT_EQ(Read("Fresh", "a"), "b");
  EXPECT_EQ(Read("Update", "File2"), "def");
  EXPECT_EQ(Read("Other", "k"), "v");
  std::string text = Get(C("list.inf"));
  EXPECT_NE(text.find("; comment=not a key\r\n"), std::string::npos) << "comments stay";
  EXPECT_NE(text.find("[Update]\r\nCount=4\r\n"), std::string::npos) << "replaced where it was";
  EXPECT_NE(text.find("Korean=\xC7\xD1\xB1\xDB\r\nNew=n\r\n"), std::string::npos) << "a new key ends its section";
  EXPECT_EQ(text.find("\n\n"), std::string::npos);

  // A null key removes every section of the name.
  ASSERT_TRUE(WritePrivateProfileStringA("update", nullptr, nullptr, "C:\\list.inf"));
  EXPECT_EQ(Read("Update", "Count"), "def");
  EXPECT_EQ(Read("Update", "Extra"), "def");
  EXPECT_EQ(Read("Fresh", "a"), "b");

  // A new file; a folder that is not there.
  ASSERT_TRUE(WritePrivateProfileStringA("S", "K", "V", "C:\\new.ini"));
  EXPECT_EQ(Get(C("new.ini")), "[S]\r\nK=V\r\n");
  EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "V", "C:\\nofolder\\x.ini"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "K", "V", "C:\\new.ini"));
}

TEST_F(Profile, NameWithoutFolderIsInTheWindowsFolder) {
  Put(C("Windows/app.ini"), "[A]\nk=windows\n");
  Put(C("app.ini"), "[A]\nk=current\n");
  EXPECT_EQ(Read("A", "k", "", "app.ini"), "windows");
  EXPECT_EQ(Read("A", "k", "", ".\\app.ini"), "current");
  // Files with LF line ends keep them.
  ASSERT_TRUE(WritePrivateProfileStringA("A", "j", "2", "app.ini"));
  EXPECT_EQ(Get(C("Windows/app.ini")), "[A]\nk=windows\nj=2\n");
}

TEST_F(Profile, DamagedFileReadsAsFarAsValid) {
  Put(C("bad.ini"), std::string("[A]\nk=1\n\xFF\xFE garbage line\nj=2\n", 29) + std::string("\0[B]\nx=3\n", 9));
  EXPECT_EQ(Read("A", "k", "", "C:\\bad.ini"), "1");
  EXPECT_EQ(Read("A", "j", "", "C:\\bad.ini"), "2") << "a line without '=' is only skipped";
  EXPECT_EQ(Read("B", "x", "none", "C:\\bad.ini"), "none") << "a zero byte ends the text";
}

}  // namespace
