// Message texts: the compiled-in table, the packed-table format, language tables and the hook.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ZipMsg.h"
#include "ZipMsgKO.h"
#include "ZipMsgUS.h"

namespace {

struct IdText {
  int id;
  const char* text;
};

// Every text the component uses, as it must come back.
const IdText kUsedTexts[] = {
    {10102, "Error - no zip file specified!"},
    {10103, "Requested memory not available"},
    {10104, "Error - passwords do NOT match\nPassword ignored"},
    {10105, "Copying: "},
    {10106, "Exception in Event handler "},
    {10113, "Exception in Event "},
    {10118, "DLL Error - Aborting"},
    {10120, "DLL Error - User Cancelled"},
    {10121, "DLL Error - Not enough memory"},
    {10122, "DLL Error - Invalid structure"},
    {10123, "DLL Error - Exception in handler "},
    {10124, "critical DLL Error %d"},
    {10125, " Unknown error %d"},
    {10126, "Skipped %s %d"},
    {10150, "Error - no add password given"},
    {10151, "Error - no extract password given"},
    {10154, "Password"},
    {10155, "Enter Password "},
    {10156, "Confirm Password "},
    {10201, "Seek error reading Zip archive!"},
    {10202, "Unknown error in List() function\n"},
    {10203, "Warning - Error in zip structure!"},
    {10204, "Warning - Garbage at the end of the zipfile!"},
    {10205, "File larger than 4GB"},
    {10502, "Warning - Unattended Extract: possible not all files extracted"},
    {10504, "Extract directory '%s' must exist"},
    {10650, "Failed to load %s"},
    {10651, "Unable to load %s - It is old or corrupt"},
    {10652, "Loaded %s"},
    {10653, "Unloaded %s"},
    {10220, "&Yes"},
    {10221, "&No"},
    {10222, "&OK"},
    {10223, "&Cancel"},
    {10224, "&Abort"},
    {10225, "&Retry"},
    {10226, "&Ignore"},
    {10227, "CancelAll"},
    {10228, "NoToAll"},
    {10229, "YesToAll"},
    {11001, "Input file does not exist"},
    {11002, "Zip file could not be opened"},
    {11003, "Not a valid drive: %s"},
    {11004, "Drive %s is NOT defined"},
    {11006, "Not enough memory to display MsgBox"},
    {11007, "User canceled operation"},
    {11008, "Seek error in input file"},
    {11009, "Creation of output file failed"},
    {11010, "Write error in output file"},
    {11011, "Error while reading the End Of Central Directory"},
    {11012, "Error while reading a local header"},
    {11013, "Error while reading a central header"},
    {11014, "A local header signature is wrong"},
    {11015, "A central header signature is wrong"},
    {11016, "Error while reading a local file name"},
    {11017, "Error while reading a central file name"},
    {11018, "Error while reading a local extra field"},
    {11019, "Error while reading a central extra field"},
    {11020, "Error while reading/writing a data descriptor area"},
    {11021, "Error while reading zipped data"},
    {11022, "Error while reading a file comment"},
    {11023, "Error while reading the archive comment"},
    {11024, "UnKnown error in function ReadSpan(), WriteSpan(), ChangeFileDetails() or CopyZippedFiles()\n"},
    {11025, "Unattended disk spanning not implemented"},
    {11027, "Temporary file could not be created"},
    {11028, "Error while writing a local header"},
    {11029, "Error while writing a central header"},
    {11030, "Error while writing the End Of Central Directory"},
    {11031, "Error while reading a Extended Local signature"},
    {11033, "Please insert last disk"},
    {11034, "Please insert disk volume %.1d of %.1d"},
    {11035, "\nin drive: %s"},
    {11036, "This archive is not a valid Zip archive"},
    {11037, "This is the first disk in a backup set,\nplease insert the last disk of this set"},
    {11038, "This is the %dth disk in a backup set,\nplease insert the last disk of this set"},
    {11045, "This is the first file in a backup set,\nplease choose the last file of this set"},
    {11046, "Please insert disk volume %.1d"},
    {11049, "Unknown Error"},
    {11051, "Cannot write to %s"},
    {11602, "Trace : GetNewDisk Opening: %s"},
    {11401, "*Resetting Archive bit"},
    {11402, "*Copying Zip File"},
    {11403, "*SFX"},
    {11404, "*??"},
    {11405, "*Finalising"},
    {11406, "*Copying"},
    {11407, "*Central Directory"},
    {11408, "*Checking"},
    {11409, "*Loading Directory"},
    {11410, "*Joining split zip file"},
    {11411, "*Splitting zip file"},
    {10096, "US: default"},
    {10098, "Language Neutral"},
};

// Ids the table holds for operations this program does not perform.
std::vector<int> UnusedIds() {
  std::vector<int> ids = {10096, 10097, 10098, 10101, 10119, 10159, 10206, 10501, 11005, 11026, 11032,
                          11047, 11048, 11050, 11201, 11600, 11601, 11603};
  auto range = [&ids](int from, int to) {
    for (int id = from; id <= to; ++id) ids.push_back(id);
  };
  range(10107, 10112);
  range(10140, 10144);
  range(10180, 10186);
  range(10301, 10308);
  range(10401, 10402);
  range(10801, 10809);
  range(10901, 10912);
  range(11039, 11044);
  range(11101, 11102);
  range(11301, 11313);
  range(11350, 11351);
  range(11450, 11457);
  range(11500, 11501);
  return ids;
}

std::unique_ptr<TMemoryStream> StreamOf(const unsigned char* data, int size) {
  auto s = std::make_unique<TMemoryStream>();
  if (size > 0) s->WriteBuffer(data, size);
  s->SetPosition(0);
  return s;
}

std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes) {
  return StreamOf(bytes.data(), int(bytes.size()));
}

