// ZE_UnzExec end to end on archives made by the test writer: what lands on disk, what the
// callback hears, and what never happens (files outside the folder, half-written files).
#include <sys/wait.h>
#include <time.h>

#include "EngineHarness.h"
#include "WriterProcesses.h"
#include "ZipWriter.h"
#include "windows.h"

using namespace enginetest;

namespace {

class EngineExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TheEngine().UnzExec, nullptr) << dlerror();
    place = std::make_unique<Place>(TestName());
    fs::create_directories(place->U("out"));
    opts.archive = place->D("a.zip");
    opts.extractDir = place->D("out");
  }
  void Write(ztest::ZipWriter& w) { ASSERT_TRUE(w.WriteTo(place->U("a.zip").string())); }
  int32_t Run() { return RunEngine(opts, rec); }
  fs::path Out(const std::string& rel) const { return place->U("out") / rel; }
  // Files in the test folder whose names mark them as the engine's temporary files.
  int TempFilesLeft() const {
    int n = 0;
    for (auto& it : fs::recursive_directory_iterator(place->unix))
      if (it.path().filename().string().rfind("~zb", 0) == 0) ++n;
    return n;
  }

  std::unique_ptr<Place> place;
  Options opts;
  Recorder rec;
};

ztest::ZipEntrySpec Entry(const std::string& name, const std::string& data, uint16_t method = 8) {
  ztest::ZipEntrySpec e;
  e.name = name;
  e.data = data;
  e.method = method;
  return e;
}

ztest::ZipEntrySpec Dated(ztest::ZipEntrySpec e, int year) {
  e.dosDate = ztest::DosDate(year, 6, 15);
  e.dosTime = ztest::DosTime(10, 30, 20);
  return e;
}

time_t LocalTime(int year, int mon, int day, int h, int m, int s) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = mon - 1;
  t.tm_mday = day;
  t.tm_hour = h;
  t.tm_min = m;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return mktime(&t);
}

time_t MTime(const fs::path& p) {
  struct stat st {};
  stat(p.c_str(), &st);
  return st.st_mtime;
}

void SetMTime(const fs::path& p, time_t t) {
  fs::last_write_time(p, fs::file_time_type::clock::now() -
                             std::chrono::seconds(std::time(nullptr) - t));
}

}  // namespace

TEST_F(EngineExtract, ExtractsStoredDeflatedDescriptorAndFolderEntries) {
  ztest::ZipWriter w;
  w.AddDir("docs/");
  w.AddDir("empty/folder/");
  w.Add(Entry("docs/stored.txt", Content(70000, 1), 0));
  w.Add(Entry("docs/deflated.bin", Content(900000, 2)));
  auto d = Entry("deep/er/descriptor.dat", Content(123457, 3));
  d.dataDescriptor = true;
  w.Add(d);
  w.Add(Entry("zero.txt", ""));
  w.Add(Dated(Entry("dated.txt", "when"), 2019));
  Write(w);

  EXPECT_EQ(Run(), 5) << rec.Messages();
  // Five files: the count matches the items reported; folders are made without counting.
  EXPECT_EQ(rec.Of(zacCount)[0].arg, 5);
  EXPECT_EQ(rec.Of(zacItem).size(), 5u);
  EXPECT_EQ(ReadFile(Out("docs/stored.txt")), Content(70000, 1));
  EXPECT_EQ(ReadFile(Out("docs/deflated.bin")), Content(900000, 2));
  EXPECT_EQ(ReadFile(Out("deep/er/descriptor.dat")), Content(123457, 3));
  EXPECT_TRUE(fs::is_regular_file(Out("zero.txt")));
  EXPECT_EQ(fs::file_size(Out("zero.txt")), 0u);
  EXPECT_TRUE(fs::is_directory(Out("empty/folder")));
  EXPECT_EQ(MTime(Out("dated.txt")), LocalTime(2019, 6, 15, 10, 30, 20));
  EXPECT_EQ(TempFilesLeft(), 0);
  EXPECT_TRUE(rec.Of(zacSkipped).empty());
}

TEST_F(EngineExtract, ReportsTheRunInOrder) {
  ztest::ZipWriter w;
  w.Add(Entry("a.bin", Content(1500000, 4)));
  w.Add(Entry("b.txt", "bee"));
  Write(w);
  ASSERT_EQ(Run(), 2);

  ASSERT_GE(rec.events.size(), 6u);
  EXPECT_EQ(rec.events.front().action, zacCommandHandle);
  EXPECT_NE(rec.events.front().arg, 0);
  EXPECT_EQ(rec.events.back().action, zacEndOfBatch);
  ASSERT_EQ(rec.Of(zacCount).size(), 1u);
  EXPECT_EQ(rec.Of(zacCount)[0].arg, 2);
  ASSERT_EQ(rec.Of(zacSize).size(), 1u);
  EXPECT_EQ(rec.Of(zacSize)[0].size, 1500003);
  auto items = rec.Of(zacItem);
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].name, "a.bin");
  EXPECT_EQ(items[0].size, 1500000);
  EXPECT_EQ(items[1].name, "b.txt");
  int64_t progressed = 0;
  for (const Event& e : rec.Of(zacProgress)) progressed += e.size;
  EXPECT_EQ(progressed, 1500003);
  // A large entry reports several times, so that a cancel is felt while it runs.
  EXPECT_GE(rec.Of(zacProgress).size(), 5u);
  // Count and size come before the first item; every progress after its item.
  size_t firstItem = 0;
  while (rec.events[firstItem].action != zacItem) ++firstItem;
  for (size_t i = firstItem; i < rec.events.size(); ++i) {
    EXPECT_NE(rec.events[i].action, zacCount);
    EXPECT_NE(rec.events[i].action, zacSize);
  }
}

