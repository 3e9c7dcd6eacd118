// File-name functions on DOS paths with Korean names. A byte after a lead byte belongs to its
// character, so "\x81\x5C" (lead byte, then the code of "\") is no separator.
#include <gtest/gtest.h>

#include <string>

#include "SysUtils.h"

namespace {

struct NameCase {
  std::string path, fileName, filePath, fileDir, drive, ext;
};

TEST(FileName, SplitsPathsByCharacters) {
  const NameCase cases[] = {
      {"C:\\Data\\file.txt", "file.txt", "C:\\Data\\", "C:\\Data", "C:", ".txt"},
      {"C:\\file", "file", "C:\\", "C:\\", "C:", ""},
      {"C:file.zip", "file.zip", "C:", "C:", "C:", ".zip"},
      {"file.tar.gz", "file.tar.gz", "", "", "", ".gz"},
      {"C:\\dir.v2\\name", "name", "C:\\dir.v2\\", "C:\\dir.v2", "C:", ""},
      {"C:\\dir\\", "", "C:\\dir\\", "C:\\dir", "C:", ""},
      {"\\\\server\\share\\dir\\a.txt", "a.txt", "\\\\server\\share\\dir\\", "\\\\server\\share\\dir",
       "\\\\server\\share", ".txt"},
      {"", "", "", "", "", ""},
      {"C:\\\xB3\xD7\xBA\xF1\\\xC1\xF6\xB5\xB5.ZIP", "\xC1\xF6\xB5\xB5.ZIP", "C:\\\xB3\xD7\xBA\xF1\\",
       "C:\\\xB3\xD7\xBA\xF1", "C:", ".ZIP"},
      {"D:\\\x81\x5C\\a\x81\x5C", "a\x81\x5C", "D:\\\x81\x5C\\", "D:\\\x81\x5C", "D:", ""},
      {"\x81\x5C" "b.txt", "\x81\x5C" "b.txt", "", "", "", ".txt"},
      {"C:\\x\x81.", "x\x81.", "C:\\", "C:\\", "C:", ""},  // "." is the trail of the lead byte
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFileName(c.path), c.fileName);
    EXPECT_EQ(ExtractFilePath(c.path), c.filePath);
    EXPECT_EQ(ExtractFileDir(c.path), c.fileDir);
    EXPECT_EQ(ExtractFileDrive(c.path), c.drive);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
  }
}

TEST(FileName, ChangeFileExtAndTrailingBackslash) {
  struct Case {
    std::string path, ext, result;
  } cases[] = {
      {"a.zip", ".tmp", "a.tmp"},
      {"C:\\d.x\\a", ".zip", "C:\\d.x\\a.zip"},
      {"C:\\d\\a.b.c", "", "C:\\d\\a.b"},
      {"\xC1\xF6\xB5\xB5.ZIP", ".001", "\xC1\xF6\xB5\xB5.001"},
      {"a\x81.", ".txt", "a\x81..txt"},
  };
  for (const Case& c : cases) EXPECT_EQ(ChangeFileExt(c.path, c.ext), c.result) << c.path;

  EXPECT_EQ(IncludeTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\a\\"), "C:\\a\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\\x81\x5C"), "C:\\\x81\x5C\\");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\a\\"), "C:\\a");
  EXPECT_EQ(ExcludeTrailingBackslash("C:\\\x81\x5C"), "C:\\\x81\x5C");
  EXPECT_EQ(LastDelimiter("\\", "a\\\x81\x5C"), 2);
}

}  // namespace