void Put16(std::vector<uint8_t>& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A packed table whose body holds only literals: lets a test state any image it needs.
std::vector<uint8_t> PackedTable(int lang, const char* name, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> body;
  for (size_t i = 0; i < image.size(); i += 8) {
    size_t n = std::min<size_t>(8, image.size() - i);
    body.push_back(uint8_t((1u << n) - 1));
    body.insert(body.end(), image.begin() + long(i), image.begin() + long(i + n));
  }
  std::vector<uint8_t> t;
  Put16(t, unsigned(lang));
  Put16(t, unsigned(body.size() + 4));
  Put16(t, unsigned(std::strlen(name)));
  t.insert(t.end(), name, name + std::strlen(name));
  Put32(t, uint32_t(image.size()));
  t.insert(t.end(), body.begin(), body.end());
  return t;
}

// A resource-file image: the empty record, then one string block holding `text` at slot id % 16.
std::vector<uint8_t> ImageWith(int id, const char* text) {
  std::vector<uint8_t> img;
  auto record = [&img](unsigned type, unsigned name, const std::vector<uint8_t>& data) {
    Put32(img, uint32_t(data.size()));
    Put32(img, 32);
    Put16(img, 0xFFFF);
    Put16(img, type);
    Put16(img, 0xFFFF);
    Put16(img, name);
    Put32(img, 0);
    Put16(img, type == 6 ? 0x1030 : 0);
    Put16(img, type == 6 ? 1033 : 0);
    Put32(img, 0);
    Put32(img, 0);
    img.insert(img.end(), data.begin(), data.end());
    while (img.size() % 4) img.push_back(0);
  };
  record(0, 0, {});
  std::vector<uint8_t> data;
  for (int slot = 0; slot < 16; ++slot) {
    if (slot == id % 16) {
      Put16(data, unsigned(std::strlen(text)));
      for (const char* p = text; *p; ++p) Put16(data, uint8_t(*p));
    } else {
      Put16(data, 0);
    }
  }
  record(6, unsigned(id / 16 + 1), data);
  return img;
}

TEST(ZipMsgText, EveryUsedTextComesBackExactly) {
  for (const IdText& t : kUsedTexts) EXPECT_EQ(LoadZipStr(t.id).str(), t.text) << t.id;
}

TEST(ZipMsgText, EveryUnusedIdHasATextOfItsOwn) {
  for (int id : UnusedIds()) {
    AnsiString text = LoadZipStr(id);
    EXPECT_FALSE(text.IsEmpty()) << id;
    EXPECT_EQ(text.Pos("Resource missing"), 0) << id;
  }
}

TEST(ZipMsgText, MissingIdsNameThemselves) {
  for (int id : {10230, 10095, 11604, 10000, 0}) EXPECT_EQ(LoadZipStr(id).str(), "Resource missing for " + std::to_string(id));
}

TEST(ZipMsgText, FormattedTexts) {
  EXPECT_EQ(LoadZipStrFmt(11034, {2, 5}).str(), "Please insert disk volume 2 of 5");
  EXPECT_EQ(LoadZipStrFmt(10126, {"a%sb.txt", 3}).str(), "Skipped a%sb.txt 3");
  EXPECT_EQ(LoadZipStrFmt(11051, {"E:\\"}).str(), "Cannot write to E:\\");
  EXPECT_EQ(LoadZipStrFmt(10124, {-7, 99}).str(), "critical DLL Error -7");  // extra argument ignored
}

TEST(ZipMsgFormat, Placeholders) {
  struct Case {
    const char* format;
    std::vector<TZipFmtArg> args;
    const char* expected;
  };
  const Case cases[] = {
      {"%d", {5}, "5"},
      {"%.1d", {0}, "0"},
      {"[%4d]", {42}, "[  42]"},
      {"[%-4d]", {42}, "[42  ]"},
      {"%u", {-1}, "4294967295"},
      {"%x", {255}, "ff"},
      {"%s and %s", {"a", "b"}, "a and b"},
      {"%s", {12}, "12"},          // a number meets %s as text
      {"%d", {"34"}, "34"},        // a numeric text meets %d as its number
      {"100%%", {}, "100%"},
      {"%s %s", {"only"}, "only %s"},  // no argument left: the placeholder stays
      {"%q %d", {1}, "%q 1"},          // unknown conversion stays
      {"ends with %", {}, "ends with %"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ZipFormat(c.format, c.args).str(), c.expected) << c.format;
  }
}

TEST(ZipMsgPacked, HeaderStatesTheSizes) {
  ASSERT_EQ(ZipMsgUSSize, 6 + 2 + ZipMsgUSPackedSize);
  EXPECT_EQ(ZipMsgUS[0] | (ZipMsgUS[1] << 8), 1033);
  EXPECT_EQ(ZipMsgUS[2] | (ZipMsgUS[3] << 8), ZipMsgUSPackedSize);
  EXPECT_EQ(ZipMsgUS[4] | (ZipMsgUS[5] << 8), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ZipMsgUS + 6), 2), "US");
  uint32_t unpacked = ZipMsgUS[8] | (ZipMsgUS[9] << 8) | (ZipMsgUS[10] << 16) | (uint32_t(ZipMsgUS[11]) << 24);
  EXPECT_EQ(unpacked, uint32_t(ZipMsgUSUnpackedSize));
  EXPECT_LT(ZipMsgUSUnpackedSize, 50000);
  EXPECT_EQ(ZipMsgUSTextCount, 191);
  EXPECT_EQ(ZipMsgUSFirstId, 10096);
  EXPECT_EQ(ZipMsgUSLastId, 11603);
}

