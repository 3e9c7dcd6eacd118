// The directory reader: the end record at the end or found by the backward scan, comments and
// the bytes after them, archives behind a stub, the probe, folder entries, name conversion and
// every failure of a damaged directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "ZipTestFiles.h"

using namespace ziptest;
using ztest::ZipEntrySpec;
using ztest::ZipWriter;

namespace {

class ListTest : public ::testing::Test {
 protected:
  ZipTestDrives drives;
  TComponent owner{nullptr};
  TZBWorker w{&owner};
  std::vector<Message> messages;
  int dirUpdates = 0;
  std::vector<std::pair<int, std::string>> newNames;

  void SetUp() override {
    w.Active = true;
    w.Unattended = true;
    RecordMessages(w.Events(), messages);
    w.Events()->OnDirUpdate = [this](TObject*) { ++dirUpdates; };
    w.Events()->OnNewName = [this](TObject*, int seq, const ZipDirEntry& e) {
      newNames.push_back({seq, e.FileName.str()});
    };
  }
  // Writes bytes as T:\name and lists it.
  int List(const std::string& name, const std::string& bytes) {
    WriteBytes(drives.Fixed(name), bytes);
    w.ZipFileName = ("T:\\" + name).c_str();
    return w.List();
  }
  static std::string TwoFiles() {
    ZipWriter z;
    z.AddFile("a.txt", "alpha alpha alpha");
    z.AddFile("dir/b.txt", "beta", 0);
    return z.Build();
  }
};

TEST_F(ListTest, EmptyArchiveListsNothing) {
  ZipWriter z;
  const std::string bytes = z.Build();
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(List("empty.zip", bytes), 0);
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(w.FirstDataOffset, 0u);
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_EQ(w.ZipFileName.str(), "T:\\empty.zip");
  EXPECT_EQ(w.EOCPosition, 0);
}

TEST_F(ListTest, EntriesInDirectoryOrderWithTheirHeaders) {
  const std::string bytes = TwoFiles();
  EXPECT_EQ(List("two.zip", bytes), 0) << Dump(messages);
  ASSERT_EQ(w.ZipContents.size(), 2u);
  const ZipDirEntry& a = *w.ZipContents[0];
  const ZipDirEntry& b = *w.ZipContents[1];
  // Header fields are packed: compared as values (unary plus), never bound by reference.
  EXPECT_EQ(a.FileName.str(), "a.txt");
  EXPECT_EQ(b.FileName.str(), "dir\\b.txt");
  EXPECT_EQ(+a.Method, 8);
  EXPECT_EQ(+b.Method, 0);
  EXPECT_EQ(+a.UncompressedSize, 17u);
  EXPECT_EQ(+a.CRC32, ztest::Crc32("alpha alpha alpha"));
  EXPECT_EQ(+b.FileNameLen, 9);
  EXPECT_EQ(+a.LocalHeaderOffset, 0u);
  EXPECT_GT(+b.LocalHeaderOffset, 0u);
  EXPECT_FALSE(a.Encrypted);
  EXPECT_EQ(w.FirstDataOffset, 0u);
  EXPECT_EQ(w.ArchiveSize, bytes.size());
  EXPECT_EQ(w.RealFileSize, bytes.size());
  EXPECT_EQ(w.EOCPosition, int(bytes.size() - 22));
  EXPECT_EQ(w.CentralDirPos, LayoutOf(bytes).central[0]);
  EXPECT_FALSE(w.MultiPart);
  EXPECT_EQ(w.LastPart, 0);
  EXPECT_EQ(w.FileHandle, -1);
  ASSERT_EQ(newNames.size(), 2u);
  EXPECT_EQ(newNames[0], (std::pair<int, std::string>{1, "a.txt"}));
  EXPECT_EQ(newNames[1], (std::pair<int, std::string>{2, "dir\\b.txt"}));
  EXPECT_EQ(dirUpdates, 1);
}

TEST_F(ListTest, EncryptedEntryAndEntryCommentAndExtraField) {
  ZipWriter z;
  ZipEntrySpec e;
  e.name = "secret.txt";
  e.data = "hidden";
  e.password = "pw";
  e.comment = "entry note";
  e.extra = std::string("\x99\x99\x02\x00xy", 6);
  z.Add(e);
  EXPECT_EQ(List("enc.zip", z.Build()), 0) << Dump(messages);
  ASSERT_EQ(w.ZipContents.size(), 1u);
  EXPECT_TRUE(w.ZipContents[0]->Encrypted);
  EXPECT_EQ(w.ZipContents[0]->FileComment.str(), "entry note");
  EXPECT_EQ(w.ZipContents[0]->ExtraData.str(), e.extra);
}

TEST_F(ListTest, CommentFoundByTheBackwardScan) {
  ZipWriter z;
  z.AddFile("a.txt", "x");
  const std::string comment = "지도 데이터 2026";
  z.SetComment(comment);
  const std::string bytes = z.Build();
  EXPECT_EQ(List("c.zip", bytes), 0) << Dump(messages);
  EXPECT_EQ(w.RawComment.str(), comment);
  EXPECT_EQ(w.ZipComment.str(), comment);
  EXPECT_EQ(w.EOCPosition, int(bytes.size() - 22 - comment.size()));
  EXPECT_EQ(w.ArchiveSize, bytes.size());
  EXPECT_EQ(w.ZipContents.size(), 1u);
  EXPECT_TRUE(messages.empty()) << Dump(messages);
}

TEST_F(ListTest, BytesAfterTheComment) {
  struct Case {
    const char* what;
    std::string tail;
    bool warning;
  };
  const Case cases[] = {
      {"100 zero bytes", std::string(100, '\0'), false},
      {"300 zero bytes", std::string(300, '\0'), false},
      {"511 zero bytes", std::string(511, '\0'), false},
      {"512 zero bytes", std::string(512, '\0'), true},
      {"600 zero bytes", std::string(600, '\0'), true},
      {"one letter A", "A", true},
      {"control and high bytes", std::string("\x01\x2e\x80\xff\x1a", 5), false},
      {"a slash", "/", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    ZipWriter z;
    z.AddFile("a.txt", "content");
    z.SetComment("note");
    const std::string archive = z.Build();
    EXPECT_EQ(List("tail.zip", archive + c.tail), c.warning ? 10204 : 0);
    EXPECT_EQ(HasCode(messages, 10204), c.warning) << Dump(messages);
    EXPECT_EQ(w.ArchiveSize, archive.size());
    EXPECT_EQ(w.RealFileSize, archive.size() + c.tail.size());
    EXPECT_EQ(w.ZipContents.size(), 1u);
    EXPECT_EQ(w.RawComment.str(), "note");
  }
}

TEST_F(ListTest, CommentRunningPastTheEndWarns) {
  ZipWriter z;
  z.AddFile("a.txt", "content");
  z.SetComment("0123456789");
  std::string bytes = z.Build();
  bytes.resize(bytes.size() - 4);  // the comment is cut short
  List("cut.zip", bytes);
  EXPECT_TRUE(HasCode(messages, 10204)) << Dump(messages);
  EXPECT_EQ(w.RawComment.str(), "012345");
  EXPECT_EQ(w.ArchiveSize, bytes.size() + 4);
}

TEST_F(ListTest, StubInFrontWithUnadjustedOffsets) {
  const std::string stub = "MZ" + std::string(998, 'S');
  ZipWriter z;
  z.SetPrefix(stub, false);
  z.AddFile("a.txt", "alpha");
  z.AddFile("b.txt", "beta");
  EXPECT_EQ(List("stub.exe", z.Build()), 10203);
  EXPECT_TRUE(HasCode(messages, 10203)) << Dump(messages);
  ASSERT_EQ(w.ZipContents.size(), 2u);
  EXPECT_TRUE(w.StructureWarning);
  // The lowest stored offset is 0; the stub moves it by its length.
  EXPECT_EQ(w.FirstDataOffset, stub.size());
}

TEST_F(ListTest, StubInFrontWithAdjustedOffsets) {
  const std::string stub = "MZ" + std::string(498, 'S');
  ZipWriter z;
  z.SetPrefix(stub, true);
  z.AddFile("a.txt", "alpha");
  EXPECT_EQ(List("sfx.exe", z.Build()), 0) << Dump(messages);
  EXPECT_FALSE(w.StructureWarning);
  EXPECT_EQ(w.FirstDataOffset, stub.size());
}

// An executable that carries only a copy of the directory: its entries point nowhere in it.
std::string DirectoryOnlyExe(const std::string& archive) {
  const Layout l = LayoutOf(archive);
  const size_t cdStart = l.central[0];
  std::string cd = archive.substr(cdStart, l.eoc - cdStart);
  std::string eoc = archive.substr(l.eoc, 22);
  const std::string head = "MZ" + std::string(100, '\0');
  Set32(eoc, 16, uint32_t(head.size()));
  return head + cd + eoc;
}

TEST_F(ListTest, ProbedDirectoryOnlyExeIsListedFromItsZip) {
  ZipWriter exeSource;
  exeSource.AddFile("in-exe.txt", "wrong");
  ZipWriter real;
  real.AddFile("in-zip.txt", "right");
  const std::string exe = DirectoryOnlyExe(exeSource.Build());
  WriteBytes(drives.Fixed("x.zip"), real.Build());
  WriteBytes(drives.Fixed("x.exe"), exe);
  EXPECT_EQ(QueryZip("T:\\x.exe"), 0xD1);
  w.ZipFileName = "T:\\x.exe";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  ASSERT_EQ(w.ZipContents.size(), 1u);
  EXPECT_EQ(w.ZipContents[0]->FileName.str(), "in-zip.txt");
  EXPECT_EQ(w.NameInUse.str(), "T:\\x.zip");
  EXPECT_EQ(w.ZipFileName.str(), "T:\\x.exe");
}

TEST_F(ListTest, QueryZipBits) {
  ZipWriter plain;
  plain.AddFile("a.txt", "alpha");
  const std::string archive = plain.Build();
  ZipWriter commented;
  commented.AddFile("a.txt", "alpha");
  commented.SetComment("note");
  const std::string withComment = commented.Build();
  ZipWriter sfx;
  sfx.SetPrefix("MZ" + std::string(200, 'x'), true);
  sfx.AddFile("a.txt", "alpha");
  ZipWriter split;
  split.SetSplit(65536);
  split.AddFile("a.bin", Noise(100000, 1), 0);
  const std::vector<std::string> parts = split.BuildParts();
  ASSERT_EQ(parts.size(), 2u);
  std::string badLocal = archive;
  Set32(badLocal, 0, 0x12345678);
  std::string centralFirst = archive.substr(LayoutOf(archive).central[0]);
  Set32(centralFirst, centralFirst.size() - 6, 0);

  struct Case {
    const char* name;
    std::string bytes;
    int bits;
  };
  const Case cases[] = {
      {"plain.zip", archive, 0xF2},
      {"comment.zip", withComment, 0xF2},
      {"comment-and-a.zip", withComment + "A", 0xE2},
      {"sfx.exe", sfx.Build(), 0xF1},
      {"dir-only.exe", DirectoryOnlyExe(archive), 0xD1},
      {"bad-local.zip", badLocal, 0xD0},
      {"central-first.zip", centralFirst, 0xD8},
      {"first.z01", parts[0], 0x04},
      {"last.zip", parts[1], 0xD0},
      {"short.zip", "PK\x03\x04 short", 0},
      {"empty.bin", "", 0},
      {"text.txt", std::string(1000, 't'), 0},
  };
  for (const Case& c : cases) {
    WriteBytes(drives.Fixed(c.name), c.bytes);
    EXPECT_EQ(QueryZip(("T:\\" + std::string(c.name)).c_str()), c.bits) << c.name;
  }
  EXPECT_EQ(QueryZip("T:\\missing.zip"), -7);
}

TEST_F(ListTest, FolderEntriesDroppedButCounted) {
  ZipWriter z;
  z.AddDir("docs/");
  z.AddFile("docs/a.txt", "a");
  z.AddDir("docs/sub/");
  z.AddFile("b.txt", "b");
  const std::string bytes = z.Build();

  EXPECT_EQ(List("dirs.zip", bytes), 0);
  ASSERT_EQ(w.ZipContents.size(), 2u);
  EXPECT_EQ(w.DroppedDirCount, 2);
  EXPECT_EQ(newNames, (std::vector<std::pair<int, std::string>>{{2, "docs\\a.txt"}, {4, "b.txt"}}));

  newNames.clear();
  w.UseDirOnlyEntries = true;
  EXPECT_EQ(List("dirs.zip", bytes), 0);
  EXPECT_EQ(w.ZipContents.size(), 4u);
  EXPECT_EQ(w.DroppedDirCount, 0);
  EXPECT_EQ(newNames.front(), (std::pair<int, std::string>{1, "docs\\"}));
  EXPECT_EQ(newNames.back(), (std::pair<int, std::string>{4, "b.txt"}));
}

// The conversion takes zero-terminated text, so a stored zero byte shows whether it ran.
TEST_F(ListTest, NameConversionByHostAndCodePage) {
  struct Case {
    uint16_t madeBy;
    CPOpts codePage;
    bool converted;
  };
  const Case cases[] = {
      {0x0014, cpAuto, true},   // FAT
      {0x0314, cpAuto, false},  // Unix
      {0x0314, cpOEM, true},
      {0x0014, cpNone, false},
      {0x0614, cpAuto, true},   // HPFS
      {0x0B32, cpAuto, true},   // NTFS, version 5.0
      {0x0B14, cpAuto, false},  // NTFS, version 2.0
  };
  const std::string stored("ab\0cd.txt", 9);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.madeBy << " codepage " << int(c.codePage));
    ZipWriter z;
    ZipEntrySpec e;
    e.name = stored;
    e.data = "x";
    e.versionMadeBy = c.madeBy;
    z.Add(e);
    w.CodePage = c.codePage;
    EXPECT_EQ(List("names.zip", z.Build()), 0);
    ASSERT_EQ(w.ZipContents.size(), 1u);
    EXPECT_EQ(w.ZipContents[0]->FileName.str(), c.converted ? std::string("ab") : stored);
    // The stored length stays as stored.
    EXPECT_EQ(+w.ZipContents[0]->FileNameLen, 9);
    // The last entry from a host other than FAT leaves its bytes for later conversions.
    EXPECT_EQ(w.HostByte, uint8_t(c.madeBy >> 8));
  }
}

