// Multi-part archives and their join: finding the last part in the three naming modes, other
// parts on hard and removable drives, disk prompts, and the joined archive's records.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <utime.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>
#include <utility>

#include "ZipTestFiles.h"

using namespace ziptest;
using ztest::ZipEntrySpec;
using ztest::ZipWriter;

namespace {

struct Entry {
  std::string name;
  std::string data;
  uint16_t method = 0;
  bool descriptor = false;
};

std::vector<std::string> SplitSet(const std::vector<Entry>& entries, const std::string& comment = "",
                                  size_t partSize = 65536) {
  ZipWriter z;
  z.SetSplit(partSize);
  z.SetComment(comment);
  for (const Entry& e : entries) {
    ZipEntrySpec s;
    s.name = e.name;
    s.data = e.data;
    s.method = e.method;
    s.dataDescriptor = e.descriptor;
    z.Add(s);
  }
  return z.BuildParts();
}

// Three parts: a.bin crosses from the first part into the second, b.txt is deflated, c.bin is
// written with a data descriptor.
std::vector<Entry> ThreePartEntries() {
  return {{"a.bin", Noise(90000, 1)},
          {"dir/b.txt", std::string(20000, 'b'), 8},
          {"c.bin", Noise(60000, 2), 0, true}};
}

class PartsTest : public ::testing::Test {
 protected:
  ZipTestDrives drives;
  TComponent owner{nullptr};
  TZBWorker w{&owner};
  std::vector<Message> messages;
  std::vector<std::string> dialogs;