TEST(ZipMsgPacked, ExpandsExactlyAndNoticesShortInput) {
  std::vector<uint8_t> image;
  auto full = StreamOf(ZipMsgUS + 8, ZipMsgUSPackedSize);
  EXPECT_EQ(LzssExpand(full.get(), image, ZipMsgUSPackedSize), 0);
  EXPECT_EQ(int(image.size()), ZipMsgUSUnpackedSize);

  auto shortInput = StreamOf(ZipMsgUS + 8, ZipMsgUSPackedSize - 1);
  EXPECT_EQ(LzssExpand(shortInput.get(), image, ZipMsgUSPackedSize), -1);

  std::vector<uint8_t> wrongSize(ZipMsgUS + 8, ZipMsgUS + 8 + ZipMsgUSPackedSize);
  wrongSize[0] ^= 1;  // the stated unpacked size is off by one
  auto s = StreamOf(wrongSize);
  EXPECT_EQ(LzssExpand(s.get(), image, ZipMsgUSPackedSize), -2);
}

TEST(ZipMsgPacked, ImageHoldsTheEmptyRecordAndStringBlocks) {
  std::vector<uint8_t> image;
  auto full = StreamOf(ZipMsgUS + 8, ZipMsgUSPackedSize);
  ASSERT_EQ(LzssExpand(full.get(), image, ZipMsgUSPackedSize), 0);
  auto u16 = [&image](size_t at) { return unsigned(image[at] | (image[at + 1] << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  ASSERT_GE(image.size(), 32u);
  EXPECT_EQ(u32(0), 0u);   // data size
  EXPECT_EQ(u32(4), 32u);  // header size
  int texts = 0;
  for (size_t at = 32; at < image.size();) {
    unsigned dataSize = u32(at), headerSize = u32(at + 4);
    ASSERT_EQ(headerSize, 32u);
    EXPECT_EQ(u16(at + 8), 0xFFFFu);
    EXPECT_EQ(u16(at + 10), 6u);
    EXPECT_EQ(u16(at + 12), 0xFFFFu);
    unsigned block = u16(at + 14) - 1;
    EXPECT_EQ(u16(at + 20), 0x1030u);
    EXPECT_EQ(u16(at + 22), 1033u);
    size_t p = at + 32;
    for (unsigned slot = 0; slot < 16; ++slot) {
      unsigned count = u16(p);
      if (count) {
        ++texts;
        unsigned id = block * 16 + slot;
        EXPECT_GE(id, 10096u);
        EXPECT_LE(id, 11603u);
      }
      p += 2 + 2 * count;
    }
    EXPECT_EQ(p, at + 32 + dataSize);
    at = (at + 32 + dataSize + 3) & ~size_t(3);
  }
  EXPECT_EQ(texts, ZipMsgUSTextCount);
}

TEST(ZipMsgTableLoad, ReadsALanguageTable) {
  TZipMsgTable table;
  auto s = StreamOf(ZipMsgKO, ZipMsgKOSize);
  EXPECT_EQ(LoadZipMsgTable(table, s.get()), 1042);
  ASSERT_FALSE(table.empty());
  EXPECT_EQ(table.back(), 0xFFFF);
  EXPECT_EQ(int(table.size()), (ZipMsgKOUnpackedSize + 1) / 2 + 1);
  // UTF-16 in the table, code page 949 out of it.
  EXPECT_EQ(LookupZipMsg(table, 10222).str(), "확인(&O)");
  EXPECT_EQ(LookupZipMsg(table, 11007).str(), "사용자가 작업을 취소했습니다");
  EXPECT_TRUE(LookupZipMsg(table, 10221).IsEmpty());  // same block, no string
  EXPECT_TRUE(LookupZipMsg(table, 10230).IsEmpty());  // no such block
}

TEST(ZipMsgTableLoad, DamagedTablesStayEmpty) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int expected;
  };
  std::vector<uint8_t> good(ZipMsgUS, ZipMsgUS + ZipMsgUSSize);
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  std::vector<uint8_t> sizeOff = good;
  sizeOff[8] ^= 2;
  std::vector<uint8_t> big(50000, 0), justBelow(49996, 0);
  const Case cases[] = {
      {"shorter than its header says", truncated, 0},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 5), 0},
      {"unpacked size differs", sizeOff, -2},
      {"image of 50000 bytes", PackedTable(1042, "KO", big), 0},
      {"image just below the limit", PackedTable(1042, "KO", justBelow), 1042},
      {"language id 0", PackedTable(0, "KO", justBelow), 0},
  };
  for (const Case& c : cases) {
    TZipMsgTable table = {1, 2, 3};
    auto s = StreamOf(c.bytes);
    EXPECT_EQ(LoadZipMsgTable(table, s.get()), c.expected) << c.what;
    EXPECT_EQ(table.empty(), c.expected <= 0) << c.what;
  }
}

