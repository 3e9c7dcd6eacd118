// Archives made by Info-ZIP zip, an independent producer, extracted by the engine byte for byte;
// and the test writer's archives checked by Info-ZIP unzip, so both sides are kept honest.
#include "EngineHarness.h"
#include "ZipWriter.h"

using namespace enginetest;

namespace {

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

bool HaveTool(const char* name) { return Shell(std::string("command -v ") + name + " >/dev/null 2>&1") == 0; }

// A tree of mixed files: text, noise, a large one, an empty one, folders (one empty), and
// Korean names (UTF-8 on disk).
void MakeTree(const fs::path& src) {
  WriteFile(src / "readme.txt", Content(5000, 1));
  WriteFile(src / "bin" / "noise.bin", [] {
    std::string s(300000, '\0');
    uint32_t x = 99;
    for (char& c : s) c = static_cast<char>((x = x * 1664525u + 1013904223u) >> 24);
    return s;
  }());
  WriteFile(src / "maps" / "large.map", Content(3 << 20, 2));
  WriteFile(src / "maps" / "zero.dat", "");
  WriteFile(src / U8(u8"지도") / U8(u8"서울 지도.map"), Content(70000, 3));
  WriteFile(src / U8(u8"안내.txt"), Content(100, 4));
  fs::create_directories(src / "empty" / "folder");
}

}  // namespace

TEST(EngineInfoZip, ExtractsWhatZipMadeByteForByte) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  ASSERT_NE(TheEngine().UnzExec, nullptr) << dlerror();
  struct Case {
    const char* label;
    const char* args;
    const char* password;
  };
  const Case cases[] = {
      {"deflated", "-r", ""},
      {"stored", "-r -0", ""},
      {"best compression", "-r -9", ""},
      {"data descriptors", "-r -fd", ""},
      {"zip64 records", "-r -fz", ""},
      {"encrypted", "-r -P 'map s3cret'", "map s3cret"},
      {"encrypted with descriptors", "-r -fd -P pw", "pw"},
  };
  Place place(TestName());
  fs::path src = place.U("src");
  MakeTree(src);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::error_code ec;
    fs::remove(place.U("a.zip"), ec);
    fs::remove_all(place.U("out"), ec);
    fs::create_directories(place.U("out"));
    ASSERT_EQ(Shell("cd " + Quote(src) + " && zip -q " + c.args + " " + Quote(place.U("a.zip")) + " ."), 0);
    Options o;
    o.archive = place.D("a.zip");
    o.extractDir = place.D("out");
    o.password = c.password;
    Recorder rec;
    EXPECT_EQ(RunEngine(o, rec), 6) << rec.Messages();
    EXPECT_TRUE(Tree(src) == Tree(place.U("out")));
    EXPECT_TRUE(fs::is_directory(place.U("out") / "empty" / "folder"));
    EXPECT_TRUE(rec.Of(zacSkipped).empty()) << rec.Messages();
  }
}

TEST(EngineInfoZip, CodePageNamesFromZipBecomeUtf8Names) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  Place place(TestName());
  // A file whose name on disk is code page 949 bytes, as a Korean Windows tool would store it.
  std::string cp949 = "지도.txt";  // this source is compiled to code page 949
  WriteFile(place.U("src") / cp949, "korean");
  ASSERT_EQ(Shell("cd " + Quote(place.U("src")) + " && zip -q " + Quote(place.U("a.zip")) + " *"), 0);
  fs::create_directories(place.U("out"));
  Options o;
  o.archive = place.D("a.zip");
  o.extractDir = place.D("out");
  Recorder rec;
  EXPECT_EQ(RunEngine(o, rec), 1) << rec.Messages();
  EXPECT_EQ(ReadFile(place.U("out") / U8(u8"지도.txt")), "korean");
}

