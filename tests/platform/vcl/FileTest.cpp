// Streams and file functions over the DOS path layer: open modes and share modes, the
// library's error texts, memory streams, string-list files, folders, dates and searches.
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Classes.h"
#include "VclDrive.h"

namespace {

using Files = VclDrive;

TEST_F(Files, FileStreamCreateTruncatesAndOpenModesLimitAccess) {
  Put(C("a.bin"), "old content");
  {
    TFileStream f("C:\\a.bin", fmCreate);
    EXPECT_EQ(f.Size(), 0) << "fmCreate truncates";
    f.WriteBuffer("hello", 5);
  }
  EXPECT_EQ(Get(C("a.bin")), "hello");
  {
    TFileStream f("C:\\A.BIN", fmOpenRead);  // names resolve without case
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5);
    EXPECT_STREQ(buf, "hello");
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);
    f.SetPosition(1);
    EXPECT_THROW(f.ReadBuffer(buf, 5), EReadError) << "only 4 bytes are left";
  }
  {
    TFileStream f("C:\\a.bin", fmOpenReadWrite);
    f.Seek(0, soFromEnd);
    f.WriteBuffer(" you", 4);
    EXPECT_EQ(f.Position(), 9);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(Get(C("a.bin")), "hell");
  {
    TFileStream f("C:\\a.bin", fmOpenWrite);
    char c;
    EXPECT_EQ(f.Read(&c, 1), 0) << "a write-only stream reads nothing";
  }
}

TEST_F(Files, FileStreamErrorsCarryTheLibraryTexts) {
  try {
    TFileStream f("C:\\missing.txt", fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_STREQ(e.what(), "Cannot open file C:\\missing.txt");
  }
  try {
    TFileStream f("C:\\no\\such\\dir\\x.txt", fmCreate);
    FAIL() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_STREQ(e.what(), "Cannot create file C:\\no\\such\\dir\\x.txt");
  }
  EXPECT_THROW(TFileStream("Q:\\x.txt", fmCreate), EStreamError) << "unknown drive";
}

struct ShareCase {
  unsigned first, second;
  bool secondOpens;
};

TEST_F(Files, ShareModesDecideWhetherASecondOpenSucceeds) {
  const ShareCase cases[] = {
      {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenWrite | fmShareDenyNone, false},
      {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyNone, false},
      {fmOpenReadWrite | fmShareDenyRead, fmOpenRead | fmShareDenyNone, false},
      {fmOpenReadWrite | fmShareDenyRead, fmOpenWrite | fmShareDenyNone, true},
      {fmOpenRead | fmShareDenyNone, fmOpenRead | fmShareDenyWrite, true},
      {fmOpenWrite | fmShareDenyNone, fmOpenRead | fmShareDenyWrite, false},  // the first already writes
  };
  Put(C("shared.txt"), "x");
  for (const ShareCase& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.first << " then " << c.second);
    TFileStream first("C:\\shared.txt", c.first);
    int h = FileOpen("C:\\shared.txt", c.second);
    EXPECT_EQ(h >= 0, c.secondOpens);
    if (h >= 0) FileClose(h);
  }
}