TEST_F(ListTest, ConvertNameAndEndsWithSlash) {
  w.CodePage = cpAuto;
  w.HostByte = 3;
  EXPECT_EQ(w.ConvertName(AnsiString("a\0b", 3), false).Length(), 3);
  w.HostByte = 0;
  EXPECT_EQ(w.ConvertName(AnsiString("a\0b", 3), true).str(), "a");
  EXPECT_EQ(w.ConvertName("한글.txt", false).str(), "한글.txt");

  struct Case {
    const char* name;
    bool ends;
  };
  const Case cases[] = {{"", false}, {"a", false}, {"dir/", true}, {"dir\\", true}, {"/x", false}};
  for (const Case& c : cases) EXPECT_EQ(TZBWorker::EndsWithSlash(c.name), c.ends) << c.name;
}

TEST_F(ListTest, FileOf4GiBOrMoreIsRefused) {
  const std::string path = drives.Fixed("huge.zip");
  WriteBytes(path, "");
  ASSERT_EQ(truncate(path.c_str(), (4LL << 30) + 100), 0);
  w.Verbose = true;
  w.ZipFileName = "T:\\huge.zip";
  EXPECT_EQ(w.List(), 11036);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.front().code, 0);
  EXPECT_EQ(messages.front().text, "Opening EOC seek error4096Mb");
  EXPECT_TRUE(HasCode(messages, 11036)) << Dump(messages);
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(w.FileHandle, -1);
  EXPECT_EQ(dirUpdates, 1);
}