TEST_F(EngineExtract, DropsStoredFoldersWhenAsked) {
  ztest::ZipWriter w;
  w.AddDir("sub/");
  w.Add(Entry("sub/deeper/a.txt", "A"));
  w.Add(Entry("b.txt", "B"));
  Write(w);
  opts.dirNames = false;
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ReadFile(Out("a.txt")), "A");
  EXPECT_EQ(ReadFile(Out("b.txt")), "B");
  EXPECT_FALSE(fs::exists(Out("sub")));
  EXPECT_EQ(rec.Of(zacCount)[0].arg, 2);
}

TEST_F(EngineExtract, ExtractsOnlyWhatTheSpecificationsName) {
  ztest::ZipWriter w;
  for (const char* n : {"readme.TXT", "maps/seoul.map", "maps/busan.map", "maps/info.txt", "bin/run.exe"})
    w.Add(Entry(n, n));
  Write(w);
  struct Case {
    std::vector<std::string> specs;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{}, {"bin/run.exe", "maps/busan.map", "maps/info.txt", "maps/seoul.map", "readme.TXT"}},
      {{"*.txt"}, {"maps/info.txt", "readme.TXT"}},
      {{"maps\\*.map"}, {"maps/busan.map", "maps/seoul.map"}},
      {{"MAPS\\S?OUL.MAP", "bin/*"}, {"bin/run.exe", "maps/seoul.map"}},
      {{"nothing.*"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.specs.empty() ? "all" : c.specs[0]);
    fs::remove_all(Out(""));
    fs::create_directories(Out(""));
    opts.specs = c.specs;
    Recorder r;
    EXPECT_EQ(RunEngine(opts, r), static_cast<int32_t>(c.expected.size()));
    std::vector<std::string> got;
    for (auto& [name, data] : Tree(Out(""))) {
      got.push_back(name);
      EXPECT_EQ(data, name);  // each entry holds its own name
    }
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(r.Of(zacCount)[0].arg, static_cast<int32_t>(c.expected.size()));
  }
}

TEST_F(EngineExtract, AppliesEachOverwriteMode) {
  // The archive's entry is from 2020; the file on disk is older (2010) or newer (2030).
  ztest::ZipWriter w;
  w.Add(Dated(Entry("f.txt", "from archive"), 2020));
  Write(w);
  enum Mode { Plain, OverWrite, Freshen, Update };
  enum Disk { Missing, Older, Newer };
  struct Case {
    Mode mode;
    Disk disk;
    bool replaced;  // or created, for Missing
    int skipType;   // -1 when not skipped
  };
  const Case cases[] = {
      {Plain, Missing, true, -1},          {Plain, Older, false, zskNoOverwrite},
      {Plain, Newer, false, zskNoOverwrite}, {OverWrite, Missing, true, -1},
      {OverWrite, Older, true, -1},        {OverWrite, Newer, true, -1},
      {Freshen, Missing, false, zskFreshen}, {Freshen, Older, true, -1},
      {Freshen, Newer, false, zskFreshen}, {Update, Missing, true, -1},
      {Update, Older, true, -1},           {Update, Newer, false, zskNotNewer},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " disk " + std::to_string(c.disk));
    fs::remove_all(Out(""));
    fs::create_directories(Out(""));
    if (c.disk != Missing) {
      WriteFile(Out("f.txt"), "on disk");
      SetMTime(Out("f.txt"), LocalTime(c.disk == Older ? 2010 : 2030, 1, 1, 0, 0, 0));
    }
    opts.overwrite = c.mode == OverWrite;
    opts.freshen = c.mode == Freshen;
    opts.update = c.mode == Update;
    Recorder r;
    EXPECT_EQ(RunEngine(opts, r), c.replaced ? 1 : 0) << r.Messages();
    if (c.replaced)
      EXPECT_EQ(ReadFile(Out("f.txt")), "from archive");
    else if (c.disk != Missing)
      EXPECT_EQ(ReadFile(Out("f.txt")), "on disk");
    else
      EXPECT_FALSE(fs::exists(Out("f.txt")));
    auto skipped = r.Skipped();
    if (c.skipType < 0) {
      EXPECT_TRUE(skipped.empty());
    } else {
      ASSERT_EQ(skipped.size(), 1u);
      EXPECT_EQ(skipped[0].second, c.skipType);
      // Chosen skips are notices, not errors.
      EXPECT_FALSE(r.HasErrorMessage(zemWrite));
      for (const Event& e : r.Of(zacMessage)) EXPECT_EQ(e.arg, 0);
    }
    // The question goes out for every existing file that freshen or update did not settle.
    auto asked = r.Of(zacOverwrite);
    bool expectQuestion = c.disk != Missing && !(c.skipType == zskFreshen || c.skipType == zskNotNewer);
    ASSERT_EQ(asked.size(), expectQuestion ? 1u : 0u);
    if (expectQuestion) {
      EXPECT_EQ(asked[0].name, "f.txt");
      EXPECT_EQ(asked[0].arg, c.replaced ? 1 : 0);
      EXPECT_EQ(asked[0].arg3, c.disk == Older ? 1 : 2);
    }
  }
}

