// File and path functions: separators, double-byte names, folders and deleting files.
#include <gtest/gtest.h>

#include <fstream>

#include "ZBUtils.h"
#include "ZipTestDrives.h"
#include "windows.h"

namespace {

struct PathCase {
  const char* path;
  bool add;
  const char* expected;
};

TEST(ZBUtils, DelimitPath) {
  const PathCase cases[] = {
      {"C:\\Temp", true, "C:\\Temp\\"},
      {"a/b", true, "a/b/"},
      {"C:\\Temp\\", false, "C:\\Temp"},
      {"C:\\Temp\\", true, "C:\\Temp\\"},
      {"C:\\Temp", false, "C:\\Temp"},
      {"", true, "\\"},
      {"", false, ""},
      {"x", true, "x\\"},            // no separator in the path: a backslash
      {"a/b\\c", true, "a/b\\c\\"},  // the last separator seen is used
      {"a\\b/c", true, "a\\b/c/"},
      {"dir/", false, "dir"},
      // A double-byte character whose second byte is a backslash does not end the path.
      {"dir\\\x81\x5C", true, "dir\\\x81\x5C\\"},
      {"dir\\\x81\x5C", false, "dir\\\x81\x5C"},
      {"\xB0\xA1/", false, "\xB0\xA1"},
  };
  for (const PathCase& c : cases) EXPECT_EQ(DelimitPath(c.path, c.add).str(), c.expected) << c.path << " " << c.add;
}

TEST(ZBUtils, PathConcat) {
  struct Case {
    const char* path;
    const char* name;
    const char* expected;
  };
  const Case cases[] = {
      {"C:", "x.dll", "C:x.dll"},
      {"dir\\", "\\x", "dir\\x"},
      {"dir", "x", "dir\\x"},
      {"dir\\", "x", "dir\\x"},
      {"dir", "\\x", "dir\\x"},
      {"", "x", "x"},
      {"dir", "", "dir"},
      {"dir/", "x", "dir/\\x"},  // only the backslash counts here
  };
  for (const Case& c : cases) EXPECT_EQ(PathConcat(c.path, c.name).str(), c.expected) << c.path << " + " << c.name;
}

TEST(ZBUtils, SetSlash) {
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"a/b/c.txt", "a\\b\\c.txt"},
      {"", ""},
      {"\\\\already", "\\\\already"},
      {"a/\x81/b", "a\\\x81/b"},  // the byte after a lead byte is never changed
      {"\xB0\xA1/\xB0\xA2", "\xB0\xA1\\\xB0\xA2"},
  };
  for (const Case& c : cases) EXPECT_EQ(SetSlash(c.path).str(), c.expected) << c.path;
}

TEST(ZBUtils, CloseFileHandle) {
  ZipTestDrives drives;
  std::ofstream(drives.Fixed("f.bin")) << "x";
  int h = FileOpen("T:\\f.bin", fmOpenRead);
  ASSERT_NE(h, -1);
  CloseFileHandle(h);
  EXPECT_EQ(h, -1);
  CloseFileHandle(h);  // already free: nothing happens
  EXPECT_EQ(h, -1);
}

TEST(ZBUtils, DirExists) {
  ZipTestDrives drives;
  std::filesystem::create_directories(drives.Fixed("sub"));
  std::ofstream(drives.Fixed("file.txt")) << "x";
  EXPECT_TRUE(DirExists(""));
  EXPECT_TRUE(DirExists("T:\\sub"));
  EXPECT_TRUE(DirExists("T:\\SUB"));  // names resolve ignoring case
  EXPECT_FALSE(DirExists("T:\\file.txt"));
  EXPECT_FALSE(DirExists("T:\\missing"));
}

TEST(ZBUtils, ForceDirectoryCreatesEveryMissingParent) {
  ZipTestDrives drives;
  std::filesystem::create_directories(drives.Fixed("a"));
  EXPECT_TRUE(ForceDirectory("T:\\a\\b\\c\\"));
  EXPECT_TRUE(std::filesystem::is_directory(drives.Fixed("a/b/c")));
  EXPECT_TRUE(ForceDirectory("T:\\a\\b\\c"));  // already there
  EXPECT_TRUE(ForceDirectory(""));
  EXPECT_TRUE(ForceDirectory("T:"));
  EXPECT_TRUE(ForceDirectory("T:\\"));
}

TEST(ZBUtils, ForceDirectoryStopsAtAParentItCannotCreate) {
  ZipTestDrives drives;
  std::ofstream(drives.Fixed("file.txt")) << "x";
  EXPECT_FALSE(ForceDirectory("T:\\file.txt\\sub\\deeper"));
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("file.txt/sub")));
  EXPECT_FALSE(ForceDirectory("Q:\\nowhere"));  // no such drive
}

TEST(ZBUtils, EraseFile) {
  ZipTestDrives drives;
  std::filesystem::create_directories(drives.Fixed("work"));
  std::ofstream(drives.Fixed("work/bare.txt")) << "x";
  std::ofstream(drives.Fixed("final.txt")) << "x";
  ASSERT_TRUE(SetCurrentDirectoryA("T:\\work"));
  EXPECT_EQ(EraseFile("bare.txt", htdFinal), 0);  // a bare name is taken from the current folder
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("work/bare.txt")));
  EXPECT_EQ(EraseFile("T:\\final.txt", htdFinal), 0);
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("final.txt")));
  EXPECT_EQ(EraseFile("T:\\missing.txt", htdFinal), -1);

  // With undo the file goes to the trash of the (temporary) data folder.
  const std::string data = drives.Fixed("data");
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  std::ofstream(drives.Fixed("undo.txt")) << "keep me";
  EXPECT_EQ(EraseFile("T:\\undo.txt", htdAllowUndo), 0);
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("undo.txt")));
  EXPECT_TRUE(std::filesystem::exists(data + "/Trash/files/undo.txt"));
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(EraseFile("missing.txt", htdAllowUndo), -1);
  SetCurrentDirectoryA("C:\\");
}

}  // namespace