TEST(EngineInfoZip, UnzipAcceptsTheTestWritersArchives) {
  if (!HaveTool("unzip")) GTEST_SKIP() << "Info-ZIP unzip is not installed";
  struct Case {
    const char* label;
    std::function<void(ztest::ZipWriter&, ztest::ZipEntrySpec&)> tweak;
    const char* unzipArgs;
  };
  const Case cases[] = {
      {"deflated", [](auto&, auto&) {}, ""},
      {"stored", [](auto&, auto& e) { e.method = 0; }, ""},
      {"data descriptor", [](auto&, auto& e) { e.dataDescriptor = true; }, ""},
      {"encrypted", [](auto&, auto& e) { e.password = "pw"; }, "-P pw"},
      {"encrypted with descriptor",
       [](auto&, auto& e) {
         e.password = "pw";
         e.dataDescriptor = true;
       },
       "-P pw"},
      {"prefix bytes and comment",
       [](auto& w, auto&) {
         w.SetPrefix(std::string(3000, 'S'));
         w.SetComment("archive comment");
       },
       ""},
  };
  Place place(TestName());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ztest::ZipWriter w;
    ztest::ZipEntrySpec e;
    e.name = "dir/file.bin";
    e.data = Content(200000, 5);
    c.tweak(w, e);
    w.AddDir("dir/");
    w.Add(e);
    w.AddFile("second.txt", "two");
    ASSERT_TRUE(w.WriteTo(place.U("w.zip").string()));
    EXPECT_EQ(Shell(std::string("unzip -tqq ") + c.unzipArgs + " " + Quote(place.U("w.zip")) + " >/dev/null 2>&1"), 0);
  }
}

TEST(EngineInfoZip, SevenZipExtractsTheTestWritersSplitSets) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7-Zip is not installed";
  Place place(TestName());
  ztest::ZipWriter w;
  w.SetSplit(64 * 1024);
  w.AddDir("maps/");
  std::vector<std::pair<std::string, std::string>> files = {
      {"maps/a.bin", Content(150000, 21)},  // stored: its data crosses parts
      {"maps/b.txt", Content(400000, 22)},
      {"c.dat", Content(30000, 23)},
  };
  ztest::ZipEntrySpec a;
  a.name = files[0].first;
  a.data = files[0].second;
  a.method = 0;
  w.Add(a);
  w.AddFile(files[1].first, files[1].second);
  auto c = ztest::ZipEntrySpec{};
  c.name = files[2].first;
  c.data = files[2].second;
  c.dataDescriptor = true;
  w.Add(c);
  std::string base = (place.unix / "set").string();
  ASSERT_TRUE(w.WriteParts(base));
  EXPECT_TRUE(fs::exists(base + ".z01"));
  EXPECT_TRUE(fs::exists(base + ".z02"));
  EXPECT_EQ(ReadFile(base + ".z01").substr(0, 4), std::string("PK\x07\x08", 4));
  for (const char* part : {".z01", ".z02", ".zip"}) EXPECT_LE(fs::file_size(base + part), 64u * 1024);
  ASSERT_EQ(Shell("cd " + Quote(place.unix) + " && 7z x -y -oout set.zip >/dev/null 2>&1"), 0);
  for (auto& [name, data] : files) EXPECT_TRUE(ReadFile(place.U("out") / name) == data) << name;
}

TEST(EngineInfoZip, WrongPasswordForZipsEncryptionWritesNothing) {
  if (!HaveTool("zip")) GTEST_SKIP() << "Info-ZIP zip is not installed";
  Place place(TestName());
  MakeTree(place.U("src"));
  WriteFile(place.U("out") / "readme.txt", "kept");
  ASSERT_EQ(Shell("cd " + Quote(place.U("src")) + " && zip -q -r -P right " + Quote(place.U("a.zip")) + " ."), 0);
  Options o;
  o.archive = place.D("a.zip");
  o.extractDir = place.D("out");
  o.password = "wrong";
  o.overwrite = true;
  Recorder rec;
  EXPECT_EQ(RunEngine(o, rec), 0) << rec.Messages();
  // Folders are made; no file is written, and the old one stays.
  auto left = Tree(place.U("out"));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].second, "kept");
  // zip's header bytes are random: a wrong password passes the one-byte check now and then,
  // and the data it gives then fails to inflate or fails its CRC instead.
  auto skipped = rec.Skipped();
  EXPECT_EQ(skipped.size(), 6u);
  for (auto& [name, type] : skipped)
    EXPECT_TRUE(type == zskBadPassword || type == zskDamaged || type == zskBadCRC) << "skip type " << type;
}