TEST_F(EngineExtract, OverwriteAnswerDecides) {
  ztest::ZipWriter w;
  w.Add(Entry("yes.txt", "new"));
  w.Add(Entry("no.txt", "new"));
  Write(w);
  WriteFile(Out("yes.txt"), "old");
  WriteFile(Out("no.txt"), "old");
  opts.overwrite = true;
  rec.answer = [](ZipCallbackRecord& r, const Event& e) {
    if (e.action == zacOverwrite) Reply(r, e.name == "yes.txt" ? ZB_REPLY_YES : ZB_REPLY_NO);
    return 0;
  };
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(ReadFile(Out("yes.txt")), "new");
  EXPECT_EQ(ReadFile(Out("no.txt")), "old");
}

TEST_F(EngineExtract, HandlesPasswords) {
  auto secret = Entry("secret.txt", Content(50000, 9));
  secret.password = "open sesame";
  auto plain = Entry("plain.txt", "visible");
  ztest::ZipWriter w;
  w.Add(secret).Add(plain);
  Write(w);
  struct Case {
    const char* label;
    std::string blockPassword;
    uint32_t requests;
    std::vector<std::string> answers;  // passwords the handler gives, in order ("" = no answer)
    bool extracted;
    size_t requestsSeen;
  };
  const Case cases[] = {
      {"right password in the block", "open sesame", 0, {}, true, 0},
      {"wrong password, no requests", "guess", 0, {}, false, 0},
      {"no password, handler knows it", "", 1, {"open sesame"}, true, 1},
      {"wrong, then right", "", 3, {"nope", "open sesame"}, true, 2},
      {"wrong answers until the count runs out", "", 2, {"nope", "nope", "nope"}, false, 2},
      {"handler does not answer", "", 3, {""}, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(Out(""));
    fs::create_directories(Out(""));
    opts.password = c.blockPassword;
    opts.pwdReqCount = c.requests;
    Recorder r;
    size_t next = 0;
    r.answer = [&](ZipCallbackRecord& rr, const Event& e) {
      if (e.action == zacPassword && next < c.answers.size()) {
        const std::string& pw = c.answers[next++];
        if (!pw.empty()) {
          Reply(rr, ZB_REPLY_YES, pw);
          rr.ErrorCode = e.arg;
        }
      }
      return 0;
    };
    EXPECT_EQ(RunEngine(opts, r), c.extracted ? 2 : 1) << r.Messages();
    EXPECT_EQ(ReadFile(Out("plain.txt")), "visible");
    if (c.extracted) {
      EXPECT_EQ(ReadFile(Out("secret.txt")), Content(50000, 9));
    } else {
      EXPECT_FALSE(fs::exists(Out("secret.txt")));
      EXPECT_TRUE(r.HasErrorMessage(zemPassword));
      ASSERT_EQ(r.Skipped().size(), 1u);
      EXPECT_EQ(r.Skipped()[0].second, zskBadPassword);
    }
    EXPECT_EQ(r.Of(zacPassword).size(), c.requestsSeen);
  }
}

TEST_F(EngineExtract, PasswordGivenOnceServesLaterEntriesAndNoToAllStopsAsking) {
  ztest::ZipWriter w;
  for (const char* n : {"1.txt", "2.txt", "3.txt"}) {
    auto e = Entry(n, n);
    e.password = "pw";
    w.Add(e);
  }
  Write(w);
  opts.pwdReqCount = 5;
  rec.answer = [](ZipCallbackRecord& r, const Event& e) {
    if (e.action == zacPassword) Reply(r, ZB_REPLY_YES, "pw");
    return 0;
  };
  EXPECT_EQ(Run(), 3);
  EXPECT_EQ(rec.Of(zacPassword).size(), 1u);

  fs::remove_all(Out(""));
  fs::create_directories(Out(""));
  Recorder r;
  r.answer = [](ZipCallbackRecord& rr, const Event& e) {
    if (e.action == zacPassword) rr.ActionCode = ZB_REPLY_NO_TO_ALL;
    return 0;
  };
  EXPECT_EQ(RunEngine(opts, r), 0);
  EXPECT_EQ(r.Of(zacPassword).size(), 1u);
  EXPECT_EQ(r.Skipped().size(), 3u);
}

TEST_F(EngineExtract, DamagedCrcNeverReplacesAGoodFile) {
  auto bad = Entry("map.dat", Content(400000, 5));
  bad.corruptCrc = true;
  ztest::ZipWriter w;
  w.Add(bad).Add(Entry("ok.txt", "fine"));
  Write(w);
  WriteFile(Out("map.dat"), "good old data");
  opts.overwrite = true;

  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(ReadFile(Out("map.dat")), "good old data");
  EXPECT_EQ(ReadFile(Out("ok.txt")), "fine");
  auto crc = rec.Of(zacCRCError);
  ASSERT_EQ(crc.size(), 1u);
  EXPECT_EQ(static_cast<uint32_t>(crc[0].arg), ztest::Crc32(Content(400000, 5)));
  EXPECT_EQ(static_cast<uint32_t>(crc[0].arg2), ztest::Crc32(Content(400000, 5)) ^ 0x5A5A5A5A);
  EXPECT_TRUE(rec.HasErrorMessage(zemCRC));
  ASSERT_EQ(rec.Skipped().size(), 1u);
  EXPECT_EQ(rec.Skipped()[0].second, zskBadCRC);
  EXPECT_EQ(TempFilesLeft(), 0);

  // The handler may ask for the data anyway.
  Recorder keep;
  keep.answer = [](ZipCallbackRecord& r, const Event& e) {
    if (e.action == zacCRCError) r.ActionCode = ZB_REPLY_YES;
    return 0;
  };
  EXPECT_EQ(RunEngine(opts, keep), 2);
  EXPECT_EQ(ReadFile(Out("map.dat")), Content(400000, 5));
}

TEST_F(EngineExtract, TestModeChecksWithoutWriting) {
  auto bad = Entry("bad.bin", Content(10000, 6));
  bad.corruptCrc = true;
  ztest::ZipWriter w;
  w.AddDir("d/");
  w.Add(Entry("d/good.bin", Content(20000, 7))).Add(bad);
  Write(w);
  opts.test = true;
  opts.extractDir.clear();
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(Tree(place->U("out")).empty());
  EXPECT_FALSE(fs::exists(Out("d")));
  EXPECT_EQ(rec.Of(zacCRCError).size(), 1u);
  EXPECT_TRUE(rec.HasErrorMessage(zemCRC));
}

TEST_F(EngineExtract, KoreanNamesLandAsUtf8Names) {
  auto flagged = Entry(U8(u8"지도/서울.map"), "utf8 flagged");
  flagged.utf8 = true;
  ztest::ZipWriter w;
  w.Add(flagged);
  w.Add(Entry("지도/부산.map", "code page 949"));  // this source is compiled to code page 949
  w.Add(Entry("안내.txt", "top level"));
  Write(w);
  EXPECT_EQ(Run(), 3) << rec.Messages();
  EXPECT_EQ(ReadFile(Out(U8(u8"지도/서울.map"))), "utf8 flagged");
  EXPECT_EQ(ReadFile(Out(U8(u8"지도/부산.map"))), "code page 949");
  EXPECT_EQ(ReadFile(Out(U8(u8"안내.txt"))), "top level");
  // The callback hears the names in the system code page.
  auto items = rec.Of(zacItem);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].name, "지도\\서울.map");
  EXPECT_EQ(items[1].name, "지도\\부산.map");
}

