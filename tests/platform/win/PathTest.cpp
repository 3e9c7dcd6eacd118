// DOS paths over the drive table: mapping both ways, the current folder and full path names.
#include "TempDrives.h"

namespace {

class DosPaths : public TempDrives {
 protected:
  void SetUp() override {
    TempDrives::SetUp();
    Put(C("Dir/File.TXT"), "x");
    Put(C("Both/AB.txt"), "upper");
    Put(C("Both/ab.txt"), "lower");
    Put(C("\xED\x95\x9C\xEA\xB8\x80/\xED\x8C\x8C\xEC\x9D\xBC.txt"), "k");  // 한글/파일.txt in UTF-8
    Put(Usb("Maps/a.bin"), "m");
  }
};

TEST_F(DosPaths, DosToUnixResolvesLikeWindows) {
  struct Case {
    const char* dos;
    std::string unixRest;  // below the C: folder, or a marker
  } cases[] = {
      {"C:\\Dir\\File.TXT", "Dir/File.TXT"},
      {"c:\\dir\\file.txt", "Dir/File.TXT"},
      {"C:/Dir/file.txt", "Dir/File.TXT"},
      {"C:\\\\Dir\\\\\\file.txt", "Dir/File.TXT"},
      {"C:\\Dir\\.\\..\\DIR\\file.txt", "Dir/File.TXT"},
      {"C:\\..\\..\\Dir\\File.TXT", "Dir/File.TXT"},
      {"\\dir\\file.txt", "Dir/File.TXT"},
      {"dir\\file.txt", "Dir/File.TXT"},
      {"C:dir\\file.txt", "Dir/File.TXT"},
      {"C:\\Dir\\", "Dir"},
      {"C:\\", ""},
      {"C:", ""},
      {"C:\\dir\\New.Txt", "Dir/New.Txt"},               // new names keep the case as written
      {"C:\\Missing\\SUB\\x.txt", "Missing/SUB/x.txt"},  // nothing below a missing folder matches
      {"C:\\Both\\AB.txt", "Both/AB.txt"},               // an exact match wins
      {"C:\\Both\\ab.txt", "Both/ab.txt"},
      {"C:\\Both\\Ab.TXT", "Both/AB.txt"},  // else the first name in byte order
      {"C:\\\xC7\xD1\xB1\xDB\\\xC6\xC4\xC0\xCF.TXT", "\xED\x95\x9C\xEA\xB8\x80/\xED\x8C\x8C\xEC\x9D\xBC.txt"},
  };
  for (const Case& c : cases) {
    std::string expected = c.unixRest.empty() ? C() : C(c.unixRest);
    EXPECT_EQ(winplat::DosToUnix(c.dos), expected) << c.dos;
  }
  EXPECT_EQ(winplat::DosToUnix("e:\\maps\\A.BIN"), Usb("Maps/a.bin"));
  EXPECT_EQ(winplat::DosToUnix("E:\\"), Usb());
  for (const char* none : {"Q:\\x", "\\\\server\\share\\x", ""}) EXPECT_EQ(winplat::DosToUnix(none), "") << none;
}

TEST_F(DosPaths, UnixToDosNamesOnlyPathsOnDrives) {
  EXPECT_EQ(winplat::UnixToDos(C("Dir/File.TXT")), "C:\\Dir\\File.TXT");
  EXPECT_EQ(winplat::UnixToDos(C()), "C:\\");
  EXPECT_EQ(winplat::UnixToDos(C("Dir/../Dir//File.TXT")), "C:\\Dir\\File.TXT");
  EXPECT_EQ(winplat::UnixToDos(Usb("Maps")), "E:\\Maps");
  EXPECT_EQ(winplat::UnixToDos(C("\xED\x95\x9C\xEA\xB8\x80")), "C:\\\xC7\xD1\xB1\xDB");
  EXPECT_EQ(winplat::UnixToDos(base_), "");
  EXPECT_EQ(winplat::UnixToDos("/etc/passwd"), "");
  EXPECT_EQ(winplat::UnixToDos(base_ + "/cc"), "") << "a folder that only starts like a drive's";
}

TEST_F(DosPaths, CurrentFolderFollowsSetCurrentDirectory) {
  char buffer[MAX_PATH];
  ASSERT_TRUE(SetCurrentDirectoryA("dir"));
  DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "C:\\Dir") << "the case of the folder on disk";
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), C("Dir"));
  EXPECT_EQ(winplat::DosToUnix("File.txt"), C("Dir/File.TXT"));
  EXPECT_EQ(winplat::DosToUnix("..\\Both\\ab.txt"), C("Both/ab.txt"));

  // Too small: the size needed, zero included.
  EXPECT_EQ(GetCurrentDirectoryA(3, buffer), 7u);

  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\NoSuchFolder"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(SetCurrentDirectoryA("C:\\Dir\\File.TXT"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(SetCurrentDirectoryA("Q:\\"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "C:\\Dir") << "a failed change keeps the folder";

  ASSERT_TRUE(SetCurrentDirectoryA("E:\\maps"));
  n = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(std::string(buffer, n), "E:\\Maps");
}

TEST_F(DosPaths, FullPathNames) {
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\Dir"));
  struct Case {
    const char* input;
    const char* full;
    const char* filePart;  // null: none
  } cases[] = {
      {"a.txt", "C:\\Dir\\a.txt", "a.txt"},
      {"..\\x\\", "C:\\x\\", nullptr},
      {"\\\\\\y\\\\z.zip", "C:\\y\\z.zip", "z.zip"},
      {"E:foo", "E:\\foo", "foo"},
      {"c:\\A\\.\\B\\..\\C", "C:\\A\\C", "C"},
      {"C:\\", "C:\\", nullptr},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH];
    LPSTR part = reinterpret_cast<LPSTR>(1);
    DWORD n = GetFullPathNameA(c.input, sizeof buffer, buffer, &part);
    EXPECT_EQ(std::string(buffer, n), c.full) << c.input;
    if (c.filePart)
      EXPECT_STREQ(part, c.filePart) << c.input;
    else
      EXPECT_EQ(part, nullptr) << c.input;
  }
  char small[4];
  EXPECT_EQ(GetFullPathNameA("a.txt", sizeof small, small, nullptr), 13u);
  EXPECT_EQ(GetFullPathNameA("", sizeof small, small, nullptr), 0u);
}

}  // namespace
