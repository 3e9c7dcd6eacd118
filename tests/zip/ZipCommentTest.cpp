// Rewriting the archive comment in place: the end record's length, the comment bytes and the
// file's end change, nothing else; requests while inactive wait for activation.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "ZipTestFiles.h"

using namespace ziptest;
using ztest::ZipWriter;

namespace {

class CommentTest : public ::testing::Test {
 protected:
  ZipTestDrives drives;
  TComponent owner{nullptr};
  TZBWorker w{&owner};
  std::vector<Message> messages;
  std::string path;

  void SetUp() override {
    w.Active = true;
    w.Unattended = true;
    RecordMessages(w.Events(), messages);
    path = drives.Fixed("c.zip");
  }
  std::string Write(const std::string& comment, const std::string& tail = "") {
    ZipWriter z;
    z.AddFile("a.txt", "alpha");
    z.SetComment(comment);
    const std::string bytes = z.Build() + tail;
    WriteBytes(path, bytes);
    w.ZipFileName = "T:\\c.zip";
    return bytes;
  }
  // The comment as a fresh read finds it.
  std::string ReadBack() {
    TComponent o(nullptr);
    TZBWorker r(&o);
    r.Active = true;
    r.Unattended = true;
    r.ZipFileName = "T:\\c.zip";
    EXPECT_EQ(r.List(), 0);
    EXPECT_EQ(r.ZipContents.size(), 1u);
    return r.RawComment.str();
  }
};

TEST_F(CommentTest, NewCommentReplacesTheOldOne) {
  struct Case {
    const char* what;
    std::string before, tail, after;
  };
  const Case cases[] = {
      {"longer", "old", "", "a much longer comment than before"},
      {"shorter, bytes after the old one go", "a long old comment", std::string(50, '\0'), "new"},
      {"empty", "old comment", "", ""},
      {"Korean", "", "", "지도 업데이트 2026"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    const std::string before = Write(c.before, c.tail);
    const size_t eocPos = before.size() - c.tail.size() - c.before.size() - 22;
    w.WriteZipComment(c.after.c_str());
    EXPECT_TRUE(messages.empty()) << Dump(messages);
    const std::string after = ReadBytes(path);
    EXPECT_EQ(after.size(), eocPos + 22 + c.after.size());
    EXPECT_EQ(after.substr(0, eocPos + 20), before.substr(0, eocPos + 20));
    EXPECT_EQ(Get16(after, eocPos + 20), c.after.size());
    EXPECT_EQ(after.substr(eocPos + 22), c.after);
    EXPECT_EQ(w.ZipComment.str(), c.after);
    EXPECT_EQ(ReadBack(), c.after);
  }
}

TEST_F(CommentTest, SameCommentLeavesTheFileAlone) {
  const std::string before = Write("same");
  struct utimbuf times = {1600000000, 1600000000};
  utime(path.c_str(), &times);
  w.WriteZipComment("same");
  EXPECT_EQ(ReadBytes(path), before);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);
}

TEST_F(CommentTest, TooLongCommentIsRefused) {
  const std::string before = Write("old");
  w.WriteZipComment(std::string(65536, 'x').c_str());
  EXPECT_EQ(w.ErrCode, 11030);
  ASSERT_TRUE(HasCode(messages, 11030));
  EXPECT_NE(messages.back().text.find("65535"), std::string::npos);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_TRUE(w.ZipComment.IsEmpty());

  // The longest that fits is written whole.
  messages.clear();
  w.WriteZipComment(std::string(65535, 'y').c_str());
  EXPECT_TRUE(messages.empty()) << Dump(messages);
  EXPECT_EQ(ReadBack(), std::string(65535, 'y'));
}

// An archive just under 4 GiB (sparse, only its end record written) cannot grow past the limit.
TEST_F(CommentTest, CommentThatWouldPassFourGiBIsRefused) {
  const long long size = (4LL << 30) - 100;
  WriteBytes(path, "");
  ASSERT_EQ(truncate(path.c_str(), size - 22), 0);
  ZipWriter z;
  const std::string eoc = z.Build();
  ASSERT_EQ(eoc.size(), 22u);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(eoc.data(), 22);
  }
  w.ZipFileName = "T:\\c.zip";
  w.WriteZipComment(std::string(100, 'x').c_str());
  EXPECT_EQ(w.ErrCode, 10205);
  ASSERT_TRUE(HasCode(messages, 10205)) << Dump(messages);
  EXPECT_EQ(messages.back().text, "File larger than 4GB");
  EXPECT_TRUE(w.ZipComment.IsEmpty());
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, size);
  EXPECT_EQ(w.FileHandle, -1);
}

size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

// The write of the comment fails once the archive is open for writing (the file may not grow),
// and the message handler raises: the archive is closed all the same.
TEST_F(CommentTest, AHandlerThatRaisesOnAFailedWriteLeavesNoOpenFile) {
  const std::string before = Write("old");
  w.Events()->OnMessage = [](TObject*, int, const AnsiString&) { throw Exception("message box gone"); };
  const size_t open = OpenDescriptors();
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = before.size();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  EXPECT_THROW(w.WriteZipComment("a comment longer than the old one"), Exception);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldSignal);
  EXPECT_EQ(w.FileHandle, -1);
  EXPECT_EQ(OpenDescriptors(), open);
}

TEST_F(CommentTest, NoArchiveName) {
  w.ZipFileName = "";
  w.WriteZipComment("x");
  EXPECT_EQ(w.ErrCode, 10102);
  EXPECT_TRUE(w.ZipComment.IsEmpty());
  EXPECT_EQ(w.FileHandle, -1);
}

TEST_F(CommentTest, MissingArchiveWritesNothing) {
  w.ZipFileName = "T:\\none.zip";
  w.WriteZipComment("x");
  EXPECT_TRUE(messages.empty()) << Dump(messages);
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("none.zip")));
}

TEST_F(CommentTest, RequestWhileInactiveWaitsForActivation) {
  const std::string before = Write("old");
  w.Active = false;
  // The name is set meanwhile, so a directory read waits too.
  w.List();
  w.WriteZipComment("pending");
  EXPECT_TRUE(w.PendingOps.Contains(zpoCommentWrite));
  EXPECT_EQ(ReadBytes(path), before);
  w.SetActive(true);
  EXPECT_TRUE(w.PendingOps.Empty());
  EXPECT_EQ(ReadBack(), "pending");
}

TEST_F(CommentTest, LastPartOfNumberedSet) {
  ZipWriter z;
  z.SetSplit(65536);
  z.AddFile("big.bin", Noise(100000, 3), 0);
  z.SetComment("set");
  const std::vector<std::string> parts = z.BuildParts();
  ASSERT_EQ(parts.size(), 2u);
  WriteBytes(drives.Fixed("MAP001.ZIP"), parts[0]);
  WriteBytes(drives.Fixed("MAP002.ZIP"), parts[1]);
  w.ZipFileName = "T:\\MAP002.ZIP";
  w.WriteZipComment("changed");
  EXPECT_TRUE(messages.empty()) << Dump(messages);
  EXPECT_EQ(ReadBytes(drives.Fixed("MAP001.ZIP")), parts[0]);
  const std::string last = ReadBytes(drives.Fixed("MAP002.ZIP"));
  EXPECT_EQ(last.substr(last.size() - 7), "changed");
  EXPECT_EQ(last.size(), parts[1].size() - 3 + 7);
}

}  // namespace