TEST_F(EngineExtract, ALeadByteBeforeASeparatorEndsItsFolderName) {
  // No trail byte is "\" or "/": the byte before one ends the folder's name, for the engine as
  // for the folders it makes and the paths the layer splits.
  ztest::ZipWriter w;
  w.Add(Entry("d\x81/f.txt", "F"));
  w.Add(Entry("d\x81\\g.txt", "G"));
  Write(w);
  for (bool dirNames : {true, false}) {
    SCOPED_TRACE(dirNames ? "folders kept" : "folders dropped");
    fs::remove_all(Out(""));
    fs::create_directories(Out(""));
    opts.dirNames = dirNames;
    Recorder r;
    EXPECT_EQ(RunEngine(opts, r), 2) << r.Messages();
    auto tree = Tree(Out(""));
    ASSERT_EQ(tree.size(), 2u);
    for (size_t i = 0; i < tree.size(); ++i) {
      fs::path rel = tree[i].first;
      EXPECT_EQ(rel.filename(), i == 0 ? "f.txt" : "g.txt");
      EXPECT_EQ(tree[i].second, i == 0 ? "F" : "G");
      // One folder level when folders are kept, none otherwise.
      EXPECT_EQ(std::distance(rel.begin(), rel.end()), dirNames ? 2 : 1) << rel;
    }
    if (dirNames) {
      EXPECT_EQ(fs::path(tree[0].first).parent_path(), fs::path(tree[1].first).parent_path());
    }
    EXPECT_EQ(TempFilesLeft(), 0);
  }
}