  void SetUp() override {
    w.Active = true;
    w.Unattended = true;
    w.TempDir = "T:\\tmp";
    std::filesystem::create_directories(drives.Fixed("tmp"));
    RecordMessages(w.Events(), messages);
    // Attended runs must not reach a real box: record and answer OK.
    w.Events()->OnZipDialog = [this](TObject*, const AnsiString&, AnsiString& msg, int& context, TMsgDlgButtons) {
      dialogs.push_back(msg.str());
      context = mrOk;
    };
  }
  void WriteParts(const std::vector<std::string>& parts, const std::vector<std::string>& names) {
    ASSERT_EQ(parts.size(), names.size());
    for (size_t i = 0; i < parts.size(); ++i) WriteBytes(drives.Fixed(names[i]), parts[i]);
  }
  // Joins into T:\tmp and returns the Unix path of the result ("" on failure).
  std::string Join(const std::string& archive, int expected = 0) {
    AnsiString out = "T:\\tmp\\";
    EXPECT_EQ(w.ReadSpan(archive.c_str(), out), expected) << Dump(messages);
    return out.IsEmpty() ? std::string() : winplat::DosToUnix(out.str());
  }
  static size_t TempFiles(const std::string& folder) {
    size_t n = 0;
    for (auto& e : std::filesystem::directory_iterator(folder)) n += e.is_regular_file();
    return n;
  }
};

// Every record of a joined archive: one part, offsets pointing at the copied headers.
void CheckJoined(const std::string& bytes, const std::vector<Entry>& entries, const std::string& comment) {
  ASSERT_GE(bytes.size(), 22u + comment.size());
  const size_t eoc = bytes.size() - 22 - comment.size();
  ASSERT_EQ(Get32(bytes, eoc), ZIP_EOC_SIG);
  EXPECT_EQ(Get16(bytes, eoc + 4), 0);
  EXPECT_EQ(Get16(bytes, eoc + 6), 0);
  EXPECT_EQ(Get16(bytes, eoc + 8), entries.size());
  EXPECT_EQ(Get16(bytes, eoc + 10), entries.size());
  EXPECT_EQ(Get16(bytes, eoc + 20), comment.size());
  EXPECT_EQ(bytes.substr(eoc + 22), comment);
  const size_t cd = Get32(bytes, eoc + 16);
  EXPECT_EQ(cd + Get32(bytes, eoc + 12), eoc);
  EXPECT_NE(Get32(bytes, 0), ZIP_SPAN_SIG);
  size_t at = cd;
  for (const Entry& e : entries) {
    ASSERT_EQ(Get32(bytes, at), ZIP_CENTRAL_SIG);
    EXPECT_EQ(Get16(bytes, at + 34), 0) << e.name;
    const size_t local = Get32(bytes, at + 42);
    ASSERT_EQ(Get32(bytes, local), ZIP_LOCAL_SIG) << e.name;
    EXPECT_EQ(bytes.substr(local + 30, e.name.size()), e.name);
    EXPECT_EQ(bytes.substr(at + 46, e.name.size()), e.name);
    EXPECT_EQ(Get32(bytes, at + 16), ztest::Crc32(e.data)) << e.name;
    if (e.method == 0) {
      EXPECT_EQ(bytes.substr(local + 30 + e.name.size(), e.data.size()), e.data) << e.name;
    }
    if (e.descriptor) {
      EXPECT_EQ(Get32(bytes, local + 18), 0u);
      EXPECT_EQ(Get32(bytes, local + 30 + e.name.size() + e.data.size()), ZIP_SPAN_SIG);
    }
    at += 46 + Get16(bytes, at + 28) + Get16(bytes, at + 30) + Get16(bytes, at + 32);
  }
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Where the directory of a split set starts: the part and the offset in it.
std::pair<size_t, size_t> CentralStart(const std::vector<std::string>& parts) {
  const std::string& last = parts.back();
  const size_t eoc = last.rfind(std::string("PK\x05\x06", 4));
  return {Get16(last, eoc + 6), Get32(last, eoc + 16)};
}

TEST_F(PartsTest, NumberedPartsOfTheUpdaterJoin) {
  const std::vector<Entry> entries = ThreePartEntries();
  const std::vector<std::string> parts = SplitSet(entries, "map data");
  ASSERT_EQ(parts.size(), 3u);
  WriteParts(parts, {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
  // The last part's date is the joined file's.
  struct utimbuf times = {1700000000, 1700000000};
  utime(drives.Fixed("MAP003.ZIP").c_str(), &times);

  w.ZipFileName = "T:\\MAP003.ZIP";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  EXPECT_EQ(w.ZipContents.size(), 3u);
  EXPECT_TRUE(w.MultiPart);
  EXPECT_EQ(w.LastPart, 2);
  EXPECT_EQ(w.ZipComment.str(), "map data");

  const std::string joined = Join("T:\\MAP003.ZIP");
  ASSERT_FALSE(joined.empty());
  EXPECT_EQ(w.NamingMode, 2);
  const std::string bytes = ReadBytes(joined);
  CheckJoined(bytes, entries, "map data");
  size_t total = 0;
  for (const std::string& p : parts) total += p.size();
  // Only the spanning marker is left out.
  EXPECT_EQ(bytes.size(), total - 4);
  struct stat st;
  ASSERT_EQ(stat(joined.c_str(), &st), 0);
  EXPECT_NEAR(double(st.st_mtime), 1700000000.0, 2.0);
  EXPECT_FALSE(w.InEngineRun);
  EXPECT_EQ(w.FileHandle, -1);
  // An independent reader accepts the result.
  EXPECT_EQ(std::system(("7z t -bso0 -bsp0 " + Quote(joined)).c_str()), 0);
}

TEST_F(PartsTest, ExtensionStylePartsWithComment) {
  const std::vector<Entry> entries = {{"one.bin", Noise(70000, 3)}, {"two.txt", "two"}};
  const std::vector<std::string> parts = SplitSet(entries, "set comment");
  ASSERT_EQ(parts.size(), 2u);
  WriteParts(parts, {"arc.z01", "arc.zip"});
  const std::string joined = Join("T:\\arc.zip");
  ASSERT_FALSE(joined.empty());
  EXPECT_EQ(w.NamingMode, 3);
  CheckJoined(ReadBytes(joined), entries, "set comment");
}

TEST_F(PartsTest, InfoZipSplitSetJoins) {
  const std::string src = drives.Fixed("src");
  WriteBytes(src + "/big.bin", Noise(150000, 4));
  WriteBytes(src + "/sub/text.txt", std::string(30000, 'q'));
  WriteBytes(src + "/small.txt", "small");
  const std::string cmd = "cd " + Quote(src) + " && zip -q -s 64k -r " + Quote(drives.Fixed("iz.zip")) + " .";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_TRUE(std::filesystem::exists(drives.Fixed("iz.z01")));

  w.ZipFileName = "T:\\iz.zip";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  EXPECT_GT(w.LastPart, 0);
  const std::string joined = Join("T:\\iz.zip");
  ASSERT_FALSE(joined.empty());
  EXPECT_EQ(std::system(("7z t -bso0 -bsp0 " + Quote(joined)).c_str()), 0);
  const std::string out = drives.Fixed("out");
  std::filesystem::create_directories(out);
  ASSERT_EQ(std::system(("7z x -bso0 -bsp0 -o" + Quote(out) + " " + Quote(joined)).c_str()), 0);
  EXPECT_EQ(ReadBytes(out + "/big.bin"), Noise(150000, 4));
  EXPECT_EQ(ReadBytes(out + "/sub/text.txt"), std::string(30000, 'q'));
}

// Info-ZIP starts the directory in an earlier part and counts on the last one only the entries
// it holds; the joined archive has one part, so all entries are on it.
TEST_F(PartsTest, InfoZipSetWithItsDirectoryOverParts) {
  const std::string src = drives.Fixed("many");
  for (int i = 0; i < 1500; ++i) WriteBytes(src + "/entry_with_a_longish_name_" + std::to_string(i) + ".txt", "x");
  WriteBytes(src + "/big.bin", Noise(200000, 8));
  const std::string cmd = "cd " + Quote(src) + " && zip -q -s 64k -r " + Quote(drives.Fixed("izm.zip")) + " .";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string last = ReadBytes(drives.Fixed("izm.zip"));
  ASSERT_GE(last.size(), 22u);
  const size_t eoc = last.size() - 22;
  ASSERT_EQ(Get32(last, eoc), ZIP_EOC_SIG);
  ASSERT_LT(Get16(last, eoc + 6), Get16(last, eoc + 4));
  ASSERT_LT(Get16(last, eoc + 8), Get16(last, eoc + 10));

  w.ZipFileName = "T:\\izm.zip";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  EXPECT_EQ(w.ZipContents.size(), 1501u);
  const std::string joined = Join("T:\\izm.zip");
  ASSERT_FALSE(joined.empty());
  const std::string bytes = ReadBytes(joined);
  const size_t jeoc = bytes.size() - 22;
  ASSERT_EQ(Get32(bytes, jeoc), ZIP_EOC_SIG);
  EXPECT_EQ(Get16(bytes, jeoc + 8), 1501);
  EXPECT_EQ(Get16(bytes, jeoc + 10), 1501);
  EXPECT_EQ(std::system(("unzip -tqq " + Quote(joined)).c_str()), 0);
}

TEST_F(PartsTest, NamesDifferingOnlyInCaseKeepTheirOwnData) {
  const std::vector<Entry> entries = {{"Note.TXT", Noise(40000, 5)}, {"note.txt", Noise(40000, 6)}};
  const std::vector<std::string> parts = SplitSet(entries);
  WriteParts(parts, {"case.z01", "case.zip"});
  const std::string joined = Join("T:\\case.zip");
  ASSERT_FALSE(joined.empty());
  CheckJoined(ReadBytes(joined), entries, "");
}

TEST_F(PartsTest, DirectorySpreadOverParts) {
  std::vector<Entry> entries;
  for (int i = 0; i < 1500; ++i) entries.push_back({"folder/entry" + std::to_string(10000 + i) + ".txt", "x"});
  const std::vector<std::string> parts = SplitSet(entries, "many");
  ASSERT_EQ(parts.size(), 3u);
  // The directory starts before the last part.
  ASSERT_LT(Get16(parts[2], parts[2].size() - 22 - 4 + 6), 2);
  WriteParts(parts, {"dir001.zip", "dir002.zip", "dir003.zip"});
  w.ZipFileName = "T:\\dir003.zip";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  ASSERT_EQ(w.ZipContents.size(), 1500u);
  EXPECT_EQ(w.ZipContents.back()->FileName.str(), "folder\\entry11499.txt");
  const std::string joined = Join("T:\\dir003.zip");
  ASSERT_FALSE(joined.empty());
  CheckJoined(ReadBytes(joined), entries, "many");
  EXPECT_EQ(std::system(("7z t -bso0 -bsp0 " + Quote(joined)).c_str()), 0);
}

TEST_F(PartsTest, CancelDuringTheJoinLeavesNoOutput) {
  WriteParts(SplitSet(ThreePartEntries()), {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
  int steps = 0;
  w.Events()->OnItemProgress = [&](TObject*, const AnsiString& item, uint32_t, int) {
    if (item.str() == "*Joining split zip file" && ++steps == 3) w.Cancel = true;
  };
  AnsiString out = "T:\\tmp\\";
  EXPECT_EQ(w.ReadSpan("T:\\MAP003.ZIP", out), -7);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(w.ErrCode, 11007);
  EXPECT_EQ(TempFiles(drives.Fixed("tmp")), 0u);
  EXPECT_FALSE(w.InEngineRun);
}

TEST_F(PartsTest, JoinFailuresLeaveNoOutput) {
  struct Case {
    const char* what;
    std::function<void(std::vector<std::string>&)> damage;
    int result, id;  // id 0: any failure
  };
  const Case cases[] = {
      {"first part without the spanning marker", [](std::vector<std::string>& p) { Set32(p[0], 0, 0x04034B50); },
       -7, 11031},
      {"local signature", [](std::vector<std::string>& p) { Set32(p[0], 4, 0x04034B51); }, -7, 11014},
      {"last part without its end record", [](std::vector<std::string>& p) { p[2].resize(p[2].size() / 2); }, -9,
       11036},
      {"middle part cut short", [](std::vector<std::string>& p) { p[1].resize(1000); }, -7, 0},
      {"central signature",
       [](std::vector<std::string>& p) {
         const auto cd = CentralStart(p);
         Set32(p[cd.first], cd.second, 0x02014B51);
       },
       -7, 11015},
      {"central name of 260 bytes",
       [](std::vector<std::string>& p) {
         const auto cd = CentralStart(p);
         Set16(p[cd.first], cd.second + 28, 260);
       },
       -7, 11017},
      {"more entries than the directory holds",
       [](std::vector<std::string>& p) {
         Set16(p[2], p[2].size() - 22 + 8, 4);
         Set16(p[2], p[2].size() - 22 + 10, 4);
       },
       -7, 11013},
      {"local name missing from the directory", [](std::vector<std::string>& p) { p[0][4 + 30] = 'z'; }, -7,
       ZIP_UNKNOWN_ERROR},
      {"archive comment cut short",
       [](std::vector<std::string>& p) {
         Set16(p[2], p[2].size() - 2, 10);
         p[2] += "12345";
       },
       -7, 11023},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    std::vector<std::string> parts = SplitSet(ThreePartEntries());
    c.damage(parts);
    WriteParts(parts, {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
    AnsiString out = "T:\\tmp\\";
    EXPECT_EQ(w.ReadSpan("T:\\MAP003.ZIP", out), c.result);
    if (c.result == -7) {
      EXPECT_TRUE(out.IsEmpty());
    }
    if (c.id) {
      EXPECT_EQ(w.ErrCode, c.id) << Dump(messages);
    } else {
      EXPECT_NE(w.ErrCode, 0);
    }
    EXPECT_EQ(TempFiles(drives.Fixed("tmp")), 0u);
    EXPECT_FALSE(w.InEngineRun);
  }
}

TEST_F(PartsTest, JoinOutputAndHandlerFailures) {
  WriteParts(SplitSet(ThreePartEntries()), {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
  struct Case {
    const char* what;
    std::function<void()> setUp;
    const char* output;
    int result, id;
    std::string text;
  };
  const Case cases[] = {
      {"temporary folder missing", [this] { w.TempDir = "T:\\gone"; }, "T:\\tmp\\", -7, 11027,
       "Temporary file could not be created"},
      {"output folder missing", [] {}, "T:\\nodir\\joined.zip", -7, 11009, "Creation of output file failed"},
      {"handler raises",
       [this] {
         w.Events()->OnItemProgress = [](TObject*, const AnsiString&, uint32_t, int) {
           throw std::runtime_error("window gone");
         };
       },
       "T:\\tmp\\", -9, 11024,
       "UnKnown error in function ReadSpan(), WriteSpan(), ChangeFileDetails() or CopyZippedFiles()\nwindow gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    w.TempDir = "T:\\tmp";
    w.Events()->OnItemProgress = nullptr;
    c.setUp();
    AnsiString out = c.output;
    EXPECT_EQ(w.ReadSpan("T:\\MAP003.ZIP", out), c.result);
    EXPECT_EQ(w.ErrCode, c.id) << Dump(messages);
    ASSERT_TRUE(HasCode(messages, c.id));
    EXPECT_EQ(messages.back().text, c.text);
    EXPECT_EQ(TempFiles(drives.Fixed("tmp")), 0u);
    EXPECT_FALSE(std::filesystem::exists(drives.Fixed("nodir")));
    EXPECT_FALSE(w.InEngineRun);
    EXPECT_EQ(w.FileHandle, -1);
  }
}

TEST_F(PartsTest, JoinIntoANamedOutput) {
  const std::vector<Entry> entries = ThreePartEntries();
  WriteParts(SplitSet(entries), {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
  WriteBytes(drives.Fixed("tmp/joined.bin"), "stale");
  w.HowToDelete = htdFinal;
  AnsiString out = "T:\\tmp\\joined.bin";
  EXPECT_EQ(w.ReadSpan("T:\\MAP003.ZIP", out), 0) << Dump(messages);
  EXPECT_EQ(out.str(), "T:\\tmp\\joined.zip");
  EXPECT_FALSE(std::filesystem::exists(drives.Fixed("tmp/joined.bin")));
  CheckJoined(ReadBytes(drives.Fixed("tmp/joined.zip")), entries, "");
}

TEST_F(PartsTest, LastPartOnAHardDrive) {
  const std::vector<std::string> two = SplitSet({{"a.bin", Noise(80000, 7)}});
  ASSERT_EQ(two.size(), 2u);
  ZipEndOfCentral eoc;

  // arc.zip missing: the numbered parts are probed in order.
  WriteParts(two, {"arc001.zip", "arc002.zip"});
  EXPECT_EQ(w.GetLastVolume("T:\\arc.zip", eoc, true), 0);
  EXPECT_EQ(w.NameInUse.str(), "T:\\arc002.zip");
  EXPECT_EQ(+eoc.ThisDiskNo, 1);
  EXPECT_EQ(w.NamingMode, 0);
  w.LastPart = 1;
  w.GetNewDisk(0);
  EXPECT_EQ(w.NamingMode, 2);
  EXPECT_EQ(w.NameInUse.str(), "T:\\arc001.zip");
  CloseFileHandle(w.FileHandle);

  // A numbered name with a .z01 beside it is ambiguous.
  WriteBytes(drives.Fixed("arc002.z01"), "x");
  EXPECT_EQ(w.GetLastVolume("T:\\arc.zip", eoc, false), -1);
  EXPECT_TRUE(HasCode(messages, 11002));
  std::filesystem::remove(drives.Fixed("arc002.z01"));

  // Nothing of the set: quiet gives 1, otherwise 11002.
  messages.clear();
  EXPECT_EQ(w.GetLastVolume("T:\\none.zip", eoc, true), 1);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(w.GetLastVolume("T:\\none.zip", eoc, false), -1);
  EXPECT_TRUE(HasCode(messages, 11002));

  // A complete archive named like a first part is not a set.
  messages.clear();
  ZipWriter single;
  single.AddFile("x.txt", "x");
  WriteBytes(drives.Fixed("solo001.zip"), single.Build());
  w.MultiPart = false;  // as a directory read leaves it before it looks for the last part
  EXPECT_EQ(w.GetLastVolume("T:\\solo.zip", eoc, false), -1);
  EXPECT_TRUE(HasCode(messages, 11002));

  // Undefined and invalid drives.
  messages.clear();
  EXPECT_EQ(w.GetLastVolume("Q:\\x.zip", eoc, false), -1);
  EXPECT_TRUE(HasCode(messages, 11004)) << Dump(messages);
  EXPECT_EQ(w.FileHandle, -1);
}

TEST_F(PartsTest, OtherPartsByNamingMode) {
  const std::vector<std::string> three = SplitSet(ThreePartEntries());
  ZipEndOfCentral eoc;

  WriteParts(three, {"MAP001.ZIP", "MAP002.ZIP", "MAP003.ZIP"});
  ASSERT_EQ(w.GetLastVolume("T:\\MAP003.ZIP", eoc, true), 0);
  w.LastPart = eoc.ThisDiskNo;
  w.GetNewDisk(0);
  EXPECT_EQ(w.NameInUse.str(), "T:\\MAP001.ZIP");
  EXPECT_EQ(w.NamingMode, 2);
  w.GetNewDisk(1);
  EXPECT_EQ(w.NameInUse.str(), "T:\\MAP002.ZIP");
  // A missing part on a hard drive ends the operation.
  std::filesystem::remove(drives.Fixed("MAP002.ZIP"));
  w.NameInUse = "T:\\MAP003.ZIP";
  EXPECT_THROW(w.GetNewDisk(1), EZipBuilder);
  CloseFileHandle(w.FileHandle);

  WriteParts(three, {"arc.z01", "arc.z02", "arc.zip"});
  ASSERT_EQ(w.GetLastVolume("T:\\arc.zip", eoc, true), 0);
  w.LastPart = eoc.ThisDiskNo;
  const char* names[] = {"T:\\arc.z01", "T:\\arc.z02", "T:\\arc.zip"};
  for (int part = 0; part < 3; ++part) {
    w.GetNewDisk(part);
    EXPECT_EQ(w.NameInUse.str(), names[part]);
    EXPECT_EQ(w.NamingMode, 3);
  }
  CloseFileHandle(w.FileHandle);
}

TEST_F(PartsTest, PartFileNames) {
  struct Case {
    const char* name;
    int part, last;
    bool numbered, extStyle;
    const char* result;
  };
  const Case cases[] = {
      {"T:\\arc.zip", 0, 3, false, true, "T:\\arc.z01"},
      {"T:\\arc.zip", 8, 20, false, true, "T:\\arc.z09"},
      {"T:\\arc.zip", 9, 20, false, true, "T:\\arc.z10"},
      {"T:\\arc.zip", 99, 200, false, true, "T:\\arc.z100"},
      {"T:\\arc.z05", 3, 3, false, true, "T:\\arc.zip"},
      {"T:\\arc.zip", 0, 3, false, false, "T:\\arc001.zip"},
      {"T:\\MAP003.ZIP", 1, 2, true, false, "T:\\MAP002.ZIP"},
      {"T:\\MAP003.ZIP", 999, 1000, true, false, "T:\\MAP000.ZIP"},
  };
  for (const Case& c : cases) {
    AnsiString name = c.name;
    w.CurrentPart = c.part;
    w.LastPart = uint16_t(c.last);
    w.PartFileName(name, c.numbered, c.extStyle);
    EXPECT_EQ(name.str(), c.result) << c.name << " part " << c.part;
  }
}

TEST_F(PartsTest, FindLastPartTakesTheFirstNumberedFile) {
  WriteBytes(drives.Fixed("set/m.z00"), "x");
  WriteBytes(drives.Fixed("set/m.zip"), "x");
  WriteBytes(drives.Fixed("set/n.zxy"), "x");
  WriteBytes(drives.Fixed("set/q007.zip"), "x");
  EXPECT_EQ(w.FindLastPart("T:\\set\\m", true).str(), "m.zip");
  EXPECT_EQ(w.FindLastPart("T:\\set\\n", true).str(), "");
  EXPECT_EQ(w.FindLastPart("T:\\set\\q", false).str(), "q007.zip");
  EXPECT_EQ(w.FindLastPart("T:\\set\\m", false).str(), "");
}

TEST_F(PartsTest, AskForDiskOnAHardDrive) {
  w.DriveRoot = "T:\\";
  w.NewDisk = true;
  w.Unattended = false;
  w.AskForDisk();
  EXPECT_FALSE(w.NewDisk);
  EXPECT_TRUE(dialogs.empty());
  w.Cancel = true;
  EXPECT_THROW(w.AskForDisk(), EZipAbort);
}

TEST_F(PartsTest, CheckDriveRefusesInvalidDrives) {
  w.DriveRoot = "1:\\";
  try {
    w.CheckDrive();
    FAIL();
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.MessageId, 11003);
    EXPECT_EQ(e.Message.str(), "Not a valid drive: 1:\\");
  }
  w.DriveRoot = "Q:\\";
  try {
    w.CheckDrive();
    FAIL();
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.MessageId, 11004);
  }
  w.DriveRoot = "E:\\";
  EXPECT_TRUE(w.CheckDrive());
  EXPECT_EQ(w.VolumeLabel.str(), "NAVI");
  EXPECT_GT(w.DriveTotalBytes, 0);
}

TEST_F(PartsTest, FreeSpaceQueryByWhich) {
  w.DriveRoot = "T:\\";
  struct Case {
    int which;
    bool freeSet, totalSet;
  };
  const Case cases[] = {{1, true, false}, {2, false, true}, {3, true, true}, {0, false, false}};
  for (const Case& c : cases) {
    w.DriveFreeBytes = w.DriveTotalBytes = 7;
    w.DiskFreeSpace(c.which);
    EXPECT_EQ(w.DriveFreeBytes != 7, c.freeSet) << c.which;
    EXPECT_EQ(w.DriveTotalBytes != 7, c.totalSet) << c.which;
    if (c.freeSet) {
      EXPECT_GT(w.DriveFreeBytes, 0) << c.which;
    }
    if (c.totalSet) {
      EXPECT_GE(w.DriveTotalBytes, w.DriveFreeBytes) << c.which;
    }
  }
  // A drive that is not there: both unknown.
  w.DriveRoot = "Q:\\";
  w.DiskFreeSpace(3);
  EXPECT_EQ(w.DriveFreeBytes, -1);
  EXPECT_EQ(w.DriveTotalBytes, -1);
}

// The 64-bit query is found in the system library, so a disk with more than 4 GiB free is
// reported whole, not cut to 32 bits by the fallback.
TEST_F(PartsTest, FreeSpaceAboveFourGigabytesIsReportedWhole) {
  struct statvfs before, after;
  ASSERT_EQ(statvfs(drives.Fixed().c_str(), &before), 0);
  w.DriveRoot = "T:\\";
  w.DiskFreeSpace(3);
  ASSERT_EQ(statvfs(drives.Fixed().c_str(), &after), 0);
  const long long lowest = (long long)std::min(before.f_bavail, after.f_bavail) * (long long)before.f_frsize;
  const long long highest = (long long)std::max(before.f_bavail, after.f_bavail) * (long long)before.f_frsize;
  const long long slack = 256LL << 20;  // other tests write to the same disk meanwhile
  EXPECT_GE(w.DriveFreeBytes, lowest - slack);
  EXPECT_LE(w.DriveFreeBytes, highest + slack);
  EXPECT_EQ(w.DriveTotalBytes, (long long)before.f_blocks * (long long)before.f_frsize);
  if (lowest > (5LL << 30)) {
    EXPECT_GT(w.DriveFreeBytes, 4LL << 30);
  }
}

TEST_F(PartsTest, WriteWithProgressByMode) {
  std::vector<std::string> reports;
  w.Events()->OnProgress = [&](TObject*, ProgressType type, const AnsiString&, long long n) {
    reports.push_back(std::to_string(int(type)) + ":" + std::to_string(n));
  };
  struct Case {
    uint8_t mode;
    std::vector<std::string> reports;
  };
  const Case cases[] = {{0, {}}, {1, {"6:5"}}, {2, {"1:5"}}, {3, {}}};
  for (const Case& c : cases) {
    reports.clear();
    w.WriteKind = c.mode;
    w.OutputHandle = FileCreate("T:\\tmp\\out.bin");
    ASSERT_NE(w.OutputHandle, -1);
    w.WriteWithProgress("hello", 5, 11028);
    CloseFileHandle(w.OutputHandle);
    EXPECT_EQ(ReadBytes(drives.Fixed("tmp/out.bin")), "hello");
    EXPECT_EQ(reports, c.reports) << int(c.mode);
  }
  // A write that does not take every byte raises the given message.
  reports.clear();
  w.WriteKind = 1;
  w.OutputHandle = -1;
  try {
    w.WriteWithProgress("hello", 5, 11029);
    ADD_FAILURE() << "no exception";
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.MessageId, 11029);
  }
  EXPECT_TRUE(reports.empty());
}

TEST(MZipDataList, RecordsByIndexAndName) {
  TMZipDataList list(3);
  ASSERT_EQ(list.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(list.Items(i)->Name.IsEmpty());
    EXPECT_LT(list.Items(i)->NewOffset, 0);
  }
  list.Items(0)->Name = "Map/One.bin";
  list.Items(1)->Name = "map/one.BIN";
  list.Items(2)->Name = "two";
  struct Case {
    const char* name;
    int index;
  };
  const Case cases[] = {{"Map/One.bin", 0}, {"MAP/ONE.BIN", 0}, {"map/one.BIN", 0}, {"TWO", 2}};
  for (const Case& c : cases) EXPECT_EQ(list.IndexOf(c.name), c.index) << c.name;
  try {
    list.IndexOf("three");
    ADD_FAILURE() << "no exception";
  } catch (const EZipBuilder& e) {
    EXPECT_EQ(e.Message.str(), "A local header not found in internal structure");
  }
  for (int bad : {-1, 3}) {
    try {
      list.Items(bad);
      ADD_FAILURE() << bad;
    } catch (const ERangeError& e) {
      EXPECT_EQ(e.Message.str(), "Index out of range");
    }
  }
  // The join places each local header in the first record of its name not placed yet.
  EXPECT_EQ(list.IndexOfUnplaced("MAP/ONE.BIN"), 0);
  list.Items(0)->NewOffset = 0;
  EXPECT_EQ(list.IndexOfUnplaced("MAP/ONE.BIN"), 1);
  list.Items(1)->NewOffset = 100;
  EXPECT_EQ(list.IndexOfUnplaced("MAP/ONE.BIN"), 0);

  TMZipDataList none(0);
  EXPECT_EQ(none.Count(), 0);
  EXPECT_THROW(none.IndexOf("x"), EZipBuilder);
}

// Volume-label mode: the same file name on every disk of a removable drive, the disk's label
// telling its number; the test swaps the medium while the prompt is open.
class DiskSetTest : public PartsTest {
 protected:
  std::vector<std::string> disks;
  std::vector<std::string> prompts;
  void SetUp() override {
    PartsTest::SetUp();
    const std::vector<std::string> parts = SplitSet(ThreePartEntries(), "on disks");
    ASSERT_EQ(parts.size(), 3u);
    for (size_t i = 0; i < parts.size(); ++i) {
      disks.push_back(drives.Fixed("disk" + std::to_string(i + 1)));
      WriteBytes(disks.back() + "/arc.zip", parts[i]);
    }
    Insert(3);
    w.Unattended = false;
    w.Events()->OnGetNextDisk = [this](TObject*, int seq, int total, const AnsiString& drive, bool&) {
      prompts.push_back(std::to_string(seq) + "/" + std::to_string(total) + " " + drive.str());
      Insert(seq);
    };
  }
  void TearDown() override { winplat::ReloadDrives(); }
  void Insert(int disk) {
    winplat::SetDrive('E', disks[size_t(disk - 1)], DRIVE_REMOVABLE, "PKBACK# 00" + std::to_string(disk));
  }
};

TEST_F(DiskSetTest, PromptsAnsweredByTheEventJoinTheSet) {
  w.ZipFileName = "E:\\arc.zip";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  EXPECT_EQ(w.ZipContents.size(), 3u);
  const std::string joined = Join("E:\\arc.zip");
  ASSERT_FALSE(joined.empty());
  EXPECT_EQ(w.NamingMode, 1);
  EXPECT_EQ(prompts, (std::vector<std::string>{"1/3 E", "2/3 E", "3/3 E"}));
  EXPECT_TRUE(dialogs.empty());
  CheckJoined(ReadBytes(joined), ThreePartEntries(), "on disks");
}

TEST_F(DiskSetTest, WrongDiskAsksAgainAndPromptsWithoutTheEventUseTheDialog) {
  w.Events()->OnGetNextDisk = nullptr;
  int shown = 0;
  w.Events()->OnZipDialog = [&](TObject*, const AnsiString&, AnsiString& msg, int& context, TMsgDlgButtons) {
    dialogs.push_back(msg.str() + " @" + std::to_string(context & 0xFFFF));
    // The first answer leaves the last disk in: the wrong one for part 1.
    if (++shown > 1) Insert(std::min(shown - 1, 3));
    context = mrOk;
  };
  AnsiString out = "T:\\tmp\\";
  EXPECT_EQ(w.ReadSpan("E:\\arc.zip", out), 0) << Dump(messages);
  ASSERT_GE(dialogs.size(), 4u);
  EXPECT_EQ(dialogs[0], "Please insert disk volume 1 of 3\nin drive: E @10009");
  EXPECT_EQ(dialogs[1], "Please insert disk volume 1 of 3\nin drive: E @10009");
}

TEST_F(DiskSetTest, CancelFromTheEventAndUnattendedRuns) {
  w.Events()->OnGetNextDisk = [](TObject*, int, int, const AnsiString&, bool& cancel) { cancel = true; };
  AnsiString out = "T:\\tmp\\";
  EXPECT_EQ(w.ReadSpan("E:\\arc.zip", out), -7);
  EXPECT_EQ(w.ErrCode, 11007);
  EXPECT_TRUE(dialogs.empty());
  EXPECT_EQ(TempFiles(drives.Fixed("tmp")), 0u);

  w.Unattended = true;
  out = "T:\\tmp\\";
  EXPECT_EQ(w.ReadSpan("E:\\arc.zip", out), -7);
  EXPECT_EQ(w.ErrCode, 11025);
}

TEST_F(DiskSetTest, FirstDiskInTheDriveAsksForTheLastOne) {
  Insert(1);
  std::vector<std::string> asked;
  w.Events()->OnGetNextDisk = nullptr;
  w.Events()->OnZipDialog = [&](TObject*, const AnsiString&, AnsiString& msg, int& context, TMsgDlgButtons) {
    asked.push_back(msg.str() + " @" + std::to_string(context & 0xFFFF));
    Insert(3);
    context = mrOk;
  };
  w.Verbose = true;
  w.ZipFileName = "E:\\arc.zip";
  EXPECT_EQ(w.List(), 0) << Dump(messages);
  EXPECT_EQ(w.ZipContents.size(), 3u);
  EXPECT_EQ(asked, std::vector<std::string>{"Please insert last disk @10010"});

  // Opening another part says which file it opens.
  messages.clear();
  w.Events()->OnZipDialog = [&](TObject*, const AnsiString&, AnsiString&, int& context, TMsgDlgButtons) {
    Insert(1);
    context = mrOk;
  };
  w.NameInUse = "E:\\arc.zip";
  w.GetNewDisk(0);
  CloseFileHandle(w.FileHandle);
  EXPECT_TRUE(HasCode(messages, 0));
  bool traced = false;
  for (const Message& m : messages) traced |= m.text == "Trace : GetNewDisk Opening: E:\\arc.zip";
  EXPECT_TRUE(traced) << Dump(messages);
}

TEST_F(DiskSetTest, LastDiskFoundByNameWhenTheGivenOneIsMissing) {
  WriteBytes(disks[2] + "/MAP003.ZIP", ReadBytes(disks[2] + "/arc.zip"));
  std::filesystem::remove(disks[2] + "/arc.zip");
  ZipEndOfCentral eoc;
  EXPECT_EQ(w.GetLastVolume("E:\\MAP.ZIP", eoc, true), 0) << Dump(messages);
  EXPECT_EQ(w.NameInUse.str(), "E:\\MAP003.ZIP");
  EXPECT_EQ(+eoc.ThisDiskNo, 2);
  CloseFileHandle(w.FileHandle);
}

}  // namespace