TEST_F(Files, HandleFunctions) {
  int h = FileCreate("C:\\h.bin");
  ASSERT_GE(h, 0);
  EXPECT_EQ(FileWrite(h, "0123456789", 10), 10);
  EXPECT_EQ(FileSeek(h, 4, soFromBeginning), 4);
  char buf[4];
  EXPECT_EQ(FileRead(h, buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "4567");
  EXPECT_EQ(FileSeek(h, -1, soFromEnd), 9);
  FileClose(h);
  EXPECT_EQ(FileRead(h, buf, 1), -1) << "a closed handle";
  FileClose(h);  // closing twice is harmless
  EXPECT_EQ(FileOpen("C:\\none", fmOpenRead), -1);
  EXPECT_EQ(FileRead(-1, buf, 1), -1);
}

// A memory stream that shows memory it does not own.
struct ViewStream : TMemoryStream {
  using TCustomMemoryStream::SetPointer;
};

TEST_F(Files, MemoryStreamGrowsSavesLoadsAndCopies) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(10);
  m.WriteBuffer("z", 1);
  EXPECT_EQ(m.Size(), 11) << "writing past the end fills the gap";
  EXPECT_EQ(static_cast<char*>(m.Memory())[5], 0);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
  m.SaveToFile("C:\\m.bin");
  EXPECT_EQ(Get(C("m.bin")), "ab");

  Put(C("big.bin"), std::string(100000, 'q') + "end");
  TMemoryStream loaded;
  loaded.LoadFromFile("C:\\big.bin");
  EXPECT_EQ(loaded.Size(), 100003);
  EXPECT_EQ(loaded.Position(), 0);
  TMemoryStream copy;
  copy.CopyFrom(&loaded, 0);
  EXPECT_EQ(std::string(static_cast<char*>(copy.Memory()) + 100000, 3), "end");
  loaded.SetPosition(99999);
  TMemoryStream part;
  EXPECT_THROW(part.CopyFrom(&loaded, 10), EReadError);
  EXPECT_THROW(loaded.LoadFromFile("C:\\none.bin"), EFOpenError);

  char outside[4] = {'w', 'x', 'y', 'z'};
  ViewStream view;
  view.SetPointer(outside, 4);
  view.WriteBuffer("W", 1);
  EXPECT_EQ(outside[0], 'W') << "inside its size the memory is written in place";
  view.Seek(0, soFromEnd);
  view.WriteBuffer("!", 1);
  EXPECT_EQ(std::string(static_cast<char*>(view.Memory()), 5), "Wxyz!");
  EXPECT_NE(view.Memory(), static_cast<void*>(outside)) << "growing copies, never reallocates foreign memory";
}

TEST_F(Files, ResourceStreamShowsAResourceOfTheProgram) {
  const std::string expected("resource bytes\0\1\xff", 17);
  for (int byNumber = 0; byNumber < 2; ++byNumber) {
    auto stream = byNumber ? std::make_unique<TResourceStream>(nullptr, 101, "VCL_TEST")
                           : std::make_unique<TResourceStream>(nullptr, "SAMPLE", RT_RCDATA);
    ASSERT_EQ(stream->Size(), 17);
    std::string bytes(17, '\0');
    stream->ReadBuffer(bytes.data(), 17);
    EXPECT_EQ(bytes, expected);
    EXPECT_THROW(stream->Write("x", 1), EStreamError) << "read-only";
    TMemoryStream copy;
    copy.CopyFrom(stream.get(), 0);
    EXPECT_EQ(copy.Size(), 17);
  }
}

TEST_F(Files, ResourceStreamMissingRaisesResNotFound) {
  EXPECT_THROW(TResourceStream(nullptr, "NO_SUCH_RESOURCE", RT_RCDATA), EResNotFound);
  try {
    TResourceStream s(nullptr, 4242, "QuorvexWU_ER_NONE");
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_STREQ(e.what(), "Resource #4242 not found");
  }
}

TEST_F(Files, StringListFilesKeepLinesAndBytes) {
  TStringList list;
  list.Add("\xC7\xD1\xB1\xDB=1");
  list.Add("");
  list.Add("last");
  list.SaveToFile("C:\\list.txt");
  EXPECT_EQ(Get(C("list.txt")), "\xC7\xD1\xB1\xDB=1\r\n\r\nlast\r\n");
  Put(C("unix.txt"), "a\nb");
  TStringList back;
  back.LoadFromFile("C:\\unix.txt");
  EXPECT_EQ(back.Count(), 2);
  EXPECT_EQ(back[1], "b");
  EXPECT_THROW(back.LoadFromFile("C:\\none.txt"), EFOpenError);
  EXPECT_EQ(back.Count(), 2) << "a failed load changes nothing";
}