TEST_F(EngineExtract, NamesLeavingTheFolderAreNeverWritten) {
  using namespace std::string_literals;
  const std::string evil[] = {"..\\x1.txt", "../x2.txt", "/etc/x3.txt", "\\x4.txt", "C:\\x5.txt", "C:x6.txt",
                              "sub/../../x7.txt", "sub\\..\\..\\out\\..\\x8.txt",
                              // a zero byte would cut the path to the folder above, or to another name
                              "..\0/x9.txt"s, "x10.txt\0.exe"s};
  ztest::ZipWriter w;
  for (const std::string& n : evil) w.Add(Entry(n, "escaped"));
  w.Add(Entry("inside.txt", "stays"));
  Write(w);
  for (bool dirNames : {true, false}) {
    SCOPED_TRACE(dirNames ? "folders kept" : "folders dropped");
    opts.dirNames = dirNames;
    opts.overwrite = true;
    Recorder r;
    EXPECT_EQ(RunEngine(opts, r), 1);
    EXPECT_EQ(ReadFile(Out("inside.txt")), "stays");
    // Nothing anywhere on the drive but the archive and the one good file.
    std::vector<std::string> all;
    for (auto& it : fs::recursive_directory_iterator(TheDrive().root))
      if (it.is_regular_file() && it.path().filename().string().rfind("x", 0) == 0) all.push_back(it.path());
    EXPECT_TRUE(all.empty()) << all.front();
    EXPECT_FALSE(fs::exists("/etc/x3.txt"));
    auto skipped = r.Skipped();
    ASSERT_EQ(skipped.size(), std::size(evil));
    for (auto& [name, type] : skipped) EXPECT_EQ(type, zskUnsafeName) << name;
    EXPECT_TRUE(r.HasErrorMessage(zemUnsafeName));
  }
}

TEST_F(EngineExtract, ExtractNameAnswerRenamesButCannotEscape) {
  ztest::ZipWriter w;
  w.Add(Entry("a.txt", "A")).Add(Entry("b.txt", "B"));
  Write(w);
  rec.answer = [](ZipCallbackRecord& r, const Event& e) {
    if (e.action == zacExtName) Reply(r, ZB_REPLY_YES, e.name == "a.txt" ? "renamed\\a2.txt" : "..\\b.txt");
    return 0;
  };
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(ReadFile(Out("renamed/a2.txt")), "A");
  EXPECT_FALSE(fs::exists(place->U("b.txt")));
  ASSERT_EQ(rec.Skipped().size(), 1u);
  EXPECT_EQ(rec.Skipped()[0].second, zskUnsafeName);
}