// Past 2 GiB and below 4 GiB (sparse, only its end record written) the directory is read.
TEST_F(ListTest, FileBetween2And4GiBIsRead) {
  const std::string path = drives.Fixed("big.zip");
  for (long long size : {(2LL << 30) + 100, (4LL << 30) - 1}) {
    SCOPED_TRACE(size);
    messages.clear();
    WriteBytes(path, "");
    ASSERT_EQ(truncate(path.c_str(), size - 22), 0);
    {
      std::ofstream out(path, std::ios::binary | std::ios::app);
      // An empty directory that starts where the end record does.
      std::string eoc = ztest::ZipWriter().Build();
      const uint32_t at = uint32_t(size - 22);
      for (int i = 0; i < 4; ++i) eoc[16 + i] = char(at >> (8 * i));
      out.write(eoc.data(), std::streamsize(eoc.size()));
    }
    w.Verbose = true;
    w.ZipFileName = "T:\\big.zip";
    EXPECT_EQ(w.List(), 0) << Dump(messages);
    EXPECT_FALSE(HasCode(messages, 11036)) << Dump(messages);
    EXPECT_EQ(w.ZipFileName.str(), "T:\\big.zip");
    EXPECT_EQ(w.FileHandle, -1);
  }
}

// Tools write Zip64 end records (a Zip64 end record and its locator before the end record) when
// asked (`zip -fz`), past 65,535 entries or past 4 GiB; the 32-bit reader refuses every such
// archive, however small, and lists none of its entries.
TEST_F(ListTest, ArchivesWithZip64EndRecordsAreRefused) {
  struct Case {
    const char* what;
    bool countAllOnes;   // the end record's entry counts hold 0xFFFF (past 65,535 entries)
    bool offsetAllOnes;  // its directory offset holds all ones (as `zip -fz` writes)
  };
  const Case cases[] = {
      {"zip -fz", false, true}, {"more than 65,535 entries", true, false}, {"both", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    std::string bytes = TwoFiles();
    const Layout l = LayoutOf(bytes);
    const uint64_t entries = Get16(bytes, l.eoc + 10);
    const uint64_t dirSize = Get32(bytes, l.eoc + 12);
    const uint64_t dirOffset = Get32(bytes, l.eoc + 16);
    std::string end64(56, '\0');
    Set32(end64, 0, 0x06064B50);
    Set32(end64, 4, 44);  // the record's size after this field
    Set16(end64, 12, 45);
    Set16(end64, 14, 45);
    std::memcpy(end64.data() + 24, &entries, 8);
    std::memcpy(end64.data() + 32, &entries, 8);
    std::memcpy(end64.data() + 40, &dirSize, 8);
    std::memcpy(end64.data() + 48, &dirOffset, 8);
    std::string locator(20, '\0');
    Set32(locator, 0, 0x07064B50);
    const uint64_t end64At = l.eoc;
    std::memcpy(locator.data() + 8, &end64At, 8);
    Set32(locator, 16, 1);
    std::string eoc = bytes.substr(l.eoc);
    if (c.countAllOnes) {
      Set16(eoc, 8, 0xFFFF);
      Set16(eoc, 10, 0xFFFF);
    }
    if (c.offsetAllOnes) Set32(eoc, 16, 0xFFFFFFFF);
    bytes = bytes.substr(0, l.eoc) + end64 + locator + eoc;

    // The Zip64 records stand between the directory and the end record, where the reader
    // expects the directory to end.
    EXPECT_EQ(List("zip64.zip", bytes), 11015) << Dump(messages);
    EXPECT_TRUE(HasCode(messages, 10203)) << Dump(messages);
    EXPECT_TRUE(w.ZipFileName.IsEmpty());
    EXPECT_EQ(w.FileHandle, -1);
  }
}

TEST_F(ListTest, NotAnArchiveAndUnopenableFile) {
  EXPECT_EQ(List("text.zip", std::string(5000, 'x')), 11036);
  EXPECT_EQ(dirUpdates, 1);

  messages.clear();
  WriteBytes(drives.Fixed("locked.zip"), TwoFiles());
  const int h = FileOpen("T:\\locked.zip", fmOpenRead | fmShareExclusive);
  ASSERT_NE(h, -1);
  w.ZipFileName = "T:\\locked.zip";
  w.List();
  FileClose(h);
  EXPECT_TRUE(HasCode(messages, 11002)) << Dump(messages);
  EXPECT_TRUE(w.ZipContents.empty());
}

// The engine takes the end record by the same rule: the record the listing reads is the one
// whose directory is unpacked. One that a comment only holds in part is no end record; two
// that could each be the archive's make no valid archive, nor does one that defers to a Zip64
// record.
TEST_F(ListTest, TheEndRecordIsTheOneTheEngineTakes) {
  ZipWriter decoyWriter;
  decoyWriter.AddFile("Data.bin", "data");
  const std::string decoy = decoyWriter.Build();
  ZipWriter real;
  real.AddFile("Data.bin", "data");
  real.AddFile("Probe.dll", "probe");
  const std::string archive = real.Build();
  ZipWriter commented;
  commented.AddFile("a.txt", "x");
  commented.SetComment(std::string("PK\x05\x06 fake end record inside the comment", 40));
  const struct {
    const char* what;
    std::string bytes;
    int result;
    std::vector<std::string> listed;
  } cases[] = {
      {"a signature at the start of the comment", commented.Build(), 0, {"a.txt"}},
      {"a second directory in the comment, then zero bytes", ztest::WithDecoyDirectory(archive, decoy), 11036, {}},
      {"a second directory that ends the file", ztest::WithDecoyDirectory(archive, decoy, 0), 11036, {}},
      // The engine reads the directory the Zip64 record names, which this reader does not know.
      {"a second directory named by a Zip64 end record", ztest::WithZip64Directory(archive, decoy), 11015, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    EXPECT_EQ(List("two.zip", c.bytes), c.result) << Dump(messages);
    std::vector<std::string> listed;
    for (const auto& e : w.ZipContents) listed.push_back(e->FileName.str());
    EXPECT_EQ(listed, c.listed);
  }
}

TEST_F(ListTest, MissingFileIsQuiet) {
  w.ZipFileName = "T:\\missing.zip";
  EXPECT_EQ(w.List(), 0);
  EXPECT_TRUE(messages.empty()) << Dump(messages);
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(dirUpdates, 1);
}

TEST_F(ListTest, DamagedDirectoryFailures) {
  struct Case {
    const char* what;
    std::function<void(std::string&, const Layout&)> damage;
    int id;
  };
  const Case cases[] = {
      {"more entries than stored", [](std::string& b, const Layout& l) { Set16(b, l.eoc + 10, 3); }, 11013},
      {"central signature", [](std::string& b, const Layout& l) { Set32(b, l.central[1], 0x02014B51); }, 11015},
      {"name of 260 bytes", [](std::string& b, const Layout& l) { Set16(b, l.central[1] + 28, 260); }, 11017},
      {"name past the end", [](std::string& b, const Layout& l) { Set16(b, l.central[1] + 28, 200); }, 11017},
      {"extra field past the end", [](std::string& b, const Layout& l) { Set16(b, l.central[1] + 30, 500); },
       10201},
      {"comment past the end", [](std::string& b, const Layout& l) { Set16(b, l.central[1] + 32, 500); }, 11022},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    dirUpdates = 0;
    std::string bytes = TwoFiles();
    c.damage(bytes, LayoutOf(bytes));
    EXPECT_EQ(List("bad.zip", bytes), c.id) << Dump(messages);
    EXPECT_TRUE(HasCode(messages, c.id));
    EXPECT_TRUE(w.ZipFileName.IsEmpty());
    EXPECT_EQ(w.FirstDataOffset, 0u);
    EXPECT_EQ(w.FileHandle, -1);
    EXPECT_EQ(dirUpdates, 1);
    // Entries read before the damage stay until the next read.
    EXPECT_LE(w.ZipContents.size(), 2u);
  }
}

TEST_F(ListTest, CancelAndFailingHandler) {
  ZipWriter z;
  for (int i = 0; i < 5; ++i) z.AddFile("f" + std::to_string(i) + ".txt", "x");
  const std::string bytes = z.Build();

  w.Events()->OnNewName = [this](TObject*, int seq, const ZipDirEntry&) {
    if (seq == 2) w.Cancel = true;
  };
  EXPECT_EQ(List("five.zip", bytes), 11007);
  EXPECT_EQ(w.ZipContents.size(), 2u);
  EXPECT_TRUE(w.ZipFileName.IsEmpty());

  w.Cancel = false;
  messages.clear();
  w.Events()->OnNewName = [](TObject*, int seq, const ZipDirEntry&) {
    if (seq == 3) throw std::runtime_error("handler broke");
  };
  EXPECT_EQ(List("five.zip", bytes), 10202);
  ASSERT_TRUE(HasCode(messages, 10202));
  EXPECT_NE(messages.back().text.find("handler broke"), std::string::npos) << Dump(messages);
}

// Whatever a handler raises while the directory is read is reported once, by its kind.
TEST_F(ListTest, HandlerFailuresDuringTheRead) {
  ZipWriter z;
  z.AddFile("a.txt", "a");
  z.AddFile("b.txt", "b");
  const std::string bytes = z.Build();
  struct Case {
    const char* what;
    std::function<void()> raise;
    int id;
    std::string text;
  };
  const Case cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); }, 10103, "Requested memory not available"},
      {"class library out of memory", [] { throw EOutOfMemory("no memory"); }, 10103,
       "Requested memory not available"},
      {"other exception", [] { throw std::runtime_error("disk gone"); }, 10202,
       "Unknown error in List() function\ndisk gone"},
      {"not an exception object", [] { throw 42; }, 10202, "Unknown error in List() function\n"},
      {"zip error", [] { throw EZipBuilder::CreateFromId(11036, true); }, 11036,
       "This archive is not a valid Zip archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    dirUpdates = 0;
    w.Events()->OnNewName = [&c](TObject*, int, const ZipDirEntry&) { c.raise(); };
    EXPECT_EQ(List("raise.zip", bytes), c.id);
    ASSERT_EQ(messages.size(), 1u) << Dump(messages);
    EXPECT_EQ(messages[0].code, c.id);
    EXPECT_EQ(messages[0].text, c.text);
    EXPECT_EQ(w.ZipContents.size(), 1u);
    EXPECT_TRUE(w.ZipFileName.IsEmpty());
    EXPECT_EQ(w.FileHandle, -1);
    EXPECT_EQ(dirUpdates, 1);
  }
}