TEST_F(Files, FoldersCurrentDirectoryAndExpansion) {
  const char* deep = "C:\\\xB3\xD7\xBA\xF1\\sub\\leaf\\";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists("C:\\\xB3\xD7\xBA\xF1\\SUB\\leaf"));
  EXPECT_TRUE(ForceDirectories(deep)) << "an existing folder is fine";
  EXPECT_TRUE(ForceDirectories("rel"));
  EXPECT_TRUE(DirectoryExists("C:\\rel")) << "a short relative name is really made";
  EXPECT_TRUE(ForceDirectories("C:\\"));
  EXPECT_FALSE(ForceDirectories("Q:\\x")) << "no such drive";
  EXPECT_THROW(ForceDirectories(""), EInOutError);
  Put(C("file"), "x");
  EXPECT_FALSE(ForceDirectories("C:\\file\\below"));

  EXPECT_FALSE(CreateDir("C:\\rel"));
  EXPECT_TRUE(CreateDir("C:\\rel\\two"));
  EXPECT_TRUE(RemoveDir("C:\\rel\\two"));
  EXPECT_TRUE(FileExists("C:\\FILE"));
  EXPECT_FALSE(FileExists("C:\\rel"));
  EXPECT_FALSE(DirectoryExists("C:\\file"));
  EXPECT_TRUE(RenameFile("C:\\file", "C:\\rel\\moved"));
  EXPECT_TRUE(DeleteFile("C:\\rel\\moved"));
  EXPECT_FALSE(DeleteFile("C:\\rel\\moved"));

  EXPECT_TRUE(SetCurrentDir("C:\\rel"));
  EXPECT_EQ(GetCurrentDir(), "C:\\rel");
  EXPECT_EQ(ExpandFileName("a\\..\\b.txt"), "C:\\rel\\b.txt");
  EXPECT_EQ(ExpandFileName("\\x"), "C:\\x");
  EXPECT_FALSE(SetCurrentDir("C:\\none"));
  EXPECT_EQ(GetCurrentDir(), "C:\\rel");
}

TEST_F(Files, DiskFreeByDriveNumber) {
  EXPECT_GT(DiskFree(3), 0) << "C:";
  EXPECT_GT(DiskFree(0), 0) << "the current drive";
  EXPECT_GE(DiskSize(3), DiskFree(3));
  EXPECT_EQ(DiskFree(4), -1) << "D: is not in the table";
}

TEST_F(Files, FileDatesRoundTrip) {
  Put(C("dated.txt"), "x");
  EXPECT_EQ(FileAge("C:\\missing"), -1);
  EXPECT_EQ(FileAge("C:\\"), -1) << "a folder has no file age";
  const int age = int(((2020 - 1980) << 25) | (7 << 21) | (15 << 16) | (8 << 11) | (30 << 5) | 10);
  EXPECT_EQ(FileSetDate("C:\\dated.txt", age), 0);
  EXPECT_EQ(FileAge("C:\\dated.txt"), age);
  int h = FileOpen("C:\\dated.txt", fmOpenRead);
  EXPECT_EQ(FileGetDate(h), age);
  FileClose(h);
  EXPECT_NE(FileSetDate("C:\\missing", age), 0);
  EXPECT_EQ(FileSizeOf("C:\\dated.txt"), 1);
}

TEST_F(Files, FindFirstMatchesPatternsWithoutCaseAndSkipsFoldersUnlessAsked) {
  Put(C("find/A.zip"), "12");
  Put(C("find/b.ZIP"), "1");
  Put(C("find/c.txt"), "");
  ForceDirectories("C:\\find\\sub.zip");
  auto names = [](const char* pattern, int attr) {
    std::set<std::string> out;
    TSearchRec rec;
    for (int rc = FindFirst(pattern, attr, rec); rc == 0; rc = FindNext(rec)) out.insert(rec.Name.str());
    FindClose(rec);
    return out;
  };
  EXPECT_EQ(names("C:\\find\\*.zip", faAnyFile & ~faDirectory), (std::set<std::string>{"A.zip", "b.ZIP"}));
  std::set<std::string> all = names("C:\\find\\*.zip", faAnyFile);
  EXPECT_TRUE(all.count("sub.zip"));
  EXPECT_TRUE(names("C:\\find\\*.doc", faAnyFile).empty());
  TSearchRec rec;
  ASSERT_EQ(FindFirst("C:\\find\\a.zip", faAnyFile, rec), 0);
  EXPECT_EQ(rec.Size, 2);
  EXPECT_EQ(rec.Attr & faDirectory, 0);
  EXPECT_NE(FindNext(rec), 0);
  FindClose(rec);
  EXPECT_NE(FindNext(rec), 0) << "after FindClose";
}

}  // namespace