TEST_F(EngineExtract, StopsWhenTheCallbackSaysSoAndKeepsTheOldFile) {
  ztest::ZipWriter w;
  w.Add(Entry("big.bin", Content(8 << 20, 8)));
  w.Add(Entry("later.txt", "never"));
  Write(w);
  WriteFile(Out("big.bin"), "previous version");
  opts.overwrite = true;
  struct Case {
    const char* label;
    int32_t answer;  // callback result at the first progress
    bool viaAbort;   // call ZE_Abort with the command handle instead
    int32_t result;
  };
  const Case cases[] = {
      {"cancel", ZB_CB_CANCEL, false, ZB_ERR_CANCELLED},
      {"handler failed", ZB_CB_HANDLER_FAILED, false, ZB_ERR_HANDLER},
      {"abort", 0, true, ZB_ERR_ABORTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Recorder r;
    int32_t handle = 0;
    r.answer = [&](ZipCallbackRecord&, const Event& e) {
      if (e.action == zacCommandHandle) handle = e.arg;
      if (e.action != zacProgress) return 0;
      if (c.viaAbort) {
        TheEngine().Abort(static_cast<uint32_t>(handle));
        return 0;
      }
      return c.answer;
    };
    EXPECT_EQ(RunEngine(opts, r), c.result);
    EXPECT_EQ(ReadFile(Out("big.bin")), "previous version");
    EXPECT_FALSE(fs::exists(Out("later.txt")));
    EXPECT_EQ(TempFilesLeft(), 0);
    EXPECT_EQ(r.Of(zacProgress).size(), 1u);
    EXPECT_EQ(r.events.back().action, zacEndOfBatch);
  }
  // An abort for a command that has ended changes nothing later.
  EXPECT_EQ(TheEngine().Abort(12345), 0);
  Recorder again;
  EXPECT_EQ(RunEngine(opts, again), 2);
}

TEST_F(EngineExtract, ACallbackThatThrowsEndsTheRunWithNothingHalfDone) {
  // The entries after the one being written are already being read ahead when the handler
  // throws; the run still ends at once and leaves the folder as it was.
  ztest::ZipWriter w;
  w.Add(Entry("big.bin", Content(8 << 20, 8)));
  for (int i = 0; i < 20; ++i) w.Add(Entry("later" + std::to_string(i) + ".bin", Content(600000, 20 + i)));
  Write(w);
  WriteFile(Out("big.bin"), "previous version");
  opts.overwrite = true;
  Recorder r;
  r.answer = [](ZipCallbackRecord&, const Event& e) -> int32_t {
    if (e.action == zacProgress) throw 42;
    return 0;
  };
  EXPECT_EQ(RunEngine(opts, r), ZB_ERR_HANDLER);
  EXPECT_EQ(ReadFile(Out("big.bin")), "previous version");
  EXPECT_FALSE(fs::exists(Out("later0.bin")));
  EXPECT_EQ(TempFilesLeft(), 0);
  Recorder again;
  EXPECT_EQ(RunEngine(opts, again), 21);
}

TEST_F(EngineExtract, DamagedArchivesFailClearly) {
  ztest::ZipWriter w;
  w.Add(Entry("a.bin", Content(300000, 10))).Add(Entry("b.bin", Content(300000, 11)));
  std::string good = w.Build();
  struct Case {
    const char* label;
    std::string bytes;
    int32_t result;
  };
  const Case cases[] = {
      {"truncated in the middle", good.substr(0, good.size() / 2), ZB_ERR_ARCHIVE},
      {"truncated end record", good.substr(0, good.size() - 5), ZB_ERR_ARCHIVE},
      {"not a zip", std::string(5000, 'x'), ZB_ERR_ARCHIVE},
      {"empty file", "", ZB_ERR_ARCHIVE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteFile(place->U("a.zip"), c.bytes);
    Recorder r;
    EXPECT_EQ(RunEngine(opts, r), c.result);
    EXPECT_TRUE(r.HasErrorMessage(zemArchive)) << r.Messages();
    EXPECT_TRUE(Tree(place->U("out")).empty());
  }
  opts.archive = place->D("missing.zip");
  Recorder r;
  EXPECT_EQ(RunEngine(opts, r), ZB_ERR_ARCHIVE);
}

TEST_F(EngineExtract, DamagedEntryIsSkippedAndTheRestExtracted) {
  auto cut = Entry("cut.bin", Content(200000, 12));
  cut.truncateData = 5000;  // its data runs into the next entry
  ztest::ZipWriter w;
  w.Add(Entry("first.txt", "1"));
  w.Add(cut);
  auto broken = Entry("broken.bin", Content(200000, 13));
  broken.centralCompressedSizeDelta = -1000;  // the directory claims less data than there is
  w.Add(broken);
  w.Add(Entry("last.txt", "3"));
  Write(w);
  EXPECT_EQ(Run(), 2);
  EXPECT_EQ(ReadFile(Out("first.txt")), "1");
  EXPECT_EQ(ReadFile(Out("last.txt")), "3");
  EXPECT_FALSE(fs::exists(Out("broken.bin")));
  EXPECT_FALSE(fs::exists(Out("cut.bin")));
  EXPECT_EQ(rec.Skipped().size(), 2u) << rec.Messages();
  EXPECT_TRUE(rec.HasErrorMessage(zemDamaged)) << rec.Messages();
  EXPECT_EQ(TempFilesLeft(), 0);
}

TEST_F(EngineExtract, UnsupportedMethodsAreSkippedNotWrittenAsGarbage) {
  ztest::ZipWriter w;
  w.Add(Entry("bzip2.bin", "pretend compressed", 12));
  w.Add(Entry("lzma.bin", "pretend compressed", 14));
  w.Add(Entry("ok.txt", "ok"));
  Write(w);
  EXPECT_EQ(Run(), 1);
  EXPECT_FALSE(fs::exists(Out("bzip2.bin")));
  EXPECT_FALSE(fs::exists(Out("lzma.bin")));
  auto skipped = rec.Skipped();
  ASSERT_EQ(skipped.size(), 2u);
  EXPECT_EQ(skipped[0].second, zskUnsupported);
  EXPECT_TRUE(rec.HasErrorMessage(zemUnsupported));
}

TEST_F(EngineExtract, RefusesAnInvalidBlock) {
  ztest::ZipWriter w;
  w.Add(Entry("a.txt", "a"));
  Write(w);
  UnzipParams base;
  RunEngine(opts, rec, &base);
  struct Case {
    const char* label;
    std::function<void(UnzipParams&)> spoil;
  };
  const Case cases[] = {
      {"version", [](UnzipParams& p) { p.Version = 12; }},
      {"end mark", [](UnzipParams& p) { p.EndMark = 0; }},
      {"no archive", [](UnzipParams& p) { p.ArchiveName = nullptr; }},
      {"specs without array", [](UnzipParams& p) { p.SpecCount = 2; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    UnzipParams p = base;
    c.spoil(p);
    EXPECT_EQ(TheEngine().UnzExec(&p), ZB_ERR_INVALID_BLOCK);
  }
  EXPECT_EQ(TheEngine().UnzExec(nullptr), ZB_ERR_INVALID_BLOCK);
  EXPECT_TRUE(rec.events.empty());
  EXPECT_FALSE(fs::exists(Out("a.txt")));
}

TEST_F(EngineExtract, MissingExtractFolderIsAnError) {
  ztest::ZipWriter w;
  w.Add(Entry("a.txt", "a"));
  Write(w);
  opts.extractDir = place->D("nowhere");
  EXPECT_EQ(Run(), ZB_ERR_TARGET);
  EXPECT_TRUE(rec.HasErrorMessage(zemTarget));
  EXPECT_FALSE(fs::exists(place->U("nowhere")));
}

TEST_F(EngineExtract, WithoutAFolderExtractsIntoTheCurrentFolder) {
  ztest::ZipWriter w;
  w.Add(Entry("here.txt", "cwd"));
  Write(w);
  fs::path before = fs::current_path();
  // The program and the engine each carry the layer; the engine must see the folder the
  // program changed to. A layer that remembers the first folder it saw cannot pass this.
  char probe[MAX_PATH];
  GetCurrentDirectoryA(sizeof probe, probe);
  fs::current_path(Out(""));
  char after[MAX_PATH];
  GetCurrentDirectoryA(sizeof after, after);
  EXPECT_NE(std::string(probe), after) << "the layer must follow the process's current folder";
  opts.extractDir.clear();
  int32_t result = Run();
  fs::current_path(before);
  EXPECT_EQ(result, 1) << rec.Messages();
  EXPECT_EQ(ReadFile(Out("here.txt")), "cwd");
}

TEST_F(EngineExtract, MessagesFollowTraceAndVerbose) {
  ztest::ZipWriter w;
  w.Add(Entry("a.txt", "a"));
  Write(w);
  size_t quiet = 0, verbose = 0, trace = 0;
  for (int level = 0; level < 3; ++level) {
    fs::remove_all(Out(""));
    fs::create_directories(Out(""));
    opts.verbose = level >= 1;
    opts.trace = level >= 2;
    Recorder r;
    ASSERT_EQ(RunEngine(opts, r), 1);
    (level == 0 ? quiet : level == 1 ? verbose : trace) = r.Of(zacMessage).size();
  }
  EXPECT_EQ(quiet, 0u);
  EXPECT_GT(verbose, quiet);
  EXPECT_GT(trace, verbose);
}

TEST(EngineExports, AnswerAsTheComponentExpects) {
  Engine& e = TheEngine();
  ASSERT_NE(e.lib, nullptr) << dlerror();
  ASSERT_TRUE(e.UnzExec && e.ZipExec && e.Version && e.PrivVersion && e.Abort && e.Path);
  EXPECT_GE(e.Version(), ZB_MIN_ENGINE_VERSION);
  EXPECT_LE(e.Version(), ZB_MAX_ENGINE_VERSION);
  EXPECT_GT(e.PrivVersion(), 0);
  EXPECT_LT(e.ZipExec(nullptr), 0);
  EXPECT_EQ(e.Abort(0), 0);
  // Nothing but the six names is visible: what dlsym finds for other names (zlib's inflate,
  // say) comes from other libraries, never from the engine's own copy.
  for (const char* name : {"inflate", "crc32", "_Z11CreateFileAPKcjjP20_SECURITY_ATTRIBUTESjjPv"}) {
    void* sym = dlsym(e.lib, name);
    Dl_info info{};
    if (sym && dladdr(sym, &info)) {
      EXPECT_NE(std::string(info.dli_fname), std::string(ZBENGINE_PATH)) << name;
    }
  }
}

// A run killed while it wrote leaves its temporary file; the next run into that folder removes
// it, but never one a running extraction is still writing.
TEST_F(EngineExtract, RemovesTheTemporariesOfEndedWritersOnly) {
  pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  int hold[2];
  ASSERT_EQ(pipe(hold), 0);
  pid_t running = fork();
  if (running == 0) {
    char c;
    close(hold[1]);
    (void)!read(hold[0], &c, 1);  // until the test ends
    _exit(0);
  }
  ASSERT_GT(running, 0);
  close(hold[0]);
  auto temp = [](pid_t pid, const char* rest) { return "~zb" + std::to_string(pid) + rest; };
  struct Case {
    std::string file;
    bool stays;
  } cases[] = {
      {temp(ended, "-1a.dat"), false},
      {"sub/" + temp(ended, "-2"), false},
      {temp(running, "-3.dat"), true},
      {"sub/" + temp(running, "-4.exe"), true},
      {"~zb1f2e.dat", true},  // no writer named
      {temp(ended, ".dat"), true},
      {"~zb-" + std::to_string(ended) + "-5.dat", true},
      {"untouched/" + temp(ended, "-6.dat"), true},  // a folder this run does not write into
  };
  for (const Case& c : cases) WriteFile(Out(c.file), "left");
  ztest::ZipWriter w;
  w.Add(Entry("top.txt", "a"));
  w.Add(Entry("sub/inner.txt", "b"));
  Write(w);

  EXPECT_EQ(Run(), 2) << rec.Messages();
  for (const Case& c : cases) EXPECT_EQ(fs::exists(Out(c.file)), c.stays) << c.file;
  EXPECT_EQ(ReadFile(Out("sub/inner.txt")), "b");
  close(hold[1]);
  waitpid(running, nullptr, 0);
}

// A writer whose process id says nothing here (another process namespace, another machine on a
// shared drive) still has its temporary file open: the file stays until the writer lets go,
// whether the writer is another process or another copy of the file layer in this one.
TEST_F(EngineExtract, KeepsATemporaryItsWriterStillHasOpen) {
  const pid_t ended = testproc::EndedProcessId();
  ASSERT_GT(ended, 0);
  const std::string held = "~zb" + std::to_string(ended) + "-7.dat";
  const std::string left = "~zb" + std::to_string(ended) + "-8.dat";
  const std::string heldDos = opts.extractDir + "\\" + held;
  ztest::ZipWriter w;
  w.Add(Entry("top.txt", "a"));
  Write(w);
  for (bool otherProcess : {true, false}) {
    SCOPED_TRACE(otherProcess ? "held by another process" : "held by this process's own file layer");
    WriteFile(Out(left), "left");
    std::unique_ptr<testproc::OpenFileHolder> child;
    HANDLE own = INVALID_HANDLE_VALUE;
    if (otherProcess) {
      child = std::make_unique<testproc::OpenFileHolder>(heldDos, GENERIC_WRITE, 0, CREATE_NEW);
      ASSERT_TRUE(child->Opened());
    } else {
      own = CreateFileA(heldDos.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(own, INVALID_HANDLE_VALUE);
      DWORD written = 0;
      ASSERT_TRUE(::WriteFile(own, "part", 4, &written, nullptr));
    }
    Recorder first;
    EXPECT_EQ(RunEngine(opts, first), 1) << first.Messages();
    EXPECT_TRUE(fs::exists(Out(held))) << "removed under its writer";
    EXPECT_FALSE(fs::exists(Out(left))) << "nobody has it open";
    if (!otherProcess) {
      EXPECT_EQ(ReadFile(Out(held)), "part");
    }

    if (child) child->Release();
    if (own != INVALID_HANDLE_VALUE) CloseHandle(own);
    opts.overwrite = true;
    Recorder next;
    EXPECT_EQ(RunEngine(opts, next), 1) << next.Messages();
    EXPECT_FALSE(fs::exists(Out(held))) << "its writer has let go";
    opts.overwrite = false;
    fs::remove(Out("top.txt"));
  }
}

// Names the code page has no letters for come out of the conversion with "?", which Windows
// refuses in a file name: such entries are refused with a write error, never reported extracted
// and never merged into one file. Names as Python's zipfile stores them (UTF-8, bit 11, made
// on Unix).
TEST_F(EngineExtract, NamesWindowsRefusesAreNotExtracted) {
  ztest::ZipWriter w;
  const std::vector<std::string> refused = {U8(u8"café/naïve.txt"), U8(u8"emoji-😀.txt"), U8(u8"café.txt"),
                                            U8(u8"cafè.txt")};
  for (const std::string& name : refused) {
    auto e = Entry(name, "bytes of " + name);
    e.utf8 = true;
    e.versionMadeBy = (3 << 8) | 20;
    w.Add(e);
  }
  auto plain = Entry("plain.txt", "plain");
  plain.utf8 = true;
  w.Add(plain);
  Write(w);
  opts.verbose = true;
  EXPECT_EQ(Run(), 1) << rec.Messages();
  std::vector<std::string> files;
  for (const auto& f : Tree(Out(""))) files.push_back(f.first);
  EXPECT_EQ(files, std::vector<std::string>{"plain.txt"});
  EXPECT_EQ(TempFilesLeft(), 0);
  auto skipped = rec.Skipped();
  ASSERT_EQ(skipped.size(), refused.size()) << rec.Messages();
  const std::vector<std::string> converted = {"caf?\\na?ve.txt", "emoji-?.txt", "caf?.txt", "caf?.txt"};
  for (size_t i = 0; i < skipped.size(); ++i) {
    EXPECT_EQ(skipped[i].first, converted[i]);
    EXPECT_EQ(skipped[i].second, static_cast<int32_t>(zskWriteError)) << converted[i];
  }
  EXPECT_TRUE(rec.HasErrorMessage(zemWrite));
  for (const Event& e : rec.Of(zacMessage))
    EXPECT_EQ(e.name.find("Extracted caf"), std::string::npos) << e.name;
}

// Entries named like a device, which Windows cannot make or open as files or folders: none is
// written, each is refused with a write error, the others are extracted.
TEST_F(EngineExtract, DevicesNamesAreNotExtracted) {
  ztest::ZipWriter w;
  const std::vector<std::string> refused = {"CON", "Data/nul.txt", "COM1/map.dat", "Aux.ini", "Data/lpt3 .log"};
  for (const std::string& name : refused) w.Add(Entry(name, "bytes of " + name));
  w.Add(Entry("Data/plain.txt", "plain"));
  w.Add(Entry("CONSOLE.txt", "console"));
  Write(w);
  EXPECT_EQ(Run(), 2) << rec.Messages();
  std::vector<std::string> files;
  for (const auto& f : Tree(Out(""))) files.push_back(f.first);
  EXPECT_EQ(files, (std::vector<std::string>{"CONSOLE.txt", "Data/plain.txt"}));
  EXPECT_EQ(TempFilesLeft(), 0);
  auto skipped = rec.Skipped();
  ASSERT_EQ(skipped.size(), refused.size()) << rec.Messages();
  for (const auto& s : skipped) EXPECT_EQ(s.second, static_cast<int32_t>(zskWriteError)) << s.first;
}
