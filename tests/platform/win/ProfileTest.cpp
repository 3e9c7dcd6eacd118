// The profile functions with their Windows rules: first occurrence wins, names ignore case,
// values trimmed and unquoted, lists and the truncation of results; each version of a file
// parsed once, every change seen.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <functional>
#include <set>
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
  // Another process writing into the file itself.
  static void WriteInPlace(const std::string& path, const std::string& bytes, int flags) {
    InChild([&] {
      int fd = open(path.c_str(), O_WRONLY | flags);
      if (fd < 0 || write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) _exit(1);
      close(fd);
    });
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

// What Windows gives for a list (its items, each with its zero) in a buffer of `size`: the list
// and the zero that ends it when both fit, else the first size-2 bytes and two zeros, nSize-2.
std::string ExpectedList(const std::string& list, DWORD size, DWORD& n) {
  if (size == 0) return n = 0, "";
  if (list.size() < size) {
    n = DWORD(list.size());
    return list + (list.empty() && size > 1 ? std::string(2, '\0') : std::string(1, '\0'));
  }
  if (size == 1) return n = 0, std::string(1, '\0');
  n = size - 2;
  return list.substr(0, size - 2) + std::string(2, '\0');
}

// The buffer sizes around every place where the items fill it exactly (none, each item with
// its zero, the whole list), one less and up to two more; and the smallest sizes.
std::set<DWORD> EdgeSizes(const std::string& list) {
  std::vector<size_t> fills{0};
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == 0) fills.push_back(i + 1);
  std::set<DWORD> sizes{0, 1, 2, 3};
  for (size_t fill : fills)
    for (size_t size = fill ? fill - 1 : 0; size <= fill + 2; ++size) sizes.insert(DWORD(size));
  return sizes;
}

TEST_F(Profile, ListsInEveryBufferSizeEndInTwoZerosAndNeverOverrun) {
  std::string many, manyNames;
  // The names fill 16,383 bytes after 381 sections: the size TIniFile starts with, less one.
  for (int i = 0; i < 400; ++i) {
    char name[43];
    snprintf(name, sizeof name, "SECTION_%034d", i);
    many += std::string("[") + name + "]\r\nk=v\r\n";
    manyNames += std::string(name) + '\0';
  }
  Put(C("many.inf"), many);
  Put(C("empty.inf"), "; no sections\r\n");
  Put(C("edges.inf"), "[S]\r\n[Longer name]\r\nab=1\r\nc=2\r\nab=3\r\nline\r\n[x]\r\n[E]\r\n");
  using Read = std::function<DWORD(char*, DWORD)>;
  struct Case {
    const char* what;
    Read read;
    std::string list;
  } cases[] = {
      {"section names", [](char* b, DWORD n) { return GetPrivateProfileSectionNamesA(b, n, "C:\\edges.inf"); },
       std::string("S\0Longer name\0x\0E\0", 18)},
      {"keys", [](char* b, DWORD n) { return GetPrivateProfileStringA("longer NAME", nullptr, "", b, n, "C:\\edges.inf"); },
       std::string("ab\0c\0", 5)},
      {"section lines",
       [](char* b, DWORD n) { return GetPrivateProfileSectionA("Longer name", b, n, "C:\\edges.inf"); },
       std::string("ab=1\0c=2\0ab=3\0line\0", 19)},
      {"400 names of 42 characters",
       [](char* b, DWORD n) { return GetPrivateProfileStringA(nullptr, nullptr, "", b, n, "C:\\many.inf"); }, manyNames},
      {"no sections", [](char* b, DWORD n) { return GetPrivateProfileSectionNamesA(b, n, "C:\\empty.inf"); }, ""},
      {"no file", [](char* b, DWORD n) { return GetPrivateProfileSectionNamesA(b, n, "C:\\none.inf"); }, ""},
      {"section without keys",
       [](char* b, DWORD n) { return GetPrivateProfileStringA("S", nullptr, "", b, n, "C:\\edges.inf"); }, ""},
      {"no section", [](char* b, DWORD n) { return GetPrivateProfileSectionA("None", b, n, "C:\\edges.inf"); }, ""},
  };
  const size_t guard = 16;
  for (const Case& c : cases) {
    for (DWORD size : EdgeSizes(c.list)) {
      std::vector<char> buffer(size + guard, '\x7F');
      DWORD expectedN;
      const std::string expected = ExpectedList(c.list, size, expectedN);
      const DWORD n = c.read(buffer.data(), size);
      EXPECT_EQ(n, expectedN) << c.what << ", buffer of " << size;
      EXPECT_EQ(std::string(buffer.data(), expected.size()), expected) << c.what << ", buffer of " << size;
      EXPECT_EQ(std::string(buffer.data() + size, guard), std::string(guard, '\x7F'))
          << c.what << ": written past a buffer of " << size;
    }
  }
}

TEST_F(Profile, StringsInEveryBufferSizeAreCutAndNeverOverrun) {
  Put(C("value.inf"), "[A]\r\nk=abcdef\r\n");
  for (const char* key : {"k", "missing"}) {
    for (DWORD size = 0; size <= 9; ++size) {
      char buffer[9 + 16];
      memset(buffer, 0x7F, sizeof buffer);
      const DWORD n = GetPrivateProfileStringA("A", key, "abcdef", buffer, size, "C:\\value.inf");
      const DWORD expectedN = size == 0 ? 0 : std::min<DWORD>(6, size - 1);
      EXPECT_EQ(n, expectedN) << key << ", buffer of " << size;
      if (size > 0) {
        EXPECT_EQ(std::string(buffer, n + 1), std::string("abcdef", n) + '\0') << key << ", buffer of " << size;
      }
      EXPECT_EQ(std::string(buffer + size, 16), std::string(16, '\x7F')) << key << ": written past a buffer of " << size;
    }
  }
}