TEST(ZipMsgTableLoad, LookupNeverReadsOutsideTheTable) {
  std::vector<uint8_t> image = ImageWith(10222, "Fine");
  TZipMsgTable table;
  auto s = StreamOf(PackedTable(1042, "KO", image));
  ASSERT_EQ(LoadZipMsgTable(table, s.get()), 1042);
  EXPECT_EQ(LookupZipMsg(table, 10222).str(), "Fine");

  // The block's data claims a string far longer than the table.
  std::vector<uint8_t> longCount = image;
  size_t slotAt = 32 + 32 + 2 * (10222 % 16);
  longCount[slotAt] = 0xFF;
  longCount[slotAt + 1] = 0x7F;
  s = StreamOf(PackedTable(1042, "KO", longCount));
  ASSERT_EQ(LoadZipMsgTable(table, s.get()), 1042);
  EXPECT_TRUE(LookupZipMsg(table, 10222).IsEmpty());

  // A record whose sizes send the walk beyond the end.
  std::vector<uint8_t> wild = image;
  wild[0] = 0xF0;
  wild[1] = 0xFF;
  s = StreamOf(PackedTable(1042, "KO", wild));
  ASSERT_EQ(LoadZipMsgTable(table, s.get()), 1042);
  EXPECT_TRUE(LookupZipMsg(table, 10222).IsEmpty());

  // Sizes that sum below 8 end the walk.
  std::vector<uint8_t> tiny = image;
  tiny[4] = 2;
  s = StreamOf(PackedTable(1042, "KO", tiny));
  ASSERT_EQ(LoadZipMsgTable(table, s.get()), 1042);
  EXPECT_TRUE(LookupZipMsg(table, 10222).IsEmpty());

  EXPECT_TRUE(LookupZipMsg(TZipMsgTable(), 10222).IsEmpty());
}