TEST_F(ListTest, TraceLines) {
  ZipWriter z;
  z.AddDir("docs/");
  ZipEntrySpec e;
  e.name = "docs/a.txt";
  e.data = "a";
  e.comment = "note";
  z.Add(e);
  w.Trace = true;
  EXPECT_EQ(List("trace.zip", z.Build()), 0);
  std::vector<std::string> lines;
  for (const Message& m : messages)
    if (m.code == 0) lines.push_back(m.text);
  EXPECT_EQ(lines, (std::vector<std::string>{"List - expecting 2 files", "List - [0] \"docs/\"",
                                             "List - dropped dir [1]", "List - [1] \"docs/a.txt\"",
                                             "List - adding \"docs\\a.txt\" [note]"}));
}

TEST_F(ListTest, ProgressOfTheRead) {
  std::vector<std::string> items;
  std::vector<int> ends;
  w.Events()->OnItemProgress = [&](TObject*, const AnsiString& item, uint32_t size, int percent) {
    items.push_back(item.str() + ":" + std::to_string(size) + ":" + std::to_string(percent));
  };
  w.Events()->OnTotalProgress = [&](TObject*, long long, int percent) { ends.push_back(percent); };
  List("two.zip", TwoFiles());
  ASSERT_GE(items.size(), 4u);
  EXPECT_EQ(items.front(), "*Loading Directory:2:0");
  EXPECT_EQ(items[1], "*Loading Directory:2:50");
  EXPECT_EQ(items[2], "*Loading Directory:2:100");
  EXPECT_EQ(items.back(), ":0:101");
  EXPECT_EQ(ends, std::vector<int>{101});
}

TEST_F(ListTest, InactiveWorkerOnlyMarksTheRead) {
  WriteBytes(drives.Fixed("two.zip"), TwoFiles());
  w.Active = false;
  w.ZipFileName = "T:\\two.zip";
  EXPECT_EQ(w.List(), 0);
  EXPECT_TRUE(w.PendingOps.Contains(zpoDirRead));
  EXPECT_TRUE(w.ZipContents.empty());
  EXPECT_EQ(dirUpdates, 0);

  w.SetActive(true);
  EXPECT_EQ(w.ZipContents.size(), 2u);
  EXPECT_EQ(dirUpdates, 1);
  EXPECT_TRUE(w.PendingOps.Empty());
  w.SetActive(true);  // already active: nothing more
  EXPECT_EQ(dirUpdates, 1);

  // Deactivating discards what waits.
  w.PendingOps << zpoDirRead;
  w.SetActive(false);
  EXPECT_TRUE(w.PendingOps.Empty());
  w.SetActive(true);
  EXPECT_EQ(dirUpdates, 1);
}

}  // namespace