// A walk over a list reads its names, then a few values of every section.
TEST_F(Profile, AWalkParsesTheFileOnce) {
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += "[FILE_" + std::to_string(i) + "]\r\nCAB=" + std::to_string(i) + ".cab\r\nONLYEXISTS=1\r\n";
  Put(C("walk.inf"), text);
  const unsigned long before = winplat::ProfileTextsParsed();
  std::vector<char> names(1 << 16);
  DWORD n = GetPrivateProfileSectionNamesA(names.data(), DWORD(names.size()), "C:\\walk.inf");
  int sections = 0;
  for (DWORD i = 0; i < n; i += DWORD(strlen(&names[i])) + 1, ++sections) {
    const char* section = &names[i];
    EXPECT_EQ(Read(section, "CAB", "", "C:\\walk.inf"), std::to_string(sections) + ".cab");
    EXPECT_EQ(Read(section, "COMMAND", "", "C:\\walk.inf"), "");
    EXPECT_EQ(GetPrivateProfileIntA(section, "ONLYEXISTS", 0, "C:\\walk.inf"), 1u);
    char keys[64];
    EXPECT_EQ(GetPrivateProfileStringA(section, nullptr, "", keys, sizeof keys, "C:\\walk.inf"), 15u);
  }
  EXPECT_EQ(sections, 300);
  EXPECT_EQ(winplat::ProfileTextsParsed() - before, 1u);
}

// Every kind of change shows at the next reading, and the new version is parsed once: on a file
// changed a moment ago (whose change time a second change may keep) and on one that has
// settled (changed longer ago than the coarsest grain of change times, two seconds).
TEST_F(Profile, EveryChangeIsSeenAndEachVersionParsedOnce) {
  const std::string base = "[A]\r\nk=old1\r\n";
  struct Change {
    const char* what;
    std::function<void(const std::string& unixPath, const std::string& dosPath)> apply;
    const char* key;
    const char* value;
    unsigned long parses;  // of the new version
  } changes[] = {
      {"written through the profile functions",
       [](const std::string&, const std::string& dos) {
         ASSERT_TRUE(WritePrivateProfileStringA("A", "k", "new2", dos.c_str()));
       },
       "k", "new2", 1},
      {"rewritten in place by another process, same size",
       [](const std::string& unix, const std::string&) { WriteInPlace(unix, "[A]\r\nk=new1\r\n", 0); }, "k", "new1",
       1},
      {"a key appended by another process",
       [](const std::string& unix, const std::string&) { WriteInPlace(unix, "j=2\r\n", O_APPEND); }, "j", "2", 1},
      {"emptied by another process", [](const std::string& unix, const std::string&) { WriteInPlace(unix, "", O_TRUNC); },
       "k", "def", 1},
      {"replaced by another file",
       [](const std::string& unix, const std::string&) {
         Put(unix + ".new", "[A]\r\nk=renamed\r\n");
         ASSERT_EQ(rename((unix + ".new").c_str(), unix.c_str()), 0);
       },
       "k", "renamed", 1},
      {"deleted", [](const std::string& unix, const std::string&) { ASSERT_EQ(unlink(unix.c_str()), 0); }, "k", "def", 0},
  };
  for (bool settled : {false, true}) {
    SCOPED_TRACE(settled ? "settled file" : "fresh file");
    std::vector<std::string> dos;
    timespec newest{};
    for (size_t i = 0; i < std::size(changes); ++i) {
      const std::string name = "changed" + std::to_string(i) + ".ini";
      Put(C(name), base);
      dos.push_back("C:\\" + name);
      struct stat st;
      ASSERT_EQ(stat(C(name).c_str(), &st), 0);
      if (st.st_ctim.tv_sec > newest.tv_sec || (st.st_ctim.tv_sec == newest.tv_sec && st.st_ctim.tv_nsec > newest.tv_nsec))
        newest = st.st_ctim;
    }
    if (settled) {
      // Until the clock is past the newest change time by more than the grain.
      timespec until{newest.tv_sec + 2, newest.tv_nsec + 1000};
      if (until.tv_nsec >= 1000000000) until.tv_sec += 1, until.tv_nsec -= 1000000000;
      while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr) == EINTR) {
      }
    }
    unsigned long parsed = winplat::ProfileTextsParsed();
    for (size_t i = 0; i < std::size(changes); ++i)
      for (int round = 0; round < 3; ++round) EXPECT_EQ(Read("A", "k", "def", dos[i].c_str()), "old1");
    EXPECT_EQ(winplat::ProfileTextsParsed() - parsed, std::size(changes)) << "each file parsed once";
    for (size_t i = 0; i < std::size(changes); ++i) {
      const Change& c = changes[i];
      c.apply(C("changed" + std::to_string(i) + ".ini"), dos[i]);
      parsed = winplat::ProfileTextsParsed();
      for (int round = 0; round < 3; ++round) EXPECT_EQ(Read("A", c.key, "def", dos[i].c_str()), c.value) << c.what;
      EXPECT_EQ(winplat::ProfileTextsParsed() - parsed, c.parses) << c.what;
    }
  }
}

}  // namespace