TEST(ZipMsgTableFind, ByNameOrLanguage) {
  std::vector<uint8_t> both(ZipMsgUS, ZipMsgUS + ZipMsgUSSize);
  const long long koAt = (long long)both.size();
  both.insert(both.end(), ZipMsgKO, ZipMsgKO + ZipMsgKOSize);
  std::vector<uint8_t> named = PackedTable(1042, "KO-KR", ImageWith(10222, "x"));
  const long long namedAt = (long long)both.size();
  both.insert(both.end(), named.begin(), named.end());

  struct Case {
    const char* name;
    int id;
    bool found;
    long long at;
    const char* foundName;
    int foundId;
  };
  const Case cases[] = {
      {"KO", 0, true, koAt, "KO", 1042},
      {"ko", 0, true, koAt, "KO", 1042},
      {"", 1042, true, koAt, "KO", 1042},
      {"", 18, true, koAt, "KO", 1042},  // primary language alone
      {"", 1033, true, 0, "US", 1033},
      {"US", 0, true, 0, "US", 1033},
      {"", 2066, false, 0, "", 0},
      {"XX", 0, false, 0, "", 0},
      {"K", 0, false, 0, "", 0},  // too short without an id
  };
  for (const Case& c : cases) {
    auto s = StreamOf(both);
    AnsiString name = c.name;
    int id = c.id;
    EXPECT_EQ(FindZipMsgTable(s.get(), name, id), c.found) << c.name << " " << c.id;
    if (c.found) {
      EXPECT_EQ(s->Position(), c.at) << c.name << " " << c.id;
      EXPECT_EQ(name.str(), c.foundName);
      EXPECT_EQ(id, c.foundId);
      TZipMsgTable table;
      EXPECT_EQ(LoadZipMsgTable(table, s.get()), c.foundId);
    }
  }
  // A table's name counts up to its first character other than letters, digits and "_".
  auto s = StreamOf(both);
  s->SetPosition(namedAt);
  AnsiString name = "KO";
  int id = 0;
  EXPECT_TRUE(FindZipMsgTable(s.get(), name, id));
  EXPECT_EQ(name.str(), "KO-KR");

  AnsiString n = "KO";
  int i = 0;
  EXPECT_FALSE(FindZipMsgTable(nullptr, n, i));
}

TEST(ZipMsgLanguage, CompiledInTableStaysWithoutALanguageResource) {
  for (const char* language : {"US", "us", "  US", "1033", "", "0", "70000", "*", "KO", "1042", "x"}) {
    EXPECT_EQ(SetZipMsgLanguage(language).str(), "") << language;
    EXPECT_EQ(ZipMsgLanguageInfo(0).str(), "US: default") << language;
    EXPECT_EQ(LoadZipStr(10222).str(), "&OK") << language;
  }
}

class ZipMsgHookTest : public ::testing::Test {
 protected:
  void TearDown() override { SetZipMsgHook(nullptr); }
};

TEST_F(ZipMsgHookTest, ReplacesButCannotBlank) {
  std::vector<std::pair<int, std::string>> seen;
  SetZipMsgHook([&seen](int id, AnsiString& text) {
    seen.emplace_back(id, text.str());
    if (id == 10222) text = "&Okay";
    if (id == 10223) text = "";
    if (id == 10230) text = "Supplied";
  });
  EXPECT_EQ(LoadZipStr(10222).str(), "&Okay");
  EXPECT_EQ(LoadZipStr(10223).str(), "&Cancel");
  EXPECT_EQ(LoadZipStr(10230).str(), "Supplied");
  EXPECT_EQ(LoadZipStr(10231).str(), "Resource missing for 10231");
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], (std::pair<int, std::string>(10222, "&OK")));
  EXPECT_EQ(seen[2], (std::pair<int, std::string>(10230, "")));  // the hook sees the empty text first
  SetZipMsgHook(nullptr);
  EXPECT_EQ(LoadZipStr(10222).str(), "&OK");
}

}  // namespace
